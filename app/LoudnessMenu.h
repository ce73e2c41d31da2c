#pragma once

// The set-up menu's loudness group: target preset, custom target and ceiling, the bars'
// scale, the history's span and the compliance log. It stands beside the menu and shows and
// hides with it. Each control changes its setting at once and tells the owner; only "Save
// Setting" writes them.
//
// Thread contract: main thread only.

#include "app/LoudnessSettings.h"
#include "widgets/MMNumberEdit.h"
#include "widgets/MMSpinButton.h"

#include <QGroupBox>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

class TLoudnessMenu : public QGroupBox {
    Q_OBJECT
  public:
    // Follows `menu`'s showing and hiding; edits `settings`, which must outlive it.
    TLoudnessMenu(QWidget *parent, QWidget *menu, TLoudnessSettings &settings);

    // After a setting changed through the group.
    void SetOnChange(std::function<void()> handler) { FOnChange = std::move(handler); }
    // The controls show the settings as they are now.
    void ShowSettings();
    // Asks the operator for the log's folder: the one chosen, empty for none. Tests replace it.
    std::function<QString(const QString &current)> AskFolder;
    // The log's folder as shown under its switch.
    void SetLogFolderText(const QString &folder);

    QComboBox *cmbLoudPreset;
    TMMNumberEdit *LoudTargetEdit;
    TMMSpinButton *LoudTargetSpin;
    TMMNumberEdit *LoudCeilingEdit;
    TMMSpinButton *LoudCeilingSpin;
    QRadioButton *rbLoud9;
    QRadioButton *rbLoud18;
    QRadioButton *rbLoudLUFS;
    TMMNumberEdit *LoudHistoryEdit;
    TMMSpinButton *LoudHistorySpin;
    QCheckBox *CbLoudLog;
    QPushButton *LoudLogFolderBtn;
    QLabel *LoudLogFolderLbl;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    TMMNumberEdit *AddNumber(const char *name, int y, int min, int max, const QString &unit);
    // A custom value stepped: the preset becomes the custom one.
    void StepCustom(TMMNumberEdit *edit, int &field, int step);
    void Changed();

    TLoudnessSettings &FSettings;
    std::function<void()> FOnChange;
};
