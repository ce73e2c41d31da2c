#pragma once

// Where the console keeps its settings. A program folder the operator may write holds them
// beside the program (the build, and an install into the operator's own prefix). A shared
// install's folder belongs to root, so there each operator's settings live in their own
// configuration folder, and the program folder's files only seed them.

#include <QString>

struct TSettingsPlace {
    QString Dir;          // VelmoraPro.ini is saved here, and read from here when it exists
    QString FallbackFile; // read at start while Dir holds none; empty: none
    QString DefaultsFile; // what "Load Default Setting" copies into Dir; empty: the working
                          // directory's VelmoraDef.ini, as beside a writable program
};

// The place for a program in `programDir`: that folder when the user may write it, else
// $XDG_CONFIG_HOME/velmora (~/.config/velmora when the variable is unset or not absolute),
// falling back to the program folder's VelmoraPro.ini and taking its VelmoraDef.ini.
TSettingsPlace ChooseSettingsPlace(const QString &programDir);

// The file to read at start: dir's VelmoraPro.ini when it exists or there is no fallback, else
// the fallback.
QString SettingsFileToRead(const QString &dir, const QString &fallback);
