#include "analysis/LoudnessSession.h"

#include <algorithm>
#include <utility>

TLoudnessSession::TLoudnessSession(unsigned channels, unsigned long sampleRate, TClock clock)
    : FMeter(channels, sampleRate), FClock(clock ? std::move(clock) : [] { return std::time(nullptr); }) {}

void TLoudnessSession::AddFrames(const std::int16_t *frames, std::size_t count) {
    const unsigned long rate = FMeter.SampleRate();
    while (count > 0) {
        const std::size_t n = std::min<std::size_t>(count, rate - FSecondFilled);
        FMeter.AddFrames(frames, n);
        frames += n * FMeter.Channels();
        count -= n;
        FSecondFilled += n;
        FFrames += n;
        if (FSecondFilled == rate) EndSecond();
    }
}

void TLoudnessSession::EndSecond() {
    FSecondFilled = 0;
    FHistory.Add(FMeter.ShortTerm());
    if (++FSecondsInMinute < 60) return;
    FSecondsInMinute = 0;
    const TLoudnessInterval minute = FMeter.TakeInterval();
    // Nobody read the log for a day: the oldest minute goes.
    if (FMinutes.size() == MaxMinutes) FMinutes.erase(FMinutes.begin());
    FMinutes.push_back({FClock(), FMeter.Integrated(), FMeter.Range(), minute.MaxShortTerm,
                        minute.MaxTruePeak, FMeter.Running()});
}

TLoudnessReading TLoudnessSession::Reading() const {
    TLoudnessReading r;
    r.Measuring = true;
    r.Running = FMeter.Running();
    r.Momentary = FMeter.Momentary();
    r.ShortTerm = FMeter.ShortTerm();
    r.Integrated = FMeter.Integrated();
    r.Range = FMeter.Range();
    r.MaxMomentary = FMeter.MaxMomentary();
    r.MaxShortTerm = FMeter.MaxShortTerm();
    r.Seconds = FMeter.IntegratedSeconds();
    r.StreamSeconds = static_cast<double>(FFrames) / FMeter.SampleRate();
    r.TruePeakL = FMeter.TruePeak(0);
    r.TruePeakR = FMeter.Channels() > 1 ? FMeter.TruePeak(1) : r.TruePeakL;
    r.HistoryCount = FHistory.Count();
    return r;
}

std::vector<TLoudnessMinute> TLoudnessSession::TakeMinutes() {
    return std::exchange(FMinutes, {});
}
