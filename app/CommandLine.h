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
    bool Loudness = false;         // measure LoudnessFiles and end, without a window
    QStringList LoudnessFiles;
    bool Json = false; // the file mode's results as JSON
    QString LogDir;    // the loudness and event logs on into this folder for this run
    QString Error;     // not empty: the command line was refused, with this reason
};

// Declares every option the program knows.
void DeclareOptions(QCommandLineParser &parser);

// Reads the arguments (the program name first) with a parser set up by DeclareOptions.
TStartOptions ReadOptions(QCommandLineParser &parser, const QStringList &arguments);
