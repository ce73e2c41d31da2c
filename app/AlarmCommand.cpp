#include "app/AlarmCommand.h"

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>

QString StartAlarmCommand(const TAidSettings &settings, const QString &settingsDir,
                          const TStampedEvent &event) {
    if (settings.AlarmProgram.trimmed().isEmpty()) return {};
    QProcess process;
    process.setProgram(settings.AlarmProgram.trimmed());
    process.setArguments(QProcess::splitCommand(settings.AlarmArguments));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VELMORA_EVENT_TIME",
                       QDateTime::fromMSecsSinceEpoch(event.TimeMs).toString(Qt::ISODateWithMs));
    environment.insert("VELMORA_EVENT_KIND",
                       event.Event.Kind == TProgrammeEventKind::Silence ? "dead-air" : "signal-back");
    environment.insert("VELMORA_EVENT_SECONDS", QString::number(event.DurationMs / 1000.0, 'f', 1));
    process.setProcessEnvironment(environment);
    // An operator's own settings folder exists only after the first save.
    if (QFileInfo(settingsDir).isDir()) process.setWorkingDirectory(settingsDir);
    process.setStandardInputFile(QProcess::nullDevice());
    if (process.startDetached()) return {};
    return "The alarm command " + process.program() + " cannot be started: " + process.errorString() + ".";
}
