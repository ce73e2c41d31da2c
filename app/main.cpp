#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/DeviceChoice.h"
#include "app/Forms.h"
#include "app/Headless.h"
#include "app/LoudnessCommand.h"
#include "app/MainFrm.h"
#include "app/Settings.h"
#include "app/SettingsPlace.h"
#include "audio/MMWaveIn.h"
#include "clock/WatchMain.h"
#include "platform/ProgramLauncher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <string>
#include <vector>

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

// --list-devices and --device, without a display: prints the list and ends, or ends when the
// chosen input is not listed; otherwise the name of the input chosen (empty: the saved one).
std::string ChooseInput(const TStartOptions &options) {
    if (!options.ListDevices && options.Device.isEmpty()) return {};
    AppendSimulatedWaveInDevices(options.SimulatedDevices);
    const std::vector<TListedDevice> listed = ListWaveInDevices(SystemWaveInDriver());
    if (options.ListDevices) {
        std::fputs(DeviceListText(listed).c_str(), stdout);
        std::exit(0);
    }
    const int chosen = ChooseListedDevice(options.Device, listed);
    if (chosen < 0) {
        std::fprintf(stderr, "There is no input \"%s\". The inputs:\n%s", qPrintable(options.Device),
                     DeviceListText(listed).c_str());
        std::exit(2);
    }
    return listed[static_cast<std::size_t>(chosen)].Name;
}

} // namespace

int main(int argc, char **argv) {
    PrepareToolkitEnvironment();
    QCoreApplication::setApplicationName("VelmoraPro");
    QCoreApplication::setApplicationVersion("1.0");

    // Help, version, a refused command line and the input list need no display: answer them
    // before the windowing system starts.
    std::string input;
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
        if (early.SettingsPath) {
            QCoreApplication core(argc, argv);
            std::printf("%s\n", qPrintable(SettingsFilePath(ChooseSettingsPlace(ProgramSettingsDir()).Dir)));
            return 0;
        }
        input = ChooseInput(early);
        if (early.Headless) {
            QCoreApplication core(argc, argv);
            AppendSimulatedWaveInDevices(early.SimulatedDevices);
            const TSettingsPlace place = ChooseSettingsPlace(ProgramSettingsDir());
            // One rack machine runs a console per input, each from a settings file of its own.
            const QString file = early.SettingsFile.isEmpty()
                                     ? SettingsFileToRead(place.Dir, place.FallbackFile)
                                     : QFileInfo(early.SettingsFile).absoluteFilePath();
            const QString dir = early.SettingsFile.isEmpty() ? place.Dir : QFileInfo(file).absolutePath();
            return RunHeadless(SystemWaveInDriver(),
                               {file, dir, input,
                                early.LogDir.isEmpty() ? QString() : QDir(early.LogDir).absolutePath(),
                                early.Publish, early.Station});
        }
    }

    // The toolkit takes its own options (-platform, -display, ...) out of the arguments.
    TApplication app(argc, argv);
    QCommandLineParser parser;
    DeclareOptions(parser);
    const TStartOptions options = ReadOptions(parser, app.arguments());
    if (NeedsAnswer(options)) Answer(parser, options);
    AppendSimulatedWaveInDevices(options.SimulatedDevices);

    // The machine's own: its capture devices, the settings' place, real launching.
    const TSettingsPlace settings = ChooseSettingsPlace(ProgramSettingsDir());
    CreateForms(
        {SystemWaveInDriver(), settings.Dir, &StartProgram, settings.FallbackFile, settings.DefaultsFile});
    if (!input.empty()) MainForm->ChooseInputForRun(input);
    if (!options.LogDir.isEmpty()) MainForm->SetLogDir(QDir(options.LogDir).absolutePath());
    if (!options.Publish.isEmpty()) MainForm->PublishForRun(options.Publish, options.Station);
    MainForm->show();
    if (options.StudioClock) WatchFrm->ShowBeside(MainForm->frameGeometry());
    return app.exec();
}
