#pragma once

// TMMHiTimer: fires OnTimer every Interval ms, delivered
//  - cmWindow:   as a posted event handled on the main thread (at most 10 queued);
//  - cmCallback: on the system timer's thread (refused on this platform);
//  - cmThread:   through a worker thread of its own, which runs OnTimer on the main
//                thread when Synchronize is set and on itself otherwise.
// Every change of CallBackMode, Enabled, Interval or OnTimer tears the timer down
// and arms it afresh, so the interval starts again. Properties are set on the main
// thread (a handler running on the timer's worker may switch its own timer off).

#include "audio/MMThread.h"
#include "core/MMComponent.h"
#include "platform/MMError.h"
#include "platform/MMTimer.h"

#include <memory>

class EMMHiTimerError : public EMMError {
  public:
    using EMMError::EMMError;
};

struct TMMHiTimerState; // one arming, shared by the timer, its system timer and its worker
class TMMFrameTimerSource;

class TMMHiTimer : public TMMNonVisualComponent {
  public:
    static constexpr int MaxQueuedTicks = 10;

    TMMHiTimer();
    ~TMMHiTimer() override;

    TMMCBMode CallBackMode() const { return FCallBackMode; }
    void SetCallBackMode(TMMCBMode Value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    int Interval() const { return FInterval; } // ms; 0 keeps the timer stopped
    void SetInterval(int Value);               // negative values are ignored
    const TNotifyEvent &OnTimer() const { return FOnTimer; }
    void SetOnTimer(TNotifyEvent Value); // re-arms even when the handler is the same
    TThreadPriority Priority() const { return FPriority; }
    void SetPriority(TThreadPriority Value); // applied at once to a running worker
    bool Synchronize() const { return FSynchronize; }
    void SetSynchronize(bool Value); // taken up from the next tick
    // Thread mode, synchronised: while the screen's frames ride (see MMFrameRide.h),
    // the ticks come from the frame tick itself (MMFrameTimer.h), and OnTimer runs
    // there, up to a frame late, with neither the system timer nor the worker waking;
    // with the screen showing nothing, from the passes each captured buffer brings.
    // For handlers that only feed the screen. Re-arms.
    bool RideFrames() const { return FRideFrames; }
    void SetRideFrames(bool Value);
    bool WaitForTerminate() const { return FWaitForTerminate; }
    void SetWaitForTerminate(bool Value) { FWaitForTerminate = Value; }

    // Window mode: a test the timer's thread makes before posting a tick; true means the
    // handler would ignore it, and the tick is dropped. It reads atomics only. Re-arms.
    void SetTickIgnored(std::function<bool()> Value);

    // Where ticks come from (the system's timer unless a test puts its own here); re-arms.
    void SetTimerSource(TMMTimerSource *Source);

    // Inspection, for tests and diagnostics.
    unsigned TimerID() const; // 0 while stopped
    int QueuedTicks() const;  // window mode: posted ticks not handled yet
    bool ThreadActive() const { return FThreadActive; }
    bool SyncCallWaiting() const; // the worker waits for the main thread to run OnTimer

  protected:
    void DesigningChanged() override { UpdateTimer(); }

  private:
    void UpdateTimer();
    void Disarm();
    void Arm();

    TMMCBMode FCallBackMode = cmWindow;
    bool FEnabled = true;
    int FInterval = 1000;
    TNotifyEvent FOnTimer;
    std::function<bool()> FTickIgnored;
    TThreadPriority FPriority = tpNormal;
    bool FSynchronize = true;
    bool FWaitForTerminate = false;
    bool FRideFrames = false;

    TMMTimerSource *FSource;
    std::unique_ptr<TMMFrameTimerSource> FFrameSource; // over FSource, once frames are ridden
    std::shared_ptr<TMMHiTimerState> FState;
    bool FThreadActive = false;
};

// The worker of a thread-mode timer: waits for ticks and delivers them. It frees
// itself when it ends and reaches the timer only through the shared state.
class TMMTimerThread : public TMMThreadEx {
  public:
    explicit TMMTimerThread(std::shared_ptr<TMMHiTimerState> State) : FState(std::move(State)) {}

  protected:
    void Execute() override; // worker thread
    const char *ThreadName() const override { return "hi-timer"; }

  private:
    std::shared_ptr<TMMHiTimerState> FState;
};

// The text and caption shown when callback mode is asked for.
extern const char *const HiTimerCallbackRefusedText;
