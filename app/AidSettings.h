#pragma once

// The operator aids' settings: section [AIDS] of the settings file, written by "Save Setting"
// after the loudness page's. A file without them gives: no event log file (the log window
// still lists), overs of 3 samples, no dead-air alarm at -50 dBFS after 10 s, no command.
// Values are kept as read; the tap and the menu clamp them where they use them.

#include <QString>

struct TAidSettings {
    bool EventLog = false;
    QString EventLogDir; // empty: "event-log" beside the settings file
    int OverSamples = 3;
    bool DeadAir = false;
    int DeadAirThreshold = -50; // dBFS
    int DeadAirDelay = 10;      // seconds
    QString AlarmProgram;       // empty: no command
    QString AlarmArguments;     // split as QProcess::splitCommand does; no shell sees them

    bool operator==(const TAidSettings &) const = default;
};

// Each missing or unconvertible key takes its default.
void ReadAidSettings(const QString &path, TAidSettings &s);
// Raises EMMIniError as TIniFile's writes do.
void WriteAidSettings(const QString &path, const TAidSettings &s);
