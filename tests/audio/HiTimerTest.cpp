#include "audio/MMFrameRide.h"
#include "audio/MMHiTimer.h"
#include "platform/MMMessageBox.h"

#include "common/ManualTimerSource.h"
#include "common/PumpEventsUntil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Waits without running the main thread's events.
bool WaitUntil(const std::function<bool()> &done, int seconds = 10) {
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct HiTimer : ::testing::Test {
    ManualTimerSource source;
    std::unique_ptr<TMMHiTimer> timer = std::make_unique<TMMHiTimer>();
    std::atomic<int> ticks{0};
    std::atomic<TObject *> sender{nullptr};
    std::atomic<bool> offMain{false};

    void SetUp() override { timer->SetTimerSource(&source); }
    void TearDown() override {
        timer.reset();
        QCoreApplication::processEvents();
    }
    TNotifyEvent Counter() {
        return [this](TObject *s) {
            sender = s;
            if (QThread::currentThread() != qApp->thread()) offMain = true;
            ++ticks;
        };
    }
};

} // namespace

TEST_F(HiTimer, DefaultsAndNoTimerWithoutAHandler) {
    EXPECT_EQ(timer->CallBackMode(), cmWindow);
    EXPECT_TRUE(timer->Enabled());
    EXPECT_EQ(timer->Interval(), 1000);
    EXPECT_EQ(timer->Priority(), tpNormal);
    EXPECT_TRUE(timer->Synchronize());
    EXPECT_FALSE(timer->WaitForTerminate());
    EXPECT_EQ(timer->TimerID(), 0u);
    EXPECT_EQ(source.Arms, 0);
}

TEST_F(HiTimer, RearmsOnRelevantChangesOnly) {
    timer->SetOnTimer(Counter());
    EXPECT_EQ(source.Arms, 1);
    EXPECT_EQ(source.LastDelay, 1000u);
    const unsigned id = timer->TimerID();
    EXPECT_NE(id, 0u);

    timer->SetInterval(1000); // unchanged: the running interval is not restarted
    timer->SetEnabled(true);
    timer->SetCallBackMode(cmWindow);
    timer->SetSynchronize(false);
    timer->SetPriority(tpHigher);
    timer->SetWaitForTerminate(true);
    EXPECT_EQ(source.Arms, 1);
    EXPECT_EQ(timer->TimerID(), id);

    timer->SetInterval(20);
    EXPECT_EQ(source.Arms, 2);
    EXPECT_EQ(source.Kills, 1);
    EXPECT_EQ(source.LastDelay, 20u);
    EXPECT_EQ(source.Live(), 1u);

    timer->SetOnTimer(timer->OnTimer()); // the same handler still restarts
    EXPECT_EQ(source.Arms, 3);
    EXPECT_EQ(source.Live(), 1u);

    timer->SetInterval(-5);
    EXPECT_EQ(timer->Interval(), 20);
    EXPECT_EQ(source.Arms, 3);
}

TEST_F(HiTimer, IntervalZeroDisabledOrNoHandlerKeepItStopped) {
    timer->SetOnTimer(Counter());
    timer->SetInterval(0);
    EXPECT_EQ(timer->TimerID(), 0u);
    EXPECT_EQ(source.Live(), 0u);
    timer->SetInterval(20);
    EXPECT_EQ(source.Live(), 1u);
    timer->SetEnabled(false);
    EXPECT_EQ(source.Live(), 0u);
    timer->SetEnabled(true);
    EXPECT_EQ(source.Live(), 1u);
    timer->SetOnTimer(nullptr);
    EXPECT_EQ(source.Live(), 0u);
}

TEST_F(HiTimer, WindowModeQueuesAtMostTenTicks) {
    timer->SetInterval(20);
    timer->SetOnTimer(Counter());
    source.Fire(15);
    EXPECT_EQ(timer->QueuedTicks(), TMMHiTimer::MaxQueuedTicks);
    EXPECT_EQ(ticks.load(), 0) << "window ticks run only on the main thread's loop";
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks.load(), 10);
    EXPECT_EQ(timer->QueuedTicks(), 0);
    EXPECT_EQ(sender.load(), timer.get());
    EXPECT_FALSE(offMain.load());

    source.Fire(3); // caught up: ticks are taken again
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks.load(), 13);
}

TEST_F(HiTimer, TicksQueuedBeforeDisablingNeverFire) {
    timer->SetOnTimer(Counter());
    source.Fire(4);
    timer->SetEnabled(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks.load(), 0);
    EXPECT_EQ(timer->QueuedTicks(), 0);

    timer->SetEnabled(true);
    source.Fire(2);
    timer.reset(); // destruction likewise
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks.load(), 0);
}

TEST_F(HiTimer, CallbackModeIsRefusedWithTheMessageBox) {
    std::string text, caption;
    auto old = SetMessageBoxHook([&](const std::string &t, const std::string &c) {
        text = t;
        caption = c;
    });
    timer->SetCallBackMode(cmThread);
    timer->SetOnTimer(Counter());
    const int arms = source.Arms;
    timer->SetCallBackMode(cmCallback);
    SetMessageBoxHook(old);
    EXPECT_EQ(text, "\"CallBacks\" are called at interrupt time !\n\r"
                    "This is currently only supported under Windows 95");
    EXPECT_EQ(caption, "TMMHiTimer");
    EXPECT_EQ(timer->CallBackMode(), cmThread);
    EXPECT_EQ(source.Arms, arms) << "a refused mode leaves the timer running as it was";
}

TEST_F(HiTimer, WithoutASystemTimerTheErrorIsOutOfResourcesAndNothingIsLeft) {
    timer->SetCallBackMode(cmThread);
    source.FailNext = true;
    try {
        timer->SetOnTimer(Counter());
        FAIL() << "no exception";
    } catch (const EOutOfResources &e) {
        EXPECT_STREQ(e.what(), "タイマーを取得できません");
    }
    EXPECT_EQ(timer->TimerID(), 0u);
    EXPECT_FALSE(timer->ThreadActive());
    timer->SetInterval(30); // the next change arms normally
    EXPECT_NE(timer->TimerID(), 0u);
    EXPECT_TRUE(timer->ThreadActive());
}

TEST_F(HiTimer, ThreadModeUnsynchronisedRunsOnTheWorker) {
    timer->SetCallBackMode(cmThread);
    timer->SetSynchronize(false);
    timer->SetOnTimer(Counter());
    ASSERT_TRUE(timer->ThreadActive());
    source.Fire();
    EXPECT_TRUE(WaitUntil([&] { return ticks >= 1; }));
    EXPECT_TRUE(offMain.load());
    EXPECT_EQ(sender.load(), timer.get());
}

TEST_F(HiTimer, ThreadModeSynchronisedRunsOnTheMainThread) {
    timer->SetCallBackMode(cmThread);
    timer->SetOnTimer(Counter());
    for (int i = 1; i <= 3; ++i) {
        source.Fire();
        EXPECT_TRUE(PumpEventsUntil([&] { return ticks >= i; }, 10000));
    }
    EXPECT_FALSE(offMain.load());

    timer->SetSynchronize(false); // taken up from the next tick, without re-arming
    const int arms = source.Arms;
    source.Fire();
    EXPECT_TRUE(WaitUntil([&] { return ticks >= 4; }));
    EXPECT_TRUE(offMain.load());
    EXPECT_EQ(source.Arms, arms);
}

// A handler that only feeds the screen: while frames ride, its ticks come from the
// frame tick, on the main thread, with no system timer running; when the frames
// stop, the system's timer ticks it again.
TEST_F(HiTimer, WhileFramesRideTheTicksComeFromTheFrameTick) {
    timer->SetCallBackMode(cmThread);
    timer->SetRideFrames(true);
    timer->SetInterval(1);
    timer->SetOnTimer(Counter());
    ASSERT_EQ(source.Live(), 1u);
    TMMFrameRide::SetRiding(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    TMMFrameRide::Frame();
    EXPECT_EQ(source.Live(), 0u);
    EXPECT_GE(ticks.load(), 1);
    EXPECT_FALSE(timer->SyncCallWaiting());

    TMMFrameRide::SetRiding(false);
    ASSERT_EQ(source.Live(), 1u);
    const int before = ticks.load();
    std::thread([&] { source.Fire(); }).join();
    EXPECT_TRUE(PumpEventsUntil([&] { return ticks == before + 1; }, 10000));
    EXPECT_FALSE(offMain.load());
}

// The worker waits for the main thread to run OnTimer while the main thread tears
// the timer down and waits for the worker: neither may wait for the other.
TEST_F(HiTimer, TearDownWhileTheWorkerWaitsForTheMainThreadDoesNotHang) {
    timer->SetCallBackMode(cmThread);
    timer->SetWaitForTerminate(true);
    timer->SetOnTimer(Counter());
    source.Fire();
    ASSERT_TRUE(WaitUntil([&] { return timer->SyncCallWaiting(); }));

    const auto start = Clock::now();
    timer->SetEnabled(false);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_LT(took.count(), 2500) << "the 5 s wait for the worker ran out instead of the worker ending";
    EXPECT_FALSE(timer->ThreadActive());
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks.load(), 0) << "the cancelled tick must not run after disabling";
}

TEST_F(HiTimer, HandlerSwitchingItsTimerOffDoesNotWaitForItself) {
    timer->SetCallBackMode(cmThread);
    timer->SetWaitForTerminate(true);
    timer->SetOnTimer([this](TObject *) {
        ++ticks;
        timer->SetEnabled(false);
    });
    source.Fire();
    const auto start = Clock::now();
    ASSERT_TRUE(PumpEventsUntil([&] { return ticks >= 1; }, 10000));
    EXPECT_FALSE(timer->ThreadActive());
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 2500);

    // Unsynchronised: the worker itself switches the timer off.
    std::atomic<bool> done{false};
    timer->SetSynchronize(false);
    timer->SetOnTimer([&](TObject *) {
        timer->SetEnabled(false);
        done = true;
    });
    timer->SetEnabled(true);
    const auto start2 = Clock::now();
    source.Fire();
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start2).count(), 2500);
}

TEST_F(HiTimer, WaitForTerminateWaitsForTheWorkerToEnd) {
    timer->SetCallBackMode(cmThread);
    timer->SetSynchronize(false);
    timer->SetWaitForTerminate(true);
    std::atomic<bool> inside{false}, finished{false};
    timer->SetOnTimer([&](TObject *) {
        inside = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        finished = true;
    });
    source.Fire();
    ASSERT_TRUE(WaitUntil([&] { return inside.load(); }));
    timer->SetEnabled(false);
    EXPECT_TRUE(finished.load()) << "the handler in progress ended before the tear-down returned";
}

TEST_F(HiTimer, HandlerErrorsGoToTheApplicationHandlerAndTicksGoOn) {
    std::atomic<int> errors{0};
    SetApplicationExceptionHandler([&](std::exception_ptr) { ++errors; });
    timer->SetOnTimer([this](TObject *) {
        ++ticks;
        throw EMMError("boom");
    });
    source.Fire(2);
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks.load(), 2);
    EXPECT_EQ(errors.load(), 2);
    EXPECT_EQ(timer->QueuedTicks(), 0) << "the count goes down also when the handler raised";
    SetApplicationExceptionHandler(nullptr);
}

TEST_F(HiTimer, DestroyingTheTimerFromItsOwnHandlerIsSafe) {
    timer->SetOnTimer([this](TObject *) {
        ++ticks;
        timer.reset();
    });
    source.Fire(3);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(ticks.load(), 1);
    EXPECT_EQ(timer, nullptr);

    // The same from a tick handled inside another tick's handler (a handler that
    // runs the event loop, as the connector's trigger loop does).
    ticks = 0;
    timer = std::make_unique<TMMHiTimer>();
    timer->SetTimerSource(&source);
    timer->SetOnTimer([this](TObject *) {
        if (++ticks > 1) return;
        QCoreApplication::sendPostedEvents(); // the second tick is handled in here
        timer.reset();
    });
    source.Fire(2);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(ticks.load(), 2);
    EXPECT_EQ(timer, nullptr);
}

TEST(HiTimerSystem, TicksFromTheSystemTimerInEveryMode) {
    for (TMMCBMode mode : {cmWindow, cmThread}) {
        for (bool sync : {true, false}) {
            if (mode == cmWindow && !sync) continue;
            std::atomic<int> ticks{0};
            TMMHiTimer timer;
            timer.SetEnabled(false);
            timer.SetCallBackMode(mode);
            timer.SetSynchronize(sync);
            timer.SetInterval(5);
            timer.SetOnTimer([&](TObject *) { ++ticks; });
            timer.SetEnabled(true);
            EXPECT_TRUE(PumpEventsUntil([&] { return ticks >= 5; }, 10000)) << mode << sync;
            timer.SetEnabled(false);
            QCoreApplication::processEvents();
            const int after = ticks.load();
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            QCoreApplication::processEvents();
            EXPECT_EQ(ticks.load(), after) << "no tick after disabling";
        }
    }
}
