#include "app/AidSettings.h"

#include "platform/IniFile.h"

namespace {

const QString kSection = QStringLiteral("AIDS");

} // namespace

void ReadAidSettings(const QString &path, TAidSettings &s) {
    const TIniFile ini(path);
    const TAidSettings d;
    s.EventLog = ini.ReadInteger(kSection, "EventLog", d.EventLog ? 1 : 0) == 1;
    s.EventLogDir = ini.ReadString(kSection, "EventLogDir", d.EventLogDir);
    s.OverSamples = ini.ReadInteger(kSection, "OverSamples", d.OverSamples);
    s.DeadAir = ini.ReadInteger(kSection, "DeadAir", d.DeadAir ? 1 : 0) == 1;
    s.DeadAirThreshold = ini.ReadInteger(kSection, "DeadAirThreshold", d.DeadAirThreshold);
    s.DeadAirDelay = ini.ReadInteger(kSection, "DeadAirDelay", d.DeadAirDelay);
    s.AlarmProgram = ini.ReadString(kSection, "AlarmProgram", d.AlarmProgram);
    s.AlarmArguments = ini.ReadString(kSection, "AlarmArguments", d.AlarmArguments);
}

void WriteAidSettings(const QString &path, const TAidSettings &s) {
    TIniFile ini(path);
    ini.WriteInteger(kSection, "EventLog", s.EventLog ? 1 : 0);
    ini.WriteString(kSection, "EventLogDir", s.EventLogDir);
    ini.WriteInteger(kSection, "OverSamples", s.OverSamples);
    ini.WriteInteger(kSection, "DeadAir", s.DeadAir ? 1 : 0);
    ini.WriteInteger(kSection, "DeadAirThreshold", s.DeadAirThreshold);
    ini.WriteInteger(kSection, "DeadAirDelay", s.DeadAirDelay);
    ini.WriteString(kSection, "AlarmProgram", s.AlarmProgram);
    ini.WriteString(kSection, "AlarmArguments", s.AlarmArguments);
}
