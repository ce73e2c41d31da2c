#include "app/NetFeed.h"

#include "app/EventLog.h"
#include "net/NetTopics.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include <algorithm>
#include <cmath>

namespace {

double PeakDB(int magnitude) {
    return magnitude <= 0 ? -INFINITY : 20.0 * std::log10(magnitude / 32768.0);
}

} // namespace

TPublisherConfig FeedConfig(const TNetworkSettings &s, const std::string &device, std::int64_t nowMs) {
    TPublisherConfig config;
    if (s.Broker.trimmed().isEmpty()) throw EMMNetError("No broker is set for the network feed.");
    config.Broker = ParseBrokerUrl(s.Broker.trimmed().toStdString());
    config.TopicRoot = TopicRoot(s.TopicPrefix.trimmed().isEmpty() ? kDefaultTopicPrefix
                                                                   : s.TopicPrefix.trimmed().toStdString(),
                                 StationName(s).toStdString());
    if (!s.CredentialsFile.trimmed().isEmpty())
        config.Credentials = ReadCredentialsFile(QDir::cleanPath(s.CredentialsFile.trimmed()).toStdString());
    config.CAFile = s.CAFile.trimmed().toStdString();
    config.Status = {true, QCoreApplication::applicationVersion().toStdString(), device, nowMs, 0};
    return config;
}

TEventRow EventRowOf(const TStampedEvent &event) {
    const QString peak = EventPeakText(event.Event);
    return {EventTimeText(event.TimeMs).toStdString(), EventKindText(event.Event.Kind).toStdString(),
            EventChannelText(event.Event.Channel).toStdString(), event.Event.Samples,
            peak.isEmpty() ? -INFINITY : peak.toDouble()};
}

TNetFeed::TNetFeed(const TNetworkSettings &settings, const std::string &device, TFeedSources sources)
    : FSources(std::move(sources)), FRateHz(std::clamp(settings.RateHz, kMinRateHz, kMaxRateHz)) {
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    FPublisher = std::make_unique<TMqttPublisher>(FeedConfig(settings, device, now));
}

TNetFeed::~TNetFeed() = default;

void TNetFeed::Tick(std::int64_t nowMs) {
    const std::int64_t period = 1000 / FRateHz;
    const TLoudnessReading reading = FSources.Loudness();
    // A tick may come a little before its time (a timer's rounding against the wall clock):
    // taken as on time, it does not cost a whole period.
    if (nowMs + period / 4 >= FNextLevels) {
        // On the rate's grid, so ticks that come late do not slow the rate down; after a stall
        // the grid starts afresh.
        FNextLevels = nowMs - FNextLevels < period ? FNextLevels + period : nowMs + period;
        const std::array<int, 2> peaks = FSources.TakePeaks();
        TLevelsSnapshot s;
        s.TimeMs = nowMs;
        s.Peak = {PeakDB(peaks[0]), PeakDB(peaks[1])};
        s.VU = FSources.VU();
        s.Correlation = FSources.Correlation().value_or(NAN);
        s.Momentary = reading.Momentary;
        s.ShortTerm = reading.ShortTerm;
        s.Clip = FSources.Clips();
        // Taken whatever the connection, so the next message starts from now.
        FPublisher->PublishLevels(LevelsPayload(s));
    }
    if (nowMs + 250 >= FNextLoudness) {
        FNextLoudness = nowMs - FNextLoudness < 1000 ? FNextLoudness + 1000 : nowMs + 1000;
        const TLoudnessTarget target = FSources.Target();
        TLoudnessSnapshot s;
        s.TimeMs = nowMs;
        s.Integrated = reading.Integrated;
        s.Range = reading.Range;
        s.TruePeak = {reading.TruePeakL, reading.TruePeakR};
        s.MaxMomentary = reading.MaxMomentary;
        s.MaxShortTerm = reading.MaxShortTerm;
        s.Seconds = reading.Seconds;
        s.Paused = !reading.Running;
        s.Target = target.Target;
        s.Ceiling = target.Ceiling;
        FPublisher->PublishLoudness(LoudnessPayload(s));
    }
    Alarms(nowMs, reading);
}

void TNetFeed::Alarms(std::int64_t nowMs, const TLoudnessReading &reading) {
    // The first tick says each state, so a retained "active" left by a run that died is cleared.
    const bool deadAir = FSources.DeadAir();
    if (FDeadAirSaid != deadAir) {
        FDeadAirSaid = deadAir;
        const std::int64_t since = deadAir ? FSources.SilentSince() : nowMs;
        FPublisher->PublishAlarm(kDeadAirAlarmLeaf, AlarmPayload({deadAir, since < 0 ? nowMs : since}));
    }
    const TLoudnessTarget target = FSources.Target();
    const bool loud =
        reading.Measuring && (MissesTarget(reading.Integrated, target.Target) ||
                              OverCeiling(std::max(reading.TruePeakL, reading.TruePeakR), target.Ceiling));
    if (FLoudnessAlarmSaid != loud) {
        FLoudnessAlarmSaid = loud;
        FPublisher->PublishAlarm(kLoudnessAlarmLeaf, AlarmPayload({loud, nowMs}));
    }
}

void TNetFeed::Events(const std::vector<TStampedEvent> &events) {
    for (const TStampedEvent &e : events)
        FPublisher->PublishEvent(EventPayload(EventRowOf(e)));
}
