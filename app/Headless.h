#pragma once

// The console without a window, for a rack machine with no screen: it captures the chosen
// input and runs the laws the network feed and the logs need (peaks, the VU needles' law,
// correlation, loudness, the event log with the dead-air alarm and its command). It runs under
// a QCoreApplication: no platform plugin is loaded, so it needs no X, Wayland or offscreen
// surface, and no widget is built. SIGTERM and SIGINT end it cleanly: the last events and
// loudness minutes written, the offline status published.
//
// Thread contract: main thread only.

#include "app/NetFeed.h"
#include "platform/WaveInDriver.h"

#include <QString>

#include <string>

struct THeadlessOptions {
    QString SettingsFile; // the settings read (a headless console never saves)
    QString SettingsDir;  // its folder: the logs' default folders, the alarm command's directory
    std::string Input;    // the listed input's name for this run; empty: the saved one
    QString LogDir;       // both logs into this folder for this run; empty: as saved
    QString Publish;      // the broker for this run; empty: as saved
    QString Station;
};

// Runs until SIGTERM or SIGINT; the exit status: 0 after a clean end; 1 when the input could
// not start (the console's error text on standard error); 2 when the feed's settings are refused
// (the reason on standard error).
int RunHeadless(TWaveInDriver &driver, const THeadlessOptions &options);
