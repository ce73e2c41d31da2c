// Periodic timers riding the frame tick, or the passes of a console shown nowhere:
// driven by a fake clock, they run once per period, in order, never early, with no
// timer thread; when the frames or passes stop, the source below takes them up.

#include "audio/MMFrameRide.h"
#include "audio/MMFrameTimer.h"

#include "common/ManualTimerSource.h"
#include "common/PumpEventsUntil.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct TTicks {
    const std::int64_t *Now = nullptr;
    std::vector<std::int64_t> At; // the clock at each tick
};

void Record(unsigned, unsigned, std::uintptr_t dwUser, std::uintptr_t, std::uintptr_t) {
    auto *ticks = reinterpret_cast<TTicks *>(dwUser);
    ticks->At.push_back(*ticks->Now);
}

struct FrameTimer : ::testing::Test {
    void TearDown() override { TMMFrameRide::SetRiding(false); }
};

} // namespace

TEST_F(FrameTimer, RiddenTicksRunOncePerPeriodAndTheSourceBelowTakesOverWhileFramesStop) {
    ManualTimerSource below;
    std::int64_t now = 0;
    TMMFrameTimerSource source(below, [&] { return now; });
    TTicks ticks{&now, {}};
    TMMFrameRide::SetRiding(true);
    const unsigned id =
        source.SetEvent(20, 0, Record, reinterpret_cast<std::uintptr_t>(&ticks), TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(source.Ridden(id));
    EXPECT_EQ(below.Live(), 0u);

    for (int frame = 1; frame <= 60; ++frame) {
        now = std::int64_t(frame) * 1'000'000 / 60;
        TMMFrameRide::Frame();
    }
    ASSERT_EQ(ticks.At.size(), 50u);
    for (std::size_t i = 0; i < ticks.At.size(); ++i) {
        const std::int64_t due = std::int64_t(i + 1) * 20'000;
        EXPECT_GE(ticks.At[i], due) << "tick " << i << " ran early";
        EXPECT_LE(ticks.At[i], due + 16'667) << "tick " << i << " waited past the next frame";
    }
    now += 70'000; // a frame held up: what it missed runs on it, each tick once
    TMMFrameRide::Frame();
    EXPECT_EQ(ticks.At.size(), 53u);

    TMMFrameRide::SetRiding(false);
    EXPECT_FALSE(source.Ridden(id));
    ASSERT_EQ(below.Live(), 1u);
    below.Fire(2);
    TMMFrameRide::Frame(); // a frame that does not ride runs nothing of its own
    EXPECT_EQ(ticks.At.size(), 55u);

    TMMFrameRide::SetRiding(true);
    now += 20'000; // one period after the last tick below
    TMMFrameRide::Frame();
    EXPECT_EQ(below.Live(), 0u);
    EXPECT_EQ(ticks.At.size(), 56u);

    now += 5'000'000; // a main thread held up for seconds skips what it missed
    TMMFrameRide::Frame();
    EXPECT_EQ(ticks.At.size(), 57u);

    EXPECT_EQ(source.KillEvent(id), TIMERR_NOERROR);
    now += 100'000;
    TMMFrameRide::Frame();
    EXPECT_EQ(ticks.At.size(), 57u);
    EXPECT_EQ(source.SetEvent(20, 0, Record, 0, TIME_ONESHOT), 0u) << "one-shot timers do not ride";
}

// Shown nowhere, the passes each buffer brings drive the timers; when they stop, a fallback
// runs what fell due and gives the timer back to the source below.
TEST_F(FrameTimer, PassesDriveTheTimersAndTheSourceBelowTakesThemBackWhenPassesStop) {
    ManualTimerSource below;
    std::int64_t now = 0;
    TMMFrameTimerSource source(below, [&] { return now; });
    TTicks ticks{&now, {}};
    const unsigned id =
        source.SetEvent(20, 0, Record, reinterpret_cast<std::uintptr_t>(&ticks), TIME_PERIODIC);
    ASSERT_EQ(below.Live(), 1u);
    TMMFrameTimerSource::PassAll();
    EXPECT_EQ(below.Live(), 0u);
    for (int pass = 1; pass <= 6; ++pass) {
        now = pass * 42'667;
        TMMFrameTimerSource::PassAll();
    }
    EXPECT_EQ(ticks.At.size(), 12u);

    now += 150'000;
    EXPECT_TRUE(PumpEventsUntil([&] { return below.Live() == 1u; }, 5000));
    EXPECT_EQ(ticks.At.size(), 20u);
    EXPECT_FALSE(source.Ridden(id));
}
