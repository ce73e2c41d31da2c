#pragma once

// The compliance log: a CSV line for every minute of measured audio, in a file a day
// ("loudness-2026-12-08.csv", local time) in the folder given, which is made when missing.
// A new file starts with a header line:
//   time,integrated_lufs,range_lu,max_short_term_lufs,max_true_peak_dbtp,paused
//   2026-12-08 14:03:00,-23.1,6.2,-19.8,-2.4,0
// (integrated loudness and range since the last reset; maximum short-term loudness and true
// peak of that minute; 1 where the integration was paused; a value not measured is empty).
//
// Thread contract: main thread only.

#include "analysis/LoudnessSession.h"
#include "app/DailyLog.h"

#include <QString>

using EMMLoudnessLogError = EMMLogError;

// The line of one minute, without its line feed.
QString LoudnessLogLine(const TLoudnessMinute &minute);

class TLoudnessLog {
  public:
    explicit TLoudnessLog(QString folder);
    const QString &Folder() const { return FLog.Folder(); }
    // Appends the minute's line. Raises EMMLoudnessLogError naming the file when the folder
    // cannot be made or the line cannot be written; nothing else is lost.
    void Write(const TLoudnessMinute &minute) const;

  private:
    TDailyLog FLog;
};
