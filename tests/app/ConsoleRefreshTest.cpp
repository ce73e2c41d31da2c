// The console's read-out refresh on its real controls: the PEAK bars of the meter panel read
// back into the dB read-outs, the CLIP latches, the margin LEDs, the signal bars and the trend
// graph.

#include "AppTestSupport.h"

#include "app/Forms.h"
#include "app/MeterPnl.h"

#include <QComboBox>
#include <QLabel>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TColor FontColor(const QLabel *label) {
    return FromQColor(label->palette().color(QPalette::WindowText));
}

// The console beside its meter panel, the bars driven by hand (percent of full scale).
struct TConsoleAndPanel {
    TMeterPanel Panel;
    TSimConsole Form;
    TConsoleAndPanel() { RegisterForm(&Panel); }
    void Levels(int left, int right) {
        Panel.MMLevel1->ResetData();
        Panel.MMLevel2->ResetData();
        Panel.MMLevel1->SetValue(left);
        Panel.MMLevel2->SetValue(right);
    }
};

} // namespace

TEST(ConsoleRefresh, PeaksReadBackIntoReadOutsClipLatchesAndMarginLeds) {
    TConsoleAndPanel c;
    TSimConsole &form = c.Form;

    c.Levels(0, 0);
    form.MMHiTimer1Timer(nullptr);
    EXPECT_EQ(form.PLLbl->text(), "  -Inf dB");
    EXPECT_EQ(form.PRLbl->text(), "  -Inf dB");
    // Silence darkens the margin LEDs and leaves their captions.
    EXPECT_EQ(form.MarginLedLeft->LEDColor(), 0);
    EXPECT_EQ(form.MarginLedLeft->Caption(), "+16");

    // Full scale on the left, -20 dBFS (3276) on the right.
    c.Levels(100, 10);
    form.MMHiTimer1Timer(nullptr);
    EXPECT_EQ(form.PRLbl->text(), "-20.00 dB");
    EXPECT_EQ(FontColor(c.Panel.ClipL), clRed);
    EXPECT_EQ(FontColor(c.Panel.ClipR), clMaroon);
    EXPECT_TRUE(form.ClipTimerL->isActive());
    EXPECT_FALSE(form.ClipTimerR->isActive());
    EXPECT_EQ(form.MarginLedLeft->LEDColor(), 255);
    EXPECT_EQ(form.MarginLedLeft->Caption(), "+20");
    EXPECT_EQ(form.MarginLedRight->LEDColor(), 65280);
    EXPECT_EQ(form.MarginLedRight->Caption(), "±0");

    // Every clip counts the 10 seconds anew.
    QThread::msleep(300);
    const int before = form.ClipTimerL->remainingTime();
    c.Levels(100, 10);
    form.MMHiTimer1Timer(nullptr);
    EXPECT_GT(form.ClipTimerL->remainingTime(), before + 200);
    // The release darkens CLIP and ends the latch; a clip-free tick does not relight it.
    form.ClipTimerLTimer();
    EXPECT_EQ(FontColor(c.Panel.ClipL), clMaroon);
    EXPECT_FALSE(form.ClipTimerL->isActive());
    c.Levels(10, 10);
    form.MMHiTimer1Timer(nullptr);
    EXPECT_EQ(FontColor(c.Panel.ClipL), clMaroon);

    // A threshold moved in the menu rules from the next tick: -20 dBFS is now above the lowest.
    for (int i = 0; i < 5; ++i)
        form.MMSpinButton4->ClickHalf(shDown);
    form.MMHiTimer1Timer(nullptr);
    EXPECT_EQ(form.MarginLedRight->LEDColor(), 65280);
    EXPECT_EQ(form.MarginLedRight->Caption(), "+0");
}

TEST(ConsoleRefresh, EverySecondTheSignalBarsAndTheLouderChannelIntoTheGraph) {
    TConsoleAndPanel c;
    TSimConsole &form = c.Form;
    const auto last = [&] { return form.Trend7->Values()[99]; };

    c.Levels(0, 10);
    form.Timer1Timer();
    EXPECT_FALSE(form.SIGLED->Enabled());
    EXPECT_TRUE(form.SIGLED2->Enabled());
    EXPECT_EQ(last(), 30);
    // Silence on both: -60 + 50, held at the graph's floor; the older sample moves left.
    c.Levels(0, 0);
    form.Timer1Timer();
    EXPECT_FALSE(form.SIGLED2->Enabled());
    EXPECT_EQ(last(), 0);
    EXPECT_EQ(form.Trend7->Values()[98], 30);
}

// Capture moves to the device chosen in the menu; one that cannot open reports its error and
// leaves the setting.
TEST(ConsoleRefresh, ChoosingAnInputDeviceRestartsCaptureAndTheReadOuts) {
    TSimConsole form;
    // The first start failed: no refresh yet.
    form.SimDriver().Fail(TSimOp::Open, MMSYSERR_ALLOCATED, 1);
    EXPECT_THROW(form.FormShow(), EMMWaveInError);
    EXPECT_FALSE(form.MMHiTimer1->Enabled());

    form.cmbInputDevice->setCurrentIndex(2);
    emit form.cmbInputDevice->activated(2);
    EXPECT_EQ(form.Settings.InputDevNo, 2);
    EXPECT_EQ(form.MMWaveIn1->DeviceID(), 2);
    EXPECT_TRUE(form.MMWaveIn1->IsOpen());
    // A working device brings the read-outs with it.
    EXPECT_TRUE(form.MMHiTimer1->Enabled());

    form.SimDriver().Fail(TSimOp::Open, MMSYSERR_ALLOCATED);
    form.cmbInputDevice->setCurrentIndex(1);
    const QString text = AnswerMessageBox([&] { emit form.cmbInputDevice->activated(1); });
    EXPECT_TRUE(text.startsWith("WaveInOpen:")) << text.toStdString();
    EXPECT_EQ(form.Settings.InputDevNo, 2);
    EXPECT_FALSE(form.MMWaveIn1->IsOpen());
    form.SimDriver().ClearFaults();
}
