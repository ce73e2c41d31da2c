#pragma once

// The peak tick service: one process-wide 25 ms tick shared by many small clients
// (peak-hold aging of meters and spectra, the connector's paused refresh). Each
// client has an interval of at least 25 ms and is called back when that much
// ticking time has passed while it was not suspended.
//
// Callbacks run on the service's timer thread (the process-wide service's on the
// main thread while the screen's frames or the trigger loop's passes drive it, see
// MMFrameTimer.h), in registration order, with the service's lock held: they must
// be short. A callback may suspend or resume
// entries; registering or unregistering from inside one is taken care of (the
// list is changed after the pass), but is best avoided.

#include "platform/MMTimer.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct TMMPeakTickEntry;
using TMMPeakTickProc = std::function<void(TMMPeakTickEntry *Entry, void *Data)>;

struct TMMPeakTickEntry {
    int Interval = 0; // ms, at least TickMs
    TMMPeakTickProc Callback;
    void *Data = nullptr; // handed to the callback
    int SuspendCount = 0; // the entry counts time only at 0
    int Elapsed = 0;      // ms counted since the last call
};

class TMMPeakTickService {
  public:
    static constexpr int TickMs = 25;

    // Ticks come from Source (the system's timer when none is given).
    explicit TMMPeakTickService(TMMTimerSource *Source = nullptr);
    // Stops a running timer; entries still registered are freed.
    ~TMMPeakTickService();
    TMMPeakTickService(const TMMPeakTickService &) = delete;
    TMMPeakTickService &operator=(const TMMPeakTickService &) = delete;

    // Main thread. The first client starts the timer; null when no timer can be had.
    TMMPeakTickEntry *Register(int IntervalMs, int SuspendCount, TMMPeakTickProc Callback, void *Data);
    // The entry stops counting and starts again from 0 when resumed. Both do nothing
    // while the service does not run.
    void Suspend(TMMPeakTickEntry *Entry);
    void Resume(TMMPeakTickEntry *Entry);
    // Frees the entry; the last one stops the timer. No callback of the entry runs
    // once this has returned (except the one calling it).
    void Unregister(TMMPeakTickEntry *Entry);

    int ClientCount() const { return FClientCount.load(); }
    bool Running() const { return FTimerID.load() != 0; }

    // One 25 ms step (the timer's thread; a test may call it in the timer's place).
    void Tick();

    // The process-wide service.
    static TMMPeakTickService &Instance();

  private:
    static void TimeCallback(unsigned uTimerID, unsigned uMsg, std::uintptr_t dwUser, std::uintptr_t dw1,
                             std::uintptr_t dw2);
    void StopTimer();

    TMMTimerSource *FSource;
    std::mutex FStartLock;              // serialises starting and stopping the timer
    mutable std::recursive_mutex FLock; // the list; held while callbacks run
    std::vector<std::unique_ptr<TMMPeakTickEntry>> FEntries;
    std::vector<TMMPeakTickEntry *> FRemovedInTick;
    std::atomic<std::thread::id> FTickThread{};
    std::atomic<unsigned> FTimerID{0};
    std::atomic<int> FClientCount{0};
    std::atomic<int> FBusy{0};
};

// The process-wide service's operations.
TMMPeakTickEntry *PeakTickRegister(int IntervalMs, int SuspendCount, TMMPeakTickProc Callback, void *Data);
void PeakTickSuspend(TMMPeakTickEntry *Entry);
void PeakTickResume(TMMPeakTickEntry *Entry);
void PeakTickUnregister(TMMPeakTickEntry *Entry);
