#pragma once

// The "LOUDNESS" page of the lower section: momentary and short-term loudness as bars on a
// scale around the target, LED read-outs of the measurement, the short-term history, and the
// START / PAUSE / RESET buttons of the integration. It shows readings; the measurement runs
// in the chain's loudness tap whichever page is shown.
//
// Thread contract: main thread only.

#include "analysis/LoudnessSession.h"
#include "analysis/LoudnessTargets.h"
#include "app/LoudnessSettings.h"
#include "widgets/MMLED.h"
#include "widgets/MMLEDReadout.h"
#include "widgets/MMLabel.h"
#include "widgets/MMLoudnessBar.h"
#include "widgets/MMPanel.h"
#include "widgets/VarnTrend.h"

#include <QLabel>

#include <vector>

class TMMBorder;

class TLoudnessPage : public TMMPanel {
    Q_OBJECT
  public:
    static constexpr int HistoryPoints = 100;

    explicit TLoudnessPage(QWidget *parent);

    // Target, ceiling, scale and history span; the read-outs follow at the next Show.
    void ApplySettings(const TLoudnessSettings &settings);
    int HistorySeconds() const { return FHistoryMinutes * 60; }
    // The readings, and the history's points when they changed (oldest first, HistoryPoints of
    // them; none: the graph stays).
    void Show(const TLoudnessReading &reading, const std::vector<double> &history);

    QLabel *TargetLbl;
    TMMLoudnessBar *MomentaryBar;
    TMMLoudnessBar *ShortTermBar;
    TMMLEDReadout *MomentaryLed;
    TMMLEDReadout *ShortTermLed;
    TMMLEDReadout *IntegratedLed;
    TMMLEDReadout *RangeLed;
    TMMLEDReadout *MaxMomentaryLed;
    TMMLEDReadout *MaxShortTermLed;
    TMMLEDReadout *TruePeakLLed;
    TMMLEDReadout *TruePeakRLed;
    TMMLEDReadout *TimeLed;
    TVarnTrend *History;
    QLabel *HistoryLbl;
    TMMPanel *StartBtn;
    TMMPanel *PauseBtn;
    TMMPanel *ResetBtn;
    TMMLabel *StartLbl;
    TMMLabel *PauseLbl;
    TMMLabel *ResetLbl;
    // Lit while the integration is paused.
    TMMLED *PausedLed;

  private:
    TMMLEDReadout *AddReadout(const char *name, QPoint at, const QString &caption, const std::string &layout);
    TMMPanel *AddButton(const char *name, int x, const QString &caption, TMMLabel *&label);
    void ShowScale();
    void ShowUnits();

    TLoudnessTarget FTarget{-23, -1};
    TLoudnessScale FScale = lsEBU9;
    int FHistoryMinutes = 10;
    std::vector<QLabel *> FTicks;
    std::vector<QLabel *> FScaleUnits; // beside the read-outs that follow the scale's unit
    TMMBorder *FTargetLine;
    TMMBorder *FUpperLine;
    TMMBorder *FLowerLine;
};
