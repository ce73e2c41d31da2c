#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Forms.h"
#include "app/LoudnessCommand.h"
#include "app/MainFrm.h"
#include "app/Settings.h"
#include "audio/MMWaveIn.h"
#include "clock/WatchMain.h"
#include "platform/ProgramLauncher.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

// Help, version or a refused command line: say so and end with the parser's exit code.
[[noreturn]] void Answer(QCommandLineParser &parser, const TStartOptions &options) {
    if (!options.Error.isEmpty()) {
        std::fprintf(stderr, "%s\n%s", qPrintable(options.Error), qPrintable(parser.helpText()));
        std::exit(2);
    }
    if (options.ShowVersion) parser.showVersion();
    parser.showHelp(0);
}

bool NeedsAnswer(const TStartOptions &options) {
    return options.ShowHelp || options.ShowVersion || !options.Error.isEmpty();
}

} // namespace

int main(int argc, char **argv) {
    // The main loop wakes about five hundred times a second to hand out meter blocks; Qt's
    // own event dispatcher takes such a wake for less than the GLib one does.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QCoreApplication::setApplicationName("VelmoraPro");
    QCoreApplication::setApplicationVersion("1.0");

    // Help, version and a refused command line need no display: answer them before the
    // windowing system starts.
    {
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        QCommandLineParser parser;
        DeclareOptions(parser);
        const TStartOptions early = ReadOptions(parser, arguments);
        if (NeedsAnswer(early)) {
            QCoreApplication core(argc, argv);
            Answer(parser, early);
        }
        if (early.Loudness) return RunLoudnessCommand(early.LoudnessFiles, early.Json, stdout, stderr);
    }

    // The toolkit takes its own options (-platform, -display, ...) out of the arguments.
    TApplication app(argc, argv);
    QCommandLineParser parser;
    DeclareOptions(parser);
    const TStartOptions options = ReadOptions(parser, app.arguments());
    if (NeedsAnswer(options)) Answer(parser, options);
    AppendSimulatedWaveInDevices(options.SimulatedDevices);

    // The machine's own: its capture devices, the settings beside the program, real launching.
    CreateForms({SystemWaveInDriver(), ProgramSettingsDir(), &StartProgram});
    if (!options.LogDir.isEmpty()) MainForm->SetLogDir(QDir(options.LogDir).absolutePath());
    MainForm->show();
    if (options.StudioClock) WatchFrm->ShowBeside(MainForm->frameGeometry());
    return app.exec();
}
