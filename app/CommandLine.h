#pragma once

#include <QCommandLineParser>
#include <QStringList>

// What the program was asked for on its command line. New options add a field here and
// their declaration and reading in CommandLine.cpp.
struct TStartOptions {
    bool ShowHelp = false;
    bool ShowVersion = false;
    bool SimulatedDevices = false; // simulated capture devices after the real ones
    bool StudioClock = false;      // the studio clock shown beside the console, running
    bool SettingsPath = false;     // print where the settings file is and end
    bool Loudness = false;         // measure LoudnessFiles and end, without a window
    QStringList LoudnessFiles;
    bool Json = false; // the file mode's results as JSON
    QString LogDir;    // the loudness and event logs on into this folder for this run
    QString Error;     // not empty: the command line was refused, with this reason

    // The input: --list-devices prints the numbered list and ends; --device chooses one for
    // this run by number or name (empty: the saved one).
    bool ListDevices = false;
    QString Device;

    // The network feed for this run: the broker's URL (checked here) and the station.
    QString Publish;
    QString Station;
    // No window: capture, the laws, the logs and the feed until SIGTERM or SIGINT.
    bool Headless = false;
    QString SettingsFile; // with --headless: the settings read instead of the usual place's
};

// Declares every option the program knows.
void DeclareOptions(QCommandLineParser &parser);

// Reads the arguments (the program name first) with a parser set up by DeclareOptions.
TStartOptions ReadOptions(QCommandLineParser &parser, const QStringList &arguments);
