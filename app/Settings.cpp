#include "app/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

enum class TKind { Integer, FlagNonZero, FlagOne };

struct TSettingKey {
    const char *Section;
    const char *Key;
    TKind Kind;
    int TSettings::*Int;
    bool TSettings::*Flag;
};

// The key table, in file order; ReadDefaultKeys stops after the first nine.
constexpr std::array<TSettingKey, 11> Keys{{
    {"SoundCard", "InputDevNo", TKind::Integer, &TSettings::InputDevNo, nullptr},
    {"VU", "RefLevel", TKind::Integer, &TSettings::VURefLevel, nullptr},
    {"VU", "BackgroundNo", TKind::Integer, &TSettings::BackgroundNo, nullptr},
    {"VU", "VUPos", TKind::Integer, &TSettings::VUPos, nullptr},
    {"Peak", "Level1", TKind::Integer, &TSettings::PeakLevel1, nullptr},
    {"Peak", "Level2", TKind::Integer, &TSettings::PeakLevel2, nullptr},
    {"Peak", "Level3", TKind::Integer, &TSettings::PeakLevel3, nullptr},
    {"GRAPH", "ShowRedLine", TKind::FlagNonZero, nullptr, &TSettings::ShowRedLine},
    {"GRAPH", "RedLinePos", TKind::Integer, &TSettings::RedLinePos, nullptr},
    {"GRAPH", "ShowGraph", TKind::FlagOne, nullptr, &TSettings::ShowGraph},
    {"GRAPH", "LineSpa", TKind::FlagOne, nullptr, &TSettings::LineSpa},
}};
constexpr std::size_t DefaultKeyCount = 9;

// The integer a key stands for in the file.
int StoredValue(const TSettingKey &k, const TSettings &s) {
    if (k.Kind == TKind::Integer) return s.*k.Int;
    return s.*k.Flag ? 1 : 0;
}

void ReadKeys(const QString &path, TSettings &s, std::size_t count) {
    const TIniFile ini(path);
    const TSettings defaults;
    for (std::size_t i = 0; i < count; ++i) {
        const TSettingKey &k = Keys[i];
        const int value = ini.ReadInteger(k.Section, k.Key, StoredValue(k, defaults));
        switch (k.Kind) {
        case TKind::Integer:
            s.*k.Int = value;
            break;
        case TKind::FlagNonZero:
            s.*k.Flag = value != 0;
            break;
        case TKind::FlagOne:
            s.*k.Flag = value == 1;
            break;
        }
    }
}

} // namespace

QString ProgramSettingsDir() {
    return QCoreApplication::applicationDirPath();
}

QString SettingsFilePath(const QString &dir) {
    return dir + QStringLiteral("/VelmoraPro.ini");
}

std::array<TSettingName, 11> SettingNames() {
    std::array<TSettingName, 11> names;
    for (std::size_t i = 0; i < Keys.size(); ++i)
        names[i] = {Keys[i].Section, Keys[i].Key};
    return names;
}

void ReadAllSettings(const QString &path, TSettings &s) {
    ReadKeys(path, s, Keys.size());
}

void ReadDefaultKeys(const QString &path, TSettings &s) {
    ReadKeys(path, s, DefaultKeyCount);
}

void WriteAllSettings(const QString &path, const TSettings &s) {
    TIniFile ini(path);
    for (const TSettingKey &k : Keys)
        ini.WriteInteger(k.Section, k.Key, StoredValue(k, s));
}

void CopyDefaultsFile() {
    // Read the whole source first and replace the target atomically: a missing or
    // unreadable defaults file must not cost the operator the current settings.
    QFile source(QStringLiteral("VelmoraDef.ini"));
    if (!QFileInfo(source).isFile() || !source.open(QIODevice::ReadOnly) ||
        source.size() > TIniFile::MaxFileSize)
        return;
    const QByteArray data = source.readAll();
    if (source.error() != QFileDevice::NoError) return;
    QSaveFile target(QStringLiteral("VelmoraPro.ini"));
    target.setDirectWriteFallback(true);
    if (!target.open(QIODevice::WriteOnly)) return;
    if (target.write(data) != data.size()) {
        target.cancelWriting();
        return;
    }
    target.commit();
}
