#include "platform/JackWaveIn.h"

#include "platform/MicrosecondClock.h"

#include <jack/jack.h>
#include <samplerate.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// libjack writes its own diagnostics to stderr; the caller reports failures itself.
void QuietJack(const char *) {}

void SilenceJack() {
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(QuietJack);
        jack_set_info_function(QuietJack);
    });
}

MMRESULT DeviceResult(int err) {
    return ALSAERR_BASE + static_cast<MMRESULT>(err);
}

// A client of the running server, never starting one; null with *err set when none answers.
jack_client_t *OpenClient(int *err) {
    SilenceJack();
    jack_status_t status{};
    jack_client_t *client = jack_client_open(kJackClientName, JackNoStartServer, &status);
    if (client == nullptr) *err = (status & JackServerFailed) != 0 ? ECONNREFUSED : EIO;
    return client;
}

bool IsStereo16(const TWaveFormatEx &format) {
    return format.wBitsPerSample == 16 && format.nChannels == 2 && format.nSamplesPerSec > 0;
}

// One stream's client. Its ports exist from the open; it is activated when capture first
// begins and stays so until it is closed, so connections the operator makes survive a restart
// of capture; between End and Begin the process callback drops what it gets.
class TJackSource : public TCaptureSource {
  public:
    TJackSource(jack_client_t *client, std::uint32_t rate, bool autoConnect)
        : FClient(client), FServerRate(rate), FOutRate(rate), FAutoConnect(autoConnect),
          FRing(std::size_t{rate} * 2 * 2) {}
    ~TJackSource() override {
        jack_client_close(FClient);
        if (FResampler != nullptr) src_delete(FResampler);
    }
    TJackSource(const TJackSource &) = delete;
    TJackSource &operator=(const TJackSource &) = delete;

    // Main thread, before the stream runs: ports, callbacks and the resampler for outRate;
    // 0 or a positive errno.
    int Prepare(std::uint32_t outRate) {
        FOutRate = outRate;
        if (FOutRate != FServerRate) {
            int err = 0;
            FResampler = src_new(SRC_SINC_MEDIUM_QUALITY, 2, &err);
            if (FResampler == nullptr) return ENOMEM;
        }
        for (std::size_t i = 0; i < FPorts.size(); ++i) {
            FPorts[i] = jack_port_register(FClient, i == 0 ? "in_L" : "in_R", JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsInput, 0);
            if (FPorts[i] == nullptr) return EIO;
        }
        if (jack_set_process_callback(FClient, Process, this) != 0) return EIO;
        jack_on_info_shutdown(FClient, Shutdown, this);
        FIn.resize(8192);
        return 0;
    }

    int Begin(long) override {
        if (FGone) return -ESHUTDOWN;
        if (!FActive) {
            if (jack_activate(FClient) != 0) return -EIO;
            FActive = true;
            if (FAutoConnect) ConnectPhysical();
        }
        while (FRing.Read(FIn.data(), FIn.size()) > 0) {
        }
        if (FResampler != nullptr) src_reset(FResampler);
        FPending.clear();
        FPendingBegin = 0;
        FCapturing = true;
        return 0;
    }

    void End() override { FCapturing = false; }

    long Read(char *data, long frames, int timeoutMs) override {
        const std::int64_t deadline = MicrosecondClock() + std::int64_t{timeoutMs} * 1000;
        for (;;) {
            if (FGone) return -ESHUTDOWN;
            Pull();
            if (Pending() >= frames || FWake.exchange(false)) break;
            const std::int64_t now = MicrosecondClock();
            if (now >= deadline) break;
            // Look again when the missing frames are due, and often enough to answer a command.
            const std::int64_t dueUs = (frames - Pending()) * std::int64_t{1000000} / FOutRate;
            std::this_thread::sleep_for(std::chrono::microseconds(
                std::clamp<std::int64_t>(dueUs, 500, std::min<std::int64_t>(5000, deadline - now))));
        }
        const long n = std::min(frames, Pending());
        std::copy_n(FPending.begin() + static_cast<std::ptrdiff_t>(FPendingBegin), n * 2,
                    reinterpret_cast<std::int16_t *>(data));
        FPendingBegin += static_cast<std::size_t>(n) * 2;
        return n;
    }

    void Interrupt() override { FWake = true; }

    // A running server calls every period; two silent seconds mean it hangs or has gone.
    int StallTimeoutMs() const override { return 2000; }

  private:
    // The server's process thread: the ports' buffers (shared memory the server hands over), an
    // atomic load and the ring's copy; no lock, allocation or system call anywhere below.
    static int Process(jack_nframes_t frames, void *arg) {
        auto *self = static_cast<TJackSource *>(arg);
        const auto *left = static_cast<const float *>(jack_port_get_buffer(self->FPorts[0], frames));
        const auto *right = static_cast<const float *>(jack_port_get_buffer(self->FPorts[1], frames));
        if (self->FCapturing.load(std::memory_order_relaxed))
            CopyJackPeriod(left, right, frames, self->FRing, self->FDropped);
        return 0;
    }

    // The server stopped, or threw the client out.
    static void Shutdown(jack_status_t, const char *, void *arg) {
        static_cast<TJackSource *>(arg)->FGone = true;
    }

    void ConnectPhysical() {
        const char **sources =
            jack_get_ports(FClient, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsOutput);
        if (sources == nullptr) return;
        for (std::size_t i = 0; i < FPorts.size() && sources[i] != nullptr; ++i)
            jack_connect(FClient, sources[i], jack_port_name(FPorts[i]));
        jack_free(static_cast<void *>(sources));
    }

    long Pending() const { return static_cast<long>((FPending.size() - FPendingBegin) / 2); }

    // Moves what the ring holds to the pending frames, resampled and converted.
    void Pull() {
        if (FPendingBegin > 0 && FPendingBegin * 2 >= FPending.size()) {
            FPending.erase(FPending.begin(), FPending.begin() + static_cast<std::ptrdiff_t>(FPendingBegin));
            FPendingBegin = 0;
        }
        for (;;) {
            const std::size_t got = FRing.Read(FIn.data(), FIn.size());
            if (got == 0) return;
            if (FResampler == nullptr)
                Append(FIn.data(), got);
            else
                Resample(got / 2);
        }
    }

    void Resample(std::size_t frames) {
        const double ratio = static_cast<double>(FOutRate) / FServerRate;
        FOut.resize(static_cast<std::size_t>(static_cast<double>(frames) * ratio + 64) * 2);
        SRC_DATA step{};
        step.data_in = FIn.data();
        step.input_frames = static_cast<long>(frames);
        step.src_ratio = ratio;
        while (step.input_frames > 0) {
            step.data_out = FOut.data();
            step.output_frames = static_cast<long>(FOut.size() / 2);
            if (src_process(FResampler, &step) != 0) return;
            Append(FOut.data(), static_cast<std::size_t>(step.output_frames_gen) * 2);
            step.data_in += step.input_frames_used * 2;
            step.input_frames -= step.input_frames_used;
            if (step.input_frames_used == 0 && step.output_frames_gen == 0) return;
        }
    }

    void Append(const float *samples, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            FPending.push_back(JackSampleToPcm16(samples[i]));
    }

    jack_client_t *const FClient;
    const std::uint32_t FServerRate;
    std::uint32_t FOutRate;
    const bool FAutoConnect;
    std::array<jack_port_t *, 2> FPorts{};
    bool FActive = false;
    // Shared with the process thread and the server's notifications.
    TSampleRing<float> FRing;
    std::atomic<bool> FCapturing{false};
    std::atomic<bool> FGone{false};
    std::atomic<std::uint32_t> FDropped{0};
    std::atomic<bool> FWake{false};
    // The stream's thread only.
    SRC_STATE *FResampler = nullptr;
    std::vector<float> FIn, FOut;
    std::vector<std::int16_t> FPending; // interleaved, from FPendingBegin on
    std::size_t FPendingBegin = 0;
};

} // namespace

void CopyJackPeriod(const float *left, const float *right, std::size_t frames, TSampleRing<float> &ring,
                    std::atomic<std::uint32_t> &dropped) {
    if (ring.Room() < frames * 2) {
        dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // Interleaved a piece at a time on the stack: the callback may not allocate.
    std::array<float, 512> piece;
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(frames - done, piece.size() / 2);
        for (std::size_t i = 0; i < n; ++i) {
            piece[2 * i] = left[done + i];
            piece[2 * i + 1] = right[done + i];
        }
        ring.Write(piece.data(), n * 2);
        done += n;
    }
}

std::int16_t JackSampleToPcm16(float sample) {
    if (std::isnan(sample)) return 0;
    const long scaled = std::lrint(std::clamp(sample, -2.0f, 2.0f) * 32768.0f);
    return static_cast<std::int16_t>(std::clamp<long>(scaled, -32768, 32767));
}

TJackWaveInDriver::TJackWaveInDriver() {
    SilenceJack();
}

unsigned TJackWaveInDriver::GetNumDevs() {
    int err = 0;
    jack_client_t *probe = OpenClient(&err);
    if (probe == nullptr) {
        FServerRate = 0;
        return 0;
    }
    FServerRate = jack_get_sample_rate(probe);
    jack_client_close(probe);
    return 1;
}

MMRESULT TJackWaveInDriver::GetDevCaps(int id, WAVEINCAPS *caps, unsigned size) {
    if (caps == nullptr || size < sizeof(WAVEINCAPS)) return MMSYSERR_INVALPARAM;
    if (id != 0 && id != WAVE_MAPPER) return MMSYSERR_BADDEVICEID;
    *caps = WAVEINCAPS{};
    CopyDeviceName(caps->szPname, sizeof caps->szPname, kJackDeviceName);
    caps->dwFormats = WAVE_FORMAT_1S16 | WAVE_FORMAT_2S16 | WAVE_FORMAT_4S16;
    caps->wChannels = 2;
    return MMSYSERR_NOERROR;
}

MMRESULT TJackWaveInDriver::QueryFormat(int id, const TWaveFormatEx &format) {
    if (id != 0 && id != WAVE_MAPPER) return MMSYSERR_BADDEVICEID;
    return IsStereo16(format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

std::unique_ptr<TCaptureSource> TJackWaveInDriver::MakeSource(int id, const TWaveFormatEx &format,
                                                              MMRESULT *result) {
    *result = QueryFormat(id, format);
    if (*result != MMSYSERR_NOERROR) return nullptr;
    int err = 0;
    jack_client_t *client = OpenClient(&err);
    if (client == nullptr) {
        *result = DeviceResult(err);
        return nullptr;
    }
    FServerRate = jack_get_sample_rate(client);
    auto source = std::make_unique<TJackSource>(client, FServerRate, FAutoConnect);
    err = source->Prepare(format.nSamplesPerSec);
    if (err != 0) {
        *result = DeviceResult(err);
        return nullptr;
    }
    return source;
}
