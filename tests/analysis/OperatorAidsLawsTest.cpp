#include "analysis/ProgrammeEvents.h"
#include "analysis/StereoCorrelation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using Kind = TProgrammeEventKind;
constexpr int kRate = 48000;

// Interleaved stereo frames of silence, `seconds` long.
std::vector<std::int16_t> Silence(double seconds) {
    return std::vector<std::int16_t>(2 * static_cast<std::size_t>(std::lround(seconds * kRate)), 0);
}

// A 1 kHz sine of `amplitude` on the left, `right` times it on the right.
std::vector<std::int16_t> Sine(double seconds, double amplitude, double right = 1.0) {
    std::vector<std::int16_t> s = Silence(seconds);
    for (std::size_t i = 0; i < s.size() / 2; ++i) {
        const double v = amplitude * std::sin(2 * M_PI * 1000.0 * static_cast<double>(i) / kRate);
        s[2 * i] = static_cast<std::int16_t>(std::lround(v));
        s[2 * i + 1] = static_cast<std::int16_t>(std::lround(v * right));
    }
    return s;
}

std::optional<double> Correlation(const std::vector<std::int16_t> &frames) {
    TStereoCorrelation law(kRate * 300 / 1000);
    for (std::size_t at = 0; at < frames.size() / 2; at += 2048)
        law.Add(frames.data() + 2 * at, std::min<std::size_t>(2048, frames.size() / 2 - at));
    return law.Value();
}

} // namespace

// Mono reads +1, one channel inverted -1, unrelated noises near 0 (the window's 14336 frames
// leave a spread of 1/sqrt(14336) = 0.008, so 0.05 is six of it), silence no value, one silent
// channel 0. Only the window's last 300 ms count.
TEST(StereoCorrelation, ReadsTheLastWindowOfTheStereoPicture) {
    EXPECT_NEAR(*Correlation(Sine(1, 10000)), 1.0, 1e-3);
    EXPECT_NEAR(*Correlation(Sine(1, 10000, -1)), -1.0, 1e-3);
    EXPECT_EQ(Correlation(Sine(1, 10000, 0)), 0.0);
    EXPECT_EQ(Correlation(Silence(1)), std::nullopt);
    EXPECT_EQ(Correlation(Sine(1, 1)), std::nullopt); // below -80 dBFS on both
    EXPECT_EQ(TStereoCorrelation(14400).Value(), std::nullopt);

    std::mt19937 random(25);
    std::normal_distribution<double> noise(0, 5000);
    std::vector<std::int16_t> unrelated = Silence(2);
    for (std::int16_t &s : unrelated)
        s = static_cast<std::int16_t>(std::lround(noise(random)));
    EXPECT_NEAR(*Correlation(unrelated), 0.0, 0.05);

    // A second of mono, then 300 ms inverted: the mono has left the window.
    std::vector<std::int16_t> turned = Sine(1, 10000);
    const std::vector<std::int16_t> inverted = Sine(2048.0 * 7 / kRate, 10000, -1);
    turned.insert(turned.end(), inverted.begin(), inverted.end());
    EXPECT_NEAR(*Correlation(turned), -1.0, 1e-3);
}

// Three clipped bursts on the left and one over of five full-scale samples on the right give
// four events in the order they happened, each with its channel, span and peak; samples near
// each other are one clip; the over needs its run of full-scale samples.
TEST(ClipDetector, LogsEachClipAndOverOnce) {
    std::vector<std::int16_t> s = Silence(1);
    const auto burst = [&](double at, int frames) {
        const auto first = static_cast<std::size_t>(at * kRate);
        for (int f = 0; f < frames; ++f) // every other sample above the threshold: one clip
            s[2 * (first + f)] = static_cast<std::int16_t>(f % 2 == 0 ? 32100 : -20000);
    };
    burst(0.1, 95);
    burst(0.3, 481);
    burst(0.6, 1);
    for (int f = 0; f < 5; ++f)
        s[2 * (static_cast<std::size_t>(0.4 * kRate) + f) + 1] = f % 2 == 0 ? 32767 : -32768;

    TClipDetector clips(2, kRate / 20);
    std::vector<TProgrammeEvent> events;
    clips.Feed(s.data(), kRate / 2, events); // halves: a clip may run over the joint
    clips.Feed(s.data() + kRate, kRate / 2, events);
    const std::vector<TProgrammeEvent> expected{{Kind::Clip, 0, 4800, 95, 32100},
                                                {Kind::Clip, 0, 14400, 481, 32100},
                                                {Kind::Over, 1, 19200, 5, 32768},
                                                {Kind::Clip, 0, 28800, 1, 32100}};
    EXPECT_EQ(events, expected);

    TClipDetector strict(2, kRate / 20);
    strict.SetOverSamples(6);
    events.clear();
    strict.Feed(s.data(), kRate, events);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[2].Kind, Kind::Clip);
}

// Silence of the delay less a second raises nothing; a second more raises the alarm once, at
// the frame the silence began; half a second of signal does not clear it, a second does.
// Signal before the delay starts the count afresh.
TEST(SilenceDetector, RaisesAfterTheDelayAndClearsAfterASecondOfSignal) {
    TSilenceDetector dead(2, kRate);
    dead.SetThreshold(-50);
    dead.SetDelay(10);
    std::vector<TProgrammeEvent> events;
    const auto feed = [&](const std::vector<std::int16_t> &s) { dead.Feed(s.data(), s.size() / 2, events); };

    feed(Sine(5, 100)); // -50.3 dBFS: silent
    feed(Sine(0.2, 200));
    feed(Silence(9));
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(dead.Alarm());
    feed(Silence(2));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], (TProgrammeEvent{Kind::Silence, -1, kRate * 52 / 10, 48000 * 101 / 10, 0}));
    EXPECT_TRUE(dead.Alarm());

    feed(Sine(0.5, 3000));
    feed(Silence(0.5));
    feed(Sine(0.9, 3000));
    EXPECT_EQ(events.size(), 1u);
    feed(Sine(0.1, 3000));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1], (TProgrammeEvent{Kind::SignalBack, -1, kRate * 172 / 10, kRate * 120 / 10, 0}));
    EXPECT_FALSE(dead.Alarm());
}
