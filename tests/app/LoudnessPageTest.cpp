#include "AppTestSupport.h"
#include "app/LoudnessLog.h"

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <string>

namespace {

// A step-mode tone at -23 dBFS: capture moves only as far as the test lets it.
std::vector<TSimDevice> SteadyTone() {
    std::vector<TSimDevice> devices(1);
    devices[0].Name = "Tone";
    devices[0].Signal = TSimSignal::Sine;
    devices[0].Level = -23;
    devices[0].RealTime = false;
    return devices;
}

// What an LED read-out shows, as a number.
double Shown(const TMMLEDReadout *led) {
    std::string text;
    for (const char c : led->Text())
        if (c != ' ') text += c;
    return std::stod(text);
}

class LoudnessPage : public ::testing::Test {
  protected:
    LoudnessPage() : Driver(SteadyTone()), Form({Driver, Settings.Dir(), {}}) {
        Form.show();
        WaitFor([&] { return Form.MMWaveIn1->IsStarted(); });
    }
    ~LoudnessPage() override {
        Form.MMWaveIn1->Close();
        Form.hide();
    }

    // Lets `seconds` of audio through capture (in whole 2048-frame buffers) and waits until
    // the tap has measured all of it.
    void Play(int seconds) {
        for (int s = 0; s < seconds; ++s) {
            Driver.Step(24 * 2048);
            Played += 24 * 2048;
            ASSERT_TRUE(WaitFor([&] {
                Form.MMLoudnessTap1->Flush();
                return Form.MMLoudnessTap1->Reading().StreamSeconds * 48000 >= Played - 0.5;
            }));
        }
    }

    TSimWaveInDriver Driver;
    TTestSettings Settings{"[LOUDNESS]\nHistoryMinutes=2\n"};
    TTestForm Form;
    double Played = 0;
};

} // namespace

// EBU Tech 3341 case 1 through capture, connector and tap: the page reads what the measure
// returns, and colours the integrated read-out when the chosen target is missed.
TEST_F(LoudnessPage, ATechCaseThroughTheLiveChainReachesThePage) {
    // Measured while another page shows.
    ASSERT_TRUE(Form.LoudPanel->isHidden());
    Play(20);
    ClickCentre(Form.LoudChgBtnLbl);
    ASSERT_TRUE(Form.LoudPanel->isVisible());
    EXPECT_TRUE(Form.VuPanel->isHidden() && Form.SpecPanel->isHidden());
    TLoudnessPage &page = *Form.LoudPanel;

    EXPECT_NEAR(Shown(page.IntegratedLed), -23.0, 0.1);
    EXPECT_EQ(page.IntegratedLed->LEDColor(), clLime);
    // On the +9 scale the bars' read-outs are in LU from the target.
    EXPECT_NEAR(Shown(page.MomentaryLed), 0.0, 0.1);
    EXPECT_NEAR(Shown(page.MaxShortTermLed), 0.0, 0.1);
    EXPECT_NEAR(Shown(page.TruePeakLLed), -23.0, 0.2);
    EXPECT_NEAR(Shown(page.TruePeakRLed), -23.0, 0.2);
    EXPECT_EQ(page.TimeLed->Text(), "00:00:20");
    EXPECT_EQ(page.MomentaryBar->LitRows(),
              LoudnessBarRows(-23.0, page.MomentaryBar->Range(), page.MomentaryBar->Rows()));
    // The last 20 of 100 points over two minutes hold the tone (tenths of a LU above the bottom).
    EXPECT_EQ(page.History->Values()[99], 180);
    EXPECT_EQ(page.History->Values()[70], 0);

    // A -16 LUFS target is missed by 7 LU; ATSC's -24 is met within its 1 LU.
    emit Form.LoudnessBox->cmbLoudPreset->activated(lpMinus16);
    EXPECT_EQ(page.IntegratedLed->LEDColor(), clRed);
    emit Form.LoudnessBox->cmbLoudPreset->activated(lpATSCA85);
    EXPECT_EQ(page.IntegratedLed->LEDColor(), clLime);
    EXPECT_NEAR(Shown(page.MomentaryLed), 1.0, 0.1);
    Form.LoudnessBox->rbLoudLUFS->click();
    EXPECT_NEAR(Shown(page.MomentaryLed), -23.0, 0.1);

    // Paused, the integration stands still and says so; reset, it starts from nothing.
    ClickCentre(page.PauseLbl);
    Play(3);
    Form.LoudTimerTimer();
    EXPECT_TRUE(page.PausedLed->Enabled());
    EXPECT_EQ(page.TimeLed->Text(), "00:00:20");
    ClickCentre(page.ResetBtn);
    ClickCentre(page.StartBtn);
    Play(1);
    Form.LoudTimerTimer();
    EXPECT_FALSE(page.PausedLed->Enabled());
    EXPECT_EQ(page.TimeLed->Text(), "00:00:01");
}

// The page's settings are the saved ones, EBU R128 where the file has none, and are written by
// "Save Setting" only.
TEST(LoudnessSettingsTest, MissingKeysGiveEbuR128AndSaveWritesThem) {
    TSimConsole form;
    EXPECT_EQ(form.LoudnessSettings, TLoudnessSettings{});
    EXPECT_EQ(form.LoudPanel->TargetLbl->text(), "TARGET -23 LUFS / -1 dBTP");
    EXPECT_EQ(form.LoudnessBox->cmbLoudPreset->currentIndex(), lpEBUR128);

    form.LoudnessBox->LoudCeilingSpin->ClickHalf(shDown);
    EXPECT_EQ(form.LoudnessSettings.Preset, lpCustom);
    EXPECT_EQ(form.LoudPanel->TargetLbl->text(), "TARGET -23 LUFS / -2 dBTP");
    EXPECT_FALSE(QFile::exists(form.SettingsFolder().File()));
    form.BtnSaveSetting->click();
    TLoudnessSettings saved;
    ReadLoudnessSettings(form.SettingsFolder().File(), saved);
    EXPECT_EQ(saved, form.LoudnessSettings);
    EXPECT_EQ(saved.CustomCeiling, -2);
}

// --log-dir turns the log on for this run only. A write that fails shows the error box once
// and metering goes on; once the folder can be written again, the minutes after go to it.
TEST_F(LoudnessPage, AFailingLogShowsOneBoxAndMeteringGoesOn) {
    Form.LoudTicks.SetEnabled(false); // the refreshes run when the test says
    QTemporaryDir dir;
    const QString folder = dir.filePath("log");
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Form.SetLogDir(folder);
    EXPECT_TRUE(Form.LoudnessLogOn());
    EXPECT_FALSE(Form.LoudnessSettings.Log);

    const auto refresh = [&] {
        return AnswerMessageBox([&] {
            Form.LoudTimerTimer();
            QCoreApplication::processEvents();
        });
    };
    Play(60);
    EXPECT_NE(refresh().indexOf(folder), -1);
    Play(60);
    EXPECT_EQ(refresh(), "");
    EXPECT_GT(Form.MMLoudnessTap1->Reading().Seconds, 120);

    ASSERT_TRUE(QFile::remove(folder));
    Play(60);
    EXPECT_EQ(refresh(), "");
    const QStringList files = QDir(folder).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile log(QDir(folder).filePath(files[0]));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3); // the header, one minute, the last line feed
    EXPECT_TRUE(lines[1].contains(",-23.0,")) << lines[1].data();
}
