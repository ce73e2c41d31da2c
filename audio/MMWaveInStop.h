#pragma once

// The wave input's stop and close: one state under one lock says how far a stop has
// come and counts the buffers at the driver and the deliveries in progress; a wait on
// it ends when either count falls to 0 and when the driver confirms an open or a close.
// - Once a stop has begun no delivery begins and no buffer is queued again, so the
//   deliveries only fall from then on.
// - Stop on the main thread waits until the deliveries in progress on the worker have
//   ended and the driver has handed back every buffer, then completes (chain Stopped,
//   OnStop) before it returns; a Close after it finds the device stopped and closes at once.
// - Stop from inside a delivery (an OnBufferReady handler: on the worker, or on the main
//   thread in cmWindow mode) cannot wait for itself: the stop is deferred, and whoever
//   ends the last delivery posts its completion to the main thread. A Close meanwhile is
//   requested, and runs when that stop completes.
// - A delivery should not wait for the main thread (a blocking queued call, a synchronised
//   call); if one does, nothing deadlocks: the main thread waits a while for deliveries,
//   then defers the stop as above and returns to its loop, which serves the delivery; the
//   stop and a requested close complete once it has ended.
// - In cmWindow mode the driver's returns are posted to the main thread: Stop runs exactly
//   those (they wait in the hidden window's own queue), not the rest of the loop.
// - Destruction cannot leave a close for later: it turns the main loop until a deferred
//   stop and close are done, since the delivery may be waiting for it.
//
// Threads: every member takes the lock itself and may be called from any thread; the
// callables given to Start, Requeue and EndDelivery run with the lock held.

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// How far a stop has come.
enum class TStopStage {
    Idle,     // not started
    Running,  // returned buffers are delivered and queued again
    Stopping, // the driver was stopped and reset: returned buffers are only counted back
    Deferred, // as Stopping, and the last delivery to end posts the completion
    Overdue,  // as Deferred, and a wait for that delivery ran out: no one waits for it again
    Posted    // as Stopping, and the completion is on its way to the main thread
};
// What moves it on.
enum class TStopEvent {
    Start,      // the driver was given every buffer
    Stop,       // a stop begins
    Defer,      // deliveries are in progress that this thread may not wait for
    WaitRanOut, // a wait for the deliveries in progress ran out
    LastEnded,  // the last delivery in progress ended
    Drained,    // a closing thread with no loop to turn waited the deliveries out
    Done        // the stop, or the close, completed
};
// What becomes of a buffer the driver hands back (the "returned" column).
enum class TReturned { Ignored, Delivered, CountedBack };

struct TStopRow {
    TStopStage Stage;
    TReturned Returned;
    bool Waited;                     // a thread other than the deliverer waits for the deliveries
    std::array<TStopStage, 7> After; // the stage after each event, in TStopEvent's order
};

// Every stage and transition of a stop, in one place.
namespace StopTable {
using enum TStopStage;
using enum TReturned;
// clang-format off
inline constexpr std::array<TStopRow, 6> Rows{{
    // stage   returned     waited  Start    Stop      Defer     WaitRanOut LastEnded Drained Done
    {Idle,     Ignored,     true,  {Running, Stopping, Deferred, Overdue,   Idle,     Posted, Idle}},
    {Running,  Delivered,   true,  {Running, Stopping, Deferred, Overdue,   Running,  Posted, Idle}},
    {Stopping, CountedBack, true,  {Running, Stopping, Deferred, Overdue,   Stopping, Posted, Idle}},
    {Deferred, CountedBack, true,  {Running, Deferred, Deferred, Overdue,   Posted,   Posted, Idle}},
    {Overdue,  CountedBack, false, {Running, Overdue,  Overdue,  Overdue,   Posted,   Posted, Idle}},
    {Posted,   CountedBack, true,  {Running, Posted,   Deferred, Overdue,   Posted,   Posted, Idle}},
}};
// clang-format on
} // namespace StopTable

constexpr bool RowsInStageOrder() {
    for (std::size_t i = 0; i < StopTable::Rows.size(); ++i)
        if (static_cast<std::size_t>(StopTable::Rows[i].Stage) != i) return false;
    return true;
}
static_assert(RowsInStageOrder(), "a stage's row is found by its number");

constexpr const TStopRow &StopRow(TStopStage Stage) {
    return StopTable::Rows[static_cast<std::size_t>(Stage)];
}
constexpr TStopStage NextStopStage(TStopStage Stage, TStopEvent Event) {
    return StopRow(Stage).After[static_cast<std::size_t>(Event)];
}
constexpr bool StopBegun(TStopStage Stage) {
    return StopRow(Stage).Returned == TReturned::CountedBack;
}

class TMMWaveInStop {
  public:
    // DeliveryWait: how long a stop or close waits for a delivery on another thread before it
    // leaves the stop to that delivery's end.
    explicit TMMWaveInStop(std::chrono::milliseconds DeliveryWait) : FDeliveryWait(DeliveryWait) {}

    TStopStage Stage() const;
    int Queued() const;
    bool StopBegun() const;
    bool Closing() const;

    // --- Running. Start and Requeue count a buffer in once Queue has handed it to the driver.
    template <typename F> void Start(int Count, F &&Queue) {
        std::lock_guard lock(FLock);
        FQueued = 0;
        Move(TStopEvent::Start);
        for (int i = 0; i < Count; ++i) {
            Queue(i);
            ++FQueued;
        }
    }
    // Delivering thread: a stop that began during the delivery keeps the buffer here.
    template <typename F> void Requeue(F &&Queue) {
        std::lock_guard lock(FLock);
        if (StopRow(FStage).Returned != TReturned::Delivered) return;
        Queue();
        ++FQueued;
    }
    // Receiving thread: the driver handed a buffer back; true when it is to be delivered.
    bool BeginDelivery();
    // Delivering thread: when a deferred stop waits for this last delivery, Post sends its completion.
    template <typename F> void EndDelivery(F &&Post) {
        std::lock_guard lock(FLock);
        if (EndOneDelivery()) Post();
    }

    // --- Stopping.
    // From here on no delivery begins and no buffer goes back to the driver.
    void BeginStop();
    // True when no delivery is in progress any more (the caller completes the stop); false when
    // the stop is left to the end of the last delivery.
    bool SettleDeliveries();
    // Waits at most Wait for the driver to hand back every buffer (not for a failed worker).
    void AwaitReturns(std::chrono::milliseconds Wait);
    // Main thread: a posted completion arrived. False when overtaken (the stop completed, and
    // maybe a new run began, before it arrived); else CloseRequested says if a close waits.
    bool TakeCompletion(bool &CloseRequested) const;
    // The stop completed; true when a close waits for it.
    bool Stopped();

    // --- Closing.
    // False when a close is already under way; one waiting for a deferred stop runs now.
    bool BeginClose();
    // True when a stop deferred, or failed midway, still has a delivery to wait for: the
    // close is then requested and runs when that stop completes.
    bool DeferClose();
    void CloseFailed();
    void Closed();
    // Destroying: false when no close is requested; with Drain, first waits the deliveries
    // out and marks the stop's completion due.
    bool AwaitRequestedClose(bool Drain);

    // --- The driver's confirmations of an open (true) or a close (false).
    void ExpectConfirmation();
    void Confirm(bool Open);
    bool AwaitConfirmation(bool Open, std::chrono::milliseconds Wait);

    // --- The worker of cmThread mode: once its loop has failed it reads its queue no more.
    void WorkerStarted();
    void WorkerFailed();
    bool HasWorkerFailed() const;
    // Runs Fn, the lock held, unless the worker has failed (a failed worker frees itself as it
    // leaves, which it cannot do while the lock is held).
    template <typename F> void IfWorkerAlive(F &&Fn) {
        std::lock_guard lock(FLock);
        if (!FWorkerFailed) Fn();
    }

  private:
    void Move(TStopEvent Event) { FStage = NextStopStage(FStage, Event); }
    bool Settle(std::unique_lock<std::mutex> &Lock);
    bool EndOneDelivery();

    const std::chrono::milliseconds FDeliveryWait;
    mutable std::mutex FLock; // guards everything below
    std::condition_variable FIdle;
    TStopStage FStage = TStopStage::Idle;
    int FQueued = 0;              // buffers handed to the driver and not yet returned
    int FDelivering = 0;          // returned buffers being delivered down the chain
    std::thread::id FDeliverer;   // the thread delivering while FDelivering > 0
    bool FClosing = false;        // a close is running or requested
    bool FCloseRequested = false; // a close waits for a deferred stop
    bool FWorkerFailed = false;   // the worker's loop failed; it reads its queue no more
    bool FDriverOpen = false;     // the driver's latest confirmation: open (true) or close
};
