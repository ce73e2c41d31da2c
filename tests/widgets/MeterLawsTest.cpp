#include "widgets/MMBevel.h"
#include "widgets/MMMeterLaws.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double kDeg = 180.0 / std::numbers::pi;

// The console's main meters: 341 × 185 inside a lowered one-pixel outer bevel.
TMMNeedleGeometry ConsoleGeometry() {
    TMMBevel bevel;
    bevel.SetBevelOuter(bvLowered);
    const TRect inner = bevel.InnerRect(Rect(0, 0, 341, 185));
    TMMNeedleGeometry g;
    g.Width = inner.Width();
    g.Height = inner.Height();
    g.NeedleOffset = 30;
    g.TopSpace = 20;
    g.ScaleAngle = 90;
    return g;
}

// A 1 kHz sine at 48 kHz, `frames` stereo 16-bit frames, on the channels asked for.
std::vector<std::int16_t> Sine(double amplitude, int frames, bool left = true, bool right = true) {
    std::vector<std::int16_t> v;
    for (int i = 0; i < frames; ++i) {
        const auto s = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(2.0 * std::numbers::pi * 1000.0 * i / 48000.0)));
        v.push_back(left ? s : 0);
        v.push_back(right ? s : 0);
    }
    return v;
}

// Stereo 16-bit frames, read from `channel`.
void StereoInput(TMMMeterState &m, TMMChannel channel = chBoth) {
    TMMLevelInput input = m.Input();
    input.BitLength = b16Bit;
    input.Mode = mStereo;
    input.Channel = channel;
    m.SetInput(input);
}

// The console's VU meter: stereo 16-bit, left channel, reference -20 dBFS.
void ConsoleVU(TMMMeterState &m) {
    m.SetMeterMode(mmVU);
    StereoInput(m, chLeft);
    m.SetRefLevel(-20.0);
}

constexpr double kMinus20dBFS = 3276.7; // the peak of a -20 dBFS sine

} // namespace

TEST(MeterLaws, ConsoleGeometryAndTheZeroVUNeedle) {
    const TMMNeedleGeometry g = ConsoleGeometry();
    EXPECT_EQ(g.Width, 339);
    EXPECT_EQ(g.Height, 183);
    EXPECT_EQ(g.Pivot(), QPoint(169, 213));
    EXPECT_EQ(g.Radius(), 193);

    // 0 VU is 0.708 of the swing: 63.7° from the left end, 18.7° right of vertical.
    const double theta = VUAngle(0.0, g.Swing());
    EXPECT_NEAR(theta / g.Swing(), 0.708, 0.0005);
    EXPECT_NEAR(theta * kDeg, 63.7, 0.05);
    EXPECT_NEAR((theta - g.Swing() / 2) * kDeg, 18.7, 0.05);
    EXPECT_EQ(g.VUPoint(theta, g.Radius()), QPoint(231, 30));
    // The ends of the swing, and the vertical.
    EXPECT_EQ(g.VUPoint(0.0, 100), QPoint(169 - 71, 213 - 71));
    EXPECT_EQ(g.VUPoint(g.Swing(), 100), QPoint(169 + 71, 213 - 71));
    EXPECT_EQ(g.VUPoint(g.Swing() / 2, g.Radius()), QPoint(169, 20));
    // Peak mode spans the same swing from position 0 to 32767.
    EXPECT_EQ(g.PeakPoint(0, 100), QPoint(169 - 71, 213 - 71));
    EXPECT_EQ(g.PeakPoint(32767, 100), QPoint(169 + 71, 213 - 71));
    EXPECT_EQ(g.PeakPoint(32767 / 2, 100), QPoint(169, 113));
}

TEST(MeterLaws, MinusTwentyDBFSSineReadsZeroVUAgainstMinusTwenty) {
    const std::vector<std::int16_t> tone = Sine(kMinus20dBFS, 1000);
    const TMMLevelInput input{b16Bit, mStereo, chLeft, 1000, 0, 0};
    const std::int32_t rms = BlockRMS(tone.data(), input);
    // 20.8 cycles of the tone: within a few units of the whole-cycle RMS.
    EXPECT_NEAR(rms, kMinus20dBFS / std::sqrt(2.0), 4.0);
    EXPECT_EQ(MeterBlockValue(tone.data(), input, mmPeak), 3277);
    EXPECT_NEAR(VUReading(rms, -20.0), 0.0, 0.02);

    // Settled through the ballistics, the needle stands at 0.708 of the swing.
    TMMMeterState m;
    ConsoleVU(m);
    for (int i = 0; i < 300; ++i)
        m.ProcessBlock(tone.data());
    EXPECT_NEAR(m.NeedleAngle() / m.Swing(), 0.708, 0.002);
    EXPECT_EQ(m.Value(), 0); // the read-back is peak mode's

    // The right channel of the same block is silent.
    TMMMeterState right;
    ConsoleVU(right);
    StereoInput(right, chRight);
    const std::vector<std::int16_t> leftOnly = Sine(kMinus20dBFS, 1000, true, false);
    for (int i = 0; i < 300; ++i)
        EXPECT_FALSE(right.ProcessBlock(leftOnly.data()).Redraw);
    EXPECT_EQ(right.NeedleAngle(), 0.0);
}

TEST(MeterLaws, BlockValueReadsFramesAsTheBarMeterDoes) {
    // RMS of a constant is the constant; offsets come off first; chBoth averages.
    const std::vector<std::int16_t> flat(2 * 10, 1000);
    EXPECT_EQ(BlockRMS(flat.data(), {b16Bit, mStereo, chBoth, 10, 100, 300}), 800);
    EXPECT_EQ(BlockRMS(flat.data(), {b16Bit, mStereo, chRight, 10, 100, 300}), 700);
    EXPECT_EQ(BlockRMS(flat.data(), {b16Bit, mMono, chRight, 20, 100, 300}), 900);
    // 8-bit: centred on 128, scaled by 256; silence reads 0; full scale 32768.
    const unsigned char bytes[4] = {0, 0, 128, 128};
    EXPECT_EQ(BlockRMS(bytes, {b8Bit, mStereo, chLeft, 1, 0, 0}), 32768);
    EXPECT_EQ(BlockRMS(bytes + 2, {b8Bit, mStereo, chLeft, 1, 0, 0}), 0);
    // Square root of the mean square, truncated: (3, 4) -> √12.5 = 3.53.
    const std::int16_t mixed[2] = {3, 4};
    EXPECT_EQ(BlockRMS(mixed, {b16Bit, mMono, chBoth, 2, 0, 0}), 3);
    EXPECT_EQ(MeterBlockValue(mixed, {b16Bit, mMono, chBoth, 2, 0, 0}, mmPeak), 4);
    EXPECT_EQ(BlockRMS(nullptr, {}), 0);
    // A full-scale block reports PcmOverflow in both modes.
    const std::vector<std::int16_t> full(2 * 50, 32767);
    TMMMeterState m;
    StereoInput(m);
    EXPECT_TRUE(m.ProcessBlock(full.data()).PcmOverflow);
    m.SetMeterMode(mmVU);
    std::vector<std::int16_t> fullVU(2 * 1000, -32767);
    EXPECT_TRUE(m.ProcessBlock(fullVU.data()).PcmOverflow);
}

TEST(MeterLaws, ModeSwitchSetsTheModesDefaults) {
    TMMMeterState m;
    EXPECT_EQ(m.MeterMode(), mmPeak);
    EXPECT_EQ(m.Input().Samples, 50);
    EXPECT_TRUE(m.ShowPeak());
    EXPECT_EQ(m.RefLevel(), -16.0);
    EXPECT_EQ(m.BlockBytes(), 50);

    ASSERT_TRUE(m.SetMeterMode(mmVU));
    EXPECT_EQ(m.Input().Samples, 1000);
    EXPECT_EQ(m.DecayMode(), dmExponential);
    EXPECT_EQ(m.Decay(), 7);
    EXPECT_FALSE(m.ShowPeak());
    StereoInput(m);
    EXPECT_EQ(m.BlockBytes(), 4000);
    // 0.9306 per 1000-frame block: 20.8 ms at 48 kHz.
    EXPECT_NEAR(m.Ballistics().Factor(), 0.9306, 0.00005);

    EXPECT_FALSE(m.SetMeterMode(mmVU));
    ASSERT_TRUE(m.SetMeterMode(mmPeak));
    EXPECT_EQ(m.Input().Samples, 50);
    EXPECT_EQ(m.DecayMode(), dmNone);
    EXPECT_EQ(m.Decay(), 1);
    EXPECT_TRUE(m.ShowPeak());
    EXPECT_EQ(m.BlockBytes(), 200);
}

TEST(MeterLaws, VUBallisticsOfAStepAndOfSilence) {
    TMMMeterState m;
    ConsoleVU(m);
    const std::vector<std::int16_t> tone = Sine(kMinus20dBFS, 1000);
    const std::vector<std::int16_t> silence(2 * 1000, 0);
    const std::int32_t rms = BlockRMS(tone.data(), {b16Bit, mStereo, chLeft, 1000, 0, 0});

    // First block: (1 - 0.9306) of the level; the angle follows the level linearly.
    ASSERT_TRUE(m.ProcessBlock(tone.data()).Redraw);
    const double first = std::floor((1.0 - m.Ballistics().Factor()) * rms);
    EXPECT_NEAR(m.NeedleAngle(), VUAngle(VUReading(static_cast<std::int64_t>(first), -20.0), m.Swing()),
                1e-6);
    EXPECT_EQ(m.LastValue(), rms);
    for (int i = 0; i < 300; ++i)
        m.ProcessBlock(tone.data());
    const double settled = m.NeedleAngle();

    // Silence: the needle sinks until the reading falls below -70 VU, then stays.
    // The last level shown is 1 (-67.3 VU against -20); 0 reads -77 VU.
    int lastMove = -1;
    for (int i = 0; i < 400; ++i)
        if (m.ProcessBlock(silence.data()).Redraw) lastMove = i;
    // ln(2320 / 2) / -ln(0.9306): 98 blocks, 2 s, from 0 VU down to the level 1.
    EXPECT_NEAR(lastMove, 98, 2);
    EXPECT_DOUBLE_EQ(m.NeedleAngle(), VUAngle(VUReading(1, -20.0), m.Swing()));
    EXPECT_LT(m.NeedleAngle(), settled / 1000);
    EXPECT_EQ(m.Ballistics().Held() < 1.0f, true);

    // Unchanged readings draw nothing; ResetData puts the needle to rest.
    m.ResetData();
    EXPECT_EQ(m.NeedleAngle(), 0.0);
    EXPECT_EQ(m.LastValue(), 0);
    EXPECT_EQ(m.Ballistics().Held(), 0.0f);
}

TEST(MeterLaws, VUReadingAboveThreeIsPinnedAndReported) {
    TMMMeterState m;
    ConsoleVU(m);
    m.SetDecayMode(dmNone);
    const TMMMeterUpdate top = m.UpdateLevel(32767); // +23 VU against -20
    EXPECT_TRUE(top.GainOverflow);
    EXPECT_TRUE(top.Redraw);
    EXPECT_NEAR(m.NeedleAngle(), m.Swing(), 1e-9);
    // The same reading again: reported, not drawn.
    const TMMMeterUpdate again = m.UpdateLevel(-32767);
    EXPECT_TRUE(again.GainOverflow);
    EXPECT_FALSE(again.Redraw);
    // Just below +3 VU: no overflow.
    EXPECT_FALSE(m.UpdateLevel(3200).GainOverflow);
    // Gain doubles the level (+6 dB); a Gain outside -8..32 is ignored.
    EXPECT_TRUE(m.SetGain(8));
    EXPECT_TRUE(m.UpdateLevel(3200).GainOverflow);
    EXPECT_FALSE(m.SetGain(33));
    EXPECT_FALSE(m.SetGain(-9));
    EXPECT_EQ(m.Gain(), 8);
}

TEST(MeterLaws, RefLevelRoundsToOneDecimalOrFallsBack) {
    EXPECT_EQ(RefLevelRule(-20.04), -20.0);
    EXPECT_EQ(RefLevelRule(-9.0), -16.0);
    EXPECT_EQ(RefLevelRule(-31.0), -16.0);
    EXPECT_EQ(RefLevelRule(-30.0), -30.0);
    EXPECT_EQ(RefLevelRule(-10.0), -10.0);
    EXPECT_EQ(RefLevelRule(-29.96), -30.0);
    EXPECT_EQ(RefLevelRule(-30.01), -16.0);
    EXPECT_EQ(RefLevelRule(-20.25), -20.3); // halves away from zero
    EXPECT_EQ(RefLevelRule(-20.05), -20.1);
    EXPECT_EQ(RefLevelRule(std::nan("")), -16.0);
    EXPECT_EQ(RefLevelText(-20.0), "-20.0");
    EXPECT_EQ(RefLevelText(RefLevelRule(-12.34)), "-12.3");

    TMMMeterState m;
    EXPECT_FALSE(m.SetRefLevel(-40)); // the fallback is the default
    EXPECT_TRUE(m.SetRefLevel(-20.04));
    EXPECT_EQ(m.RefLevel(), -20.0);
    EXPECT_FALSE(m.SetRefLevel(-19.96));
}

TEST(MeterLaws, PropertyClamps) {
    TMMMeterState m;
    m.SetScaleAngle(10);
    EXPECT_EQ(m.ScaleAngle(), 45);
    m.SetScaleAngle(200);
    EXPECT_EQ(m.ScaleAngle(), 180);
    m.SetSensitivy(-100);
    EXPECT_EQ(m.Sensitivy(), -90);
    m.SetSensitivy(0);
    EXPECT_EQ(m.Sensitivy(), -9);
    m.SetInput({b8Bit, mMono, chBoth, 0, 0, 0});
    EXPECT_EQ(m.Input().Samples, 1);
    m.SetPeakDelay(99);
    EXPECT_EQ(m.PeakDelay(), 50);
    m.SetPeakSpeed(-1);
    EXPECT_EQ(m.PeakSpeed(), 0);
    m.SetDecay(17);
    EXPECT_EQ(m.Decay(), 16);
}

TEST(MeterLaws, PeakModeLawAndReadBack) {
    TMMMeterState m;                       // peak mode, Sensitivy -50, LogAmp
    EXPECT_FALSE(m.UpdateLevel(0).Redraw); // at rest already
    // -25 dBFS is the middle of a -50 dB scale.
    EXPECT_TRUE(m.UpdateLevel(1843).Redraw);
    EXPECT_NEAR(m.NeedlePosition(), 32767 / 2, 20);
    EXPECT_EQ(m.Value(), 6); // 10^(-25/20) = 5.6 %
    // Full scale is the top, reported as an overflow.
    const TMMMeterUpdate top = m.UpdateLevel(32767);
    EXPECT_TRUE(top.GainOverflow);
    EXPECT_EQ(m.NeedlePosition(), 32767);
    EXPECT_EQ(m.Value(), 100);
    // Below the scale: 0.
    m.UpdateLevel(10);
    EXPECT_EQ(m.NeedlePosition(), 0);
    EXPECT_EQ(m.Value(), 0);
    // Value drives the needle; linear reads back what was set.
    m.SetLogAmp(false);
    m.SetValue(50);
    EXPECT_EQ(m.Value(), 50);
    m.SetValue(150);
    EXPECT_EQ(m.NeedlePosition(), 32767);
}

TEST(MeterLaws, StepUpTakesALevelEqualToTheHeldOne) {
    TMMMeterState m;
    m.SetLogAmp(false);
    m.SetSensitivy(-90);
    m.SetDecayMode(dmStepUp);
    m.SetDecay(1); // factor 0.01
    m.UpdateLevel(20000);
    const int high = m.NeedlePosition();
    m.UpdateLevel(200); // 20000 × 0.01: equal to the held level
    EXPECT_LT(m.NeedlePosition(), high);
    EXPECT_NEAR(m.Ballistics().Held(), 200.0f, 0.01f);
    m.UpdateLevel(0); // falls from 200 to 2
    EXPECT_NEAR(m.Ballistics().Held(), 2.0f, 0.001f);
}

TEST(MeterLaws, PeakNeedleHoldsThenFallsOntoTheMainNeedle) {
    TMMMeterState m;
    m.SetLogAmp(false);
    m.SetSensitivy(-90); // linear: position close to the level
    m.SetPeakDelay(1);   // held for 3 ticks
    m.SetPeakSpeed(2);   // then 500 every 2 ticks (50 ms)
    m.UpdateLevel(20000);
    const int peak = m.PeakPosition();
    EXPECT_EQ(peak, m.NeedlePosition());
    EXPECT_EQ(m.PeakCountdown(), 3);
    m.UpdateLevel(18000);
    const int needle = m.NeedlePosition();
    EXPECT_EQ(m.PeakPosition(), peak); // a lower level leaves the hold alone

    m.PeakTick();
    m.PeakTick();
    EXPECT_EQ(m.PeakPosition(), peak);
    EXPECT_FALSE(m.RedrawPending());
    m.PeakTick(); // the hold ends: the first fall
    EXPECT_EQ(m.PeakPosition(), peak - 500);
    // The moved peak is drawn with the next level, though the needle stays.
    EXPECT_TRUE(m.RedrawPending());
    EXPECT_TRUE(m.UpdateLevel(18000).Redraw);
    EXPECT_FALSE(m.UpdateLevel(18000).Redraw);
    m.PeakTick();
    EXPECT_EQ(m.PeakPosition(), peak - 500);
    m.PeakTick();
    EXPECT_EQ(m.PeakPosition(), peak - 1000);
    for (int i = 0; i < 20; ++i)
        m.PeakTick();
    EXPECT_EQ(m.PeakPosition(), needle); // never below the main needle

    // PeakSpeed 0: the peak drops onto the needle and follows it down.
    m.SetPeakSpeed(0);
    m.UpdateLevel(30000);
    m.UpdateLevel(10000);
    for (int i = 0; i < 3; ++i)
        m.PeakTick();
    EXPECT_EQ(m.PeakPosition(), m.NeedlePosition());
    m.UpdateLevel(5000);
    m.PeakTick();
    EXPECT_EQ(m.PeakPosition(), m.NeedlePosition());

    // A level equal to the held peak does not restart the hold; without the
    // peak needle nothing is held.
    m.UpdateLevel(9000);
    EXPECT_EQ(m.PeakCountdown(), 3);
    m.PeakTick();
    m.PeakTick();
    m.UpdateLevel(9000);
    EXPECT_EQ(m.PeakCountdown(), 1);
    m.SetShowPeak(false);
    m.ResetData();
    m.UpdateLevel(20000);
    EXPECT_EQ(m.PeakPosition(), 0);
}

TEST(MeterLaws, FaceMarksOfTheVUScale) {
    const TMMNeedleGeometry g = ConsoleGeometry();
    TMMFaceScale scale; // soInner, 4 and 8
    const std::vector<TMMFaceMark> marks = VUFaceMarks(g, scale);
    ASSERT_EQ(marks.size(), 25u);
    std::string longs, labels;
    for (const TMMFaceMark &mark : marks) {
        longs += mark.Long ? 'L' : 's';
        if (!mark.Label.empty()) labels += mark.Label + ' ';
    }
    EXPECT_EQ(longs, "LLsssssssssLssLsLsLLLLLLL");
    EXPECT_EQ(labels, "-20 -10 -7 -5 -3 -2 -1 0 1 2 3 ");
    EXPECT_EQ(marks.front().Zone, 1);
    EXPECT_EQ(marks[20].Zone, 1); // -1
    EXPECT_EQ(marks[21].Zone, 3); // 0
    // The 0 VU tick runs outward from radius 183 to 191.
    EXPECT_EQ(marks[21].From, QPoint(228, 40));
    EXPECT_EQ(marks[21].To, QPoint(230, 32));
    EXPECT_EQ(marks[21].Anchor, g.VUPoint(VUMarkAngle(0, g.Swing()), 191));
    // +3 lies at the full swing, -70 almost at the left end.
    EXPECT_EQ(marks.back().To, g.VUPoint(g.Swing(), 191));
    EXPECT_EQ(marks.front().To, g.VUPoint(0.0, 191));

    // Short ticks: from the inner end with soInner, from the outer end with soOuter.
    EXPECT_EQ(TickRadii(scale, 193, true), (TMMTickRadii{183, 191}));
    EXPECT_EQ(TickRadii(scale, 193, false), (TMMTickRadii{183, 187}));
    scale.Origin = soOuter;
    EXPECT_EQ(TickRadii(scale, 193, true), (TMMTickRadii{191, 183}));
    EXPECT_EQ(TickRadii(scale, 193, false), (TMMTickRadii{191, 187}));

    const std::vector<TMMFaceArc> arcs = VUFaceArcs(g, scale);
    ASSERT_EQ(arcs.size(), 2u);
    EXPECT_EQ(arcs[0].Radius, 184);
    EXPECT_EQ(arcs[0].Zone, 3);
    EXPECT_DOUBLE_EQ(arcs[0].To, VUMarkAngle(3, g.Swing()));
    EXPECT_DOUBLE_EQ(arcs[1].From, VUMarkAngle(-70, g.Swing()));
    EXPECT_DOUBLE_EQ(arcs[1].To, arcs[0].From);

    // Labels: digits centred over the anchor, the sign before them.
    EXPECT_EQ(LabelTopLeft(QPoint(100, 50), 10, 14, 9, 2), QPoint(100 + 5 - 14 + 2, 50 - 9 - 3));
    EXPECT_EQ(CaptionBox(339, 183, 14), Rect(0, 172 - 14, 339, 172));
    EXPECT_EQ(RefLevelBox(339, 183, 11), Rect(0, 173 - 11, 338, 173));
}

TEST(MeterLaws, FaceMarksOfThePeakScale) {
    TMMNeedleGeometry g;      // a new meter: 170 × 90 in a one-pixel bevel
    const TMMFaceScale scale; // 41 ticks, long every 4, labelled every 8, 60 % / 80 %
    const std::vector<TMMFaceMark> marks = PeakFaceMarks(g, scale);
    ASSERT_EQ(marks.size(), 41u);
    std::string zones, labels;
    int longs = 0;
    for (const TMMFaceMark &mark : marks) {
        zones += static_cast<char>('0' + mark.Zone);
        longs += mark.Long;
        if (!mark.Label.empty()) labels += mark.Label + ' ';
    }
    EXPECT_EQ(zones, "1111111111111111111111111"
                     "22222222"
                     "33333333");
    EXPECT_EQ(longs, 11);
    EXPECT_EQ(labels, "-50 -40 -30 -20 -10 0 ");
    EXPECT_EQ(PeakTickPosition(40, 41), 32767);
    EXPECT_EQ(PeakTickPosition(1, 41), 819);
    EXPECT_EQ(marks.front().To, g.PeakPoint(0, g.Radius() - 2));
    // Truncated toward zero: 2 of 3 steps of -50.
    EXPECT_EQ(PeakTickLabel(1, 4, true, -50), -33);
    // Linear: the dB of each tick's level, from Sensitivy up to 0.
    EXPECT_EQ(PeakTickLabel(0, 41, false, -50), -50);
    EXPECT_EQ(PeakTickLabel(20, 41, false, -50), -6);
    EXPECT_EQ(PeakTickLabel(40, 41, false, -50), 0);
    TMMFaceScale none = scale;
    none.Ticks = 1;
    EXPECT_TRUE(PeakFaceMarks(g, none).empty());
    none.Ticks = 5;
    none.EnlargeEvery = 0;
    none.TextEvery = 0;
    for (const TMMFaceMark &mark : PeakFaceMarks(g, none)) {
        EXPECT_TRUE(mark.Long);
        EXPECT_TRUE(mark.Label.empty());
    }
}

TEST(MeterLaws, NeedlePenAndBounds) {
    EXPECT_EQ(PenSpan(0).First, 0);
    EXPECT_EQ(PenSpan(0).Last, 0);
    EXPECT_EQ(PenSpan(2).First, 0);
    EXPECT_EQ(PenSpan(2).Last, 1);
    EXPECT_EQ(PenSpan(3).First, -1);
    EXPECT_EQ(PenSpan(3).Last, 1);
    EXPECT_EQ(NeedleBounds(QPoint(169, 213), QPoint(231, 30), 1), Rect(169, 30, 232, 214));
    EXPECT_EQ(NeedleBounds(QPoint(169, 213), QPoint(100, 30), 2), Rect(100, 30, 171, 215));
    EXPECT_EQ(UnionRect(Rect(0, 0, 0, 0), Rect(1, 2, 3, 4)), Rect(1, 2, 3, 4));
    EXPECT_EQ(UnionRect(Rect(5, 5, 6, 6), Rect(1, 2, 3, 4)), Rect(1, 2, 6, 6));
}
