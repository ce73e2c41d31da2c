#pragma once

// TLoudnessSession: the console's running measurement. A loudness meter fed with the
// captured stream, the short-term history a reading a second of audio, and a record for
// every minute of audio for the compliance log. All of it counts the stream's own time.
//
// Threads: none of its own; one thread at a time (the tap's measuring thread in the console).

#include "analysis/LoudnessHistory.h"
#include "analysis/LoudnessMeter.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <vector>

// What the page shows, copied out in one piece.
struct TLoudnessReading {
    bool Measuring = false; // a stream is measured
    bool Running = true;    // the integration runs (not paused)
    double Momentary = kNoLoudness;
    double ShortTerm = kNoLoudness;
    double Integrated = kNoLoudness;
    double Range = 0;
    double MaxMomentary = kNoLoudness;
    double MaxShortTerm = kNoLoudness;
    double Seconds = 0;       // integrated so far
    double StreamSeconds = 0; // measured so far, paused or not
    // Largest true peak per channel since the reset, dBTP (the first two: left and right).
    double TruePeakL = kNoLoudness;
    double TruePeakR = kNoLoudness;
    std::uint64_t HistoryCount = 0; // history readings ever added
};

// One minute of audio for the compliance log.
struct TLoudnessMinute {
    std::time_t Time = 0;    // when the minute ended
    double Integrated = 0;   // since the last reset
    double Range = 0;        // since the last reset
    double MaxShortTerm = 0; // of this minute
    double MaxTruePeak = 0;  // of this minute
    bool Running = true;
};

class TLoudnessSession {
  public:
    using TClock = std::function<std::time_t()>;
    static constexpr std::size_t MaxMinutes = 1440; // kept unread: a day

    // Raises std::invalid_argument for a stream the meter cannot take. `clock` stamps the
    // minute records (the system's time unless given).
    TLoudnessSession(unsigned channels, unsigned long sampleRate, TClock clock = {});

    unsigned Channels() const { return FMeter.Channels(); }
    unsigned long SampleRate() const { return FMeter.SampleRate(); }

    void AddFrames(const std::int16_t *frames, std::size_t count);
    void Start() { FMeter.Start(); }
    void Pause() { FMeter.Pause(); }
    void Reset() { FMeter.Reset(); }
    double TakeRecentTruePeak(unsigned channel) { return FMeter.TakeRecentTruePeak(channel); }

    TLoudnessReading Reading() const;
    const TLoudnessHistory &History() const { return FHistory; }
    // The minutes recorded since the last call, oldest first.
    std::vector<TLoudnessMinute> TakeMinutes();

  private:
    void EndSecond();

    TLoudnessMeter FMeter;
    TLoudnessHistory FHistory;
    TClock FClock;
    std::uint64_t FFrames = 0;
    unsigned long FSecondFilled = 0; // frames into the current second
    int FSecondsInMinute = 0;
    std::vector<TLoudnessMinute> FMinutes;
};
