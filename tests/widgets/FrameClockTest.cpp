#include "common/PumpEventsUntil.h"
#include "widgets/MMDIBGraphicControl.h"
#include "widgets/MMFrameClock.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <gtest/gtest.h>

#include <vector>

namespace {

// Records what the main loop put on the screen for a widget.
template <typename Base> class Recording : public Base {
  public:
    using Base::Base;
    std::vector<QRect> Presented;

  protected:
    void paintEvent(QPaintEvent *event) override {
        Presented.push_back(event->rect());
        Base::paintEvent(event);
    }
};

using RecordingWidget = Recording<QWidget>;
using RecordingControl = Recording<TMMDIBGraphicControl>;

// Shows `window` and runs the main loop until its first paints are done.
void ShowAndSettle(QWidget &window) {
    window.show();
    ASSERT_TRUE(PumpEventsUntil([&] { return window.windowHandle()->isExposed(); }, 5000));
    QApplication::processEvents();
}

// The screen clock driven by hand for one test.
struct ManualScreenClock {
    ManualScreenClock() { TMMFrameClock::Screen().SetManualTicks(true); }
    ~ManualScreenClock() {
        TMMFrameClock::Screen().Tick();
        TMMFrameClock::Screen().SetManualTicks(false);
    }
};

// What the window shows, read from the screen without painting anything.
QRgb ScreenPixel(QWidget &window, int x, int y) {
    return window.screen()->grabWindow(window.winId(), x, y, 1, 1).toImage().pixel(0, 0);
}

// Fills the control's work canvas (sized to its inner rectangle) with `color`.
TMMDIBGraphicControl::TDrawRoutine Fill(TMMDIBGraphicControl &control, TColor color) {
    return [&control, color](TMMDIBCanvas &dib) {
        const TRect inner = control.InnerRect();
        dib.Resize(inner.Width(), inner.Height());
        dib.BeginDrawing();
        dib.SetColor(color);
        dib.Clear();
        dib.EndDrawing();
    };
}

} // namespace

TEST(FrameClock, EachWidgetIsUpdatedOncePerFrameWithTheUnionOfItsRectangles) {
    TMMFrameClock clock;
    QWidget window;
    window.resize(100, 60);
    auto *a = new RecordingWidget(&window);
    a->setGeometry(0, 0, 40, 40);
    auto *b = new RecordingWidget(&window);
    b->setGeometry(50, 0, 40, 40);
    ShowAndSettle(window);
    a->Presented.clear();
    b->Presented.clear();

    clock.Schedule(a, QRect());
    EXPECT_FALSE(clock.IsRunning()) << "an empty rectangle is nothing to present";
    clock.Schedule(a, QRect(0, 0, 5, 5));
    EXPECT_TRUE(clock.IsRunning());
    clock.Schedule(a, QRect(10, 10, 5, 5));
    clock.Schedule(b, QRect(2, 2, 3, 3));
    clock.Schedule(a, QRect(1, 1, 2, 2));
    EXPECT_EQ(clock.Pending(a), QRect(0, 0, 15, 15));
    QApplication::processEvents();
    EXPECT_TRUE(a->Presented.empty()) << "presented before the frame";

    clock.Tick();
    EXPECT_FALSE(clock.IsRunning()) << "idle between frames with nothing to present";
    QApplication::processEvents();
    EXPECT_EQ(a->Presented, std::vector<QRect>{QRect(0, 0, 15, 15)});
    EXPECT_EQ(b->Presented, std::vector<QRect>{QRect(2, 2, 3, 3)});

    // Nothing new, or only a widget freed without cancelling: nothing presented.
    auto *gone = new RecordingWidget;
    clock.Schedule(gone, QRect(0, 0, 4, 4));
    delete gone;
    clock.Tick();
    QApplication::processEvents();
    EXPECT_EQ(a->Presented.size(), 1u);
    EXPECT_EQ(b->Presented.size(), 1u);

    // Left to the timer, the next frame comes by itself.
    clock.Schedule(b, QRect(0, 0, 1, 1));
    EXPECT_TRUE(PumpEventsUntil([&] { return b->Presented.size() == 2; }, 5000));
    EXPECT_FALSE(clock.IsRunning());
    EXPECT_EQ(a->Presented.size(), 1u);
}

// The connector feeds a meter many blocks per display frame: each block is
// drawn at once into the work canvas, the screen gets one present per frame,
// and it is the last block's picture.
TEST(DIBGraphicControl, ManyDrawsPerFrameArePresentedOnceWithTheLastPicture) {
    ManualScreenClock manual;
    TMMFrameClock &clock = TMMFrameClock::Screen();
    QWidget window;
    window.resize(60, 60);
    auto *bar = new RecordingControl(&window);
    bar->SetBounds(10, 10, 20, 30);
    ShowAndSettle(window);
    bar->Presented.clear();
    const QRect inner = bar->InnerRect().ToQRect();

    const TColor colours[] = {clRed, clLime, clBlue, clYellow, clAqua, clFuchsia};
    for (int block = 0; block < 16; ++block) {
        ASSERT_TRUE(bar->DrawAtOnce(Fill(*bar, colours[block % 6])));
        EXPECT_EQ(bar->DIBCanvas().PixelColor(0, 0), colours[block % 6]) << "not drawn at once";
        QApplication::processEvents();
    }
    EXPECT_TRUE(bar->Presented.empty()) << "presented between frames";
    clock.Tick();
    QApplication::processEvents();
    EXPECT_EQ(bar->Presented, std::vector<QRect>{inner});
    EXPECT_EQ(ScreenPixel(window, 11, 11), ToQColor(colours[15 % 6]).rgb());
    EXPECT_EQ(ScreenPixel(window, 28, 38), ToQColor(colours[15 % 6]).rgb());
    EXPECT_EQ(ScreenPixel(window, 10, 10), ToQColor(clBtnShadow).rgb());

    // A routine that knows what it changed presents only that, and the
    // rest of the screen keeps its picture.
    bar->Presented.clear();
    ASSERT_TRUE(bar->DrawAtOnce(
        [](TMMDIBCanvas &dib) {
            dib.BeginDrawing();
            dib.SetColor(clWhite);
            dib.Clear();
            dib.EndDrawing();
        },
        Rect(0, 4, 30, 6)));
    clock.Tick();
    QApplication::processEvents();
    EXPECT_EQ(bar->Presented, std::vector<QRect>{QRect(inner.left(), inner.top() + 4, inner.width(), 2)});
    EXPECT_EQ(ScreenPixel(window, 11, 15), qRgb(255, 255, 255));
    EXPECT_EQ(ScreenPixel(window, 11, 11), ToQColor(colours[15 % 6]).rgb());

    clock.Tick(); // nothing drawn since: nothing presented
    QApplication::processEvents();
    EXPECT_EQ(bar->Presented.size(), 1u);
}

// A window not (yet) on the screen draws nothing and presents nothing; its
// controls draw once it is.
TEST(DIBGraphicControl, AWindowNotOnTheScreenDrawsNothing) {
    ManualScreenClock manual;
    QWidget window;
    window.resize(40, 40);
    auto *bar = new RecordingControl(&window);
    bar->SetBounds(5, 5, 20, 20);
    window.show();
    ASSERT_FALSE(window.windowHandle()->isExposed()) << "the platform exposed the window at once";
    EXPECT_FALSE(bar->DrawAtOnce(Fill(*bar, clRed)));
    EXPECT_FALSE(TMMFrameClock::Screen().HasPending());
    ASSERT_TRUE(PumpEventsUntil([&] { return window.windowHandle()->isExposed(); }, 5000));
    QApplication::processEvents();
    bar->Presented.clear();
    EXPECT_TRUE(bar->DrawAtOnce(Fill(*bar, clLime)));
    TMMFrameClock::Screen().Tick();
    ASSERT_TRUE(PumpEventsUntil([&] { return !bar->Presented.empty(); }, 5000));
    EXPECT_EQ(ScreenPixel(window, 10, 10), ToQColor(clLime).rgb());
}

TEST(DIBGraphicControl, AControlFreedWithAFramePendingLeavesTheClock) {
    ManualScreenClock manual;
    TMMFrameClock &clock = TMMFrameClock::Screen();
    QWidget window;
    auto *bar = new TMMDIBGraphicControl(&window);
    bar->SetBounds(0, 0, 20, 20);
    ShowAndSettle(window);
    ASSERT_TRUE(bar->DrawAtOnce(Fill(*bar, clRed)));
    EXPECT_FALSE(clock.Pending(bar).isEmpty());
    delete bar;
    EXPECT_FALSE(clock.HasPending());
    clock.Tick();
    QApplication::processEvents();
}

TEST(DIBGraphicControl, ARoutineCannotDrawItsControlAgain) {
    ManualScreenClock manual;
    QWidget window;
    auto *bar = new TMMDIBGraphicControl(&window);
    ShowAndSettle(window);
    bool inner = true;
    EXPECT_TRUE(bar->DrawAtOnce([&](TMMDIBCanvas &) { inner = bar->DrawAtOnce([](TMMDIBCanvas &) {}); }));
    EXPECT_FALSE(inner);
    // A routine that fails leaves the control able to draw.
    EXPECT_THROW(bar->DrawAtOnce([](TMMDIBCanvas &) { throw EMMDIBError("failed"); }), EMMDIBError);
    EXPECT_TRUE(bar->DrawAtOnce([](TMMDIBCanvas &) {}));
}
