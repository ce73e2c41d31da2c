// The console's chain on the simulated counting device, checked buffer by buffer
// for as long as a soak runs: the whole console is built as the program builds it
// (wave input -> connector -> PEAK bars and VU needles -> peak detector), shown,
// and two checkers read the count where it leaves the chain:
//   chain end   every buffer the peak detector receives (the wave input's worker);
//   displays    every buffer the connector hands its displays, from a display of
//               its own in the spectrum slot the console leaves free (main thread).
// Every sample of frame n holds n (16 bits, wrapping), so a lost, repeated or
// reordered buffer, or a damaged frame, breaks the count.
//
// Usage:
//   bench_soak-chain [minutes=60]   prints cumulative counts every minute, then a verdict
//                                   (exit 0 only when nothing broke the count)
//   bench_soak-chain --jack [minutes] the same through the JACK input of the running server
//                                   (JACK_DEFAULT_SERVER), the count played by a client of its own
//   bench_soak-chain --self-check   feeds the checker streams with a known fault each
//   bench_soak-chain --list-devices the capture devices the console sees with
//                                   --simulated-devices, one "index<TAB>name" a line

#include "BenchMain.h"
#include "app/DeviceChoice.h"
#include "app/Forms.h"
#include "app/MainFrm.h"
#include "app/Settings.h"
#include "audio/MMConnector.h"
#include "audio/MMPeakDetect.h"
#include "audio/MMWaveIn.h"
#include "platform/JackWaveIn.h"
#include "platform/MicrosecondClock.h"
#include "platform/SimWaveIn.h"
#include "tests/platform/JackTestServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr int kBufferBytes = 8192;
constexpr int kChannels = 2;
constexpr int kCounterDevice = 3; // of the simulated driver's default devices

// What a checker has seen so far.
struct TCountTally {
    long long Buffers = 0;
    long long Frames = 0;
    long long Gaps = 0;       // the count jumped forward: frames were lost
    long long LostFrames = 0; // how many, all gaps together
    long long Repeats = 0;    // the count went back: frames came again or out of order
    long long Damaged = 0;    // frames whose channels disagree
    long long LastFault = 0;  // the buffer (counted from 1) that last broke the count
    bool Clean() const { return Gaps == 0 && Repeats == 0 && Damaged == 0; }
};

// Follows a stream of counting frames (16-bit, all channels holding the frame's
// number). One thread feeds it; Tally may be read from any.
class TCountCheck {
  public:
    // fromSignal: the stream starts in silence (a JACK player joins the console later) and is
    // followed from its first frame that is not zero.
    explicit TCountCheck(bool fromSignal = false) : FWaiting(fromSignal) {}

    void Feed(const std::int16_t *samples, int frames, int channels) {
        TCountTally t = Tally();
        ++t.Buffers;
        const long long faults = t.Gaps + t.Repeats + t.Damaged;
        for (int f = 0; f < frames; ++f) {
            const auto value = static_cast<std::uint16_t>(samples[f * channels]);
            if (FWaiting && value == 0) continue;
            FWaiting = false;
            for (int c = 1; c < channels; ++c)
                if (static_cast<std::uint16_t>(samples[f * channels + c]) != value) {
                    ++t.Damaged;
                    break;
                }
            if (FStarted && value != FNext) {
                // Half the count's range either way: ahead is a gap, behind a repeat.
                const auto ahead = static_cast<std::uint16_t>(value - FNext);
                if (ahead < 0x8000) {
                    ++t.Gaps;
                    t.LostFrames += ahead;
                } else {
                    ++t.Repeats;
                }
            }
            FStarted = true;
            FNext = static_cast<std::uint16_t>(value + 1);
        }
        t.Frames += frames;
        if (t.Gaps + t.Repeats + t.Damaged != faults) t.LastFault = t.Buffers;
        std::lock_guard lock(FLock);
        FTally = t;
    }
    TCountTally Tally() const {
        std::lock_guard lock(FLock);
        return FTally;
    }

  private:
    bool FWaiting;           // feeding thread
    bool FStarted = false;   // feeding thread
    std::uint16_t FNext = 0; // feeding thread
    mutable std::mutex FLock;
    TCountTally FTally; // guarded by FLock
};

// A display of the connector's spectrum group that checks the count of every buffer it is handed.
class TCheckDisplay : public TMMSpectrumDisplay {
  public:
    explicit TCheckDisplay(bool fromSignal) : Check(fromSignal) {}
    ~TCheckDisplay() override { DetachFromConnectors(); }
    void SetWaveFormat(const TWaveFormatEx *format) override {
        if (format == nullptr || format->wBitsPerSample != 16 || format->nChannels != kChannels)
            throw EMMError("Invalid WaveFormat");
    }
    int BlockBytes() const override { return kBufferBytes; }
    void ResetData() override {}
    void RefreshPCMData(const void *data) override {
        Check.Feed(static_cast<const std::int16_t *>(data), kBufferBytes / (2 * kChannels), kChannels);
    }
    TCountCheck Check;
};

void PrintTally(const char *label, const TCountTally &t) {
    std::printf(" %s_buffers=%lld %s_gaps=%lld %s_lost_frames=%lld %s_repeats=%lld %s_damaged=%lld", label,
                t.Buffers, label, t.Gaps, label, t.LostFrames, label, t.Repeats, label, t.Damaged);
    if (!t.Clean()) std::printf(" %s_last_fault_at_buffer=%lld", label, t.LastFault);
}

// --- Self-check: the checker must see each kind of fault, and nothing in a clean stream.

// `buffers` counting buffers of 2048 stereo frames, numbered from 0, run through `edit`
// (which may drop, repeat, reorder or damage them), fed to a checker.
TCountTally Run(int buffers, const std::function<void(std::vector<std::vector<std::int16_t>> &)> &edit) {
    std::vector<std::vector<std::int16_t>> stream;
    int frame = 0;
    for (int b = 0; b < buffers; ++b) {
        std::vector<std::int16_t> buffer;
        for (int f = 0; f < 2048; ++f, ++frame)
            buffer.insert(buffer.end(), kChannels, static_cast<std::int16_t>(frame & 0xFFFF));
        stream.push_back(std::move(buffer));
    }
    edit(stream);
    TCountCheck check;
    for (const auto &buffer : stream)
        check.Feed(buffer.data(), static_cast<int>(buffer.size()) / kChannels, kChannels);
    return check.Tally();
}

int SelfCheck() {
    struct TCase {
        const char *Name;
        std::function<void(std::vector<std::vector<std::int16_t>> &)> Edit;
        std::function<bool(const TCountTally &)> Expected;
    };
    using TStream = std::vector<std::vector<std::int16_t>>;
    // 40 buffers run past the 16-bit count's wrap (at frame 65536, in buffer 32).
    const TCase cases[] = {
        {"clean stream across the count's wrap", [](TStream &) {},
         [](const TCountTally &t) { return t.Clean() && t.Buffers == 40 && t.Frames == 40 * 2048; }},
        {"one buffer dropped", [](TStream &s) { s.erase(s.begin() + 7); },
         [](const TCountTally &t) { return t.Gaps == 1 && t.LostFrames == 2048 && t.Repeats == 0; }},
        {"buffer dropped at the wrap", [](TStream &s) { s.erase(s.begin() + 32); },
         [](const TCountTally &t) { return t.Gaps == 1 && t.LostFrames == 2048 && t.Repeats == 0; }},
        {"one buffer twice", [](TStream &s) { s.insert(s.begin() + 12, s[12]); },
         [](const TCountTally &t) { return t.Repeats == 1 && t.Gaps == 0; }},
        {"two buffers swapped", [](TStream &s) { std::swap(s[15], s[16]); },
         [](const TCountTally &t) { return t.Repeats == 1 && t.Gaps == 2; }},
        {"one channel damaged", [](TStream &s) { s[20][2 * 100 + 1] = 0; },
         [](const TCountTally &t) { return t.Damaged == 1 && t.Gaps == 0 && t.Repeats == 0; }},
    };
    int failed = 0;
    for (const TCase &c : cases) {
        const TCountTally t = Run(40, c.Edit);
        const bool ok = c.Expected(t);
        failed += ok ? 0 : 1;
        std::printf("%-4s %s:", ok ? "ok" : "FAIL", c.Name);
        PrintTally("seen", t);
        std::printf("\n");
    }
    std::printf("self-check %s\n", failed == 0 ? "passed" : "FAILED");
    return failed == 0 ? 0 : 1;
}

int ListDevices() {
    AppendSimulatedWaveInDevices(true);
    TWaveInDriver &driver = SystemWaveInDriver();
    const unsigned count = driver.GetNumDevs();
    for (unsigned id = 0; id < count; ++id) {
        WAVEINCAPS caps;
        const bool named = driver.GetDevCaps(static_cast<int>(id), &caps, sizeof caps) == MMSYSERR_NOERROR;
        std::printf("%u\t%.*s\n", id,
                    named ? static_cast<int>(strnlen(caps.szPname, sizeof caps.szPname)) : 0, caps.szPname);
    }
    return 0;
}

// jack: the console on the JACK input of the running server (JACK_DEFAULT_SERVER), a client of
// this program playing the count into both its ports; otherwise the simulated counting device.
int Soak(int minutes, bool jack) {
    QTemporaryDir dir;
    TSettings settings;
    settings.InputDevNo = kCounterDevice;
    if (jack) {
        // Opened by its name wherever it stands in the list.
        settings.InputDevName = kJackDeviceName;
        if (ChooseListedDevice(kJackDeviceName, ListWaveInDevices(SystemWaveInDriver())) < 0) {
            std::fprintf(stderr, "no JACK server\n");
            return 1;
        }
    }
    WriteAllSettings(SettingsFilePath(dir.path()), settings);
    TSimWaveInDriver sim;
    CreateForms({jack ? SystemWaveInDriver() : static_cast<TWaveInDriver &>(sim), dir.path(), nullptr});

    TCountCheck chainEnd(jack);
    // Buffers that came within 10 ms of the one before (a quarter of their spacing): the
    // connector replaces a buffer not yet handed out, so such bursts cost displays buffers.
    std::atomic<long long> bursts{0};
    std::int64_t lastArrival = 0; // the worker thread
    MainForm->MMPeakDetect1->SetOnBufferReady([&](TObject *, PWaveHdr hdr) {
        const std::int64_t now = MicrosecondClock();
        if (lastArrival != 0 && now - lastArrival < 10'000) ++bursts;
        lastArrival = now;
        chainEnd.Feed(reinterpret_cast<const std::int16_t *>(hdr->lpData),
                      static_cast<int>(hdr->dwBytesRecorded) / (2 * kChannels), kChannels);
    });
    auto *displays = new TCheckDisplay(jack); // outlives the console, which is never destroyed
    MainForm->MMConnector2->SetSpectrum4(displays);
    MainForm->show();
    std::unique_ptr<TJackPlayer> player;
    if (jack) {
        // The console's ports are there once capture has started.
        for (int i = 0; i < 200 && !MainForm->MMWaveIn1->IsOpen(); ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        player = std::make_unique<TJackPlayer>(TJackPlayer::TSignal::Counter, 0, 0, "VelmoraPro:in_L");
        if (!player->Connect("VelmoraPro:in_R")) {
            std::fprintf(stderr, "the counting player could not join the console's ports\n");
            return 1;
        }
    }

    const auto report = [&](const char *label, int minute) {
        std::printf("%s=%d", label, minute);
        PrintTally("chain", chainEnd.Tally());
        PrintTally("display", displays->Check.Tally());
        std::printf(" chain_bursts=%lld\n", bursts.load());
        std::fflush(stdout);
    };
    QElapsedTimer wall;
    wall.start();
    int minute = 0;
    QEventLoop loop; // the application's quit would close the console, which ends the process
    QTimer tick;
    tick.callOnTimeout([&] {
        if (wall.elapsed() < (minute + 1) * 60'000LL) return;
        report("minute", ++minute);
        if (minute >= minutes) loop.quit();
    });
    tick.start(250);
    loop.exec();
    MainForm->MMWaveIn1->Stop();
    MainForm->MMWaveIn1->Close();
    player.reset();

    const TCountTally a = chainEnd.Tally(), b = displays->Check.Tally();
    // Some 23 buffers a second arrive; a checker that saw far fewer did not really run.
    const long long expected = static_cast<long long>(minutes) * 60 * 48000 * 4 / kBufferBytes;
    const bool ran = a.Buffers > expected * 9 / 10 && b.Buffers > expected * 9 / 10;
    const bool clean = ran && a.Clean() && b.Clean();
    std::printf("verdict=%s%s\n", clean ? "clean" : "BROKEN", ran ? "" : " (too few buffers checked)");
    return clean ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1 && std::strcmp(argv[1], "--self-check") == 0) return SelfCheck();
    if (argc > 1 && std::strcmp(argv[1], "--list-devices") == 0) return ListDevices();
    DefaultToOffscreen();
    QApplication app(argc, argv);
    const bool jack = argc > 1 && std::strcmp(argv[1], "--jack") == 0;
    const int minutes = argc > 1 + jack ? std::atoi(argv[1 + jack]) : 60;
    if (minutes < 1) {
        std::fprintf(stderr, "usage: bench_soak-chain [--jack] [minutes] | --self-check | --list-devices\n");
        return 2;
    }
    return Soak(minutes, jack);
}
