#include "audio/MMWaveInStop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr TStopEvent kEvents[] = {TStopEvent::Start,      TStopEvent::Stop,      TStopEvent::Defer,
                                  TStopEvent::WaitRanOut, TStopEvent::LastEnded, TStopEvent::Drained,
                                  TStopEvent::Done};

const char *Name(TStopStage s) {
    static const char *const names[] = {"Idle", "Running", "Stopping", "Deferred", "Overdue", "Posted"};
    return names[static_cast<int>(s)];
}

const char *Name(TReturned r) {
    static const char *const names[] = {"ignored", "delivered", "counted"};
    return names[static_cast<int>(r)];
}

// A delivery on a thread of its own, held open until Finish.
class THeldDelivery {
  public:
    explicit THeldDelivery(TMMWaveInStop &stop) : FStop(stop) {
        FThread = std::thread([this] {
            FBegun.set_value(FStop.BeginDelivery());
            FRelease.get_future().wait();
            FStop.EndDelivery([this] { ++Posts; });
        });
        EXPECT_TRUE(FBegun.get_future().get());
    }
    ~THeldDelivery() { Finish(); }
    void Finish() {
        if (!FThread.joinable()) return;
        FRelease.set_value();
        FThread.join();
    }
    std::atomic<int> Posts{0};

  private:
    TMMWaveInStop &FStop;
    std::promise<bool> FBegun;
    std::promise<void> FRelease;
    std::thread FThread;
};

void StartWith(TMMWaveInStop &stop, int buffers) {
    stop.Start(buffers, [](int) {});
}

} // namespace

TEST(WaveInStopTable, EveryStageAndTransition) {
    std::ostringstream table;
    for (const TStopRow &row : StopTable::Rows) {
        table << Name(row.Stage) << ' ' << Name(row.Returned) << (row.Waited ? " waited:" : " not-waited:");
        for (TStopEvent e : kEvents)
            table << ' ' << Name(NextStopStage(row.Stage, e));
        table << '\n';
    }
    // Columns: Start Stop Defer WaitRanOut LastEnded Drained Done.
    EXPECT_EQ(table.str(), "Idle ignored waited: Running Stopping Deferred Overdue Idle Posted Idle\n"
                           "Running delivered waited: Running Stopping Deferred Overdue Running Posted Idle\n"
                           "Stopping counted waited: Running Stopping Deferred Overdue Stopping Posted Idle\n"
                           "Deferred counted waited: Running Deferred Deferred Overdue Posted Posted Idle\n"
                           "Overdue counted not-waited: Running Overdue Overdue Overdue Posted Posted Idle\n"
                           "Posted counted waited: Running Posted Deferred Overdue Posted Posted Idle\n");
}

TEST(WaveInStopTable, OnceAStopBeginsOnlyAStartDeliversAgain) {
    for (const TStopRow &row : StopTable::Rows) {
        EXPECT_EQ(StopRow(row.Stage).Stage, row.Stage) << "rows follow the stages' order";
        if (!StopBegun(row.Stage)) continue;
        for (TStopEvent e : kEvents) {
            const TStopStage next = NextStopStage(row.Stage, e);
            if (e == TStopEvent::Start) continue;
            EXPECT_TRUE(StopBegun(next) || next == TStopStage::Idle)
                << Name(row.Stage) << " -> " << Name(next);
        }
    }
}

TEST(WaveInStopTable, TheWaysAStopEnds) {
    auto walk = [](TStopStage s, std::initializer_list<TStopEvent> events) {
        std::string path = Name(s);
        for (TStopEvent e : events) {
            s = NextStopStage(s, e);
            path += std::string(" ") + Name(s);
        }
        return path;
    };
    using enum TStopEvent;
    // On the main thread, no delivery in the way.
    EXPECT_EQ(walk(TStopStage::Running, {Stop, Done}), "Running Stopping Idle");
    // From inside a delivery: its end posts the completion.
    EXPECT_EQ(walk(TStopStage::Running, {Stop, Defer, LastEnded, Done}),
              "Running Stopping Deferred Posted Idle");
    // A delivery that waits for the main thread: waited for once, then left to end by itself.
    EXPECT_EQ(walk(TStopStage::Running, {Stop, WaitRanOut, Defer, LastEnded, Done}),
              "Running Stopping Overdue Overdue Posted Idle");
    // A posted completion taken up inside another delivery is posted again by that one's end.
    EXPECT_EQ(walk(TStopStage::Posted, {Stop, Defer, LastEnded}), "Posted Posted Deferred Posted");
}

TEST(WaveInStop, ReturnedBuffersAreIgnoredDeliveredOrCountedBack) {
    TMMWaveInStop stop(1s);
    EXPECT_FALSE(stop.BeginDelivery()) << "nothing is delivered before a start";
    EXPECT_EQ(stop.Queued(), 0);

    int queued = 0;
    stop.Start(3, [&](int) { ++queued; });
    EXPECT_EQ(queued, 3);
    EXPECT_EQ(stop.Queued(), 3);
    ASSERT_TRUE(stop.BeginDelivery());
    EXPECT_EQ(stop.Queued(), 2);
    stop.Requeue([&] { ++queued; });
    EXPECT_EQ(stop.Queued(), 3);
    int posts = 0;
    stop.EndDelivery([&] { ++posts; });
    EXPECT_EQ(posts, 0) << "no stop waits for this delivery";

    stop.BeginStop();
    EXPECT_TRUE(stop.StopBegun());
    stop.Requeue([&] { ++queued; });
    EXPECT_EQ(queued, 4) << "a stopping input queues nothing again";
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(stop.BeginDelivery());
    EXPECT_EQ(stop.Queued(), 0);
    EXPECT_TRUE(stop.SettleDeliveries());
    EXPECT_FALSE(stop.Stopped()) << "no close waits";
    EXPECT_EQ(stop.Stage(), TStopStage::Idle);
}

TEST(WaveInStop, AStartCountsOnlyTheBuffersTheDriverTook) {
    TMMWaveInStop stop(1s);
    EXPECT_THROW(stop.Start(5,
                            [](int i) {
                                if (i == 2) throw std::runtime_error("refused");
                            }),
                 std::runtime_error);
    EXPECT_EQ(stop.Queued(), 2);
    EXPECT_EQ(stop.Stage(), TStopStage::Running);
}

TEST(WaveInStop, AStopFromInsideADeliveryIsPostedByItsEndWithTheCloseItHolds) {
    TMMWaveInStop stop(5s);
    StartWith(stop, 2);
    ASSERT_TRUE(stop.BeginDelivery());
    stop.BeginStop();
    const auto before = Clock::now();
    EXPECT_FALSE(stop.SettleDeliveries());
    EXPECT_TRUE(stop.BeginClose());
    EXPECT_TRUE(stop.DeferClose());
    EXPECT_LT(Clock::now() - before, 1s) << "the delivering thread never waits for itself";
    EXPECT_EQ(stop.Stage(), TStopStage::Deferred);
    EXPECT_TRUE(stop.Closing());
    bool closeRequested = false;
    EXPECT_FALSE(stop.TakeCompletion(closeRequested)) << "nothing is posted yet";

    int posts = 0;
    stop.EndDelivery([&] { ++posts; });
    EXPECT_EQ(posts, 1);
    ASSERT_TRUE(stop.TakeCompletion(closeRequested));
    EXPECT_TRUE(closeRequested);
    EXPECT_TRUE(stop.Stopped());
    EXPECT_TRUE(stop.BeginClose()) << "the requested close runs";
    stop.Closed();
    EXPECT_FALSE(stop.Closing());
    EXPECT_FALSE(stop.TakeCompletion(closeRequested)) << "a late completion finds its stop done";
}

TEST(WaveInStop, AnotherThreadWaitsForTheDeliveryToEnd) {
    TMMWaveInStop stop(10s);
    StartWith(stop, 2);
    THeldDelivery delivery(stop);
    stop.BeginStop();
    std::thread ender([&] {
        std::this_thread::sleep_for(50ms);
        delivery.Finish();
    });
    EXPECT_TRUE(stop.SettleDeliveries());
    ender.join();
    EXPECT_EQ(delivery.Posts.load(), 0) << "the waiting thread completes the stop itself";
    EXPECT_EQ(stop.Stage(), TStopStage::Stopping);
}

TEST(WaveInStop, AWaitThatRunsOutIsNotRepeatedAndTheCloseDrainsTheDelivery) {
    TMMWaveInStop stop(50ms);
    StartWith(stop, 2);
    THeldDelivery delivery(stop);
    stop.BeginStop();
    auto before = Clock::now();
    EXPECT_FALSE(stop.SettleDeliveries());
    EXPECT_GE(Clock::now() - before, 50ms);
    EXPECT_EQ(stop.Stage(), TStopStage::Overdue);

    ASSERT_TRUE(stop.BeginClose());
    before = Clock::now();
    EXPECT_TRUE(stop.DeferClose());
    EXPECT_LT(Clock::now() - before, 50ms) << "an overdue delivery is not waited for twice";

    std::thread ender([&] {
        std::this_thread::sleep_for(50ms);
        delivery.Finish();
    });
    EXPECT_TRUE(stop.AwaitRequestedClose(true));
    ender.join();
    EXPECT_EQ(delivery.Posts.load(), 1);
    EXPECT_EQ(stop.Stage(), TStopStage::Posted);
    bool closeRequested = false;
    EXPECT_TRUE(stop.TakeCompletion(closeRequested));
    EXPECT_TRUE(closeRequested);
}

TEST(WaveInStop, ASecondCloseIsRefusedWhileOneRuns) {
    TMMWaveInStop stop(1s);
    EXPECT_FALSE(stop.AwaitRequestedClose(true));
    ASSERT_TRUE(stop.BeginClose());
    EXPECT_FALSE(stop.BeginClose());
    EXPECT_FALSE(stop.DeferClose()) << "no stop is under way";
    stop.CloseFailed();
    EXPECT_FALSE(stop.Closing());
    EXPECT_TRUE(stop.BeginClose()) << "a failed close may be tried again";
}

TEST(WaveInStop, TheDriversConfirmationsAreWaitedFor) {
    TMMWaveInStop stop(1s);
    stop.ExpectConfirmation();
    EXPECT_FALSE(stop.AwaitConfirmation(true, 10ms));
    std::thread driver([&] {
        std::this_thread::sleep_for(20ms);
        stop.Confirm(true);
    });
    EXPECT_TRUE(stop.AwaitConfirmation(true, 5s));
    driver.join();
    stop.Confirm(false);
    EXPECT_TRUE(stop.AwaitConfirmation(false, 10ms));
}

TEST(WaveInStop, AFailedWorkerEndsTheWaitForItsBuffers) {
    TMMWaveInStop stop(1s);
    StartWith(stop, 4);
    stop.BeginStop();
    std::thread worker([&] {
        std::this_thread::sleep_for(20ms);
        stop.WorkerFailed();
    });
    const auto before = Clock::now();
    stop.AwaitReturns(10s);
    EXPECT_LT(Clock::now() - before, 5s);
    worker.join();
    EXPECT_EQ(stop.Queued(), 4);

    int calls = 0;
    stop.IfWorkerAlive([&] { ++calls; });
    EXPECT_EQ(calls, 0);
    stop.WorkerStarted();
    EXPECT_FALSE(stop.HasWorkerFailed());
    stop.IfWorkerAlive([&] { ++calls; });
    EXPECT_EQ(calls, 1);
}
