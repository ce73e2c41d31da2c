// The operator aids: the correlation meter in the PHASE panel's title row, the event tap at
// the chain's end, the event log with its window and daily files, the dead-air alarm and its
// command, and their group under the set-up menu.

#include "app/AlarmCommand.h"
#include "app/Application.h"
#include "app/EventLogWindow.h"
#include "app/FormHelpers.h"
#include "app/MainFrm.h"
#include "app/MeterPnl.h"

#include <QDateTime>

namespace {

// "0:15", "12:03", "1:02:03".
QString Elapsed(std::int64_t ms) {
    const std::int64_t s = std::max<std::int64_t>(0, ms / 1000);
    const QString mmss = QString("%1:%2").arg(s / 60 % 60).arg(s % 60, 2, 10, QChar('0'));
    return s < 3600 ? mmss : QString("%1:%2").arg(s / 3600).arg(mmss.rightJustified(5, '0'));
}

} // namespace

void TMainForm::BuildAids() {
    // Right of the panel's title, over the strip above the phase display: nothing else moves.
    CorrelationMeter = new TMMCorrelationMeter(MMPanel3);
    CorrelationMeter->setObjectName("CorrelationMeter");
    CorrelationMeter->SetName("CorrelationMeter");
    CorrelationMeter->SetBounds(104, 4, 264, 13);
    CorrelationMeter->Bevel().SetBevelOuter(bvNone);
    AddLabel(MMPanel3, "LblCorrelation", {66, 4}, "CORR", clLime, ArialFont(10, true));

    // Across the top of the "PEAK LEVELS" panel, right of its title: shown on every page.
    SilenceLed = AddLed(MMPanel5, "SilenceLed", {112, 4, 160, 22}, clRed, "SILENCE");
    // White type, so the time since the silence began reads in both phases of the flashing.
    SilenceLed->SetFontColor(clWhite);
    SilenceLed->hide();

    EventLogWin = new TEventLogWindow(EventLog, this);
    AidsBox = new TAidsMenu(this, CloseBox, AidSettings);
    AidsBox->SetOnChange([this] { ApplyAidSettings(); });
    AidsBox->SetOnShowLog([this] { ShowEventLog(); });
}

void TMainForm::BuildAidsChain() {
    FEventTap = std::make_unique<TMMEventTap>();
    MMEventTap1 = FEventTap.get();
    MMEventTap1->SetName("MMEventTap1");
    // The console's benchmark weighs the aids against the same console without them.
    if (qEnvironmentVariable("VELMORA_AIDS") != "off") {
        MMEventTap1->SetInput(MMLoudnessTap1->Input() != nullptr
                                  ? static_cast<TMMDSPComponent *>(MMLoudnessTap1)
                                  : MMPeakDetect1);
        MMConnector2->SetSpectrum4(CorrelationMeter);
    }
}

void TMainForm::ApplyAidSettings() {
    MMEventTap1->SetOverSamples(AidSettings.OverSamples);
    MMEventTap1->SetDeadAir(AidSettings.DeadAir, AidSettings.DeadAirThreshold, AidSettings.DeadAirDelay);
    AidsBox->ShowSettings();
    AidsBox->SetLogFolderText(EventLogFolder() + (FLogDirOverride.isEmpty() ? "" : " (--log-dir)"));
    FEventLogError.Rearm();
    FAlarmCommandError.Rearm();
    ShowAlarm();
}

QString TMainForm::EventLogFolder() const {
    if (!FLogDirOverride.isEmpty()) return FLogDirOverride;
    if (!AidSettings.EventLogDir.isEmpty()) return AidSettings.EventLogDir;
    return FServices.SettingsDir + "/event-log";
}

bool TMainForm::EventLogOn() const {
    return !FLogDirOverride.isEmpty() || AidSettings.EventLog;
}

void TMainForm::ShowEventLog() {
    EventLogWin->ShowAll();
    EventLogWin->show();
    EventLogWin->raise();
}

void TMainForm::AidsTimerTimer() {
    RunQuietly([this] {
        const std::vector<TStampedEvent> events = MMEventTap1->TakeEvents();
        for (const TStampedEvent &e : events) {
            EventLog.Add(e);
            if (e.Event.Channel < 0) StartAlarmCommand(e);
        }
        if (!events.empty()) {
            if (FNetFeed) FNetFeed->Events(events);
            if (EventLogWin->isVisible()) EventLogWin->ShowNew(events);
            if (EventLogOn()) {
                try {
                    WriteEventLines(EventDailyLog(EventLogFolder()), events);
                } catch (const EMMLogError &e) {
                    FEventLogError.Report(this, QString::fromStdString(e.what()));
                }
            }
        }
        ShowAlarm();
    });
}

void TMainForm::ShowAlarm() {
    const bool alarm = MMEventTap1->Alarm();
    if (!alarm && !FAlarmShown) return;
    if (!alarm) {
        // The signal bars go back to the once-a-second refresh.
        FAlarmShown = false;
        SilenceLed->hide();
        for (TMMLED *bar : {SIGLED, SIGLED2})
            bar->SetLEDColor(clLime);
        Timer1Timer();
        return;
    }
    FAlarmShown = true;
    const bool lit = FAlarmTicks++ % 2 == 0;
    const std::int64_t since = MMEventTap1->SilentSince();
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    SilenceLed->SetCaption("SILENCE " + Elapsed(since < 0 ? 0 : now - since));
    SilenceLed->SetLEDColor(lit ? clRed : clMaroon);
    SilenceLed->show();
    for (TMMLED *bar : {SIGLED, SIGLED2}) {
        bar->SetLEDColor(clRed);
        bar->SetEnabled(lit);
    }
}

void TMainForm::StartAlarmCommand(const TStampedEvent &event) {
    const QString error = ::StartAlarmCommand(AidSettings, FServices.SettingsDir, event);
    if (!error.isEmpty()) FAlarmCommandError.Report(this, error);
}
