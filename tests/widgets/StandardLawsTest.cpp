// The standard modes' laws against the standards' figures, driven block by block with
// synthetic tone bursts as the connector would hand them out. The tolerances are the ones the
// laws' headers (MMPeakStandards.h, MMVUStandards.h) state and explain.

#include "ConsoleMeters.h"
#include "ToneBursts.h"
#include "audio/MMLoudnessTap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr int kBarFrames = 50;
constexpr int kNeedleFrames = 1000;
constexpr double kReferenceDb = -9.0; // the PPMs' reference level, in dBFS peak
const TMMLevelInput kLeft{b16Bit, mStereo, chLeft, kBarFrames, 0, 0};

double Db(double ratio) {
    return 20.0 * std::log10(ratio);
}

// A console needle under IEC VU.
void IECNeedle(TMMMeterState &needle) {
    ConsoleNeedle(needle, chLeft);
    needle.SetNeedleStandard(nsIECVU);
}

// Runs `signal` through a fresh law of `standard`; calls `each` with the store after every block.
void Drive(TMMPeakStandard standard, const TToneBursts &signal, const std::function<void(double)> &each) {
    TMMPPMBallistics law;
    law.SetStandard(standard);
    for (int b = 0; b < signal.BlockCount(kBarFrames); ++b) {
        law.Apply(signal.Block(b, kBarFrames), kLeft);
        each(law.Level());
    }
}

struct TBurst {
    double Ms;
    double ReadsDb;
    double ToleranceDb;
};

// The burst readings against the steady tone's and the time the store takes to fall
// `returnDb` after the tone stops.
void ExpectFigures(TMMPeakStandard standard, std::initializer_list<TBurst> bursts, double returnDb,
                   double returnSeconds) {
    SCOPED_TRACE(standard);
    double steady = 0.0;
    Drive(standard, TToneBursts().Tone(5000, kReferenceDb, 0.5), [&](double v) { steady = v; });
    for (const TBurst &burst : bursts) {
        double highest = 0.0;
        Drive(standard, TToneBursts().Tone(5000, kReferenceDb, burst.Ms / 1000).Silence(0.05),
              [&](double v) { highest = std::max(highest, v); });
        EXPECT_NEAR(Db(highest / steady), burst.ReadsDb, burst.ToleranceDb) << burst.Ms << " ms";
    }

    int blocks = 0, fallen = -1;
    double top = 0.0;
    const double toneBlocks = 0.5 * kTestRate / kBarFrames;
    Drive(standard, TToneBursts().Tone(1000, kReferenceDb, 0.5).Silence(returnSeconds * 1.5), [&](double v) {
        if (++blocks == toneBlocks) top = v;
        if (blocks > toneBlocks && fallen < 0 && Db(v / top) <= -returnDb) fallen = blocks - toneBlocks;
    });
    EXPECT_NEAR(fallen * kBarFrames / double(kTestRate), returnSeconds, returnSeconds * 0.02);
}

} // namespace

TEST(PeakStandards, TypeIBurstsAndReturn) {
    ExpectFigures(psDIN, {{10, -1, 0.5}, {5, -2, 0.5}}, 20, 1.7);
    ExpectFigures(psNordic, {{5, -2, 0.5}}, 20, 1.7);
}

TEST(PeakStandards, TypeIIBurstsAndReturn) {
    ExpectFigures(psBBC, {{10, -2, 0.5}, {5, -4, 0.5}, {1.5, -9, 1.0}}, 24, 2.8);
    ExpectFigures(psEBU, {{10, -2, 0.5}, {5, -4, 0.5}, {1.5, -9, 1.0}}, 24, 2.8);
}

TEST(PeakStandards, DigitalReadsEverySamplePeakAndReturns) {
    // One sample anywhere in a block, after silence: the store holds exactly its magnitude.
    for (int at : {0, 17, kBarFrames - 1}) {
        std::vector<std::int16_t> block(2 * kBarFrames, 0);
        block[2 * at] = -12345;
        TMMPPMBallistics law;
        law.SetStandard(psDigital);
        EXPECT_EQ(law.Apply(block.data(), kLeft).Peak, 12345);
        EXPECT_NEAR(Db(law.Level() / 12345), 0.0, 0.01) << at;
    }
    ExpectFigures(psDigital, {}, 20, 1.7);
}

// True-peak bars read the loudness measurement's oversampled peak (through its thread): a
// quarter-rate sine whose samples all sit at full scale, 45 degrees off its crests, reads
// +3.0 dBTP where its samples read 0.0, and a full-scale 1 kHz sine 0.0 dBTP. The marker
// takes the true peak too; with no measurement the bar reads the sample peak.
TEST(PeakStandards, TruePeakBarsReadTheMeasurementsOversampledPeak) {
    struct TCase {
        std::function<double(int)> Wave;
        double Dbtp, Tolerance;
    };
    const TCase cases[] = {
        {[](int n) { return std::sin(M_PI / 2 * n + M_PI / 4) * std::sqrt(2.0); }, 3.0, 0.2},
        {[](int n) { return std::sin(2 * M_PI * 1000 * n / 48000); }, 0.0, 0.1}};
    for (const TCase &c : cases) {
        std::vector<std::int16_t> pcm(2 * 4800);
        for (std::size_t n = 0; n < pcm.size(); ++n)
            pcm[n] = static_cast<std::int16_t>(
                std::clamp(std::lround(32767 * c.Wave(int(n / 2))), -32767L, 32767L));
        TMMLoudnessTap tap;
        TWaveFormatEx format;
        BuildPCMFormat(format, 16, 2, 48000);
        tap.SetPWaveFormat(&format);
        WAVEHDR header;
        header.lpData = reinterpret_cast<char *>(pcm.data());
        header.dwBytesRecorded = static_cast<std::uint32_t>(pcm.size() * 2);
        tap.BufferReady(&header);
        tap.Flush();
        TMMLevelState bar, alone;
        for (TMMLevelState *b : {&bar, &alone}) {
            ConsoleBar(*b, chLeft);
            b->SetPeakStandard(psTruePeak);
        }
        bar.SetTruePeakFeed(&tap.TruePeaks());
        bar.ProcessBlock(pcm.data());
        alone.ProcessBlock(pcm.data());
        EXPECT_NEAR(Db(bar.Standard().Level() / 32768), c.Dbtp, c.Tolerance);
        EXPECT_EQ(bar.LastRawPeak(), 32767);
        EXPECT_EQ(bar.PeakPosition(), bar.Geometry().BarSpots);
        EXPECT_NEAR(Db(alone.Standard().Level() / 32768), 0.0, 0.01);
    }
}

// A line-up tone reads its own level on every standard, and a full-scale one the top spot.
TEST(PeakStandards, SteadySineReadsItsPeakLevel) {
    for (int s = psClassic; s < kPeakStandardCount; ++s) {
        const auto standard = static_cast<TMMPeakStandard>(s);
        for (const double hz : {1000.0, 5000.0})
            for (const double db : {-18.0, -20.0}) {
                double reading = 0.0;
                Drive(standard, TToneBursts().Tone(hz, db, 0.5), [&](double v) { reading = v; });
                EXPECT_NEAR(Db(reading / 32767), db, 0.2)
                    << standard << ": " << hz << " Hz at " << db << " dBFS";
            }
        TMMLevelState bar;
        ConsoleBar(bar, chLeft);
        bar.SetPeakStandard(standard);
        const TToneBursts full = TToneBursts().Tone(1000, 0, 0.5);
        for (int b = 0; b < full.BlockCount(kBarFrames); ++b)
            bar.ProcessBlock(full.Block(b, kBarFrames));
        EXPECT_EQ(bar.BarPosition(), bar.Geometry().BarSpots) << standard;
    }
}

// On the console's bar: the bar shows the standard's reading, the marker the sample peak, so a
// short full-scale burst still latches CLIP though the bar stays well below the top.
TEST(PeakStandards, BarFollowsTheStandardAndTheMarkerTheSamplePeak) {
    TMMLevelState bar;
    ConsoleBar(bar, chLeft);
    bar.SetPeakStandard(psBBC);
    const TToneBursts burst = TToneBursts().Tone(5000, 0, 0.0015).Silence(0.02);
    int highest = 0;
    for (int b = 0; b < burst.BlockCount(kBarFrames); ++b) {
        bar.ProcessBlock(burst.Block(b, kBarFrames));
        highest = std::max(highest, bar.BarPosition());
    }
    const int spots = bar.Geometry().BarSpots; // 71 over 60 dB
    EXPECT_NEAR((spots - highest) * 60.0 / spots, 9.0, 1.5);
    EXPECT_EQ(bar.PeakPosition(), spots);
    EXPECT_GT(bar.CurrentPeak(), 31999);
}

TEST(PeakStandards, HoldForATimeOrUntilReset) {
    EXPECT_EQ(PeakHoldTicks({phClassic, 3000}), 0);
    EXPECT_EQ(PeakHoldTicks({phTime, 510}), 21);
    EXPECT_EQ(PeakHoldTicks({phTime, 100}), 20) << "kept to 0.5 s";
    EXPECT_EQ(PeakHoldTicks({phTime, 60000}), 400) << "kept to 10 s";
    EXPECT_EQ(PeakHoldTicks({phInfinite, 500}), -1);

    TMMLevelState bar;
    bar.SetPeakSpeed(1);
    const auto ticksHeld = [&bar](TMMPeakHold hold) {
        bar.SetPeakHold(hold);
        bar.UpdateLevel(30000);
        bar.UpdateLevel(0); // the bar drops at once; the marker stays
        const int peak = bar.PeakPosition();
        int ticks = 0;
        while (bar.PeakPosition() == peak && ticks < 1000) {
            bar.PeakTick();
            ++ticks;
        }
        return ticks;
    };
    EXPECT_EQ(ticksHeld({phClassic, 0}), 41) << "2 x PeakDelay + 1";
    EXPECT_EQ(ticksHeld({phTime, 2000}), 80);
    EXPECT_EQ(ticksHeld({phInfinite, 0}), 1000);
    bar.ResetPeak();
    EXPECT_EQ(bar.PeakPosition(), 0);
    EXPECT_EQ(bar.CurrentPeak(), 0);
    EXPECT_TRUE(bar.TakeRedrawPending());
}

// IEC 60268-17: a 1 kHz tone at the 0 VU level switched on and off, 1000-frame blocks.
TEST(IECVU, OvershootAndFallOfTheNeedle) {
    TMMMeterState needle;
    IECNeedle(needle);
    const double zeroVU = VUAngle(0.0, needle.Swing());

    const TToneBursts signal = TToneBursts().Tone(1000, -20, 2.0).Silence(1.0);
    const int onBlocks = static_cast<int>(2.0 * kTestRate / kNeedleFrames);
    double fallen = -1, highest = 0, steady = 0;
    for (int b = 0; b < signal.BlockCount(kNeedleFrames); ++b) {
        needle.ProcessBlock(signal.Block(b, kNeedleFrames));
        const double reading = needle.NeedleAngle() / zeroVU;
        const double seconds = (b + 1) * kNeedleFrames / double(kTestRate);
        if (b < onBlocks) {
            highest = std::max(highest, reading);
            steady = needle.Movement().Deflection();
        } else if (fallen < 0 && reading <= 0.01) {
            fallen = seconds - 2.0;
        }
    }
    EXPECT_GE(highest, 1.01);
    EXPECT_LE(highest, 1.015);
    EXPECT_NEAR(fallen, 0.3, 0.03);
    // The steady tone reads 0 VU: RefLevel is the sine peak that does.
    EXPECT_NEAR(IECVUReading(steady, -20.0), 0.0, 0.05);
}

// The rise as the operator sees it: the needle moves once a block, so 99 % of the steady
// reading first shows at the end of the block that brings the needle there, which depends on
// where in a block the tone starts. Over every start phase those times lie within 300 ms +-15
// and are centred on 300.
TEST(IECVU, RiseOnTheBlocksIsCentredOn300msForEveryStartPhase) {
    const TToneBursts signal = TToneBursts().Silence(double(kNeedleFrames) / kTestRate).Tone(1000, -20, 1.5);
    TMMMeterState settled;
    IECNeedle(settled);
    for (int b = 0; b < signal.BlockCount(kNeedleFrames); ++b)
        settled.ProcessBlock(signal.Block(b, kNeedleFrames));
    const double target = 0.99 * settled.NeedleAngle();

    double earliest = 1e9, latest = 0;
    for (int skip = 0; skip < kNeedleFrames; ++skip) { // the tone starts kNeedleFrames - skip into a block
        TMMMeterState needle;
        IECNeedle(needle);
        for (int b = 0; needle.NeedleAngle() < target; ++b) {
            ASSERT_LT(b, 30) << skip;
            needle.ProcessBlock(signal.At(skip + b * kNeedleFrames));
            const double ms = (skip + b * kNeedleFrames) * 1000.0 / kTestRate; // the block's end
            if (needle.NeedleAngle() >= target) {
                earliest = std::min(earliest, ms);
                latest = std::max(latest, ms);
            }
        }
    }
    EXPECT_GE(earliest, 285.0);
    EXPECT_LE(latest, 315.0);
    EXPECT_NEAR((earliest + latest) / 2, 300.0, 1.0) << earliest << " .. " << latest;
}

// After a tone stops the movement swings a little below zero: the needle lies at rest then, at
// the left end, whichever frame of a block the tone stopped on, and stays there. By 330 ms (the
// standard's 300 ms and its tolerance) the needle is at rest on every block.
TEST(IECVU, NeedleComesToRestAfterAToneWhereverItStops) {
    const TToneBursts signal =
        TToneBursts().Tone(1000, -20, 1.0 + double(kNeedleFrames) / kTestRate).Silence(1.0);
    const int stopAt = kTestRate + kNeedleFrames;      // the frame the silence starts on
    for (int skip = 0; skip < kNeedleFrames; ++skip) { // the tone stops kNeedleFrames - skip into a block
        TMMMeterState needle;
        IECNeedle(needle);
        int checked = 0;
        for (int b = 0; skip + (b + 1) * kNeedleFrames <= signal.FrameCount(); ++b) {
            needle.ProcessBlock(signal.At(skip + b * kNeedleFrames));
            const double ms = (skip + (b + 1) * kNeedleFrames - stopAt) * 1000.0 / kTestRate;
            if (ms < 330.0) continue;
            ++checked;
            ASSERT_EQ(needle.NeedleAngle(), 0.0) << "skip " << skip << ", " << ms << " ms after the stop";
        }
        EXPECT_GT(checked, 0);
    }
}
