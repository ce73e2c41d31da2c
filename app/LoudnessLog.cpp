#include "app/LoudnessLog.h"

#include <QDateTime>

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

TLoudnessLog::TLoudnessLog(QString folder)
    : FLog(std::move(folder), "loudness",
           "time,integrated_lufs,range_lu,max_short_term_lufs,max_true_peak_dbtp,paused", "loudness log") {}

void TLoudnessLog::Write(const TLoudnessMinute &minute) const {
    FLog.Append(LocalTime(minute).date(), LoudnessLogLine(minute).toUtf8() + '\n');
}
