#include "app/SettingsPlace.h"

#include "app/Settings.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

TSettingsPlace ChooseSettingsPlace(const QString &programDir) {
    // access() and not the permission bits: it also answers for a read-only mount, an
    // immutable folder and root.
    if (::access(QFile::encodeName(programDir).constData(), W_OK) == 0) return {programDir, {}, {}};
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config)) config = QDir::homePath() + "/.config";
    return {config + "/velmora", SettingsFilePath(programDir), programDir + "/VelmoraDef.ini"};
}

QString SettingsFileToRead(const QString &dir, const QString &fallback) {
    const QString own = SettingsFilePath(dir);
    return fallback.isEmpty() || QFile::exists(own) ? own : fallback;
}
