// Every setting the menu changes survives "Save Setting" and a new start, controls included;
// "Load Default Setting" puts the defaults back on the controls at once.

#include "AppTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <sstream>

namespace {

void Spin(TMMSpinButton *button, TMMSpinHalf half, int times) {
    for (int i = 0; i < times; ++i)
        button->ClickHalf(half);
}

QImage Face(const QLabel *picture) {
    return picture->pixmap().toImage();
}

// The settings and the controls that show them, as one comparable text.
std::string State(TMainForm &f) {
    const TSettings &s = f.Settings;
    std::ostringstream o;
    o << "dev " << s.InputDevNo << " " << f.MMWaveIn1->DeviceID() << " " << f.cmbInputDevice->currentIndex()
      << " | ref " << s.VURefLevel << " " << f.SetupRefLvl->Value() << " " << f.PlayMeterL->RefLevel() << " "
      << f.PlayMeterR->RefLevel() << " | face " << s.BackgroundNo << " "
      << (f.PlayMeterR->BackGroundDIB() == Face(f.YmkMeterPct))
      << (f.SetupMeter->BackGroundDIB() == Face(f.YmkMeterPct)) << " | pos " << s.VUPos << " "
      << f.RbUpper->isChecked() << " " << f.PnlVU->y() << " " << f.PanelSpectrum->y() << " | peaks "
      << s.PeakLevel1 << " " << s.PeakLevel2 << " " << s.PeakLevel3 << " "
      << f.SetupLed1->Caption().toStdString() << " " << f.SetupLed2->Caption().toStdString() << " "
      << f.SetupLed3->Caption().toStdString() << " | red " << s.ShowRedLine << f.SetUpChkRedLine->isChecked()
      << f.BdRedLine->isVisibleTo(f.Trend7) << " " << s.RedLinePos << " " << f.BdRedLine->y() << " | graph "
      << s.ShowGraph << f.rbLevelG->isChecked() << !f.PanelGrph->isHidden() << f.PanelSpectrum->isHidden()
      << " | lines " << s.LineSpa << f.CbLineSpa->isChecked() << " | jack " << s.JackConnect
      << f.CbJackConnect->isChecked();
    return o.str();
}

void StopCapture(TMainForm &form) {
    form.MMWaveIn1->Stop();
    form.MMWaveIn1->Close();
}

} // namespace

TEST(MenuRoundTrip, EveryMenuSettingComesBackAfterSaveAndANewStart) {
    TSimConsole form;
    form.cmbInputDevice->setCurrentIndex(3);
    emit form.cmbInputDevice->activated(3);
    Spin(form.MMSpinButton1, shUp, 3);
    form.YmkMeterPctClick();
    form.RbUpper->click();
    Spin(form.MMSpinButton2, shUp, 2);
    Spin(form.MMSpinButton3, shDown, 1);
    Spin(form.MMSpinButton4, shDown, 4);
    form.SetUpChkRedLine->click();
    Spin(form.MMSpinButton5, shDown, 4);
    form.rbLevelG->click();
    form.CbLineSpa->click();
    form.CbJackConnect->click();
    const std::string changed =
        "dev 3 3 3 | ref -17 -17 -17 -17 | face 3 11 | pos 1 1 6 355 | peaks -3 -11 -24 "
        "-3 -11 -24 | red 111 53 53 | graph 1111 | lines 11 | jack 00";
    ASSERT_EQ(State(form), changed);
    form.BtnSaveSetting->click();
    StopCapture(form);

    // A new console on the same folder: the same settings on the same controls.
    TTestForm again({form.SimDriver(), form.SettingsFolder().Dir(), {}});
    EXPECT_EQ(State(again), changed);

    // The defaults file, copied in the working directory, which here is the settings folder.
    TWorkingDir wd(form.SettingsFolder().Dir());
    QFile defaults("VelmoraDef.ini");
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
    defaults.write("[SoundCard]\nInputDevNo=0\n[VU]\nRefLevel=-20\nBackgroundNo=1\nVUPos=0\n"
                   "[Peak]\nLevel1=-5\nLevel2=-10\nLevel3=-20\n"
                   "[GRAPH]\nShowRedLine=0\nRedLinePos=49\nShowGraph=0\nLineSpa=0\n");
    defaults.close();
    again.Button5->click();
    // The keys through RedLinePos are back on the controls; the small window and line mode stay.
    EXPECT_EQ(State(again), "dev 0 0 0 | ref -20 -20 -20 -20 | face 1 00 | pos 0 0 337 97 | peaks -5 -10 -20 "
                            "-5 -10 -20 | red 000 49 49 | graph 1111 | lines 11 | jack 11");
    EXPECT_EQ(again.PlayMeterL->BackGroundDIB(), Face(again.BlueMeterPct));
    EXPECT_TRUE(again.MMWaveIn1->IsOpen());
    StopCapture(again);
}

// A loaded device that cannot start is reported, and the other loaded values are shown all
// the same, so what the menu shows is what the next save writes.
TEST(MenuRoundTrip, LoadDefaultsWithADeviceThatCannotStartStillAppliesTheRest) {
    TSimConsole form;
    TWorkingDir wd(form.SettingsFolder().Dir());
    QFile defaults("VelmoraDef.ini");
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
    defaults.write("[SoundCard]\nInputDevNo=9\n[Peak]\nLevel1=-7\n[GRAPH]\nShowRedLine=1\n");
    defaults.close();

    const QString text = AnswerMessageBox([&] { form.Button5->click(); });
    EXPECT_FALSE(text.isEmpty());
    EXPECT_EQ(form.Settings.InputDevNo, 9);
    EXPECT_EQ(form.cmbInputDevice->currentIndex(), -1);
    EXPECT_EQ(form.SetupLed1->Caption(), "-7");
    EXPECT_TRUE(form.SetUpChkRedLine->isChecked());
    EXPECT_FALSE(form.BdRedLine->isHidden());
}
