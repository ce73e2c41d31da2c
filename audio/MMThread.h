#pragma once

// Thread objects of the audio components: created suspended, started with Resume,
// optionally freeing themselves when Execute returns; and a Windows-style event.

#include "core/MMTypes.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// The platform figure of a priority: -15, -2, -1, 0, 1, 2, 15 for tpIdle ... tpTimeCritical.
int ThreadPriorityValue(TThreadPriority Priority);

// Applies a priority to the calling thread as its nice value (best effort: raising
// it needs privileges a user may not have, and a refusal is not an error).
void ApplyThreadPriority(TThreadPriority Priority);
// The same for the thread with the given kernel thread id (gettid).
void ApplyThreadPriorityTo(int NativeTid, TThreadPriority Priority);

// An event that threads wait on; auto-reset events release one waiter per Set.
class TMMEvent {
  public:
    explicit TMMEvent(bool ManualReset = false, bool InitialState = false)
        : FManualReset(ManualReset), FSignaled(InitialState) {}

    void Set();
    void Reset();
    // Waits until signalled or TimeoutMs passed (negative: no time-out); true when signalled.
    bool Wait(int TimeoutMs = -1);

  private:
    std::mutex FLock;
    std::condition_variable FCond;
    const bool FManualReset;
    bool FSignaled;
};

class TMMThreadEx {
  public:
    TMMThreadEx() = default; // always created suspended: Resume starts Execute
    // Terminates and joins a thread that is not free-on-terminate (not from the thread itself).
    virtual ~TMMThreadEx();
    TMMThreadEx(const TMMThreadEx &) = delete;
    TMMThreadEx &operator=(const TMMThreadEx &) = delete;

    // Starts the thread the first time; throws std::system_error when it cannot be made.
    void Resume();
    bool Suspended() const { return !FStarted.load(); }

    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }
    bool Finished() const { return FFinished.load(); }

    // Waits for Execute to return (not from the thread itself, not when free-on-terminate).
    void WaitFor();

    // The object deletes itself after Execute returns; set before Resume.
    void SetFreeOnTerminate(bool Value) { FFreeOnTerminate = Value; }
    bool FreeOnTerminate() const { return FFreeOnTerminate; }

    TThreadPriority Priority() const { return FPriority.load(); }
    // Stored; applied at once when the thread runs.
    void SetPriority(TThreadPriority Value);

    bool IsCurrentThread() const { return std::this_thread::get_id() == FThreadId.load(); }

  protected:
    // The thread's work (worker thread).
    virtual void Execute() = 0;
    // The name the thread runs under (at most 15 characters).
    virtual const char *ThreadName() const { return "mm-thread"; }

  private:
    void Run();

    std::thread FThread;
    std::atomic<std::thread::id> FThreadId{};
    std::atomic<int> FNativeTid{0};
    std::atomic<bool> FStarted{false};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<TThreadPriority> FPriority{tpNormal};
    bool FFreeOnTerminate = false;
};
