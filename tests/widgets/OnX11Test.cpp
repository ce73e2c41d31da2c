// What needs a real window system (the suite runs these under Xvfb): a window
// taken off the screen, as a window manager unmaps one it minimises, draws
// nothing, runs its laws on, and shows its latest state when it returns.

#include "audio/MMPeakTick.h"
#include "common/ManualTimerSource.h"
#include "common/PumpEventsUntil.h"
#include "widgets/MMFrameClock.h"
#include "widgets/MMLevel.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>
#include <gtest/gtest.h>
#include <qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

namespace {

void Feed(TMMLevel &bar, int left) {
    std::vector<std::int16_t> frames(100, 0);
    for (std::size_t i = 0; i < frames.size(); i += 2)
        frames[i] = static_cast<std::int16_t>(left);
    bar.ProcessBlock(frames.data());
}

TEST(OnX11, AnUnmappedWindowDrawsNothingAndShowsItsLatestStateWhenMapped) {
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || x11 == nullptr)
        GTEST_SKIP() << "needs an X server";
    xcb_connection_t *connection = x11->connection();
    ManualTimerSource source;
    TMMPeakTickService ticks(&source);
    QWidget window;
    window.resize(40, 300);
    auto *bar = new TMMLevel(&window, &ticks);
    bar->SetBounds(10, 6, 20, 288);
    bar->SetKind(lkVertical);
    bar->SetBitLength(b16Bit);
    bar->SetMode(mStereo);
    bar->SetChannel(chLeft);
    bar->SetNumPeaks(2);
    window.show();
    ASSERT_TRUE(PumpEventsUntil([&] { return window.windowHandle()->isExposed(); }, 5000));
    Feed(*bar, 3277);
    PumpEventsUntil([] { return false; }, 50);
    const QImage before = bar->DIBCanvas().Image().copy();

    xcb_unmap_window(connection, static_cast<xcb_window_t>(window.winId()));
    xcb_flush(connection);
    ASSERT_TRUE(PumpEventsUntil([&] { return !window.windowHandle()->isExposed(); }, 5000));
    EXPECT_FALSE(TMMFrameClock::Screen().Showing());
    for (int level : {32767, 9000, 20000})
        Feed(*bar, level);
    EXPECT_EQ(bar->DIBCanvas().Image(), before) << "drew while off the screen";
    EXPECT_FALSE(TMMFrameClock::Screen().HasPending());
    const int barOff = bar->State().BarPosition();
    EXPECT_NE(barOff, 0) << "the laws stopped";

    xcb_map_window(connection, static_cast<xcb_window_t>(window.winId()));
    xcb_flush(connection);
    ASSERT_TRUE(PumpEventsUntil([&] { return window.windowHandle()->isExposed(); }, 5000));
    EXPECT_TRUE(TMMFrameClock::Screen().Showing());
    PumpEventsUntil([] { return false; }, 100);
    const QImage shown = bar->DIBCanvas().Image().copy();
    EXPECT_NE(shown, before);
    // A whole redraw from the state gives the same picture.
    const TColor bar1 = bar->Bar1Color();
    bar->SetBar1Color(clWhite);
    bar->SetBar1Color(bar1);
    bar->repaint();
    EXPECT_EQ(bar->DIBCanvas().Image(), shown);
    delete bar; // before the tick service goes
}

} // namespace
