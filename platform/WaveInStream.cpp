#include "platform/WaveInStream.h"

#include <algorithm>
#include <cstring>

namespace {
// How long one read may wait, and so how long a command may wait for the stream's thread.
constexpr int kReadTimeoutMs = 20;
} // namespace

TWaveInStream::TWaveInStream(int id, const TWaveFormatEx &format, std::unique_ptr<TCaptureSource> source,
                             TWaveInCallback callback, void *instance)
    : id_(id), format_(format), source_(std::move(source)), callback_(callback), instance_(instance) {
    thread_ = std::thread([this] { Run(); });
}

TWaveInStream::~TWaveInStream() {
    if (thread_.joinable()) {
        Command(TCommand::Quit);
        thread_.join();
    }
}

void TWaveInStream::Notify(unsigned message, PWaveHdr hdr) {
    if (callback_ != nullptr)
        callback_(reinterpret_cast<HWAVEIN>(static_cast<HWAVEIN__ *>(this)), message, instance_, hdr);
}

MMRESULT TWaveInStream::AddBuffer(PWaveHdr hdr) {
    std::lock_guard lock(mutex_);
    if (failure_ != MMSYSERR_NOERROR) return failure_;
    if ((hdr->dwFlags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
    if ((hdr->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
    if (hdr->lpData == nullptr || hdr->dwBufferLength < format_.nBlockAlign) return MMSYSERR_INVALPARAM;
    hdr->dwBytesRecorded = 0;
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    queue_.push_back(hdr);
    wake_.notify_all();
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
        std::lock_guard lock(mutex_);
        if (!queue_.empty()) return WAVERR_STILLPLAYING;
    }
    Command(TCommand::Quit);
    if (thread_.joinable()) thread_.join();
    Notify(MM_WIM_CLOSE, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT TWaveInStream::Position(MMTIME *time) const {
    const std::uint64_t frames = frames_.load();
    if (time->wType == TIME_BYTES) {
        time->value = static_cast<std::uint32_t>(frames * format_.nBlockAlign);
    } else {
        // Frames are what this driver counts; any other unit is answered in frames.
        time->wType = TIME_SAMPLES;
        time->value = static_cast<std::uint32_t>(frames);
    }
    return MMSYSERR_NOERROR;
}

std::size_t TWaveInStream::Queued() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

MMRESULT TWaveInStream::Command(TCommand command) {
    std::lock_guard serial(commandMutex_);
    std::unique_lock lock(mutex_);
    if (closed_) return command == TCommand::Quit ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
    command_ = command;
    wake_.notify_all();
    commandDone_.wait(lock, [this] { return command_ == TCommand::None; });
    return commandResult_;
}

void TWaveInStream::Return(PWaveHdr hdr, std::unique_lock<std::mutex> &lock) {
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    lock.unlock();
    Notify(MM_WIM_DATA, hdr);
    lock.lock();
}

MMRESULT TWaveInStream::Execute(TCommand command, std::unique_lock<std::mutex> &lock) {
    switch (command) {
    case TCommand::Start: {
        if (failure_ != MMSYSERR_NOERROR) return failure_;
        if (started_) return MMSYSERR_NOERROR;
        const int err = source_->Begin();
        if (err < 0) return ALSAERR_BASE + static_cast<MMRESULT>(-err);
        started_ = true;
        return MMSYSERR_NOERROR;
    }
    case TCommand::Stop:
        if (started_) {
            source_->End();
            started_ = false;
        }
        if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0) {
            PWaveHdr hdr = queue_.front();
            queue_.pop_front();
            Return(hdr, lock);
        }
        return MMSYSERR_NOERROR;
    case TCommand::Reset:
    case TCommand::Quit:
        if (started_) {
            source_->End();
            started_ = false;
        }
        if (command == TCommand::Reset) {
            frames_ = 0;
            while (!queue_.empty()) {
                PWaveHdr hdr = queue_.front();
                queue_.pop_front();
                Return(hdr, lock);
            }
        }
        return MMSYSERR_NOERROR;
    case TCommand::None:
        break;
    }
    return MMSYSERR_NOERROR;
}

void TWaveInStream::Run() {
    Notify(MM_WIM_OPEN, nullptr);
    const long align = std::max<long>(format_.nBlockAlign, 1);
    std::unique_lock lock(mutex_);
    for (;;) {
        if (command_ != TCommand::None) {
            const TCommand command = command_;
            commandResult_ = Execute(command, lock);
            command_ = TCommand::None;
            if (command == TCommand::Quit) closed_ = true;
            commandDone_.notify_all();
            if (command == TCommand::Quit) return;
            continue;
        }
        if (!started_ || queue_.empty()) {
            wake_.wait(lock);
            continue;
        }
        // The front header is only touched here while it is queued, so it is filled unlocked.
        PWaveHdr hdr = queue_.front();
        const long room = static_cast<long>(hdr->dwBufferLength - hdr->dwBytesRecorded) / align;
        lock.unlock();
        const long got = source_->Read(hdr->lpData + hdr->dwBytesRecorded, room, kReadTimeoutMs);
        lock.lock();
        if (got < 0) {
            // The device is gone: stop, and hand back the buffer being filled so the
            // receiver learns it from the failing re-queue.
            failure_ = ALSAERR_BASE + static_cast<MMRESULT>(-got);
            source_->End();
            started_ = false;
            queue_.pop_front();
            Return(hdr, lock);
            continue;
        }
        hdr->dwBytesRecorded += static_cast<std::uint32_t>(got * align);
        frames_ += static_cast<std::uint64_t>(got);
        if (got == room || hdr->dwBufferLength - hdr->dwBytesRecorded < static_cast<std::uint32_t>(align)) {
            queue_.pop_front();
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

bool TStreamWaveInDriver::DriverErrorText(MMRESULT code, char *text, unsigned size) {
    if (code <= ALSAERR_BASE || code - ALSAERR_BASE > 4095) return false;
    const int err = static_cast<int>(code - ALSAERR_BASE);
    CopyDeviceName(text, size, std::strerror(err));
    return true;
}

MMRESULT TStreamWaveInDriver::Open(HWAVEIN *handle, int id, const TWaveFormatEx *format,
                                   TWaveInCallback callback, void *instance, std::uint32_t flags) {
    if (format == nullptr) return MMSYSERR_INVALPARAM;
    if (id < WAVE_MAPPER || id >= static_cast<int>(GetNumDevs())) return MMSYSERR_BADDEVICEID;
    if (format->wFormatTag != WAVE_FORMAT_PCM || format->nChannels == 0 || format->nBlockAlign == 0)
        return WAVERR_BADFORMAT;
    if ((flags & WAVE_FORMAT_QUERY) != 0) return QueryFormat(id, *format);
    if (handle == nullptr) return MMSYSERR_INVALPARAM;
    MMRESULT result = MMSYSERR_NOERROR;
    std::unique_ptr<TCaptureSource> source = MakeSource(id, *format, &result);
    if (!source) return result != MMSYSERR_NOERROR ? result : MMSYSERR_ERROR;
    *handle = new TWaveInStream(id, *format, std::move(source), callback, instance);
    return MMSYSERR_NOERROR;
}

MMRESULT TStreamWaveInDriver::Close(HWAVEIN handle) {
    TWaveInStream *stream = Stream(handle);
    if (stream == nullptr) return MMSYSERR_INVALHANDLE;
    const MMRESULT result = stream->Close();
    if (result == MMSYSERR_NOERROR) delete stream;
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
    return stream->AddBuffer(hdr);
}

MMRESULT TStreamWaveInDriver::Start(HWAVEIN handle) {
    TWaveInStream *stream = Stream(handle);
    return stream == nullptr ? MMSYSERR_INVALHANDLE : stream->Start();
}

MMRESULT TStreamWaveInDriver::Stop(HWAVEIN handle) {
    TWaveInStream *stream = Stream(handle);
    return stream == nullptr ? MMSYSERR_INVALHANDLE : stream->Stop();
}

MMRESULT TStreamWaveInDriver::Reset(HWAVEIN handle) {
    TWaveInStream *stream = Stream(handle);
    return stream == nullptr ? MMSYSERR_INVALHANDLE : stream->Reset();
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
