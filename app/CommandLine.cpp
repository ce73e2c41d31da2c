#include "app/CommandLine.h"

#include "net/BrokerAddress.h"

#include <QFileInfo>

namespace {

// The toolkit's own options, taken out of the arguments when the application starts. They
// are declared (hidden) so that reading the command line before then does not refuse them.
void DeclareToolkitOptions(QCommandLineParser &parser) {
    for (const char *name : {"platform", "platformpluginpath", "platformtheme", "plugin", "display", "style",
                             "stylesheet", "session", "name", "title", "geometry", "qwindowgeometry",
                             "qwindowtitle", "qwindowicon", "visual"}) {
        QCommandLineOption option(name, QString(), "value");
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : {"reverse", "nograb", "dograb", "sync", "widgetcount"}) {
        QCommandLineOption option(name);
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

} // namespace

void DeclareOptions(QCommandLineParser &parser) {
    parser.setApplicationDescription("Sound Tikkora Meter: audio metering console for broadcast studios.");
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(
        "simulated-devices",
        "Add simulated input devices after the real ones (silence, a 1 kHz tone at -20 dBFS, "
        "a stereo test programme, a counter), to see the console work without a sound card."));
    parser.addOption(
        QCommandLineOption("list-devices", "Print the numbered list of inputs (the menu's) and end."));
    parser.addOption(
        QCommandLineOption("device",
                           "Capture from input N (its number in --list-devices) or NAME for this "
                           "run; \"Save Setting\" keeps it.",
                           "N|NAME"));
    parser.addOption(QCommandLineOption(
        "studio-clock", "Show the studio clock beside the console, running. Without it the clock window "
                        "is created hidden and its timer stays stopped."));
    parser.addOption(QCommandLineOption(
        "loudness", "Measure the loudness of each FILE (WAV, FLAC, AIFF, ...) and end, without a window: "
                    "integrated loudness, loudness range, maximum true peak, maximum momentary and "
                    "short-term loudness, one line a file. The exit status is 1 when a file could not "
                    "be measured."));
    parser.addOption(QCommandLineOption("json", "With --loudness: one JSON object a file instead."));
    parser.addOption(
        QCommandLineOption("log-dir",
                           "Write the loudness compliance log and the log of clips, overs and dead "
                           "air into DIR for this run, whatever the saved settings say (they stay "
                           "as they are).",
                           "DIR"));
    parser.addOption(QCommandLineOption(
        "settings-path",
        "Print the settings file \"Save Setting\" writes and the console reads at start, and "
        "end. It lies beside the program when its folder is writable, else in "
        "$XDG_CONFIG_HOME/velmora (~/.config/velmora), which starts from the program "
        "folder's settings until the first save."));
    parser.addOption(QCommandLineOption(
        "publish",
        "Publish the meters, loudness, alarms and events to the MQTT broker at URL for this run "
        "(mqtt://host[:port] or mqtts://host[:port]); the user name and password come only from "
        "the credentials file of the [NETWORK] settings.",
        "URL"));
    parser.addOption(QCommandLineOption(
        "station",
        "With --publish: the station's name in the topics (default: the saved one, else the host name).",
        "NAME"));
    parser.addOption(QCommandLineOption(
        "headless", "Run without a window and without a display: capture, measure, write the logs and "
                    "publish (see --publish and the [NETWORK] settings) until SIGTERM or SIGINT, then end "
                    "with status 0. An input that cannot start ends it with status 1."));
    parser.addOption(QCommandLineOption(
        "settings", "With --headless: read the settings from FILE (one file per input on a rack machine).",
        "FILE"));
    parser.addPositionalArgument("FILE", "With --loudness: the audio files to measure.", "[FILE...]");
    DeclareToolkitOptions(parser);
}

TStartOptions ReadOptions(QCommandLineParser &parser, const QStringList &arguments) {
    TStartOptions options;
    if (!parser.parse(arguments)) {
        options.Error = parser.errorText();
        return options;
    }
    options.Loudness = parser.isSet("loudness");
    options.Json = parser.isSet("json");
    if (!options.Loudness && !parser.positionalArguments().isEmpty()) {
        options.Error = QString("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
        return options;
    }
    if (!options.Loudness && options.Json) {
        options.Error = "--json belongs to --loudness.";
        return options;
    }
    options.LogDir = parser.value("log-dir");
    options.LoudnessFiles = parser.positionalArguments();
    if (options.Loudness && options.LoudnessFiles.isEmpty()) {
        options.Error = "--loudness needs at least one file.";
        return options;
    }
    options.ShowHelp = parser.isSet("help");
    options.ShowVersion = parser.isSet("version");
    options.SimulatedDevices = parser.isSet("simulated-devices");
    options.StudioClock = parser.isSet("studio-clock");
    options.SettingsPath = parser.isSet("settings-path");
    options.ListDevices = parser.isSet("list-devices");
    options.Device = parser.value("device");
    options.Publish = parser.value("publish");
    options.Station = parser.value("station");
    options.Headless = parser.isSet("headless");
    options.SettingsFile = parser.value("settings");
    if (parser.isSet("settings") && !options.Headless) {
        options.Error = "--settings belongs to --headless.";
        return options;
    }
    if (parser.isSet("settings") && !QFileInfo(options.SettingsFile).isFile()) {
        options.Error = "The settings file " + options.SettingsFile + " cannot be found.";
        return options;
    }
    if (!options.Station.isEmpty() && !parser.isSet("publish")) {
        options.Error = "--station belongs to --publish.";
        return options;
    }
    if (parser.isSet("publish")) {
        try {
            ParseBrokerUrl(options.Publish.toStdString());
        } catch (const EMMNetError &e) {
            options.Error = QString::fromStdString(e.what());
        }
    }
    return options;
}
