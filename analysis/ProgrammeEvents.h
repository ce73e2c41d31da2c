#pragma once

// What the operator's event log records, found sample by sample: clips and overs on each
// channel, and dead air on both. Pure arithmetic on interleaved 16-bit frames, counted in
// frames of the stream; the caller turns frames into clock times.
//
// Thread contract: each detector is used by one thread at a time.

#include <cstdint>
#include <vector>

enum class TProgrammeEventKind { Clip, Over, Silence, SignalBack };

struct TProgrammeEvent {
    TProgrammeEventKind Kind;
    int Channel;          // 0 left, 1 right; -1 both (silence)
    std::int64_t Frame;   // the stream frame the event began at
    std::int64_t Samples; // its duration: a clip's span; for dead air the silence so far
    int Peak;             // the largest magnitude of a clip (0 for dead air)
    bool operator==(const TProgrammeEvent &) const = default;
};

// Clips and overs. A sample above ClipThreshold in magnitude (the CLIP latch's rule) starts a
// clip; samples above it less than MergeFrames apart belong to the same one, so a clipped
// passage is one event and not one a half wave. A clip holding a run of at least OverSamples
// consecutive full-scale samples (32767 or -32768) is an over. An event is reported once it
// has ended: MergeFrames after its last sample above the threshold.
class TClipDetector {
  public:
    static constexpr int ClipThreshold = 31999;
    static constexpr int FullScale = 32767;
    static constexpr int MinOverSamples = 1, MaxOverSamples = 10, DefaultOverSamples = 3;

    TClipDetector(int channels, std::int64_t mergeFrames);
    // 1 .. 10; from the next sample on.
    void SetOverSamples(int samples);
    int OverSamples() const { return FOverSamples; }
    // The next `frames` frames of the stream; ended events are appended to `events`.
    void Feed(const std::int16_t *data, std::int64_t frames, std::vector<TProgrammeEvent> &events);
    // The stream ended: the clips still open are reported as they stand.
    void Finish(std::vector<TProgrammeEvent> &events);
    std::int64_t Position() const { return FPosition; }

  private:
    struct TOpen {
        bool Active = false;
        std::int64_t First = 0, Last = 0;
        int Peak = 0;
        int Run = 0, LongestRun = 0; // consecutive full-scale samples
    };
    void Close(int channel, std::vector<TProgrammeEvent> &events);

    int FChannels;
    std::int64_t FMergeFrames;
    int FOverSamples = DefaultOverSamples;
    std::int64_t FPosition = 0;
    std::vector<TOpen> FOpen;
};

// Dead air: every channel's peak below the threshold over whole windows (a tenth of a second
// each) for longer than the delay raises the alarm (one Silence event, its frame where the
// silence began); a second of windows above the threshold without a break clears it (one
// SignalBack event, its frame where the signal returned, its duration the silence's).
class TSilenceDetector {
  public:
    TSilenceDetector(int channels, std::int64_t rate);
    // dBFS; takes effect from the next window.
    void SetThreshold(double db);
    // Seconds of silence before the alarm.
    void SetDelay(double seconds);
    void Feed(const std::int16_t *data, std::int64_t frames, std::vector<TProgrammeEvent> &events);
    // Back to no silence and no alarm, counting from the stream's next frame.
    void Reset();
    bool Alarm() const { return FAlarm; }
    // The frame the current silence began at (-1: no silence).
    std::int64_t SilentSince() const { return FSilentSince; }
    std::int64_t Position() const { return FPosition; }

  private:
    void EndWindow(std::vector<TProgrammeEvent> &events);

    int FChannels;
    std::int64_t FRate, FWindowFrames;
    int FThreshold = 0; // the sample magnitude a window's peak must stay below
    std::int64_t FDelayFrames = 0;
    std::int64_t FPosition = 0;
    std::int64_t FWindowFill = 0;
    int FWindowPeak = 0;
    std::int64_t FSilentSince = -1;
    std::int64_t FLoudSince = -1; // while alarmed: where the unbroken signal began
    bool FAlarm = false;
};
