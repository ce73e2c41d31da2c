#include "audio/MMWaveIn.h"

#include "audio/MMWaveInWindow.h"
#include "core/MainThread.h"

#include <QCoreApplication>

#include <chrono>

namespace {
// How long Open and Close wait for the driver's confirmation.
constexpr std::chrono::milliseconds kConfirmWait{1000};
// How long a completing stop waits for the driver to hand back every buffer.
constexpr std::chrono::milliseconds kDrainWait{1000};
} // namespace

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
    if (Result != MMSYSERR_NOERROR) throw EMMWaveInError(WaveInStepText(Prefix, DriverErrorText(Result)));
}

void TMMCustomWaveIn::Guard() {
    if (IsOpen()) Error(WaveInMessage(MSG_DEVICE_OPEN));
}

int TMMCustomWaveIn::QueuedBuffers() const {
    return FStop.Queued();
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
    if (!CheckMainThread()) return;
    if (FNumDevs == 0) Error(WaveInMessage(MSG_NO_DEVICE));
    if (FDeviceID == -2) Error(WaveInMessage(MSG_INVALID_DEVICE_ID));
    if (PWaveFormat() == nullptr) Error(WaveInMessage(MSG_INVALID_FORMAT));
    if (IsOpen()) Close();
    if (IsOpen() || FStop.Closing()) return;

    // Errors below fire OnError once, here, so they are raised without it.
    Guarded(
        [this] {
            if (!CanRecordFormat())
                throw EMMWaveInError(WaveInStepText("WaveInOpen:", WaveInMessage(MSG_CANT_RECORD_FORMAT)));
            if (!FWindow) {
                FWindow = std::make_unique<TWaveInWindow>(this);
                FWindow->OnThreadFailed = [this](HWAVEIN h, std::exception_ptr e) {
                    ThreadFailed(h, std::move(e));
                };
            }
            FHandle = nullptr;
            FStop.ExpectConfirmation();
            if (FCallBackMode == cmThread) StartThread();
            HWAVEIN handle = nullptr;
            Throw(FDriver.Open(&handle, FDeviceID, PWaveFormat(), DriverCallback, this, CALLBACK_FUNCTION),
                  "WaveInOpen:");
            FHandle = handle;

            // The chain learns of the open with this component still closed: it turns open
            // only with the driver's confirmation.
            TMMCustomSoundComponent::Opened();
            if (!FStop.AwaitConfirmation(true, kConfirmWait))
                throw EMMWaveInError(WaveInStepText("WaveInOpen:", WaveInMessage(MSG_CANT_OPEN)));
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
    if (!CheckMainThread()) return;
    if (!IsOpen() && FHandle.load() == nullptr) return;
    // A close already under way is left to itself; one waiting for a deferred stop runs now.
    if (!FStop.BeginClose()) return;
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
        // A stop deferred, or failed midway, may still have a delivery to wait for; the
        // close then runs when that stop completes.
        if (FStop.DeferClose()) return;
        const HWAVEIN handle = FHandle.load();
        if (handle != nullptr) {
            FDriver.Stop(handle);
            FDriver.Reset(handle);
            UnprepareAll();
            Throw(FDriver.Close(handle), "WaveInClose:");
            confirmed = FStop.AwaitConfirmation(false, kConfirmWait);
            if (confirmed) FState = wsClosed;
            FWrapCount = 0;
        } else {
            FState = wsClosed;
        }
        TMMCustomSoundComponent::Closed();
        if (FCallBackMode == cmThread) StopThread();
        DoClosed();
    } catch (...) {
        FStop.CloseFailed();
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
    FStop.Closed();
    if (!IsDestroying()) Fire(FOnClose);
}

void TMMCustomWaveIn::FinishRequestedClose() {
    // The delivery the close waits for may itself wait for this thread's loop: turn it
    // until the deferred stop's completion has come through and run the close.
    const bool loop = FWindow && FWindow->OnCallingThread() && QCoreApplication::instance() != nullptr;
    for (;;) {
        // No loop anything could wait for: wait the delivery out, then complete here.
        if (!FStop.AwaitRequestedClose(!loop)) return;
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

void TMMCustomWaveIn::Start() {
    if (!CheckMainThread()) return;
    if (!IsOpen()) Open();
    if (!IsOpen() || (FState & wsStarted) != 0) return;
    FRecordedBytes = 0;
    FBufferIndex = 0;
    FLastPosition = 0;
    FWrapCount = 0;
    RecomputeMaxBytes();
    Guarded(
        [this] {
            FStop.Start(FNumBuffers, [this](int i) { Queue(Header(i)); });
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
    if (!CheckMainThread()) return;
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
    if (!CheckMainThread()) return;
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
    // Also from a handler of OnBufferReady, so no main-thread check.
    if ((FState & (wsStarted | wsPaused)) == 0) return;
    Guarded(
        [this] {
            FStop.BeginStop();
            Throw(FDriver.Stop(FHandle), "WaveInStop:");
            FWrapCount = 0;
            Throw(FDriver.Reset(FHandle), "WaveInReset:");
            if (ReadyToCompleteStop()) DoStopped();
        },
        FState.load());
}

bool TMMCustomWaveIn::ReadyToCompleteStop() {
    if (!FStop.SettleDeliveries()) return false;
    // The reset has handed every buffer back; in window mode they wait as posted messages.
    if (FCallBackMode == cmWindow && FWindow && FWindow->OnCallingThread()) FWindow->RunPosted();
    // Those may have held a deferred stop's completion, which has finished this stop.
    if ((FState & (wsStarted | wsPaused)) == 0) return false;
    // A failed worker reads its mailbox no more; a driver that keeps buffers back is not waited for long.
    FStop.AwaitReturns(kDrainWait);
    return true;
}

void TMMCustomWaveIn::CompleteDeferredStop() {
    bool closeRequested = false;
    if (!FStop.TakeCompletion(closeRequested)) return;
    if ((FState & (wsStarted | wsPaused)) != 0)
        Stop();
    else if (closeRequested)
        Close();
}

void TMMCustomWaveIn::DoStopped() {
    FState &= ~(wsStarted | wsPaused);
    FBufferIndex = 0;
    const bool closeRequested = FStop.Stopped();
    TMMCustomSoundComponent::Stopped();
    if (!IsDestroying()) Fire(FOnStop);
    if (closeRequested) Close();
}

void TMMCustomWaveIn::Stopped() {
    if ((FState & (wsStarted | wsPaused)) != 0 && !FStop.StopBegun()) {
        Stop();
        return;
    }
    TMMCustomSoundComponent::Stopped();
}
