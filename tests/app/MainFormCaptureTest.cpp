#include "AppTestSupport.h"

#include "app/MainFrm.h"
#include "app/Settings.h"

#include <QComboBox>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace {

// No ALSA device answers while this lives (the pulse plugin is pointed nowhere), and
// the simulated devices are listed or not as asked.
class TDeviceScene {
  public:
    explicit TDeviceScene(bool simulated) {
        if (const char *old = std::getenv("PULSE_SERVER")) oldServer_ = old;
        setenv("PULSE_SERVER", "unix:/nonexistent", 1);
        AppendSimulatedWaveInDevices(simulated);
    }
    ~TDeviceScene() {
        AppendSimulatedWaveInDevices(false);
        if (oldServer_)
            setenv("PULSE_SERVER", oldServer_->c_str(), 1);
        else
            unsetenv("PULSE_SERVER");
    }

  private:
    std::optional<std::string> oldServer_;
};

} // namespace

TEST(MainFormCaptureTest, WaveInIsConfiguredAndTheSavedDeviceIsSelected) {
    const TDeviceScene scene(true);
    const TTestSettings ini("[SoundCard]\r\nInputDevNo=1\r\n");
    TTestForm form({SystemWaveInDriver(), ini.Dir(), &StartProgram});
    TMMWaveIn &w = *form.MMWaveIn1;
    EXPECT_EQ(w.BufferSize(), 8192);
    EXPECT_EQ(w.CallBackMode(), cmThread);
    EXPECT_EQ(w.Mode(), mStereo);
    EXPECT_EQ(w.BitLength(), b16Bit);
    EXPECT_EQ(w.SampleRate(), 48000);
    EXPECT_EQ(form.MMHiTimer1->Interval(), 20);
    EXPECT_TRUE(form.MMHiTimer1->Synchronize());
    EXPECT_EQ(form.MMHiTimer1->CallBackMode(), cmThread);
    EXPECT_FALSE(form.MMHiTimer1->Enabled()) << "the refresh waits for the show";
    ASSERT_EQ(form.cmbInputDevice->count(), 4);
    EXPECT_EQ(form.cmbInputDevice->itemText(0), "Simulated silence");
    EXPECT_EQ(form.cmbInputDevice->itemText(1), "Simulated 1 kHz -20 dBFS");
    EXPECT_EQ(form.cmbInputDevice->currentIndex(), 1);
    EXPECT_EQ(w.DeviceID(), 1);

    std::atomic<int> buffers{0};
    w.SetOnBufferReady([&](TObject *, PWaveHdr) { ++buffers; });
    const QString box = AnswerMessageBox([&] {
        form.show();
        WaitFor([&] { return buffers >= 2; }, 5000);
    });
    EXPECT_TRUE(box.isEmpty()) << box.toStdString();
    EXPECT_EQ(w.State(), TMMCustomWaveIn::wsOpen | TMMCustomWaveIn::wsStarted);
    EXPECT_GE(buffers, 2);
    EXPECT_TRUE(form.MMHiTimer1->Enabled());
    w.Close();
}

TEST(MainFormCaptureTest, WithoutADeviceTheErrorBoxComesAndTheWindowStays) {
    const TDeviceScene scene(false);
    const TTestSettings ini("[SoundCard]\r\nInputDevNo=0\r\n");
    TTestForm form({SystemWaveInDriver(), ini.Dir(), &StartProgram});
    EXPECT_EQ(form.cmbInputDevice->count(), 0);
    EXPECT_EQ(form.cmbInputDevice->currentIndex(), -1);
    const QString box = AnswerMessageBox([&] {
        form.show();
        WaitFor([] { return false; }, 300);
    });
    EXPECT_EQ(box, "No wave audio recording device found");
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.MMWaveIn1->IsOpen());
    EXPECT_FALSE(form.MMHiTimer1->Enabled()) << "a failed start leaves the refresh off";
}
