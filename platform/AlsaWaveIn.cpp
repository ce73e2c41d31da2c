#include "platform/AlsaWaveIn.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace {

// alsa-lib writes its own diagnostics to stderr; the caller reports failures itself.
void QuietAlsa(const char *, int, const char *, int, const char *, ...) {}

std::atomic<int> OverrunCount{0};

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
    snd_pcm_hw_params_t *p = nullptr;
    THwParams() { snd_pcm_hw_params_malloc(&p); }
    ~THwParams() { snd_pcm_hw_params_free(p); }
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
    snd_pcm_hw_params_copy(params.p, any);
    return Restrict(pcm, params.p, bits, channels, rate) == 0;
}

class TAlsaSource : public TCaptureSource {
  public:
    explicit TAlsaSource(snd_pcm_t *pcm) : pcm_(pcm) {}
    ~TAlsaSource() override { snd_pcm_close(pcm_); }

    int Begin() override {
        int err = snd_pcm_prepare(pcm_);
        if (err >= 0) err = snd_pcm_start(pcm_);
        return err < 0 ? err : 0;
    }
    void End() override { snd_pcm_drop(pcm_); }

    long Read(char *data, long frames, int timeoutMs) override {
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_DISCONNECTED) return -ENODEV;
        int ready = snd_pcm_wait(pcm_, timeoutMs);
        if (ready < 0) return Recover(ready);
        snd_pcm_sframes_t got = snd_pcm_readi(pcm_, data, static_cast<snd_pcm_uframes_t>(frames));
        if (got == -EAGAIN) return 0;
        if (got < 0) return Recover(static_cast<int>(got));
        return static_cast<long>(got);
    }

    // A running PCM delivers every period; two silent seconds mean the server or card is gone.
    int StallTimeoutMs() const override { return 2000; }

  private:
    // An overrun loses samples but not the stream: prepare and start again.
    long Recover(int err) {
        if (err == -ENODEV || err == -EBADFD) return err;
        if (err == -EPIPE) ++OverrunCount;
        if (snd_pcm_recover(pcm_, err, 1) < 0) return err;
        const int restarted = snd_pcm_start(pcm_);
        return restarted < 0 && restarted != -EBADFD ? restarted : 0;
    }
    snd_pcm_t *pcm_;
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
    std::vector<std::string> usable;
    for (const std::string &name : names) {
        snd_pcm_t *pcm = nullptr;
        const int err = OpenCapture(name, &pcm);
        if (err >= 0) snd_pcm_close(pcm);
        if (err >= 0 || err == -EBUSY) usable.push_back(name);
    }
    std::lock_guard lock(mutex_);
    names_ = std::move(usable);
    enumerated_ = true;
    return static_cast<unsigned>(names_.size());
}

std::string TAlsaWaveInDriver::PcmName(int id) {
    if (id == WAVE_MAPPER) return "default";
    {
        std::lock_guard lock(mutex_);
        if (enumerated_) return id >= 0 && id < static_cast<int>(names_.size()) ? names_[id] : std::string();
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
    if (err < 0) return AlsaResult(err);
    THwParams any;
    if (snd_pcm_hw_params_any(pcm, any.p) >= 0) {
        static const unsigned bandRates[3][2] = {{11025, 11025}, {22050, 22050}, {44100, 48000}};
        for (unsigned bits : {8u, 16u})
            for (unsigned channels : {1u, 2u})
                for (const auto &rates : bandRates)
                    if (CanRecord(pcm, any.p, bits, channels, rates[0]) ||
                        CanRecord(pcm, any.p, bits, channels, rates[1]))
                        caps->dwFormats |= StandardFormatBit(rates[0], channels, bits);
        unsigned maxChannels = 0;
        snd_pcm_hw_params_get_channels_max(any.p, &maxChannels);
        caps->wChannels = static_cast<std::uint16_t>(std::min(maxChannels, 2u));
    }
    snd_pcm_close(pcm);
    return MMSYSERR_NOERROR;
}

MMRESULT TAlsaWaveInDriver::QueryFormat(int id, const TWaveFormatEx &format) {
    const std::string name = PcmName(id);
    if (name.empty()) return MMSYSERR_BADDEVICEID;
    snd_pcm_t *pcm = nullptr;
    const int err = OpenCapture(name, &pcm);
    if (err < 0) return AlsaResult(err);
    THwParams any;
    const bool ok = snd_pcm_hw_params_any(pcm, any.p) >= 0 &&
                    CanRecord(pcm, any.p, format.wBitsPerSample, format.nChannels, format.nSamplesPerSec);
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
    auto source = std::make_unique<TAlsaSource>(pcm);
    THwParams params;
    err = snd_pcm_hw_params_any(pcm, params.p);
    if (err >= 0)
        err = Restrict(pcm, params.p, format.wBitsPerSample, format.nChannels, format.nSamplesPerSec);
    if (err == -EINVAL) {
        *result = WAVERR_BADFORMAT;
        return nullptr;
    }
    // A quarter second of device buffer rides out a busy machine; 10 ms periods keep arrival smooth.
    unsigned bufferUs = 250000, periodUs = 10000;
    int dir = 0;
    if (err >= 0) err = snd_pcm_hw_params_set_buffer_time_near(pcm, params.p, &bufferUs, &dir);
    if (err >= 0) err = snd_pcm_hw_params_set_period_time_near(pcm, params.p, &periodUs, &dir);
    if (err >= 0) err = snd_pcm_hw_params(pcm, params.p);
    if (err < 0) {
        *result = AlsaResult(err);
        return nullptr;
    }
    *result = MMSYSERR_NOERROR;
    return source;
}

bool TAlsaWaveInDriver::DriverErrorText(MMRESULT code, char *text, unsigned size) {
    if (code <= ALSAERR_BASE || code - ALSAERR_BASE > 4095) return false;
    CopyDeviceName(text, size, snd_strerror(-static_cast<int>(code - ALSAERR_BASE)));
    return true;
}
