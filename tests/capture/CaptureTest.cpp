// Real capture through ALSA from a private PulseAudio server whose null sink
// "meter" is the default source's monitor. The test script starts the server
// and exports VELMORA_PULSE, VELMORA_PULSE_SCRIPT and XDG_RUNTIME_DIR; without
// them these tests are skipped.

#include "audio/MMWaveIn.h"
#include "platform/AlsaWaveIn.h"

#include "common/Capture.h"
#include "common/PumpEventsUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <vector>

#include <signal.h>

namespace {

bool PulseAvailable() {
    return std::getenv("VELMORA_PULSE") != nullptr;
}

// Runs the test script's server control ("start" or "stop"); true on success.
bool PulseServer(const char *command) {
    const char *script = std::getenv("VELMORA_PULSE_SCRIPT");
    if (script == nullptr) return false;
    QProcess p;
    // The server outlives the script: it must not hold our pipes.
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(script, {command});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A player started by this test, stopped by its PID.
class TPlayer {
  public:
    explicit TPlayer(const QString &file, int latencyMs = 20) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start("paplay", {QString("--latency-msec=%1").arg(latencyMs), file});
        started_ = process_.waitForStarted(10000);
    }
    ~TPlayer() {
        const qint64 pid = process_.processId();
        if (pid > 0 && process_.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(pid), SIGTERM);
            process_.waitForFinished(5000);
        }
    }
    bool Started() const { return started_; }
    bool WaitFinished(int ms) { return process_.waitForFinished(ms) && process_.exitCode() == 0; }

  private:
    QProcess process_;
    bool started_ = false;
};

bool Sox(const QStringList &args) {
    QProcess p;
    p.start("sox", args);
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

// 16-bit stereo WAV whose frame n holds a count: left 1 + n % 32767, right -(1 + n / 32767),
// never zero, so server-inserted silence can be told apart from the signal.
bool WriteCountingWav(const QString &path, int frames) {
    std::ofstream out(path.toStdString(), std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char *>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char *>(&v), 2); };
    const std::uint32_t bytes = static_cast<std::uint32_t>(frames) * 4;
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16), u16(1), u16(2), u32(48000), u32(192000), u16(4), u16(16);
    out.write("data", 4);
    u32(bytes);
    std::vector<std::int16_t> data(static_cast<std::size_t>(frames) * 2);
    for (int n = 0; n < frames; ++n) {
        data[2 * n] = static_cast<std::int16_t>(1 + n % 32767);
        data[2 * n + 1] = static_cast<std::int16_t>(-(1 + n / 32767));
    }
    out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size() * 2));
    return out.good();
}

void Configure(TMMWaveIn &w) {
    w.SetMode(mStereo);
    w.SetBitLength(b16Bit);
    w.SetSampleRate(48000);
    w.SetBufferSize(8192);
    w.SetCallBackMode(cmThread);
}

class CaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!PulseAvailable()) GTEST_SKIP() << "no PulseAudio server (VELMORA_PULSE unset)";
        ASSERT_TRUE(dir_.isValid());
    }
    QString Path(const char *name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

} // namespace

TEST_F(CaptureTest, DefaultDeviceIsListedWithTheConsoleFormat) {
    TAlsaWaveInDriver alsa;
    ASSERT_GE(alsa.GetNumDevs(), 1u);
    WAVEINCAPS caps;
    ASSERT_EQ(alsa.GetDevCaps(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "default");
    EXPECT_TRUE(caps.dwFormats & WAVE_FORMAT_4S16);
    EXPECT_EQ(caps.wChannels, 2);
}

TEST_F(CaptureTest, ToneAndStereoProgrammeArriveExactlyAndUnswapped) {
    ASSERT_TRUE(Sox({"-n", "-r", "48000", "-b", "16", "-c", "2", Path("tone.wav"), "synth", "3", "sine",
                     "1000", "vol", "0.1"}));
    ASSERT_TRUE(Sox({"-n", "-r", "48000", "-b", "16", "-c", "1", Path("l.wav"), "synth", "3", "sine", "1000",
                     "vol", "0.1"}));
    ASSERT_TRUE(Sox({"-n", "-r", "48000", "-b", "16", "-c", "1", Path("r.wav"), "synth", "3", "sine", "300",
                     "vol", "0.5"}));
    ASSERT_TRUE(Sox({"-M", Path("l.wav"), Path("r.wav"), Path("lr.wav")}));

    TMMWaveIn w;
    Configure(w);
    ASSERT_GT(w.DeviceCount(), 0);
    std::atomic<int> errors{0};
    w.SetOnError([&](TObject *) { ++errors; });
    TCapture cap;
    cap.Attach(w);
    w.Start();
    ASSERT_TRUE(PumpEventsUntil([&] { return cap.buffers >= 3; }, 5000));

    cap.Clear();
    {
        TPlayer tone(Path("tone.wav"));
        ASSERT_TRUE(tone.Started());
        ASSERT_TRUE(tone.WaitFinished(20000));
    }
    PumpEventsUntil([] { return false; }, 300);
    const float tonePeak = SampleToDB(cap.Peak(0), 32768);
    EXPECT_NEAR(tonePeak, -20.0, 0.05);
    EXPECT_NEAR(SampleToDB(cap.Peak(1), 32768), -20.0, 0.05);

    cap.Clear();
    {
        TPlayer stereo(Path("lr.wav"));
        ASSERT_TRUE(stereo.Started());
        ASSERT_TRUE(stereo.WaitFinished(20000));
    }
    PumpEventsUntil([] { return false; }, 300);
    EXPECT_NEAR(SampleToDB(cap.Peak(0), 32768), -20.0, 0.05);
    EXPECT_NEAR(SampleToDB(cap.Peak(1), 32768), -6.02, 0.05);
    w.Stop();
    w.Close();
    EXPECT_EQ(w.State(), TMMCustomWaveIn::wsClosed);
    EXPECT_EQ(errors, 0);
}

TEST_F(CaptureTest, ThirtySecondsOfCountingLoseNothingAndKeepOrder) {
    constexpr int kFrames = 30 * 48000;
    const int overrunsBefore = TAlsaWaveInDriver::Overruns();
    ASSERT_TRUE(WriteCountingWav(Path("count.wav"), kFrames));
    TMMWaveIn w;
    Configure(w);
    TCapture cap;
    cap.Attach(w);
    w.Start();
    ASSERT_TRUE(PumpEventsUntil([&] { return cap.buffers >= 3; }, 5000));
    {
        // A deeper playback buffer than the tones': the count is long and the machine busy.
        TPlayer player(Path("count.wav"), 200);
        ASSERT_TRUE(player.Started());
        QElapsedTimer t;
        t.start();
        ASSERT_TRUE(PumpEventsUntil([&] { return t.elapsed() > 45000 || player.WaitFinished(1); }, 60000));
    }
    PumpEventsUntil([] { return false; }, 500);
    w.Close();
    ASSERT_EQ(w.State(), TMMCustomWaveIn::wsClosed);

    std::lock_guard lock(cap.mutex);
    // Only the buffer the final stop hands back may be short.
    for (std::size_t i = 0; i + 1 < cap.sizes.size(); ++i)
        EXPECT_EQ(cap.sizes[i], 8192u) << "buffer " << i;
    EXPECT_EQ(TAlsaWaveInDriver::Overruns(), overrunsBefore);
    // Every counted frame, once, in order. When the player falls behind, the server plays
    // silence and drops what came too late: a jump forward right after silence is the
    // player's, counted but allowed. A jump without silence, or backwards, is ours.
    // The server may mix a new stream in a few frames late, so counting starts where the
    // signal first appears, which must be within its first 10 ms.
    int next = -1, first = -1, zerosRun = 0, playerGaps = 0;
    std::size_t frames = cap.samples.size() / 2, bad = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        const std::int16_t l = cap.samples[2 * f], r = cap.samples[2 * f + 1];
        if (l == 0 && r == 0) {
            ++zerosRun;
            continue;
        }
        const int n = (l - 1) + (-r - 1) * 32767;
        if (first < 0) first = next = n;
        if (n > next && zerosRun > 0)
            ++playerGaps;
        else if (n != next && bad++ < 5)
            ADD_FAILURE() << "frame " << f << " holds count " << n << ", expected " << next;
        next = n + 1;
        zerosRun = 0;
    }
    RecordProperty("PlayerUnderruns", playerGaps);
    EXPECT_EQ(bad, 0u);
    EXPECT_GE(first, 0);
    EXPECT_LT(first, 480);
    EXPECT_EQ(next, kFrames);
    // Far more than a few underruns means the machine was too busy to tell anything.
    EXPECT_LT(playerGaps, 20);
}

TEST_F(CaptureTest, StopCloseDeviceChangeAndStartWhileStreaming) {
    ASSERT_TRUE(Sox({"-n", "-r", "48000", "-b", "16", "-c", "2", Path("long.wav"), "synth", "20", "sine",
                     "1000", "vol", "0.1"}));
    TPlayer player(Path("long.wav"));
    ASSERT_TRUE(player.Started());
    TMMWaveIn w;
    Configure(w);
    TCapture cap;
    cap.Attach(w);
    std::atomic<int> stops{0};
    w.SetOnStop([&](TObject *) { ++stops; });
    const int other = w.DeviceCount() > 1 ? 1 : -1;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        w.Start();
        ASSERT_TRUE(PumpEventsUntil([&] { return cap.buffers >= 5; }, 5000));
        cap.Clear();
        // A busy server may take a while to mix the player in: wait for the tone, then
        // look at what came with it.
        ASSERT_TRUE(PumpEventsUntil(
            [&] {
                std::lock_guard lock(cap.mutex);
                return cap.sizes.size() >= 5;
            },
            5000));
        ASSERT_TRUE(PumpEventsUntil([&] { return SampleToDB(cap.Peak(0), 32768) > -20.5; }, 10000))
            << "no tone from device " << w.DeviceID();
        EXPECT_NEAR(SampleToDB(cap.Peak(0), 32768), -20.0, 0.05);
        // The console's device change. Stop waits for a buffer still being delivered, so the
        // device is closed when Close returns and takes the new id at once.
        w.Stop();
        w.Close();
        ASSERT_EQ(w.State(), TMMCustomWaveIn::wsClosed);
        w.SetDeviceID(round % 2 == 0 ? other : 0);
        EXPECT_NE(w.DeviceID(), -2);
        cap.buffers = 0;
    }
    EXPECT_EQ(stops, 3);
}

TEST_F(CaptureTest, ServerGoneReachesOnErrorAndARestartedServerCapturesAgain) {
    ASSERT_TRUE(Sox({"-n", "-r", "48000", "-b", "16", "-c", "2", Path("tone.wav"), "synth", "3", "sine",
                     "1000", "vol", "0.1"}));
    std::vector<std::string> reported;
    SetApplicationExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception &x) {
            reported.push_back(x.what());
        }
    });
    TMMWaveIn w;
    Configure(w);
    std::atomic<int> errors{0}, closes{0};
    w.SetOnError([&](TObject *) { ++errors; });
    w.SetOnClose([&](TObject *) { ++closes; });
    TCapture cap;
    cap.Attach(w);
    w.Start();
    ASSERT_TRUE(PumpEventsUntil([&] { return cap.buffers >= 3; }, 5000));

    ASSERT_TRUE(PulseServer("stop"));
    const bool failed =
        PumpEventsUntil([&] { return errors > 0 && w.State() == TMMCustomWaveIn::wsClosed; }, 10000);
    // Whatever happened above, the other tests need a server again.
    const bool restarted = PulseServer("start");
    SetApplicationExceptionHandler(nullptr);
    ASSERT_TRUE(failed) << "errors " << errors << " state " << w.State();
    ASSERT_TRUE(restarted);
    EXPECT_EQ(closes, 1);
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported[0].rfind("WaveInAddBuffer:\n\r", 0), 0u) << reported[0];

    cap.buffers = 0;
    cap.Clear();
    w.Start();
    ASSERT_TRUE(PumpEventsUntil([&] { return cap.buffers >= 3; }, 10000));
    {
        TPlayer tone(Path("tone.wav"));
        ASSERT_TRUE(tone.WaitFinished(20000));
    }
    PumpEventsUntil([] { return false; }, 300);
    EXPECT_NEAR(SampleToDB(cap.Peak(0), 32768), -20.0, 0.05);
    w.Close();
}
