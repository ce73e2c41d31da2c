// Switching the input device while capture runs, through the combo box as the operator does:
// every switch returns, the old device's buffers stop with it, the setting follows, and the
// PEAK bars end on the device chosen last. On the simulated devices, and between ALSA's default
// device of the private PulseAudio server and a simulated one (skipped without VELMORA_PULSE).

#include "AppTestSupport.h"

#include "app/Forms.h"
#include "app/MeterPnl.h"

#include <QComboBox>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// The largest magnitude among a buffer's 16-bit samples.
int PeakOf(const PWaveHdr hdr) {
    int peak = 0;
    for (std::uint32_t i = 0; i + 1 < hdr->dwBytesRecorded; i += 2) {
        std::int16_t s;
        std::memcpy(&s, hdr->lpData + i, 2);
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    }
    return peak;
}

// Ends the program when a switch has not returned in time: a hang would otherwise show only as
// the runner's time-out, without saying where.
class TWatchdog {
  public:
    explicit TWatchdog(int switchNo)
        : FThread([this, switchNo] {
              std::unique_lock lock(FMutex);
              if (!FDone.wait_for(lock, std::chrono::seconds(30), [this] { return FReturned; })) {
                  std::fprintf(stderr, "device switch %d did not return within 30 s\n", switchNo);
                  std::abort();
              }
          }) {}
    ~TWatchdog() {
        {
            std::lock_guard lock(FMutex);
            FReturned = true;
        }
        FDone.notify_one();
        FThread.join();
    }

  private:
    std::mutex FMutex;
    std::condition_variable FDone;
    bool FReturned = false;
    std::thread FThread;
};

class DeviceSwitch : public ::testing::Test {
  protected:
    // The console on driver, capturing from device `first`, the PEAK panel joined and every
    // buffer reaching the connector sorted by its signal: -20 dBFS peaks at 3276, silence at 0.
    void Start(TWaveInDriver &driver, int first) {
        FSettings.Put(QByteArray("[SoundCard]\r\nInputDevNo=") + QByteArray::number(first) + "\r\n");
        RegisterForm(&FMeter);
        FForm = std::make_unique<TTestForm>(TFormServices{driver, FSettings.Dir(), &StartProgram});
        FForm->ConnectPeakMeters();
        FForm->MMConnector2->SetOnBufferReady([this](TObject *, PWaveHdr hdr) {
            const int expected = FExpectTone.load();
            if (expected < 0 || hdr == nullptr || hdr->dwBytesRecorded == 0) return;
            ++((PeakOf(hdr) > 1000) == (expected == 1) ? FFresh : FStale);
        });
        FMeter.show();
        FForm->FormShow();
        ASSERT_EQ(FForm->MMWaveIn1->DeviceID(), first);
    }
    void TearDown() override {
        if (!FForm) return;
        FForm->MMWaveIn1->Stop();
        FForm->MMWaveIn1->Close();
        AppendSimulatedWaveInDevices(false);
    }

    // Twenty switches between the two devices, starting and ending on the tone.
    void SwitchBackAndForth(int silent, int tone) {
        for (int n = 1; n <= 20; ++n) {
            const bool toTone = n % 2 == 0;
            const int device = toTone ? tone : silent;
            FExpectTone = -1;
            QString box;
            {
                const TWatchdog watchdog(n);
                box = AnswerMessageBox([&] {
                    FForm->cmbInputDevice->setCurrentIndex(device);
                    emit FForm->cmbInputDevice->activated(device);
                });
            }
            ASSERT_TRUE(box.isEmpty()) << "switch " << n << ": " << box.toStdString();
            FFresh = 0;
            FExpectTone = toTone ? 1 : 0;
            // The loop goes on, and the new device's buffers come, the old one's no more.
            bool ticked = false;
            QTimer::singleShot(0, [&] { ticked = true; });
            ASSERT_TRUE(WaitFor([&] { return ticked && FFresh >= 3; })) << "switch " << n;
            ASSERT_EQ(FStale, 0) << "switch " << n;
            EXPECT_EQ(FForm->MMWaveIn1->DeviceID(), device);
            EXPECT_EQ(FForm->Settings.InputDevNo, device);
        }
        // -20 dBFS at Sensitivy -60: 47 of 71 spots.
        const TMMLevel *left = FMeter.MMLevel1;
        EXPECT_TRUE(WaitFor([&] { return left->State().BarPosition() == 47; }, 8000))
            << left->State().BarPosition();
    }

    TSimWaveInDriver FSimDriver; // silence, then the 1 kHz tone at -20 dBFS
    TMeterPanel FMeter;
    TTestSettings FSettings;
    std::unique_ptr<TTestForm> FForm;
    std::atomic<int> FExpectTone{-1}; // -1 while switching: nothing is judged
    std::atomic<int> FFresh{0}, FStale{0};
};

TEST_F(DeviceSwitch, BetweenSimulatedDevicesTheNewOneAloneDelivers) {
    Start(FSimDriver, 1);
    SwitchBackAndForth(0, 1);
}

TEST_F(DeviceSwitch, BetweenAlsaDefaultAndASimulatedDevice) {
    if (std::getenv("VELMORA_PULSE") == nullptr) GTEST_SKIP() << "no PulseAudio server (VELMORA_PULSE unset)";
    // The simulated four come after the ALSA devices, the tone second; the server's sink
    // plays silence, so ALSA's default captures zeros. TearDown lists them no more.
    AppendSimulatedWaveInDevices(true);
    const int tone = static_cast<int>(SystemWaveInDriver().GetNumDevs()) - 3;
    Start(SystemWaveInDriver(), tone);
    ASSERT_EQ(FForm->cmbInputDevice->itemText(tone), "Simulated 1 kHz -20 dBFS");
    ASSERT_GT(tone, 0) << "no ALSA device listed";
    SwitchBackAndForth(0, tone);
}

} // namespace
