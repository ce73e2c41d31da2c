#include "app/Headless.h"

#include "app/AidSettings.h"
#include "app/AlarmCommand.h"
#include "app/DeviceChoice.h"
#include "app/EventLog.h"
#include "app/LoudnessLog.h"
#include "app/LoudnessSettings.h"
#include "app/Settings.h"
#include "app/SettingsPlace.h"
#include "app/VUReaderTap.h"
#include "audio/MMLevelTap.h"
#include "audio/MMLoudnessTap.h"
#include "audio/MMWaveIn.h"
#include "audio/MMWaveInMessages.h"
#include "platform/CaptureErrorText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end of the pipe the signal handler wakes the main loop through.
int gSignalFd = -1;

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalFd, &byte, 1);
}

// A failure reported once on standard error, until it clears.
class TStderrOnce {
  public:
    void Report(const QString &text) {
        if (!FFailed) std::fprintf(stderr, "%s\n", qPrintable(text));
        FFailed = true;
    }

  private:
    bool FFailed = false;
};

class THeadlessConsole {
  public:
    THeadlessConsole(TWaveInDriver &driver, const THeadlessOptions &options) : FOptions(options) {
        const QString &saved = options.SettingsFile;
        ReadAllSettings(saved, FSettings);
        ReadLoudnessSettings(saved, FLoudness);
        ReadAidSettings(saved, FAids);
        ReadNetworkSettings(saved, FNetwork);
        if (!options.Publish.isEmpty()) {
            FNetwork.Publish = true;
            FNetwork.Broker = options.Publish;
            if (!options.Station.isEmpty()) FNetwork.Station = options.Station;
        }

        FWaveIn = std::make_unique<TMMWaveIn>(&driver);
        FWaveIn->SetBufferSize(8192);
        FWaveIn->SetCallBackMode(cmThread);
        FWaveIn->SetMode(mStereo);
        FWaveIn->SetBitLength(b16Bit);
        FWaveIn->SetSampleRate(48000);
        FLoudnessTap = std::make_unique<TMMLoudnessTap>();
        FLoudnessTap->SetInput(FWaveIn.get());
        FEventTap = std::make_unique<TMMEventTap>();
        FEventTap->SetInput(FLoudnessTap.get());
        FEventTap->SetOverSamples(FAids.OverSamples);
        FEventTap->SetDeadAir(FAids.DeadAir, FAids.DeadAirThreshold, FAids.DeadAirDelay);
        FVUTap = std::make_unique<TVUReaderTap>();
        FVUTap->SetRefLevel(FSettings.VURefLevel);
        FVUTap->SetNeedleStandard(FSettings.Standards.Needle);
        FVUTap->SetInput(FEventTap.get());
        FLevelTap = std::make_unique<TMMLevelTap>();
        FLevelTap->SetInput(FVUTap.get());
        FLevelTap->SetEnabled(FNetwork.Publish);
        FTarget = LoudnessTargetOf(FLoudness);
    }

    ~THeadlessConsole() {
        // The chain's head stops first, then each member goes before the one that feeds it.
        FFeed.reset();
        FWaveIn->Stop();
        FWaveIn->Close();
    }

    // Raises the wave input's error when the input cannot start.
    void StartCapture(std::vector<std::string> names) {
        const std::string wanted = FOptions.Input;
        if (!wanted.empty()) {
            const auto found = std::find(names.begin(), names.end(), wanted);
            FSettings.InputDevNo = static_cast<int>(found - names.begin());
            FSettings.InputDevName = wanted;
        }
        if (!FindInputDevice(FSettings, names))
            throw EMMWaveInError(WaveInMessage(MSG_INVALID_DEVICE_ID) + "\n\r" +
                                 MissingDeviceText(FSettings.InputDevName));
        FDevice = FSettings.InputDevName.empty() ? "default" : FSettings.InputDevName;
        FWaveIn->SetDeviceID(FSettings.InputDevNo);
        FWaveIn->Start();
    }

    // Raises EMMNetError when the feed's settings are refused.
    void StartFeed() {
        if (!FNetwork.Publish) return;
        TFeedSources s;
        s.TakePeaks = [this] { return FLevelTap->TakePeaks(); };
        s.VU = [this] { return FVUTap->Readings(); };
        s.Correlation = [this] { return FLevelTap->Correlation(); };
        s.Loudness = [this] { return FLoudnessTap->Reading(); };
        s.Target = [this] { return FTarget; };
        // Nothing shows a CLIP latch here: one lights for the clip events of the last ten seconds.
        s.Clips = [this] {
            const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
            return std::array<bool, 2>{now - FLastClip[0] < kClipLatchMs, now - FLastClip[1] < kClipLatchMs};
        };
        s.DeadAir = [this] { return FEventTap->Alarm(); };
        s.SilentSince = [this] { return FEventTap->SilentSince(); };
        FFeed = std::make_unique<TNetFeed>(FNetwork, FDevice, s);
    }

    int TickMs() const { return FFeed ? std::max(10, 1000 / FFeed->RateHz()) : 250; }

    void Tick() {
        TakeEvents();
        WriteMinutes();
        if (!FFeed) return;
        FFeed->Tick(QDateTime::currentMSecsSinceEpoch());
        if (const std::optional<std::string> refusal = FFeed->TakeRefusal())
            std::fprintf(stderr, "%s\n", refusal->c_str());
    }

    // The last buffers' events and minutes go to the logs, offline to the broker.
    void Finish() {
        FWaveIn->Stop();
        FLoudnessTap->Flush();
        TakeEvents();
        WriteMinutes();
        if (FFeed) FFeed->Stop();
    }

  private:
    static constexpr std::int64_t kClipLatchMs = 10000;

    QString LogFolder(const QString &saved, const char *beside) const {
        if (!FOptions.LogDir.isEmpty()) return FOptions.LogDir;
        return saved.isEmpty() ? FOptions.SettingsDir + "/" + beside : saved;
    }

    void TakeEvents() {
        const std::vector<TStampedEvent> events = FEventTap->TakeEvents();
        if (events.empty()) return;
        for (const TStampedEvent &e : events) {
            if (e.Event.Channel < 0) {
                const QString error = StartAlarmCommand(FAids, FOptions.SettingsDir, e);
                if (!error.isEmpty()) FAlarmError.Report(error);
            } else if (e.Event.Kind == TProgrammeEventKind::Clip ||
                       e.Event.Kind == TProgrammeEventKind::Over) {
                FLastClip[static_cast<std::size_t>(e.Event.Channel & 1)] = e.TimeMs;
            }
        }
        if (FFeed) FFeed->Events(events);
        if (!FOptions.LogDir.isEmpty() || FAids.EventLog) {
            try {
                WriteEventLines(EventDailyLog(LogFolder(FAids.EventLogDir, "event-log")), events);
            } catch (const EMMLogError &e) {
                FEventLogError.Report(QString::fromStdString(e.what()));
            }
        }
    }

    void WriteMinutes() {
        const std::vector<TLoudnessMinute> minutes = FLoudnessTap->TakeMinutes();
        if (minutes.empty() || (FOptions.LogDir.isEmpty() && !FLoudness.Log)) return;
        const TLoudnessLog log(LogFolder(FLoudness.LogDir, "loudness-log"));
        try {
            for (const TLoudnessMinute &minute : minutes)
                log.Write(minute);
        } catch (const EMMLogError &e) {
            FLoudnessLogError.Report(QString::fromStdString(e.what()));
        }
    }

    const THeadlessOptions FOptions;
    TSettings FSettings;
    TLoudnessSettings FLoudness;
    TAidSettings FAids;
    TNetworkSettings FNetwork;
    TLoudnessTarget FTarget{};
    std::string FDevice;
    std::array<std::int64_t, 2> FLastClip{-kClipLatchMs, -kClipLatchMs};
    TStderrOnce FAlarmError, FEventLogError, FLoudnessLogError;
    // Declared upstream first, so the chain's end goes first.
    std::unique_ptr<TMMWaveIn> FWaveIn;
    std::unique_ptr<TMMLoudnessTap> FLoudnessTap;
    std::unique_ptr<TMMEventTap> FEventTap;
    std::unique_ptr<TVUReaderTap> FVUTap;
    std::unique_ptr<TMMLevelTap> FLevelTap;
    std::unique_ptr<TNetFeed> FFeed;
};

} // namespace

int RunHeadless(TWaveInDriver &driver, const THeadlessOptions &options) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return 1;
    gSignalFd = fds[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    QSocketNotifier quit(fds[0], QSocketNotifier::Read);
    QObject::connect(&quit, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });

    THeadlessConsole console(driver, options);
    std::vector<std::string> names;
    for (const TListedDevice &device : ListWaveInDevices(driver))
        names.push_back(device.Name);
    try {
        console.StartCapture(names);
    } catch (const EMMError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    try {
        console.StartFeed();
    } catch (const EMMNetError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] { console.Tick(); });
    tick.start(console.TickMs());
    QCoreApplication::exec();
    tick.stop();
    console.Finish();
    return 0;
}
