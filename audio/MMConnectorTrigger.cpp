// The connectors' trigger machinery: the message loop that hands out the blocks
// as they fall due and sleeps in between, the internal timer's refresh, the idle
// handler and the paused refresh.

#include "audio/MMConnector.h"
#include "audio/MMConnectorShared.h"
#include "audio/MMFrameRide.h"
#include "audio/MMFrameTimer.h"
#include "audio/MMHiTimer.h"
#include "audio/MMPeakTick.h"
#include "core/MainThread.h"

#include <chrono>
#include <thread>

// --- Trigger machinery -----------------------------------------------------------

namespace {
constexpr std::int64_t kGatherMicroseconds = 1100;
} // namespace

void TMMConnector::PostStartTrigger() {
    if (QCoreApplication::instance() == nullptr) return;
    QCoreApplication::postEvent(FPort.get(), new QEvent(EventType(MMConnectorStartTrigger)));
}

void TMMConnector::StartTrigger() {
    // Nothing to serve once stopped or disabled before the event came round.
    if (!FRunning || !FEnabled) return;
    FPendingTimerRefresh = 0;
    FTriggering = true;
    if (!FAutoTrigger) return;
    if (FTriggerMethod == tmTimer) {
        FTimer->SetEnabled(true);
    } else {
        JoinRunningCount();
        Shared().LoopFailed = false;
        PostTriggerLoop();
    }
}

void TMMConnector::StopTriggering() {
    if (!FTriggering) return;
    FTriggering = false;
    LeaveRunningCount();
}

void TMMConnector::JoinRunningCount() {
    if (FInRunningCount) return;
    FInRunningCount = true;
    ++Shared().RunningCount;
}

void TMMConnector::LeaveRunningCount() {
    if (!FInRunningCount) return;
    FInRunningCount = false;
    TShared &s = Shared();
    if (--s.RunningCount == 0 && s.Window != nullptr) s.Window->DueTimer().Disarm();
}

void TMMConnector::TimerTick() {
    if (!FEnabled) return;
    if (!FTriggering && (FRealTime || !FRunning)) return;
    if (FAutoTrigger && FTriggerMethod != tmTimer) return;
    if (FPendingTimerRefresh > 0) return;
    if (IsMainThread()) {
        Refresh();
    } else if (QCoreApplication::instance() != nullptr) {
        ++FPendingTimerRefresh;
        QCoreApplication::postEvent(FPort.get(), new QEvent(EventType(MMConnectorTimerRefresh)));
    }
}

void TMMConnector::TimerRefresh() {
    Guarded([this] {
        if (FEnabled && FTriggering) Refresh();
    });
    --FPendingTimerRefresh;
}

void TMMConnector::InstallIdleHandler() {
    TShared &s = Shared();
    if (s.IdleHandler != nullptr || QCoreApplication::instance() == nullptr) return;
    // A zero-interval timer fires whenever the main loop has nothing else to do,
    // so the loop never goes to sleep: idle processing is never finished.
    s.IdleHandler = new QTimer;
    s.IdleHandler->setInterval(0);
    s.IdleHandler->start();
}

void TMMConnector::RemoveIdleHandlerWhenIdle() {
    TShared &s = Shared();
    if (s.RunningCount > 0 || s.IdleHandler == nullptr) return;
    delete s.IdleHandler;
    s.IdleHandler = nullptr;
}

void TMMConnector::RecomputeLargestSpeed() {
    TShared &s = Shared();
    std::lock_guard lock(s.Lock);
    int largest = 1;
    for (const TMMConnector *c : s.List)
        largest = std::max(largest, c->FSpeed.load());
    s.LargestSpeed = s.List.empty() ? 5000 : largest;
}

// One trigger-loop event is on its way at a time, however many connectors start.
void TMMConnector::PostTriggerLoop() {
    TShared &s = Shared();
    if (s.LoopPosted || s.Window == nullptr) return;
    s.LoopPosted = true;
    QCoreApplication::postEvent(s.Window, new QEvent(EventType(MMConnectorTriggerLoop)));
}

void TMMConnector::TriggerLoopPass() {
    TShared &s = Shared();
    s.LoopPosted = false;
    // Reached again from the pass's own event processing: the outer pass looks
    // at everything once it is done, and decides when the next one runs.
    if (s.InPass) return;
    if (s.Window != nullptr) s.Window->DueTimer().Disarm();
    s.InPass = true;
    const bool ok = Guarded([&s] {
        for (int i = 5001 - s.LargestSpeed.load(); i > 0; --i)
            QCoreApplication::processEvents();
        if (s.RunningCount > 0 && !QCoreApplication::closingDown()) {
            for (TMMConnector *c : ListSnapshot()) {
                // A connector may have gone while the events above or an earlier
                // refresh ran.
                if (!Listed(c)) continue;
                if (c->ServedByLoop()) c->Refresh();
            }
        }
    });
    s.InPass = false;
    if (!ok) {
        s.LoopFailed = true;
        TMMFrameRide::SetRiding(false);
        return;
    }
    ScheduleNextPass();
}

void TMMConnector::FramePass() {
    if (TMMFrameRide::Riding()) TriggerLoopPass();
}

bool TMMConnector::ServedByLoop() const {
    return FAutoTrigger && FTriggerMethod == tmMessage && FEnabled && FTriggering;
}

// Whether a connector the loop serves holds a block not yet handed out, and in
// how many microseconds the earliest falls due.
bool TMMConnector::EarliestDue(const std::vector<TMMConnector *> &Connectors, std::int64_t &DueIn) {
    bool pending = false;
    for (TMMConnector *c : Connectors) {
        std::int64_t in = 0;
        if (!c->ServedByLoop() || !c->PendingBlock(in)) continue;
        DueIn = pending ? std::min(DueIn, in) : in;
        pending = true;
    }
    return pending;
}

// With a screen that shows, the next pass rides its next frame tick: every block
// due by then goes out just before the present that first shows it. With a
// screen that shows nothing, the next buffer's arrival wakes the loop, and its
// pass hands out what is left of the one before: the laws that count time run
// on. Without a screen, passes follow each other while a served connector has a
// block due, and otherwise the loop sleeps, without holding up the main thread,
// until the earliest block falls due or a buffer arrives.
void TMMConnector::ScheduleNextPass() {
    TShared &s = Shared();
    const bool live = s.RunningCount > 0 && !QCoreApplication::closingDown() && ConnectorCount() > 0;
    const std::vector<TMMConnector *> connectors = ListSnapshot();
    // Unpaced, a connector hands one block a pass and passes follow each other:
    // it keeps the loop's own pace.
    const bool paced = std::all_of(connectors.begin(), connectors.end(), [](const TMMConnector *c) {
        return !c->ServedByLoop() || c->FSynchronize;
    });
    TMMFrameSource *screen = paced ? TMMFrameRide::Source() : nullptr;
    const bool ride = screen != nullptr && live && screen->Showing();
    if (ride) screen->RequestFrame();
    if (TMMFrameRide::SetRiding(ride) && !ride && live) PassForUnseenBuffers();
    // Shown nowhere, the passes that arriving buffers bring drive the screen's timers too;
    // not while a connector paused, whose refresh needs those timers to bring any pass.
    const bool fed = std::none_of(connectors.begin(), connectors.end(),
                                  [](const TMMConnector *c) { return c->ServedByLoop() && c->FPaused; });
    if (screen != nullptr && live && !ride && fed) TMMFrameTimerSource::PassAll();
    if (screen != nullptr || !live) return;
    std::int64_t dueIn = 0;
    if (!EarliestDue(connectors, dueIn)) return; // the next buffer wakes the loop
    if (dueIn <= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (EnterIdle()) QCoreApplication::processEvents();
        PostTriggerLoop();
        return;
    }
    // Blocks falling due within a moment of the earliest ride its wake: the
    // level meters' blocks come every 1.04 ms, and each wake of the main
    // thread costs more than handing out a block. None is handed more than
    // kGatherMicroseconds late.
    std::int64_t wakeIn = dueIn;
    for (TMMConnector *c : connectors)
        if (c->ServedByLoop()) wakeIn = c->LastDueBy(dueIn + kGatherMicroseconds, wakeIn);
    ArmDueTimer(wakeIn);
}

void TMMConnector::PassForUnseenBuffers() {
    // Intake either saw the riding end or its buffer is seen here (see Riding()).
    for (TMMConnector *c : ListSnapshot())
        if (c->ServedByLoop() && c->FBuffers.Pending()) {
            PostTriggerLoop();
            return;
        }
}

void TMMConnector::ArmDueTimer(std::int64_t DueIn) {
    TShared &s = Shared();
    if (s.Window != nullptr) s.Window->DueTimer().Arm(DueIn);
}

void TMMConnector::DueTimerFired() {
    TShared &s = Shared();
    if (s.RunningCount <= 0 || s.LoopPosted) return;
    std::int64_t dueIn = 0;
    if (!EarliestDue(ListSnapshot(), dueIn)) return;
    // A connector's own clock may run apart from the alarm's.
    if (dueIn > 0) {
        ArmDueTimer(dueIn);
        return;
    }
    TriggerLoopPass();
}

// The wake is a counter, not a posted event: signalling it takes no lock, so the
// capture thread never waits for the main thread even there.
void TMMConnector::WakeTriggerLoop() {
    if (!FRealTime || !FAutoTrigger || FTriggerMethod != tmMessage || !FTriggering) return;
    // The frame tick that is coming runs a pass anyway.
    if (TMMFrameRide::Riding()) return;
    const int fd = Shared().WakeFd.load();
    if (fd < 0 || FWakePending.exchange(true)) return;
    eventfd_write(fd, 1);
}

// Main thread. A loop that failed stays down until a connector starts triggering again.
void TMMConnector::TriggerLoopWake() {
    TShared &s = Shared();
    // Each connector signals again only once its wake has been seen.
    for (TMMConnector *c : ListSnapshot())
        c->FWakePending = false;
    if (s.RunningCount > 0 && !s.LoopFailed) PostTriggerLoop();
}

// --- Paused refresh --------------------------------------------------------------

void TMMConnector::StartPausedRefresh() {
    if (FPausedTick != nullptr) return;
    const TWaveFormatEx *input = PWaveFormat();
    const int size = GetBufferSize();
    const int interval = (size > 8191 || input == nullptr) ? 25 : BytesToMs(*input, size);
    FPausedTick = FTickService->Register(interval, 0, &TMMConnector::PausedTick, this);
    if (FPausedTick == nullptr) throw EOutOfResources("タイマーを取得できません");
}

void TMMConnector::StopPausedRefresh() {
    if (FPausedTick == nullptr) return;
    FTickService->Unregister(FPausedTick);
    FPausedTick = nullptr;
}

// Peak tick thread: the silent buffer is shown again from its start.
void TMMConnector::PausedTick(TMMPeakTickEntry *, void *Data) {
    auto *self = static_cast<TMMConnector *>(Data);
    if (!self->FPaused) return;
    self->FArrival = self->FClock();
    for (TGroup &g : self->FGroups)
        if (g.Attached) {
            g.ReadPos = 0;
            g.NewData = true;
        }
    self->WakeTriggerLoop();
}
