#pragma once

// The console's feed to the studio network: on each read-out tick it takes what the console
// measured when a message is due (levels RateHz times a second, loudness once a second, the
// alarms on every change) and hands the payloads to the publisher, whose own thread sends them.
// The windowed and the headless console give it the same sources.
//
// Thread contract: main thread only (the publisher's thread is its own).

#include "analysis/LoudnessSession.h"
#include "analysis/LoudnessTargets.h"
#include "app/NetworkSettings.h"
#include "audio/MMEventTap.h"
#include "net/MqttPublisher.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Where the feed reads the console.
struct TFeedSources {
    // Each channel's largest sample magnitude (of 32768) since the last call; -1: none came.
    std::function<std::array<int, 2>()> TakePeaks;
    // The VU needles' readings in VU; -inf where a needle rests.
    std::function<std::array<double, 2>()> VU;
    std::function<std::optional<double>()> Correlation;
    std::function<TLoudnessReading()> Loudness;
    std::function<TLoudnessTarget()> Target;
    // The CLIP latches.
    std::function<std::array<bool, 2>()> Clips;
    std::function<bool()> DeadAir;
    // While the dead-air alarm is raised: when the silence began (ms since the epoch).
    std::function<std::int64_t()> SilentSince;
};

// One run's choice of broker and station, over the saved settings (--publish, --station).
struct TPublishOverride {
    QString Broker;
    QString Station;
};

// The publisher's set-up from the settings. Raises EMMNetError for a bad URL or a refused
// credentials file; an empty broker is a bad URL too.
TPublisherConfig FeedConfig(const TNetworkSettings &s, const std::string &device, std::int64_t nowMs);

// The event log's row as its CSV file holds it.
TEventRow EventRowOf(const TStampedEvent &event);

class TNetFeed {
  public:
    // Starts publishing. Raises EMMNetError as FeedConfig and TMqttPublisher do.
    TNetFeed(const TNetworkSettings &settings, const std::string &device, TFeedSources sources);
    ~TNetFeed();

    // Every read-out tick; `nowMs` the wall clock.
    void Tick(std::int64_t nowMs);
    // The rows the event log just took, oldest first.
    void Events(const std::vector<TStampedEvent> &events);

    TMqttPublisher::TState State() const { return FPublisher->State(); }
    std::optional<std::string> TakeRefusal() { return FPublisher->TakeRefusal(); }
    // Offline published (as far as the broker can be reached), the thread ended.
    void Stop() { FPublisher->Stop(); }
    int RateHz() const { return FRateHz; }

  private:
    void Alarms(std::int64_t nowMs, const TLoudnessReading &reading);

    const TFeedSources FSources;
    const int FRateHz;
    std::unique_ptr<TMqttPublisher> FPublisher;
    std::int64_t FNextLevels = 0, FNextLoudness = 0;
    // The alarm states last published; none before the first tick.
    std::optional<bool> FDeadAirSaid, FLoudnessAlarmSaid;
};
