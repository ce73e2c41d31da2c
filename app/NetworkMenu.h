#pragma once

// The set-up menu's network group, a page of the settings panel: publishing on or off, the
// broker's URL, the station, the topics' prefix, the level messages' rate, the credentials
// and CA files. Each control changes its setting at once and tells the owner, which restarts
// the feed; only "Save Setting" writes them.
//
// Thread contract: main thread only.

#include "app/NetworkSettings.h"
#include "widgets/MMNumberEdit.h"
#include "widgets/MMSpinButton.h"

#include <QGroupBox>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;

class TNetworkMenu : public QGroupBox {
    Q_OBJECT
  public:
    // Follows `menu`'s showing and hiding; edits `settings`, which must outlive it.
    TNetworkMenu(QWidget *parent, QWidget *menu, TNetworkSettings &settings);

    void SetOnChange(std::function<void()> handler) { FOnChange = std::move(handler); }
    // The controls show the settings as they are now.
    void ShowSettings();
    // Under the switch: what this run publishes to when the command line chose it.
    void SetNote(const QString &note);

    QCheckBox *CbPublish;
    QLineEdit *BrokerEdit;
    QLineEdit *StationEdit;
    QLineEdit *TopicPrefixEdit;
    TMMNumberEdit *RateEdit;
    TMMSpinButton *RateSpin;
    QLineEdit *CredentialsFileEdit;
    QLineEdit *CAFileEdit;
    QLabel *NoteLbl;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    QLineEdit *AddText(const char *name, const QRect &geometry, QString TNetworkSettings::*field);
    void Changed();

    TNetworkSettings &FSettings;
    std::function<void()> FOnChange;
};
