#pragma once

// The log of clips, overs and dead air: the rows the log window lists (newest first), the
// count of clips and overs per channel since the last reset, the CSV export, and one CSV line
// an event in a file a day ("events-2026-12-08.csv", local time, by the event's own time):
//   time,event,channel,samples,peak_dbfs
//   2026-12-08 14:03:12.250,OVER,R,5,0.00
//   2026-12-08 14:05:40.100,DEAD AIR,LR,480000,
//
// Thread contract: main thread only.

#include "app/DailyLog.h"
#include "audio/MMEventTap.h"

#include <QString>

#include <array>
#include <deque>

// "CLIP", "OVER", "DEAD AIR", "SIGNAL BACK".
QString EventKindText(TProgrammeEventKind kind);
// "L", "R", "LR" (both, for dead air).
QString EventChannelText(int channel);
// The peak in dBFS with two decimals; empty for dead air.
QString EventPeakText(const TProgrammeEvent &event);
QString EventTimeText(std::int64_t timeMs);
// The event's CSV line, without its line feed.
QString EventCsvLine(const TStampedEvent &event);
inline constexpr char kEventCsvHeader[] = "time,event,channel,samples,peak_dbfs";

class TEventLog {
  public:
    // The rows kept for the window; older ones go first.
    static constexpr std::size_t MaxRows = 10000;

    void Add(const TStampedEvent &event);
    // Newest last.
    const std::deque<TStampedEvent> &Rows() const { return FRows; }
    // Clips and overs on the channel (0 left, 1 right) since the last reset.
    int Count(int channel) const { return FCounts.at(static_cast<std::size_t>(channel)); }
    // Rows and counts gone.
    void Reset();
    // Every row, newest first as listed, with the header line. Raises EMMLogError naming the
    // file when it cannot be written.
    void ExportCsv(const QString &path) const;

  private:
    std::deque<TStampedEvent> FRows;
    std::array<int, 2> FCounts{};
};

// The daily files of the events.
TDailyLog EventDailyLog(const QString &folder);
// Appends each event to the file of its day (several days when a batch spans midnight).
void WriteEventLines(const TDailyLog &log, const std::vector<TStampedEvent> &events);
