// The input is remembered by its name: a device added in front of it or taken away never
// makes the console meter another input without saying so.

#include "AppTestSupport.h"

#include <QComboBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Longer than the list's 31 bytes, cut inside a character.
const std::string kDeskB = "スタジオB ミキサー卓 第2入力";

std::vector<TSimDevice> Devices(const std::vector<std::string> &names) {
    std::vector<TSimDevice> devices(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        devices[i].Name = names[i];
    return devices;
}

QByteArray Contents(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Chooses a device in the menu; the error box's text, empty when none came.
QString Choose(TMainForm &form, int device) {
    return AnswerMessageBox([&] {
        form.cmbInputDevice->setCurrentIndex(device);
        emit form.cmbInputDevice->activated(device);
    });
}

// Shows the console; the error box's text, empty when none came.
QString Show(TMainForm &form) {
    return AnswerMessageBox([&] {
        form.show();
        WaitFor([] { return false; }, 300);
    });
}

void StopCapture(TMainForm &form) {
    form.MMWaveIn1->Stop();
    form.MMWaveIn1->Close();
}

} // namespace

TEST(SavedInputTest, TheSavedDeviceIsOpenedWhereverItNowStands) {
    const TTestSettings settings;
    {
        TSimWaveInDriver before(Devices({"Desk A", kDeskB}));
        TTestForm form({before, settings.Dir(), {}});
        ASSERT_EQ(Choose(form, 1), "");
        form.BtnSaveSetting->click();
        StopCapture(form);
    }
    EXPECT_TRUE(Contents(settings.File()).startsWith("[SoundCard]\nInputDevNo=1\nInputDevName="));

    // A card added in front of it.
    TSimWaveInDriver after(Devices({"USB Mic", "Desk A", kDeskB}));
    TTestForm form({after, settings.Dir(), {}});
    EXPECT_EQ(form.Settings.InputDevNo, 2);
    EXPECT_EQ(form.MMWaveIn1->DeviceID(), 2);
    EXPECT_EQ(form.cmbInputDevice->currentIndex(), 2);
    EXPECT_EQ(Show(form), "");
    EXPECT_TRUE(form.MMWaveIn1->IsOpen());
    EXPECT_TRUE(form.MMHiTimer1->Enabled());

    // The defaults file names its device too.
    TWorkingDir wd(settings.Dir());
    QFile defaults("VelmoraDef.ini");
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
    defaults.write("[SoundCard]\nInputDevNo=0\nInputDevName=Desk A\n");
    defaults.close();
    EXPECT_EQ(AnswerMessageBox([&] { form.Button5->click(); }), "");
    EXPECT_EQ(form.MMWaveIn1->DeviceID(), 1);
    EXPECT_EQ(form.cmbInputDevice->currentIndex(), 1);
    EXPECT_EQ(form.Settings.InputDevNo, 1);
    StopCapture(form);
}

TEST(SavedInputTest, AMissingDeviceIsNamedAndNoOtherIsOpened) {
    // Device 1 is there, but it is not the one saved.
    const TTestSettings settings("[SoundCard]\nInputDevNo=1\nInputDevName=Desk B\n");
    TSimWaveInDriver driver(Devices({"Desk A", "Desk C"}));
    TTestForm form({driver, settings.Dir(), {}});
    EXPECT_EQ(form.cmbInputDevice->currentIndex(), -1);
    EXPECT_EQ(Show(form),
              "Invalid DeviceID\n\rThe sound device \"Desk B\" saved in the settings was not found: "
              "its card is not connected or its sound server is not running. Connect it and "
              "start the console again, or choose another device in the menu.");
    EXPECT_EQ(driver.Calls(TSimOp::Open), 0);
    EXPECT_FALSE(form.MMHiTimer1->Enabled());

    // Saving meanwhile loses nothing.
    form.BtnSaveSetting->click();
    EXPECT_TRUE(Contents(settings.File()).startsWith("[SoundCard]\nInputDevNo=1\nInputDevName=Desk B\n"));

    // A device chosen in the menu takes its place.
    EXPECT_EQ(Choose(form, 1), "");
    EXPECT_TRUE(form.MMWaveIn1->IsOpen());
    EXPECT_EQ(form.Settings.InputDevName, "Desk C");
    StopCapture(form);
}

TEST(SavedInputTest, AFileWithoutANameOpensByNumberAndSavesTheName) {
    const TTestSettings settings("[SoundCard]\nInputDevNo=1\n");
    TSimWaveInDriver driver(Devices({"USB Mic", "Desk A"}));
    TTestForm form({driver, settings.Dir(), {}});
    EXPECT_EQ(form.MMWaveIn1->DeviceID(), 1);
    form.BtnSaveSetting->click();
    EXPECT_TRUE(Contents(settings.File()).startsWith("[SoundCard]\nInputDevNo=1\nInputDevName=Desk A\n"));
}
