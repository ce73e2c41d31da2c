// The console built from the services it is given: the devices of the driver it is handed,
// the settings file in the folder it is handed, the launcher it is handed, and nothing of the
// machine's own.

#include "AppTestSupport.h"

#include "app/MainFrm.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

QString BesideTheProgram() {
    return SettingsFilePath(ProgramSettingsDir());
}

std::vector<TSimDevice> Desks() {
    std::vector<TSimDevice> devices(3);
    devices[0].Name = "Desk A";
    devices[1].Name = "Desk B";
    devices[2].Name = "Desk C";
    devices[2].Signal = TSimSignal::Sine;
    return devices;
}

} // namespace

TEST(ServiceBuiltFormTest, RunsOnTheGivenDevicesSettingsFolderAndLauncher) {
    ASSERT_FALSE(QFile::exists(BesideTheProgram()));
    TSimWaveInDriver driver(Desks());
    const TTestSettings settings("[SoundCard]\nInputDevNo=2\n[VU]\nVUPos=1\n[Peak]\nLevel3=-33\n");
    std::vector<std::pair<std::string, std::string>> launched;
    const TProgramLauncher launcher = [&](const std::string &commandLine, const std::string &workingDir) {
        launched.emplace_back(commandLine, workingDir);
        return true;
    };

    TTestForm form({driver, settings.Dir(), launcher});
    // The settings came from the given folder.
    EXPECT_EQ(form.Settings.InputDevNo, 2);
    EXPECT_TRUE(form.RbUpper->isChecked());
    EXPECT_EQ(form.SetupLed3->Caption(), "-33");
    // The devices are the given driver's, and the saved one is chosen.
    ASSERT_EQ(form.cmbInputDevice->count(), 3);
    EXPECT_EQ(form.cmbInputDevice->itemText(1), "Desk B");
    EXPECT_EQ(form.cmbInputDevice->currentIndex(), 2);
    EXPECT_EQ(&form.MMWaveIn1->Driver(), &driver);

    // Capture starts on that driver when the window is shown.
    std::atomic<int> buffers{0};
    form.MMWaveIn1->SetOnBufferReady([&](TObject *, PWaveHdr) { ++buffers; });
    const QString box = AnswerMessageBox([&] {
        form.show();
        WaitFor([&] { return buffers >= 1; }, 5000);
    });
    EXPECT_TRUE(box.isEmpty()) << box.toStdString();
    EXPECT_GE(driver.Calls(TSimOp::Open), 1);
    EXPECT_GE(buffers, 1);
    EXPECT_TRUE(form.MMHiTimer1->Enabled());
    form.MMWaveIn1->Close();
    form.hide();

    // Saving writes into the given folder.
    form.BtnSaveSetting->click();
    QFile saved(settings.File());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray contents = saved.readAll();
    EXPECT_TRUE(contents.contains("InputDevNo=2")) << contents.data();
    EXPECT_TRUE(contents.contains("Level3=-33")) << contents.data();

    // Programs start through the given launcher, from the working directory.
    form.Button1->click();
    form.Button3->click();
    const std::string wd = QDir::currentPath().toStdString();
    ASSERT_EQ(launched.size(), 2u);
    EXPECT_EQ(launched[0], std::make_pair(wd + "/DizaVare.exe", wd));
    EXPECT_EQ(launched[1], std::make_pair(wd + "/watch.exe", wd));

    EXPECT_FALSE(QFile::exists(BesideTheProgram()));
}

TEST(ServiceBuiltFormTest, TheGivenDriversFailureReachesTheErrorBox) {
    TSimWaveInDriver driver(Desks());
    driver.Fail(TSimOp::Open, MMSYSERR_ALLOCATED);
    const TTestSettings settings;
    TTestForm form({driver, settings.Dir(), {}});
    const QString box = AnswerMessageBox([&] {
        form.show();
        WaitFor([] { return false; }, 300);
    });
    EXPECT_TRUE(box.startsWith("WaveInOpen:")) << box.toStdString();
    EXPECT_TRUE(box.contains("already in use")) << box.toStdString();
    EXPECT_FALSE(form.MMWaveIn1->IsOpen());
    EXPECT_FALSE(form.MMHiTimer1->Enabled());
    form.hide();
    // Without a launcher nothing starts, and nothing fails.
    form.Button1->click();
    EXPECT_EQ(form.Ended, 0);
}

TEST(ServiceBuiltFormTest, ASettingsFolderMustBeGiven) {
    TSimWaveInDriver driver(Desks());
    EXPECT_THROW(TMainForm({driver, QString(), {}}), std::invalid_argument);
}
