#include "audio/MMPeakTick.h"

#include "common/ManualTimerSource.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

// Counts the calls of each client; drives the service one tick at a time.
struct PeakTicks : ::testing::Test {
    ManualTimerSource source;
    TMMPeakTickService service{&source};
    std::vector<std::string> calls;

    TMMPeakTickEntry *Add(const std::string &name, int interval, int suspended = 0) {
        return service.Register(
            interval, suspended, [this, name](TMMPeakTickEntry *, void *) { calls.push_back(name); },
            nullptr);
    }
    // The ticks (1-based) at which name was called, over n ticks from now.
    std::vector<int> CallTicks(const std::string &name, int n) {
        std::vector<int> at;
        for (int i = 1; i <= n; ++i) {
            calls.clear();
            source.Fire();
            for (auto &c : calls)
                if (c == name) at.push_back(i);
        }
        return at;
    }
};

} // namespace

TEST_F(PeakTicks, ShortIntervalsAreRaisedTo25AndLongOnesCountWholeTicks) {
    TMMPeakTickEntry *fast = Add("fast", 10);
    TMMPeakTickEntry *slow = Add("slow", 60);
    Add("fifty", 50);
    EXPECT_EQ(fast->Interval, 25);
    EXPECT_EQ(slow->Interval, 60);
    EXPECT_EQ(source.LastDelay, 25u);
    EXPECT_EQ(CallTicks("fast", 6), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST_F(PeakTicks, SixtyMsClientIsServedEveryThirdTick) {
    Add("slow", 60);
    Add("fifty", 50);
    EXPECT_EQ(CallTicks("slow", 9), (std::vector<int>{3, 6, 9}));
}

TEST_F(PeakTicks, FiftyMsClientIsServedEverySecondTick) {
    Add("fifty", 50);
    EXPECT_EQ(CallTicks("fifty", 6), (std::vector<int>{2, 4, 6}));
}

TEST_F(PeakTicks, ResumeRestartsTheCountFromZero) {
    TMMPeakTickEntry *e = Add("slow", 60);
    source.Fire(2); // 50 ms counted
    service.Suspend(e);
    EXPECT_EQ(e->Elapsed, 0);
    EXPECT_TRUE(CallTicks("slow", 5).empty()) << "suspended";
    service.Resume(e);
    EXPECT_EQ(CallTicks("slow", 3), (std::vector<int>{3}));
}

TEST_F(PeakTicks, SuspendCountsNestAndResumeStopsAtZero) {
    TMMPeakTickEntry *e = Add("x", 25, 2);
    EXPECT_TRUE(CallTicks("x", 2).empty());
    service.Resume(e);
    EXPECT_TRUE(CallTicks("x", 2).empty()) << "still suspended once";
    service.Resume(e);
    EXPECT_EQ(CallTicks("x", 2), (std::vector<int>{1, 2}));
    service.Resume(e);
    EXPECT_EQ(e->SuspendCount, 0);
    service.Suspend(e);
    EXPECT_TRUE(CallTicks("x", 1).empty()) << "one extra resume must not cancel a later suspend";

    TMMPeakTickEntry *negative = Add("n", 25, -3);
    EXPECT_EQ(negative->SuspendCount, 0);
    EXPECT_EQ(CallTicks("n", 1), (std::vector<int>{1}));
}

TEST_F(PeakTicks, CallbacksRunInRegistrationOrderWithEntryAndData) {
    int data = 7;
    std::vector<std::pair<TMMPeakTickEntry *, void *>> seen;
    auto cb = [&seen](TMMPeakTickEntry *e, void *d) { seen.emplace_back(e, d); };
    TMMPeakTickEntry *a = service.Register(25, 0, cb, &data);
    TMMPeakTickEntry *b = service.Register(25, 0, cb, nullptr);
    TMMPeakTickEntry *c = service.Register(25, 0, cb, &seen);
    source.Fire();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_pair(a, static_cast<void *>(&data)));
    EXPECT_EQ(seen[1].first, b);
    EXPECT_EQ(seen[2].first, c);
}

TEST_F(PeakTicks, FirstClientStartsTheTimerAndTheLastStopsIt) {
    EXPECT_FALSE(service.Running());
    TMMPeakTickEntry *a = Add("a", 25);
    TMMPeakTickEntry *b = Add("b", 25);
    EXPECT_TRUE(service.Running());
    EXPECT_EQ(source.Arms, 1);
    EXPECT_EQ(service.ClientCount(), 2);
    service.Unregister(a);
    EXPECT_TRUE(service.Running());
    EXPECT_EQ(CallTicks("a", 2).size(), 0u) << "no tick after unregistering";
    service.Unregister(b);
    EXPECT_FALSE(service.Running());
    EXPECT_EQ(source.Live(), 0u);
    EXPECT_EQ(service.ClientCount(), 0);

    service.Suspend(b); // stale entries while stopped: nothing happens
    service.Resume(b);
    service.Unregister(b);
    EXPECT_EQ(service.ClientCount(), 0);
}

TEST_F(PeakTicks, WithoutATimerRegisterReturnsNoneAndLaterSucceeds) {
    source.FailNext = true;
    EXPECT_EQ(Add("a", 25), nullptr);
    EXPECT_EQ(service.ClientCount(), 0);
    EXPECT_FALSE(service.Running());
    ASSERT_NE(Add("a", 25), nullptr);
    EXPECT_EQ(service.ClientCount(), 1);
    EXPECT_EQ(CallTicks("a", 1), (std::vector<int>{1}));
}

TEST_F(PeakTicks, AClientMayUnregisterItselfFromItsCallback) {
    TMMPeakTickEntry *self = nullptr;
    int selfCalls = 0;
    self = service.Register(
        25, 0,
        [&](TMMPeakTickEntry *e, void *) {
            ++selfCalls;
            service.Unregister(e);
        },
        nullptr);
    Add("other", 25);
    EXPECT_EQ(CallTicks("other", 1), (std::vector<int>{1})) << "the pass goes on past the removed entry";
    EXPECT_EQ(CallTicks("other", 2), (std::vector<int>{1, 2}));
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(service.ClientCount(), 1);
    (void)self;
}

TEST_F(PeakTicks, TheLastClientLeavingFromItsCallbackStopsTheTimer) {
    int calls = 0;
    service.Register(
        25, 0,
        [&](TMMPeakTickEntry *e, void *) {
            ++calls;
            service.Unregister(e);
        },
        nullptr);
    source.Fire(3);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(service.Running());
    EXPECT_EQ(source.Live(), 0u);
    ASSERT_NE(Add("again", 25), nullptr) << "the service starts again";
    EXPECT_EQ(CallTicks("again", 1), (std::vector<int>{1}));
}

TEST_F(PeakTicks, ClientsRegisteredDuringAPassWaitForTheNextTick) {
    bool added = false;
    service.Register(
        25, 0,
        [&](TMMPeakTickEntry *, void *) {
            if (!added) Add("late", 25);
            added = true;
        },
        nullptr);
    EXPECT_TRUE(CallTicks("late", 1).empty());
    EXPECT_EQ(CallTicks("late", 1), (std::vector<int>{1}));
}

TEST(PeakTickSystem, ProcessWideServiceTicksOnItsOwnThreadAndStopsWhenLastLeaves) {
    std::atomic<int> calls{0};
    std::atomic<bool> onMain{false};
    QThread *main = QThread::currentThread();
    TMMPeakTickEntry *e = PeakTickRegister(
        10, 0,
        [&](TMMPeakTickEntry *, void *) {
            if (QThread::currentThread() == main) onMain = true;
            ++calls;
        },
        nullptr);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(TMMPeakTickService::Instance().Running());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (calls < 4 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    PeakTickUnregister(e);
    EXPECT_GE(calls.load(), 4);
    EXPECT_FALSE(onMain.load());
    EXPECT_FALSE(TMMPeakTickService::Instance().Running());
    const int after = calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(calls.load(), after) << "no tick after the last client left";
}
