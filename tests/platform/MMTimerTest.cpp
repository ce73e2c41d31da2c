#include "platform/MMTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Counter {
    std::atomic<int> calls{0};
    std::atomic<unsigned> id{0};
    std::atomic<bool> inside{false};
    std::atomic<int> overlaps{0};
    int sleepMs = 0;
    bool killSelf = false;
};

void CountProc(unsigned uTimerID, unsigned, std::uintptr_t dwUser, std::uintptr_t, std::uintptr_t) {
    auto *c = reinterpret_cast<Counter *>(dwUser);
    if (c->inside.exchange(true)) ++c->overlaps;
    c->id = uTimerID;
    if (c->sleepMs) std::this_thread::sleep_for(std::chrono::milliseconds(c->sleepMs));
    if (c->killSelf) {
        EXPECT_EQ(timeKillEvent(uTimerID), TIMERR_NOERROR);
    }
    c->inside = false;
    ++c->calls;
}

bool WaitFor(const std::atomic<int> &value, int atLeast) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (value.load() < atLeast && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return value.load() >= atLeast;
}

std::uintptr_t User(Counter &c) {
    return reinterpret_cast<std::uintptr_t>(&c);
}

} // namespace

TEST(MMTimer, CapsAndPeriodCalls) {
    TIMECAPS caps{};
    ASSERT_EQ(timeGetDevCaps(&caps, sizeof caps), TIMERR_NOERROR);
    EXPECT_EQ(caps.wPeriodMin, 1u);
    EXPECT_EQ(caps.wPeriodMax, 1000000u);
    EXPECT_EQ(timeGetDevCaps(nullptr, sizeof caps), TIMERR_NOCANDO);
    EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
    const unsigned a = timeGetTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    EXPECT_GE(timeGetTime() - a, 3u);
}

TEST(MMTimer, RefusesBadArgumentsAndUnknownIds) {
    Counter c;
    EXPECT_EQ(timeSetEvent(0, 0, CountProc, User(c), TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(1000001, 0, CountProc, User(c), TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(10, 0, nullptr, User(c), TIME_PERIODIC), 0u);
    EXPECT_EQ(timeKillEvent(0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(timeKillEvent(0xFFFFFFF0u), MMSYSERR_INVALPARAM);
}

TEST(MMTimer, PeriodicTimerTicksUntilKilledAndNotAfter) {
    Counter c;
    const unsigned id = timeSetEvent(2, 0, CountProc, User(c), TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(WaitFor(c.calls, 5));
    EXPECT_EQ(c.id.load(), id);
    EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
    const int after = c.calls.load();
    EXPECT_FALSE(c.inside.load()) << "a callback still ran after the kill returned";
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(c.calls.load(), after);
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM) << "killed once";
}

TEST(MMTimer, KillWaitsForACallbackInProgress) {
    Counter c;
    c.sleepMs = 50;
    const unsigned id = timeSetEvent(1, 0, CountProc, User(c), TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!c.inside.load() && Clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_TRUE(c.inside.load());
    timeKillEvent(id);
    EXPECT_FALSE(c.inside.load());
    EXPECT_EQ(c.overlaps.load(), 0) << "a slow callback is never entered twice";
}

TEST(MMTimer, OneShotFiresOnceAndForgetsItself) {
    Counter c;
    const unsigned id = timeSetEvent(1, 0, CountProc, User(c), TIME_ONESHOT);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(WaitFor(c.calls, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(c.calls.load(), 1);
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
}

TEST(MMTimer, ACallbackMayKillItsOwnTimer) {
    Counter c;
    c.killSelf = true;
    const unsigned id = timeSetEvent(1, 0, CountProc, User(c), TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(WaitFor(c.calls, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(c.calls.load(), 1);
}

TEST(MMTimer, TimersHaveDistinctIdsAndRunSideBySide) {
    Counter a, b;
    const unsigned ia = timeSetEvent(2, 0, CountProc, User(a), TIME_PERIODIC);
    const unsigned ib = timeSetEvent(3, 0, CountProc, User(b), TIME_PERIODIC);
    ASSERT_NE(ia, 0u);
    ASSERT_NE(ib, 0u);
    EXPECT_NE(ia, ib);
    EXPECT_TRUE(WaitFor(a.calls, 3));
    EXPECT_TRUE(WaitFor(b.calls, 3));
    timeKillEvent(ia);
    timeKillEvent(ib);
}
