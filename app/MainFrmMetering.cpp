// Capture and the read-out refresh: the wave input starts when the window is shown, and the
// 20 ms timer reads the meters back into the read-outs.

#include "app/MainFrm.h"

void TMainForm::BuildTimers() {
    // The 20 ms read-out refresh runs from the first show whose capture started.
    FHiTimer = std::make_unique<TMMHiTimer>();
    MMHiTimer1 = FHiTimer.get();
    MMHiTimer1->SetName("MMHiTimer1");
    MMHiTimer1->SetEnabled(false);
    MMHiTimer1->SetCallBackMode(cmThread);
    MMHiTimer1->SetSynchronize(true);
    MMHiTimer1->SetInterval(20);
    MMHiTimer1->SetOnTimer([this](TObject *Sender) { MMHiTimer1Timer(Sender); });
}

void TMainForm::FormShow() {
    ConnectPeakMeters();
    MMWaveIn1->Start(); // a failure leaves the refresh off
    MMHiTimer1->SetEnabled(true);
}

void TMainForm::MMHiTimer1Timer(TObject *) {
    // The peak read-outs, CLIP latches and margin LEDs join when the meter panel's bar meters exist.
}
