#include "widgets/MMSpinButton.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Lets the test run the repeat timer's work without waiting for it.
class Spin : public TMMSpinButton {
  public:
    using TMMSpinButton::RepeatTick;
    QTimer *Timer() { return findChild<QTimer *>(QStringLiteral("RepeatTimer")); }
};

void Mouse(QWidget &w, QEvent::Type type, QPoint at) {
    const bool press = type == QEvent::MouseButtonPress;
    QMouseEvent e(type, at, w.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  press || type == QEvent::MouseMove ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

struct Recorder {
    std::string log;
    void Attach(TMMSpinButton &s) {
        s.SetOnChange([this, &s](TObject *) { log += "c" + std::to_string(s.Value()); });
        s.SetOnUpClick([this](TObject *) { log += "U"; });
        s.SetOnDownClick([this](TObject *) { log += "D"; });
    }
};

} // namespace

TEST(SpinButton, Defaults) {
    TMMSpinButton s;
    EXPECT_EQ(s.Value(), 0);
    EXPECT_EQ(s.MinValue(), 0);
    EXPECT_EQ(s.MaxValue(), 100);
    EXPECT_EQ(s.Increment(), 1);
    EXPECT_EQ(s.Orientation(), Qt::Vertical);
}

TEST(SpinButton, ClicksStepClampAndAlwaysReport) {
    TMMSpinButton s;
    Recorder r;
    r.Attach(s);
    s.SetIncrement(40);
    s.ClickHalf(shUp);
    s.ClickHalf(shUp);
    s.ClickHalf(shUp); // 120 clamps to 100
    s.ClickHalf(shUp); // no change, still a click
    EXPECT_EQ(r.log, "c40Uc80Uc100UU");
    r.log.clear();
    s.SetIncrement(1000);
    s.ClickHalf(shDown);
    s.ClickHalf(shDown);
    EXPECT_EQ(r.log, "c0DD");
    // A huge step does not overflow past the range.
    s.SetMinValue(-2147483647 - 1);
    s.SetIncrement(2147483647);
    s.SetValue(-5);
    s.ClickHalf(shDown);
    EXPECT_EQ(s.Value(), -2147483647 - 1);
}

TEST(SpinButton, HalvesFollowTheOrientation) {
    TMMSpinButton s;
    s.Bevel().SetBevelOuter(bvNone);
    s.resize(20, 26);
    EXPECT_EQ(s.HalfAt(10, 2), shUp);
    EXPECT_EQ(s.HalfAt(10, 24), shDown);
    s.SetOrientation(Qt::Horizontal);
    s.resize(26, 20);
    EXPECT_EQ(s.HalfAt(2, 10), shDown);
    EXPECT_EQ(s.HalfAt(24, 10), shUp);
    s.SetMiddleButton(true);
    EXPECT_EQ(s.HalfAt(13, 10), shNone) << "the middle strip takes no clicks";
}

TEST(SpinButton, HoldingRepeatsAfter400msThenEvery50ms) {
    Spin s;
    s.Bevel().SetBevelOuter(bvNone);
    s.resize(20, 26);
    Recorder r;
    r.Attach(s);
    Mouse(s, QEvent::MouseButtonPress, {10, 3});
    EXPECT_EQ(r.log, "c1U") << "the press itself clicks";
    ASSERT_TRUE(s.Timer()->isActive());
    EXPECT_EQ(s.Timer()->interval(), 400);
    s.RepeatTick();
    EXPECT_EQ(s.Timer()->interval(), 50);
    s.RepeatTick();
    EXPECT_EQ(r.log, "c1Uc2Uc3U");
    // Dragged off the half: the repeats pause, and go on when it returns.
    Mouse(s, QEvent::MouseMove, {10, 22});
    s.RepeatTick();
    EXPECT_EQ(s.Value(), 3);
    Mouse(s, QEvent::MouseMove, {10, 4});
    s.RepeatTick();
    EXPECT_EQ(s.Value(), 4);
    Mouse(s, QEvent::MouseButtonRelease, {10, 4});
    EXPECT_FALSE(s.Timer()->isActive());
    EXPECT_EQ(s.PressedHalf(), shNone);
    s.RepeatTick(); // a late tick after release does nothing
    EXPECT_EQ(s.Value(), 4);
}

TEST(SpinButton, DisabledTakesNoClicksAndStopsRepeating) {
    Spin s;
    s.resize(20, 26);
    Recorder r;
    r.Attach(s);
    Mouse(s, QEvent::MouseButtonPress, {10, 22});
    EXPECT_EQ(r.log, "D");
    s.setEnabled(false);
    EXPECT_FALSE(s.Timer()->isActive());
    Mouse(s, QEvent::MouseButtonPress, {10, 3});
    EXPECT_EQ(r.log, "D");
}
