#include "analysis/ProgrammeEvents.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

TClipDetector::TClipDetector(int channels, std::int64_t mergeFrames)
    : FChannels(std::max(1, channels)), FMergeFrames(std::max<std::int64_t>(1, mergeFrames)),
      FOpen(static_cast<std::size_t>(FChannels)) {}

void TClipDetector::SetOverSamples(int samples) {
    FOverSamples = std::clamp(samples, MinOverSamples, MaxOverSamples);
}

void TClipDetector::Close(int channel, std::vector<TProgrammeEvent> &events) {
    TOpen &open = FOpen[static_cast<std::size_t>(channel)];
    const bool over = open.LongestRun >= FOverSamples;
    events.push_back({over ? TProgrammeEventKind::Over : TProgrammeEventKind::Clip, channel, open.First,
                      open.Last - open.First + 1, open.Peak});
    open = {};
}

void TClipDetector::Feed(const std::int16_t *data, std::int64_t frames,
                         std::vector<TProgrammeEvent> &events) {
    const auto quiet = [](std::int16_t v) { return v <= ClipThreshold && v >= -ClipThreshold; };
    for (std::int64_t f = 0; f < frames;) {
        if (std::none_of(FOpen.begin(), FOpen.end(), [](const TOpen &o) { return o.Active; })) {
            // Nothing open: skip to the first frame holding a sample above the threshold.
            const std::int16_t *from = data + f * FChannels, *to = data + frames * FChannels;
            const std::int64_t skipped = (std::find_if_not(from, to, quiet) - from) / FChannels;
            f += skipped;
            FPosition += skipped;
            if (f == frames) break;
        }
        for (int c = 0; c < FChannels; ++c) {
            TOpen &open = FOpen[static_cast<std::size_t>(c)];
            const int magnitude = std::abs(static_cast<int>(data[f * FChannels + c]));
            if (magnitude <= ClipThreshold) {
                open.Run = 0;
                if (open.Active && FPosition - open.Last >= FMergeFrames) Close(c, events);
                continue;
            }
            if (!open.Active) {
                open.Active = true;
                open.First = FPosition;
            }
            open.Last = FPosition;
            open.Peak = std::max(open.Peak, magnitude);
            open.Run = magnitude >= FullScale ? open.Run + 1 : 0;
            open.LongestRun = std::max(open.LongestRun, open.Run);
        }
        ++f;
        ++FPosition;
    }
}

void TClipDetector::Finish(std::vector<TProgrammeEvent> &events) {
    for (int c = 0; c < FChannels; ++c)
        if (FOpen[static_cast<std::size_t>(c)].Active) Close(c, events);
}

TSilenceDetector::TSilenceDetector(int channels, std::int64_t rate)
    : FChannels(std::max(1, channels)), FRate(std::max<std::int64_t>(1, rate)),
      FWindowFrames(std::max<std::int64_t>(1, FRate / 10)) {
    SetThreshold(-50);
    SetDelay(10);
}

void TSilenceDetector::SetThreshold(double db) {
    FThreshold = static_cast<int>(std::lround(32768.0 * std::pow(10.0, db / 20.0)));
}

void TSilenceDetector::SetDelay(double seconds) {
    FDelayFrames = static_cast<std::int64_t>(std::llround(seconds * static_cast<double>(FRate)));
}

void TSilenceDetector::Reset() {
    FWindowFill = 0;
    FWindowPeak = 0;
    FSilentSince = -1;
    FLoudSince = -1;
    FAlarm = false;
}

void TSilenceDetector::Feed(const std::int16_t *data, std::int64_t frames,
                            std::vector<TProgrammeEvent> &events) {
    for (std::int64_t f = 0; f < frames;) {
        // The rest of the window, or of the data, in one pass.
        const std::int64_t n = std::min(frames - f, FWindowFrames - FWindowFill);
        const std::int16_t *from = data + f * FChannels;
        for (std::int64_t i = 0; i < n * FChannels; ++i)
            FWindowPeak = std::max(FWindowPeak, std::abs(static_cast<int>(from[i])));
        f += n;
        FPosition += n;
        FWindowFill += n;
        if (FWindowFill == FWindowFrames) EndWindow(events);
    }
}

void TSilenceDetector::EndWindow(std::vector<TProgrammeEvent> &events) {
    const std::int64_t start = FPosition - FWindowFill;
    const bool silent = FWindowPeak < FThreshold;
    FWindowFill = 0;
    FWindowPeak = 0;
    if (silent) {
        FLoudSince = -1;
        if (FSilentSince < 0) FSilentSince = start;
        if (!FAlarm && FPosition - FSilentSince > FDelayFrames) {
            FAlarm = true;
            events.push_back({TProgrammeEventKind::Silence, -1, FSilentSince, FPosition - FSilentSince, 0});
        }
        return;
    }
    if (!FAlarm) {
        FSilentSince = -1;
        return;
    }
    if (FLoudSince < 0) FLoudSince = start;
    if (FPosition - FLoudSince >= FRate) {
        events.push_back({TProgrammeEventKind::SignalBack, -1, FLoudSince, FLoudSince - FSilentSince, 0});
        FAlarm = false;
        FSilentSince = -1;
        FLoudSince = -1;
    }
}
