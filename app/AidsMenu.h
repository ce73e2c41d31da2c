#pragma once

// The set-up menu's group of operator aids, under the menu and as wide as the menu with its
// two side groups: the event log's file and folder and its window, the samples that make an
// over, the dead-air alarm's switch, threshold and delay, and the command it starts. It shows
// and hides with the menu. Each control changes its setting at once and tells the owner; only
// "Save Setting" writes them.
//
// Thread contract: main thread only.

#include "app/AidSettings.h"
#include "widgets/MMNumberEdit.h"
#include "widgets/MMSpinButton.h"

#include <QGroupBox>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TAidsMenu : public QGroupBox {
    Q_OBJECT
  public:
    // Follows `menu`'s showing and hiding; edits `settings`, which must outlive it.
    TAidsMenu(QWidget *parent, QWidget *menu, TAidSettings &settings);

    // After a setting changed through the group.
    void SetOnChange(std::function<void()> handler) { FOnChange = std::move(handler); }
    // "Event log..." clicked.
    void SetOnShowLog(std::function<void()> handler) { FOnShowLog = std::move(handler); }
    // The controls show the settings as they are now.
    void ShowSettings();
    // The log's folder as shown under its switch.
    void SetLogFolderText(const QString &folder);
    // Asks the operator for the log's folder: the one chosen, empty for none. Tests replace it.
    std::function<QString(const QString &current)> AskFolder;

    QCheckBox *CbEventLog;
    QPushButton *EventLogFolderBtn;
    QLabel *EventLogFolderLbl;
    QPushButton *BtnEventLog;
    TMMNumberEdit *OverEdit;
    TMMSpinButton *OverSpin;
    QCheckBox *CbDeadAir;
    TMMNumberEdit *DeadAirThresholdEdit;
    TMMSpinButton *DeadAirThresholdSpin;
    TMMNumberEdit *DeadAirDelayEdit;
    TMMSpinButton *DeadAirDelaySpin;
    QLineEdit *AlarmProgramEdit;
    QLineEdit *AlarmArgumentsEdit;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    // The spin button `right` pixels right of `edit`, stepping it and `field` by one.
    TMMSpinButton *AddStepper(const char *name, TMMNumberEdit *edit, int &field, int right);
    QLineEdit *AddText(const char *name, int y, QString TAidSettings::*field);
    void Changed();

    TAidSettings &FSettings;
    std::function<void()> FOnChange;
    std::function<void()> FOnShowLog;
};
