#pragma once

// TMMEventTap: a chain member that watches every sample passing through it for the operator's
// events (clips and overs on each channel, dead air on all of them) and stamps each with the
// clock time of its first sample. 16-bit PCM only; other formats pass unwatched.
//
// Threads:
// - properties, formats and the clock: main thread;
// - BufferReady/BufferLoad: the delivering thread, which runs the detectors on the buffer
//   under FLock (a few microseconds a buffer) and queues what they find;
// - TakeEvents, Alarm, SilentSince: any thread.

#include "analysis/ProgrammeEvents.h"
#include "audio/MMDSPComponent.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct TStampedEvent {
    TProgrammeEvent Event;
    std::int64_t TimeMs;     // milliseconds since the epoch, of the event's first sample
    std::int64_t DurationMs; // of its Samples
};

class TMMEventTap : public TMMDSPComponent {
  public:
    // Milliseconds since the epoch.
    using TClock = std::function<std::int64_t()>;
    // The silence the alarm waits for and the level it must stay below.
    static constexpr int MinDelaySeconds = 2, MaxDelaySeconds = 120;
    static constexpr int MinThresholdDB = -70, MaxThresholdDB = -30;

    TMMEventTap();
    ~TMMEventTap() override;

    bool PublishesInput() const override { return true; }
    bool PublishesOutput() const override { return true; }

    // The wall clock by default. Set before capture starts.
    void SetClock(TClock clock);
    void SetOverSamples(int samples);
    // The dead-air watch on or off, its threshold (dBFS) and delay (seconds), clamped to their
    // ranges; a change starts the count of silence afresh.
    void SetDeadAir(bool on, int thresholdDB, int delaySeconds);

    // The events found since the last call, oldest first.
    std::vector<TStampedEvent> TakeEvents();
    bool Alarm() const { return FAlarm.load(); }
    // While the alarm is raised: when the silence began (ms since the epoch).
    std::int64_t SilentSince() const { return FSilentSince.load(); }
    // Frames watched since the stream began (tests).
    std::int64_t FramesSeen() const { return FSeen.load(); }

    // --- Chain (main thread; data on the delivering thread).
    void SetPWaveFormat(const TWaveFormatEx *Value) override;
    void Stopped() override;
    void BufferReady(PWaveHdr lpWaveHdr) override;
    void BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers) override;

  private:
    void TakeIn(PWaveHdr lpWaveHdr);
    void Rebuild();
    // Under FLock: the found events stamped, relative to a buffer whose last frame ends at
    // `position` and arrived at `now`.
    void Stamp(std::int64_t position, std::int64_t now);

    std::atomic<bool> FAlarm{false};
    std::atomic<std::int64_t> FSilentSince{-1};
    std::atomic<std::int64_t> FSeen{0};

    mutable std::mutex FLock; // guards everything below
    TClock FClock;
    int FChannels = 0; // 0: the stream is not watched
    std::int64_t FRate = 0;
    int FOverSamples = TClipDetector::DefaultOverSamples;
    bool FDeadAir = false;
    int FThresholdDB = -50, FDelaySeconds = 10;
    std::unique_ptr<TClipDetector> FClips;
    std::unique_ptr<TSilenceDetector> FSilence;
    std::vector<TProgrammeEvent> FFound;
    std::vector<TStampedEvent> FEvents;
};
