#include "clock/WatchLaws.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(WatchLawsTest, BroadcastDayCountsTheSmallHoursOnFrom24) {
    EXPECT_EQ(BroadcastHour(0), 24);
    EXPECT_EQ(BroadcastHour(4), 28);
    EXPECT_EQ(BroadcastHour(5), 5);
    EXPECT_EQ(BroadcastHour(23), 23);
}

TEST(WatchLawsTest, CountdownLampsGoOutFromTheRightTwice) {
    TCountdownLamps lamps;
    lamps.Color = clRed;
    const std::vector<std::pair<int, TCountdownLamps>> walk = {
        {10, {{true, true, true, true, true}, clYellow}},
        {9, {{true, true, true, true, false}, clYellow}},
        {8, {{true, true, true, false, false}, clYellow}},
        {7, {{true, true, false, false, false}, clYellow}},
        {6, {{true, false, false, false, false}, clYellow}},
        {5, {{true, true, true, true, true}, clRed}},
        {4, {{true, true, true, true, false}, clRed}},
        {3, {{true, true, true, false, false}, clRed}},
        {2, {{true, true, false, false, false}, clRed}},
        {1, {{true, false, false, false, false}, clRed}},
        {0, {{false, false, false, false, false}, clRed}},
    };
    for (const auto &[remaining, expected] : walk) {
        StepCountdownLamps(lamps, remaining);
        EXPECT_EQ(lamps, expected) << remaining;
    }
}

TEST(WatchLawsTest, DotsSitOnTheRingQuarterByQuarter) {
    EXPECT_EQ(DotPlace(15), QPoint(245, 125)); // three o'clock
    EXPECT_EQ(DotPlace(30), QPoint(125, 245)); // six
    EXPECT_EQ(DotPlace(45), QPoint(5, 125));   // nine
    EXPECT_EQ(DotPlace(60), QPoint(125, 5));   // twelve
    // Dot 1 at 84 degrees: cos 12.54, sin 119.34.
    EXPECT_EQ(DotPlace(1), QPoint(138, 6));
    for (int s = 1; s <= 60; ++s) {
        const QPoint p = DotPlace(s) - QPoint(125, 125);
        EXPECT_NEAR(std::hypot(p.x(), p.y()), 120.0, 0.75) << s;
    }
}

TEST(WatchLawsTest, RingPulseClosesInBrighteningThenFadesOutward) {
    const auto pulse = RingPulse();
    const int radii[9] = {111, 110, 109, 108, 107, 108, 109, 110, 111};
    for (std::size_t k = 0; k < pulse.size(); ++k) {
        EXPECT_EQ(pulse[k].Radius, radii[k]) << k;
        EXPECT_EQ(pulse[k].Brush, clBlack) << k;
        EXPECT_EQ(pulse[k].Pen, k < 5 ? 16721446 + 20 * static_cast<int>(k + 1) : kLedBody) << k;
    }
    EXPECT_EQ(pulse[0].Box(), QRect(18, 18, 222, 222));

    TRingPicture picture;
    for (std::size_t k = 0; k < 5; ++k)
        picture.Draw(pulse[k]);
    ASSERT_EQ(picture.Circles().size(), 5u);
    EXPECT_EQ(picture.Circles().front().Radius, 111);
    EXPECT_EQ(picture.Circles().back().Radius, 107);
    for (std::size_t k = 5; k < 9; ++k)
        picture.Draw(pulse[k]);
    // Each outward circle covered the ones inside it: one dark ring around a black disc.
    EXPECT_EQ(picture.Circles(), (std::vector<TRingCircle>{{kLedBody, clBlack, 111}}));
}

TEST(WatchLawsTest, ClockGoesBesideTheConsoleWhereItFits) {
    const QSize clock(268, 288);
    const QRect wide(0, 0, 1400, 800);
    EXPECT_EQ(PlaceBeside(QRect(300, 95, 800, 610), clock, wide), QPoint(1100, 95));
    EXPECT_EQ(PlaceBeside(QRect(500, 95, 800, 610), clock, wide), QPoint(232, 95))
        << "left when only left fits";
    EXPECT_EQ(PlaceBeside(QRect(112, 79, 800, 610), clock, QRect(0, 0, 1024, 768)), QPoint(756, 0))
        << "top-right corner when neither side fits";
    EXPECT_EQ(PlaceBeside(QRect(0, 700, 800, 610), clock, wide), QPoint(800, 512)) << "kept on the screen";
}
