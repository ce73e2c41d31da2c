#pragma once

// The wave input: records PCM from a capture device through a driver table and
// pushes every filled buffer down its chain. It heads the chain, owns the device,
// a ring of driver buffers and, in thread mode, the worker thread that receives
// the filled buffers.
//
// Threads: properties and Open/Start/Pause/Restart/Stop/Close on the main thread
// (Stop also from a handler of OnBufferReady: it then completes on the main
// thread). The driver's thread sends the notifications; in cmThread mode the
// worker thread runs ProcessReturnedBuffer and so every member's BufferReady and
// OnBufferReady; OnError fires on the thread where the failure happened.
//
// The rooms: MMWaveIn.cpp the component's life, open and close, start and stop;
// MMWaveInFormat.cpp its properties and format; MMWaveInDelivery.cpp the driver's
// notifications and the delivery and re-queueing of returned buffers; MMWaveInStop.h
// the stop and close state; MMWaveInThread.h the worker; MMWaveInWindow.h the hidden
// window; MMWaveInMessages.h the texts; platform/WaveInDevices.h the device choice.

#include "audio/MMAllocator.h"
#include "audio/MMSoundComponent.h"
#include "audio/MMThread.h"
#include "audio/MMWaveInMessages.h"
#include "audio/MMWaveInStop.h"
#include "audio/MMWaveInThread.h"
#include "platform/WaveInDevices.h"

#include <array>
#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <string>

using TMMDeviceId = int;

class TWaveInWindow;

class TMMCustomWaveIn : public TMMCustomSoundComponent {
  public:
    // The state set.
    enum TState : unsigned { wsClosed = 1, wsOpen = 2, wsStarted = 4, wsPaused = 8 };
    static constexpr int MaxSlots = 500;
    // Each buffer block: the header at 0, then zeros, the audio from here.
    static constexpr int DataOffset = 60;

    ~TMMCustomWaveIn() override;

    // --- Published properties (main thread).
    void SetBufferSize(int Value) override;
    void SetCallBackMode(TMMCBMode Value) override;
    void SetDeviceID(TMMDeviceId Value) override;
    void SetNumBuffers(int Value) override;
    void SetProductName(const std::string &Value) override;
    TMMMode Mode() const { return FMode; }
    void SetMode(TMMMode Value);
    TMMBits BitLength() const { return FBitLength; }
    void SetBitLength(TMMBits Value);
    int SampleRate() const { return FSampleRate; }
    void SetSampleRate(int Value);
    TMMTimeFormats TimeFormat() const { return FTimeFormat; }
    void SetTimeFormat(TMMTimeFormats Value);
    int MaxRecordTime() const { return FMaxRecordTime; }
    void SetMaxRecordTime(int Value);
    TThreadPriority Priority() const { return FPriority.load(); }
    void SetPriority(TThreadPriority Value);
    // Links: the wave input heads the chain and publishes only Output.
    bool PublishesOutput() const override { return true; }

    void SetOnError(TNotifyEvent Value) { FOnError = std::move(Value); }
    void SetOnOpen(TNotifyEvent Value) { FOnOpen = std::move(Value); }
    void SetOnStart(TNotifyEvent Value) { FOnStart = std::move(Value); }
    void SetOnPause(TNotifyEvent Value) { FOnPause = std::move(Value); }
    void SetOnRestart(TNotifyEvent Value) { FOnRestart = std::move(Value); }
    void SetOnStop(TNotifyEvent Value) { FOnStop = std::move(Value); }
    void SetOnClose(TNotifyEvent Value) { FOnClose = std::move(Value); }

    // A new format closes the device and takes Mode, BitLength and SampleRate from a valid PCM record.
    void SetPWaveFormat(const TWaveFormatEx *Value) override;
    // A link change while capturing stops the capture first.
    void Stopped() override;

    // --- Operations (main thread); failures raise EMMWaveInError after OnError. Close never raises.
    virtual void Open();
    virtual void Close();
    virtual void Start();
    virtual void Pause();
    virtual void Restart();
    virtual void Stop();
    // Fires OnError, then raises EMMWaveInError(Message).
    [[noreturn]] virtual void Error(const std::string &Message);

    // --- Read-outs (any thread).
    unsigned State() const { return FState.load(); }
    bool IsOpen() const { return (FState.load() & wsOpen) != 0; }
    int DeviceCount() const { return FNumDevs; }
    // The position in sample frames (0 when not open); a driver failure raises "WaveInGetPosition:".
    std::uint32_t Position();
    int WrapCount() const { return FWrapCount.load(); }
    std::uint64_t RecordedBytes() const { return FRecordedBytes.load(); }
    std::uint32_t MaxBytes() const { return FMaxBytes.load(); }
    int CurrentBuffer() const { return FBufferIndex.load(); }
    int QueuedBuffers() const;
    TWaveInDriver &Driver() const { return FDriver; }
    // The driver's error text for Code, or message 28086.
    std::string DriverErrorText(MMRESULT Code);
    // Can the device record the format it holds?
    bool CanRecordFormat();

    // How long Stop and Close wait for a delivery on another thread before they leave the
    // stop to that delivery's end.
    static constexpr int kDeliveryWaitMs = 2000;

    // --- Receivers of the driver's notifications.
    // The thread that receives MM_WIM_DATA (worker, or the main thread in window mode).
    void ProcessReturnedBuffer(PWaveHdr Hdr);
    // The hidden window's message handler (main thread).
    void WindowMessage(unsigned Message, HWAVEIN Handle, PWaveHdr Hdr);

  protected:
    // Main thread: the table every device call of this component goes through.
    explicit TMMCustomWaveIn(TWaveInDriver &Driver);

    // Main thread, first in the most-derived destructor (and again, doing nothing, in this
    // class's): closes the device and ends the worker while the object is still whole, since
    // a delivery may be running in it.
    void ShutDown();

    int GetNumBuffers() const override { return FNumBuffers; }
    int GetDeviceID() const override { return FDeviceID; }
    std::string GetProductName() const override { return FProductName; }
    TMMCBMode GetCallBackMode() const override { return FCallBackMode; }

  private:
    friend class TMMWaveInThread;

    static void DriverCallback(HWAVEIN Handle, unsigned Message, void *Instance, PWaveHdr Hdr);
    void Guard();
    void RebuildFormat();
    void RecomputeMaxBytes();
    // Raises Prefix LF CR and the driver's text when Result is not 0, without firing
    // OnError: the caller fires it once for the whole step.
    void Throw(MMRESULT Result, const char *Prefix);
    void ApplyDeviceID(TMMDeviceId Value);
    PWaveHdr Header(int Index) const { return reinterpret_cast<PWaveHdr>(FSlots[Index]); }
    // Hands Hdr to the driver (the stop state counts it in).
    void Queue(PWaveHdr Hdr);
    // Delivering thread: queues Hdr again, with the position read first, unless a stop has begun.
    void Requeue(PWaveHdr Hdr);
    // The driver's position in frames, without the open/closing check of Position.
    std::uint32_t ReadPosition(HWAVEIN Handle);
    void UnprepareAll();
    void ReleaseAll();
    // Runs Step; on failure fires OnError, closes and raises again (Open/Start/...).
    template <typename F> void Guarded(F &&Step, unsigned FailState);
    void DoStarted();
    void DoPaused();
    void DoRestarted();
    void DoStopped();
    void DoClosed();
    // Delivering thread: the delivery of one returned buffer ends.
    void EndDelivery();
    // Main thread (or the deliverer): true when the caller should complete the stop now.
    bool ReadyToCompleteStop();
    // Main thread: the posted completion of a deferred stop.
    void CompleteDeferredStop();
    // Main thread, in the destructor: turns the loop until a requested close has run.
    void FinishRequestedClose();
    void StartThread();
    void StopThread();
    // Worker thread: its loop failed with E and it is leaving.
    void WorkerFailed(std::exception_ptr E);
    // Main thread: the worker serving Handle failed; closes that device and reports E.
    void ThreadFailed(HWAVEIN Handle, std::exception_ptr E);
    void Fire(const TNotifyEvent &Event);

    TWaveInDriver &FDriver;
    std::atomic<unsigned> FState{wsClosed}; // written on the main thread
    std::atomic<HWAVEIN> FHandle{nullptr};
    int FNumDevs = 0;
    TMMDeviceId FDeviceID = 0;
    std::string FProductName;
    int FNumBuffers = 10;
    TMMMode FMode = mMono;
    TMMBits FBitLength = b8Bit;
    int FSampleRate = 11025;
    TMMTimeFormats FTimeFormat = tfByte;
    TMMCBMode FCallBackMode = cmWindow;
    std::atomic<int> FMaxRecordTime{-1}; // read by the worker
    std::atomic<TThreadPriority> FPriority{tpHigher};
    TWaveFormatEx FOwnFormat{};

    std::array<char *, MaxSlots> FSlots{};
    TMMAllocator FAllocator;
    std::atomic<int> FBufferIndex{0};

    TMMWaveInStop FStop{std::chrono::milliseconds(kDeliveryWaitMs)};

    std::atomic<std::uint64_t> FRecordedBytes{0};
    std::atomic<std::uint32_t> FMaxBytes{0xFFFFFFFFu};
    std::atomic<std::uint32_t> FLastPosition{0};
    std::atomic<int> FWrapCount{0};

    std::unique_ptr<TWaveInWindow> FWindow;
    TMMWaveInThread *FThread = nullptr; // main thread; frees itself
    TMMEvent FReadyEvent;
    TWaveInMailbox FMailbox;

    TNotifyEvent FOnError, FOnOpen, FOnStart, FOnPause, FOnRestart, FOnStop, FOnClose;
};

class TMMWaveIn : public TMMCustomWaveIn {
  public:
    // The system driver, or the given one (which must outlive the component).
    explicit TMMWaveIn(TWaveInDriver *Driver = nullptr);
    ~TMMWaveIn() override;
};
