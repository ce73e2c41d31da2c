// The set-up menu's handlers and the page buttons: each changes its controls at once and the
// matching setting; only "Save Setting" writes the settings file.

#include "app/FormHelpers.h"
#include "app/MainFrm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QRadioButton>

#include <algorithm>
#include <climits>
#include <exception>

namespace {

// One step of a value without limits of its own. The settings file may hold any integer; a
// step past the integer's end stays there instead of wrapping to the other end.
int Step(int value, int step) {
    return static_cast<int>(std::clamp<long long>(static_cast<long long>(value) + step, INT_MIN, INT_MAX));
}

// A margin threshold and the caption of its lamp in the menu move together, without limits.
void StepPeakLevel(int &level, TMMLED *led, int step) {
    level = Step(level, step);
    led->SetCaption(QString::number(level));
}

} // namespace

void TMainForm::Image1Click() {
    CloseBox->setHidden(!CloseBox->isHidden());
    StandardsBox->setHidden(CloseBox->isHidden());
}

void TMainForm::Button4Click() {
    CloseBox->hide();
    StandardsBox->hide();
}

void TMainForm::BtnSaveSettingClick() {
    // An operator's own settings folder is made on the first save; a failure shows as the
    // write's error.
    QDir().mkpath(FServices.SettingsDir);
    WriteAllSettings(SettingsPath(), Settings);
    WriteLoudnessSettings(SettingsPath(), LoudnessSettings);
    WriteAidSettings(SettingsPath(), AidSettings);
    WriteNetworkSettings(SettingsPath(), NetworkSettings);
}

// The defaults are copied by plain names, in the working directory, or into the operator's own
// settings folder from the program's; the file read back is the settings file in its own folder. Capture
// moves to the loaded device. When that device cannot start, the loaded values are applied all the same, so
// the menu never shows other values than the next save writes, and the failure is reported after.
void TMainForm::Button5Click() {
    if (FServices.DefaultsFile.isEmpty()) {
        CopyDefaultsFile();
    } else {
        QDir().mkpath(FServices.SettingsDir);
        CopyDefaultsFile(FServices.DefaultsFile, SettingsPath());
    }
    ReadDefaultKeys(SettingsPath(), Settings);
    // The groups beside the menu take theirs too (their defaults when the file has none).
    ReadLoudnessSettings(SettingsPath(), LoudnessSettings);
    ReadAidSettings(SettingsPath(), AidSettings);
    ReadNetworkSettings(SettingsPath(), NetworkSettings);
    const int device = FindSavedInput();
    std::exception_ptr failed;
    try {
        RestartCapture(device);
    } catch (...) {
        failed = std::current_exception();
    }
    ApplySettings(TApplyVariant::LoadDefault);
    ShowInputDevice();
    if (failed) std::rethrow_exception(failed);
}

// A device that cannot start reports through the wave input's error and keeps the setting
// as it was. The choice replaces a saved input that was not found, whether it starts or not.
void TMainForm::cmbInputDeviceChange() {
    FMissingInput.clear();
    RestartCapture(cmbInputDevice->currentIndex());
    Settings.InputDevNo = MMWaveIn1->DeviceID();
    // Named after the device now chosen.
    Settings.InputDevName.clear();
    FindInputDevice(Settings, FInputDevices);
}

void TMainForm::RbLowerClick() {
    if (RbLower->isChecked())
        PlaceLayout(TConsoleLayout::Lower);
    else if (RbUpper->isChecked())
        PlaceLayout(TConsoleLayout::Upper);
}

void TMainForm::rbLevelGClick() {
    if (rbLevelG->isChecked()) {
        PanelGrph->show();
        PanelSpectrum->hide();
        Settings.ShowGraph = true;
    } else if (rbSpa->isChecked()) {
        PanelGrph->hide();
        PanelSpectrum->show();
        Settings.ShowGraph = false;
    }
}

// The simple spectrum as lines or as bars; the three properties in this order.
void TMainForm::CbLineSpaClick() {
    Settings.LineSpa = CbLineSpa->isChecked();
    MMSpectrum2->SetNumPeaks(Settings.LineSpa ? 0 : 1);
    MMSpectrum2->SetKind(Settings.LineSpa ? skLines : skBars);
    MMSpectrum2->SetBar1Color(Settings.LineSpa ? 15780518 : 16777215);
}

// Acts from the next start of the JACK input on.
void TMainForm::CbJackConnectClick() {
    Settings.JackConnect = CbJackConnect->isChecked();
    ConnectJackToCapturePorts(Settings.JackConnect);
}

void TMainForm::SetUpChkRedLineClick() {
    Settings.ShowRedLine = SetUpChkRedLine->isChecked();
    BdRedLine->setVisible(Settings.ShowRedLine);
}

// A step starts from what the box shows, which clamps to its range; the meters and the
// setting take the box's value.
void TMainForm::StepVURefLevel(int step) {
    SetupRefLvl->SetValue(SetupRefLvl->Value() + step);
    SetVURefLevel(SetupRefLvl->Value());
    Settings.VURefLevel = SetupRefLvl->Value();
}

void TMainForm::MMSpinButton1UpClick() {
    StepVURefLevel(+1);
}

void TMainForm::MMSpinButton1DownClick() {
    StepVURefLevel(-1);
}

void TMainForm::MMSpinButton2UpClick() {
    StepPeakLevel(Settings.PeakLevel1, SetupLed1, +1);
}

void TMainForm::MMSpinButton2DownClick() {
    StepPeakLevel(Settings.PeakLevel1, SetupLed1, -1);
}

void TMainForm::MMSpinButton3UpClick() {
    StepPeakLevel(Settings.PeakLevel2, SetupLed2, +1);
}

void TMainForm::MMSpinButton3DownClick() {
    StepPeakLevel(Settings.PeakLevel2, SetupLed2, -1);
}

void TMainForm::MMSpinButton4UpClick() {
    StepPeakLevel(Settings.PeakLevel3, SetupLed3, +1);
}

void TMainForm::MMSpinButton4DownClick() {
    StepPeakLevel(Settings.PeakLevel3, SetupLed3, -1);
}

// Up raises the line on the graph; it may leave the graph on either side.
void TMainForm::MMSpinButton5UpClick() {
    BdRedLine->move(BdRedLine->x(), Step(BdRedLine->y(), -1));
    Settings.RedLinePos = BdRedLine->y();
}

void TMainForm::MMSpinButton5DownClick() {
    BdRedLine->move(BdRedLine->x(), Step(BdRedLine->y(), +1));
    Settings.RedLinePos = BdRedLine->y();
}

// The hidden page's instruments keep their audio; only what is shown changes.
void TMainForm::SpcChgBtnPanelClick() {
    HideLoudnessPage();
    SetOuterRingColor(SpcChgBtnPanel, clRed);
    SetOuterRingColor(VuChgBtnPanel, clBlack);
    SpecPanel->show();
    VuPanel->hide();
    SpecPanel->move(VuPanel->pos());
}

void TMainForm::VuChgBtnPanelClick() {
    HideLoudnessPage();
    SetOuterRingColor(SpcChgBtnPanel, clBlack);
    SetOuterRingColor(VuChgBtnPanel, clRed);
    VuPanel->show();
    SpecPanel->hide();
}
