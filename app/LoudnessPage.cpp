#include "app/LoudnessPage.h"

#include "app/FormHelpers.h"
#include "widgets/MMBorder.h"

#include <cmath>

namespace {

constexpr int kBarTop = 28, kBarHeight = 198;
constexpr QRect kHistory{470, 24, 312, 202};
constexpr TColor kHistoryFill = 9976065; // the trend graph's

// History values: tenths of a LU above the scale's bottom, as the trend graph takes integers.
int HistoryValue(double lufs, const TLoudnessRange &range) {
    if (!(lufs > range.Bottom)) return 0;
    return static_cast<int>(std::lround((std::min(lufs, range.Top) - range.Bottom) * 10));
}

// The trend graph's row for a level (its filled style's law).
int HistoryY(double lufs, const TLoudnessRange &range, int height) {
    const int max = HistoryValue(range.Top, range);
    return height - (HistoryValue(lufs, range) * (height - 6) / max + 3);
}

void ShowReadout(TMMLEDReadout *led, double value, bool alert) {
    led->SetText(LoudnessReadoutText(value));
    led->SetLEDColor(alert ? clRed : clLime);
    led->SetInactiveColor(alert ? clMaroon : clGreen);
}

} // namespace

TLoudnessPage::TLoudnessPage(QWidget *parent) : TMMPanel(parent) {
    setObjectName("LoudPanel");
    SetColor(kPanelFace);
    AddLabel(this, "LblLoudness", {372, 4}, "LOUDNESS", clLime, ArialFont(12, true));
    TargetLbl = AddLabel(this, "LoudTargetLbl", {8, 6}, QString(), clWhite, ArialFont(10, true));

    MomentaryBar = new TMMLoudnessBar(this);
    MomentaryBar->setObjectName("LoudMomentaryBar");
    MomentaryBar->SetBounds(44, kBarTop, 30, kBarHeight);
    ShortTermBar = new TMMLoudnessBar(this);
    ShortTermBar->setObjectName("LoudShortTermBar");
    ShortTermBar->SetBounds(82, kBarTop, 30, kBarHeight);
    AddLabel(this, "LblLoudM", {54, 230}, "M", clLime, ArialFont(12, true));
    AddLabel(this, "LblLoudS", {92, 230}, "S", clLime, ArialFont(12, true));

    MomentaryLed = AddReadout("LoudMomentaryLed", {128, 24}, "MOMENTARY", "-00.0");
    ShortTermLed = AddReadout("LoudShortTermLed", {128, 70}, "SHORT-TERM", "-00.0");
    IntegratedLed = AddReadout("LoudIntegratedLed", {128, 116}, "INTEGRATED", "-00.0");
    RangeLed = AddReadout("LoudRangeLed", {128, 162}, "LOUDNESS RANGE", "-00.0");
    MaxMomentaryLed = AddReadout("LoudMaxMomentaryLed", {300, 24}, "MAX MOMENTARY", "-00.0");
    MaxShortTermLed = AddReadout("LoudMaxShortTermLed", {300, 70}, "MAX SHORT-TERM", "-00.0");
    TruePeakLLed = AddReadout("LoudTruePeakLLed", {300, 116}, "TRUE PEAK L", "-00.0");
    TruePeakRLed = AddReadout("LoudTruePeakRLed", {300, 162}, "TRUE PEAK R", "-00.0");
    TimeLed = AddReadout("LoudTimeLed", {128, 208}, "TIME", "00:00:00");
    const QFont unit = ArialFont(10, true);
    for (QPoint at : {QPoint{192, 44}, QPoint{192, 90}, QPoint{364, 44}, QPoint{364, 90}})
        FScaleUnits.push_back(
            AddLabel(this, QString("LblLoudUnit%1").arg(FScaleUnits.size()), at, "LUFS", clWhite, unit));
    AddLabel(this, "LblLoudUnitI", {192, 136}, "LUFS", clWhite, unit);
    AddLabel(this, "LblLoudUnitLRA", {192, 182}, "LU", clWhite, unit);
    AddLabel(this, "LblLoudUnitTPL", {364, 136}, "dBTP", clWhite, unit);
    AddLabel(this, "LblLoudUnitTPR", {364, 182}, "dBTP", clWhite, unit);

    StartBtn = AddButton("LoudStartBtn", 300, "START", StartLbl);
    PauseBtn = AddButton("LoudPauseBtn", 352, "PAUSE", PauseLbl);
    ResetBtn = AddButton("LoudResetBtn", 404, "RESET", ResetLbl);
    PausedLed = AddLed(this, "LoudPausedLed", {300, 234, 154, 14}, kLedOrange, "PAUSED");
    PausedLed->SetEnabled(false);

    History = new TVarnTrend(this);
    History->setObjectName("LoudHistory");
    History->SetBounds(kHistory.x(), kHistory.y(), kHistory.width(), kHistory.height());
    History->Bevel().SetBevelOuter(bvNone);
    History->SetColor(kHistoryFill);
    History->SetDivisions(HistoryPoints);
    History->SetStyle(tsFilled);
    History->SetColorBase(clYellow);
    History->SetBackGroundColor(clBlack);
    History->SetGridStyle(gsNone);
    FUpperLine = AddLine(History, "LoudUpperLine", {0, 0, kHistory.width(), 1}, clYellow);
    FLowerLine = AddLine(History, "LoudLowerLine", {0, 0, kHistory.width(), 1}, clYellow);
    FTargetLine = AddLine(History, "LoudTargetLine", {0, 0, kHistory.width(), 1}, clWhite);
    HistoryLbl = AddLabel(this, "LoudHistoryLbl", {kHistory.x(), 230}, QString(), clWhite, unit);
    ApplySettings({});
}

TMMLEDReadout *TLoudnessPage::AddReadout(const char *name, QPoint at, const QString &caption,
                                         const std::string &layout) {
    AddLabel(this, QString(name) + "Caption", at, caption, clLime, ArialFont(10, true));
    auto *led = new TMMLEDReadout(this, layout, ls11x19);
    led->setObjectName(name);
    led->move(at.x(), at.y() + 16);
    return led;
}

TMMPanel *TLoudnessPage::AddButton(const char *name, int x, const QString &caption, TMMLabel *&label) {
    TMMPanel *button = AddMMPanel(this, name, {x, 212, 50, 17}, kPanelFace);
    SetOuterRingColor(button, kWindowColor);
    label = AddPageCaption(button, QString(name) + "Lbl", caption, ArialFont(10, true));
    return button;
}

void TLoudnessPage::ApplySettings(const TLoudnessSettings &settings) {
    FTarget = LoudnessTargetOf(settings);
    FScale = LoudnessScaleOf(settings.Scale);
    FHistoryMinutes = std::clamp(settings.HistoryMinutes, kMinHistoryMinutes, kMaxHistoryMinutes);
    TargetLbl->setText(QString("TARGET %1 LUFS / %2 dBTP").arg(FTarget.Target).arg(FTarget.Ceiling));
    TargetLbl->adjustSize();
    HistoryLbl->setText(QString("SHORT-TERM, LAST %1 MIN").arg(FHistoryMinutes));
    HistoryLbl->adjustSize();
    ShowScale();
    ShowUnits();
}

void TLoudnessPage::ShowScale() {
    const TLoudnessRange range = LoudnessScaleRange(FScale, FTarget.Target);
    MomentaryBar->SetScale(range, FTarget.Target);
    ShortTermBar->SetScale(range, FTarget.Target);
    qDeleteAll(FTicks);
    FTicks.clear();
    const int rows = MomentaryBar->Rows();
    for (const TLoudnessTick &tick : LoudnessTicks(FScale, FTarget.Target)) {
        QLabel *label = AddLabel(this, "LoudTick", {0, 0}, QString::fromStdString(tick.Label), clWhite,
                                 ArialFont(9, false));
        const int y = kBarTop + LoudnessRowOf(tick.Lufs, range, rows) * TMMLoudnessBar::RowPitch;
        label->move(40 - label->width(), y - label->height() / 2);
        label->show();
        FTicks.push_back(label);
    }
    History->SetMinVal(0);
    History->SetMaxVal(HistoryValue(range.Top, range));
    const int h = kHistory.height();
    FTargetLine->move(0, HistoryY(FTarget.Target, range, h));
    FUpperLine->move(0, HistoryY(FTarget.Target + 1, range, h));
    FLowerLine->move(0, HistoryY(FTarget.Target - 1, range, h));
}

void TLoudnessPage::ShowUnits() {
    for (QLabel *label : FScaleUnits) {
        label->setText(FScale == lsAbsolute ? "LUFS" : "LU");
        label->adjustSize();
    }
}

void TLoudnessPage::Show(const TLoudnessReading &r, const std::vector<double> &history) {
    const auto scaled = [&](double lufs) { return LoudnessScaleValue(FScale, lufs, FTarget.Target); };
    MomentaryBar->SetValue(r.Momentary);
    ShortTermBar->SetValue(r.ShortTerm);
    ShowReadout(MomentaryLed, scaled(r.Momentary), false);
    ShowReadout(ShortTermLed, scaled(r.ShortTerm), false);
    ShowReadout(IntegratedLed, r.Integrated, MissesTarget(r.Integrated, FTarget.Target));
    ShowReadout(RangeLed, r.Seconds > 0 || r.Range > 0 ? r.Range : kNoLoudness, false);
    ShowReadout(MaxMomentaryLed, scaled(r.MaxMomentary), false);
    ShowReadout(MaxShortTermLed, scaled(r.MaxShortTerm), false);
    ShowReadout(TruePeakLLed, r.TruePeakL, OverCeiling(r.TruePeakL, FTarget.Ceiling));
    ShowReadout(TruePeakRLed, r.TruePeakR, OverCeiling(r.TruePeakR, FTarget.Ceiling));
    TimeLed->SetText(LoudnessTimeText(r.Seconds));
    PausedLed->SetEnabled(r.Measuring && !r.Running);
    const TLoudnessRange range = LoudnessScaleRange(FScale, FTarget.Target);
    // The graph takes the whole span anew; its repaints run together into one.
    for (const double point : history)
        History->AddValue(HistoryValue(point, range));
}
