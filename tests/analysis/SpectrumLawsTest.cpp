// The analyser's numbers: columns to bins, levels to bar values, decay, peak
// hold, spot geometry, grid and scale positions and the readout texts.

#include "analysis/MMSpectrumBlock.h"
#include "analysis/MMSpectrumLaws.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TMMColumnTable Table(int width, const TMMColumnParams &params, const TMMGetXScaleHook &hook = {}) {
    TMMColumnTable t;
    t.Resize(width);
    BuildColumnTable(t, params, hook);
    return t;
}

// Levels of a bin with magnitude `mag`, as each form computes them.
std::int32_t LogLevel(double mag, const TMMAmpScale &amp, int bin) {
    const std::int16_t bins[2] = {static_cast<std::int16_t>(std::min(mag, 32767.0)), 0};
    std::int32_t level = 0;
    std::vector<std::int32_t> offsets(1, amp.Offsets[static_cast<std::size_t>(bin)]);
    BinMagnitudes(bins, 2, TMMBinForm::Logarithmic, offsets.data(), &level);
    return level;
}

// One column per bin, n/2 columns, for reading values bin by bin.
struct TBars {
    TMMColumnTable Columns;
    TMMAmpScale Amp;
    std::vector<std::int32_t> Levels = std::vector<std::int32_t>(kSpectrumMaxBins);
    std::vector<TMMBarSegment> Segments;
    int Height;

    TBars(const TMMAmpParams &amp, int fftLength) : Height(amp.Height) {
        Columns = Table(fftLength / 2, {fftLength, amp.SampleRate, 1, false});
        BuildAmpScale(Amp, amp, Columns);
        Segments.resize(static_cast<std::size_t>(Columns.Width) + 1);
    }
    TMMBarsResult Compute(bool decayedLog) {
        return ComputeBars({Levels.data(), &Columns, &Amp, decayedLog, Height}, Segments.data());
    }
};

} // namespace

TEST(SpectrumColumns, LinearTablesMapColumnsToBinsWithContinuationsAndSingleBinEnds) {
    // 128 points at 11025 Hz, linear: column i shows bin Floor(i/W*64 + 0.01), from 0 Hz.
    EXPECT_EQ(SpectrumLowFrequency(false, 11025, 128, 1), 0.0);
    const TMMColumnTable wide = Table(100, {128, 11025, 1, false});
    EXPECT_EQ(wide.First[0], 0);
    EXPECT_TRUE(wide.IsContinuation(1)); // 0.65 -> bin 0 again: column 0's segment goes on
    EXPECT_EQ(wide.First[2], 1);
    EXPECT_EQ(wide.End[0], 0); // one bin
    EXPECT_EQ(wide.First[99], 63);

    // Narrower than the bins: each column takes the maximum over four bins, the last only its first.
    const TMMColumnTable narrow = Table(16, {128, 11025, 1, false});
    EXPECT_EQ(narrow.First[3], 12);
    EXPECT_EQ(narrow.End[3], 16);
    EXPECT_EQ(narrow.First[15], 60);
    EXPECT_EQ(narrow.End[15], 0);

    // Twice the frequency scale shows the lower half of the band.
    const TMMColumnTable zoomed = Table(16, {128, 11025, 2, false});
    EXPECT_EQ(zoomed.First[15], 30);
}

TEST(SpectrumColumns, ConsoleLogTableStartsAtOneBinAndTheHookIsKeptInsideTheTransform) {
    // 2048 points at 48000 Hz: LowFrequency is one bin, 23.4375 Hz, whatever came before.
    EXPECT_DOUBLE_EQ(SpectrumLowFrequency(true, 48000, 2048, 1), 23.4375);
    const TMMColumnTable t = Table(744, {2048, 48000, 1, true});
    for (int i : {0, 100, 400, 743}) {
        const int bin = static_cast<int>(std::floor(std::pow(1024.5, (i - 0.45) / 744) + 0.51)) - 1;
        if (!t.IsContinuation(i)) {
            EXPECT_EQ(t.First[static_cast<std::size_t>(i)], bin) << "column " << i;
        }
    }
    EXPECT_EQ(t.First[0], 0);
    EXPECT_TRUE(t.IsContinuation(1)); // the lowest bins span many columns

    // A handler's table is clamped to bins 0..N/2-1, so a wrong one cannot read past the levels.
    const TMMColumnTable hooked = Table(4, {128, 11025, 1, false}, [](int *first, int *end) {
        const int f[4] = {-5, 10, 10, 500}, e[4] = {3, 900, 0, 0};
        std::copy(f, f + 4, first);
        std::copy(e, e + 4, end);
    });
    EXPECT_EQ(hooked.First[0], 0);
    EXPECT_EQ(hooked.End[1], 64);
    EXPECT_TRUE(hooked.IsContinuation(2));
    EXPECT_EQ(hooked.First[3], 63);
}

TEST(SpectrumAmplitude, LogScaleSpansSixtyDecibelsBelowA16BitBinInBothLevelForms) {
    TMMAmpParams p;
    p.LogAmp = true;
    p.SampleRate = 48000;
    p.Height = 180;
    TBars bars(p, 2048);
    // Undecayed: the log form of the bins; 0 dB at the top, -20 dB two thirds up, silence 0.
    bars.Levels[10] = LogLevel(32768, bars.Amp, 10);
    bars.Levels[20] = LogLevel(3276.8, bars.Amp, 20);
    TMMBarsResult r = bars.Compute(false);
    EXPECT_NEAR(bars.Segments[10].Value, 180, 1);
    EXPECT_NEAR(bars.Segments[20].Value, 120, 1);
    EXPECT_EQ(bars.Segments[30].Value, 0);
    EXPECT_EQ(r.Maximum.Bin, 10);
    EXPECT_GE(r.GainOverflows, 0);
    // Decayed levels are linear sixteenths and reach the same heights.
    bars.Levels[10] = 32768 * 16;
    bars.Levels[20] = 3277 * 16;
    r = bars.Compute(true);
    EXPECT_NEAR(bars.Segments[10].Value, 180, 1);
    EXPECT_NEAR(bars.Segments[20].Value, 120, 1);
    EXPECT_EQ(r.GainOverflows, bars.Segments[10].Value >= 180 ? 1 : 0);

    // The half step tilts by +3 dB per octave about RefFreq: offsets fall 10*log10(2) dB per octave.
    p.Gain = sg3db;
    BuildAmpScale(bars.Amp, p, bars.Columns);
    const double perDB = SpectrumLogUnitsPerDB();
    const int refBin = 1000 * 2048 / 48000 - 1; // (k + 1) * fs / N = RefFreq near k = 41.67
    EXPECT_NEAR((bars.Amp.Offsets[20] - bars.Amp.Offsets[41]) / perDB, 10 * std::log10(2.0), 0.05);
    EXPECT_NEAR((bars.Amp.Offsets[static_cast<std::size_t>(refBin)] - bars.Amp.Offsets[1023]) / perDB,
                10 * std::log10(1024.0 / (refBin + 1)), 0.05);
}

TEST(SpectrumAmplitude, LinearScalePutsVerticalScaleTimesFullScaleAtTheTop) {
    TMMAmpParams p;
    p.SampleRate = 48000;
    p.Height = 100;
    TBars full(p, 256);
    full.Levels[5] = 32768 * 16;
    full.Levels[6] = 16384 * 16;
    full.Compute(false);
    EXPECT_NEAR(full.Segments[5].Value, 100, 1);
    EXPECT_NEAR(full.Segments[6].Value, 50, 1);

    p.VerticalScale = 0.1; // one tenth of full scale reaches the top
    TBars tenth(p, 256);
    tenth.Levels[5] = 3277 * 16;
    const TMMBarsResult r = tenth.Compute(false);
    EXPECT_NEAR(tenth.Segments[5].Value, 100, 1);
    EXPECT_EQ(r.Maximum.Column, 5);

    // The half step weights each column by the square root of its frequency.
    p.VerticalScale = 1.0;
    p.Gain = sg3db;
    TBars tilted(p, 256);
    EXPECT_NEAR(double(tilted.Amp.Multipliers[127]) / tilted.Amp.Multipliers[31], 2.0, 0.02);
}

TEST(SpectrumAmplitude, BarsTakeTheLoudestBinOfTheirColumnsAndSpanTheirContinuations) {
    TMMAmpParams p;
    p.Height = 100;
    TBars bars(p, 128);
    bars.Columns = Table(128, {128, 11025, 1, false}); // two columns per bin
    BuildAmpScale(bars.Amp, p, bars.Columns);
    bars.Segments.resize(129);
    bars.Levels[3] = 32768 * 16;
    const TMMBarsResult r = bars.Compute(false);
    ASSERT_EQ(r.Count, 64);
    EXPECT_EQ(bars.Segments[3].First, 6);
    EXPECT_EQ(bars.Segments[3].End, 8);
    EXPECT_EQ(bars.Segments[64].First, -1);
    EXPECT_EQ(r.Maximum.Column, 6);
    EXPECT_EQ(r.Maximum.Bin, 3);
    EXPECT_EQ(r.GainOverflows, 1);

    TBars narrow(p, 128);
    narrow.Columns = Table(16, {128, 11025, 1, false});
    BuildAmpScale(narrow.Amp, p, narrow.Columns);
    narrow.Levels[14] = 16384 * 16; // bins 12..15 share column 3
    narrow.Compute(false);
    EXPECT_NEAR(narrow.Segments[3].Value, 50, 1);
}

TEST(SpectrumDecay, FactorsLengthsAndTheFourModes) {
    EXPECT_FLOAT_EQ(SpectrumDecayFactor(1), 0.01f);
    EXPECT_NEAR(SpectrumDecayFactor(5), 0.74989, 1e-5);
    EXPECT_NEAR(SpectrumDecayFactor(16), 0.99986, 1e-5);
    EXPECT_EQ(SpectrumAveragingLength(5, 32), 8);
    EXPECT_EQ(SpectrumAveragingLength(1, 32), 1);
    EXPECT_EQ(SpectrumAveragingLength(16, 4), 4);

    // A new state keeps 0.0001 until Decay changes; Decay 1 after 2 gives 0.01.
    TMMSpectrumDecay d;
    EXPECT_FLOAT_EQ(d.Factor(), 0.0001f);
    EXPECT_FALSE(d.SetDecay(1));
    d.SetDecay(2);
    d.SetDecay(1);
    EXPECT_FLOAT_EQ(d.Factor(), 0.01f);

    // Step-up: a louder bin is taken at once, a quieter one decays by f per block.
    d.SetMode(dmStepUp);
    d.SetDecay(5);
    std::int32_t l[1] = {1000};
    d.Apply(l, 1);
    EXPECT_EQ(l[0], 1000);
    l[0] = 0;
    d.Apply(l, 1);
    EXPECT_EQ(l[0], 749);

    // Exponential: moves (1 - f) of the way to the new level.
    d.SetMode(dmExponential); // clears
    l[0] = 1000;
    d.Apply(l, 1);
    EXPECT_EQ(l[0], 250);

    // Uniform: the mean of the last 2 * Decay - 2 blocks, over the blocks seen so far.
    d.SetMode(dmUniform);
    d.SetDecay(3); // 4 blocks
    for (int m : {400, 800}) {
        l[0] = m;
        d.Apply(l, 1);
    }
    EXPECT_EQ(l[0], 600);
    for (int m : {0, 0, 0}) {
        l[0] = m;
        d.Apply(l, 1);
    }
    EXPECT_EQ(l[0], 200); // 800, 0, 0, 0
    d.SetDecay(1);        // length 1: the level itself
    l[0] = 77;
    d.Apply(l, 1);
    EXPECT_EQ(l[0], 77);
}

TEST(SpectrumPeaks, HoldThenVanishOrFallOneUnitPerPeakSpeedTicks) {
    TMMBarSegment s;
    HoldPeak(s, 0, 20);
    EXPECT_EQ(s.Peak, 0); // nothing held for a zero bar
    HoldPeak(s, 30, 20);
    int ticks = 0;
    while (s.Peak == 30 && ticks < 100) {
        AgePeak(s, 0);
        ++ticks;
    }
    EXPECT_EQ(ticks, 41); // 1.025 s
    EXPECT_EQ(s.Peak, 0);

    HoldPeak(s, 30, 0);
    AgePeak(s, 2);
    EXPECT_EQ(s.Peak, 29);
    EXPECT_FALSE(AgePeak(s, 2));
    EXPECT_TRUE(AgePeak(s, 2));
    EXPECT_EQ(s.Peak, 28);
    HoldPeak(s, 10, 0); // a lower value does not pull the peak down
    EXPECT_EQ(s.Peak, 28);
}

TEST(SpectrumKinds, SpotGeometryZonesAndExtents) {
    const TMMSpectrumSpots bars = ComputeSpectrumSpots(skBars, 180, 1, 1, 50, 85);
    EXPECT_EQ(bars.SpotCount, 90);
    EXPECT_EQ(bars.Margin, 0);
    EXPECT_EQ(bars.T1, 45);
    EXPECT_EQ(bars.T2, 76); // 76.5 to the even neighbour
    EXPECT_EQ(bars.BarSpots(0), 0);
    EXPECT_EQ(bars.BarSpots(1), 1);
    EXPECT_EQ(bars.BarSpots(1000), 90);
    EXPECT_EQ(bars.SpotBottom(1), 180);
    EXPECT_EQ(bars.SpotTop(90), 1);
    EXPECT_EQ(bars.ZoneOf(77), 2);
    EXPECT_EQ(bars.ZoneOf(45), 0);

    const TMMSpectrumSpots dots = ComputeSpectrumSpots(skDots, 100, 1, 1, 50, 85);
    EXPECT_EQ(dots.T1, 50);
    EXPECT_EQ(dots.T2, 15);
    EXPECT_EQ(dots.DotZoneOf(15), 2);
    EXPECT_EQ(dots.DotZoneOf(51), 0);
    EXPECT_EQ(DotRow(0, 100), 99);
    EXPECT_EQ(DotRow(150, 100), 0);
    EXPECT_EQ(ComputeSpectrumSpots(skScroll, 90, 1, 1, 50, 85).LineOffset, 60);

    // Space narrows a segment only when it is narrower than the segment.
    EXPECT_EQ(SegmentSpan({3, 4}, skBars, 5).Left, 3);
    EXPECT_EQ(SegmentSpan({3, 4}, skBars, 5).Right, 4);
    EXPECT_EQ(SegmentSpan({0, 8}, skBars, 3).Left, 1);
    EXPECT_EQ(SegmentSpan({0, 8}, skBars, 3).Right, 6);
    EXPECT_EQ(SegmentSpan({0, 8}, skLines, 3).Left, 0);

    // A vertical line is centred on the middle row and banded from the outside in.
    const TMMSpectrumSpots v = ComputeSpectrumSpots(skVLines, 100, 1, 1, 50, 85);
    TMMVLineBand b[3];
    ASSERT_EQ(VLineBands(99, v, b), 3);
    EXPECT_EQ(b[0].Top, 0);
    EXPECT_EQ(b[0].Bottom, 100);
    EXPECT_EQ(b[0].Zone, 2);
    EXPECT_EQ(b[1].Top, 7); // (99 - 85) div 2
    EXPECT_EQ(b[2].Top, 24);
    EXPECT_EQ(b[2].Zone, 0);
    ASSERT_EQ(VLineBands(0, v, b), 1);
    EXPECT_EQ(b[0].Bottom - b[0].Top, 2);
}

TEST(SpectrumScales, IntervalsRowsLabelsAndReadouts) {
    EXPECT_EQ(HalvedIntervals(300, 32), 16);
    EXPECT_EQ(AmpScaleIntervals(true, 50), 5);
    EXPECT_EQ(GridIntervals(false, 180), 10);
    EXPECT_EQ(GridRow(6, 6, true, 1.0, 180), 179);
    EXPECT_EQ(GridRow(0, 10, false, 1.0, 100), 99);
    EXPECT_EQ(GridRow(10, 10, false, 1.0, 100), 0);
    EXPECT_EQ(GridColumn(32, 32, 744), 743);
    EXPECT_EQ(AmpScaleText(1, 6, true, 1.0, false), "-10");
    EXPECT_EQ(AmpScaleText(0, 6, true, 1.0, true), " 0");
    EXPECT_EQ(AmpScaleText(5, 10, false, 0.05, false), "0.025");
    EXPECT_EQ(AmpScaleText(5, 10, false, 1.0, false), "0.50");

    const TMMFreqScaleParams console{true, 23.4375, 48000, 2048, 1};
    EXPECT_DOUBLE_EQ(FrequencyLabel(0, 32, console), 23.4375);
    EXPECT_NEAR(FrequencyLabel(32, 32, console), 24000, 1e-6);
    EXPECT_EQ(FrequencyTickX(32, 32, 744, 1), 744);

    EXPECT_EQ(InfoText(0, 0, 744, 180, console, true, 100, skLines), "0.023 KHz 0.0 dB");
    EXPECT_EQ(InfoText(743, 179, 744, 180, console, true, 100, skLines), "24.000 KHz -60.0 dB");
    const TMMFreqScaleParams linear{false, 0, 11025, 128, 1};
    EXPECT_EQ(InfoText(0, 0, 100, 101, linear, false, 5, skBars), "0.000 KHz 0.050 V");
    EXPECT_EQ(InfoText(0, 100, 100, 101, linear, false, 100, skScroll), "0.000 KHz");

    EXPECT_DOUBLE_EQ(PeakFrequency(42, 48000, 2048, true), 984.375);
    EXPECT_DOUBLE_EQ(PeakFrequency(1, 48000, 2048, true), 1.25 * 23.4375);
    EXPECT_DOUBLE_EQ(PeakFrequency(42, 48000, 2048, false), 42.5 * 23.4375);
    EXPECT_EQ(PeakFrequencyText(23.4375), "23.4 Hz");
}

TEST(SpectrumBounds, MinimumsSquarePhaseAndTheDrawingArea) {
    EXPECT_EQ(SpectrumBounds(3, 3, 1, false, false), (TMMSize{7, 7}));
    EXPECT_EQ(SpectrumBounds(10, 10, 1, true, true), (TMMSize{71, 47}));
    EXPECT_EQ(PhaseBounds(400, 250), (TMMSize{250, 250}));
    EXPECT_EQ(PhaseBounds(400, 400), (TMMSize{300, 300}));
    const TMMAreaRect a = SpectrumDrawingArea(296, 109, 1, true, false, false);
    EXPECT_EQ(a.Left, 33);
    EXPECT_EQ(a.Width, 230);
    EXPECT_EQ(a.Height, 107);
    EXPECT_EQ(SpectrumDrawingArea(270, 270, 2, true, true, true).Width, 266);
    EXPECT_EQ(SpectrumDrawingArea(5, 5, 1, false, false, false).Width, 4);
}
