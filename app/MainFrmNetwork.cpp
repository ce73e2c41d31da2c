// The network feed: the level tap at the chain's end, the feed started from the [NETWORK]
// settings or the command line's --publish, its tick on the read-out refresh, and the NET lamp.

#include "app/Application.h"
#include "app/FormHelpers.h"
#include "app/MainFrm.h"
#include "app/MeterPnl.h"
#include "app/VUReaderTap.h"

#include <QDateTime>

void TMainForm::BuildNetwork() {
    // Beside the margin LEDs: shown on every page, dark while nothing is published.
    NetLed = AddLed(MMPanel5, "NetLed", {232, 56, 40, 22}, clLime, "NET");
    NetLed->SetEnabled(false);

    NetworkBox = new TNetworkMenu(this, CloseBox, NetworkSettings);
    NetworkBox->SetOnChange([this] { ApplyNetworkSettings(); });

    // The groups beyond the menu share the strip under it, a page each. The two columns that
    // stood beside the menu are laid across the page band by band: (from, to, dx, dy).
    SettingsPages = new TSettingsPages(this, CloseBox);
    SettingsPages->AddPage("METERING", StandardsBox,
                           {{20, 64, 0, 0},
                            {64, 110, 190, -44},
                            {110, 156, 380, -90},
                            {156, 215, 570, -136},
                            {215, 270, 0, -150},
                            {270, 330, 380, -202}});
    SettingsPages->AddPage("LOUDNESS", LoudnessBox,
                           {{20, 62, 0, 0},
                            {62, 102, 210, -42},
                            {102, 144, 210, -36},
                            {144, 188, 0, -82},
                            {188, 236, 400, -168},
                            {236, 330, 560, -220}});
    SettingsPages->AddPage("AIDS", AidsBox);
    SettingsPages->AddPage("NETWORK", NetworkBox);
}

void TMainForm::BuildNetworkChain() {
    FLevelTap = std::make_unique<TMMLevelTap>();
    MMLevelTap1 = FLevelTap.get();
    MMLevelTap1->SetName("MMLevelTap1");
    TMMDSPComponent *last = MMPeakDetect1;
    if (MMEventTap1->Input() != nullptr)
        last = MMEventTap1;
    else if (MMLoudnessTap1->Input() != nullptr)
        last = MMLoudnessTap1;
    MMLevelTap1->SetInput(last);
}

TFeedSources TMainForm::FeedSources() {
    TFeedSources s;
    s.TakePeaks = [this] { return MMLevelTap1->TakePeaks(); };
    s.VU = [this] {
        return std::array<double, 2>{VUOfNeedle(PlayMeterL->State()), VUOfNeedle(PlayMeterR->State())};
    };
    s.Correlation = [this] { return MMLevelTap1->Correlation(); };
    s.Loudness = [this] { return MMLoudnessTap1->Reading(); };
    s.Target = [this] { return LoudnessTargetOf(LoudnessSettings); };
    s.Clips = [this] { return std::array<bool, 2>{ClipTimerL->isActive(), ClipTimerR->isActive()}; };
    s.DeadAir = [this] { return MMEventTap1->Alarm(); };
    s.SilentSince = [this] { return MMEventTap1->SilentSince(); };
    return s;
}

std::string TMainForm::InputName() const {
    const int id = MMWaveIn1->DeviceID();
    return id >= 0 && id < static_cast<int>(FInputDevices.size())
               ? FInputDevices[static_cast<std::size_t>(id)]
               : "default";
}

TNetworkSettings TMainForm::EffectiveNetworkSettings() const {
    TNetworkSettings s = NetworkSettings;
    if (FPublishOverride) {
        s.Publish = true;
        s.Broker = FPublishOverride->Broker;
        if (!FPublishOverride->Station.isEmpty()) s.Station = FPublishOverride->Station;
    }
    return s;
}

void TMainForm::PublishForRun(const QString &broker, const QString &station) {
    FPublishOverride = TPublishOverride{broker, station};
    ApplyNetworkSettings();
}

void TMainForm::ApplyNetworkSettings() {
    const TNetworkSettings wanted = EffectiveNetworkSettings();
    if (FNetFeed && FNetApplied == wanted) return;
    FNetFeed.reset();
    FNetApplied = wanted;
    FNetError.Rearm();
    MMLevelTap1->SetEnabled(wanted.Publish);
    if (wanted.Publish) {
        try {
            FNetFeed = std::make_unique<TNetFeed>(wanted, InputName(), FeedSources());
        } catch (const EMMNetError &e) {
            FNetError.Report(this, QString::fromStdString(e.what()));
        }
    }
    NetworkBox->ShowSettings();
    NetworkBox->SetNote(FPublishOverride ? "this run: --publish " + FPublishOverride->Broker : QString());
    ShowNetLamp();
}

void TMainForm::NetTick() {
    if (!FNetFeed) return;
    RunQuietly([this] {
        FNetFeed->Tick(QDateTime::currentMSecsSinceEpoch());
        if (const std::optional<std::string> refusal = FNetFeed->TakeRefusal())
            FNetError.Report(this, QString::fromStdString(*refusal));
        ShowNetLamp();
    });
}

void TMainForm::ShowNetLamp() {
    const TMqttPublisher::TState state = FNetFeed ? FNetFeed->State() : TMqttPublisher::TState::Off;
    NetLed->SetLEDColor(state == TMqttPublisher::TState::Connected ? clLime : clYellow);
    NetLed->SetEnabled(state != TMqttPublisher::TState::Off);
}

void TMainForm::StopNetFeed() {
    if (FNetFeed) FNetFeed->Stop();
}
