#include "app/NetworkSettings.h"

#include "platform/IniFile.h"

#include <QSysInfo>

namespace {

const QString kSection = QStringLiteral("NETWORK");

} // namespace

void ReadNetworkSettings(const QString &path, TNetworkSettings &s) {
    const TIniFile ini(path);
    const TNetworkSettings d;
    s.Publish = ini.ReadInteger(kSection, "Publish", d.Publish ? 1 : 0) == 1;
    s.Broker = ini.ReadString(kSection, "Broker", d.Broker);
    s.Station = ini.ReadString(kSection, "Station", d.Station);
    s.TopicPrefix = ini.ReadString(kSection, "TopicPrefix", d.TopicPrefix);
    s.RateHz = ini.ReadInteger(kSection, "RateHz", d.RateHz);
    s.CredentialsFile = ini.ReadString(kSection, "CredentialsFile", d.CredentialsFile);
    s.CAFile = ini.ReadString(kSection, "CAFile", d.CAFile);
}

void WriteNetworkSettings(const QString &path, const TNetworkSettings &s) {
    TIniFile ini(path);
    ini.WriteInteger(kSection, "Publish", s.Publish ? 1 : 0);
    ini.WriteString(kSection, "Broker", s.Broker);
    ini.WriteString(kSection, "Station", s.Station);
    ini.WriteString(kSection, "TopicPrefix", s.TopicPrefix);
    ini.WriteInteger(kSection, "RateHz", s.RateHz);
    ini.WriteString(kSection, "CredentialsFile", s.CredentialsFile);
    ini.WriteString(kSection, "CAFile", s.CAFile);
}

QString StationName(const TNetworkSettings &s) {
    return s.Station.trimmed().isEmpty() ? QSysInfo::machineHostName() : s.Station.trimmed();
}
