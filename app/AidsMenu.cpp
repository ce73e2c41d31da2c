#include "app/AidsMenu.h"

#include "app/FormHelpers.h"
#include "audio/MMEventTap.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TAidsMenu::TAidsMenu(QWidget *parent, QWidget *menu, TAidSettings &settings)
    : QGroupBox("Operator aids", parent), FSettings(settings) {
    setObjectName("AidsBox");
    setGeometry(8, 452, 757, 152);
    SetColors(this, clWhite, kWindowColor);
    const QFont text = GothicFont(12);

    AddLabel(this, "LblEventLog", {9, 22}, "CLIP / OVER / DEAD-AIR LOG", clWhite, text);
    CbEventLog = AddButton<QCheckBox>(this, "CbEventLog", "Log to daily files", {8, 38});
    SetColors(CbEventLog, clWhite);
    connect(CbEventLog, &QCheckBox::clicked, this, [this](bool on) {
        FSettings.EventLog = on;
        Changed();
    });
    const TFolderControls folder =
        AddLogFolderControls(this, "EventLog", "Event log folder", {8, 60, 100, 22}, {9, 86, 206, 36},
                             AskFolder, [this](const QString &dir) {
                                 FSettings.EventLogDir = dir;
                                 Changed();
                             });
    EventLogFolderBtn = folder.Button;
    EventLogFolderLbl = folder.Label;
    BtnEventLog = AddPushButton(this, "BtnEventLog", "Event log...", {114, 60, 100, 22});
    connect(BtnEventLog, &QPushButton::clicked, this, [this] {
        if (FOnShowLog) FOnShowLog();
    });

    AddLabel(this, "LblOver", {230, 22}, "OVER SAMPLES", clWhite, text);
    OverEdit = AddNumberBox(this, "OverEdit", {240, 42}, TClipDetector::MinOverSamples,
                            TClipDetector::MaxOverSamples, "");
    OverSpin = AddStepper("OverSpin", OverEdit, FSettings.OverSamples, 42);

    CbDeadAir = AddButton<QCheckBox>(this, "CbDeadAir", "Dead-air alarm", {378, 20});
    SetColors(CbDeadAir, clWhite);
    connect(CbDeadAir, &QCheckBox::clicked, this, [this](bool on) {
        FSettings.DeadAir = on;
        Changed();
    });
    AddLabel(this, "LblDeadAirThreshold", {380, 62}, "BELOW", clWhite, text);
    DeadAirThresholdEdit = AddNumberBox(this, "DeadAirThresholdEdit", {420, 58}, TMMEventTap::MinThresholdDB,
                                        TMMEventTap::MaxThresholdDB, "dBFS");
    DeadAirThresholdSpin =
        AddStepper("DeadAirThresholdSpin", DeadAirThresholdEdit, FSettings.DeadAirThreshold, 80);
    AddLabel(this, "LblDeadAirDelay", {380, 106}, "FOR", clWhite, text);
    DeadAirDelayEdit = AddNumberBox(this, "DeadAirDelayEdit", {420, 102}, TMMEventTap::MinDelaySeconds,
                                    TMMEventTap::MaxDelaySeconds, "sec");
    DeadAirDelaySpin = AddStepper("DeadAirDelaySpin", DeadAirDelayEdit, FSettings.DeadAirDelay, 80);

    AddLabel(this, "LblAlarmCommand", {540, 22}, "ALARM PROGRAM", clWhite, text);
    AlarmProgramEdit = AddText("AlarmProgramEdit", 38, &TAidSettings::AlarmProgram);
    AddLabel(this, "LblAlarmArguments", {540, 66}, "ITS ARGUMENTS", clWhite, text);
    AlarmArgumentsEdit = AddText("AlarmArgumentsEdit", 82, &TAidSettings::AlarmArguments);
    AddLabel(this, "LblAlarmHint", {540, 108},
             "started directly, not by a shell;\nVELMORA_EVENT_TIME, _KIND set", clSilver,
             ArialFont(9, false));

    ShowSettings();
    setVisible(menu->isVisible());
    menu->installEventFilter(this);
}

TMMSpinButton *TAidsMenu::AddStepper(const char *name, TMMNumberEdit *edit, int &field, int right) {
    TMMSpinButton *spin = AddSpinButton(this, name, {edit->x() + right, edit->y() - 6});
    const auto step = [this, edit, &field](int by) {
        edit->SetValue(edit->Value() + by);
        field = edit->Value();
        Changed();
    };
    spin->SetOnUpClick([step](TObject *) { step(+1); });
    spin->SetOnDownClick([step](TObject *) { step(-1); });
    return spin;
}

QLineEdit *TAidsMenu::AddText(const char *name, int y, QString TAidSettings::*field) {
    auto *edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setGeometry(540, y, 210, 20);
    connect(edit, &QLineEdit::editingFinished, this, [this, edit, field] {
        if (FSettings.*field == edit->text()) return;
        FSettings.*field = edit->text();
        Changed();
    });
    return edit;
}

void TAidsMenu::Changed() {
    ShowSettings();
    if (FOnChange) FOnChange();
}

void TAidsMenu::ShowSettings() {
    CbEventLog->setChecked(FSettings.EventLog);
    // The boxes clamp what they show; the fields keep what was read.
    OverEdit->SetValue(FSettings.OverSamples);
    CbDeadAir->setChecked(FSettings.DeadAir);
    DeadAirThresholdEdit->SetValue(FSettings.DeadAirThreshold);
    DeadAirDelayEdit->SetValue(FSettings.DeadAirDelay);
    if (AlarmProgramEdit->text() != FSettings.AlarmProgram) AlarmProgramEdit->setText(FSettings.AlarmProgram);
    if (AlarmArgumentsEdit->text() != FSettings.AlarmArguments)
        AlarmArgumentsEdit->setText(FSettings.AlarmArguments);
}

void TAidsMenu::SetLogFolderText(const QString &folder) {
    EventLogFolderLbl->setText(folder);
}

bool TAidsMenu::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Show) show();
    if (event->type() == QEvent::Hide) hide();
    return QGroupBox::eventFilter(watched, event);
}
