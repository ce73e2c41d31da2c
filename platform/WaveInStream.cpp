#include "platform/WaveInStream.h"

#include "platform/CaptureErrorText.h"
#include "platform/ThreadName.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {
// How long one read may wait for frames. Commands interrupt the wait; a source that
// cannot be interrupted keeps its own waits short.
constexpr int kReadTimeoutMs = 200;
// A read or a command that takes longer than this means the device hangs.
constexpr int kHangMs = 3000;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

TWaveInStream::TWaveInStream(int id, std::string deviceName, const TWaveFormatEx &format,
                             std::unique_ptr<TCaptureSource> source, TWaveInCallback callback, void *instance)
    : FId(id), FDeviceName(std::move(deviceName)), FFormat(format), FSource(std::move(source)),
      FCallback(callback), FInstance(instance) {
    FThread = std::thread([this] { Run(); });
    FWatch = std::thread([this] { Watch(); });
}

TWaveInStream::~TWaveInStream() {
    EndThreads();
}

void TWaveInStream::EndThreads() {
    // Quit is answered at once by a stream already closed or given up.
    if (FThread.joinable()) {
        Command(TCommand::Quit);
        if (FAbandoned)
            FThread.detach();
        else
            FThread.join();
    }
    {
        std::lock_guard lock(FMutex);
        FWatchQuit = true;
        FWatchWake.notify_all();
    }
    if (FWatch.joinable()) FWatch.join();
}

void TWaveInStream::Abandon(MMRESULT code) {
    FAbandoned = true;
    FStarted = false;
    if (FFailure == MMSYSERR_NOERROR) FFailure = code;
    FCommand = TCommand::None;
    FCommandResult = FFailure;
    FCommandDone.notify_all();
}

void TWaveInStream::Watch() {
    NameThisThread("wavein-watch");
    std::unique_lock lock(FMutex);
    while (!FWatchQuit && !FAbandoned) {
        FWatchWake.wait_for(lock, std::chrono::milliseconds(250));
        if (FReadingSince == 0 || NowMs() - FReadingSince < kHangMs || FAbandoned) continue;
        // The read hangs: give the stream up and hand back the buffer it was filling, so the
        // receiver learns of it from the failing re-queue.
        Abandon(ALSAERR_BASE + EIO);
        if (!FQueue.empty()) {
            PWaveHdr hdr = FQueue.front();
            FQueue.pop_front();
            hdr->dwFlags = (hdr->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
            lock.unlock();
            Deliver(MM_WIM_DATA, hdr);
            lock.lock();
        }
    }
}

void TWaveInStream::Deliver(unsigned message, PWaveHdr hdr) {
    if (FCallback != nullptr)
        FCallback(reinterpret_cast<HWAVEIN>(static_cast<HWAVEIN__ *>(this)), message, FInstance, hdr);
}

void TWaveInStream::Notify(unsigned message, PWaveHdr hdr) {
    if (!FAbandoned) Deliver(message, hdr);
}

MMRESULT TWaveInStream::AddBuffer(PWaveHdr hdr) {
    std::lock_guard lock(FMutex);
    if (FFailure != MMSYSERR_NOERROR) return FFailure;
    if ((hdr->dwFlags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
    if ((hdr->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
    if (hdr->lpData == nullptr || hdr->dwBufferLength < FFormat.nBlockAlign) return MMSYSERR_INVALPARAM;
    hdr->dwBytesRecorded = 0;
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    FQueue.push_back(hdr);
    FWake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT TWaveInStream::Start() {
    return Command(TCommand::Start);
}
MMRESULT TWaveInStream::Stop() {
    return Command(TCommand::Stop);
}
MMRESULT TWaveInStream::Reset() {
    return Command(TCommand::Reset);
}

MMRESULT TWaveInStream::Close() {
    {
        std::lock_guard lock(FMutex);
        if (!FQueue.empty() && !FAbandoned) return WAVERR_STILLPLAYING;
    }
    EndThreads();
    Deliver(MM_WIM_CLOSE, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT TWaveInStream::Position(MMTIME *time) const {
    const std::uint64_t frames = FFrames.load();
    if (time->wType == TIME_BYTES) {
        time->value = static_cast<std::uint32_t>(frames * FFormat.nBlockAlign);
    } else {
        // Frames are what this driver counts; any other unit is answered in frames.
        time->wType = TIME_SAMPLES;
        time->value = static_cast<std::uint32_t>(frames);
    }
    return MMSYSERR_NOERROR;
}

std::size_t TWaveInStream::Queued() const {
    std::lock_guard lock(FMutex);
    return FQueue.size();
}

MMRESULT TWaveInStream::Command(TCommand command) {
    std::lock_guard serial(FCommandMutex);
    std::unique_lock lock(FMutex);
    if (FClosed) return command == TCommand::Quit ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
    if (FAbandoned) return command == TCommand::Quit ? MMSYSERR_NOERROR : FFailure;
    FCommand = command;
    FWake.notify_all();
    FSource->Interrupt();
    if (!FCommandDone.wait_for(lock, std::chrono::milliseconds(kHangMs),
                               [this] { return FCommand == TCommand::None; }))
        Abandon(ALSAERR_BASE + ETIMEDOUT);
    return FAbandoned && command == TCommand::Quit ? MMSYSERR_NOERROR : FCommandResult;
}

void TWaveInStream::Return(PWaveHdr hdr, std::unique_lock<std::mutex> &lock) {
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    lock.unlock();
    Notify(MM_WIM_DATA, hdr);
    lock.lock();
}

void TWaveInStream::EndCapture() {
    if (!FStarted) return;
    FSource->End();
    FStarted = false;
}

MMRESULT TWaveInStream::Execute(TCommand command, std::unique_lock<std::mutex> &lock) {
    switch (command) {
    case TCommand::Start: {
        if (FFailure != MMSYSERR_NOERROR) return FFailure;
        if (FStarted) return MMSYSERR_NOERROR;
        const long align = std::max<long>(FFormat.nBlockAlign, 1);
        const int err = FSource->Begin(FQueue.empty() ? 0 : FQueue.front()->dwBufferLength / align);
        if (err < 0) return ALSAERR_BASE + static_cast<MMRESULT>(-err);
        FStarted = true;
        return MMSYSERR_NOERROR;
    }
    case TCommand::Stop:
        EndCapture();
        if (!FQueue.empty() && FQueue.front()->dwBytesRecorded > 0) {
            PWaveHdr hdr = FQueue.front();
            FQueue.pop_front();
            Return(hdr, lock);
        }
        return MMSYSERR_NOERROR;
    case TCommand::Reset:
    case TCommand::Quit:
        EndCapture();
        if (command == TCommand::Reset) {
            FFrames = 0;
            while (!FQueue.empty()) {
                PWaveHdr hdr = FQueue.front();
                FQueue.pop_front();
                Return(hdr, lock);
            }
        }
        return MMSYSERR_NOERROR;
    case TCommand::None:
        break;
    }
    return MMSYSERR_NOERROR;
}

void TWaveInStream::Release() {
    {
        std::lock_guard lock(FMutex);
        if (!FThreadLeft) {
            // Only a given-up thread is still running after Close; it frees the stream.
            FReleased = true;
            return;
        }
    }
    delete this;
}

void TWaveInStream::Run() {
    NameThisThread("wavein-read");
    Loop();
    std::unique_lock lock(FMutex);
    FThreadLeft = true;
    if (!FReleased) return;
    lock.unlock();
    delete this;
}

void TWaveInStream::Loop() {
    Notify(MM_WIM_OPEN, nullptr);
    const long align = std::max<long>(FFormat.nBlockAlign, 1);
    std::int64_t lastData = NowMs();
    std::unique_lock lock(FMutex);
    for (;;) {
        if (FAbandoned) return;
        if (FCommand != TCommand::None) {
            const TCommand command = FCommand;
            const MMRESULT result = Execute(command, lock);
            if (FAbandoned) return; // the caller has given up waiting
            FCommandResult = result;
            if (command == TCommand::Start) lastData = NowMs();
            FCommand = TCommand::None;
            if (command == TCommand::Quit) FClosed = true;
            FCommandDone.notify_all();
            if (command == TCommand::Quit) return;
            continue;
        }
        if (!FStarted || FQueue.empty()) {
            FWake.wait(lock);
            continue;
        }
        // Only this thread takes the front header off while it is started, so it stays put.
        PWaveHdr hdr = FQueue.front();
        const long room = static_cast<long>(hdr->dwBufferLength - hdr->dwBytesRecorded) / align;
        FScratch.resize(static_cast<std::size_t>(room * align));
        FReadingSince = NowMs();
        lock.unlock();
        long got = FSource->Read(FScratch.data(), room, kReadTimeoutMs);
        lock.lock();
        FReadingSince = 0;
        if (FAbandoned) return;
        if (got > 0) std::memcpy(hdr->lpData + hdr->dwBytesRecorded, FScratch.data(), got * align);
        const int stall = FSource->StallTimeoutMs();
        if (got > 0)
            lastData = NowMs();
        else if (got == 0 && stall > 0 && NowMs() - lastData > stall)
            got = -EIO; // started, and nothing for so long: the device has gone quiet for good
        if (got < 0) {
            // The device is gone: stop, and hand back the buffer being filled so the
            // receiver learns it from the failing re-queue.
            FFailure = ALSAERR_BASE + static_cast<MMRESULT>(-got);
            EndCapture();
            FQueue.pop_front();
            Return(hdr, lock);
            continue;
        }
        hdr->dwBytesRecorded += static_cast<std::uint32_t>(got * align);
        FFrames += static_cast<std::uint64_t>(got);
        if (got == room || hdr->dwBufferLength - hdr->dwBytesRecorded < static_cast<std::uint32_t>(align)) {
            FQueue.pop_front();
            Return(hdr, lock);
        }
    }
}

// ---------------------------------------------------------------------------

namespace {
TWaveInStream *Stream(HWAVEIN handle) {
    return handle == nullptr ? nullptr : dynamic_cast<TWaveInStream *>(static_cast<HWAVEIN__ *>(handle));
}
} // namespace

MMRESULT TStreamWaveInDriver::GetErrorText(MMRESULT code, char *text, unsigned size) {
    if (text == nullptr || size == 0) return MMSYSERR_INVALPARAM;
    if (CommonWaveInErrorText(code, text, size) || DriverErrorText(code, text, size)) return MMSYSERR_NOERROR;
    text[0] = '\0';
    return MMSYSERR_BADERRNUM;
}

namespace {
bool IsDeviceError(MMRESULT code) {
    return code > ALSAERR_BASE && code - ALSAERR_BASE <= 4095;
}
} // namespace

bool TStreamWaveInDriver::DriverErrorText(MMRESULT code, char *text, unsigned size) {
    if (!IsDeviceError(code)) return false;
    const int err = static_cast<int>(code - ALSAERR_BASE);
    std::string message;
    {
        std::lock_guard lock(FFailureMutex);
        const auto it = FFailures.find(code);
        // A code this driver never reported has no device to name: the system's words then.
        message = it == FFailures.end() ? SystemErrorText(err)
                                        : CaptureErrorText(err, it->second.Device, it->second.Opening);
    }
    CopyDeviceName(text, size, message.c_str());
    return true;
}

MMRESULT TStreamWaveInDriver::Noted(MMRESULT result, const std::string &device, bool opening) {
    if (IsDeviceError(result)) {
        std::lock_guard lock(FFailureMutex);
        FFailures[result] = TFailure{device, opening};
    }
    return result;
}

MMRESULT TStreamWaveInDriver::Open(HWAVEIN *handle, int id, const TWaveFormatEx *format,
                                   TWaveInCallback callback, void *instance, std::uint32_t flags) {
    if (format == nullptr) return MMSYSERR_INVALPARAM;
    if (id < WAVE_MAPPER || id >= static_cast<int>(GetNumDevs())) return MMSYSERR_BADDEVICEID;
    if (format->wFormatTag != WAVE_FORMAT_PCM || format->nChannels == 0 || format->nBlockAlign == 0)
        return WAVERR_BADFORMAT;
    if ((flags & WAVE_FORMAT_QUERY) != 0) return QueryFormat(id, *format);
    if (handle == nullptr) return MMSYSERR_INVALPARAM;
    std::string device = DeviceName(id);
    MMRESULT result = MMSYSERR_NOERROR;
    std::unique_ptr<TCaptureSource> source = MakeSource(id, *format, &result);
    if (!source) return Noted(result != MMSYSERR_NOERROR ? result : MMSYSERR_ERROR, device, true);
    *handle = new TWaveInStream(id, std::move(device), *format, std::move(source), callback, instance);
    return MMSYSERR_NOERROR;
}

MMRESULT TStreamWaveInDriver::Close(HWAVEIN handle) {
    TWaveInStream *stream = Stream(handle);
    if (stream == nullptr) return MMSYSERR_INVALHANDLE;
    const MMRESULT result = stream->Close();
    if (result == MMSYSERR_NOERROR) stream->Release();
    return result;
}

MMRESULT TStreamWaveInDriver::PrepareHeader(HWAVEIN handle, PWaveHdr hdr, unsigned size) {
    if (Stream(handle) == nullptr) return MMSYSERR_INVALHANDLE;
    if (hdr == nullptr || size < sizeof(WAVEHDR) || hdr->lpData == nullptr) return MMSYSERR_INVALPARAM;
    hdr->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT TStreamWaveInDriver::UnprepareHeader(HWAVEIN handle, PWaveHdr hdr, unsigned size) {
    if (Stream(handle) == nullptr) return MMSYSERR_INVALHANDLE;
    if (hdr == nullptr || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    if ((hdr->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
    hdr->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT TStreamWaveInDriver::AddBuffer(HWAVEIN handle, PWaveHdr hdr, unsigned size) {
    TWaveInStream *stream = Stream(handle);
    if (stream == nullptr) return MMSYSERR_INVALHANDLE;
    if (hdr == nullptr || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    return Noted(stream->AddBuffer(hdr), stream->DeviceName(), false);
}

MMRESULT TStreamWaveInDriver::Start(HWAVEIN handle) {
    TWaveInStream *stream = Stream(handle);
    return stream == nullptr ? MMSYSERR_INVALHANDLE : Noted(stream->Start(), stream->DeviceName(), false);
}

MMRESULT TStreamWaveInDriver::Stop(HWAVEIN handle) {
    TWaveInStream *stream = Stream(handle);
    return stream == nullptr ? MMSYSERR_INVALHANDLE : Noted(stream->Stop(), stream->DeviceName(), false);
}

MMRESULT TStreamWaveInDriver::Reset(HWAVEIN handle) {
    TWaveInStream *stream = Stream(handle);
    return stream == nullptr ? MMSYSERR_INVALHANDLE : Noted(stream->Reset(), stream->DeviceName(), false);
}

MMRESULT TStreamWaveInDriver::GetPosition(HWAVEIN handle, MMTIME *time, unsigned size) {
    TWaveInStream *stream = Stream(handle);
    if (stream == nullptr) return MMSYSERR_INVALHANDLE;
    if (time == nullptr || size < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
    return stream->Position(time);
}

MMRESULT TStreamWaveInDriver::GetID(HWAVEIN handle, int *id) {
    TWaveInStream *stream = Stream(handle);
    if (stream == nullptr) return MMSYSERR_INVALHANDLE;
    if (id == nullptr) return MMSYSERR_INVALPARAM;
    *id = stream->Id();
    return MMSYSERR_NOERROR;
}
