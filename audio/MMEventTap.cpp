#include "audio/MMEventTap.h"

#include <algorithm>
#include <chrono>

namespace {

// Clips closer than this belong to one event.
constexpr std::int64_t kMergeMs = 50;
// Room for the events of a minute nobody took, then the oldest go.
constexpr std::size_t kMaxQueued = 10000;

std::int64_t WallClock() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

TMMEventTap::TMMEventTap() : FClock(WallClock) {
    SetAcceptsInput(true);
    SetAcceptsOutput(true);
}

TMMEventTap::~TMMEventTap() = default;

void TMMEventTap::SetClock(TClock clock) {
    std::lock_guard<std::mutex> lock(FLock);
    FClock = clock ? std::move(clock) : TClock(WallClock);
}

void TMMEventTap::SetOverSamples(int samples) {
    std::lock_guard<std::mutex> lock(FLock);
    FOverSamples = std::clamp(samples, TClipDetector::MinOverSamples, TClipDetector::MaxOverSamples);
    if (FClips) FClips->SetOverSamples(FOverSamples);
}

void TMMEventTap::SetDeadAir(bool on, int thresholdDB, int delaySeconds) {
    std::lock_guard<std::mutex> lock(FLock);
    thresholdDB = std::clamp(thresholdDB, MinThresholdDB, MaxThresholdDB);
    delaySeconds = std::clamp(delaySeconds, MinDelaySeconds, MaxDelaySeconds);
    if (on == FDeadAir && thresholdDB == FThresholdDB && delaySeconds == FDelaySeconds) return;
    FDeadAir = on;
    FThresholdDB = thresholdDB;
    FDelaySeconds = delaySeconds;
    if (FSilence) {
        FSilence->SetThreshold(FThresholdDB);
        FSilence->SetDelay(FDelaySeconds);
        FSilence->Reset();
    }
    FAlarm.store(false);
    FSilentSince.store(-1);
}

std::vector<TStampedEvent> TMMEventTap::TakeEvents() {
    std::lock_guard<std::mutex> lock(FLock);
    return std::exchange(FEvents, {});
}

void TMMEventTap::SetPWaveFormat(const TWaveFormatEx *Value) {
    if (!IsDesigning()) {
        std::lock_guard<std::mutex> lock(FLock);
        const bool watched = Value != nullptr && IsValidPCMFormat(Value) && Value->wBitsPerSample == 16;
        FChannels = watched ? Value->nChannels : 0;
        FRate = watched ? static_cast<std::int64_t>(Value->nSamplesPerSec) : 0;
        Rebuild();
    }
    TMMDSPComponent::SetPWaveFormat(Value);
}

void TMMEventTap::Stopped() {
    {
        // A clip open when the stream stops is logged as it stands.
        std::lock_guard<std::mutex> lock(FLock);
        if (FClips) {
            FClips->Finish(FFound);
            Stamp(FClips->Position(), FClock());
        }
    }
    TMMDSPComponent::Stopped();
}

void TMMEventTap::Rebuild() {
    FClips.reset();
    FSilence.reset();
    FAlarm.store(false);
    FSilentSince.store(-1);
    if (FChannels == 0 || FRate == 0) return;
    FClips = std::make_unique<TClipDetector>(FChannels, FRate * kMergeMs / 1000);
    FClips->SetOverSamples(FOverSamples);
    FSilence = std::make_unique<TSilenceDetector>(FChannels, FRate);
    FSilence->SetThreshold(FThresholdDB);
    FSilence->SetDelay(FDelaySeconds);
}

void TMMEventTap::BufferReady(PWaveHdr lpWaveHdr) {
    TakeIn(lpWaveHdr);
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMEventTap::BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers) {
    TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
    TakeIn(lpWaveHdr);
}

void TMMEventTap::TakeIn(PWaveHdr lpWaveHdr) {
    if (lpWaveHdr == nullptr || lpWaveHdr->lpData == nullptr) return;
    std::lock_guard<std::mutex> lock(FLock);
    if (!FClips) return;
    const std::int64_t frames =
        static_cast<std::int64_t>(lpWaveHdr->dwBytesRecorded / sizeof(std::int16_t)) / FChannels;
    if (frames == 0) return;
    const auto *data = reinterpret_cast<const std::int16_t *>(lpWaveHdr->lpData);
    const std::int64_t now = FClock();
    FClips->Feed(data, frames, FFound);
    if (FDeadAir) FSilence->Feed(data, frames, FFound);
    Stamp(FClips->Position(), now);
    const bool alarm = FDeadAir && FSilence->Alarm();
    FAlarm.store(alarm);
    FSeen.store(FClips->Position());
    FSilentSince.store(alarm ? now - (FSilence->Position() - FSilence->SilentSince()) * 1000 / FRate : -1);
}

void TMMEventTap::Stamp(std::int64_t position, std::int64_t now) {
    for (const TProgrammeEvent &event : FFound) {
        // The silence detector counts only while it watches; its frames are its own.
        const std::int64_t end = event.Channel < 0 ? FSilence->Position() : position;
        FEvents.push_back({event, now - (end - event.Frame) * 1000 / FRate, event.Samples * 1000 / FRate});
    }
    FFound.clear();
    if (FEvents.size() > kMaxQueued) FEvents.erase(FEvents.begin(), FEvents.end() - kMaxQueued);
}
