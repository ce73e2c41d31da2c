#include "clock/GuiThreadTick.h"
#include "common/PumpEventsUntil.h"
#include "platform/MMError.h"

#include <QObject>
#include <QThread>
#include <gtest/gtest.h>

#include <thread>

TEST(GuiThreadTickTest, TicksFromAWorkerRunOnTheGuiThreadAndMergeWhileOneWaits) {
    QObject context;
    std::vector<QThread *> ranOn;
    TGuiThreadTick tick(&context, [&] { ranOn.push_back(QThread::currentThread()); });
    const TNotifyEvent event = tick.Event();
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i)
            event(nullptr);
    });
    worker.join();
    EXPECT_TRUE(tick.Busy());
    EXPECT_TRUE(PumpEventsUntil([&] { return !ranOn.empty() && !tick.Busy(); }, 5000));
    QCoreApplication::processEvents();
    ASSERT_EQ(ranOn.size(), 1u) << "five ticks while one waited are one run";
    EXPECT_EQ(ranOn[0], QThread::currentThread());

    event(nullptr); // on the GUI thread itself: at once
    EXPECT_EQ(ranOn.size(), 2u);
}

TEST(GuiThreadTickTest, TickDuringARunIsDroppedAndAFailureIsReportedNotKept) {
    QObject context;
    int runs = 0;
    TNotifyEvent event;
    std::string reported;
    SetApplicationExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception &x) {
            reported = x.what();
        }
    });
    TGuiThreadTick tick(&context, [&] {
        ++runs;
        event(nullptr); // comes back in while running, as a handler processing events may
        throw EMMError("tick failed");
    });
    event = tick.Event();
    event(nullptr);
    SetApplicationExceptionHandler(nullptr);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(reported, "tick failed");
    EXPECT_FALSE(tick.Busy()) << "a failed run does not stop the ticks that follow";
}
