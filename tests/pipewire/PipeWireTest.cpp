// Capture from a real PipeWire: through its ALSA plugin (the "pipewire" PCM) and, when the
// program runs under pw-jack, through the JACK input. Each case starts a private server.

#include "PipeWireTestServer.h"

#include "app/AppTestSupport.h"
#include "app/Application.h"
#include "common/Capture.h"
#include "core/PCM.h"
#include "platform/JackTestServer.h"
#include "platform/JackWaveIn.h"
#include "platform/MMError.h"
#include "platform/WaveInDevices.h"

#include <QComboBox>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 48000;

// 16-bit stereo: a 1 kHz sine at -20 dBFS on the left, true silence on the right.
std::vector<std::int16_t> LeftTone(int seconds) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(seconds) * kRate * 2, 0);
    for (std::size_t n = 0; n < s.size() / 2; ++n)
        s[2 * n] =
            static_cast<std::int16_t>(std::lround(0.1 * 32768 * std::sin(2 * M_PI * 1000.0 * n / kRate)));
    return s;
}

// Frame n counts n + 1 (never zero, so silence the server adds stands apart): left the low
// 15 bits plus one, right the rest, negated. Half a second of silence follows, for the player
// leaves its last part-filled period unplayed.
std::vector<std::int16_t> Counting(int frames) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(frames + kRate / 2) * 2, 0);
    for (int n = 0; n < frames; ++n) {
        s[2 * n] = static_cast<std::int16_t>(1 + n % 32767);
        s[2 * n + 1] = static_cast<std::int16_t>(-(1 + n / 32767));
    }
    return s;
}

// Plays LeftTone and checks the left reads -20 dBFS and the right nothing at all.
void ExpectLeftToneOnly(TCapture &got) {
    got.Clear();
    TPipeWirePlayer tone(LeftTone(2));
    ASSERT_TRUE(tone.Started());
    ASSERT_TRUE(PumpEventsUntil([&] { return tone.Finished(); }, 15000));
    PumpEventsUntil([] { return false; }, 300);
    EXPECT_NEAR(SampleToDB(got.Peak(0), 32768), -20.0, 0.05);
    EXPECT_EQ(got.Peak(1), 0) << "the right channel is silent";
}

// The place of the device called `name` in the system's list, -1 when it is not there.
int DeviceNamed(const std::string &name) {
    const std::vector<TListedDevice> devices = ListWaveInDevices(SystemWaveInDriver());
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (devices[i].Name == name) return static_cast<int>(i);
    return -1;
}

void ConfigureConsoleFormat(TMMCustomWaveIn &w) {
    w.SetMode(mStereo);
    w.SetBitLength(b16Bit);
    w.SetSampleRate(kRate);
    w.SetBufferSize(8192);
    w.SetCallBackMode(cmThread);
}

// Whether libjack in this process is PipeWire's (the program runs under pw-jack).
bool UnderPwJack() {
    Dl_info info{};
    return dladdr(reinterpret_cast<void *>(&jack_client_open), &info) != 0 && info.dli_fname != nullptr &&
           std::string(info.dli_fname).find("pipewire") != std::string::npos;
}

class PipeWire : public ::testing::Test {
  protected:
    void SetUp() override {
        const QString missing = TPipeWireTestServer::MissingPrograms();
        if (!missing.isEmpty())
            GTEST_SKIP() << "PipeWire is not installed (missing " << missing.toStdString() << ")";
        ASSERT_TRUE(FServer.Configured()) << "PipeWire's ALSA plugin could not be unpacked";
        ASSERT_TRUE(FServer.Start());
    }
    // The console's own format on device `name`, started.
    void Capture(TMMWaveIn &w, const std::string &name) {
        const int id = DeviceNamed(name);
        ASSERT_GE(id, 0) << name << " is not listed";
        ConfigureConsoleFormat(w);
        w.SetDeviceID(id);
        FReceived.Attach(w);
        w.Start();
        ASSERT_TRUE(PumpEventsUntil([&] { return FReceived.buffers >= 3; }, 5000));
    }

    // Stopping the server mid-stream brings up the error box in the operator's words while the
    // console stays; once the server is back, choosing the input again captures the tone again.
    void ConsoleLosesAndRegainsInput(const std::string &name, const QString &words) {
        SetApplicationExceptionHandler(&ShowApplicationException);
        const int id = DeviceNamed(name);
        ASSERT_GE(id, 0) << name << " is not listed";
        const TTestSettings ini(QByteArray("[SoundCard]\r\nInputDevNo=") + QByteArray::number(id) + "\r\n");
        TTestForm form({SystemWaveInDriver(), ini.Dir(), &StartProgram});
        TMMWaveIn &w = *form.MMWaveIn1;
        FReceived.Attach(w);
        QString box = AnswerMessageBox([&] {
            form.show();
            WaitFor([&] { return FReceived.buffers >= 3; }, 5000);
        });
        ASSERT_TRUE(box.isEmpty()) << box.toStdString();
        ASSERT_EQ(w.DeviceID(), id);

        box = AnswerMessageBox([&] {
            FServer.Stop();
            WaitFor([&] { return !w.IsOpen(); }, 10000);
            WaitFor([] { return false; }, 500);
        });
        EXPECT_TRUE(box.contains(words)) << box.toStdString();
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.Ended, 0);

        ASSERT_TRUE(FServer.Start());
        FReceived.buffers = 0;
        box = AnswerMessageBox([&] {
            form.cmbInputDevice->setCurrentIndex(id);
            emit form.cmbInputDevice->activated(id);
            WaitFor([&] { return FReceived.buffers >= 3; }, 5000);
        });
        EXPECT_TRUE(box.isEmpty()) << box.toStdString();
        ExpectLeftToneOnly(FReceived);
        w.Close();
        SetApplicationExceptionHandler(nullptr);
    }

    TPipeWireTestServer FServer;
    TCapture FReceived;
};

class PipeWireJack : public PipeWire {
  protected:
    void SetUp() override {
        if (!UnderPwJack()) GTEST_SKIP() << "libjack is not PipeWire's: ctest runs these under pw-jack";
        PipeWire::SetUp();
    }
};

} // namespace

TEST_F(PipeWire, AToneOnTheLeftReadsThereAndNothingOnTheRightThroughTheAlsaPlugin) {
    if (std::getenv("VELMORA_PULSE") != nullptr) {
        EXPECT_EQ(DeviceNamed("default"), 0) << "PulseAudio keeps ALSA's default beside the plugin";
    }
    TMMWaveIn w;
    ASSERT_NO_FATAL_FAILURE(Capture(w, "pipewire"));
    ExpectLeftToneOnly(FReceived);
    w.Close();
}

// Every frame of a minute's count (VELMORA_PIPEWIRE_SECONDS to change it) arrives once and in
// order. The server's own silence may come before the count, or between its pieces when the
// player runs late, but no frame may be missing, repeated or out of place.
TEST_F(PipeWire, AMinuteOfCountingLosesRepeatsAndReordersNothingThroughTheAlsaPlugin) {
    const char *seconds = std::getenv("VELMORA_PIPEWIRE_SECONDS");
    const int frames = kRate * (seconds != nullptr ? std::atoi(seconds) : 60);
    TMMWaveIn w;
    ASSERT_NO_FATAL_FAILURE(Capture(w, "pipewire"));
    {
        TPipeWirePlayer player(Counting(frames));
        ASSERT_TRUE(player.Started());
        ASSERT_TRUE(PumpEventsUntil([&] { return player.Finished(); }, frames / kRate * 1000 + 30000));
    }
    PumpEventsUntil([] { return false; }, 500);
    w.Close();

    std::lock_guard lock(FReceived.mutex);
    const std::vector<std::int16_t> &s = FReceived.samples;
    int next = -1, silentRuns = 0;
    std::size_t bad = 0;
    bool silent = false;
    for (std::size_t f = 0; f + 1 < s.size(); f += 2) {
        if (s[f] == 0 && s[f + 1] == 0) {
            silent = true;
            continue;
        }
        const int n = (s[f] - 1) + (-s[f + 1] - 1) * 32767;
        if (next >= 0 && silent) ++silentRuns;
        if (next < 0) next = n;
        if (n != next && bad++ < 5)
            ADD_FAILURE() << "frame " << f / 2 << " holds count " << n << ", not " << next;
        next = n + 1;
        silent = false;
    }
    RecordProperty("SilencesWithinTheCount", silentRuns);
    EXPECT_EQ(bad, 0u);
    EXPECT_EQ(next, frames) << "the count ends with its last frame";
}

TEST_F(PipeWire, TheConsoleSaysTheServerStoppedAndCapturesAgainOnceTheInputIsChosenAgain) {
    ConsoleLosesAndRegainsInput(
        "pipewire", "The sound device \"pipewire\" went away: its sound card or sound server stopped.");
}

TEST_F(PipeWireJack, AToneIntoTheLeftPortReadsThereAndACountArrivesWhole) {
    ConnectJackToCapturePorts(false);
    TMMWaveIn w;
    ASSERT_NO_FATAL_FAILURE(Capture(w, kJackDeviceName));
    {
        TJackPlayer tone(TJackPlayer::TSignal::Sine, 1000, -20, "VelmoraPro:in_L");
        ASSERT_TRUE(tone.Playing());
        PumpEventsUntil([] { return false; }, 300);
        FReceived.Clear();
        PumpEventsUntil([] { return false; }, 1500);
    }
    EXPECT_NEAR(SampleToDB(FReceived.Peak(0), 32768), -20.0, 0.05);
    EXPECT_EQ(FReceived.Peak(1), 0) << "the right channel is silent";

    // Ten seconds of the player's count (frame n as the 16-bit sample n) on the left.
    TJackPlayer counter(TJackPlayer::TSignal::Counter, 0, 0, "VelmoraPro:in_L");
    ASSERT_TRUE(counter.Playing());
    PumpEventsUntil([] { return false; }, 300);
    FReceived.Clear();
    PumpEventsUntil([] { return false; }, 10000);
    w.Close();
    std::lock_guard lock(FReceived.mutex);
    const std::vector<std::int16_t> &s = FReceived.samples;
    ASSERT_GE(s.size(), 2u * 9 * kRate);
    std::size_t breaks = 0;
    for (std::size_t i = 2; i < s.size(); i += 2)
        if (static_cast<std::int16_t>(s[i - 2] + 1) != s[i] && breaks++ < 5)
            ADD_FAILURE() << "frame " << i / 2 << ": " << s[i - 2] << " then " << s[i];
    EXPECT_EQ(breaks, 0u);
}

// The JACK input joins the first two physical capture ports, here the loopback's source.
TEST_F(PipeWireJack, TheConsoleSaysTheServerStoppedAndCapturesAgainOnceTheInputIsChosenAgain) {
    ConnectJackToCapturePorts(true);
    ConsoleLosesAndRegainsInput(kJackDeviceName, "The JACK server stopped, or it cut the console off.");
}
