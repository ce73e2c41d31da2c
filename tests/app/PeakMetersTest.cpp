// The PEAK meters on the meter panel, fed by the console's connector: with the
// simulated stereo programme, and live through ALSA from the test's private
// PulseAudio server (skipped without VELMORA_PULSE), and read back by the console's refresh.

#include "AppTestSupport.h"

#include "app/Forms.h"
#include "app/MeterPnl.h"

#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <signal.h>

namespace {

int Bar(const TMMLevel *level) {
    return level->State().BarPosition();
}

int Peak(const TMMLevel *level) {
    return level->State().PeakPosition();
}

// Stops capture before the console goes.
void StopCapture(TMainForm &form) {
    form.MMWaveIn1->Stop();
    form.MMWaveIn1->Close();
}

// What the table's values come to: 71 spots of 3 pixels in the 18 x 286 inside the raised
// ring, zones at 28 and 47, the connector's 200-byte blocks, 24 bits once the panel is created.
TEST(PeakMeters, ThePanelsBarsComeToTheConsolesGeometry) {
    TMeterPanel meter;
    for (TMMLevel *bar : {meter.MMLevel1, meter.MMLevel2}) {
        const TMMSpotGeometry &g = bar->State().Geometry();
        EXPECT_EQ(bar->InnerRect(), Rect(1, 1, 19, 287));
        EXPECT_EQ(g.BarSpots, 71);
        EXPECT_EQ(g.Margin, 1);
        EXPECT_EQ(g.Zone1, 28);
        EXPECT_EQ(g.Zone2, 47);
        EXPECT_EQ(bar->BlockBytes(), 200);
        EXPECT_EQ(bar->BitsPerPixel(), 24);
        EXPECT_EQ(bar->State().Ballistics().Factor(), DecayFactor(10));
    }
    EXPECT_EQ(meter.MMLevel1->Channel(), chLeft);
    EXPECT_EQ(meter.MMLevel2->Channel(), chRight);
    // The scale's numbers run from 0 to -55 beside the bars' spots.
    const TMMLevelScaleLayout layout = meter.MMLevelScale2->Layout();
    ASSERT_EQ(layout.Labels.size(), 12u);
    EXPECT_EQ(layout.Labels.front().Text, "0");
    EXPECT_EQ(layout.Labels.back().Text, "-55");
}

// The console's whole path on the simulated stereo programme (left 1 kHz at -20 dBFS, right
// 500 Hz at -10 dBFS): each bar shows its own channel, to the spot the arithmetic gives.
TEST(PeakMeters, TheConnectorFeedsEachBarItsOwnChannel) {
    TMeterPanel meter;
    RegisterForm(&meter);
    TSimWaveInDriver driver;
    const TTestSettings settings("[SoundCard]\r\nInputDevNo=2\r\n");
    TTestForm form({driver, settings.Dir(), &StartProgram});
    EXPECT_EQ(form.MMConnector2->Level1(), nullptr) << "the panel joins when it is there";
    form.ConnectPeakMeters();
    EXPECT_EQ(form.MMConnector2->Level1(), meter.MMLevel1);
    EXPECT_EQ(form.MMConnector2->Level2(), meter.MMLevel2);

    meter.show();
    form.FormShow();
    EXPECT_TRUE(WaitFor([&] { return Bar(meter.MMLevel1) == 47 && Bar(meter.MMLevel2) == 59; }, 5000))
        << Bar(meter.MMLevel1) << " " << Bar(meter.MMLevel2);
    EXPECT_EQ(Peak(meter.MMLevel1), 47);
    // -20 dBFS reads back as 3276 (10^(-20/20) of full scale, percent steps) on the left.
    EXPECT_EQ(meter.MMLevel1->CurrentPeak(), 3276);
    TMMDIBCanvas &work = meter.MMLevel1->DIBCanvas();
    const TMMSpotGeometry &g = meter.MMLevel1->State().Geometry();
    EXPECT_EQ(work.PixelColor(0, g.SpotRect(47).Top), 15567175);
    EXPECT_EQ(work.PixelColor(0, g.SpotRect(48).Top), 55);
    StopCapture(form);
    EXPECT_EQ(Bar(meter.MMLevel1), 0) << "the stop clears the bars";
    EXPECT_EQ(Peak(meter.MMLevel1), 0);
}

// A 16-bit stereo WAV at 48 kHz of the interleaved samples.
bool WriteWav(const QString &path, const std::vector<std::int16_t> &data) {
    std::ofstream out(path.toStdString(), std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char *>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char *>(&v), 2); };
    const auto bytes = static_cast<std::uint32_t>(data.size()) * 2;
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16), u16(1), u16(2), u32(48000), u32(192000), u16(4), u16(16);
    out.write("data", 4);
    u32(bytes);
    out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(bytes));
    return out.good();
}

// `seconds` of a 1 kHz sine at -20 dBFS on the left and, when asked, on the right too.
bool WriteTone(const QString &path, double seconds, bool right) {
    const int frames = static_cast<int>(seconds * 48000);
    std::vector<std::int16_t> data;
    for (int n = 0; n < frames; ++n) {
        const auto v =
            static_cast<std::int16_t>(std::lround(3276.7 * std::sin(2 * M_PI * 1000.0 * n / 48000.0)));
        data.push_back(v);
        data.push_back(right ? v : 0);
    }
    return WriteWav(path, data);
}

// A full-scale sample in the last frame of every buffer, where the bars' 50-frame blocks leave
// 48 frames over: it reaches the bar, which shows it at its top spot, and CLIP lights.
TEST(PeakMeters, AClipInTheLastFrameOfABufferLightsTheTopSpotAndCLIP) {
    QTemporaryDir dir;
    std::vector<std::int16_t> buffer(2 * 2048, 0);
    buffer[2 * 2047] = 32767;
    ASSERT_TRUE(WriteWav(dir.filePath("clip.wav"), buffer));
    std::vector<TSimDevice> devices(1);
    devices[0].Name = "Clip";
    devices[0].Signal = TSimSignal::WavFile;
    devices[0].File = dir.filePath("clip.wav").toStdString();
    TSimWaveInDriver driver(devices);
    TMeterPanel meter;
    RegisterForm(&meter);
    const TTestSettings settings("[SoundCard]\r\nInputDevNo=0\r\n");
    TTestForm form({driver, settings.Dir(), &StartProgram});
    form.ConnectPeakMeters();
    meter.show();
    form.FormShow();
    const int top = meter.MMLevel1->State().Geometry().BarSpots;
    EXPECT_TRUE(WaitFor([&] { return Peak(meter.MMLevel1) == top; }, 5000)) << Peak(meter.MMLevel1);
    form.MMHiTimer1Timer(nullptr);
    EXPECT_EQ(FromQColor(meter.ClipL->palette().color(QPalette::WindowText)), clRed);
    EXPECT_EQ(Peak(meter.MMLevel2), 0);
    StopCapture(form);
}

// --- Live, through ALSA and the private PulseAudio server.

// paplay of one file into the server's sink, ended by its PID.
class TTone {
  public:
    explicit TTone(const QString &file) {
        FProcess.start("paplay", {"--latency-msec=20", file});
        FStarted = FProcess.waitForStarted(10000);
    }
    ~TTone() {
        if (FProcess.state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(FProcess.processId()), SIGTERM);
        FProcess.waitForFinished(5000);
    }
    bool Started() const { return FStarted; }

  private:
    QProcess FProcess;
    bool FStarted = false;
};

class PeakMetersLive : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("VELMORA_PULSE") == nullptr)
            GTEST_SKIP() << "no PulseAudio server (VELMORA_PULSE unset)";
        RegisterForm(&FMeter);
        FForm =
            std::make_unique<TTestForm>(TFormServices{SystemWaveInDriver(), FSettings.Dir(), &StartProgram});
        FMeter.show();
        FForm->FormShow();
        ASSERT_TRUE(FForm->MMConnector2->IsRunning());
    }
    void TearDown() override {
        if (FForm) StopCapture(*FForm);
    }
    // True when both bars hold these positions for 300 ms on end within the time given.
    bool Settles(int left, int right, int ms = 8000) {
        QElapsedTimer since;
        return WaitFor(
            [&] {
                if (Bar(FMeter.MMLevel1) != left || Bar(FMeter.MMLevel2) != right) {
                    since.invalidate();
                    return false;
                }
                if (!since.isValid()) since.start();
                return since.elapsed() >= 300;
            },
            ms);
    }

    TMeterPanel FMeter;
    TTestSettings FSettings;
    std::unique_ptr<TTestForm> FForm;
    QTemporaryDir FDir;
};

TEST_F(PeakMetersLive, AToneLightsItsChannelsBarToTheSpotAndSilenceEmptiesThem) {
    const QString leftOnly = FDir.filePath("left.wav"), both = FDir.filePath("both.wav");
    ASSERT_TRUE(WriteTone(leftOnly, 2.5, false));
    ASSERT_TRUE(WriteTone(both, 2.5, true));
    {
        TTone tone(leftOnly);
        ASSERT_TRUE(tone.Started());
        // -20 dBFS at Sensitivy -60: 47 of 71 spots; the right channel carries nothing.
        EXPECT_TRUE(Settles(47, 0)) << Bar(FMeter.MMLevel1) << " " << Bar(FMeter.MMLevel2);
        EXPECT_EQ(Peak(FMeter.MMLevel2), 0);
    }
    {
        TTone tone(both);
        ASSERT_TRUE(tone.Started());
        EXPECT_TRUE(Settles(47, 47)) << Bar(FMeter.MMLevel1) << " " << Bar(FMeter.MMLevel2);
    }
    // After the tone: the bars fall within about half a second, the markers after their
    // one-second hold, one spot every 25 ms.
    EXPECT_TRUE(WaitFor(
        [&] {
            return Bar(FMeter.MMLevel1) == 0 && Bar(FMeter.MMLevel2) == 0 && Peak(FMeter.MMLevel1) == 0 &&
                   Peak(FMeter.MMLevel2) == 0;
        },
        8000))
        << Bar(FMeter.MMLevel1) << " " << Peak(FMeter.MMLevel1);
    EXPECT_EQ(FMeter.MMLevel1->CurrentPeak(), 0);
    // And the picture follows (the last marker step comes from the tick's thread, drawn on the
    // main thread a moment later): spot 1 of each bar unlit.
    for (TMMLevel *bar : {FMeter.MMLevel1, FMeter.MMLevel2}) {
        const int spot1 = bar->State().Geometry().SpotRect(1).Top;
        EXPECT_TRUE(WaitFor([&] { return bar->DIBCanvas().PixelColor(0, spot1) == 7679268; }, 1000));
    }
}

// The console's own timers on real capture: the 20 ms refresh reads the left tone back into
// its read-out and margin LED, the 1 s feed lights its signal bar and charts it.
TEST_F(PeakMetersLive, TheRefreshTimersShowALeftToneAtMinus20) {
    const QString leftOnly = FDir.filePath("left.wav");
    ASSERT_TRUE(WriteTone(leftOnly, 3.5, false));
    TTone tone(leftOnly);
    ASSERT_TRUE(tone.Started());
    TTestForm &form = *FForm;
    EXPECT_TRUE(WaitFor([&] {
        return form.PLLbl->text() == "-20.00 dB" && form.MarginLedLeft->Caption() == "±0" &&
               form.Trend7->Values()[99] == 30;
    })) << form.PLLbl->text().toStdString()
        << " " << form.Trend7->Values()[99];
    EXPECT_EQ(form.MarginLedLeft->LEDColor(), 65280);
    EXPECT_EQ(form.PRLbl->text(), "  -Inf dB");
    EXPECT_EQ(form.MarginLedRight->LEDColor(), 0);
    EXPECT_TRUE(form.SIGLED->Enabled());
    EXPECT_FALSE(form.SIGLED2->Enabled());
}

} // namespace
