#include "analysis/LoudnessTargets.h"
#include "analysis/LoudnessMeter.h"

#include <gtest/gtest.h>

TEST(LoudnessTargets, PresetsAndTheCustomTargetWithinItsLimits) {
    EXPECT_EQ(LoudnessPresetTarget(lpEBUR128, 0, 0).Target, -23);
    EXPECT_EQ(LoudnessPresetTarget(lpATSCA85, 0, 0).Ceiling, -2);
    EXPECT_EQ(LoudnessPresetTarget(lpMinus14, 0, 0).Target, -14);
    EXPECT_EQ(LoudnessPresetTarget(lpCustom, -60, 5).Target, kMinTarget);
    EXPECT_EQ(LoudnessPresetTarget(lpCustom, -60, 5).Ceiling, kMaxCeiling);
    // A number from a hand-edited file that names no preset is EBU R128.
    EXPECT_EQ(LoudnessPresetOf(9), lpEBUR128);
    EXPECT_EQ(LoudnessPresetName(lpATSCA85), "ATSC A/85 -24 LKFS / -2 dBTP");
}

// The alert follows the read-out: what shows as target ± 1.0 is on target, -24.1 is not.
TEST(LoudnessTargets, AlertsFollowWhatTheReadOutShows) {
    EXPECT_FALSE(MissesTarget(-24.04, -23));
    EXPECT_TRUE(MissesTarget(-24.06, -23));
    EXPECT_TRUE(MissesTarget(-21.9, -23));
    EXPECT_FALSE(MissesTarget(kNoLoudness, -23));
    EXPECT_FALSE(OverCeiling(-0.96, -1));
    EXPECT_TRUE(OverCeiling(-0.94, -1));
    EXPECT_FALSE(OverCeiling(kNoLoudness, -1));
}
