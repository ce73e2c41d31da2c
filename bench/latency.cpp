// Sound to screen: how long a step from silence to full scale takes from the
// moment the driver hands over the buffer holding it (its data notification) to
// the moment the console's left PEAK bar, lit to the top by it, is on the screen
// (the put of its picture on the window, or, where it goes through the toolkit, the
// bar's paint and the flush of the window's backing store that follows it).
//
// The whole console is built, as the program builds it, on a capture driver
// that timestamps each data notification before the wave input sees it:
//   sim   the simulated driver playing a step file in real time;
//   alsa  ALSA's "default" (the monitor of a PulseAudio null sink), while paplay
//         plays the same file into the sink;
//   jack  the JACK input on the running server (JACK_DEFAULT_SERVER), while a client of
//         this program plays the same steps into its port in_L. Here the delay from the
//         period that carried the step into the server (its process call plus the step's
//         place in the period) to the screen is reported as well.
// The file repeats 300 ms of silence and 100 ms of a full-scale 1 kHz square:
// the bar falls to about 44 of its 71 spots between steps and each step lights
// all 71. The step's place in its buffer is reported too: the connector hands
// the block holding it out when its time within the buffer has come, so up to a
// buffer (42.7 ms) of the figure is the pacing. "missed" counts steps found in
// the stream that a later step overtook before the bar showed them full.
//
// Needs an X display (bench/latency.sh starts Xvfb and the sound server); without
// DISPLAY it runs on Qt's offscreen platform, where nothing is flushed.
// Usage: bench_latency sim|alsa|jack [steps=200]

#include "app/Application.h"
#include "app/DeviceChoice.h"
#include "app/Forms.h"
#include "app/MainFrm.h"
#include "app/MeterPnl.h"
#include "app/Settings.h"
#include "audio/MMWaveIn.h"
#include "platform/JackWaveIn.h"
#include "platform/MicrosecondClock.h"
#include "platform/SimWaveIn.h"
#include "widgets/MMFrameClock.h"

#include <jack/jack.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kSilenceMs = 300;
constexpr int kStepMs = 100;
constexpr int kBlockFrames = 50; // the PEAK bar's block
constexpr int kWarmUpSteps = 3;  // a fresh stream settles first
constexpr double kTargetMs = 8192.0 / (4.0 * kRate) * 1000.0 + 1000.0 / 60.0;

// Writes the step file: `seconds` of 300 ms silence and 100 ms full-scale square, stereo.
bool WriteStepFile(const std::string &path, int seconds) {
    const std::uint32_t frames = static_cast<std::uint32_t>(seconds) * kRate;
    const int period = (kSilenceMs + kStepMs) * kRate / 1000;
    const int silence = kSilenceMs * kRate / 1000;
    std::ofstream out(path, std::ios::binary);
    const auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char *>(&v), 4); };
    const auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char *>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + frames * 4);
    out.write("WAVEfmt ", 8);
    u32(16), u16(1), u16(2), u32(kRate), u32(kRate * 4), u16(4), u16(16);
    out.write("data", 4);
    u32(frames * 4);
    std::vector<std::int16_t> samples;
    samples.reserve(static_cast<std::size_t>(frames) * 2);
    for (std::uint32_t n = 0; n < frames; ++n) {
        const int at = static_cast<int>(n % period);
        const std::int16_t v = at < silence ? 0 : ((at - silence) / 24 % 2 == 0 ? 32767 : -32767);
        samples.push_back(v);
        samples.push_back(v);
    }
    out.write(reinterpret_cast<const char *>(samples.data()),
              static_cast<std::streamsize>(samples.size() * sizeof(std::int16_t)));
    return static_cast<bool>(out);
}

// A step as the driver handed it over: when, and how far into its buffer the bar's block
// holding it lies (the connector hands that block out so long after the arrival).
struct TStepArrival {
    std::int64_t Us;
    double OffsetMs;
    std::int64_t SoundUs; // when it went into the JACK graph (0: not known)
};

// A JACK client playing the step file's left channel into VelmoraPro:in_L, noting when each step
// goes out: its period's process call plus the step's place in the period.
class TJackStepPlayer {
  public:
    TJackStepPlayer() {
        jack_status_t status{};
        FClient = jack_client_open("steps", JackNoStartServer, &status);
        if (FClient == nullptr) return;
        FPort = jack_port_register(FClient, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        FRate = static_cast<int>(jack_get_sample_rate(FClient));
        jack_set_process_callback(FClient, Process, this);
        FPlaying = jack_activate(FClient) == 0 &&
                   jack_connect(FClient, jack_port_name(FPort), "VelmoraPro:in_L") == 0;
    }
    ~TJackStepPlayer() {
        if (FClient != nullptr) jack_client_close(FClient);
    }
    TJackStepPlayer(const TJackStepPlayer &) = delete;
    TJackStepPlayer &operator=(const TJackStepPlayer &) = delete;

    bool Playing() const { return FPlaying; }
    // Any thread: when the latest step went out (0: none yet).
    std::int64_t LastStepUs() const { return FLastStepUs; }

  private:
    static int Process(jack_nframes_t frames, void *arg) {
        auto *self = static_cast<TJackStepPlayer *>(arg);
        const std::int64_t now = MicrosecondClock();
        auto *out = static_cast<float *>(jack_port_get_buffer(self->FPort, frames));
        const long period = static_cast<long>(kSilenceMs + kStepMs) * self->FRate / 1000;
        const long silence = static_cast<long>(kSilenceMs) * self->FRate / 1000;
        for (jack_nframes_t i = 0; i < frames; ++i, ++self->FFrame) {
            const long at = static_cast<long>(self->FFrame % period);
            if (at == silence) self->FLastStepUs = now + std::int64_t{i} * 1000000 / self->FRate;
            out[i] = at < silence ? 0.0f : ((at - silence) / 24 % 2 == 0 ? 0.99997f : -0.99997f);
        }
        return 0;
    }

    jack_client_t *FClient = nullptr;
    jack_port_t *FPort = nullptr;
    int FRate = kRate;
    std::uint64_t FFrame = 0; // process thread
    std::atomic<std::int64_t> FLastStepUs{0};
    bool FPlaying = false;
};

// Passes every call to another driver, and tells `OnData` of each filled buffer
// on the driver's thread, before the wave input hears of it.
class TTappedDriver : public TWaveInDriver {
  public:
    using TDataTap = std::function<void(std::int64_t us, const WAVEHDR &hdr)>;

    TTappedDriver(TWaveInDriver &inner, TDataTap tap) : FInner(inner), FTap(std::move(tap)) {}

    unsigned GetNumDevs() override { return FInner.GetNumDevs(); }
    MMRESULT GetDevCaps(int id, WAVEINCAPS *caps, unsigned size) override {
        return FInner.GetDevCaps(id, caps, size);
    }
    MMRESULT GetErrorText(MMRESULT code, char *text, unsigned size) override {
        return FInner.GetErrorText(code, text, size);
    }
    MMRESULT Open(HWAVEIN *handle, int id, const TWaveFormatEx *format, TWaveInCallback callback,
                  void *instance, std::uint32_t flags) override {
        if ((flags & WAVE_FORMAT_QUERY) != 0 || callback == nullptr)
            return FInner.Open(handle, id, format, callback, instance, flags);
        // One relay per open, kept for the driver's life: a late notification finds it.
        FRelays.push_back(std::make_unique<TRelay>(TRelay{this, callback, instance}));
        return FInner.Open(handle, id, format, &Relay, FRelays.back().get(), flags);
    }
    MMRESULT Close(HWAVEIN handle) override { return FInner.Close(handle); }
    MMRESULT PrepareHeader(HWAVEIN handle, PWaveHdr hdr, unsigned size) override {
        return FInner.PrepareHeader(handle, hdr, size);
    }
    MMRESULT UnprepareHeader(HWAVEIN handle, PWaveHdr hdr, unsigned size) override {
        return FInner.UnprepareHeader(handle, hdr, size);
    }
    MMRESULT AddBuffer(HWAVEIN handle, PWaveHdr hdr, unsigned size) override {
        return FInner.AddBuffer(handle, hdr, size);
    }
    MMRESULT Start(HWAVEIN handle) override { return FInner.Start(handle); }
    MMRESULT Stop(HWAVEIN handle) override { return FInner.Stop(handle); }
    MMRESULT Reset(HWAVEIN handle) override { return FInner.Reset(handle); }
    MMRESULT GetPosition(HWAVEIN handle, MMTIME *time, unsigned size) override {
        return FInner.GetPosition(handle, time, size);
    }
    MMRESULT GetID(HWAVEIN handle, int *id) override { return FInner.GetID(handle, id); }

  private:
    struct TRelay {
        TTappedDriver *Driver;
        TWaveInCallback Callback;
        void *Instance;
    };
    static void Relay(HWAVEIN handle, unsigned message, void *instance, PWaveHdr hdr) {
        auto *relay = static_cast<TRelay *>(instance);
        if (message == MM_WIM_DATA && hdr != nullptr) relay->Driver->FTap(MicrosecondClock(), *hdr);
        relay->Callback(handle, message, relay->Instance, hdr);
    }

    TWaveInDriver &FInner;
    TDataTap FTap;
    std::vector<std::unique_ptr<TRelay>> FRelays; // main thread (Open)
};

// Finds the steps in the captured stream (the driver's thread) and queues their arrivals.
class TStepFinder {
  public:
    // Main thread: the player whose steps are found (none: times unknown).
    void SetPlayer(const TJackStepPlayer *player) { FPlayer = player; }

    void Scan(std::int64_t us, const WAVEHDR &hdr) {
        const auto *samples = reinterpret_cast<const std::int16_t *>(hdr.lpData);
        const TJackStepPlayer *player = FPlayer;
        const std::uint32_t frames = hdr.dwBytesRecorded / 4;
        for (std::uint32_t f = 0; f < frames; ++f) {
            const int left = std::abs(static_cast<int>(samples[2 * f]));
            if (FQuiet && left >= 16384) {
                // The bar's blocks run on across buffers: the one holding the step may have
                // begun in the buffer before, and is then due when this one arrives.
                const std::int64_t at = FStreamFrames + f;
                const std::int64_t begins = std::max<std::int64_t>(0, at - at % kBlockFrames - FStreamFrames);
                std::lock_guard lock(FLock);
                FArrivals.push_back({us, begins * 1000.0 / kRate, player ? player->LastStepUs() : 0});
            }
            // Quiet once the signal has stayed low for 100 ms: a square wave crosses zero, and
            // a short drop-out within a step is no new step.
            FLowRun = left < 1000 ? FLowRun + 1 : 0;
            FQuiet = FLowRun >= kRate / 10;
        }
        FStreamFrames += frames;
    }
    // Main thread: the latest step that arrived by `now`; earlier ones never lit the bar.
    bool Take(std::int64_t now, TStepArrival &step, int &missed) {
        std::lock_guard lock(FLock);
        bool found = false;
        while (!FArrivals.empty() && FArrivals.front().Us <= now) {
            missed += found ? 1 : 0;
            step = FArrivals.front();
            found = true;
            FArrivals.pop_front();
        }
        return found;
    }

  private:
    std::atomic<const TJackStepPlayer *> FPlayer{nullptr};
    int FLowRun = 0;     // driver's thread
    bool FQuiet = false; // driver's thread: the first step is seen only after silence
    std::mutex FLock;    // guards FArrivals
    std::deque<TStepArrival> FArrivals;
    std::int64_t FStreamFrames = 0; // the driver's thread: frames before this buffer
};

// Watches the bar's pictures put on the window, its paints and its window's
// backing-store syncs: the first picture that shows the bar full after one that did
// not ends a step's journey, when it was put, or at the end of the sync that carried
// its paint (or of the paint, when it came by itself).
class TScreenWatch : public QObject {
  public:
    TScreenWatch(TMMLevel &bar, TStepFinder &finder) : FBar(bar), FFinder(finder) {
        FBar.installEventFilter(this);
        // Fired as the bar is drawn into its work bitmap, its new position already taken.
        FBar.SetOnPaint([this](TObject *) {
            const bool full = Full();
            if (full && !FDrawnFull) FDrawnAt = MicrosecondClock();
            FDrawnFull = full;
        });
        connect(&TMMFrameClock::Screen(), &TMMFrameClock::PutOnWindow, this, [this](QWidget *widget) {
            if (widget == &FBar) Painted(MicrosecondClock());
        });
    }

    std::vector<double> LatencyMs, PaintMs, DrawnMs, OffsetMs, SoundMs;
    int Missed = 0;
    int Unmatched = 0; // full bars without a step behind them

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        const bool paint = watched == &FBar && event->type() == QEvent::Paint;
        const bool sync = watched == FBar.window() && event->type() == QEvent::UpdateRequest;
        if (!paint && !sync) return false;
        if (sync) ++FSyncDepth;
        // Deliver it here, so the time taken is the one after the picture went out.
        static_cast<QObject *>(watched)->event(event);
        const std::int64_t now = MicrosecondClock();
        if (paint) Painted(now);
        if (sync && --FSyncDepth == 0 && FPaintedAt != 0) Shown(now);
        return true;
    }

  private:
    bool Full() const { return FBar.State().BarPosition() == FBar.State().Geometry().BarSpots; }
    void Painted(std::int64_t now) {
        // The bar's window changes when the console adopts the meter panel.
        if (FBar.window() != FWindow) {
            FWindow = FBar.window();
            FWindow->installEventFilter(this);
        }
        const bool full = Full();
        if (full && !FFull) {
            FPaintedAt = now;
            if (FSyncDepth == 0) Shown(now);
        }
        FFull = full;
    }
    void Shown(std::int64_t now) {
        TStepArrival step{};
        if (FFinder.Take(FPaintedAt, step, Missed)) {
            LatencyMs.push_back((now - step.Us) / 1000.0);
            PaintMs.push_back((FPaintedAt - step.Us) / 1000.0);
            DrawnMs.push_back((FDrawnAt - step.Us) / 1000.0);
            OffsetMs.push_back(step.OffsetMs);
            if (step.SoundUs != 0) SoundMs.push_back((now - step.SoundUs) / 1000.0);
        } else {
            ++Unmatched;
        }
        FPaintedAt = 0;
    }

    TMMLevel &FBar;
    TStepFinder &FFinder;
    QWidget *FWindow = nullptr;
    bool FFull = false;      // as last painted
    bool FDrawnFull = false; // as last drawn
    std::int64_t FDrawnAt = 0;
    int FSyncDepth = 0;
    std::int64_t FPaintedAt = 0; // a full bar painted, waiting for its sync to end
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
}

void Report(const char *label, const std::vector<double> &ms) {
    std::printf("%-34s median %6.2f  p90 %6.2f  worst %6.2f  best %6.2f ms\n", label, Percentile(ms, 50),
                Percentile(ms, 90), Percentile(ms, 100), Percentile(ms, 0.0001));
}

int Usage() {
    std::fprintf(stderr, "usage: bench_latency sim|alsa|jack [steps]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", std::getenv("DISPLAY") != nullptr ? "xcb" : "offscreen", 1);
    PrepareToolkitEnvironment(); // as the console does
    QApplication app(argc, argv);
    if (argc < 2) return Usage();
    const std::string path = argv[1];
    if (path != "sim" && path != "alsa" && path != "jack") return Usage();
    const int steps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    const int seconds = (steps + kWarmUpSteps + 5) * (kSilenceMs + kStepMs) / 1000 + 5;

    QTemporaryDir dir;
    const std::string wav = dir.filePath("steps.wav").toStdString();
    if (!dir.isValid() || !WriteStepFile(wav, seconds)) {
        std::fprintf(stderr, "cannot write the step file\n");
        return 1;
    }
    TSettings settings;
    settings.InputDevNo = 0; // the step file, or ALSA's "default"
    if (path == "jack") {
        // Opened by its name wherever it stands in the list.
        settings.InputDevName = kJackDeviceName;
        if (ChooseListedDevice(kJackDeviceName, ListWaveInDevices(SystemWaveInDriver())) < 0) {
            std::fprintf(stderr, "no JACK server\n");
            return 1;
        }
    }
    WriteAllSettings(SettingsFilePath(dir.path()), settings);

    TSimDevice device;
    device.Name = "Simulated steps";
    device.Signal = TSimSignal::WavFile;
    device.File = wav;
    TSimWaveInDriver sim({device});
    TStepFinder finder;
    TTappedDriver driver(path == "sim" ? static_cast<TWaveInDriver &>(sim) : SystemWaveInDriver(),
                         [&](std::int64_t us, const WAVEHDR &hdr) { finder.Scan(us, hdr); });

    CreateForms({driver, dir.path(), nullptr});
    TScreenWatch watch(*MeterPanel->MMLevel1, finder);
    MainForm->show();

    std::unique_ptr<TJackStepPlayer> jackPlayer;
    if (path == "jack") {
        // Its port is there once capture has started.
        for (int i = 0; i < 200 && !MainForm->MMWaveIn1->IsOpen(); ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        jackPlayer = std::make_unique<TJackStepPlayer>();
        if (!jackPlayer->Playing()) {
            std::fprintf(stderr, "the step player could not join the console's port\n");
            return 1;
        }
        finder.SetPlayer(jackPlayer.get());
    }
    QProcess player;
    if (path == "alsa") {
        player.start("paplay", {"--latency-msec=20", QString::fromStdString(wav)});
        if (!player.waitForStarted(10000)) {
            std::fprintf(stderr, "paplay did not start\n");
            return 1;
        }
    }

    // Until enough steps were shown after the warm-up, or the file would have ended.
    QElapsedTimer wall;
    wall.start();
    // A loop of its own: the application's quit would close the console, which ends the process.
    QEventLoop loop;
    QTimer poll;
    poll.callOnTimeout([&] {
        const auto shown = static_cast<int>(watch.LatencyMs.size());
        if (shown >= steps + kWarmUpSteps || wall.elapsed() > (seconds - 2) * 1000LL) loop.quit();
    });
    poll.start(50);
    loop.exec();

    const bool platformShows = QApplication::platformName() != "offscreen";
    MainForm->MMWaveIn1->Stop();
    MainForm->MMWaveIn1->Close();
    jackPlayer.reset();
    if (player.state() != QProcess::NotRunning) {
        player.terminate();
        player.waitForFinished(5000);
    }

    const auto skip = [&](const std::vector<double> &v) {
        return std::vector<double>(v.begin() + std::min<std::size_t>(kWarmUpSteps, v.size()), v.end());
    };
    const std::vector<double> latency = skip(watch.LatencyMs);
    std::printf("path=%s platform=%s steps=%zu missed=%d unmatched=%d\n", path.c_str(),
                qPrintable(QApplication::platformName()), latency.size(), watch.Missed, watch.Unmatched);
    Report("driver hand-over -> on screen", latency);
    Report("driver hand-over -> bar painted", skip(watch.PaintMs));
    Report("driver hand-over -> bar drawn", skip(watch.DrawnMs));
    const std::vector<double> offset = skip(watch.OffsetMs);
    Report("step's block: place in its buffer", offset);
    std::vector<double> beyond;
    for (std::size_t i = 0; i < latency.size(); ++i)
        beyond.push_back(latency[i] - offset[i]);
    Report("on screen after its block fell due", beyond);
    if (path == "jack") Report("step into the JACK graph -> on screen", skip(watch.SoundMs));
    const double worst = Percentile(latency, 100);
    std::printf("over the target: %ld of %zu\n",
                static_cast<long>(
                    std::count_if(latency.begin(), latency.end(), [](double ms) { return ms > kTargetMs; })),
                latency.size());
    std::printf("target %.1f ms: %s (worst %.2f ms)\n", kTargetMs,
                latency.size() < static_cast<std::size_t>(steps) ? "INCOMPLETE"
                : worst <= kTargetMs                             ? "met"
                                                                 : "NOT met",
                worst);
    if (!platformShows) std::printf("note: offscreen platform, nothing reaches a screen\n");
    return latency.size() < static_cast<std::size_t>(steps) ? 1 : 0;
}
