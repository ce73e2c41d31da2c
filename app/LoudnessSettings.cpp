#include "app/LoudnessSettings.h"

namespace {

const QString kSection = QStringLiteral("LOUDNESS");

} // namespace

void ReadLoudnessSettings(const QString &path, TLoudnessSettings &s) {
    const TIniFile ini(path);
    const TLoudnessSettings d;
    s.Preset = ini.ReadInteger(kSection, "Preset", d.Preset);
    s.CustomTarget = ini.ReadInteger(kSection, "Target", d.CustomTarget);
    s.CustomCeiling = ini.ReadInteger(kSection, "Ceiling", d.CustomCeiling);
    s.Scale = ini.ReadInteger(kSection, "Scale", d.Scale);
    s.HistoryMinutes = ini.ReadInteger(kSection, "HistoryMinutes", d.HistoryMinutes);
    s.Log = ini.ReadInteger(kSection, "Log", d.Log ? 1 : 0) == 1;
    s.LogDir = ini.ReadString(kSection, "LogDir", d.LogDir);
}

void WriteLoudnessSettings(const QString &path, const TLoudnessSettings &s) {
    TIniFile ini(path);
    ini.WriteInteger(kSection, "Preset", s.Preset);
    ini.WriteInteger(kSection, "Target", s.CustomTarget);
    ini.WriteInteger(kSection, "Ceiling", s.CustomCeiling);
    ini.WriteInteger(kSection, "Scale", s.Scale);
    ini.WriteInteger(kSection, "HistoryMinutes", s.HistoryMinutes);
    ini.WriteInteger(kSection, "Log", s.Log ? 1 : 0);
    ini.WriteString(kSection, "LogDir", s.LogDir);
}

TLoudnessTarget LoudnessTargetOf(const TLoudnessSettings &s) {
    return LoudnessPresetTarget(LoudnessPresetOf(s.Preset), s.CustomTarget, s.CustomCeiling);
}
