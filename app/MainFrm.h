#pragma once

#include "app/AidSettings.h"
#include "app/AidsMenu.h"
#include "app/DailyLog.h"
#include "app/EventLog.h"
#include "app/FormPanel.h"
#include "app/FormServices.h"
#include "app/Layout.h"
#include "app/LoudnessMenu.h"
#include "app/LoudnessPage.h"
#include "app/NetFeed.h"
#include "app/NetworkMenu.h"
#include "app/NetworkSettings.h"
#include "app/Placeholder.h"
#include "app/Settings.h"
#include "app/SettingsPages.h"
#include "app/TickShare.h"
#include "audio/MMConnector.h"
#include "audio/MMEventTap.h"
#include "audio/MMHiTimer.h"
#include "audio/MMLevelTap.h"
#include "audio/MMLoudnessTap.h"
#include "audio/MMPeakDetect.h"
#include "audio/MMWaveIn.h"
#include "widgets/MMBorder.h"
#include "widgets/MMCorrelationMeter.h"
#include "widgets/MMLED.h"
#include "widgets/MMLabel.h"
#include "widgets/MMMeter.h"
#include "widgets/MMNumberEdit.h"
#include "widgets/MMPanel.h"
#include "widgets/MMSpectrum.h"
#include "widgets/MMSpinButton.h"
#include "widgets/VarnTrend.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAbstractNativeEventFilter;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;
class TEventLogWindow;
class TMeterPanel;

// The console: one 800 x 610 tool window holding the instruments and the set-up menu.
// Controls are public members named as on the console's drawings, so the instruments that
// replace the placeholders slot in under the same names. Everything runs on the GUI thread.
//
// Its parts, one file each: MainFrm.cpp the class and its wiring (creation, settings applied,
// layout placed, device list); MainFrmBuild.cpp the controls; MainFrmMenu.cpp the set-up
// menu's handlers; MainFrmMetering.cpp the capture start and the timers; MainFrmActions.cpp
// launching, quitting, shutting down and the end of the process; MainFrmVU.cpp the VU meters;
// MainFrmStandards.cpp the metering standards' group and its handlers.
// MainFrmLoudness.cpp the loudness page, its menu group and its measurement; MainFrmAids.cpp
// the operator aids (correlation meter, event log, dead-air alarm) and their menu group.
// MainFrmNetwork.cpp the network feed and its lamp.
class TMainForm : public QWidget {
    Q_OBJECT
  public:
    // The two ways the settings are applied: at creation the window is already in the
    // lower layout; after loading the defaults the layout is set both ways.
    enum class TApplyVariant { Creation, LoadDefault };

    // Reads its settings from services.SettingsDir and lists services.Driver's devices at once.
    explicit TMainForm(const TFormServices &services, QWidget *parent = nullptr);
    ~TMainForm() override;

    // The operator settings, the single source while the console runs.
    TSettings Settings;
    // The loudness page's, saved with them.
    TLoudnessSettings LoudnessSettings;

    // Handlers.
    void FormOnCreate();
    void FormShow();
    // The showing state changed: the host panel takes the meter panel (again).
    void CMShowingChanged();
    // The 20 ms refresh: peak read-outs, CLIP latches, margin LEDs. Its errors are dropped.
    void MMHiTimer1Timer(TObject *Sender);
    // 10 s after the last clip of the channel: CLIP goes dark again.
    void ClipTimerLTimer();
    void ClipTimerRTimer();
    // Once a second: the signal bars and the louder channel into the trend graph.
    void Timer1Timer();
    // The meter panel is created after this window: its two bars take the connector's level
    // slots once it is among the application's windows (at its creation, and again at each
    // capture start).
    void ConnectPeakMeters();
    void ApplySettings(TApplyVariant variant);
    void GetInputDeviceNames(QStringList &names);
    void LaunchProgram(const QString &tail);
    void Button1Click();
    void Button3Click();
    void Button2Click();
    void ShutDnBtnClick();
    void FormCloseQuery();
    void BtnSaveSettingClick();
    void Button5Click();
    void Image1Click();
    void Button4Click();
    void RbLowerClick();
    void rbLevelGClick();
    void CbLineSpaClick();
    void SetUpChkRedLineClick();
    void CbJackConnectClick();
    // The operator chose another capture device: capture restarts on it.
    void cmbInputDeviceChange();
    // Before the window is shown: capture starts on the listed device `name` instead of the
    // saved one, as if chosen in the menu (kept only by "Save Setting"). A name not listed
    // changes nothing.
    void ChooseInputForRun(const std::string &name);
    void MMSpinButton1UpClick();
    void MMSpinButton1DownClick();
    void MMSpinButton2UpClick();
    void MMSpinButton2DownClick();
    void MMSpinButton3UpClick();
    void MMSpinButton3DownClick();
    void MMSpinButton4UpClick();
    void MMSpinButton4DownClick();
    void MMSpinButton5UpClick();
    void MMSpinButton5DownClick();
    void SpcChgBtnPanelClick();
    void VuChgBtnPanelClick();
    // The VU faces of the menu (Image4, Image5, Image6).
    void BlueMeterPctClick();
    void OrgMeterPctClick();
    void YmkMeterPctClick();
    // The metering standards beside the menu (MainFrmStandards.cpp).
    void cmbNeedleStdChange();
    void cmbPeakStdChange();
    void cmbPeakHoldChange();
    void cmbBarScaleChange();
    void cmbAlignChange();
    // The hold time, half a second a click within 0.5 .. 10 s.
    void MMSpinButton6UpClick();
    void MMSpinButton6DownClick();
    // Drops both PEAK bars' held peaks and releases both CLIP latches (also a click on a bar).
    void BtnResetPeaksClick();

    // The audio chain's head: stereo 16-bit 48 kHz capture in 8192-byte buffers.
    TMMWaveIn *MMWaveIn1;
    // Behind the wave input: hands the captured audio to the instruments, block by
    // block at the pace of the sound, from the main thread.
    TMMConnector *MMConnector2;
    TMMPeakDetect *MMPeakDetect1;
    TMMHiTimer *MMHiTimer1;
    // The 1 s signal bars and trend feed, running from creation on.
    QTimer *Timer1;
    // The CLIP latches: each runs while its channel's CLIP is lit.
    QTimer *ClipTimerL;
    QTimer *ClipTimerR;

    // The upper section (phase, peak read-outs, small window, artwork).
    QLabel *Image3;
    QWidget *PnlPhase;
    TMMPanel *MMPanel3;
    QWidget *Panel41;
    TMMSpectrum *PhaseMeter;
    TMMPanel *MMPanel1;
    // Shows the meter panel window inside the layout.
    TFormPanel *PhaseSectPnl;
    TMMPanel *MMPanel5;
    QLabel *PLLbl;
    QLabel *PRLbl;
    TMMLED *MarginLedLeft;
    TMMLED *MarginLedRight;
    TMMPanel *PanelGrph;
    TVarnTrend *Trend7;
    TMMBorder *BdRedLine;
    QLabel *Image2;
    QLabel *Image1;

    // The lower section (VU page over the spectrum page).
    QWidget *PnlVU;
    TMMPanel *SpecPanel;
    TMMSpectrum *MMSpectrum1;
    TMMPanel *VuPanel;
    TMMMeter *PlayMeterL;
    TMMMeter *PlayMeterR;
    // Lit while their channel has signal.
    TMMLED *SIGLED;
    TMMLED *SIGLED2;
    QLabel *BlueMeterPct;
    QLabel *OrgMeterPct;
    QLabel *YmkMeterPct;
    TMMPanel *VuChgBtnPanel;
    TMMPanel *SpcChgBtnPanel;
    TMMLabel *VuChgBtnLbl;
    TMMLabel *SpcChgBtnLbl;

    // The small window's simple-spectrum variant, over PanelGrph.
    TMMPanel *PanelSpectrum;
    TMMSpectrum *MMSpectrum2;

    QPushButton *Button1;
    QPushButton *Button3;

    // The loudness page, its page button and its group beside the set-up menu.
    TLoudnessPage *LoudPanel;
    TMMPanel *LoudChgBtnPanel;
    TMMLabel *LoudChgBtnLbl;
    TLoudnessMenu *LoudnessBox;
    // At the chain's end: measures every captured buffer on a thread of its own.
    TMMLoudnessTap *MMLoudnessTap1;
    // The page's readings, ten times a second (every fifth read-out tick) while it shows.
    TTickShare LoudTicks{5, [this] { LoudTimerTimer(); }};
    void LoudChgBtnPanelClick();
    void LoudTimerTimer();
    // The loudness settings onto the page and the menu group.
    void ApplyLoudnessSettings();
    // The compliance log and the event log on, both into `dir`, for this run only (the command
    // line's --log-dir); the saved settings stay as they are.
    void SetLogDir(const QString &dir);
    // Where the log goes and whether it is on now.
    QString LoudnessLogFolder() const;
    bool LoudnessLogOn() const;
    // The minutes measured since the last call go to the log while it is on; a write that
    // fails shows the error box once (until the log's settings change) and metering goes on.
    void WriteLoudnessLog();

    // The operator aids: the correlation meter in the PHASE panel's title row, the event log
    // of clips, overs and dead air with its window, the dead-air alarm and the menu group.
    TAidSettings AidSettings;
    TMMCorrelationMeter *CorrelationMeter;
    // At the chain's end: finds clips, overs and dead air in every captured buffer.
    TMMEventTap *MMEventTap1;
    TEventLog EventLog;
    TEventLogWindow *EventLogWin;
    TAidsMenu *AidsBox;
    // Flashes red with the time since the silence began while the dead-air alarm is raised.
    TMMLED *SilenceLed;
    // About four times a second (every twelfth read-out tick): the new events into the log, its
    // window and its file; the alarm.
    TTickShare AidsTicks{12, [this] { AidsTimerTimer(); }};
    void AidsTimerTimer();
    // The aids' settings onto the tap, the menu group and the log.
    void ApplyAidSettings();
    // Opens (or raises) the event log's window.
    void ShowEventLog();
    QString EventLogFolder() const;
    bool EventLogOn() const;
    // The alarm's command for a dead-air event: started directly with the event's time and kind
    // in its environment; one that cannot start shows the error box once (until the settings
    // change) and the alarm shows all the same.
    void StartAlarmCommand(const TStampedEvent &event);

    // The network feed: [NETWORK], or --publish for one run.
    TNetworkSettings NetworkSettings;
    // Lime while connected to the broker, yellow while connecting, dark while not publishing.
    TMMLED *NetLed;
    // At the chain's end: each channel's highest sample between two level messages.
    TMMLevelTap *MMLevelTap1;
    TNetworkMenu *NetworkBox;
    // Under the menu: the metering, loudness, aids and network groups as its pages.
    TSettingsPages *SettingsPages;
    // Publishes to `broker` (a URL) for this run, as `station` when not empty; the saved
    // settings stay as they are.
    void PublishForRun(const QString &broker, const QString &station);
    // Starts, restarts or ends the feed as the settings now say; a refused URL, credentials
    // file or CA file shows the error box and metering goes on.
    void ApplyNetworkSettings();
    // Each read-out tick: the feed's messages that are due, a refusal's error box, the lamp.
    void NetTick();
    // The feed publishes the offline status and ends (the process is about to).
    void StopNetFeed();

    // The set-up menu.
    QGroupBox *CloseBox;
    QLabel *Label1;
    QComboBox *cmbInputDevice;
    QLabel *Label2;
    TMMNumberEdit *SetupRefLvl;
    QLabel *Label3;
    TMMSpinButton *MMSpinButton1;
    QLabel *Label4;
    TMMMeter *SetupMeter;
    QLabel *Image4;
    QLabel *Image5;
    QLabel *Image6;
    QLabel *Label5;
    TMMLED *SetupLed1;
    TMMLED *SetupLed2;
    TMMLED *SetupLed3;
    TMMSpinButton *MMSpinButton2;
    TMMSpinButton *MMSpinButton3;
    TMMSpinButton *MMSpinButton4;
    QCheckBox *SetUpChkRedLine;
    QCheckBox *CbJackConnect;
    QLabel *Label6;
    TMMSpinButton *MMSpinButton5;
    QLabel *Label11;
    QRadioButton *RbUpper;
    QRadioButton *RbLower;
    TMMPanel *MMPanel4;
    QLabel *Label12;
    QRadioButton *rbLevelG;
    QRadioButton *rbSpa;
    QCheckBox *CbLineSpa;
    QPushButton *Button4;
    QPushButton *BtnSaveSetting;
    QPushButton *Button5;
    QPushButton *ShutDnBtn;
    QPushButton *Button2;

    // The metering standards, a group of their own left of the menu, shown with it.
    QGroupBox *StandardsBox;
    QComboBox *cmbNeedleStd;
    QComboBox *cmbPeakStd;
    QComboBox *cmbPeakHold;
    // The scale the PEAK bars are read on, and the line-up tone's dBFS level it is tied to.
    QComboBox *cmbBarScale;
    QComboBox *cmbAlign;
    TMMLED *HoldTimeLed; // lit while the hold is a time, grey otherwise
    TMMSpinButton *MMSpinButton6;
    QPushButton *BtnResetPeaks;

  protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

    // Ends the process at once with exit code 0, saving nothing.
    virtual void EndProcess();

  private:
    void BuildControls();
    void BuildUpperSection();
    void BuildTrendGraph();
    void BuildLowerSection();
    void BuildSmallSpectrum();
    void BuildMenu();
    void BuildStandardsMenu();
    void ConnectStandardsHandlers();
    // The standards' settings onto the VU meters, the PEAK bars and the group's controls.
    void ApplyStandards();
    // Onto the PEAK bars, once the meter panel is there; a click on a bar resets the peaks.
    void ApplyPeakBarStandards();
    // The loudness ceiling on the PEAK bars' scale while they read true peak, else none.
    void ShowCeilingLine();
    void StepHoldTime(int step);
    void BuildLoudness();
    void BuildLoudnessChain();
    void BuildAids();
    void BuildAidsChain();
    void BuildNetwork();
    void BuildNetworkChain();
    TFeedSources FeedSources();
    TNetworkSettings EffectiveNetworkSettings() const;
    // The input captured from, as the status message names it.
    std::string InputName() const;
    void ShowNetLamp();
    // The alarm's look for this tick: flashing while raised, the signal bars given back after.
    void ShowAlarm();
    // Another page is chosen: the loudness page and its button step back.
    void HideLoudnessPage();
    // A VU needle meter as the console's meters are set up, on the blue face.
    static TMMMeter *AddVUMeter(QWidget *parent, const QString &name, const QRect &geometry);
    static TMMSpectrum *AddPhaseMeter(QWidget *parent, const QRect &geometry);
    static TMMSpectrum *AddLargeSpectrum(QWidget *parent, const QRect &geometry);
    static TMMSpectrum *AddSmallSpectrum(QWidget *parent, const QRect &geometry);
    void ConnectSpectra();
    // The face held by `picture` on the two main meters and the menu's preview.
    void SetVUFace(const QLabel *picture);
    // BackgroundNo 1, 2 or 3; other numbers leave the faces as they are.
    void ApplyVUFace(int backgroundNo);
    // The reference level of the two main meters (the preview keeps its own).
    void SetVURefLevel(int refLevel);
    // One step of the menu's reference box, on to both main meters and the setting.
    void StepVURefLevel(int step);
    // The meter panel among the application's windows; none until it is created. Asked fifty
    // times a second: the registry is searched again only once it changed.
    TMeterPanel *PeakMeterPanel();
    void BuildAudioChain();
    // Capture, and with it the 20 ms refresh; a device that fails raises its wave-input error.
    void StartCapture();
    // Stops and closes the device in use and starts capture on `deviceId`.
    void RestartCapture(int deviceId);
    // Looks the saved input up among the listed devices; the number to open (-2: none).
    int FindSavedInput();
    // Raises the error box's text while the saved input is not in the list, so that no other
    // device is opened in its place.
    void CheckSavedInput() const;
    // The combo box shows the device the wave input holds.
    void ShowInputDevice();

    void BuildTimers();
    void ConnectHandlers();
    void InstallModalCloseFilter();
    // Moves the three movable panels to the layout's places and records its VUPos.
    void PlaceLayout(TConsoleLayout layout);
    QString SettingsPath() const;

    TFormServices FServices;
    bool FShownOnce = false;
    // The devices' names as the driver listed them at creation, byte for byte, by number.
    std::vector<std::string> FInputDevices;
    // The saved input's name while no listed device carries it and none has been chosen since.
    std::string FMissingInput;
    // Declared upstream last, so destroyed first: the wave input stops its buffers before the
    // connector goes, and the connector before the chain's end.
    std::unique_ptr<TMMLevelTap> FLevelTap;       // after the event tap in the chain
    std::unique_ptr<TMMEventTap> FEventTap;       // after the loudness tap in the chain
    std::unique_ptr<TMMLoudnessTap> FLoudnessTap; // after the peak detector in the chain
    std::unique_ptr<TMMPeakDetect> FPeakDetect;
    std::unique_ptr<TMMConnector> FConnector;
    std::unique_ptr<TMMWaveIn> FWaveIn;
    std::unique_ptr<TMMHiTimer> FHiTimer; // after the wave input: stops first
    QPointer<TMeterPanel> FPeakPanel;
    int FPeakPanelSearched = -1; // the registry's FormsRegistered() at the last search
    std::unique_ptr<QAbstractNativeEventFilter> FModalCloseFilter;
    // The history readings the page shows (none yet: it takes them at the next refresh).
    std::optional<std::uint64_t> FLoudHistoryShown;
    QString FLogDirOverride;
    TErrorBoxOnce FLoudnessLogError;
    TErrorBoxOnce FEventLogError;
    TErrorBoxOnce FAlarmCommandError;
    // After the chain's members: its thread reads them until it is stopped.
    std::unique_ptr<TNetFeed> FNetFeed;
    TNetworkSettings FNetApplied;
    std::optional<TPublishOverride> FPublishOverride;
    TErrorBoxOnce FNetError;
    bool FAlarmShown = false;
    int FAlarmTicks = 0;
};
