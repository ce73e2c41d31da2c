// The loudness page: its page button beside "VU METER" and "SPECTRUM", its group beside the
// set-up menu, the tap that measures at the chain's end, and the refresh that shows it.

#include "app/Application.h"
#include "app/FormHelpers.h"
#include "app/LoudnessLog.h"
#include "app/MainFrm.h"

#include <functional>
#include <utility>

void TMainForm::BuildLoudness() {
    LoudPanel = new TLoudnessPage(PnlVU);
    LoudPanel->SetBounds(0, 0, 789, 255);
    // Under the page buttons, and hidden until its button is clicked.
    LoudPanel->stackUnder(VuChgBtnPanel);
    LoudPanel->hide();
    LoudChgBtnPanel = AddMMPanel(PnlVU, "LoudChgBtnPanel", {569, 2, 73, 17}, kPanelFace);
    SetOuterRingColor(LoudChgBtnPanel, kWindowColor);
    LoudChgBtnLbl = AddPageCaption(LoudChgBtnPanel, "LoudChgBtnLbl", "LOUDNESS", ArialFont(10, true));

    LoudnessBox = new TLoudnessMenu(this, CloseBox, LoudnessSettings);
    LoudnessBox->SetOnChange([this] { ApplyLoudnessSettings(); });

    const auto notify = [this](void (TMainForm::*handler)()) {
        return [this, handler](TObject *) { RunAction([this, handler] { (this->*handler)(); }); };
    };
    LoudChgBtnPanel->SetOnClick(notify(&TMainForm::LoudChgBtnPanelClick));
    LoudChgBtnLbl->SetOnClick(notify(&TMainForm::LoudChgBtnPanelClick));
    const auto command = [](TMMPanel *button, TMMLabel *caption, std::function<void()> apply) {
        const auto click = [apply](TObject *) { RunAction(apply); };
        button->SetOnClick(click);
        caption->SetOnClick(click);
    };
    command(LoudPanel->StartBtn, LoudPanel->StartLbl, [this] { MMLoudnessTap1->Start(); });
    command(LoudPanel->PauseBtn, LoudPanel->PauseLbl, [this] { MMLoudnessTap1->Pause(); });
    command(LoudPanel->ResetBtn, LoudPanel->ResetLbl, [this] { MMLoudnessTap1->Reset(); });
}

void TMainForm::BuildLoudnessChain() {
    FLoudnessTap = std::make_unique<TMMLoudnessTap>();
    MMLoudnessTap1 = FLoudnessTap.get();
    MMLoudnessTap1->SetName("MMLoudnessTap1");
    // The console's benchmark weighs the measurement against the same console without it.
    if (qEnvironmentVariable("VELMORA_LOUDNESS") != "off") MMLoudnessTap1->SetInput(MMPeakDetect1);
}

void TMainForm::ApplyLoudnessSettings() {
    LoudPanel->ApplySettings(LoudnessSettings);
    ShowCeilingLine();
    LoudnessBox->ShowSettings();
    LoudnessBox->SetLogFolderText(LoudnessLogFolder() + (FLogDirOverride.isEmpty() ? "" : " (--log-dir)"));
    FLoudnessLogError.Rearm();
    FLoudHistoryShown.reset();
    if (LoudPanel->isVisible()) LoudTimerTimer();
}

void TMainForm::SetLogDir(const QString &dir) {
    FLogDirOverride = dir;
    ApplyLoudnessSettings();
    ApplyAidSettings();
}

QString TMainForm::LoudnessLogFolder() const {
    if (!FLogDirOverride.isEmpty()) return FLogDirOverride;
    if (!LoudnessSettings.LogDir.isEmpty()) return LoudnessSettings.LogDir;
    return FServices.SettingsDir + "/loudness-log";
}

bool TMainForm::LoudnessLogOn() const {
    return !FLogDirOverride.isEmpty() || LoudnessSettings.Log;
}

void TMainForm::WriteLoudnessLog() {
    const std::vector<TLoudnessMinute> minutes = MMLoudnessTap1->TakeMinutes();
    if (!LoudnessLogOn()) return;
    const TLoudnessLog log(LoudnessLogFolder());
    try {
        for (const TLoudnessMinute &minute : minutes)
            log.Write(minute);
    } catch (const EMMLogError &e) {
        FLoudnessLogError.Report(this, QString::fromStdString(e.what()));
    }
}

void TMainForm::LoudTimerTimer() {
    RunQuietly([this] {
        WriteLoudnessLog();
        if (!LoudPanel->isVisible()) return;
        const TLoudnessReading reading = MMLoudnessTap1->Reading();
        std::vector<double> history;
        if (FLoudHistoryShown != reading.HistoryCount) {
            history = MMLoudnessTap1->History(LoudPanel->HistorySeconds(), TLoudnessPage::HistoryPoints);
            FLoudHistoryShown = reading.HistoryCount;
        }
        LoudPanel->Show(reading, history);
    });
}

void TMainForm::LoudChgBtnPanelClick() {
    SetOuterRingColor(SpcChgBtnPanel, clBlack);
    SetOuterRingColor(VuChgBtnPanel, clBlack);
    SetOuterRingColor(LoudChgBtnPanel, clRed);
    LoudPanel->show();
    VuPanel->hide();
    SpecPanel->hide();
    FLoudHistoryShown.reset();
    LoudTimerTimer();
}

void TMainForm::HideLoudnessPage() {
    SetOuterRingColor(LoudChgBtnPanel, clBlack);
    LoudPanel->hide();
}
