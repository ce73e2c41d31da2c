#include "app/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cstdio>

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
const std::array<TSettingKey, 12> Keys{{
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

// The length of the well-formed UTF-8 character at text[i], or 0 when none starts there.
std::size_t Utf8Length(const std::string &text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF; // the range of the byte after the lead
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;  // no overlong forms
        if (lead == 0xED) high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = i + 2; k < i + length; ++k)
        if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
    return length;
}

// A device name as the file holds it. Text stays readable; what the file would lose is written
// as \xNN: a byte that is not text (a control, a character the list's field cut short) and a
// space at either end, which reading trims. A backslash doubles.
QString EncodeName(const std::string &name) {
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        const std::size_t length = Utf8Length(name, i);
        const bool edgeSpace = c == ' ' && (i == 0 || i + 1 == name.size());
        if (c == '\\') {
            out += "\\\\";
        } else if (length == 0 || c < 0x20 || c == 0x7F || edgeSpace) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out.append(name, i, length);
            i += length;
            continue;
        }
        ++i;
    }
    return QString::fromStdString(out);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The name EncodeName wrote. A backslash that starts neither form is kept as typed.
std::string DecodeName(const QString &stored) {
    const std::string text = stored.toStdString();
    std::string name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            name += '\\';
            ++i;
        } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
                   HexDigit(text[i + 2]) >= 0 && HexDigit(text[i + 3]) >= 0) {
            name += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
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
}

} // namespace

QString ProgramSettingsDir() {
    return QCoreApplication::applicationDirPath();
}

QString SettingsFilePath(const QString &dir) {
    return dir + QStringLiteral("/VelmoraPro.ini");
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
