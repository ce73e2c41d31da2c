#pragma once

// TMMConnector: a chain member that copies every arriving buffer and, on the
// main thread, hands the attached displays one block after another from that
// copy, each block when its time within the buffer has come. A block that runs
// past the end of its buffer is completed with the start of the next, so every
// frame reaches every display once, in order.
//
// Threads: properties, slots and chain notifications on the main thread.
// BufferReady/BufferLoad on the delivering thread (the wave input's worker).
// Refresh on the main thread (trigger loop, internal timer, timer-refresh
// event), or on the delivering thread with RealTime off. The paused refresh
// ticks on the peak tick service's thread and only touches atomics.
//
// Intake never waits for a display: it fills the back one of three buffers and
// hands it over under FLock, which nobody holds for longer than a buffer copy
// or a block's bookkeeping. Refresh takes each block's position under FLock and
// calls the displays under FDrawLock only, reading a buffer intake no longer
// writes.

#include "audio/MMConnectorDisplay.h"
#include "audio/MMDSPComponent.h"
#include "audio/MMPCMConverter.h"
#include "audio/MMTripleBuffer.h"
#include "platform/MMError.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class TMMHiTimer;
class TMMConnectorPort;
class TMMPeakTickService;
struct TMMPeakTickEntry;

class EMMConnectorError : public EMMError {
  public:
    using EMMError::EMMError;
};

enum TMMTriggerMethod { tmMessage = 0, tmTimer = 1 };
enum TMMTriggerMode { tmNone = 0, tmUpFlank = 1, tmDownFlank = 2 };

// Event types of the connectors' posted events (the message numbers of the
// shared window they stand for).
inline constexpr int MMConnectorStartTrigger = 0xB1F5;
inline constexpr int MMConnectorTimerRefresh = 0xB1F6;
inline constexpr int MMConnectorTriggerLoop = 0xB1F7;

class TMMConnector : public TMMDSPComponent {
  public:
    // The display groups, in the order Refresh serves them.
    enum TMMDisplayGroup { dgLevels = 0, dgMeters = 1, dgSpectra = 2 };
    static constexpr int GroupCount = 3;

    using TMMClock = std::function<std::int64_t()>;

    TMMConnector();
    ~TMMConnector() override;

    bool PublishesInput() const override { return true; }
    bool PublishesOutput() const override { return true; }

    // --- Published properties (main thread).
    bool Enabled() const { return FEnabled.load(); }
    void SetEnabled(bool Value);
    bool AutoConvert() const { return FAutoConvert; }
    void SetAutoConvert(bool Value) { FAutoConvert = Value; }
    bool AutoTrigger() const { return FAutoTrigger.load(); }
    void SetAutoTrigger(bool Value);
    TMMTriggerMethod TriggerMethod() const { return FTriggerMethod.load(); }
    void SetTriggerMethod(TMMTriggerMethod Value);
    // Kept for oscilloscope displays; the connector itself does not use them.
    TMMTriggerMode TriggerMode() const { return FTriggerMode; }
    void SetTriggerMode(TMMTriggerMode Value) { FTriggerMode = Value; }
    int TriggerLevel() const { return FTriggerLevel; }
    void SetTriggerLevel(int Value) { FTriggerLevel = Value; }
    bool Synchronize() const { return FSynchronize.load(); }
    void SetSynchronize(bool Value);
    int Speed() const { return FSpeed.load(); }
    void SetSpeed(int Value);
    bool RefreshOnStop() const { return FRefreshOnStop; }
    void SetRefreshOnStop(bool Value) { FRefreshOnStop = Value; }
    bool RealTime() const { return FRealTime.load(); }
    void SetRealTime(bool Value);
    // One value shared by every connector of the process.
    static bool EnterIdle();
    static void SetEnterIdle(bool Value);

    TMMBlockDisplay *Level1() const { return Block(dgLevels, 0); }
    void SetLevel1(TMMBlockDisplay *Value) { SetSlot(dgLevels, 0, Value); }
    TMMBlockDisplay *Level2() const { return Block(dgLevels, 1); }
    void SetLevel2(TMMBlockDisplay *Value) { SetSlot(dgLevels, 1, Value); }
    TMMBlockDisplay *Meter1() const { return Block(dgMeters, 0); }
    void SetMeter1(TMMBlockDisplay *Value) { SetSlot(dgMeters, 0, Value); }
    TMMBlockDisplay *Meter2() const { return Block(dgMeters, 1); }
    void SetMeter2(TMMBlockDisplay *Value) { SetSlot(dgMeters, 1, Value); }
    TMMSpectrumDisplay *Spectrum1() const { return Spectrum(0); }
    void SetSpectrum1(TMMSpectrumDisplay *Value) { SetSlot(dgSpectra, 0, Value); }
    TMMSpectrumDisplay *Spectrum2() const { return Spectrum(1); }
    void SetSpectrum2(TMMSpectrumDisplay *Value) { SetSlot(dgSpectra, 1, Value); }
    TMMSpectrumDisplay *Spectrum3() const { return Spectrum(2); }
    void SetSpectrum3(TMMSpectrumDisplay *Value) { SetSlot(dgSpectra, 2, Value); }
    TMMSpectrumDisplay *Spectrum4() const { return Spectrum(3); }
    void SetSpectrum4(TMMSpectrumDisplay *Value) { SetSlot(dgSpectra, 3, Value); }

    // Fired after every refresh that had data, outside the lock, on the refreshing thread.
    const TNotifyEvent &OnTrigger() const { return FOnTrigger; }
    void SetOnTrigger(TNotifyEvent Value) { FOnTrigger = std::move(Value); }

    // Hands every group its next due block. The trigger loop and the internal
    // timer call it; with AutoTrigger off the owner does.
    void Refresh();

    // --- Chain (main thread; data on the delivering thread).
    void SetPWaveFormat(const TWaveFormatEx *Value) override;
    void Started() override;
    void Paused() override;
    void Restarted() override;
    void Stopped() override;
    void Reseted() override;
    void BufferReady(PWaveHdr lpWaveHdr) override;
    void BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers) override;

    // --- State, for the owner and for tests.
    bool IsRunning() const { return FRunning.load(); }
    bool IsTriggering() const { return FTriggering.load(); }
    bool IsConnectorPaused() const { return FPaused.load(); }
    bool IsConverting() const { return FConverting; }
    bool NewData(TMMDisplayGroup Group) const { return FGroups[Group].NewData.load(); }
    int ReadPosition(TMMDisplayGroup Group) const { return FGroups[Group].ReadPos.load(); }
    std::int64_t BlockCount(TMMDisplayGroup Group) const { return FGroups[Group].Blocks.load(); }
    // Valid bytes of the newest buffer taken in.
    int ValidBytes() const;
    // When the newest buffer arrived (the pacing clock's microseconds).
    std::int64_t ArrivalTime() const { return FArrival.load(); }
    // The refreshing thread, inside a block entry: where in its buffer the block
    // being handed out lies, and when that buffer arrived.
    int HandedPosition() const { return FHanded.Position; }
    std::int64_t HandedArrival() const { return FHanded.Arrival; }
    // Any thread: the longest one intake has waited for FLock, in nanoseconds.
    std::int64_t LongestIntakeWaitNs() const { return FLongestIntakeWait.load(); }
    int DisplayBufferSize() const;
    const TWaveFormatEx *DisplayFormat() const { return FDisplayFormat.get(); }
    TMMHiTimer *InternalTimer() const { return FTimer.get(); }
    int PendingTimerRefreshes() const { return FPendingTimerRefresh.load(); }

    // The time source of the pacing (microseconds, monotonic). Set before starting.
    void SetClock(TMMClock Clock);
    // The tick service of the paused refresh (the process-wide one unless a test
    // gives its own). Set while not paused.
    void SetPeakTickService(TMMPeakTickService *Service);

    // Shared by all connectors: how many the message loop serves, the largest
    // Speed, whether the idle handler is installed, the live connectors.
    static int RunningCount();
    static int LargestSpeed();
    static bool IdleHandlerInstalled();
    static int ConnectorCount();

    // The internal timer's tick (main thread in its window mode).
    void TimerTick();

  private:
    friend class TMMConnectorDisplay;
    friend class TMMConnectorPort;
    friend class TMMConnectorWindow;

    struct TGroup {
        std::atomic<bool> NewData{false};
        std::atomic<int> ReadPos{0};
        std::atomic<std::int64_t> Blocks{0};
        std::atomic<bool> Attached{false}; // at least one display in the group's slots
        // Where the next block lies in the buffer being shown when a newer one came
        // before it was used up (-1: nothing left over). Changed under FLock.
        std::atomic<int> Carry{-1};
        // The start of a block that ran past the end of its buffer, completed from the next
        // one: its bytes come just before that buffer's first. Under FDrawLock.
        std::vector<char> Partial;
        int PartialBytes = 0;
    };

    static constexpr int SlotCount = 4;

    TMMBlockDisplay *Block(TMMDisplayGroup Group, int Index) const;
    TMMSpectrumDisplay *Spectrum(int Index) const;
    TMMConnectorDisplay *Display(int Group, int Index) const;
    void SetSlot(TMMDisplayGroup Group, int Index, TMMConnectorDisplay *Value);
    void DisplayGone(TMMConnectorDisplay *Display);
    void ReleaseDisplay(TMMConnectorDisplay *Display);
    int GroupBlockBytes(int Group) const;
    const char *NextBlock(int Group, int BlockBytes, std::int64_t Now, bool &More);
    const char *NextCarried(int Group, int BlockBytes);
    // Under FDrawLock and FLock: the block of BlockBytes starting with the group's partial
    // block and going on at Pos of the front buffer; Next := where the one after it starts.
    // Null when the buffer ends first: what is left joins the partial block.
    const char *CutBlock(TGroup &Group, int Pos, int BlockBytes, int &Next);
    static bool ReadyPartial(TGroup &Group, int BlockBytes);
    void ClearCarries();
    void ClearPartials();
    void HandBlock(int Group, const char *Data);
    template <typename F> void ForEachDisplay(F &&Call) {
        for (const auto &row : FSlots)
            for (TMMConnectorDisplay *d : row)
                if (d != nullptr) Call(*d);
    }
    void UpdateAttached(int Group);
    void ClearDisplays();

    void HandFormatToDisplays();
    void TakeIn(const char *Data, int Bytes);
    std::unique_lock<std::mutex> LockForIntake();
    void FillSilence();
    void ReleaseBuffers();

    // Trigger machinery (main thread).
    void PostStartTrigger();
    void StartTrigger();
    void TimerRefresh();
    void StopTriggering();
    void JoinRunningCount();
    void LeaveRunningCount();
    static void InstallIdleHandler();
    static void RemoveIdleHandlerWhenIdle();
    static void RecomputeLargestSpeed();
    static void PostTriggerLoop();
    static void TriggerLoopPass();
    bool ServedByLoop() const;
    // Main thread: whether a group holds a block not yet handed out, and in how
    // many microseconds the earliest such block falls due (0 or less: now).
    bool PendingBlock(std::int64_t &DueIn) const;
    // Main thread: the latest due time (microseconds from now, no earlier than
    // DueIn) of a block of this connector that falls due by Limit.
    std::int64_t LastDueBy(std::int64_t Limit, std::int64_t DueIn) const;
    static void ScheduleNextPass();
    // Main thread, by the screen's frame tick: the pass, while the loop rides it.
    static void FramePass();
    // Main thread: a pass for buffers taken in while the loop rode the frames, which
    // woke nobody.
    static void PassForUnseenBuffers();
    static bool EarliestDue(const std::vector<TMMConnector *> &Connectors, std::int64_t &DueIn);
    static void ArmDueTimer(std::int64_t DueIn);
    static void DueTimerFired();
    // Any thread: a buffer or the paused refresh made a block due; a sleeping loop
    // serving this connector runs a pass (one wake pending at most).
    void WakeTriggerLoop();
    static void TriggerLoopWake();

    void StartPausedRefresh();
    void StopPausedRefresh();
    static void PausedTick(TMMPeakTickEntry *Entry, void *Data);

    // Flags read across threads.
    std::atomic<bool> FEnabled{true};
    std::atomic<bool> FAutoTrigger{true};
    std::atomic<TMMTriggerMethod> FTriggerMethod{tmMessage};
    std::atomic<bool> FSynchronize{true};
    std::atomic<int> FSpeed{5000};
    std::atomic<bool> FRealTime{true};
    bool FAutoConvert = true;
    TMMTriggerMode FTriggerMode = tmNone;
    int FTriggerLevel = 0;
    bool FRefreshOnStop = true;
    TNotifyEvent FOnTrigger;

    TMMPeakTickService *FTickService;
    TMMPeakTickEntry *FPausedTick = nullptr; // main thread
    std::atomic<bool> FRunning{false};
    std::atomic<bool> FTriggering{false};
    std::atomic<bool> FPaused{false};
    bool FInRunningCount = false; // main thread: counted in the shared running count
    std::atomic<bool> FInputIsPCM{false};
    std::atomic<bool> FConverting{false};

    // Held while displays are called and while what they read changes: the slots,
    // the front buffer's memory. Never taken by intake. Recursive: a display may
    // call back into its connector. Taken before FLock.
    mutable std::recursive_mutex FDrawLock;
    std::array<std::array<TMMConnectorDisplay *, SlotCount>, GroupCount> FSlots{};
    struct THanded {
        int Position = 0;
        std::int64_t Arrival = 0;
    } FHanded;

    // Guarded by FLock: the buffers' hand-over and allocation (allocation also under
    // FDrawLock, so no display loses the memory it reads), the converter, the copy
    // buffer. The group flags and positions and the arrival time are atomics
    // that change together under FLock (the paused refresh's tick aside).
    mutable std::mutex FLock;
    std::unique_ptr<TMMPCMConverter> FConverter;
    TWaveFormatPtr FDisplayFormat; // changed on the main thread, also under FLock
    std::vector<char> FCopyBuffer; // the converter's input
    TMMTripleBuffer FBuffers;      // what the displays read
    std::atomic<std::uint32_t> FBytesPerSec{0};
    std::atomic<std::int64_t> FLongestIntakeWait{0};
    std::atomic<bool> FWakePending{false};
    // Intake replaced a buffer the reader never took: the stream broke there. Under FLock.
    bool FStreamBroken = false;

    std::atomic<std::uint8_t> FSilence{0};
    std::atomic<int> FPendingTimerRefresh{0};
    std::array<TGroup, GroupCount> FGroups;
    std::atomic<std::int64_t> FArrival{0};
    std::int64_t FCarryArrival = 0; // under FLock: the arrival of the buffer carried over
    TMMClock FClock;

    std::unique_ptr<TMMHiTimer> FTimer;
    std::unique_ptr<TMMConnectorPort> FPort;
};
