#include "analysis/MMPhaseLaws.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(PhaseLaws, RangeFactorKeepsOneDecimalInsideItsRangeAndFallsBackToOne) {
    EXPECT_EQ(PhaseRangeFactor(2.5), 1.0);
    EXPECT_EQ(PhaseRangeFactor(0.4), 1.0);
    EXPECT_EQ(PhaseRangeFactor(std::numeric_limits<double>::quiet_NaN()), 1.0);
    EXPECT_EQ(PhaseRangeFactor(0.5), 0.5);
    EXPECT_EQ(PhaseRangeFactor(2.0), 2.0);
    // 1.25 is exact in binary, so the tie goes to the even digit; 0.55 is stored a bit above.
    EXPECT_EQ(PhaseRangeFactor(1.25), 1.2);
    EXPECT_EQ(PhaseRangeFactor(0.55), 0.6);
    EXPECT_EQ(PhaseRangeFactor(1.96), 2.0);
}

TEST(PhaseLaws, RoundingSendsHalvesToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.6), -3);
    EXPECT_EQ(PhaseRadius(135, 1.5), 202);
}

TEST(PhaseLaws, StereoDotsStandVerticalForMonoAndLieFlatForAntiPhase) {
    const TPhaseScale s = PhaseScale(pmStereo, 270, 270);
    // 270 * cos 45 * 32768/32767 = 190.93
    EXPECT_EQ(PhaseDotOffset(pmStereo, s, 16384, 16384), (TPhaseOffset{0, -191}));
    for (int a : {1, 7, 12345, 32767, -32768}) {
        const auto v = static_cast<std::int16_t>(a);
        EXPECT_EQ(PhaseDotOffset(pmStereo, s, v, v).X, 0) << a;
        EXPECT_EQ(PhaseDotOffset(pmStereo, s, v, static_cast<std::int16_t>(-ClampPhaseSample(v))).Y, 0) << a;
        // Right silent: the dot stays on the up-left / down-right diagonal.
        const TPhaseOffset d = PhaseDotOffset(pmStereo, s, v, 0);
        EXPECT_EQ(d.X, d.Y) << a;
    }
    EXPECT_EQ(PhaseDotOffset(pmStereo, s, 16384, 0), (TPhaseOffset{-95, -95})); // left goes up and left
    EXPECT_EQ(PhaseDotOffset(pmStereo, s, 0, 0), (TPhaseOffset{0, 0}));
}

TEST(PhaseLaws, OscilloPutsRightAcrossAndLeftUpAndClampsTheLowestSample) {
    const TPhaseScale s = PhaseScale(pmOscillo, 120, 80);
    EXPECT_EQ(PhaseDotOffset(pmOscillo, s, 32767, 32767), (TPhaseOffset{120, -80}));
    EXPECT_EQ(ClampPhaseSample(-32768), -32767);
}
