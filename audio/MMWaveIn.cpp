#include "audio/MMWaveIn.h"

#include "platform/AlsaWaveIn.h"
#include "platform/MMMessageBox.h"
#include "platform/SimWaveIn.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <chrono>

namespace {

constexpr unsigned MM_DEFERRED_STOP = 0x8002;
constexpr unsigned MM_THREAD_FAILED = 0x8003; // our own: the worker's loop failed
constexpr const char *kLfCr = "\n\r";
// How long Open and Close wait for the driver's confirmation.
constexpr std::chrono::milliseconds kConfirmWait{1000};
// How long a completing stop waits for the driver to hand back every buffer.
constexpr std::chrono::milliseconds kDrainWait{1000};
} // namespace

std::string WaveInMessage(int id) {
    switch (id) {
    case MSG_DEVICE_OPEN:
        return "Change to property while device was open";
    case MSG_INVALID_DEVICE_ID:
        return "Invalid DeviceID";
    case MSG_NO_HEADER_MEMORY:
        return "Unable to allocate memory for wave header";
    case MSG_UNKNOWN_ERROR:
        return "Specified error number is out of range (unknown error)";
    case MSG_CANT_RECORD_FORMAT:
        return "The actual device can''t record this format";
    case MSG_NO_THREAD:
        return "Could not create thread";
    case MSG_INVALID_FORMAT:
        return "Invalid wave format";
    case MSG_NO_DEVICE:
        return "No wave audio recording device found";
    case MSG_CANT_OPEN:
        return "Unable to open device";
    default:
        return std::string();
    }
}

// --- The system driver ------------------------------------------------------

namespace {

std::atomic<bool> AppendSimulated{false};

// ALSA's devices first, then the simulated ones when asked for; -1 stays ALSA's "default".
class TSystemWaveInDriver : public TStreamWaveInDriver {
  public:
    unsigned GetNumDevs() override {
        FRealCount = static_cast<int>(FAlsa.GetNumDevs());
        return static_cast<unsigned>(FRealCount) + (AppendSimulated ? FSim.GetNumDevs() : 0u);
    }
    MMRESULT GetDevCaps(int id, WAVEINCAPS *caps, unsigned size) override {
        return IsSim(id) ? FSim.GetDevCaps(id - FRealCount, caps, size) : FAlsa.GetDevCaps(id, caps, size);
    }
    MMRESULT QueryFormat(int id, const TWaveFormatEx &format) override {
        return IsSim(id) ? FSim.QueryFormat(id - FRealCount, format) : FAlsa.QueryFormat(id, format);
    }
    std::unique_ptr<TCaptureSource> MakeSource(int id, const TWaveFormatEx &format,
                                               MMRESULT *result) override {
        return IsSim(id) ? FSim.MakeSource(id - FRealCount, format, result)
                         : FAlsa.MakeSource(id, format, result);
    }
    std::string DeviceName(int id) override {
        return IsSim(id) ? FSim.DeviceName(id - FRealCount) : FAlsa.DeviceName(id);
    }

  private:
    // Ids are those of the latest enumeration, as the wave inputs' device counts are.
    bool IsSim(int id) {
        if (FRealCount < 0) GetNumDevs();
        return AppendSimulated && id >= FRealCount;
    }
    TAlsaWaveInDriver FAlsa;
    TSimWaveInDriver FSim;
    int FRealCount = -1; // main thread
};

} // namespace

void AppendSimulatedWaveInDevices(bool on) {
    AppendSimulated = on;
}

TWaveInDriver &SystemWaveInDriver() {
    // Never destroyed: a stream's thread may still be inside it while the process exits.
    static auto *driver = new TSystemWaveInDriver;
    return *driver;
}

// --- The hidden window ------------------------------------------------------

namespace {
const QEvent::Type WaveInEventType = static_cast<QEvent::Type>(QEvent::registerEventType());
} // namespace

// Lives on the main thread; driver messages in window mode, the deferred stop and the worker's
// failure arrive here. They wait in its own queue, and the posted event only wakes it: so
// RunPosted can run exactly these without the rest of the loop, and every hand-over from the
// posting thread goes through FLock.
class TWaveInWindow : public QObject {
  public:
    explicit TWaveInWindow(TMMCustomWaveIn *owner) : FOwner(owner) {}
    // Any thread.
    void Post(unsigned message, HWAVEIN handle, PWaveHdr hdr, std::exception_ptr error = nullptr) {
        std::lock_guard lock(FLock);
        FMessages.push_back({message, handle, hdr, std::move(error)});
        // Made under the lock the receiver takes before it looks at an event.
        QCoreApplication::postEvent(this, new QEvent(WaveInEventType));
    }
    // This object's thread: runs the messages posted so far; their wake-ups then find none.
    void RunPosted() {
        for (;;) {
            TMessage m;
            {
                std::lock_guard lock(FLock);
                if (FMessages.empty()) return;
                m = std::move(FMessages.front());
                FMessages.pop_front();
            }
            Run(m);
        }
    }
    bool OnCallingThread() const { return thread() == QThread::currentThread(); }
    std::function<void(HWAVEIN, std::exception_ptr)> OnThreadFailed;

  protected:
    bool event(QEvent *e) override {
        bool wake;
        {
            std::lock_guard lock(FLock);
            wake = e->type() == WaveInEventType;
        }
        if (!wake) return QObject::event(e);
        RunPosted();
        return true;
    }

  private:
    struct TMessage {
        unsigned Message = 0;
        HWAVEIN Handle = nullptr;
        PWaveHdr Hdr = nullptr;
        std::exception_ptr Error;
    };
    void Run(TMessage &m) {
        if (m.Message == MM_THREAD_FAILED) {
            if (OnThreadFailed) OnThreadFailed(m.Handle, std::move(m.Error));
            return;
        }
        try {
            FOwner->WindowMessage(m.Message, m.Handle, m.Hdr);
        } catch (...) {
            // As the driver callback does: close the device and tell the operator.
            FOwner->Close();
            HandleApplicationException(std::current_exception());
        }
    }

    TMMCustomWaveIn *FOwner;
    std::mutex FLock; // guards FMessages
    std::deque<TMessage> FMessages;
};

// --- Construction -----------------------------------------------------------

TMMCustomWaveIn::TMMCustomWaveIn(TWaveInDriver &Driver) : FDriver(Driver) {
    FNumDevs = static_cast<int>(FDriver.GetNumDevs());
    RebuildFormat();
    ApplyDeviceID(0);
    if (!IsDesigning()) {
        FWindow = std::make_unique<TWaveInWindow>(this);
        FWindow->OnThreadFailed = [this](HWAVEIN h, std::exception_ptr e) { ThreadFailed(h, std::move(e)); };
    }
}

TMMCustomWaveIn::~TMMCustomWaveIn() {
    ShutDown();
    FWindow.reset();
    ReleaseAll();
    FAllocator.FreeAll();
}

void TMMCustomWaveIn::ShutDown() {
    Destroying();
    if (FHandle.load() != nullptr) Close();
    FinishRequestedClose();
    // A close that failed once gets a second try.
    if (FHandle.load() != nullptr) Close();
    StopThread();
}

TMMWaveIn::TMMWaveIn(TWaveInDriver *Driver)
    : TMMCustomWaveIn(Driver != nullptr ? *Driver : SystemWaveInDriver()) {}

TMMWaveIn::~TMMWaveIn() {
    ShutDown();
}

// --- Helpers ----------------------------------------------------------------

void TMMCustomWaveIn::Fire(const TNotifyEvent &Event) {
    if (Event) Event(this);
}

void TMMCustomWaveIn::Error(const std::string &Message) {
    Fire(FOnError);
    throw EMMWaveInError(Message);
}

std::string TMMCustomWaveIn::DriverErrorText(MMRESULT Code) {
    char text[256] = {};
    if (FDriver.GetErrorText(Code, text, 255) != MMSYSERR_NOERROR) return WaveInMessage(MSG_UNKNOWN_ERROR);
    return text;
}

void TMMCustomWaveIn::Throw(MMRESULT Result, const char *Prefix) {
    if (Result != MMSYSERR_NOERROR)
        throw EMMWaveInError(Prefix + std::string(kLfCr) + DriverErrorText(Result));
}

void TMMCustomWaveIn::Guard() {
    if (IsOpen()) Error(WaveInMessage(MSG_DEVICE_OPEN));
}

int TMMCustomWaveIn::QueuedBuffers() const {
    std::lock_guard lock(FLock);
    return FQueued;
}

bool TMMCustomWaveIn::StopBegun() const {
    std::lock_guard lock(FLock);
    return FStage != TStopStage::Idle && FStage != TStopStage::Running;
}

bool TMMCustomWaveIn::Closing() const {
    std::lock_guard lock(FLock);
    return FClosing;
}

// --- Properties ---------------------------------------------------------------

void TMMCustomWaveIn::SetBufferSize(int Value) {
    if (Value == RequestedBufferSize()) return;
    Guard();
    FAllocator.FreeAll();
    TMMCustomSoundComponent::SetBufferSize(std::max(Value, 32));
}

void TMMCustomWaveIn::SetCallBackMode(TMMCBMode Value) {
    Guard();
    if (Value == FCallBackMode) return;
    if (Value == cmCallback) {
        // Driver callbacks run on the driver's own thread here, where the chain must not run.
        MMMessageBox("\"CallBacks\" are called at interrupt time !\n\rThis is currently only "
                     "supported under Windows 95",
                     "TMMWaveIn");
        return;
    }
    FCallBackMode = Value;
}

void TMMCustomWaveIn::SetDeviceID(TMMDeviceId Value) {
    Guard();
    ApplyDeviceID(Value);
}

void TMMCustomWaveIn::ApplyDeviceID(TMMDeviceId Value) {
    FProductName = WaveInMessage(MSG_NO_DEVICE);
    const bool valid = Value >= WAVE_MAPPER && Value < FNumDevs;
    if (FNumDevs > 0 && valid) {
        WAVEINCAPS caps;
        if (FDriver.GetDevCaps(Value, &caps, sizeof caps) == MMSYSERR_NOERROR)
            FProductName = std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    }
    FDeviceID = valid ? Value : -2;
}

void TMMCustomWaveIn::SetNumBuffers(int Value) {
    if (Value == FNumBuffers || Value <= 1) return;
    Guard();
    FNumBuffers = std::min(Value, MaxSlots);
}

void TMMCustomWaveIn::SetProductName(const std::string &Value) {
    (void)Value;
}

void TMMCustomWaveIn::SetMode(TMMMode Value) {
    if (Value == FMode || Value >= mMultiChannel) return;
    Guard();
    FMode = Value;
    RebuildFormat();
}

void TMMCustomWaveIn::SetBitLength(TMMBits Value) {
    if (Value == FBitLength) return;
    Guard();
    FBitLength = Value;
    RebuildFormat();
}

void TMMCustomWaveIn::SetSampleRate(int Value) {
    if (Value == FSampleRate) return;
    Guard();
    FSampleRate = MinMax(Value, 8000, 100000);
    RebuildFormat();
}

void TMMCustomWaveIn::RebuildFormat() {
    BuildPCMFormat(FOwnFormat, static_cast<std::uint16_t>((FBitLength + 1) * 8),
                   static_cast<std::uint16_t>(FMode + 1), static_cast<std::uint32_t>(FSampleRate));
    SetPWaveFormat(&FOwnFormat);
}

void TMMCustomWaveIn::SetPWaveFormat(const TWaveFormatEx *Value) {
    Close();
    if (IsValidPCMFormat(Value)) {
        SetSampleRate(static_cast<int>(Value->nSamplesPerSec));
        SetBitLength(static_cast<TMMBits>(Value->wBitsPerSample / 8 - 1));
        SetMode(static_cast<TMMMode>(Value->nChannels - 1));
    }
    TMMCustomSoundComponent::SetPWaveFormat(Value);
}

void TMMCustomWaveIn::SetTimeFormat(TMMTimeFormats Value) {
    if (Value == FTimeFormat) return;
    FTimeFormat = Value;
    const TWaveFormatEx *format = PWaveFormat();
    if (FMaxRecordTime < 0 || format == nullptr) return;
    const auto bytes = static_cast<std::int32_t>(std::min<std::uint32_t>(FMaxBytes.load(), INT32_MAX));
    switch (FTimeFormat) {
    case tfMillisecond:
        FMaxRecordTime = BytesToMs(*format, bytes);
        break;
    case tfSample:
        FMaxRecordTime = BytesToSamples(*format, bytes);
        break;
    case tfByte:
        FMaxRecordTime = bytes;
        break;
    }
}

void TMMCustomWaveIn::SetMaxRecordTime(int Value) {
    FMaxRecordTime = Value;
    RecomputeMaxBytes();
}

void TMMCustomWaveIn::RecomputeMaxBytes() {
    const TWaveFormatEx *format = PWaveFormat();
    if (FMaxRecordTime < 0 || format == nullptr) {
        FMaxBytes = 0xFFFFFFFFu;
        return;
    }
    std::int64_t bytes;
    switch (FTimeFormat) {
    case tfMillisecond:
        bytes = format->nAvgBytesPerSec != 0 ? MsToBytes(*format, FMaxRecordTime.load()) : -1;
        break;
    case tfSample:
        bytes = format->nSamplesPerSec != 0 ? SamplesToBytes(*format, FMaxRecordTime.load()) : -1;
        break;
    default:
        bytes = FMaxRecordTime;
        break;
    }
    if (bytes < 0) {
        FMaxBytes = 0xFFFFFFFFu;
        return;
    }
    if (format->nBlockAlign > 0) bytes -= bytes % format->nBlockAlign;
    FMaxBytes = static_cast<std::uint32_t>(bytes);
}

void TMMCustomWaveIn::SetPriority(TThreadPriority Value) {
    FPriority = Value;
    if (FThread == nullptr) return;
    // A failed worker frees itself as it leaves, which it cannot do while this lock is held.
    std::lock_guard lock(FLock);
    if (!FWorkerFailed) FThread->SetPriority(Value);
}

// --- Format check and position ------------------------------------------------

bool TMMCustomWaveIn::CanRecordFormat() {
    const TWaveFormatEx *format = PWaveFormat();
    if (FDeviceID < WAVE_MAPPER || FDeviceID >= FNumDevs || format == nullptr) return false;
    if (FDriver.Open(nullptr, FDeviceID, format, nullptr, nullptr, WAVE_FORMAT_QUERY) != MMSYSERR_NOERROR)
        return false;
    if (format->wFormatTag != WAVE_FORMAT_PCM) return true;
    WAVEINCAPS caps;
    if (FDriver.GetDevCaps(FDeviceID, &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
    const std::uint32_t bit =
        StandardFormatBit(format->nSamplesPerSec, format->nChannels, format->wBitsPerSample);
    return bit == 0 || (caps.dwFormats & bit) != 0;
}

std::uint32_t TMMCustomWaveIn::Position() {
    const HWAVEIN handle = FHandle.load();
    if (!IsOpen() || Closing() || handle == nullptr) return 0;
    return ReadPosition(handle);
}

std::uint32_t TMMCustomWaveIn::ReadPosition(HWAVEIN Handle) {
    MMTIME time;
    time.wType = TIME_SAMPLES;
    if (FDriver.GetPosition(Handle, &time, sizeof time) == MMSYSERR_NOERROR && time.wType == TIME_SAMPLES)
        return time.value;
    time.wType = TIME_BYTES;
    Throw(FDriver.GetPosition(Handle, &time, sizeof time), "WaveInGetPosition:");
    const TWaveFormatEx *format = PWaveFormat();
    return format != nullptr
               ? static_cast<std::uint32_t>(BytesToSamples(*format, static_cast<std::int32_t>(time.value)))
               : time.value;
}

// --- Driver notifications -------------------------------------------------------

void TMMCustomWaveIn::DriverCallback(HWAVEIN Handle, unsigned Message, void *Instance, PWaveHdr Hdr) {
    auto *self = static_cast<TMMCustomWaveIn *>(Instance);
    switch (Message) {
    case MM_WIM_OPEN:
        self->Confirm(true);
        break;
    case MM_WIM_CLOSE:
        self->Confirm(false);
        break;
    case MM_WIM_DATA:
        // What lands in a failed worker's queue is never read; nothing waits for it.
        if (self->FCallBackMode == cmThread)
            self->PostToThread({Message, Handle, Hdr});
        else if (self->FWindow)
            self->FWindow->Post(Message, Handle, Hdr);
        break;
    default:
        break;
    }
}

void TMMCustomWaveIn::WindowMessage(unsigned Message, HWAVEIN Handle, PWaveHdr Hdr) {
    if (Handle != FHandle.load()) return;
    switch (Message) {
    case MM_WIM_OPEN:
        Confirm(true);
        break;
    case MM_WIM_CLOSE:
        Confirm(false);
        break;
    case MM_WIM_DATA:
        // Buffers that come back after the worker failed have no receiver left.
        if (FCallBackMode != cmThread) ProcessReturnedBuffer(Hdr);
        break;
    case MM_DEFERRED_STOP:
        CompleteDeferredStop();
        break;
    default:
        break;
    }
}

// --- Open and close -------------------------------------------------------------

template <typename F> void TMMCustomWaveIn::Guarded(F &&Step, unsigned FailState) {
    try {
        Step();
    } catch (...) {
        Fire(FOnError);
        FState = FailState;
        Close();
        FState = wsClosed;
        throw;
    }
}

void TMMCustomWaveIn::Confirm(bool Open) {
    std::lock_guard lock(FLock);
    FDriverOpen = Open;
    FIdle.notify_all();
}

void TMMCustomWaveIn::Open() {
    if (FNumDevs == 0) Error(WaveInMessage(MSG_NO_DEVICE));
    if (FDeviceID == -2) Error(WaveInMessage(MSG_INVALID_DEVICE_ID));
    if (PWaveFormat() == nullptr) Error(WaveInMessage(MSG_INVALID_FORMAT));
    if (IsOpen()) Close();
    if (IsOpen() || Closing()) return;

    // Errors below fire OnError once, here, so they are raised without it.
    Guarded(
        [this] {
            if (!CanRecordFormat())
                throw EMMWaveInError("WaveInOpen:" + std::string(kLfCr) +
                                     WaveInMessage(MSG_CANT_RECORD_FORMAT));
            if (!FWindow) {
                FWindow = std::make_unique<TWaveInWindow>(this);
                FWindow->OnThreadFailed = [this](HWAVEIN h, std::exception_ptr e) {
                    ThreadFailed(h, std::move(e));
                };
            }
            FHandle = nullptr;
            {
                std::lock_guard lock(FLock);
                FDriverOpen = false;
            }
            if (FCallBackMode == cmThread) StartThread();
            HWAVEIN handle = nullptr;
            Throw(FDriver.Open(&handle, FDeviceID, PWaveFormat(), DriverCallback, this, CALLBACK_FUNCTION),
                  "WaveInOpen:");
            FHandle = handle;

            // The chain learns of the open with this component still closed: it turns open
            // only with the driver's confirmation.
            TMMCustomSoundComponent::Opened();
            {
                std::unique_lock lock(FLock);
                if (!FIdle.wait_for(lock, kConfirmWait, [this] { return FDriverOpen; }))
                    throw EMMWaveInError("WaveInOpen:" + std::string(kLfCr) + WaveInMessage(MSG_CANT_OPEN));
            }
            FState = wsOpen;

            const int size = BufferSize();
            for (int i = 0; i < FNumBuffers; ++i) {
                if (FSlots[i] == nullptr) {
                    FSlots[i] =
                        FAllocator.Allocate(GMEM_ZEROINIT, static_cast<std::size_t>(size) + DataOffset);
                    if (FSlots[i] == nullptr) throw EMMWaveInError(WaveInMessage(MSG_NO_HEADER_MEMORY));
                }
                // A block from the pool may be a reused one: the header is always made afresh.
                PWaveHdr hdr = new (FSlots[i]) WAVEHDR();
                hdr->lpData = FSlots[i] + DataOffset;
                hdr->dwBufferLength = static_cast<std::uint32_t>(size);
                Throw(FDriver.PrepareHeader(FHandle, hdr, sizeof(WAVEHDR)), "WaveInPrepareHeader:");
            }
            Fire(FOnOpen);
        },
        wsOpen);
}

void TMMCustomWaveIn::UnprepareAll() {
    for (int i = 0; i < FNumBuffers; ++i) {
        PWaveHdr hdr = Header(i);
        if (hdr == nullptr || (hdr->dwFlags & WHDR_PREPARED) == 0) continue;
        // The reset before has handed every header back; one the driver still holds (it has
        // given up its stream) is taken back all the same.
        if ((hdr->dwFlags & WHDR_DONE) == 0) hdr->dwFlags = WHDR_DONE;
        Throw(FDriver.UnprepareHeader(FHandle, hdr, sizeof(WAVEHDR)), "WaveInUnprepareHeader:");
    }
}

void TMMCustomWaveIn::ReleaseAll() {
    for (char *&slot : FSlots)
        FAllocator.Release(slot);
}

void TMMCustomWaveIn::Close() {
    if (!IsOpen() && FHandle.load() == nullptr) return;
    {
        std::lock_guard lock(FLock);
        // A close already under way is left to itself; one waiting for a deferred stop runs now.
        if (FClosing && !FCloseRequested) return;
        FClosing = true;
        FCloseRequested = false;
    }
    bool confirmed = true;
    try {
        if ((FState & (wsStarted | wsPaused)) != 0) {
            // A device that cannot even stop (it has gone) must still be let go of: the
            // failure has been reported, the close goes on.
            try {
                Stop();
            } catch (...) {
            }
        }
        {
            std::unique_lock lock(FLock);
            // A stop deferred, or failed midway, may still have a delivery to wait for; the
            // close then runs when that stop completes.
            if (FStage != TStopStage::Idle && FStage != TStopStage::Running && !SettleDeliveries(lock)) {
                FCloseRequested = true;
                return;
            }
        }
        const HWAVEIN handle = FHandle.load();
        if (handle != nullptr) {
            FDriver.Stop(handle);
            FDriver.Reset(handle);
            UnprepareAll();
            Throw(FDriver.Close(handle), "WaveInClose:");
            {
                std::unique_lock lock(FLock);
                confirmed = FIdle.wait_for(lock, kConfirmWait, [this] { return !FDriverOpen; });
            }
            if (confirmed) FState = wsClosed;
            FWrapCount = 0;
        } else {
            FState = wsClosed;
        }
        TMMCustomSoundComponent::Closed();
        if (FCallBackMode == cmThread) StopThread();
        DoClosed();
    } catch (...) {
        {
            std::lock_guard lock(FLock);
            FClosing = false;
        }
        // Close reports through OnError only; nothing leaves it.
        try {
            Fire(FOnError);
        } catch (...) {
        }
        return;
    }
    if (!confirmed) Fire(FOnError);
}

void TMMCustomWaveIn::DoClosed() {
    FHandle = nullptr;
    ReleaseAll();
    {
        std::lock_guard lock(FLock);
        FClosing = false;
        FStage = TStopStage::Idle;
        FQueued = 0;
    }
    if (!IsDestroying()) Fire(FOnClose);
}

void TMMCustomWaveIn::FinishRequestedClose() {
    // The delivery the close waits for may itself wait for this thread's loop: turn it
    // until the deferred stop's completion has come through and run the close.
    const bool loop = FWindow && FWindow->OnCallingThread() && QCoreApplication::instance() != nullptr;
    for (;;) {
        {
            std::unique_lock lock(FLock);
            if (!FCloseRequested) return;
            if (!loop) {
                // No loop anything could wait for: wait the delivery out, then complete here.
                FIdle.wait(lock, [this] { return FDelivering == 0; });
                FStage = TStopStage::Posted;
            }
        }
        if (loop) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            continue;
        }
        try {
            CompleteDeferredStop();
        } catch (...) {
        }
    }
}

// --- Start, pause, restart, stop ------------------------------------------------

void TMMCustomWaveIn::QueueLocked(PWaveHdr Hdr) {
    Hdr->dwFlags = (Hdr->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    Throw(FDriver.AddBuffer(FHandle, Hdr, sizeof(WAVEHDR)), "WaveInAddBuffer:");
    ++FQueued;
}

void TMMCustomWaveIn::Start() {
    if (!IsOpen()) Open();
    if (!IsOpen() || (FState & wsStarted) != 0) return;
    FRecordedBytes = 0;
    FBufferIndex = 0;
    FLastPosition = 0;
    FWrapCount = 0;
    RecomputeMaxBytes();
    Guarded(
        [this] {
            {
                std::lock_guard lock(FLock);
                FQueued = 0;
                FStage = TStopStage::Running;
                for (int i = 0; i < FNumBuffers; ++i)
                    QueueLocked(Header(i));
            }
            DoStarted();
        },
        wsOpen | wsStarted);
}

void TMMCustomWaveIn::DoStarted() {
    FState |= wsStarted;
    if ((FState & wsPaused) == 0) Throw(FDriver.Start(FHandle), "WaveInStart:");
    TMMCustomSoundComponent::Started();
    Fire(FOnStart);
}

void TMMCustomWaveIn::Pause() {
    if (!IsOpen()) Open();
    if (!IsOpen() || (FState & wsPaused) != 0) return;
    Guarded(
        [this] {
            if ((FState & wsStarted) != 0) Throw(FDriver.Stop(FHandle), "WaveInPause:");
            DoPaused();
        },
        FState.load());
}

void TMMCustomWaveIn::DoPaused() {
    FState |= wsPaused;
    TMMCustomSoundComponent::Paused();
    Fire(FOnPause);
}

void TMMCustomWaveIn::Restart() {
    if ((FState & wsStarted) == 0 || (FState & wsPaused) == 0) return;
    Guarded(
        [this] {
            Throw(FDriver.Start(FHandle), "WaveInRestart:");
            DoRestarted();
        },
        FState.load());
}

void TMMCustomWaveIn::DoRestarted() {
    FState &= ~wsPaused;
    TMMCustomSoundComponent::Restarted();
    Fire(FOnRestart);
}

void TMMCustomWaveIn::Stop() {
    if ((FState & (wsStarted | wsPaused)) == 0) return;
    Guarded(
        [this] {
            {
                std::lock_guard lock(FLock);
                // From here on no delivery begins and no buffer goes back to the driver.
                if (FStage == TStopStage::Idle || FStage == TStopStage::Running)
                    FStage = TStopStage::Stopping;
            }
            Throw(FDriver.Stop(FHandle), "WaveInStop:");
            FWrapCount = 0;
            Throw(FDriver.Reset(FHandle), "WaveInReset:");
            if (ReadyToCompleteStop()) DoStopped();
        },
        FState.load());
}

bool TMMCustomWaveIn::SettleDeliveries(std::unique_lock<std::mutex> &Lock) {
    if (FDelivering == 0) return true;
    // The thread inside a delivery cannot wait for its own end; nor is a delivery that has
    // outlasted one wait (it may be waiting for this thread) waited for twice.
    if (FDeliverer != std::this_thread::get_id() && FStage != TStopStage::Overdue) {
        if (FIdle.wait_for(Lock, std::chrono::milliseconds(kDeliveryWaitMs),
                           [this] { return FDelivering == 0; }))
            return true;
        FStage = TStopStage::Overdue;
        return false;
    }
    // Whoever ends the last delivery posts the completion (again, if a posted one was
    // taken up inside a delivery, where it could not complete).
    if (FStage != TStopStage::Overdue) FStage = TStopStage::Deferred;
    return false;
}

bool TMMCustomWaveIn::ReadyToCompleteStop() {
    {
        std::unique_lock lock(FLock);
        if (!SettleDeliveries(lock)) return false;
    }
    // The reset has handed every buffer back; in window mode they wait as posted messages.
    if (FCallBackMode == cmWindow && FWindow && FWindow->OnCallingThread()) FWindow->RunPosted();
    // Those may have held a deferred stop's completion, which has finished this stop.
    if ((FState & (wsStarted | wsPaused)) == 0) return false;
    std::unique_lock lock(FLock);
    // A failed worker reads its queue no more; a driver that keeps buffers back is not waited for long.
    FIdle.wait_for(lock, kDrainWait, [this] { return FQueued == 0 || FWorkerFailed; });
    return true;
}

void TMMCustomWaveIn::CompleteDeferredStop() {
    bool closeRequested;
    {
        std::lock_guard lock(FLock);
        // Overtaken: the stop completed (and maybe a new run began) before this arrived.
        if (FStage != TStopStage::Posted) return;
        closeRequested = FCloseRequested;
    }
    if ((FState & (wsStarted | wsPaused)) != 0)
        Stop();
    else if (closeRequested)
        Close();
}

void TMMCustomWaveIn::DoStopped() {
    FState &= ~(wsStarted | wsPaused);
    FBufferIndex = 0;
    bool closeRequested;
    {
        std::lock_guard lock(FLock);
        FQueued = 0;
        FStage = TStopStage::Idle;
        closeRequested = FCloseRequested;
    }
    TMMCustomSoundComponent::Stopped();
    if (!IsDestroying()) Fire(FOnStop);
    if (closeRequested) Close();
}

void TMMCustomWaveIn::Stopped() {
    if ((FState & (wsStarted | wsPaused)) != 0 && !StopBegun()) {
        Stop();
        return;
    }
    TMMCustomSoundComponent::Stopped();
}

// --- Returned buffers -------------------------------------------------------------

void TMMCustomWaveIn::ProcessReturnedBuffer(PWaveHdr Hdr) {
    {
        std::lock_guard lock(FLock);
        if (FStage == TStopStage::Idle) return;
        if (FQueued > 0) --FQueued;
        if (FStage != TStopStage::Running) {
            // Handed back by a stop: neither delivered nor queued again.
            if (FQueued == 0) FIdle.notify_all();
            return;
        }
        if (FDelivering++ == 0) FDeliverer = std::this_thread::get_id();
    }
    try {
        std::uint64_t recorded = FRecordedBytes + Hdr->dwBytesRecorded;
        bool limit = false;
        if (FMaxRecordTime > 0 && recorded >= FMaxBytes) {
            Hdr->dwBytesRecorded -= static_cast<std::uint32_t>(recorded - FMaxBytes);
            recorded = FMaxBytes;
            limit = true;
        }
        FRecordedBytes = recorded;
        FBufferIndex = (FBufferIndex + 1) % FNumBuffers;
        BufferReady(Hdr);
        // The limit stops the recording once this delivery is over (the stop is deferred to it).
        if (limit && !StopBegun()) Stop();
        Requeue(Hdr);
    } catch (...) {
        try {
            Fire(FOnError);
        } catch (...) {
        }
        EndDelivery();
        throw;
    }
    EndDelivery();
}

void TMMCustomWaveIn::Requeue(PWaveHdr Hdr) {
    std::lock_guard lock(FLock);
    // A stop that began during the delivery keeps the buffer here.
    if (FStage != TStopStage::Running) return;
    const std::uint32_t position = ReadPosition(FHandle.load());
    if (position != 0) {
        const std::uint32_t last = FLastPosition.exchange(position);
        if (position < last && last - position > 65534) ++FWrapCount;
    }
    QueueLocked(Hdr);
}

void TMMCustomWaveIn::EndDelivery() {
    std::lock_guard lock(FLock);
    if (--FDelivering > 0) return;
    FDeliverer = {};
    FIdle.notify_all();
    if (FStage != TStopStage::Deferred && FStage != TStopStage::Overdue) return;
    FStage = TStopStage::Posted;
    if (FWindow) FWindow->Post(MM_DEFERRED_STOP, FHandle.load(), nullptr);
}

// --- Worker thread ------------------------------------------------------------------

TMMWaveInThread::TMMWaveInThread(TMMCustomWaveIn *WaveIn) : TMMDSPThread(WaveIn), FWaveIn(WaveIn) {}

void TMMWaveInThread::Execute() {
    TMMCustomWaveIn *w = FWaveIn;
    w->FReadyEvent.Set();
    try {
        TMMCustomWaveIn::TThreadMessage m{};
        while (!Terminated() && w->NextThreadMessage(m))
            if (m.Message == MM_WIM_DATA && m.Handle == w->FHandle.load()) w->ProcessReturnedBuffer(m.Hdr);
    } catch (...) {
        w->WorkerFailed(std::current_exception());
    }
    w->FReadyEvent.Set();
}

void TMMCustomWaveIn::WorkerFailed(std::exception_ptr E) {
    {
        std::lock_guard lock(FLock);
        FWorkerFailed = true;
        FIdle.notify_all();
    }
    if (FWindow) FWindow->Post(MM_THREAD_FAILED, FHandle.load(), nullptr, std::move(E));
}

bool TMMCustomWaveIn::NextThreadMessage(TThreadMessage &Message) {
    std::unique_lock lock(FQueueLock);
    FQueueCond.wait(lock, [this] { return FQuit || !FThreadQueue.empty(); });
    if (FQuit) return false;
    Message = FThreadQueue.front();
    FThreadQueue.pop_front();
    return true;
}

void TMMCustomWaveIn::PostToThread(const TThreadMessage &Message) {
    std::lock_guard lock(FQueueLock);
    FThreadQueue.push_back(Message);
    FQueueCond.notify_one();
}

void TMMCustomWaveIn::StartThread() {
    // A worker left over from a close that failed midway must not read the new queue.
    StopThread();
    {
        std::lock_guard lock(FLock);
        FWorkerFailed = false;
    }
    FReadyEvent.Reset();
    {
        std::lock_guard lock(FQueueLock);
        FQuit = false;
        FThreadQueue.clear();
    }
    TMMWaveInThread *thread = nullptr;
    try {
        thread = new TMMWaveInThread(this);
        thread->SetFreeOnTerminate(true);
        thread->SetPriority(FPriority);
        thread->Resume();
    } catch (...) {
        delete thread;
        throw EMMWaveInError("WaveIn:" + std::string(kLfCr) + WaveInMessage(MSG_NO_THREAD));
    }
    FThread = thread;
    if (!FReadyEvent.Wait(5000))
        throw EMMWaveInError("WaveIn:" + std::string(kLfCr) + WaveInMessage(MSG_NO_THREAD));
}

void TMMCustomWaveIn::StopThread() {
    if (FThread == nullptr) return;
    bool failed;
    {
        std::lock_guard lock(FLock);
        failed = FWorkerFailed;
    }
    if (!failed) {
        std::lock_guard lock(FQueueLock);
        FQuit = true;
        FQueueCond.notify_all();
    }
    // A failed worker leaves by itself; either way it signals as it goes.
    FReadyEvent.Wait(5000);
    FThread = nullptr;
}

void TMMCustomWaveIn::ThreadFailed(HWAVEIN Handle, std::exception_ptr E) {
    // The failed delivery has ended; the close waits for the worker to be gone. A device
    // closed (and maybe opened again) since has nothing left of that worker.
    if (Handle == FHandle.load()) {
        Close();
        StopThread();
    }
    HandleApplicationException(std::move(E));
}
