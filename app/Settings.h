#pragma once

// The console's persisted settings and the INI file that holds them.

#include "app/StandardSettings.h"
#include "platform/IniFile.h"

#include <QString>

#include <array>
#include <string>
#include <vector>

struct TSettings { // the persisted values, defaults of the key table
    int InputDevNo = 0;
    // The input's name as the device list shows it, byte for byte (cut to the list's 31 bytes).
    // Empty when the file had none: the input is then known by its number alone.
    std::string InputDevName;
    int VURefLevel = -20;
    int BackgroundNo = 1;
    int VUPos = 0;
    int PeakLevel1 = -5;
    int PeakLevel2 = -10;
    int PeakLevel3 = -20;
    bool ShowRedLine = false;
    int RedLinePos = 49;
    bool ShowGraph = false;
    bool LineSpa = false;
    // In a section of their own, read by both loads and written by "Save Setting".
    TMeteringStandards Standards{};
    // [SoundCard] JackConnect, read by both loads: the JACK input's ports joined to the first
    // two physical capture ports when it starts.
    bool JackConnect = true;

    bool operator==(const TSettings &) const = default;
};

// Where a setting stands in the file.
struct TSettingName {
    const char *Section;
    const char *Key;
};

inline constexpr std::size_t SettingCount = 12;
// The settings' sections and keys, in key-table order.
std::array<TSettingName, SettingCount> SettingNames();

// The folder of the program's own settings file: the program's folder.
QString ProgramSettingsDir();
// The settings file in `dir`: dir + "/VelmoraPro.ini".
QString SettingsFilePath(const QString &dir);
// Every key, each missing or unconvertible one taking its default.
void ReadAllSettings(const QString &path, TSettings &s);
// The keys through RedLinePos and the standards; ShowGraph and LineSpa stay as they are.
void ReadDefaultKeys(const QString &path, TSettings &s);
// Every key in key-table order, then the standards: integers in decimal, flags as 1/0, the
// input's name so that any bytes come back. A failed write throws EMMIniError("<path> に書き込めません"); the
// keys after it are not written.
void WriteAllSettings(const QString &path, const TSettings &s);
// Brings the input in step with the devices listed now (`listed`, by device number). With a
// name, the device of that name: the saved number when that device still carries it (two
// devices may share a cut name), else the first; false when no device does, and both fields
// stay as read. Without one, the number as read, named after the device now there.
bool FindInputDevice(TSettings &s, const std::vector<std::string> &listed);
// "VelmoraDef.ini" -> "VelmoraPro.ini" in the working directory; silent on failure,
// and a failed copy leaves the old settings file as it was.
void CopyDefaultsFile();
// The same from `source` to `target`.
void CopyDefaultsFile(const QString &source, const QString &target);
