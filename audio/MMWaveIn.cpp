#include "audio/MMWaveIn.h"

#include "platform/AlsaWaveIn.h"
#include "platform/MMMessageBox.h"
#include "platform/SimWaveIn.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>

#include <chrono>
#include <thread>

namespace {

constexpr unsigned MM_DEFERRED_STOP = 0x8002;
constexpr unsigned MM_THREAD_FAILED = 0x8003; // our own: the worker's loop failed
constexpr const char *kLfCr = "\n\r";
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
        realCount_ = static_cast<int>(alsa_.GetNumDevs());
        return static_cast<unsigned>(realCount_) + (AppendSimulated ? sim_.GetNumDevs() : 0u);
    }
    MMRESULT GetDevCaps(int id, WAVEINCAPS *caps, unsigned size) override {
        return IsSim(id) ? sim_.GetDevCaps(id - realCount_, caps, size) : alsa_.GetDevCaps(id, caps, size);
    }
    MMRESULT QueryFormat(int id, const TWaveFormatEx &format) override {
        return IsSim(id) ? sim_.QueryFormat(id - realCount_, format) : alsa_.QueryFormat(id, format);
    }
    std::unique_ptr<TCaptureSource> MakeSource(int id, const TWaveFormatEx &format,
                                               MMRESULT *result) override {
        return IsSim(id) ? sim_.MakeSource(id - realCount_, format, result)
                         : alsa_.MakeSource(id, format, result);
    }
    bool DriverErrorText(MMRESULT code, char *text, unsigned size) override {
        return alsa_.DriverErrorText(code, text, size);
    }

  private:
    // Ids are those of the latest enumeration, as the wave inputs' device counts are.
    bool IsSim(int id) {
        if (realCount_ < 0) GetNumDevs();
        return AppendSimulated && id >= realCount_;
    }
    TAlsaWaveInDriver alsa_;
    TSimWaveInDriver sim_;
    int realCount_ = -1; // main thread
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

class TWaveInEvent : public QEvent {
  public:
    TWaveInEvent(unsigned message, HWAVEIN handle, PWaveHdr hdr, std::exception_ptr error = nullptr)
        : QEvent(WaveInEventType), Message(message), Handle(handle), Hdr(hdr), Error(std::move(error)) {}
    unsigned Message;
    HWAVEIN Handle;
    PWaveHdr Hdr;
    std::exception_ptr Error;
};
} // namespace

// Lives on the main thread; driver messages in window mode and the deferred stop arrive here.
class TWaveInWindow : public QObject {
  public:
    explicit TWaveInWindow(TMMCustomWaveIn *owner) : owner_(owner) {}
    void Post(unsigned message, HWAVEIN handle, PWaveHdr hdr, std::exception_ptr error = nullptr) {
        QCoreApplication::postEvent(this, new TWaveInEvent(message, handle, hdr, std::move(error)));
    }
    std::function<void(std::exception_ptr)> OnThreadFailed;

  protected:
    bool event(QEvent *e) override {
        if (e->type() != WaveInEventType) return QObject::event(e);
        auto *w = static_cast<TWaveInEvent *>(e);
        if (w->Message == MM_THREAD_FAILED) {
            if (OnThreadFailed) OnThreadFailed(w->Error);
            return true;
        }
        try {
            owner_->WindowMessage(w->Message, w->Handle, w->Hdr);
        } catch (...) {
            // As the driver callback does: close the device and tell the operator.
            owner_->Close();
            HandleApplicationException(std::current_exception());
        }
        return true;
    }

  private:
    TMMCustomWaveIn *owner_;
};

// --- Construction -----------------------------------------------------------

TMMCustomWaveIn::TMMCustomWaveIn(TWaveInDriver &Driver) : FDriver(Driver) {
    FNumDevs = static_cast<int>(FDriver.GetNumDevs());
    RebuildFormat();
    ApplyDeviceID(0);
    if (!IsDesigning()) {
        FWindow = std::make_unique<TWaveInWindow>(this);
        FWindow->OnThreadFailed = [this](std::exception_ptr e) { ThreadFailed(std::move(e)); };
    }
}

TMMCustomWaveIn::~TMMCustomWaveIn() {
    Destroying();
    if (FHandle.load() != nullptr) Close();
    // A stop deferred behind a delivery still running: let the worker finish with this object first.
    for (int i = 0; i < 500 && FStopPending && FProcessing > 0; ++i)
        Delay(10, false);
    if (FHandle.load() != nullptr) {
        FStopPending = false;
        FProcessing = 0;
        Close();
    }
    if (FThread != nullptr && !FThreadFailed) StopThread();
    FWindow.reset();
    ReleaseAll();
    FAllocator.FreeAll();
}

TMMWaveIn::TMMWaveIn(TWaveInDriver *Driver)
    : TMMCustomWaveIn(Driver != nullptr ? *Driver : SystemWaveInDriver()) {}

TMMWaveIn::~TMMWaveIn() = default;

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

bool TMMCustomWaveIn::PumpsMessages() const {
    return FCallBackMode == cmWindow && IsMainThread();
}

void TMMCustomWaveIn::Delay(int Ms, bool Pump) {
    if (Ms <= 0) return;
    if (!Pump) {
        std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
        return;
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < Ms) {
        if (QCoreApplication::closingDown()) return;
        QCoreApplication::processEvents(QEventLoop::AllEvents, static_cast<int>(Ms - timer.elapsed()));
        if (timer.elapsed() < Ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int TMMCustomWaveIn::QueuedBuffers() const {
    std::lock_guard lock(FLock);
    return FQueued;
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
    if (FThread != nullptr && !FThreadFailed) FThread->SetPriority(Value);
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
    if (!IsOpen() || FClosing || handle == nullptr) return 0;
    MMTIME time;
    time.wType = TIME_SAMPLES;
    if (FDriver.GetPosition(handle, &time, sizeof time) == MMSYSERR_NOERROR && time.wType == TIME_SAMPLES)
        return time.value;
    time.wType = TIME_BYTES;
    Throw(FDriver.GetPosition(handle, &time, sizeof time), "WaveInGetPosition:");
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
        self->FOpenConfirmed = true;
        self->FState = wsOpen;
        break;
    case MM_WIM_CLOSE:
        self->FState = wsClosed;
        break;
    case MM_WIM_DATA:
        if (self->FCallBackMode == cmThread && !self->FThreadFailed)
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
        FState = wsOpen;
        break;
    case MM_WIM_CLOSE:
        FState = wsClosed;
        break;
    case MM_WIM_DATA:
        // Buffers that come back after the worker failed have no receiver left.
        if (FCallBackMode != cmThread) ProcessReturnedBuffer(Hdr);
        break;
    case MM_DEFERRED_STOP:
        Stop();
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

void TMMCustomWaveIn::Open() {
    if (FNumDevs == 0) Error(WaveInMessage(MSG_NO_DEVICE));
    if (FDeviceID == -2) Error(WaveInMessage(MSG_INVALID_DEVICE_ID));
    if (PWaveFormat() == nullptr) Error(WaveInMessage(MSG_INVALID_FORMAT));
    if (IsOpen()) Close();
    if (IsOpen() || FClosing) return;
    FClosing = false;
    FResetting = false;
    FStopping = false;
    FStopPosted = false;

    // Errors below fire OnError once, here, so they are raised without it.
    Guarded(
        [this] {
            if (!CanRecordFormat())
                throw EMMWaveInError("WaveInOpen:" + std::string(kLfCr) +
                                     WaveInMessage(MSG_CANT_RECORD_FORMAT));
            if (!FWindow) {
                FWindow = std::make_unique<TWaveInWindow>(this);
                FWindow->OnThreadFailed = [this](std::exception_ptr e) { ThreadFailed(std::move(e)); };
            }
            FHandle = nullptr;
            FCloseRequested = false;
            FOpenConfirmed = false;
            if (FCallBackMode == cmThread) StartThread();
            HWAVEIN handle = nullptr;
            Throw(FDriver.Open(&handle, FDeviceID, PWaveFormat(), DriverCallback, this, CALLBACK_FUNCTION),
                  "WaveInOpen:");
            FHandle = handle;

            // The chain learns of the open with this component still closed.
            const unsigned previous = FState.exchange(wsClosed);
            TMMCustomSoundComponent::Opened();
            FState = previous;
            // The confirmation may have come in meanwhile, from the driver's thread.
            if (FOpenConfirmed) FState = wsOpen;

            const bool pump = PumpsMessages();
            for (int i = 0; i < 100 && !IsOpen(); ++i)
                Delay(10, pump);
            if (!IsOpen())
                throw EMMWaveInError("WaveInOpen:" + std::string(kLfCr) + WaveInMessage(MSG_CANT_OPEN));

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
        for (int n = 0; n < 65000 && (hdr->dwFlags & WHDR_DONE) == 0; ++n) {
        }
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
    if (FClosing && !FCloseRequested) return;
    bool confirmed = true;
    try {
        FClosing = true;
        if ((FState & (wsStarted | wsPaused)) != 0) {
            // A device that cannot even stop (it has gone) must still be let go of: the
            // failure has been reported, the close goes on.
            try {
                Stop();
            } catch (...) {
            }
        }
        if (FStopPending) {
            FCloseRequested = true;
            return;
        }
        FCloseRequested = false;
        const HWAVEIN handle = FHandle.load();
        if (handle != nullptr) {
            FDriver.Stop(handle);
            FDriver.Reset(handle);
            UnprepareAll();
            Throw(FDriver.Close(handle), "WaveInClose:");
            const bool pump = PumpsMessages();
            for (int i = 0; i < 100 && FState != wsClosed; ++i)
                Delay(10, pump);
            confirmed = FState == wsClosed;
            FWrapCount = 0;
        } else {
            FState = wsClosed;
        }
        TMMCustomSoundComponent::Closed();
        if (FCallBackMode == cmThread) StopThread();
        DoClosed();
    } catch (...) {
        FClosing = false;
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
    FClosing = false;
    if (!IsDestroying()) Fire(FOnClose);
}

// --- Start, pause, restart, stop ------------------------------------------------

void TMMCustomWaveIn::QueueBuffer(PWaveHdr Hdr) {
    Hdr->dwFlags = (Hdr->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    std::lock_guard lock(FLock);
    Throw(FDriver.AddBuffer(FHandle, Hdr, sizeof(WAVEHDR)), "WaveInAddBuffer:");
    ++FQueued;
}

void TMMCustomWaveIn::Start() {
    if (!IsOpen()) Open();
    if (!IsOpen() || (FState & wsStarted) != 0) return;
    FRecordedBytes = 0;
    FBufferIndex = 0;
    FProcessing = 0;
    {
        std::lock_guard lock(FLock);
        FQueued = 0;
    }
    FLastPosition = 0;
    FWrapCount = 0;
    FStopPending = false;
    FStopping = false;
    FResetting = false;
    FStopPosted = false;
    RecomputeMaxBytes();
    Guarded(
        [this] {
            for (int i = 0; i < FNumBuffers; ++i)
                QueueBuffer(Header(i));
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
                FStopping = true;
                Throw(FDriver.Stop(FHandle), "WaveInStop:");
                FWrapCount = 0;
                FResetting = true;
                Throw(FDriver.Reset(FHandle), "WaveInReset:");
            }
            if (FThreadFailed) {
                // The worker is gone: what the reset returned has no receiver.
                std::lock_guard lock(FLock);
                FQueued = 0;
            }
            if (FProcessing == 0) {
                const bool pump = PumpsMessages();
                for (int i = 0; i < 100 && QueuedBuffers() != 0; ++i)
                    Delay(10, pump);
            }
            DoStopped();
        },
        FState.load());
}

void TMMCustomWaveIn::DoStopped() {
    if (FProcessing > 0) {
        FStopPending = true;
        return;
    }
    FState &= ~(wsStarted | wsPaused);
    FBufferIndex = 0;
    {
        std::lock_guard lock(FLock);
        FQueued = 0;
    }
    FStopPending = false;
    TMMCustomSoundComponent::Stopped();
    if (!IsDestroying()) Fire(FOnStop);
    if (FCloseRequested) Close();
}

void TMMCustomWaveIn::Stopped() {
    if ((FState & (wsStarted | wsPaused)) != 0 && !FStopping) {
        Stop();
        return;
    }
    TMMCustomSoundComponent::Stopped();
}

// --- Returned buffers -------------------------------------------------------------

void TMMCustomWaveIn::ProcessReturnedBuffer(PWaveHdr Hdr) {
    if ((FState & wsStarted) == 0) return;
    if (FResetting || FStopping) {
        if (FStopping && !FResetting && Hdr->dwBytesRecorded > 0) BufferReady(Hdr);
        {
            std::lock_guard lock(FLock);
            if (FQueued > 0 && --FQueued == 0) FResetting = false;
        }
        // A stop waiting for this buffer's siblings still needs its message.
        if (FStopPending && FProcessing == 0 && !FStopPosted.exchange(true)) {
            FStopping = true;
            if (FWindow) FWindow->Post(MM_DEFERRED_STOP, FHandle, nullptr);
        }
        return;
    }
    ++FProcessing;
    {
        std::lock_guard lock(FLock);
        --FQueued;
    }
    auto finish = [this] {
        if (--FProcessing == 0 && FStopPending && !FStopPosted.exchange(true)) {
            FStopping = true;
            if (FWindow) FWindow->Post(MM_DEFERRED_STOP, FHandle, nullptr);
        }
    };
    try {
        std::uint64_t recorded = FRecordedBytes + Hdr->dwBytesRecorded;
        bool stopAfter = false;
        if (FMaxRecordTime > 0 && recorded >= FMaxBytes) {
            Hdr->dwBytesRecorded -= static_cast<std::uint32_t>(recorded - FMaxBytes);
            recorded = FMaxBytes;
            stopAfter = !FStopping;
        }
        FRecordedBytes = recorded;
        FBufferIndex = (FBufferIndex + 1) % FNumBuffers;
        BufferReady(Hdr);
        if (stopAfter) Stop();

        if (!FStopPending) {
            const std::uint32_t position = Position();
            if (position != 0) {
                const std::uint32_t last = FLastPosition.exchange(position);
                if (position < last && last - position > 65534) ++FWrapCount;
            }
            QueueBuffer(Hdr);
        }
    } catch (...) {
        try {
            Fire(FOnError);
        } catch (...) {
        }
        finish();
        throw;
    }
    finish();
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
        w->FThreadFailed = true;
        if (w->FWindow) w->FWindow->Post(MM_THREAD_FAILED, nullptr, nullptr, std::current_exception());
    }
    w->FReadyEvent.Set();
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
    std::lock_guard cs(FLock);
    FThreadFailed = false;
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
    if (!FThreadFailed) {
        {
            std::lock_guard lock(FQueueLock);
            FQuit = true;
            FQueueCond.notify_all();
        }
        FReadyEvent.Wait(5000);
    }
    FThread = nullptr;
}

void TMMCustomWaveIn::ThreadFailed(std::exception_ptr E) {
    // The worker signals as it leaves; nothing it did may overlap what follows.
    FReadyEvent.Wait(5000);
    // The failed delivery is over; the worker that held it has ended.
    FProcessing = 0;
    FStopPending = false;
    Close();
    FThread = nullptr;
    HandleApplicationException(std::move(E));
}
