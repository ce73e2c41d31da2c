// What needs a real window system (the suite runs these under Xvfb): a window
// taken off the screen, as a window manager unmaps one it minimises, draws
// nothing, runs its laws on, and shows its latest state when it returns; pictures
// put on the window past the toolkit's paint are the canvas, and stay so when the
// window is exposed again.

#include "audio/MMPeakTick.h"
#include "common/ManualTimerSource.h"
#include "common/PumpEventsUntil.h"
#include "platform/X11Reply.h"
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

// The window's pixels under `rect` (window coordinates), as the server holds them.
QImage WindowPixels(xcb_connection_t *connection, const QWidget &window, const QRect &rect) {
    const auto reply = X11Reply(xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, static_cast<xcb_window_t>(window.winId()),
                      rect.x(), rect.y(), rect.width(), rect.height(), ~0u),
        nullptr));
    if (!reply) return QImage();
    return QImage(xcb_get_image_data(reply.get()), rect.width(), rect.height(), rect.width() * 4,
                  QImage::Format_RGB32)
        .copy();
}

// Counts the paint events a widget receives.
class TPaintCounter : public QObject {
  public:
    int Count = 0;
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) ++Count;
        return false;
    }
};

void Feed(TMMLevel &bar, int left) {
    std::vector<std::int16_t> frames(100, 0);
    for (std::size_t i = 0; i < frames.size(); i += 2)
        frames[i] = static_cast<std::int16_t>(left);
    bar.ProcessBlock(frames.data());
}

// A PEAK bar alone in a shown window.
class OnX11 : public ::testing::Test {
  protected:
    void SetUp() override {
        auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (QGuiApplication::platformName() != QLatin1String("xcb") || x11 == nullptr)
            GTEST_SKIP() << "needs an X server";
        connection = x11->connection();
        window.resize(40, 300);
        bar = new TMMLevel(&window, &ticks);
        bar->SetBounds(10, 6, 20, 288);
        bar->SetKind(lkVertical);
        bar->SetBitLength(b16Bit);
        bar->SetMode(mStereo);
        bar->SetChannel(chLeft);
        bar->SetNumPeaks(2);
        window.show();
        ASSERT_TRUE(PumpEventsUntil([&] { return window.windowHandle()->isExposed(); }, 5000));
    }
    void TearDown() override { delete bar; } // before the tick service goes

    // Unmaps the window, as a window manager does one it minimises, or maps it again.
    void Map(bool mapped) {
        const auto id = static_cast<xcb_window_t>(window.winId());
        mapped ? xcb_map_window(connection, id) : xcb_unmap_window(connection, id);
        xcb_flush(connection);
        ASSERT_TRUE(PumpEventsUntil([&] { return window.windowHandle()->isExposed() == mapped; }, 5000));
    }

    xcb_connection_t *connection = nullptr;
    ManualTimerSource source;
    TMMPeakTickService ticks{&source};
    QWidget window;
    TMMLevel *bar = nullptr;
};

TEST_F(OnX11, AnUnmappedWindowDrawsNothingAndShowsItsLatestStateWhenMapped) {
    Feed(*bar, 3277);
    PumpEventsUntil([] { return false; }, 50);
    const QImage before = bar->DIBCanvas().Image().copy();

    ASSERT_NO_FATAL_FAILURE(Map(false));
    EXPECT_FALSE(TMMFrameClock::Screen().Showing());
    for (int level : {32767, 9000, 20000})
        Feed(*bar, level);
    EXPECT_EQ(bar->DIBCanvas().Image(), before) << "drew while off the screen";
    EXPECT_FALSE(TMMFrameClock::Screen().HasPending());
    const int barOff = bar->State().BarPosition();
    EXPECT_NE(barOff, 0) << "the laws stopped";

    ASSERT_NO_FATAL_FAILURE(Map(true));
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
}

TEST_F(OnX11, PicturesPutPastThePaintAreTheCanvasAndSurviveAnExpose) {
    PumpEventsUntil([] { return false; }, 100);
    TPaintCounter paints;
    bar->installEventFilter(&paints);
    const QRect canvas = bar->InnerRect().ToQRect().translated(bar->pos());
    const auto canvasImage = [&] { return bar->DIBCanvas().Image().convertToFormat(QImage::Format_RGB32); };

    // More puts than the segments they take turns in: each comes round again.
    for (int level : {3277, 20000, 800, 12000, 30000, 5000, 26000, 1600, 18000}) {
        Feed(*bar, level);
        PumpEventsUntil([] { return !TMMFrameClock::Screen().HasPending(); }, 1000);
        EXPECT_EQ(WindowPixels(connection, window, canvas), canvasImage()) << "level " << level;
    }
    EXPECT_EQ(paints.Count, 0) << "the pictures went through the toolkit's paint";

    // The toolkit's backing store still holds the first picture: an expose must not bring it back.
    ASSERT_NO_FATAL_FAILURE(Map(false));
    ASSERT_NO_FATAL_FAILURE(Map(true));
    PumpEventsUntil([] { return false; }, 100);
    EXPECT_EQ(WindowPixels(connection, window, canvas), canvasImage());
}

TEST_F(OnX11, AWidgetLyingOverAMeterKeepsItsPixels) {
    // What the set-up menu does over the meters.
    QWidget cover(&window);
    cover.setGeometry(0, 100, 40, 50);
    cover.setAutoFillBackground(true);
    QPalette palette = cover.palette();
    palette.setColor(QPalette::Window, Qt::magenta);
    cover.setPalette(palette);
    cover.show();
    PumpEventsUntil([] { return false; }, 100);
    for (int level : {32767, 3277, 32767}) {
        Feed(*bar, level);
        PumpEventsUntil([] { return !TMMFrameClock::Screen().HasPending(); }, 1000);
    }
    QImage magenta(20, 50, QImage::Format_RGB32);
    magenta.fill(Qt::magenta);
    EXPECT_EQ(WindowPixels(connection, window, QRect(10, 100, 20, 50)), magenta) << "the meter drew over it";
}

} // namespace
