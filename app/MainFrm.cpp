#include "app/MainFrm.h"

#include "app/Application.h"
#include "app/FormHelpers.h"
#include "app/Forms.h"
#include "app/MeterPnl.h"
#include "app/SettingsPlace.h"
#include "platform/CaptureErrorText.h"
#include "widgets/MMLoadingBracket.h"

#include <QAbstractNativeEventFilter>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// The services as given, or a clear refusal: an empty folder would put the settings file
// wherever the process happens to stand.
const TFormServices &Checked(const TFormServices &services) {
    if (services.SettingsDir.isEmpty()) throw std::invalid_argument("TMainForm: no settings folder given");
    return services;
}

} // namespace

TMainForm::TMainForm(const TFormServices &services, QWidget *parent)
    : QWidget(parent, Qt::Tool), FServices(Checked(services)) {
    // The artwork is compiled into the static library; make sure it is linked in.
    Q_INIT_RESOURCE(mainwindow);
    setObjectName("MainForm");
    setWindowTitle("Sound Tikkora Meter");
    setFont(GothicFont(12));
    SetColors(this, clBlack, kWindowColor);
    setFixedSize(800, 610);

    BuildControls();
    BuildLoudness();
    BuildAids();
    BuildNetwork();
    ConnectHandlers();
    BuildAudioChain();
    BuildLoudnessChain();
    BuildAidsChain();
    BuildNetworkChain();
    BuildTimers();
    InstallModalCloseFilter();
    FormOnCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::BuildAudioChain() {
    FWaveIn = std::make_unique<TMMWaveIn>(&FServices.Driver);
    MMWaveIn1 = FWaveIn.get();
    MMWaveIn1->SetName("MMWaveIn1");
    MMWaveIn1->SetBufferSize(8192);
    MMWaveIn1->SetCallBackMode(cmThread);
    MMWaveIn1->SetMode(mStereo);
    MMWaveIn1->SetBitLength(b16Bit);
    MMWaveIn1->SetSampleRate(48000);

    // The instruments' slots stay empty until the meters take their places.
    FConnector = std::make_unique<TMMConnector>();
    MMConnector2 = FConnector.get();
    MMConnector2->SetName("MMConnector2");
    // The VU needle meters' pair; the format reaches them with the input's.
    MMConnector2->SetMeter1(PlayMeterL);
    MMConnector2->SetMeter2(PlayMeterR);
    ConnectSpectra();
    TMMConnector::SetEnterIdle(false);
    MMConnector2->SetInput(MMWaveIn1);

    // The chain's end: analyses every buffer with its defaults; nothing reads it.
    FPeakDetect = std::make_unique<TMMPeakDetect>();
    MMPeakDetect1 = FPeakDetect.get();
    MMPeakDetect1->SetName("MMPeakDetect1");
    MMPeakDetect1->SetInput(MMConnector2);
}

TMeterPanel *TMainForm::PeakMeterPanel() {
    if (FPeakPanelSearched == FormsRegistered() && !FPeakPanel.isNull()) return FPeakPanel;
    FPeakPanelSearched = FormsRegistered();
    FPeakPanel = nullptr;
    for (QWidget *form : ApplicationForms())
        if (auto *meters = qobject_cast<TMeterPanel *>(form)) FPeakPanel = meters;
    return FPeakPanel;
}

void TMainForm::ConnectPeakMeters() {
    TMeterPanel *panel = PeakMeterPanel();
    if (panel == nullptr) return;
    MMConnector2->SetLevel1(panel->MMLevel1);
    MMConnector2->SetLevel2(panel->MMLevel2);
    ApplyPeakBarStandards();
    // A click on a CLIP lamp opens the event log.
    for (QLabel *clip : {panel->ClipL, panel->ClipR}) {
        clip->setCursor(Qt::PointingHandCursor);
        clip->installEventFilter(this);
    }
}

void TMainForm::ConnectHandlers() {
    // Operator actions: an error they raise goes to the error box.
    const auto on = [this](QAbstractButton *button, void (TMainForm::*handler)()) {
        connect(button, &QAbstractButton::clicked, this,
                [this, handler] { RunAction([&] { (this->*handler)(); }); });
    };
    on(Button1, &TMainForm::Button1Click);
    on(Button3, &TMainForm::Button3Click);
    on(Button2, &TMainForm::Button2Click);
    on(ShutDnBtn, &TMainForm::ShutDnBtnClick);
    on(BtnSaveSetting, &TMainForm::BtnSaveSettingClick);
    on(Button5, &TMainForm::Button5Click);
    on(Button4, &TMainForm::Button4Click);
    on(RbUpper, &TMainForm::RbLowerClick);
    on(RbLower, &TMainForm::RbLowerClick);
    on(rbLevelG, &TMainForm::rbLevelGClick);
    on(rbSpa, &TMainForm::rbLevelGClick);
    on(CbLineSpa, &TMainForm::CbLineSpaClick);
    on(SetUpChkRedLine, &TMainForm::SetUpChkRedLineClick);
    on(CbJackConnect, &TMainForm::CbJackConnectClick);
    // The operator's choice only: the list is also set from the settings, which must not
    // restart capture.
    connect(cmbInputDevice, &QComboBox::activated, this,
            [this] { RunAction([this] { cmbInputDeviceChange(); }); });

    const auto notify = [this](void (TMainForm::*handler)()) {
        return [this, handler](TObject *) { RunAction([&] { (this->*handler)(); }); };
    };
    const auto spin = [&](TMMSpinButton *button, void (TMainForm::*up)(), void (TMainForm::*down)()) {
        button->SetOnUpClick(notify(up));
        button->SetOnDownClick(notify(down));
    };
    spin(MMSpinButton1, &TMainForm::MMSpinButton1UpClick, &TMainForm::MMSpinButton1DownClick);
    spin(MMSpinButton2, &TMainForm::MMSpinButton2UpClick, &TMainForm::MMSpinButton2DownClick);
    spin(MMSpinButton3, &TMainForm::MMSpinButton3UpClick, &TMainForm::MMSpinButton3DownClick);
    spin(MMSpinButton4, &TMainForm::MMSpinButton4UpClick, &TMainForm::MMSpinButton4DownClick);
    spin(MMSpinButton5, &TMainForm::MMSpinButton5UpClick, &TMainForm::MMSpinButton5DownClick);
    // A page button answers on its face and on its caption alike.
    VuChgBtnPanel->SetOnClick(notify(&TMainForm::VuChgBtnPanelClick));
    VuChgBtnLbl->SetOnClick(notify(&TMainForm::VuChgBtnPanelClick));
    SpcChgBtnPanel->SetOnClick(notify(&TMainForm::SpcChgBtnPanelClick));
    SpcChgBtnLbl->SetOnClick(notify(&TMainForm::SpcChgBtnPanelClick));
    ConnectStandardsHandlers();
}

QString TMainForm::SettingsPath() const {
    return SettingsFilePath(FServices.SettingsDir);
}

void TMainForm::FormOnCreate() {
    move(0, 0);
    setFixedSize(800, 610);

    const QString saved = SettingsFileToRead(FServices.SettingsDir, FServices.SettingsFallback);
    ReadAllSettings(saved, Settings);
    ReadLoudnessSettings(saved, LoudnessSettings);
    ReadAidSettings(saved, AidSettings);
    ReadNetworkSettings(saved, NetworkSettings);
    // Listed before a device is set: the saved input is looked up among them by its name.
    QStringList names;
    GetInputDeviceNames(names);
    MMWaveIn1->SetDeviceID(FindSavedInput());
    ApplySettings(TApplyVariant::Creation);

    (Settings.ShowGraph ? rbLevelG : rbSpa)->setChecked(true);
    rbLevelGClick();
    CbLineSpa->setChecked(Settings.LineSpa);
    CbLineSpaClick();

    cmbInputDevice->clear();
    cmbInputDevice->addItems(names);
    ShowInputDevice();

    // Out of the way of the instruments.
    QCursor::setPos(800, 600);
}

void TMainForm::ApplySettings(TApplyVariant variant) {
    // Selecting a radio button that was not selected runs its handler, as a click would.
    const auto select = [this](QRadioButton *button) {
        if (button->isChecked()) return;
        button->setChecked(true);
        RbLowerClick();
    };

    // The box clamps what it shows to its own range; the field keeps what was read, and the
    // meters apply their own rule to it.
    PlayMeterL->SetRefLevel(Settings.VURefLevel);
    SetupRefLvl->SetValue(Settings.VURefLevel);
    PlayMeterR->SetRefLevel(Settings.VURefLevel);
    ApplyVUFace(Settings.BackgroundNo);

    // At creation the window already stands in the lower layout, and a VUPos other than 0 or 1
    // is kept as read; loading the defaults places either layout and writes 0 for the others.
    if (LayoutOfVUPos(Settings.VUPos) == TConsoleLayout::Upper) {
        PlaceLayout(TConsoleLayout::Upper);
        select(RbUpper);
    } else {
        if (variant == TApplyVariant::LoadDefault) PlaceLayout(TConsoleLayout::Lower);
        select(RbLower);
    }

    BdRedLine->setVisible(Settings.ShowRedLine);
    SetUpChkRedLine->setChecked(Settings.ShowRedLine);
    CbJackConnect->setChecked(Settings.JackConnect);
    ConnectJackToCapturePorts(Settings.JackConnect);

    SetupLed1->SetCaption(QString::number(Settings.PeakLevel1));
    SetupLed2->SetCaption(QString::number(Settings.PeakLevel2));
    SetupLed3->SetCaption(QString::number(Settings.PeakLevel3));

    BdRedLine->move(BdRedLine->x(), Settings.RedLinePos);
    ApplyStandards();
    ApplyLoudnessSettings();
    ApplyAidSettings();
    ApplyNetworkSettings();
}

void TMainForm::PlaceLayout(TConsoleLayout layout) {
    const TLayoutPlaces places = LayoutPlaces(layout);
    PnlPhase->move(places.PnlPhase);
    PnlVU->move(places.PnlVU);
    PanelSpectrum->move(places.PanelSpectrum);
    Settings.VUPos = places.VUPos;
}

// The list shows each device's note (a resampling JACK server) after its name; the names alone
// identify the devices.
void TMainForm::GetInputDeviceNames(QStringList &names) {
    names.clear();
    FInputDevices.clear();
    for (const TListedDevice &device : ListWaveInDevices(MMWaveIn1->Driver())) {
        FInputDevices.push_back(device.Name);
        const std::string shown = device.Shown();
        names.append(QString::fromLocal8Bit(shown.data(), static_cast<qsizetype>(shown.size())));
    }
}

void TMainForm::ChooseInputForRun(const std::string &name) {
    const auto found = std::find(FInputDevices.begin(), FInputDevices.end(), name);
    if (found == FInputDevices.end()) return;
    FMissingInput.clear();
    Settings.InputDevNo = static_cast<int>(found - FInputDevices.begin());
    Settings.InputDevName = name;
    MMWaveIn1->SetDeviceID(Settings.InputDevNo);
    ShowInputDevice();
}

int TMainForm::FindSavedInput() {
    const bool found = FindInputDevice(Settings, FInputDevices);
    FMissingInput = found ? std::string() : Settings.InputDevName;
    return found ? Settings.InputDevNo : -2;
}

void TMainForm::CheckSavedInput() const {
    if (!FMissingInput.empty())
        throw EMMWaveInError(WaveInMessage(MSG_INVALID_DEVICE_ID) + "\n\r" +
                             MissingDeviceText(FMissingInput));
}

void TMainForm::ShowInputDevice() {
    // The list index is the device number; an invalid device (-2) leaves no selection.
    cmbInputDevice->setCurrentIndex(std::max(MMWaveIn1->DeviceID(), -1));
}

void TMainForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    // Capture starts once the window is up, so a failure's error box stands over the window.
    QMetaObject::invokeMethod(
        this, [this] { RunAction([this] { FormShow(); }); }, Qt::QueuedConnection);
    if (!FShownOnce) {
        FShownOnce = true;
        // Centred on the screen the first time it is shown.
        if (QScreen *s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->geometry().center());
            move(frame.topLeft());
        }
    }
    // The window system's own show events (a restore from the task bar) change nothing here.
    if (!event->spontaneous()) CMShowingChanged();
}

void TMainForm::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) CMShowingChanged();
}

void TMainForm::CMShowingChanged() {
    PhaseSectPnl->SetFormCaption("MeterPanel");
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event) {
    // The pictures that answer a click: the set-up picture and the menu's three VU faces.
    const std::pair<QLabel *, void (TMainForm::*)()> pictures[] = {{Image1, &TMainForm::Image1Click},
                                                                   {Image4, &TMainForm::BlueMeterPctClick},
                                                                   {Image5, &TMainForm::OrgMeterPctClick},
                                                                   {Image6, &TMainForm::YmkMeterPctClick}};
    for (const auto &[picture, handler] : pictures) {
        if (watched != picture || event->type() != QEvent::MouseButtonRelease) continue;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && picture->rect().contains(mouse->position().toPoint()))
            // Captured by a name of its own: clang 14 (the fuzz build's) cannot capture a binding.
            RunAction([this, click = handler] { (this->*click)(); });
        return true;
    }
    if (const TMeterPanel *panel = PeakMeterPanel(); panel != nullptr &&
                                                     (watched == panel->ClipL || watched == panel->ClipR) &&
                                                     event->type() == QEvent::MouseButtonRelease) {
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            RunAction([this] { ShowEventLog(); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
