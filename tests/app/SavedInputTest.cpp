// The input is remembered by its name: a device added in front of it or taken away never
// makes the console meter another input without saying so.

#include "AppTestSupport.h"

#include <QComboBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<TSimDevice> Devices(const std::vector<std::string> &names) {
    std::vector<TSimDevice> devices(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        devices[i].Name = names[i];
    return devices;
}

// Runs `action`; the text of the error box it brought up, empty when none came.
QString BoxOf(const std::function<void()> &action) {
    return AnswerMessageBox([&] {
        action();
        WaitFor([] { return false; }, 300);
    });
}

} // namespace

TEST(SavedInputTest, TheSavedDeviceIsOpenedWhereverItNowStands) {
    // Longer than the list's 31 bytes, so the name saved is cut inside a character.
    const std::string deskB = "スタジオB ミキサー卓 第2入力";
    const TTestSettings settings("[SoundCard]\nInputDevNo=1\n"); // from before names were saved
    {
        TSimWaveInDriver before(Devices({"Desk A", deskB}));
        TTestForm form({before, settings.Dir(), {}});
        EXPECT_EQ(form.MMWaveIn1->DeviceID(), 1);
        form.BtnSaveSetting->click();
    }
    TSimWaveInDriver after(Devices({"USB Mic", "Desk A", deskB}));
    TTestForm form({after, settings.Dir(), {}});
    EXPECT_EQ(form.Settings.InputDevNo, 2);
    EXPECT_EQ(form.cmbInputDevice->currentIndex(), 2);
    EXPECT_EQ(BoxOf([&] { form.show(); }), "");
    EXPECT_EQ(form.MMWaveIn1->DeviceID(), 2);
    EXPECT_TRUE(form.MMWaveIn1->IsOpen());

    // The defaults file's name counts as the settings file's does.
    TWorkingDir wd(settings.Dir());
    QFile defaults("VelmoraDef.ini");
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
    defaults.write("[SoundCard]\nInputDevNo=0\nInputDevName=Desk A\n");
    defaults.close();
    EXPECT_EQ(BoxOf([&] { form.Button5->click(); }), "");
    EXPECT_EQ(form.MMWaveIn1->DeviceID(), 1);
    EXPECT_EQ(form.cmbInputDevice->currentIndex(), 1);
    form.MMWaveIn1->Close();
}

TEST(SavedInputTest, AMissingDeviceIsNamedAndNoOtherIsOpenedInItsPlace) {
    // Device 1 is there, but it is not the one saved.
    const TTestSettings settings("[SoundCard]\nInputDevNo=1\nInputDevName=Desk B\n");
    TSimWaveInDriver driver(Devices({"Desk A", "Desk C"}));
    TTestForm form({driver, settings.Dir(), {}});
    EXPECT_EQ(form.cmbInputDevice->currentIndex(), -1);
    EXPECT_EQ(BoxOf([&] { form.show(); }),
              "Invalid DeviceID\n\rThe sound device \"Desk B\" saved in the settings "
              "was not found: its card is not connected or its sound server is not "
              "running. Connect it and start the console again, or choose another "
              "device in the menu.");
    EXPECT_EQ(driver.Calls(TSimOp::Open), 0);
    EXPECT_FALSE(form.MMHiTimer1->Enabled());

    // Saving meanwhile loses nothing; a device chosen in the menu then takes its place.
    form.BtnSaveSetting->click();
    QFile saved(settings.File());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().startsWith("[SoundCard]\nInputDevNo=1\nInputDevName=Desk B\n"));
    form.cmbInputDevice->setCurrentIndex(1);
    EXPECT_EQ(BoxOf([&] { emit form.cmbInputDevice->activated(1); }), "");
    EXPECT_TRUE(form.MMWaveIn1->IsOpen());
    EXPECT_EQ(form.Settings.InputDevName, "Desk C");
    form.MMWaveIn1->Close();
}

// The command line's --device opens its input for this run, in place of a saved one that is
// missing too, and the settings file learns of it only from "Save Setting".
TEST(SavedInputTest, TheCommandLinesInputIsOpenedAndKeptOnlyBySaving) {
    const QByteArray saved = "[SoundCard]\nInputDevNo=0\nInputDevName=Desk B\n";
    const TTestSettings settings(saved);
    TSimWaveInDriver driver(Devices({"Desk A", "Desk C"}));
    TTestForm form({driver, settings.Dir(), {}});
    form.ChooseInputForRun("Desk C");
    EXPECT_EQ(BoxOf([&] { form.show(); }), "");
    EXPECT_EQ(form.MMWaveIn1->DeviceID(), 1);
    EXPECT_EQ(form.cmbInputDevice->currentIndex(), 1);
    const auto file = [&] {
        QFile f(settings.File());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    EXPECT_EQ(file(), saved);
    form.BtnSaveSetting->click();
    EXPECT_TRUE(file().startsWith("[SoundCard]\nInputDevNo=1\nInputDevName=Desk C\n"));
    form.MMWaveIn1->Close();
}
