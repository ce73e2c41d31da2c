#pragma once

// The loudness page's settings: section [LOUDNESS] of the settings file, read and written
// beside the console's own keys (after them: "Save Setting" writes them last). A file without them
// gives EBU R128 on the +9 scale, ten minutes of history and no log. Values are kept as read;
// the page clamps them where it uses them.

#include "analysis/LoudnessTargets.h"
#include "platform/IniFile.h"

#include <QString>

struct TLoudnessSettings {
    int Preset = 0;         // TLoudnessPreset
    int CustomTarget = -23; // LUFS, for the custom preset
    int CustomCeiling = -1; // dBTP, for the custom preset
    int Scale = 0;          // TLoudnessScale
    int HistoryMinutes = 10;
    bool Log = false;
    QString LogDir; // empty: "loudness-log" beside the settings file

    bool operator==(const TLoudnessSettings &) const = default;
};

inline constexpr int kMinHistoryMinutes = 2, kMaxHistoryMinutes = 60;

// The target and ceiling the settings choose, kept to range.
TLoudnessTarget LoudnessTargetOf(const TLoudnessSettings &s);

// Each missing or unconvertible key takes its default.
void ReadLoudnessSettings(const QString &path, TLoudnessSettings &s);
// Raises EMMIniError as TIniFile's writes do.
void WriteLoudnessSettings(const QString &path, const TLoudnessSettings &s);
