// Capture and the read-out refresh: the wave input starts when the window is shown; the 20 ms
// timer reads the PEAK bars back into the read-outs, the CLIP latches and the margin LEDs,
// and a 1 s timer lights the signal bars and feeds the trend graph.

#include "app/Application.h"
#include "app/FormHelpers.h"
#include "app/MainFrm.h"
#include "app/MeterPnl.h"
#include "app/MeteringLaws.h"
#include "core/PCM.h"

#include <QTimer>

namespace {

QTimer *AddTimer(QObject *owner, const char *name, int interval) {
    auto *timer = new QTimer(owner);
    timer->setObjectName(name);
    timer->setInterval(interval);
    return timer;
}

void SetClipColor(QLabel *clip, TColor color) {
    if (clip->palette().color(QPalette::WindowText) != ToQColor(color)) SetColors(clip, color);
}

// CLIP red for the next 10 seconds, counted anew from this tick.
void LatchClip(QLabel *clip, QTimer *release) {
    SetClipColor(clip, clRed);
    release->start();
}

void ShowMargin(TMMLED *led, int peak, const TSettings &s) {
    const TMarginLook look =
        MarginLook(SampleToDB(peak, kMeterFullScale), s.PeakLevel1, s.PeakLevel2, s.PeakLevel3);
    led->SetLEDColor(look.Color);
    if (look.Caption) led->SetCaption(*look.Caption);
}

} // namespace

void TMainForm::BuildTimers() {
    // The 20 ms read-out refresh runs from the first show whose capture started.
    FHiTimer = std::make_unique<TMMHiTimer>();
    MMHiTimer1 = FHiTimer.get();
    MMHiTimer1->SetName("MMHiTimer1");
    MMHiTimer1->SetEnabled(false);
    MMHiTimer1->SetCallBackMode(cmThread);
    MMHiTimer1->SetSynchronize(true);
    MMHiTimer1->SetInterval(20);
    // Read-outs, LEDs and the trend only feed the screen: while it shows, each tick
    // waits for the frame that presents it rather than waking the main thread.
    MMHiTimer1->SetRideFrames(true);
    MMHiTimer1->SetOnTimer([this](TObject *Sender) { MMHiTimer1Timer(Sender); });

    Timer1 = AddTimer(this, "Timer1", 1000);
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    Timer1->start();
    ClipTimerL = AddTimer(this, "ClipTimerL", kClipLatchMs);
    connect(ClipTimerL, &QTimer::timeout, this, &TMainForm::ClipTimerLTimer);
    ClipTimerR = AddTimer(this, "ClipTimerR", kClipLatchMs);
    connect(ClipTimerR, &QTimer::timeout, this, &TMainForm::ClipTimerRTimer);
    // Ten seconds after the last clip, not up to half a second either way as a coarse timer.
    for (QTimer *latch : {ClipTimerL, ClipTimerR})
        latch->setTimerType(Qt::PreciseTimer);
}

void TMainForm::FormShow() {
    ConnectPeakMeters();
    StartCapture();
}

void TMainForm::StartCapture() {
    CheckSavedInput();
    MMWaveIn1->Start(); // raises before the refresh is switched on
    MMHiTimer1->SetEnabled(true);
}

void TMainForm::RestartCapture(int deviceId) {
    MMWaveIn1->Stop();
    MMWaveIn1->Close();
    MMWaveIn1->SetDeviceID(deviceId);
    StartCapture();
}

void TMainForm::MMHiTimer1Timer(TObject *) {
    // Fifty ticks a second: a failing one ends quietly and the next starts afresh.
    RunQuietly([this] {
        const TMeterPanel *panel = PeakMeterPanel();
        if (panel == nullptr) return;
        const int pL = panel->MMLevel1->CurrentPeak();
        PLLbl->setText(SampleToDBLabel(pL, kMeterFullScale, kReadOutDecimals));
        if (pL > kClipThreshold) LatchClip(panel->ClipL, ClipTimerL);
        const int pR = panel->MMLevel2->CurrentPeak();
        PRLbl->setText(SampleToDBLabel(pR, kMeterFullScale, kReadOutDecimals));
        if (pR > kClipThreshold) LatchClip(panel->ClipR, ClipTimerR);
        ShowMargin(MarginLedLeft, pL, Settings);
        ShowMargin(MarginLedRight, pR, Settings);
    });
    LoudTicks.Tick();
    AidsTicks.Tick();
    NetTick();
}

void TMainForm::ClipTimerLTimer() {
    if (const TMeterPanel *panel = PeakMeterPanel()) SetClipColor(panel->ClipL, clMaroon);
    ClipTimerL->stop();
}

void TMainForm::ClipTimerRTimer() {
    if (const TMeterPanel *panel = PeakMeterPanel()) SetClipColor(panel->ClipR, clMaroon);
    ClipTimerR->stop();
}

void TMainForm::Timer1Timer() {
    RunQuietly([this] {
        const TMeterPanel *panel = PeakMeterPanel();
        if (panel == nullptr) return;
        const TTrendReading reading =
            TrendReading(SampleToDBText(panel->MMLevel1->CurrentPeak(), kMeterFullScale, kReadOutDecimals),
                         SampleToDBText(panel->MMLevel2->CurrentPeak(), kMeterFullScale, kReadOutDecimals),
                         DBDecimalSeparator());
        // The dead-air alarm flashes them while it is raised.
        if (!FAlarmShown) {
            SIGLED->SetEnabled(reading.SignalL);
            SIGLED2->SetEnabled(reading.SignalR);
        }
        Trend7->AddValue(reading.Value);
    });
}
