#include "app/NetworkMenu.h"

#include "app/FormHelpers.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

TNetworkMenu::TNetworkMenu(QWidget *parent, QWidget *menu, TNetworkSettings &settings)
    : QGroupBox("Network", parent), FSettings(settings) {
    setObjectName("NetworkBox");
    setGeometry(8, 452, 757, 152);
    SetColors(this, clWhite, kWindowColor);
    const QFont text = GothicFont(12);

    CbPublish = AddButton<QCheckBox>(this, "CbPublish", "Publish to the MQTT broker", {8, 20});
    SetColors(CbPublish, clWhite);
    connect(CbPublish, &QCheckBox::clicked, this, [this](bool on) {
        FSettings.Publish = on;
        Changed();
    });
    AddLabel(this, "LblBroker", {9, 46}, "BROKER  mqtt://host[:port]  mqtts://host[:port]", clWhite, text);
    BrokerEdit = AddText("BrokerEdit", {8, 62, 300, 20}, &TNetworkSettings::Broker);
    AddLabel(this, "LblStation", {330, 46}, "STATION", clWhite, text);
    StationEdit = AddText("StationEdit", {330, 62, 180, 20}, &TNetworkSettings::Station);
    StationEdit->setPlaceholderText(StationName({}));
    AddLabel(this, "LblTopicPrefix", {530, 46}, "TOPIC PREFIX", clWhite, text);
    TopicPrefixEdit = AddText("TopicPrefixEdit", {530, 62, 110, 20}, &TNetworkSettings::TopicPrefix);
    AddLabel(this, "LblRate", {660, 20}, "RATE", clWhite, text);
    RateEdit = AddNumberBox(this, "RateEdit", {660, 38}, kMinRateHz, kMaxRateHz, "Hz");
    RateSpin = AddSpinButton(this, "RateSpin", {722, 32});
    const auto step = [this](int by) {
        const int rate = std::clamp(FSettings.RateHz + by, kMinRateHz, kMaxRateHz);
        if (rate == FSettings.RateHz) return;
        FSettings.RateHz = rate;
        Changed();
    };
    RateSpin->SetOnUpClick([step](TObject *) { step(+1); });
    RateSpin->SetOnDownClick([step](TObject *) { step(-1); });
    AddLabel(this, "LblCredentialsFile", {9, 92}, "CREDENTIALS FILE  user:password, owner-only", clWhite,
             text);
    CredentialsFileEdit =
        AddText("CredentialsFileEdit", {8, 108, 300, 20}, &TNetworkSettings::CredentialsFile);
    AddLabel(this, "LblCAFile", {330, 92}, "CA FILE  (empty: the system's)", clWhite, text);
    CAFileEdit = AddText("CAFileEdit", {330, 108, 310, 20}, &TNetworkSettings::CAFile);
    NoteLbl = AddLabel(this, "NetNoteLbl", {230, 22}, "", clSilver, ArialFont(9, false));

    ShowSettings();
    setVisible(menu->isVisible());
    menu->installEventFilter(this);
}

QLineEdit *TNetworkMenu::AddText(const char *name, const QRect &geometry, QString TNetworkSettings::*field) {
    auto *edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setGeometry(geometry);
    connect(edit, &QLineEdit::editingFinished, this, [this, edit, field] {
        if (FSettings.*field == edit->text()) return;
        FSettings.*field = edit->text();
        Changed();
    });
    return edit;
}

void TNetworkMenu::Changed() {
    ShowSettings();
    if (FOnChange) FOnChange();
}

void TNetworkMenu::ShowSettings() {
    CbPublish->setChecked(FSettings.Publish);
    for (auto [edit, value] : {std::pair{BrokerEdit, FSettings.Broker},
                               {StationEdit, FSettings.Station},
                               {TopicPrefixEdit, FSettings.TopicPrefix},
                               {CredentialsFileEdit, FSettings.CredentialsFile},
                               {CAFileEdit, FSettings.CAFile}})
        if (edit->text() != value) edit->setText(value);
    RateEdit->SetValue(std::clamp(FSettings.RateHz, kMinRateHz, kMaxRateHz));
}

void TNetworkMenu::SetNote(const QString &note) {
    NoteLbl->setText(note);
    NoteLbl->adjustSize();
}

bool TNetworkMenu::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Show) show();
    if (event->type() == QEvent::Hide) hide();
    return QGroupBox::eventFilter(watched, event);
}
