#include "app/EventLogWindow.h"

#include "app/Application.h"
#include "app/FormHelpers.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

namespace {

enum TColumn { colTime, colEvent, colChannel, colSamples, colPeak, colCount };

} // namespace

TEventLogWindow::TEventLogWindow(TEventLog &log, QWidget *parent) : QWidget(parent, Qt::Tool), FLog(log) {
    setObjectName("EventLogWindow");
    setWindowTitle("Event log");
    setFixedSize(460, 320);
    SetColors(this, clWhite, kWindowColor);

    AddLabel(this, "LblEvents", {8, 6}, "CLIPS, OVERS AND DEAD AIR", clLime, ArialFont(12, true));
    CountLbl = AddLabel(this, "CountLbl", {8, 292}, QString(), clYellow, GothicFont(12, true));
    CountLbl->resize(240, CountLbl->height());

    List = new QTableWidget(0, colCount, this);
    List->setObjectName("List");
    List->setGeometry(8, 26, 444, 258);
    List->setHorizontalHeaderLabels({"Time", "Event", "Ch", "Samples", "Peak dBFS"});
    List->verticalHeader()->hide();
    List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List->setSelectionBehavior(QAbstractItemView::SelectRows);
    List->setFont(GothicFont(12));
    List->verticalHeader()->setDefaultSectionSize(18);
    List->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    List->setShowGrid(false);
    for (const auto &[column, width] :
         {std::pair{colTime, 168}, {colEvent, 90}, {colChannel, 28}, {colSamples, 70}})
        List->setColumnWidth(column, width);
    List->horizontalHeader()->setStretchLastSection(true);
    // The instruments' black face, lime type.
    QPalette face = List->palette();
    face.setColor(QPalette::Base, ToQColor(clBlack));
    face.setColor(QPalette::Text, ToQColor(clLime));
    List->setPalette(face);

    BtnReset = AddPushButton(this, "BtnResetEvents", "Reset", {252, 290, 80, 24});
    BtnExport = AddPushButton(this, "BtnExportEvents", "Export CSV...", {338, 290, 114, 24});
    AskExportPath = [this] {
        return QFileDialog::getSaveFileName(this, "Export the event log", "events.csv", "CSV files (*.csv)");
    };
    connect(BtnReset, &QPushButton::clicked, this, [this] { RunAction([this] { BtnResetClick(); }); });
    connect(BtnExport, &QPushButton::clicked, this, [this] { RunAction([this] { BtnExportClick(); }); });
    ShowAll();
}

void TEventLogWindow::InsertRow(const TStampedEvent &e) {
    List->insertRow(0);
    const QString cells[colCount] = {EventTimeText(e.TimeMs), EventKindText(e.Event.Kind),
                                     EventChannelText(e.Event.Channel), QString::number(e.Event.Samples),
                                     EventPeakText(e.Event)};
    const bool alarm = e.Event.Kind == TProgrammeEventKind::Silence;
    for (int c = 0; c < colCount; ++c) {
        auto *item = new QTableWidgetItem(cells[c]);
        // Overs and dead air stand out; clips and the signal's return stay lime.
        if (alarm || e.Event.Kind == TProgrammeEventKind::Over) item->setForeground(ToQColor(clRed));
        List->setItem(0, c, item);
    }
}

void TEventLogWindow::ShowNew(const std::vector<TStampedEvent> &added) {
    for (const TStampedEvent &e : added)
        InsertRow(e);
    while (List->rowCount() > static_cast<int>(FLog.Rows().size()))
        List->removeRow(List->rowCount() - 1);
    ShowCounts();
}

void TEventLogWindow::ShowAll() {
    List->setRowCount(0);
    for (const TStampedEvent &e : FLog.Rows())
        InsertRow(e);
    ShowCounts();
}

void TEventLogWindow::ShowCounts() {
    CountLbl->setText(QString("L %1   R %2").arg(FLog.Count(0)).arg(FLog.Count(1)));
}

void TEventLogWindow::BtnResetClick() {
    FLog.Reset();
    ShowAll();
}

void TEventLogWindow::BtnExportClick() {
    const QString path = AskExportPath();
    if (!path.isEmpty()) FLog.ExportCsv(path);
}
