#include "platform/AlsaWaveIn.h"
#include "platform/CaptureTiming.h"
#include "platform/MicrosecondClock.h"
#include "platform/WaveInDevices.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstring>

namespace {

// alsa-lib writes its own diagnostics to stderr; the caller reports failures itself.
void QuietAlsa(const char *, int, const char *, int, const char *, ...) {}

std::atomic<int> OverrunCount{0};

constexpr std::uint32_t kAllStandardFormats = 0xFFF;

void SilenceAlsa() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(QuietAlsa); });
}

MMRESULT AlsaResult(int err) {
    return ALSAERR_BASE + static_cast<MMRESULT>(err < 0 ? -err : err);
}

int OpenCapture(const std::string &name, snd_pcm_t **pcm) {
    return snd_pcm_open(pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
}

snd_pcm_format_t AlsaFormat(unsigned bits) {
    switch (bits) {
    case 8:
        return SND_PCM_FORMAT_U8;
    case 16:
        return SND_PCM_FORMAT_S16_LE;
    default:
        return SND_PCM_FORMAT_UNKNOWN;
    }
}

struct THwParams {
    snd_pcm_hw_params_t *Ptr = nullptr;
    THwParams() { snd_pcm_hw_params_malloc(&Ptr); }
    ~THwParams() { snd_pcm_hw_params_free(Ptr); }
    THwParams(const THwParams &) = delete;
    THwParams &operator=(const THwParams &) = delete;
};

// Restricts params to the format; 0 or a negative errno (-EINVAL when the PCM cannot).
int Restrict(snd_pcm_t *pcm, snd_pcm_hw_params_t *params, unsigned bits, unsigned channels, unsigned rate) {
    const snd_pcm_format_t format = AlsaFormat(bits);
    if (format == SND_PCM_FORMAT_UNKNOWN) return -EINVAL;
    int err = snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (err >= 0) err = snd_pcm_hw_params_set_format(pcm, params, format);
    if (err >= 0) err = snd_pcm_hw_params_set_channels(pcm, params, channels);
    if (err >= 0) err = snd_pcm_hw_params_set_rate(pcm, params, rate, 0);
    return err < 0 ? err : 0;
}

bool CanRecord(snd_pcm_t *pcm, const snd_pcm_hw_params_t *any, unsigned bits, unsigned channels,
               unsigned rate) {
    THwParams params;
    snd_pcm_hw_params_copy(params.Ptr, any);
    return Restrict(pcm, params.Ptr, bits, channels, rate) == 0;
}

// An eventfd that ends a poll: the stream's commands interrupt a waiting read with it.
class TWakeFd {
  public:
    TWakeFd() : FFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~TWakeFd() {
        if (FFd >= 0) close(FFd);
    }
    TWakeFd(const TWakeFd &) = delete;
    TWakeFd &operator=(const TWakeFd &) = delete;

    int Fd() const { return FFd; }
    void Signal() {
        const std::uint64_t one = 1;
        if (FFd >= 0) (void)!write(FFd, &one, sizeof one);
    }
    void Drain() {
        std::uint64_t count = 0;
        if (FFd >= 0) (void)!read(FFd, &count, sizeof count);
    }

  private:
    const int FFd;
};

// A capture PCM read by the stream's thread. Everything the device holds is taken at
// every look and kept here until handed over: a sound server's client that still holds
// a half-read block when the server goes away stalls for seconds.
class TAlsaSource : public TCaptureSource {
  public:
    TAlsaSource(snd_pcm_t *pcm, const TWaveFormatEx &format)
        : FPcm(pcm), FFormat(format), FAlign(std::max<long>(format.nBlockAlign, 1)),
          FRate(std::max<long>(format.nSamplesPerSec, 1)) {}
    ~TAlsaSource() override { snd_pcm_close(FPcm); }

    // Sets the format and periods that fit buffers of bufferFrames (0: not known yet); 0 or a
    // negative errno. Main thread before the stream runs, then the stream's thread.
    int Configure(long bufferFrames) {
        THwParams params;
        int err = snd_pcm_hw_params_any(FPcm, params.Ptr);
        if (err >= 0)
            err =
                Restrict(FPcm, params.Ptr, FFormat.wBitsPerSample, FFormat.nChannels, FFormat.nSamplesPerSec);
        const TCapturePeriods want = ChooseCapturePeriods(bufferFrames, FFormat.nSamplesPerSec);
        auto period = static_cast<snd_pcm_uframes_t>(want.Period);
        auto ring = static_cast<snd_pcm_uframes_t>(want.Buffer);
        int dir = 0;
        if (err >= 0) err = snd_pcm_hw_params_set_period_size_near(FPcm, params.Ptr, &period, &dir);
        if (err >= 0) err = snd_pcm_hw_params_set_buffer_size_near(FPcm, params.Ptr, &ring);
        if (err >= 0) err = snd_pcm_hw_params(FPcm, params.Ptr);
        if (err >= 0) err = snd_pcm_hw_params_get_period_size(params.Ptr, &period, &dir);
        if (err < 0) return err;
        FPeriod = static_cast<long>(period);
        FConfiguredFor = bufferFrames;
        FRest.Clear();
        return 0;
    }

    int Begin(long bufferFrames) override {
        int err = bufferFrames > 0 && bufferFrames != FConfiguredFor ? Configure(bufferFrames) : 0;
        if (err >= 0) err = snd_pcm_prepare(FPcm);
        if (err >= 0) err = snd_pcm_start(FPcm);
        FPacer.Reset();
        return err < 0 ? err : 0;
    }
    void End() override {
        snd_pcm_drop(FPcm);
        FStagedBegin = FStagedEnd = 0;
    }

    long Read(char *data, long frames, int timeoutMs) override {
        if (snd_pcm_state(FPcm) == SND_PCM_STATE_DISCONNECTED) return -ENODEV;
        const std::int64_t deadline = MicrosecondClock() + std::int64_t{timeoutMs} * 1000;
        // The rest of the buffer, but no more than a period: a device need not signal more at once.
        const long wanted = std::min(frames, FPeriod);
        bool interrupted = false;
        if (FPacer.Planned()) {
            const std::int64_t look = FPacer.NextLookUs();
            const std::int64_t now = MicrosecondClock();
            if (look > now) interrupted = Sleep(std::min(look, deadline) - now) == kInterrupted;
            if (!interrupted && MicrosecondClock() < look) return 0; // the read's time is up first
        }
        bool late = !FPacer.Planned();
        snd_pcm_sframes_t avail = 0;
        if (!interrupted) {
            const long err = Look(wanted, deadline, late, avail);
            if (err < 0) return err;
        } else {
            avail = snd_pcm_avail_update(FPcm);
            if (avail < 0) return Recover(static_cast<int>(avail));
        }
        if (avail > 0) {
            const long err = Stage(avail);
            if (err < 0) return err;
        }
        const long surplus = Staged() - wanted;
        const long got = Unstage(data, frames);
        if (got >= wanted && !interrupted)
            FPacer.HandedOver(MicrosecondClock(), got * 1000000L / FRate, late, surplus * 1000000L / FRate);
        return got;
    }

    void Interrupt() override { FWake.Signal(); }

    // A running PCM delivers every period; two silent seconds mean the server or card is gone.
    int StallTimeoutMs() const override { return 2000; }

  private:
    static constexpr int kTimedOut = 0;
    static constexpr int kReady = 1;
    static constexpr int kInterrupted = 2;

    long Staged() const { return FStagedEnd - FStagedBegin; }
    std::int64_t DueUs(long frames) const { return std::int64_t{frames} * 1000000 / FRate; }

    // Waits until wanted frames are staged or held by the device, the deadline passes or a
    // command interrupts. late: set when they were not there at once. 0 or a negative errno;
    // avail: the frames the device holds.
    long Look(long wanted, std::int64_t deadline, bool &late, snd_pcm_sframes_t &avail) {
        // Set once the device has signalled: it may count its periods a little shorter than
        // ours, and then only the clock tells when to look again (see TRestWait).
        std::int64_t signalled = 0;
        int sleeps = 0; // since the signal
        int waits = 0;  // that ended without the frames
        for (;;) {
            avail = snd_pcm_avail_update(FPcm);
            if (avail < 0) return Recovered(static_cast<int>(avail), avail);
            if (Staged() + avail >= wanted) {
                if (sleeps > 0) FRest.Add(static_cast<long>(MicrosecondClock() - signalled));
                return 0;
            }
            late = true;
            const std::int64_t now = MicrosecondClock();
            if (now >= deadline) return 0;
            const std::int64_t missingUs = DueUs(wanted - Staged() - static_cast<long>(avail));
            const std::int64_t stepUs = TRestWait::StepUs(waits++);
            int woke;
            if (signalled == 0) {
                // The device's signal, or the time the frames are due when it signals later.
                woke = Wait(std::min(deadline - now, std::max(missingUs, stepUs)));
                if (woke == kReady) signalled = MicrosecondClock();
            } else {
                woke =
                    Sleep(std::min(deadline - now, sleeps++ == 0 ? FRest.FirstSleepUs(missingUs) : stepUs));
            }
            if (woke < 0) return Recovered(woke, avail);
            if (woke == kInterrupted) return 0;
        }
    }

    // Recover for Look: the device holds nothing usable afterwards.
    long Recovered(int err, snd_pcm_sframes_t &avail) {
        avail = 0;
        return Recover(err);
    }

    // Reads the avail frames the device holds onto the staged ones; 0 or a negative errno.
    long Stage(snd_pcm_sframes_t avail) {
        if (FStagedBegin > 0) {
            std::memmove(FStaged.data(), FStaged.data() + FStagedBegin * FAlign,
                         static_cast<std::size_t>(Staged() * FAlign));
            FStagedEnd -= FStagedBegin;
            FStagedBegin = 0;
        }
        FStaged.resize(static_cast<std::size_t>((FStagedEnd + avail) * FAlign));
        const snd_pcm_sframes_t got =
            snd_pcm_readi(FPcm, FStaged.data() + FStagedEnd * FAlign, static_cast<snd_pcm_uframes_t>(avail));
        if (got == -EAGAIN) return 0;
        if (got < 0) return Recover(static_cast<int>(got));
        FStagedEnd += static_cast<long>(got);
        return 0;
    }

    // Hands over up to frames staged frames; the number handed over.
    long Unstage(char *data, long frames) {
        const long n = std::min(frames, Staged());
        if (n <= 0) return 0;
        std::memcpy(data, FStaged.data() + FStagedBegin * FAlign, static_cast<std::size_t>(n * FAlign));
        FStagedBegin += n;
        return n;
    }

    // Waits up to us for the device to signal frames: kReady, kTimedOut, kInterrupted or a
    // negative errno.
    int Wait(std::int64_t us) {
        const int count = snd_pcm_poll_descriptors_count(FPcm);
        if (count < 0) return count;
        FFds.resize(static_cast<std::size_t>(count) + 1);
        const int filled = snd_pcm_poll_descriptors(FPcm, FFds.data(), static_cast<unsigned>(count));
        if (filled < 0) return filled;
        FFds[count] = pollfd{FWake.Fd(), POLLIN, 0};
        const std::int64_t deadline = MicrosecondClock() + us;
        for (;;) {
            const timespec left = Span(std::max<std::int64_t>(0, deadline - MicrosecondClock()));
            const int n = ppoll(FFds.data(), FFds.size(), &left, nullptr);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return -errno;
            if (n == 0) return kTimedOut;
            if (FFds[count].revents != 0) {
                FWake.Drain();
                return kInterrupted;
            }
            unsigned short revents = 0;
            const int err =
                snd_pcm_poll_descriptors_revents(FPcm, FFds.data(), static_cast<unsigned>(count), &revents);
            if (err < 0) return err;
            if ((revents & (POLLERR | POLLNVAL)) != 0) return StateError();
            if ((revents & POLLIN) != 0) return kReady;
            // A wake-up of the plugin's own, with nothing for the reader yet.
            if (left.tv_sec == 0 && left.tv_nsec == 0) return kTimedOut;
        }
    }

    // Sleeps us microseconds unless interrupted: kTimedOut or kInterrupted.
    int Sleep(std::int64_t us) {
        pollfd fd{FWake.Fd(), POLLIN, 0};
        const timespec span = Span(us);
        if (ppoll(&fd, 1, &span, nullptr) <= 0) return kTimedOut;
        FWake.Drain();
        return kInterrupted;
    }

    static timespec Span(std::int64_t us) {
        return timespec{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
    }

    // Why the device reported an error on its poll descriptors.
    int StateError() {
        switch (snd_pcm_state(FPcm)) {
        case SND_PCM_STATE_XRUN:
            return -EPIPE;
        case SND_PCM_STATE_SUSPENDED:
            return -ESTRPIPE;
        case SND_PCM_STATE_DISCONNECTED:
            return -ENODEV;
        default:
            return -EIO;
        }
    }

    // An overrun loses samples but not the stream: prepare and start again.
    long Recover(int err) {
        if (err == -ENODEV || err == -EBADFD) return err;
        if (err == -EPIPE) ++OverrunCount;
        if (snd_pcm_recover(FPcm, err, 1) < 0) return err;
        FPacer.Reset();
        const int restarted = snd_pcm_start(FPcm);
        return restarted < 0 && restarted != -EBADFD ? restarted : 0;
    }

    snd_pcm_t *const FPcm;
    const TWaveFormatEx FFormat;
    const long FAlign; // bytes per frame
    const long FRate;  // frames per second
    TWakeFd FWake;
    std::vector<pollfd> FFds;
    TCapturePacer FPacer;
    TRestWait FRest;
    // Frames read from the device and not handed over yet: [FStagedBegin, FStagedEnd).
    std::vector<char> FStaged;
    long FStagedBegin = 0;
    long FStagedEnd = 0;
    long FPeriod = 1;        // frames per period of the current set-up
    long FConfiguredFor = 0; // the buffer length the set-up was chosen for
};

} // namespace

TAlsaWaveInDriver::TAlsaWaveInDriver() {
    SilenceAlsa();
}

int TAlsaWaveInDriver::Overruns() {
    return OverrunCount;
}

unsigned TAlsaWaveInDriver::GetNumDevs() {
    std::vector<std::string> names;
    void **hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) >= 0) {
        for (void **h = hints; *h != nullptr; ++h) {
            char *name = snd_device_name_get_hint(*h, "NAME");
            char *ioid = snd_device_name_get_hint(*h, "IOID");
            // "null" delivers full frames without writing them: no source for a meter. Opening
            // "jack" tries to start a JACK server and writes to stderr, so it is not probed.
            const bool capture = name != nullptr && (ioid == nullptr || std::strcmp(ioid, "Input") == 0) &&
                                 std::strcmp(name, "null") != 0 && std::strcmp(name, "jack") != 0;
            if (capture) names.emplace_back(name);
            std::free(name);
            std::free(ioid);
        }
        snd_device_name_free_hint(hints);
    }
    names.erase(std::remove(names.begin(), names.end(), "default"), names.end());
    names.insert(names.begin(), "default");
    // Only PCMs that open (or are merely busy) count: the hints also list plugins with nothing behind them.
    std::vector<std::string> usable = KeepOpenable(
        names,
        [](const std::string &name) {
            snd_pcm_t *pcm = nullptr;
            const int err = OpenCapture(name, &pcm);
            if (err >= 0) snd_pcm_close(pcm);
            return err >= 0 || err == -EBUSY;
        },
        std::chrono::milliseconds(150));
    std::lock_guard lock(FMutex);
    FNames = std::move(usable);
    FEnumerated = true;
    return static_cast<unsigned>(FNames.size());
}

std::string TAlsaWaveInDriver::PcmName(int id) {
    if (id == WAVE_MAPPER) return "default";
    {
        std::lock_guard lock(FMutex);
        if (FEnumerated) return id >= 0 && id < static_cast<int>(FNames.size()) ? FNames[id] : std::string();
    }
    GetNumDevs();
    return PcmName(id);
}

MMRESULT TAlsaWaveInDriver::GetDevCaps(int id, WAVEINCAPS *caps, unsigned size) {
    if (caps == nullptr || size < sizeof(WAVEINCAPS)) return MMSYSERR_INVALPARAM;
    const std::string name = PcmName(id);
    if (name.empty()) return MMSYSERR_BADDEVICEID;
    *caps = WAVEINCAPS{};
    CopyDeviceName(caps->szPname, sizeof caps->szPname, name.c_str());
    snd_pcm_t *pcm = nullptr;
    const int err = OpenCapture(name, &pcm);
    if (err < 0) {
        if (err == -EINVAL) return AlsaResult(err);
        std::lock_guard lock(FMutex);
        const auto probed = FProbed.find(name);
        if (probed != FProbed.end()) {
            *caps = probed->second;
        } else {
            caps->dwFormats = kAllStandardFormats;
            caps->wChannels = 2;
        }
        return MMSYSERR_NOERROR;
    }
    THwParams any;
    if (snd_pcm_hw_params_any(pcm, any.Ptr) >= 0) {
        static const unsigned bandRates[3][2] = {{11025, 11025}, {22050, 22050}, {44100, 48000}};
        for (unsigned bits : {8u, 16u})
            for (unsigned channels : {1u, 2u})
                for (const auto &rates : bandRates)
                    if (CanRecord(pcm, any.Ptr, bits, channels, rates[0]) ||
                        CanRecord(pcm, any.Ptr, bits, channels, rates[1]))
                        caps->dwFormats |= StandardFormatBit(rates[0], channels, bits);
        unsigned maxChannels = 0;
        snd_pcm_hw_params_get_channels_max(any.Ptr, &maxChannels);
        caps->wChannels = static_cast<std::uint16_t>(std::min(maxChannels, 2u));
    }
    snd_pcm_close(pcm);
    std::lock_guard lock(FMutex);
    FProbed[name] = *caps;
    return MMSYSERR_NOERROR;
}

MMRESULT TAlsaWaveInDriver::QueryFormat(int id, const TWaveFormatEx &format) {
    const std::string name = PcmName(id);
    if (name.empty()) return MMSYSERR_BADDEVICEID;
    snd_pcm_t *pcm = nullptr;
    const int err = OpenCapture(name, &pcm);
    if (err < 0) return err == -EINVAL ? AlsaResult(err) : MMSYSERR_NOERROR;
    THwParams any;
    const bool ok = snd_pcm_hw_params_any(pcm, any.Ptr) >= 0 &&
                    CanRecord(pcm, any.Ptr, format.wBitsPerSample, format.nChannels, format.nSamplesPerSec);
    snd_pcm_close(pcm);
    return ok ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

std::unique_ptr<TCaptureSource> TAlsaWaveInDriver::MakeSource(int id, const TWaveFormatEx &format,
                                                              MMRESULT *result) {
    const std::string name = PcmName(id);
    if (name.empty()) {
        *result = MMSYSERR_BADDEVICEID;
        return nullptr;
    }
    snd_pcm_t *pcm = nullptr;
    int err = OpenCapture(name, &pcm);
    if (err < 0) {
        *result = AlsaResult(err);
        return nullptr;
    }
    auto source = std::make_unique<TAlsaSource>(pcm, format);
    THwParams any;
    err = snd_pcm_hw_params_any(pcm, any.Ptr);
    if (err >= 0 &&
        !CanRecord(pcm, any.Ptr, format.wBitsPerSample, format.nChannels, format.nSamplesPerSec)) {
        *result = WAVERR_BADFORMAT;
        return nullptr;
    }
    // Until the stream starts with its buffers queued, short periods.
    if (err >= 0) err = source->Configure(0);
    if (err < 0) {
        *result = AlsaResult(err);
        return nullptr;
    }
    *result = MMSYSERR_NOERROR;
    return source;
}
