#pragma once

// The laws of the console's meters set up as the console sets its controls up: a PEAK bar of
// the meter panel (inner 18 x 286) and a VU needle of the main window. Shared by the law tests
// and the laws' benchmark.

#include "widgets/MMMeterLaws.h"

inline void ConsoleBar(TMMLevelState &bar, TMMChannel channel) {
    bar.SetKind(lkVertical);
    bar.SetInnerSize(18, 286);
    bar.SetSpotWidth(3);
    bar.SetPoint1(40);
    bar.SetPoint2(67);
    bar.SetBitLength(b16Bit);
    bar.SetMode(mStereo);
    bar.SetChannel(channel);
    bar.SetSensitivy(-60);
    bar.SetNumPeaks(2);
    bar.SetPeakSpeed(1);
    bar.SetDecayMode(dmStepUp);
    bar.SetDecay(10);
}

inline void ConsoleNeedle(TMMMeterState &needle, TMMChannel channel) {
    needle.SetMeterMode(mmVU);
    needle.SetInput({b16Bit, mStereo, channel, needle.Input().Samples, 0, 0});
    needle.SetRefLevel(-20.0);
}
