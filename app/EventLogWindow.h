#pragma once

// The event log's window: the clips, overs and dead air of the log newest first, the count of
// clips and overs per channel since the last reset, "Reset" and "Export CSV...". A tool window
// of the console, opened from the menu's aids group and by a click on a CLIP lamp.
//
// Thread contract: main thread only.

#include "app/EventLog.h"

#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

class TEventLogWindow : public QWidget {
    Q_OBJECT
  public:
    // Lists `log`, which must outlive it.
    TEventLogWindow(TEventLog &log, QWidget *parent);

    // The events just added to the log go on top.
    void ShowNew(const std::vector<TStampedEvent> &added);
    // The list rebuilt from the log.
    void ShowAll();
    // Asks the operator where to export: the path, empty for none. Tests replace it.
    std::function<QString()> AskExportPath;

    void BtnResetClick();
    // Raises EMMLogError when the file cannot be written.
    void BtnExportClick();

    QTableWidget *List;
    QLabel *CountLbl;
    QPushButton *BtnReset;
    QPushButton *BtnExport;

  private:
    void InsertRow(const TStampedEvent &event);
    void ShowCounts();

    TEventLog &FLog;
};
