#include "app/LoudnessLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cmath>

namespace {

QDateTime LocalTime(const TLoudnessMinute &minute) {
    return QDateTime::fromSecsSinceEpoch(minute.Time);
}

QString Field(double value) {
    return std::isfinite(value) ? QString::number(value, 'f', 1) : QString();
}

} // namespace

QString LoudnessLogLine(const TLoudnessMinute &m) {
    return LocalTime(m).toString("yyyy-MM-dd HH:mm:ss") + ',' + Field(m.Integrated) + ',' + Field(m.Range) +
           ',' + Field(m.MaxShortTerm) + ',' + Field(m.MaxTruePeak) + ',' + (m.Running ? '0' : '1');
}

QString LoudnessLogFileName(const TLoudnessMinute &minute) {
    return "loudness-" + LocalTime(minute).toString("yyyy-MM-dd") + ".csv";
}

void TLoudnessLog::Write(const TLoudnessMinute &minute) const {
    const QString path = QDir(FFolder).filePath(LoudnessLogFileName(minute));
    if (!QDir().mkpath(FFolder))
        throw EMMLoudnessLogError(("The loudness log folder " + FFolder + " cannot be made.").toStdString());
    QFile file(path);
    const bool fresh = !file.exists() || file.size() == 0;
    QByteArray text;
    if (fresh) text += "time,integrated_lufs,range_lu,max_short_term_lufs,max_true_peak_dbtp,paused\n";
    text += LoudnessLogLine(minute).toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(text) != text.size() ||
        !file.flush())
        throw EMMLoudnessLogError(
            ("The loudness log " + path + " cannot be written: " + file.errorString() + ".").toStdString());
}
