#include "platform/CaptureTiming.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace {

constexpr long kRate = 48000;
constexpr long kBuffer = 2048; // the console's 8192-byte stereo 16-bit buffers
constexpr std::int64_t kBufferUs = kBuffer * 1000000 / kRate;

// A device that delivers `chunk` frames at a time, its clock running `speed` times the
// reader's, read by a reader that follows a pacer: it looks when the pacer plans, and
// when the buffer is not complete then (or nothing is planned yet) it finds the buffer
// a little after the delivery that completes it. Before buffer stallAt the reader is
// held up for stallUs and starts its pacer anew.
struct TRun {
    std::vector<std::int64_t> HandOvers; // when each buffer was handed over, µs
    std::vector<std::int64_t> Waited;    // how long each had been complete by then, µs
    int Late = 0;
};

TRun Simulate(double speed, long chunk, int buffers, int skip, int stallAt = -1, std::int64_t stallUs = 0) {
    const double chunkUs = static_cast<double>(chunk) * 1e6 / kRate / speed;
    const auto delivered = [&](std::int64_t t) { return static_cast<long>(std::floor(t / chunkUs)) * chunk; };
    const auto complete = [&](long frames) {
        return static_cast<std::int64_t>(std::ceil(std::ceil(static_cast<double>(frames) / chunk) * chunkUs));
    };
    TCapturePacer pacer;
    TRun run;
    std::int64_t now = 0;
    long consumed = 0;
    for (int b = 0; b < buffers; ++b) {
        const long need = consumed + kBuffer;
        if (b == stallAt) {
            now += stallUs;
            pacer.Reset(); // as when the device is recovered from an overrun
        }
        std::int64_t look = pacer.Planned() ? std::max(now, pacer.NextLookUs()) : now;
        bool late = !pacer.Planned();
        if (delivered(look) < need) {
            late = true;
            look = complete(need) + TRestWait::kStepUs / 2;
        }
        pacer.HandedOver(look, kBufferUs, late, (delivered(look) - need) * 1000000 / kRate);
        if (b >= skip) {
            run.HandOvers.push_back(look);
            run.Waited.push_back(look - complete(need));
            run.Late += late ? 1 : 0;
        }
        now = look;
        consumed = need;
    }
    return run;
}

double IntervalSdMs(const std::vector<std::int64_t> &times) {
    double sum = 0, sumSq = 0;
    const double n = static_cast<double>(times.size() - 1);
    for (std::size_t i = 1; i < times.size(); ++i) {
        const double d = static_cast<double>(times[i] - times[i - 1]) / 1000.0;
        sum += d;
        sumSq += d * d;
    }
    return std::sqrt(std::max(0.0, sumSq / n - (sum / n) * (sum / n)));
}

std::int64_t ShortestInterval(const std::vector<std::int64_t> &times) {
    std::int64_t shortest = times[1] - times[0];
    for (std::size_t i = 1; i < times.size(); ++i)
        shortest = std::min(shortest, times[i] - times[i - 1]);
    return shortest;
}

} // namespace

TEST(CaptureTiming, PeriodsFitTheBufferWithinTenToAHundredMilliseconds) {
    struct TCase {
        long Frames;
        unsigned Rate;
        long Period, Ring;
    };
    const TCase cases[] = {
        {2048, 48000, 2048, 24 * 2048},  // the console: a period per buffer, a second of ring
        {0, 48000, 480, 100 * 480},      // not known yet: 10 ms periods
        {256, 48000, 512, 94 * 512},     // 5.3 ms buffers: two to a period
        {48000, 48000, 4800, 10 * 4800}, // one second: ten periods
        {10007, 48000, 3336, 15 * 3336}, // no divisor near: an even split
        {8192, 8000, 512, 16 * 512},     // 1 s at 8 kHz: the first divisor at or under 100 ms
        {1, 8000, 80, 100 * 80},         // a one-frame buffer
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Frames);
        const TCapturePeriods p = ChooseCapturePeriods(c.Frames, c.Rate);
        EXPECT_EQ(p.Period, c.Period);
        EXPECT_EQ(p.Buffer, c.Ring);
    }
}

TEST(CaptureTiming, RestWaitLooksJustBeforeTheFastestRecentRest) {
    TRestWait rest;
    EXPECT_EQ(rest.FirstSleepUs(100), TRestWait::kStepUs); // nothing seen: the frames' own time
    EXPECT_EQ(rest.FirstSleepUs(3000), 3000);
    for (long us : {5300L, 5050L, 5100L})
        rest.Add(us);
    EXPECT_EQ(rest.FirstSleepUs(100), 5050 - TRestWait::kStepUs);
    EXPECT_EQ(rest.FirstSleepUs(6000), 6000); // never before the frames can be there
    // A quick rest once, then eight slow ones: the quick one is forgotten.
    rest.Add(300);
    EXPECT_EQ(rest.FirstSleepUs(100), TRestWait::kStepUs);
    for (int i = 0; i < 8; ++i)
        rest.Add(5000);
    EXPECT_EQ(rest.FirstSleepUs(100), 5000 - TRestWait::kStepUs);
    rest.Clear();
    EXPECT_EQ(rest.FirstSleepUs(100), TRestWait::kStepUs);
    // Steps stay short for the usual rest and grow when it does not come.
    EXPECT_EQ(TRestWait::StepUs(0), TRestWait::kStepUs);
    EXPECT_EQ(TRestWait::StepUs(4), TRestWait::kStepUs);
    EXPECT_EQ(TRestWait::StepUs(5), 2 * TRestWait::kStepUs);
    EXPECT_EQ(TRestWait::StepUs(1000), 32 * TRestWait::kStepUs);
}

// How far the completion of a buffer can fall behind an even pace when the device
// delivers chunk frames at a time, plus what the pacer may add: its margin and slack.
std::int64_t WaitBoundUs(long chunk) {
    return (chunk - std::gcd(chunk, kBuffer)) * 1000000 / kRate + TCapturePacer::kMarginUs +
           TCapturePacer::kSlackUs;
}

TEST(CaptureTiming, PacerHandsBuffersOverEvenlyWhateverTheDeviceTransfers) {
    // A sound server's 5 ms transfers complete buffers up to 5 ms off an even pace, a
    // card's period per buffer completes them evenly, odd transfers anywhere in between.
    // Either way the reader settles on an even pace, seldom finds a buffer incomplete,
    // and waits no longer than the device's unevenness needs.
    for (long chunk : {240L, kBuffer, 1000L}) {
        SCOPED_TRACE(chunk);
        const TRun run = Simulate(1.0, chunk, 3000, 100);
        EXPECT_LT(IntervalSdMs(run.HandOvers), chunk == 1000 ? 2.0 : 0.5);
        EXPECT_LE(run.Late, 2900 * 8 / 100);
        EXPECT_LE(*std::max_element(run.Waited.begin(), run.Waited.end()), WaitBoundUs(chunk));
    }
}

TEST(CaptureTiming, PacerFollowsADeviceClockFasterOrSlowerThanItsOwn) {
    // 500 ppm either way, over a quarter hour: a fast device's data neither piles up nor
    // comes out as buffers back to back; a slow one's is not looked for early over and over.
    for (double speed : {1.0005, 0.9995})
        for (long chunk : {240L, kBuffer}) {
            SCOPED_TRACE(testing::Message() << speed << " " << chunk);
            const TRun run = Simulate(speed, chunk, 20000, 100);
            EXPECT_GT(ShortestInterval(run.HandOvers), kBufferUs * 9 / 10);
            EXPECT_LE(*std::max_element(run.Waited.begin(), run.Waited.end()), WaitBoundUs(chunk));
            EXPECT_LE(run.Late, 19900 * 8 / 100);
            EXPECT_LT(IntervalSdMs(run.HandOvers), 0.5);
        }
}

TEST(CaptureTiming, PacerCatchesUpAtOnceAfterTheReaderWasHeldUp) {
    // Held up for half a second: the eleven buffers that came meanwhile go at once, though
    // the pacer started anew, and the even pace and the short wait return within a few
    // buffers.
    const TRun run = Simulate(1.0, 240, 1500, 0, 1000, 500000);
    const std::size_t stall = 1000;
    EXPECT_GE(run.HandOvers[stall] - run.HandOvers[stall - 1], 500000);
    for (std::size_t i = stall + 1; i < stall + 11; ++i)
        EXPECT_LT(run.HandOvers[i] - run.HandOvers[i - 1], 1000) << i;
    const std::vector<std::int64_t> after(run.HandOvers.begin() + stall + 40, run.HandOvers.end());
    EXPECT_LT(IntervalSdMs(after), 0.5);
    EXPECT_LE(*std::max_element(run.Waited.begin() + stall + 40, run.Waited.end()), WaitBoundUs(240));
}
