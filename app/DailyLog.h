#pragma once

// What the console's logs share: CSV lines appended to a file a day ("PREFIX-2026-12-08.csv",
// local time) in a folder that is made when missing, a header line at the top of a new file,
// and an error box shown once when writing fails, while metering goes on.
//
// Thread contract: main thread only.

#include "platform/MMError.h"

#include <QByteArray>
#include <QDate>
#include <QString>

class QObject;

class EMMLogError : public EMMError {
  public:
    using EMMError::EMMError;
};

class TDailyLog {
  public:
    // `what` names the log in error texts ("loudness log").
    TDailyLog(QString folder, QString prefix, QByteArray header, QString what);
    const QString &Folder() const { return FFolder; }
    QString FileName(const QDate &day) const;
    // Appends `lines` (each ending in a line feed) to the day's file. Raises EMMLogError
    // naming the folder or the file when the folder cannot be made or the lines cannot be
    // written.
    void Append(const QDate &day, const QByteArray &lines) const;

  private:
    QString FFolder, FPrefix, FWhat;
    QByteArray FHeader;
};

// Failures that repeat (a log that cannot be written each minute, an alarm command that
// cannot start) reach the operator once: the first shows the error box (from the event loop,
// not from within the refresh that found it), later ones are dropped until Rearm.
class TErrorBoxOnce {
  public:
    void Report(QObject *context, const QString &text);
    void Rearm() { FFailed = false; }
    bool Failed() const { return FFailed; }

  private:
    bool FFailed = false;
};
