// The K-System bars' law: 600 ms integration, sine calibration, and what noise reads.

#include "widgets/MMLevelLaws.h"
#include "widgets/MMPeakStandards.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// Feeds `seconds` of 16-bit mono at 48 kHz, 50 frames a block, from next(); the reading in dBFS.
template <typename F> double Feed(TMMPPMBallistics &meter, double seconds, F &&next) {
    const TMMLevelInput in{b16Bit, mMono, chBoth, 50, 0, 0};
    std::vector<std::int16_t> block(50);
    for (int n = 0; n < static_cast<int>(seconds * 48000); n += 50) {
        for (std::int16_t &s : block)
            s = static_cast<std::int16_t>(std::lround(next()));
        meter.Apply(block.data(), in);
    }
    return 20.0 * std::log10(meter.Level() / 32767.0);
}

auto Sine(double dbfs, double hz = 1000.0) {
    return [a = 32767.0 * std::pow(10.0, dbfs / 20.0), w = 2.0 * M_PI * hz / 48000.0, n = 0]() mutable {
        return a * std::sin(w * n++);
    };
}

} // namespace

TEST(KSystem, ASineReadsItsPeakLevelAfterSixHundredMilliseconds) {
    for (TMMPeakStandard k : {psK20, psK14, psK12}) {
        for (double hz : {100.0, 1000.0, 5000.0}) {
            TMMPPMBallistics meter;
            meter.SetStandard(k);
            EXPECT_NEAR(Feed(meter, 3.0, Sine(-20.0, hz)), -20.0, 0.05) << hz;
        }
        // A tone from silence: 99 % of its final reading at 600 ms, well short of it at 300 ms.
        TMMPPMBallistics meter;
        meter.SetStandard(k);
        auto tone = Sine(-14.0);
        const double at300 = Feed(meter, 0.3, tone);
        const double at600 = Feed(meter, 0.3, tone);
        EXPECT_NEAR(at600, -14.0 + 20.0 * std::log10(0.99), 0.03);
        EXPECT_NEAR(at300, -14.0 + 10.0 * std::log10(1.0 - std::exp(-300.0 / kKSystemTauMs)), 0.05);
        EXPECT_LT(at300, at600 - 0.5);
    }
}

// Calibrated on a sine, the meter reads noise of true RMS X at X + 3.01 dB.
TEST(KSystem, NoiseReadsThreeDecibelsAboveItsTrueRms) {
    std::mt19937 random(7);
    const double rms = 32767.0 * std::pow(10.0, -26.0 / 20.0);
    std::normal_distribution<double> gauss(0.0, rms);
    TMMPPMBallistics meter;
    meter.SetStandard(psK20);
    EXPECT_NEAR(Feed(meter, 4.0, [&] { return gauss(random); }), -26.0 + 3.01, 0.3);
}

// On the bar: a -20 dBFS sine reads 0 on K-20, the marker holds the sample peak.
TEST(KSystem, TheBarReadsZeroOnKTwentyForMinusTwentyDbfs) {
    TMMLevelState bar;
    bar.SetBitLength(b16Bit);
    bar.SetMode(mMono);
    bar.SetInnerSize(18, 286);
    bar.SetKind(lkVertical);
    bar.SetSpotWidth(3);
    bar.SetPeakStandard(psK20);
    bar.SetScaleLaw({sfK20, -18});
    auto tone = Sine(-20.0);
    std::vector<std::int16_t> block(50);
    for (int n = 0; n < 48000 * 2; n += 50) {
        for (std::int16_t &s : block)
            s = static_cast<std::int16_t>(std::lround(tone()));
        bar.ProcessBlock(block.data());
    }
    const int spots = bar.Geometry().BarSpots;
    EXPECT_EQ(bar.BarPosition(), ScalePosition({sfK20, -18}, 32767.0 * 0.1, 32767.0, spots));
    EXPECT_NEAR(ScaleDbfsAt({sfK20, -18}, static_cast<double>(bar.BarPosition()) / spots), -20.0, 0.5);
    EXPECT_NEAR(20.0 * std::log10(bar.CurrentPeak() / 32767.0), -20.0, 0.5);
}
