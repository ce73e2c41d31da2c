#include "app/EventLog.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <cmath>
#include <map>

QString EventKindText(TProgrammeEventKind kind) {
    switch (kind) {
    case TProgrammeEventKind::Clip:
        return "CLIP";
    case TProgrammeEventKind::Over:
        return "OVER";
    case TProgrammeEventKind::Silence:
        return "DEAD AIR";
    case TProgrammeEventKind::SignalBack:
        return "SIGNAL BACK";
    }
    return {};
}

QString EventChannelText(int channel) {
    return channel == 0 ? "L" : channel == 1 ? "R" : "LR";
}

QString EventPeakText(const TProgrammeEvent &event) {
    if (event.Channel < 0) return {};
    const double db = 20.0 * std::log10(std::max(1, event.Peak) / 32768.0);
    // 32767 is full scale too: -0.0003 dB shows as 0.00.
    return QString::number(std::abs(db) < 0.005 ? 0.0 : db, 'f', 2);
}

QString EventTimeText(std::int64_t timeMs) {
    return QDateTime::fromMSecsSinceEpoch(timeMs).toString("yyyy-MM-dd HH:mm:ss.zzz");
}

QString EventCsvLine(const TStampedEvent &e) {
    return EventTimeText(e.TimeMs) + ',' + EventKindText(e.Event.Kind) + ',' +
           EventChannelText(e.Event.Channel) + ',' + QString::number(e.Event.Samples) + ',' +
           EventPeakText(e.Event);
}

void TEventLog::Add(const TStampedEvent &event) {
    FRows.push_back(event);
    if (FRows.size() > MaxRows) FRows.pop_front();
    if (event.Event.Channel == 0 || event.Event.Channel == 1)
        ++FCounts[static_cast<std::size_t>(event.Event.Channel)];
}

void TEventLog::Reset() {
    FRows.clear();
    FCounts = {};
}

void TEventLog::ExportCsv(const QString &path) const {
    QByteArray text = QByteArray(kEventCsvHeader) + '\n';
    for (auto row = FRows.rbegin(); row != FRows.rend(); ++row)
        text += EventCsvLine(*row).toUtf8() + '\n';
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        throw EMMLogError(
            ("The event log cannot be exported to " + path + ": " + file.errorString() + ".").toStdString());
}

TDailyLog EventDailyLog(const QString &folder) {
    return TDailyLog(folder, "events", kEventCsvHeader, "event log");
}

void WriteEventLines(const TDailyLog &log, const std::vector<TStampedEvent> &events) {
    std::map<QDate, QByteArray> days;
    for (const TStampedEvent &e : events)
        days[QDateTime::fromMSecsSinceEpoch(e.TimeMs).date()] += EventCsvLine(e).toUtf8() + '\n';
    for (const auto &[day, lines] : days)
        log.Append(day, lines);
}
