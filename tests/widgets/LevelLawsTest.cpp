#include "widgets/MMBevel.h"
#include "widgets/MMLevelLaws.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// The console's peak meter: 20 × 288 inside a raised one-pixel inner bevel.
void ConsolePanel(TMMLevelState &level) {
    TMMBevel bevel;
    bevel.SetBevelOuter(bvNone);
    bevel.SetBevelInner(bvRaised);
    const TRect inner = bevel.InnerRect(Rect(0, 0, 20, 288));
    level.SetKind(lkVertical);
    level.SetInnerSize(inner.Width(), inner.Height());
    level.SetSpotWidth(3);
    level.SetPoint1(40);
    level.SetPoint2(67);
    level.SetBitLength(b16Bit);
    level.SetMode(mStereo);
    level.SetChannel(chLeft);
    level.SetSensitivy(-60);
    level.SetNumPeaks(2);
    level.SetPeakSpeed(1);
    level.SetDecayMode(dmStepUp);
    level.SetDecay(10);
}

// Stereo 16-bit frames with the given left and right samples.
std::vector<std::int16_t> Stereo(std::initializer_list<std::pair<int, int>> frames) {
    std::vector<std::int16_t> v;
    for (auto [l, r] : frames) {
        v.push_back(static_cast<std::int16_t>(l));
        v.push_back(static_cast<std::int16_t>(r));
    }
    return v;
}

std::int32_t Peak(const void *data, TMMBits bits, TMMMode mode, TMMChannel channel, int samples, int offL = 0,
                  int offR = 0) {
    return BlockRawPeak(data, TMMLevelInput{bits, mode, channel, samples, offL, offR});
}

// The bar as characters along x (horizontal) or down y (vertical): the spot
// covering each pixel, '.' for none.
std::string Ladder(const TMMSpotGeometry &g) {
    std::string s(static_cast<std::size_t>(g.BarLength()), '.');
    for (int k = 1; k <= g.BarSpots; ++k) {
        const TRect r = g.SpotRect(k).Intersected(g.Bounds());
        const int from = g.Kind == lkHorizontal ? r.Left : r.Top;
        const int to = g.Kind == lkHorizontal ? r.Right : r.Bottom;
        for (int i = from; i < to; ++i)
            s[static_cast<std::size_t>(i)] = static_cast<char>('0' + k);
    }
    return s;
}

} // namespace

TEST(LevelLaws, ConsolePanelGeometryAndPositions) {
    TMMLevelState level;
    ConsolePanel(level);
    const TMMSpotGeometry &g = level.Geometry();
    EXPECT_EQ(g.Width, 18);
    EXPECT_EQ(g.Height, 286);
    EXPECT_EQ(g.BarSpots, 71);
    EXPECT_EQ(g.Margin, 1);
    EXPECT_EQ(g.Zone1, 28);
    EXPECT_EQ(g.Zone2, 47);
    EXPECT_EQ(g.SpotRect(1), Rect(0, 282, 18, 285)); // one margin pixel below
    EXPECT_EQ(g.SpotRect(71), Rect(0, 2, 18, 5));
    EXPECT_EQ(g.ZoneOf(28), 1);
    EXPECT_EQ(g.ZoneOf(29), 2);
    EXPECT_EQ(g.ZoneOf(48), 3);

    struct Case {
        int raw;
        int spots;
    };
    level.SetSamples(3);
    for (Case c : {Case{32767, 71}, {3277, 47}, {1037, 36}, {1036, 35}, {33, 0}}) {
        level.ResetData();
        const auto block = Stereo({{0, 0}, {-c.raw, 5}, {c.raw / 2, -32768}});
        const TMMLevelUpdate u = level.ProcessBlock(block.data());
        EXPECT_EQ(level.BarPosition(), c.spots) << c.raw;
        EXPECT_EQ(level.LastRawPeak(), c.raw);
        EXPECT_EQ(u.PcmOverflow, c.raw >= 32767) << c.raw;
        EXPECT_FALSE(u.GainOverflow);
        EXPECT_EQ(u.Redraw, c.spots != 0) << c.raw;
    }
}

TEST(LevelLaws, ValueDrivesTheBarAndReadsBack) {
    TMMLevelState level;
    ConsolePanel(level);
    level.SetDecayMode(dmNone);
    // -20 dBFS against a -60 dB bottom.
    EXPECT_TRUE(level.SetValue(10).Redraw);
    EXPECT_EQ(level.BarPosition(), 47);
    EXPECT_EQ(level.CurrentValue(), 10);
    EXPECT_EQ(level.PeakPosition(), 47);
    EXPECT_EQ(level.CurrentPeak(), 3276);

    const TMMLevelUpdate full = level.SetValue(100);
    EXPECT_FALSE(full.GainOverflow);
    EXPECT_FALSE(full.PcmOverflow); // only blocks report PCM overflow
    EXPECT_EQ(level.BarPosition(), 71);
    EXPECT_EQ(level.CurrentValue(), 100);
    EXPECT_EQ(level.CurrentPeak(), 32767);

    // Twice the level overflows the bar, which stops at its top.
    level.ResetData();
    ASSERT_TRUE(level.SetGain(8));
    EXPECT_TRUE(level.SetValue(100).GainOverflow);
    EXPECT_EQ(level.BarPosition(), 71);
    EXPECT_EQ(level.PeakPercent(), 50); // the read-back takes the gain out again
    EXPECT_FALSE(level.SetValue(50).GainOverflow);
    EXPECT_TRUE(level.SetValue(250).GainOverflow); // kept to 100
    EXPECT_FALSE(level.SetGain(33));               // ignored, not clamped
    EXPECT_EQ(level.Gain(), 8);

    // A gain of -8 silences the meter; a peak held from before reads nothing.
    ASSERT_TRUE(level.SetGain(-8));
    EXPECT_EQ(level.PeakPercent(), 0);
    level.SetValue(100);
    EXPECT_EQ(level.BarPosition(), 0);
    EXPECT_EQ(ApplyGain(32767, -4), 16383); // truncated

    // The console's CLIP threshold lies between 97 and 98 % of full scale.
    EXPECT_EQ(PercentToSample(98), 32111);
    EXPECT_EQ(PercentToSample(97), 31783);
}

TEST(LevelLaws, PositionLawsRoundHalvesToEven) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    // Linear read-back of 1, 3 and 5 eighths of the bar.
    EXPECT_EQ(PositionPercent(1, false, -35, 0, 8), 12);
    EXPECT_EQ(PositionPercent(3, false, -35, 0, 8), 38);
    EXPECT_EQ(PositionPercent(5, false, -35, 0, 8), 62);

    // Linear: the bottom of the bar is the amplitude of Sensitivy dB.
    EXPECT_EQ(LevelPosition(32767, false, -60, 71, dirNormal), 71);
    EXPECT_EQ(LevelPosition(0, false, -60, 71, dirNormal), 0); // never below 0
    EXPECT_EQ(LevelPosition(16384, false, -60, 71, dirNormal), 35);
    // Symmetric halves after the law, so an overflow needs twice the bar.
    EXPECT_EQ(LevelPosition(32767, true, -60, 71, dirSymetric), 35);
    EXPECT_EQ(LevelPosition(65534, true, -60, 71, dirSymetric), 39);
    EXPECT_GT(LevelPosition(std::int64_t{1} << 40, true, -60, 71, dirSymetric), 71);
    EXPECT_GT(LevelPosition(std::int64_t{1} << 40, false, -9, 1000000, dirNormal), 1000000);
}

TEST(LevelLaws, BlockPeakPerFormatAndChannel) {
    // 16-bit mono with a DC offset; -32768 counts as its magnitude.
    const std::int16_t mono[] = {100, -300, 250};
    EXPECT_EQ(Peak(mono, b16Bit, mMono, chRight, 3), 300);
    EXPECT_EQ(Peak(mono, b16Bit, mMono, chBoth, 3, 100), 400); // −300 − 100
    const std::int16_t low[] = {-32768};
    EXPECT_EQ(Peak(low, b16Bit, mMono, chBoth, 1), 32768);

    const auto st = Stereo({{3, -6}, {-20, 7}});
    EXPECT_EQ(Peak(st.data(), b16Bit, mStereo, chLeft, 2), 20);
    EXPECT_EQ(Peak(st.data(), b16Bit, mStereo, chRight, 2), 7);
    // (3 − 6) / 2 truncates toward zero to −1; (−20 + 7) / 2 to −6.
    EXPECT_EQ(Peak(st.data(), b16Bit, mStereo, chBoth, 2), 6);
    EXPECT_EQ(Peak(st.data(), b16Bit, mStereo, chRight, 2, 0, 7), 13);
    EXPECT_EQ(Peak(st.data(), b16Bit, mStereo, chLeft, 1), 3); // only Samples frames are read

    // 8-bit: centred on 128, scaled by 256; chBoth centres after averaging.
    const unsigned char m8[] = {128, 129, 0};
    EXPECT_EQ(Peak(m8, b8Bit, mMono, chBoth, 2), 256);
    EXPECT_EQ(Peak(m8, b8Bit, mMono, chBoth, 3), 32768);
    const unsigned char s8[] = {128, 127, 255, 130};
    EXPECT_EQ(Peak(s8, b8Bit, mStereo, chBoth, 1), 256); // 255 / 2 = 127, −1 × 256
    EXPECT_EQ(Peak(s8, b8Bit, mStereo, chLeft, 2), 127 * 256);
    EXPECT_EQ(Peak(s8, b8Bit, mStereo, chRight, 2), 512);
    EXPECT_EQ(Peak(s8, b8Bit, mStereo, chRight, 2, 0, -126), 128 * 256); // 130 + 126 − 128

    // Three-channel frames are stepped whole; the third channel is not read.
    const std::int16_t multi[] = {10, 20, 30000, -40, 5, 30000};
    EXPECT_EQ(Peak(multi, b16Bit, mMultiChannel, chLeft, 2), 40);
    EXPECT_EQ(Peak(multi, b16Bit, mMultiChannel, chRight, 2), 20);

    // Offsets that would overflow 32 bits saturate instead of wrapping.
    EXPECT_EQ(Peak(low, b16Bit, mMono, chBoth, 1, 2147483647), 2147483647);
    EXPECT_EQ(Peak(nullptr, b16Bit, mMono, chBoth, 1), 0);
}

TEST(LevelLaws, BlockBytesAndWaveFormat) {
    TMMLevelState level;
    EXPECT_EQ(level.BlockBytes(), 50); // 8-bit mono, 50 frames
    level.SetMode(mMultiChannel);
    level.SetBitLength(b16Bit);
    EXPECT_EQ(level.BlockBytes(), 300);
    EXPECT_TRUE(level.SetSamples(0) && level.Samples() == 1);

    TWaveFormatEx f;
    BuildPCMFormat(f, 16, 2, 48000);
    ASSERT_TRUE(level.SetWaveFormat(&f));
    EXPECT_EQ(level.BitLength(), b16Bit);
    EXPECT_EQ(level.Mode(), mStereo);
    BuildPCMFormat(f, 8, 1, 8000);
    ASSERT_TRUE(level.SetWaveFormat(&f));
    EXPECT_EQ(level.BlockBytes(), 1);

    // Rejected formats change nothing: four channels pass the PCM test but have no Mode.
    BuildPCMFormat(f, 16, 4, 48000);
    EXPECT_FALSE(level.SetWaveFormat(&f));
    f.nChannels = 2;
    f.wFormatTag = 2;
    EXPECT_FALSE(level.SetWaveFormat(&f));
    EXPECT_FALSE(level.SetWaveFormat(nullptr));
    EXPECT_EQ(level.BitLength(), b8Bit);
    EXPECT_EQ(level.Mode(), mMono);
}

TEST(LevelLaws, DecayConstants) {
    EXPECT_NEAR(DecayFactor(1), 0.01f, 1e-7);
    EXPECT_NEAR(DecayFactor(7), 0.9306f, 1e-4);
    EXPECT_NEAR(DecayFactor(10), 0.99104f, 1e-5);
    EXPECT_NEAR(DecayFactor(16), 0.99986f, 1e-5);
    EXPECT_EQ(DecayWindow(1), 1);
    EXPECT_EQ(DecayWindow(2), 2);
    EXPECT_EQ(DecayWindow(16), 30);

    TMMLevelDecay d;
    // A new meter's Decay 1 has the same constants as one set back to 1.
    EXPECT_EQ(d.Factor(), DecayFactor(1));
    EXPECT_TRUE(d.SetDecay(17));
    EXPECT_EQ(d.Decay(), 16);
    EXPECT_EQ(d.Window(), 30);
    EXPECT_FALSE(d.SetDecay(16));
    EXPECT_TRUE(d.SetDecay(0));
    EXPECT_EQ(d.Decay(), 1);
}

TEST(LevelLaws, StepUpFollowsRisesAndFallsByTheFactor) {
    TMMLevelDecay d;
    d.SetMode(dmStepUp);
    d.SetDecay(10);
    EXPECT_EQ(d.Apply(30000), 30000);
    std::int64_t last = 30000;
    for (int i = 0; i < 20; ++i) {
        const std::int64_t m = d.Apply(0);
        // About 0.9 % of the held level per block.
        EXPECT_NEAR(static_cast<double>(last - m) / last, 0.009, 0.0006) << i;
        last = m;
    }
    EXPECT_EQ(d.Apply(last + 1), last + 1); // a louder block is taken at once
    const std::int64_t fallen = d.Apply(0);
    EXPECT_LT(fallen, last + 1);
    EXPECT_GT(fallen, (last + 1) * 99 / 100);
    d.SetMode(dmNone);
    EXPECT_EQ(d.Apply(5), 5);
    d.SetMode(dmStepUp); // a mode change forgets the held level
    EXPECT_EQ(d.Apply(5), 5);
}

TEST(LevelLaws, ExponentialAndUniformBallistics) {
    TMMLevelDecay e;
    e.SetMode(dmExponential);
    e.SetDecay(7);
    const std::int64_t first = e.Apply(10000);
    EXPECT_EQ(first, 694); // floor((1 − 0.9306) × 10000)
    EXPECT_GT(e.Apply(10000), first);

    TMMLevelDecay u;
    u.SetMode(dmUniform);
    EXPECT_EQ(u.Apply(100), 100); // Decay 1: a window of one, no smoothing
    EXPECT_EQ(u.Apply(300), 300);
    u.SetDecay(2); // clears under dmUniform
    EXPECT_EQ(u.Apply(100), 100);
    EXPECT_EQ(u.Apply(301), 200);
    EXPECT_EQ(u.Apply(501), 401);
    EXPECT_EQ(u.Apply(0), 250);

    TMMLevelDecay w;
    w.SetMode(dmUniform);
    w.SetDecay(16);
    for (int i = 0; i < 30; ++i)
        w.Apply(3000);
    EXPECT_EQ(w.Apply(0), 2900); // the oldest of 30 leaves as the silence enters
}

TEST(LevelLaws, PeakHoldsThenVanishesWithPeakSpeedZero) {
    TMMLevelState level;
    level.SetValue(50);
    const int peak = level.PeakPosition();
    ASSERT_GT(peak, 0);
    EXPECT_EQ(level.PeakCountdown(), 41); // 2 × PeakDelay + 1 ticks: 1025 ms
    level.SetValue(0);
    EXPECT_EQ(level.BarPosition(), 0);
    for (int i = 0; i < 40; ++i)
        level.PeakTick();
    EXPECT_EQ(level.PeakPosition(), peak);
    EXPECT_FALSE(level.RedrawPending());
    level.PeakTick();
    EXPECT_EQ(level.PeakPosition(), 0);
    EXPECT_EQ(level.CurrentPeak(), 0);
    EXPECT_TRUE(level.RedrawPending());
    // The tick never draws; the next level, even a silent one, does.
    EXPECT_TRUE(level.UpdateLevel(0).Redraw);
    EXPECT_FALSE(level.RedrawPending());
    // At rest a silent block changes and draws nothing.
    EXPECT_FALSE(level.UpdateLevel(0).Redraw);
    level.PeakTick();
    EXPECT_FALSE(level.RedrawPending());
}

TEST(LevelLaws, PeakFallsOneSpotPerPeakSpeedTicks) {
    TMMLevelState level;
    level.SetPeakDelay(0);
    level.SetPeakSpeed(2);
    level.SetValue(100);
    const int top = level.PeakPosition();
    EXPECT_EQ(level.PeakCountdown(), 1);
    level.PeakTick();
    EXPECT_EQ(level.PeakPosition(), top - 1);
    level.PeakTick();
    EXPECT_EQ(level.PeakPosition(), top - 1);
    level.PeakTick();
    EXPECT_EQ(level.PeakPosition(), top - 2);

    // A level equal to the held peak restarts the hold; a lower one does not capture.
    level.SetValue(100);
    level.SetPeakDelay(3); // clears the countdown ...
    level.SetValue(100);   // ... which the same level sets again
    EXPECT_EQ(level.PeakPosition(), top);
    EXPECT_EQ(level.PeakCountdown(), 7);
    level.PeakTick();
    level.SetValue(90);
    EXPECT_EQ(level.PeakCountdown(), 6);
    level.SetValue(100);
    EXPECT_EQ(level.PeakCountdown(), 7);
}

TEST(LevelLaws, PeakSettingsClearTheHold) {
    TMMLevelState level;
    level.SetValue(80);
    const int peak = level.PeakPosition();
    // A cleared countdown ends the hold at the next tick instead of never.
    EXPECT_TRUE(level.SetPeakSpeed(1));
    EXPECT_EQ(level.PeakCountdown(), 0);
    level.PeakTick();
    EXPECT_EQ(level.PeakPosition(), peak - 1);

    // Without a marker nothing is held or read back.
    EXPECT_TRUE(level.SetNumPeaks(0));
    EXPECT_EQ(level.PeakPosition(), 0);
    level.SetValue(90);
    EXPECT_EQ(level.PeakPosition(), 0);
    EXPECT_EQ(level.CurrentPeak(), 0);
    EXPECT_TRUE(level.SetNumPeaks(9));
    EXPECT_EQ(level.NumPeaks(), 5);
    level.SetValue(95);
    EXPECT_GT(level.PeakPosition(), 0);
}

TEST(LevelLaws, GeometryChangesRestartTheBar) {
    TMMLevelState level;
    EXPECT_EQ(level.Geometry().BarSpots, 99); // 198 pixels of 1 + 1
    level.SetValue(100);
    ASSERT_GT(level.BarPosition(), 0);
    EXPECT_FALSE(level.SetDirection(dirNormal));
    EXPECT_TRUE(level.SetDirection(dirReversed));
    EXPECT_GT(level.BarPosition(), 0); // the direction only redraws
    EXPECT_TRUE(level.SetSpotWidth(500));
    EXPECT_EQ(level.SpotWidth(), 66); // a third of the bar
    EXPECT_EQ(level.BarPosition(), 0);
    EXPECT_EQ(level.PeakPosition(), 0);

    level.SetInnerSize(2, 0);
    EXPECT_EQ(level.Geometry().Height, 1);
    EXPECT_EQ(level.Geometry().BarSpots, 1); // never fewer than one spot
    level.SetSpotWidth(5);
    EXPECT_EQ(level.SpotWidth(), 1);

    EXPECT_EQ(SizeForKind(lkVertical, 200, 17), std::make_pair(17, 200));
    EXPECT_EQ(SizeForKind(lkHorizontal, 17, 200), std::make_pair(200, 17));
}

TEST(LevelLaws, SpotsRunFromTheStartOfTheBar) {
    // 13 pixels of 2-pixel spots 1 apart: 4 spots, one margin pixel before spot 1.
    const auto h = ComputeSpotGeometry(13, 5, lkHorizontal, dirNormal, 2, 1, 50, 75);
    EXPECT_EQ(Ladder(h), ".11.22.33.44.");
    EXPECT_EQ(h.Zone1, 2);
    EXPECT_EQ(h.Zone2, 3);
    EXPECT_EQ(Ladder(ComputeSpotGeometry(13, 5, lkHorizontal, dirReversed, 2, 1, 50, 75)), ".44.33.22.11.");
    EXPECT_EQ(Ladder(ComputeSpotGeometry(13, 5, lkHorizontal, dirSymetric, 2, 1, 50, 75)), ".44.33.22.11.");
    // Vertical bars grow upward.
    EXPECT_EQ(Ladder(ComputeSpotGeometry(5, 13, lkVertical, dirNormal, 2, 1, 50, 75)), ".44.33.22.11.");
    EXPECT_EQ(Ladder(ComputeSpotGeometry(5, 13, lkVertical, dirReversed, 2, 1, 50, 75)), ".11.22.33.44.");
    // No space: the spots touch; the odd pixel goes after the last.
    EXPECT_EQ(Ladder(ComputeSpotGeometry(7, 5, lkHorizontal, dirNormal, 2, 0, 50, 75)), "112233.");
    // Spots past either end continue at the same step.
    EXPECT_EQ(h.SpotRect(0), Rect(-2, 0, 0, 5));
    EXPECT_EQ(h.SpotRect(5), Rect(13, 0, 15, 5));

    EXPECT_TRUE(DottedPixel(0, 0) && DottedPixel(2, 2));
    EXPECT_FALSE(DottedPixel(1, 0) || DottedPixel(0, 1));
}

TEST(LevelLaws, LitRunsAndPeakMarker) {
    const auto g = ComputeSpotGeometry(18, 286, lkVertical, dirNormal, 3, 1, 40, 67);
    EXPECT_EQ(ActiveSpots(g, 30), (TMMSpotRun{1, 30, 0}));
    EXPECT_TRUE(ActiveSpots(g, 0).IsEmpty());
    // Symmetric: five spots about the position, in the position's zone, even at rest.
    const auto s = ComputeSpotGeometry(18, 286, lkVertical, dirSymetric, 3, 1, 40, 67);
    EXPECT_EQ(ActiveSpots(s, 0), (TMMSpotRun{-1, 3, 1}));
    EXPECT_EQ(ActiveSpots(s, 200), (TMMSpotRun{69, 73, 3}));

    EXPECT_EQ(PeakSpots(2, 10, 30), (TMMSpotRun{29, 30, 0}));
    EXPECT_TRUE(PeakSpots(2, 30, 30).IsEmpty()); // hidden under the bar
    EXPECT_TRUE(PeakSpots(0, 10, 30).IsEmpty());
    EXPECT_EQ(PeakSpots(5, 0, 2).First, -2); // into the margin, for the drawing to clip
}

TEST(LevelLaws, PeakTicksRaceBlocksSafely) {
    TMMLevelState level;
    level.SetPeakDelay(0);
    level.SetPeakSpeed(1);
    std::atomic<bool> stop{false};
    std::thread ticker([&] {
        while (!stop.load())
            level.PeakTick();
    });
    const int spots = level.Geometry().BarSpots;
    for (int i = 0; i < 20000; ++i) {
        level.SetValue(i % 101);
        const int peak = level.PeakPosition();
        ASSERT_GE(peak, 0);
        ASSERT_LE(peak, spots);
        ASSERT_LE(level.PeakCountdown(), 1);
        ASSERT_LE(level.CurrentPeak(), 32767);
    }
    stop.store(true);
    ticker.join();
}
