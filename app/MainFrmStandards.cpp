// The metering standards: a group of its own beside the set-up menu, shown and hidden with it,
// holding the VU needles' standard, the PEAK bars' standard and how long the bars hold a peak.
// As the menu's handlers, each changes its meters at once and the matching setting; only
// "Save Setting" writes them.

#include "app/Application.h"
#include "app/FormHelpers.h"
#include "app/LoudnessSettings.h"
#include "app/MainFrm.h"
#include "app/MeterPnl.h"

#include <QComboBox>
#include <QGroupBox>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr int kHoldStepMs = 500;
// BGR: the K-System's amber, and its green and amber unlit.
constexpr TColor kAmber = 0x0000BFFF;
constexpr TColor kUnlitGreen = 0x00004000;
constexpr TColor kUnlitAmber = 0x0000304A;

// Percent along the bar a level lies at on a scale, as the bar's zone points take it.
int PercentAlong(const TMMStandardScale &scale, double dbfs) {
    return std::clamp(static_cast<int>(std::lround(ScaleFraction(scale, dbfs) * 100.0)), 1, 100);
}

QComboBox *AddChoice(QWidget *parent, const QString &name, const QStringList &items, int top) {
    auto *box = new QComboBox(parent);
    box->setObjectName(name);
    box->setFrame(false);
    box->addItems(items);
    box->setGeometry(6, top, 178, 20);
    return box;
}

QStringList AlignNames() {
    QStringList names;
    for (int d = kAlignMinDbfs; d <= kAlignMaxDbfs; ++d)
        names << QString::number(d);
    return names;
}

QString HoldTimeText(int milliseconds) {
    return QString::number(milliseconds / 1000.0, 'f', 1);
}

} // namespace

// Left of the menu, at its top and height, so nothing of the menu moves or is covered.
void TMainForm::BuildStandardsMenu() {
    StandardsBox = new QGroupBox("Metering", this);
    StandardsBox->setObjectName("StandardsBox");
    StandardsBox->setGeometry(8, 118, 192, 331);
    SetColors(StandardsBox, clWhite, kWindowColor);

    const QFont text = GothicFont(12);
    AddLabel(StandardsBox, "LblNeedleStd", {9, 24}, "VU NEEDLE", clWhite, text);
    cmbNeedleStd = AddChoice(StandardsBox, "cmbNeedleStd", NeedleStandardNames(), 37);
    AddLabel(StandardsBox, "LblPeakStd", {9, 68}, "PEAK BARS", clWhite, text);
    cmbPeakStd = AddChoice(StandardsBox, "cmbPeakStd", PeakStandardNames(), 82);
    AddLabel(StandardsBox, "LblPeakHold", {9, 114}, "PEAK HOLD", clWhite, text);
    cmbPeakHold = AddChoice(StandardsBox, "cmbPeakHold", PeakHoldNames(), 127);

    AddLabel(StandardsBox, "LblHoldTime", {9, 160}, "HOLD TIME", clWhite, text);
    HoldTimeLed = AddLed(StandardsBox, "HoldTimeLed", {25, 180, 40, 22}, clLime,
                         HoldTimeText(Settings.Standards.PeakHold.Milliseconds));
    MMSpinButton6 = AddSpinButton(StandardsBox, "MMSpinButton6", {72, 176});
    AddLabel(StandardsBox, "LblHoldSec", {104, 186}, "sec", clWhite, text);

    BtnResetPeaks = AddPushButton(StandardsBox, "BtnResetPeaks", "Reset Peaks", {6, 222, 120, 24});
    AddLabel(StandardsBox, "LblResetHint", {9, 252}, "or click a PEAK bar", clWhite, text);

    AddLabel(StandardsBox, "LblBarScale", {9, 274}, "SCALE", clWhite, text);
    cmbBarScale = AddChoice(StandardsBox, "cmbBarScale", BarScaleNames(), 288);
    cmbBarScale->setGeometry(6, 288, 96, 20);
    AddLabel(StandardsBox, "LblAlign", {110, 274}, "ALIGN dBFS", clWhite, text);
    cmbAlign = AddChoice(StandardsBox, "cmbAlign", AlignNames(), 288);
    cmbAlign->setGeometry(108, 288, 76, 20);
    StandardsBox->hide();
}

void TMainForm::ConnectStandardsHandlers() {
    const auto on = [this](QComboBox *box, void (TMainForm::*handler)()) {
        connect(box, &QComboBox::activated, this,
                [this, handler] { RunAction([&] { (this->*handler)(); }); });
    };
    on(cmbNeedleStd, &TMainForm::cmbNeedleStdChange);
    on(cmbPeakStd, &TMainForm::cmbPeakStdChange);
    on(cmbPeakHold, &TMainForm::cmbPeakHoldChange);
    on(cmbBarScale, &TMainForm::cmbBarScaleChange);
    on(cmbAlign, &TMainForm::cmbAlignChange);
    connect(BtnResetPeaks, &QPushButton::clicked, this,
            [this] { RunAction([this] { BtnResetPeaksClick(); }); });
    MMSpinButton6->SetOnUpClick([this](TObject *) { RunAction([this] { MMSpinButton6UpClick(); }); });
    MMSpinButton6->SetOnDownClick([this](TObject *) { RunAction([this] { MMSpinButton6DownClick(); }); });
}

void TMainForm::ApplyStandards() {
    const TMeteringStandards &s = Settings.Standards;
    for (TMMMeter *meter : {PlayMeterL, PlayMeterR})
        meter->SetNeedleStandard(s.Needle);
    ApplyPeakBarStandards();
    cmbNeedleStd->setCurrentIndex(s.Needle);
    cmbPeakStd->setCurrentIndex(s.PeakBars);
    cmbPeakHold->setCurrentIndex(s.PeakHold.Mode);
    cmbBarScale->setCurrentIndex(s.Scale);
    cmbAlign->setCurrentIndex(AlignKept(s.AlignDbfs) - kAlignMinDbfs);
    HoldTimeLed->SetCaption(HoldTimeText(s.PeakHold.Milliseconds));
    // Lit while the time counts, grey while it waits for a timed hold.
    HoldTimeLed->SetLEDColor(s.PeakHold.Mode == phTime ? clLime : clGray);
}

void TMainForm::ApplyPeakBarStandards() {
    TMeterPanel *panel = PeakMeterPanel();
    if (panel == nullptr) return;
    const TMMStandardScale scale = BarScale(Settings.Standards);
    const TMMScaleZones zones = ScaleZones(scale);
    const bool k = IsKSystem(Settings.Standards.PeakBars);
    for (TMMLevel *bar : {panel->MMLevel1, panel->MMLevel2}) {
        bar->SetScaleLaw(scale);
        // The K-System's green, amber and red with a thin peak line; else the panel's look.
        bar->SetBar1Color(k ? clLime : kPeakBarColor);
        bar->SetBar2Color(k ? kAmber : kPeakBarColor);
        bar->SetBar3Color(clRed);
        bar->SetInactive1Color(k ? kUnlitGreen : kPeakBarUnlit);
        bar->SetInactive2Color(k ? kUnlitAmber : kPeakBarUnlit);
        bar->SetNumPeaks(k ? 1 : 2);
        // The bar's colours change where its scale's do.
        bar->SetPoint1(PercentAlong(scale, zones.Low));
        bar->SetPoint2(PercentAlong(scale, zones.High));
        bar->SetPeakStandard(Settings.Standards.PeakBars);
        bar->SetTruePeakFeed(&MMLoudnessTap1->TruePeaks());
        bar->SetPeakHold(Settings.Standards.PeakHold);
        bar->SetOnClick([this](TObject *) { RunAction([this] { BtnResetPeaksClick(); }); });
    }
    const TMMLevel *bar = panel->MMLevel1;
    TMMLevelScale *strip = panel->MMLevelScale2;
    strip->SetStandardScale(scale, bar->State().Geometry(), bar->y() + bar->InnerRect().Top - strip->y());
    ShowCeilingLine();
}

void TMainForm::ShowCeilingLine() {
    TMeterPanel *panel = PeakMeterPanel();
    if (panel == nullptr) return;
    // True-peak bars are read against the loudness target's ceiling.
    std::optional<double> ceiling;
    if (Settings.Standards.PeakBars == psTruePeak) ceiling = LoudnessTargetOf(LoudnessSettings).Ceiling;
    panel->MMLevelScale2->SetLevelLine(ceiling);
}

void TMainForm::cmbBarScaleChange() {
    Settings.Standards.Scale = static_cast<TMeteringStandards::TBarScale>(cmbBarScale->currentIndex());
    ApplyStandards();
}

void TMainForm::cmbAlignChange() {
    Settings.Standards.AlignDbfs = kAlignMinDbfs + cmbAlign->currentIndex();
    ApplyStandards();
}

void TMainForm::cmbNeedleStdChange() {
    Settings.Standards.Needle = static_cast<TMMNeedleStandard>(cmbNeedleStd->currentIndex());
    ApplyStandards();
}

void TMainForm::cmbPeakStdChange() {
    Settings.Standards.PeakBars = static_cast<TMMPeakStandard>(cmbPeakStd->currentIndex());
    ApplyStandards();
}

void TMainForm::cmbPeakHoldChange() {
    Settings.Standards.PeakHold.Mode = static_cast<TMMPeakHoldMode>(cmbPeakHold->currentIndex());
    ApplyStandards();
}

void TMainForm::StepHoldTime(int step) {
    TMMPeakHold &hold = Settings.Standards.PeakHold;
    hold = PeakHoldRule({hold.Mode, hold.Milliseconds + step * kHoldStepMs});
    ApplyStandards();
}

void TMainForm::MMSpinButton6UpClick() {
    StepHoldTime(+1);
}

void TMainForm::MMSpinButton6DownClick() {
    StepHoldTime(-1);
}

void TMainForm::BtnResetPeaksClick() {
    if (TMeterPanel *panel = PeakMeterPanel()) {
        panel->MMLevel1->ResetPeak();
        panel->MMLevel2->ResetPeak();
    }
    // The latches' own release: dark again and their timers stopped.
    ClipTimerLTimer();
    ClipTimerRTimer();
}
