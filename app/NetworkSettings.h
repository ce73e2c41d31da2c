#pragma once

// The network feed's settings: section [NETWORK] of the settings file, written by "Save
// Setting" after the aids' section. A file without them gives: no publishing, no broker, the
// machine's host name as the station, topics under "velmora", ten level messages a second,
// no credentials, the system's certificate authorities. Values are kept as read; the feed
// clamps the rate where it uses it.

#include <QString>

struct TNetworkSettings {
    bool Publish = false;
    QString Broker;  // mqtt://host[:port] or mqtts://host[:port]
    QString Station; // empty: the host name
    QString TopicPrefix = "velmora";
    int RateHz = 10;
    QString CredentialsFile; // one line "user:password"; empty: none
    QString CAFile;          // empty: the system's store

    bool operator==(const TNetworkSettings &) const = default;
};

inline constexpr int kMinRateHz = 1, kMaxRateHz = 25;

// Each missing or unconvertible key takes its default.
void ReadNetworkSettings(const QString &path, TNetworkSettings &s);
// Raises EMMIniError as TIniFile's writes do.
void WriteNetworkSettings(const QString &path, const TNetworkSettings &s);
// The station the feed publishes as: the setting, or the host name when it is empty.
QString StationName(const TNetworkSettings &s);
