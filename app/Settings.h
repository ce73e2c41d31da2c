#pragma once

// The console's eleven persisted settings and the INI file that holds them.

#include "platform/IniFile.h"

#include <QString>

#include <array>

struct TSettings { // the eleven persisted values, defaults of the key table
    int InputDevNo = 0;
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

    bool operator==(const TSettings &) const = default;
};

// Where a setting stands in the file.
struct TSettingName {
    const char *Section;
    const char *Key;
};

// The eleven settings' sections and keys, in key-table order.
std::array<TSettingName, 11> SettingNames();

// The folder of the program's own settings file: the program's folder.
QString ProgramSettingsDir();
// The settings file in `dir`: dir + "/VelmoraPro.ini".
QString SettingsFilePath(const QString &dir);
// The eleven keys, each missing or unconvertible one taking its default.
void ReadAllSettings(const QString &path, TSettings &s);
// The first nine keys only (through RedLinePos); ShowGraph and LineSpa stay as they are.
void ReadDefaultKeys(const QString &path, TSettings &s);
// All eleven as decimal integers, flags as 1/0, in key-table order. A failed write
// throws EMMIniError("<path> に書き込めません"); the keys after it are not written.
void WriteAllSettings(const QString &path, const TSettings &s);
// "VelmoraDef.ini" -> "VelmoraPro.ini" in the working directory; silent on failure,
// and a failed copy leaves the old settings file as it was.
void CopyDefaultsFile();
