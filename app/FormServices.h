#pragma once

#include <QString>

#include <functional>
#include <string>

class TWaveInDriver;

// Starts the program a command line names, in a working directory; false when it could not.
// Called on the GUI thread.
using TProgramLauncher = std::function<bool(const std::string &commandLine, const std::string &workingDir)>;

// What the console takes from the machine, handed to it when it is built: the program's entry
// gives the real ones, a test gives simulated devices and a folder of its own.
struct TFormServices {
    TWaveInDriver &Driver;     // the capture devices; must outlive the window
    QString SettingsDir;       // the folder of VelmoraPro.ini (not empty)
    TProgramLauncher Launcher; // sibling programs and the shutdown program; empty starts nothing
    // Where the settings live is not the program's folder (see TSettingsPlace): the file read
    // while SettingsDir holds none, and the defaults "Load Default Setting" copies there.
    QString SettingsFallback{};
    QString DefaultsFile{};
};
