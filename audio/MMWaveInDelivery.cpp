#include "audio/MMWaveIn.h"
#include "audio/MMWaveInWindow.h"

// --- Driver notifications -------------------------------------------------------

void TMMCustomWaveIn::DriverCallback(HWAVEIN Handle, unsigned Message, void *Instance, PWaveHdr Hdr) {
    auto *self = static_cast<TMMCustomWaveIn *>(Instance);
    switch (Message) {
    case MM_WIM_OPEN:
        self->FStop.Confirm(true);
        break;
    case MM_WIM_CLOSE:
        self->FStop.Confirm(false);
        break;
    case MM_WIM_DATA:
        // What lands in a failed worker's mailbox is never read; nothing waits for it.
        if (self->FCallBackMode == cmThread)
            self->FMailbox.Post({Message, Handle, Hdr});
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
        FStop.Confirm(true);
        break;
    case MM_WIM_CLOSE:
        FStop.Confirm(false);
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

// --- Returned buffers -------------------------------------------------------------

void TMMCustomWaveIn::Queue(PWaveHdr Hdr) {
    Hdr->dwFlags = (Hdr->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    Throw(FDriver.AddBuffer(FHandle, Hdr, sizeof(WAVEHDR)), "WaveInAddBuffer:");
}

void TMMCustomWaveIn::ProcessReturnedBuffer(PWaveHdr Hdr) {
    // One handed back by a stop is neither delivered nor queued again.
    if (!FStop.BeginDelivery()) return;
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
        if (limit && !FStop.StopBegun()) Stop();
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
    FStop.Requeue([&] {
        const std::uint32_t position = ReadPosition(FHandle.load());
        if (position != 0) {
            const std::uint32_t last = FLastPosition.exchange(position);
            if (position < last && last - position > 65534) ++FWrapCount;
        }
        Queue(Hdr);
    });
}

void TMMCustomWaveIn::EndDelivery() {
    FStop.EndDelivery([this] {
        if (FWindow) FWindow->Post(MM_DEFERRED_STOP, FHandle.load(), nullptr);
    });
}
