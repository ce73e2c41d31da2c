#include "analysis/LoudnessMeter.h"
#include "common/ToneProgramme.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Plays a programme into a fresh meter in chunks that do not fall on its 100 ms steps.
TLoudnessMeter &Measure(TLoudnessMeter &meter, std::initializer_list<TToneSegment> segments, int hz = 1000,
                        double startDegrees = 0.0) {
    TToneProgramme(segments, hz, startDegrees)
        .Play([&](const float *f, std::size_t n) { meter.AddFrames(f, n); }, 1234);
    return meter;
}

double Integrated(std::initializer_list<TToneSegment> segments) {
    TLoudnessMeter meter(2, TToneProgramme::Rate);
    return Measure(meter, segments).Integrated();
}

double Range(std::initializer_list<TToneSegment> segments) {
    TLoudnessMeter meter(2, TToneProgramme::Rate);
    return Measure(meter, segments).Range();
}

} // namespace

// EBU Tech 3341, cases 1 to 5: level, both gates and a change of level.
TEST(LoudnessMeter, IntegratedLoudnessOfTheTech3341Programmes) {
    EXPECT_NEAR(Integrated({{-23, 20}}), -23.0, 0.1);
    EXPECT_NEAR(Integrated({{-33, 20}}), -33.0, 0.1);
    EXPECT_NEAR(Integrated({{-36, 10}, {-23, 60}, {-36, 10}}), -23.0, 0.1);
    EXPECT_NEAR(Integrated({{-72, 10}, {-36, 10}, {-23, 60}, {-36, 10}, {-72, 10}}), -23.0, 0.1);
    EXPECT_NEAR(Integrated({{-26, 20}, {-20, 20.1}, {-26, 20}}), -23.0, 0.1);
}

// A steady tone reads its loudness in both windows once they are full, and their maxima too.
TEST(LoudnessMeter, MomentaryAndShortTermOfASteadyTone) {
    TLoudnessMeter meter(2, TToneProgramme::Rate);
    Measure(meter, {{-23, 3.2}});
    EXPECT_NEAR(meter.Momentary(), -23.0, 0.1);
    EXPECT_NEAR(meter.ShortTerm(), -23.0, 0.1);
    EXPECT_NEAR(meter.MaxMomentary(), -23.0, 0.1);
    EXPECT_NEAR(meter.MaxShortTerm(), -23.0, 0.1);
}

// A quarter-rate sine whose samples miss its crests: the true peak is the sine's, not the samples'.
TEST(LoudnessMeter, TruePeakFindsTheCrestBetweenTheSamples) {
    TLoudnessMeter meter(2, TToneProgramme::Rate);
    Measure(meter, {{PeakToDB(0.5), 1}}, 12000, 45);
    for (unsigned channel : {0u, 1u}) {
        EXPECT_GE(meter.TruePeak(channel), -6.0 - 0.4) << channel;
        EXPECT_LE(meter.TruePeak(channel), -6.0 + 0.2) << channel;
    }
    EXPECT_EQ(meter.MaxTruePeak(), meter.TruePeak(0));
    EXPECT_GT(meter.MaxTruePeak(), PeakToDB(0.354) + 2.5); // a sample peak would say -9.0
}

// EBU Tech 3342, cases 1 to 4.
TEST(LoudnessMeter, LoudnessRangeOfTheTech3342Programmes) {
    EXPECT_NEAR(Range({{-20, 20}, {-30, 20}}), 10, 1);
    EXPECT_NEAR(Range({{-20, 20}, {-15, 20}}), 5, 1);
    EXPECT_NEAR(Range({{-40, 20}, {-20, 20}}), 20, 1);
    EXPECT_NEAR(Range({{-50, 20}, {-35, 20}, {-20, 20}, {-35, 20}, {-50, 20}}), 15, 1);
}

// What plays while paused moves the live windows only; a reset forgets the integration and
// its maxima but not the live windows, and keeps the meter running or paused as it was.
TEST(LoudnessMeter, PauseLeavesOutAndResetForgetsTheIntegration) {
    TLoudnessMeter meter(2, TToneProgramme::Rate);
    Measure(meter, {{-23, 10}});
    meter.Pause();
    Measure(meter, {{-13, 10}});
    EXPECT_NEAR(meter.Momentary(), -13.0, 0.1);
    EXPECT_FALSE(meter.Running());
    meter.Start();
    Measure(meter, {{-23, 10}});
    EXPECT_NEAR(meter.Integrated(), -23.0, 0.1);
    EXPECT_NEAR(meter.IntegratedSeconds(), 20.0, 1e-9);
    EXPECT_NEAR(meter.MaxShortTerm(), -23.0, 0.1);
    EXPECT_NEAR(meter.MaxTruePeak(), -23.0, 0.2);
    const TLoudnessInterval interval = meter.TakeInterval();
    EXPECT_NEAR(interval.MaxShortTerm, -23.0, 0.1);
    EXPECT_NEAR(interval.MaxTruePeak, -23.0, 0.2);
    EXPECT_EQ(meter.TakeInterval().MaxShortTerm, kNoLoudness);

    meter.Pause();
    meter.Reset();
    EXPECT_FALSE(meter.Running());
    EXPECT_EQ(meter.Integrated(), kNoLoudness);
    EXPECT_EQ(meter.MaxMomentary(), kNoLoudness);
    EXPECT_EQ(meter.MaxTruePeak(), kNoLoudness);
    EXPECT_EQ(meter.IntegratedSeconds(), 0.0);
    EXPECT_NEAR(meter.Momentary(), -23.0, 0.1);
}

TEST(LoudnessMeter, RefusesWhatTheLibraryCannotMeasure) {
    EXPECT_THROW(TLoudnessMeter(0, 48000), std::invalid_argument);
    EXPECT_THROW(TLoudnessMeter(2, 0), std::invalid_argument);
    TLoudnessMeter mono(1, 44100);
    EXPECT_EQ(mono.Integrated(), kNoLoudness);
    EXPECT_EQ(mono.Range(), 0.0);
}
