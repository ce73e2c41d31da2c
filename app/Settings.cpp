#include "app/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace {

enum class TKind { Integer, FlagNonZero, FlagOne, Name };

struct TSettingKey {
    const char *Section;
    const char *Key;
    TKind Kind;
    int TSettings::*Int = nullptr;
    bool TSettings::*Flag = nullptr;
    std::string TSettings::*Text = nullptr;
};

// The key table, in file order; ReadDefaultKeys stops after RedLinePos.
const std::array<TSettingKey, SettingCount> Keys{{
    {"SoundCard", "InputDevNo", TKind::Integer, &TSettings::InputDevNo},
    {"SoundCard", "InputDevName", TKind::Name, nullptr, nullptr, &TSettings::InputDevName},
    {"VU", "RefLevel", TKind::Integer, &TSettings::VURefLevel},
    {"VU", "BackgroundNo", TKind::Integer, &TSettings::BackgroundNo},
    {"VU", "VUPos", TKind::Integer, &TSettings::VUPos},
    {"Peak", "Level1", TKind::Integer, &TSettings::PeakLevel1},
    {"Peak", "Level2", TKind::Integer, &TSettings::PeakLevel2},
    {"Peak", "Level3", TKind::Integer, &TSettings::PeakLevel3},
    {"GRAPH", "ShowRedLine", TKind::FlagNonZero, nullptr, &TSettings::ShowRedLine},
    {"GRAPH", "RedLinePos", TKind::Integer, &TSettings::RedLinePos},
    {"GRAPH", "ShowGraph", TKind::FlagOne, nullptr, &TSettings::ShowGraph},
    {"GRAPH", "LineSpa", TKind::FlagOne, nullptr, &TSettings::LineSpa},
}};
constexpr std::size_t DefaultKeyCount = 10;

// The integer a key stands for in the file.
int StoredValue(const TSettingKey &k, const TSettings &s) {
    if (k.Kind == TKind::Integer) return s.*k.Int;
    return s.*k.Flag ? 1 : 0;
}

// A device name as the file holds it: printable ASCII as it is, a backslash doubled, and as
// \xNN every other byte (a character the list's field cut short included) and a space at
// either end, which reading would trim.
QString EncodeName(const std::string &name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        const bool edgeSpace = c == ' ' && (i == 0 || i + 1 == name.size());
        if (c == '\\')
            out += "\\\\";
        else if (c < 0x20 || c > 0x7E || edgeSpace)
            out += {'\\', 'x', hex[c >> 4], hex[c & 15]};
        else
            out += static_cast<char>(c);
    }
    return QString::fromStdString(out);
}

// The name EncodeName wrote, or typed by hand. A backslash that starts neither form stays.
std::string DecodeName(const QString &stored) {
    const std::string text = stored.toStdString();
    const auto hexAt = [&](std::size_t k) {
        return k < text.size() && std::isxdigit(static_cast<unsigned char>(text[k])) != 0;
    };
    std::string name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\\\\") == 0) {
            name += '\\';
            ++i;
        } else if (text.compare(i, 2, "\\x") == 0 && hexAt(i + 2) && hexAt(i + 3)) {
            name += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            name += text[i];
        }
    }
    return name;
}

void ReadKeys(const QString &path, TSettings &s, std::size_t count) {
    const TIniFile ini(path);
    const TSettings defaults;
    for (std::size_t i = 0; i < count; ++i) {
        const TSettingKey &k = Keys[i];
        if (k.Kind == TKind::Name) {
            s.*k.Text = DecodeName(ini.ReadString(k.Section, k.Key, QString()));
            continue;
        }
        const int value = ini.ReadInteger(k.Section, k.Key, StoredValue(k, defaults));
        if (k.Kind == TKind::Integer)
            s.*k.Int = value;
        else
            s.*k.Flag = k.Kind == TKind::FlagOne ? value == 1 : value != 0;
    }
    ReadStandards(ini, s.Standards);
    s.JackConnect = ini.ReadInteger("SoundCard", "JackConnect", 1) != 0;
}

} // namespace

QString ProgramSettingsDir() {
    return QCoreApplication::applicationDirPath();
}

QString SettingsFilePath(const QString &dir) {
    return dir + QStringLiteral("/VelmoraPro.ini");
}

std::array<TSettingName, SettingCount> SettingNames() {
    std::array<TSettingName, SettingCount> names;
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
    for (const TSettingKey &k : Keys) {
        if (k.Kind == TKind::Name)
            ini.WriteString(k.Section, k.Key, EncodeName(s.*k.Text));
        else
            ini.WriteInteger(k.Section, k.Key, StoredValue(k, s));
    }
    WriteStandards(ini, s.Standards);
    ini.WriteInteger("SoundCard", "JackConnect", s.JackConnect ? 1 : 0);
}

bool FindInputDevice(TSettings &s, const std::vector<std::string> &listed) {
    const auto listedAt = [&](int no) { return no >= 0 && no < static_cast<int>(listed.size()); };
    if (s.InputDevName.empty()) {
        s.InputDevName =
            listedAt(s.InputDevNo) ? listed[static_cast<std::size_t>(s.InputDevNo)] : std::string();
        return true;
    }
    if (listedAt(s.InputDevNo) && listed[static_cast<std::size_t>(s.InputDevNo)] == s.InputDevName)
        return true;
    const auto found = std::find(listed.begin(), listed.end(), s.InputDevName);
    if (found == listed.end()) return false;
    s.InputDevNo = static_cast<int>(found - listed.begin());
    return true;
}

void CopyDefaultsFile() {
    CopyDefaultsFile(QStringLiteral("VelmoraDef.ini"), QStringLiteral("VelmoraPro.ini"));
}

void CopyDefaultsFile(const QString &sourcePath, const QString &targetPath) {
    // Read the whole source first and replace the target atomically: a missing or
    // unreadable defaults file must not cost the operator the current settings.
    QFile source(sourcePath);
    if (!QFileInfo(source).isFile() || !source.open(QIODevice::ReadOnly) ||
        source.size() > TIniFile::MaxFileSize)
        return;
    const QByteArray data = source.readAll();
    if (source.error() != QFileDevice::NoError) return;
    QSaveFile target(targetPath);
    target.setDirectWriteFallback(true);
    if (!target.open(QIODevice::WriteOnly)) return;
    if (target.write(data) != data.size()) {
        target.cancelWriting();
        return;
    }
    target.commit();
}
