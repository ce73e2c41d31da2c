#include "analysis/LoudnessMeter.h"
#include "widgets/MMLoudnessLaws.h"

#include <gtest/gtest.h>

TEST(LoudnessLaws, ScalesAroundTheTargetAndTheirTicks) {
    const TLoudnessRange nine = LoudnessScaleRange(lsEBU9, -23), eighteen = LoudnessScaleRange(lsEBU18, -24);
    EXPECT_EQ(nine.Bottom, -41);
    EXPECT_EQ(nine.Top, -14);
    EXPECT_EQ(eighteen.Bottom, -60);
    EXPECT_EQ(eighteen.Top, -6);
    const std::vector<TLoudnessTick> ticks = LoudnessTicks(lsEBU9, -23);
    ASSERT_EQ(ticks.size(), 10u);
    EXPECT_EQ(ticks.front().Label, "+9");
    EXPECT_EQ(ticks[3].Label, "0");
    EXPECT_EQ(ticks[3].Lufs, -23);
    EXPECT_EQ(ticks.back().Label, "-18");
    EXPECT_EQ(LoudnessTicks(lsEBU18, -23)[1].Label, "+12");
    EXPECT_EQ(LoudnessTicks(lsAbsolute, -23).front().Label, "-14");
    EXPECT_EQ(LoudnessScaleOf(7), lsEBU9);
}

TEST(LoudnessLaws, BarRowsFromBottomToTop) {
    const TLoudnessRange r{-41, -14};
    EXPECT_EQ(LoudnessBarRows(kNoLoudness, r, 66), 0);
    EXPECT_EQ(LoudnessBarRows(-41, r, 66), 0);
    EXPECT_EQ(LoudnessBarRows(-23, r, 66), 44); // 18 of 27 LU
    EXPECT_EQ(LoudnessBarRows(-14, r, 66), 66);
    EXPECT_EQ(LoudnessBarRows(3, r, 66), 66);
    // The target row is the top one of the rows the target lights.
    EXPECT_EQ(LoudnessRowOf(-23, r, 66), 66 - 44);
    EXPECT_EQ(LoudnessRowOf(-14, r, 66), 0);
    EXPECT_EQ(LoudnessRowOf(-60, r, 66), 65);
}

TEST(LoudnessLaws, ReadOutTextsFitTheirCells) {
    EXPECT_EQ(LoudnessReadoutText(-23.04), "-23.0");
    EXPECT_EQ(LoudnessReadoutText(-1.46), "- 1.5");
    EXPECT_EQ(LoudnessReadoutText(-0.04), "  0.0");
    EXPECT_EQ(LoudnessReadoutText(12.0), " 12.0");
    EXPECT_EQ(LoudnessReadoutText(-120.0), "-99.9");
    EXPECT_EQ(LoudnessReadoutText(kNoLoudness), "  .  ");
    EXPECT_EQ(LoudnessScaleValue(lsEBU9, -20.5, -23), 2.5);
    EXPECT_EQ(LoudnessScaleValue(lsAbsolute, -20.5, -23), -20.5);
    EXPECT_EQ(LoudnessTimeText(3723.9), "01:02:03");
    EXPECT_EQ(LoudnessTimeText(1e9), "99:59:59");
}
