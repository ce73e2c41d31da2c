#include "app/LoudnessMenu.h"

#include "analysis/LoudnessTargets.h"
#include "app/FormHelpers.h"
#include "widgets/MMLoudnessLaws.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

TLoudnessMenu::TLoudnessMenu(QWidget *parent, QWidget *menu, TLoudnessSettings &settings)
    : QGroupBox("Loudness", parent), FSettings(settings) {
    setObjectName("LoudnessBox");
    setGeometry(565, 118, 200, 331);
    SetColors(this, clWhite, kWindowColor);
    const QFont text = GothicFont(12);

    AddLabel(this, "LblLoudPreset", {9, 24}, "TARGET", clWhite, text);
    cmbLoudPreset = new QComboBox(this);
    cmbLoudPreset->setObjectName("cmbLoudPreset");
    cmbLoudPreset->setFrame(false);
    cmbLoudPreset->setGeometry(6, 37, 188, 20);
    for (int p = 0; p < kLoudnessPresetCount; ++p)
        cmbLoudPreset->addItem(QString::fromStdString(LoudnessPresetName(static_cast<TLoudnessPreset>(p))));
    connect(cmbLoudPreset, &QComboBox::activated, this, [this](int index) {
        FSettings.Preset = index;
        Changed();
    });

    AddLabel(this, "LblLoudTarget", {9, 66}, "CUSTOM TARGET", clWhite, text);
    LoudTargetEdit = AddNumber("LoudTargetEdit", 80, kMinTarget, kMaxTarget, "LUFS");
    LoudTargetSpin = AddSpinButton(this, "LoudTargetSpin", {120, 74});
    LoudTargetSpin->SetOnUpClick(
        [this](TObject *) { StepCustom(LoudTargetEdit, FSettings.CustomTarget, +1); });
    LoudTargetSpin->SetOnDownClick(
        [this](TObject *) { StepCustom(LoudTargetEdit, FSettings.CustomTarget, -1); });
    AddLabel(this, "LblLoudCeiling", {9, 106}, "CUSTOM CEILING", clWhite, text);
    LoudCeilingEdit = AddNumber("LoudCeilingEdit", 120, kMinCeiling, kMaxCeiling, "dBTP");
    LoudCeilingSpin = AddSpinButton(this, "LoudCeilingSpin", {120, 114});
    LoudCeilingSpin->SetOnUpClick(
        [this](TObject *) { StepCustom(LoudCeilingEdit, FSettings.CustomCeiling, +1); });
    LoudCeilingSpin->SetOnDownClick(
        [this](TObject *) { StepCustom(LoudCeilingEdit, FSettings.CustomCeiling, -1); });

    AddLabel(this, "LblLoudScale", {9, 148}, "SCALE", clWhite, text);
    rbLoud9 = AddButton<QRadioButton>(this, "rbLoud9", "+9", {8, 164});
    rbLoud18 = AddButton<QRadioButton>(this, "rbLoud18", "+18", {60, 164});
    rbLoudLUFS = AddButton<QRadioButton>(this, "rbLoudLUFS", "LUFS", {120, 164});
    for (QRadioButton *scale : {rbLoud9, rbLoud18, rbLoudLUFS}) {
        SetColors(scale, clWhite);
        connect(scale, &QRadioButton::clicked, this, [this] {
            FSettings.Scale = rbLoud18->isChecked() ? lsEBU18 : rbLoudLUFS->isChecked() ? lsAbsolute : lsEBU9;
            Changed();
        });
    }

    AddLabel(this, "LblLoudHistory", {9, 192}, "HISTORY", clWhite, text);
    LoudHistoryEdit = AddNumber("LoudHistoryEdit", 206, kMinHistoryMinutes, kMaxHistoryMinutes, "MIN");
    LoudHistorySpin = AddSpinButton(this, "LoudHistorySpin", {120, 200});
    const auto stepHistory = [this](int step) {
        LoudHistoryEdit->SetValue(LoudHistoryEdit->Value() + step);
        FSettings.HistoryMinutes = LoudHistoryEdit->Value();
        Changed();
    };
    LoudHistorySpin->SetOnUpClick([stepHistory](TObject *) { stepHistory(+1); });
    LoudHistorySpin->SetOnDownClick([stepHistory](TObject *) { stepHistory(-1); });

    CbLoudLog = AddButton<QCheckBox>(this, "CbLoudLog", "Compliance log", {8, 240});
    SetColors(CbLoudLog, clWhite);
    connect(CbLoudLog, &QCheckBox::clicked, this, [this](bool on) {
        FSettings.Log = on;
        Changed();
    });
    const TFolderControls folder =
        AddLogFolderControls(this, "LoudLog", "Loudness log folder", {8, 262, 100, 22}, {9, 288, 186, 38},
                             AskFolder, [this](const QString &dir) {
                                 FSettings.LogDir = dir;
                                 Changed();
                             });
    LoudLogFolderBtn = folder.Button;
    LoudLogFolderLbl = folder.Label;

    ShowSettings();
    setVisible(menu->isVisible());
    menu->installEventFilter(this);
}

TMMNumberEdit *TLoudnessMenu::AddNumber(const char *name, int y, int min, int max, const QString &unit) {
    return AddNumberBox(this, name, {40, y}, min, max, unit);
}

void TLoudnessMenu::StepCustom(TMMNumberEdit *edit, int &field, int step) {
    edit->SetValue(edit->Value() + step);
    field = edit->Value();
    FSettings.Preset = lpCustom;
    Changed();
}

void TLoudnessMenu::Changed() {
    ShowSettings();
    if (FOnChange) FOnChange();
}

void TLoudnessMenu::ShowSettings() {
    cmbLoudPreset->setCurrentIndex(LoudnessPresetOf(FSettings.Preset));
    // The boxes clamp what they show; the fields keep what was read.
    LoudTargetEdit->SetValue(FSettings.CustomTarget);
    LoudCeilingEdit->SetValue(FSettings.CustomCeiling);
    LoudHistoryEdit->SetValue(FSettings.HistoryMinutes);
    const TLoudnessScale scale = LoudnessScaleOf(FSettings.Scale);
    (scale == lsEBU18 ? rbLoud18 : scale == lsAbsolute ? rbLoudLUFS : rbLoud9)->setChecked(true);
    CbLoudLog->setChecked(FSettings.Log);
}

void TLoudnessMenu::SetLogFolderText(const QString &folder) {
    LoudLogFolderLbl->setText(folder);
}

bool TLoudnessMenu::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Show) show();
    if (event->type() == QEvent::Hide) hide();
    return QGroupBox::eventFilter(watched, event);
}
