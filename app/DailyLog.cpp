#include "app/DailyLog.h"

#include "app/Application.h"

#include <QDir>
#include <QFile>
#include <QTimer>

TDailyLog::TDailyLog(QString folder, QString prefix, QByteArray header, QString what)
    : FFolder(std::move(folder)), FPrefix(std::move(prefix)), FWhat(std::move(what)),
      FHeader(std::move(header)) {}

QString TDailyLog::FileName(const QDate &day) const {
    return FPrefix + '-' + day.toString("yyyy-MM-dd") + ".csv";
}

void TDailyLog::Append(const QDate &day, const QByteArray &lines) const {
    const QString path = QDir(FFolder).filePath(FileName(day));
    if (!QDir().mkpath(FFolder))
        throw EMMLogError(("The " + FWhat + " folder " + FFolder + " cannot be made.").toStdString());
    QFile file(path);
    const bool fresh = !file.exists() || file.size() == 0;
    const QByteArray text = fresh ? FHeader + '\n' + lines : lines;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(text) != text.size() ||
        !file.flush())
        throw EMMLogError(
            ("The " + FWhat + ' ' + path + " cannot be written: " + file.errorString() + ".").toStdString());
}

void TErrorBoxOnce::Report(QObject *context, const QString &text) {
    if (std::exchange(FFailed, true)) return;
    QTimer::singleShot(0, context, [text] { ShowErrorBox(text); });
}
