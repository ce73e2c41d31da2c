#include "audio/MMLevelTap.h"

#include "core/PCM.h"

#include <cstdlib>

namespace {

void RaiseTo(std::atomic<int> &field, int value) {
    int seen = field.load();
    while (value > seen && !field.compare_exchange_weak(seen, value)) {
    }
}

} // namespace

TMMLevelTap::TMMLevelTap() {
    SetAcceptsInput(true);
    SetAcceptsOutput(true);
}

TMMLevelTap::~TMMLevelTap() = default;

std::array<int, 2> TMMLevelTap::TakePeaks() {
    return {FPeaks[0].exchange(-1), FPeaks[1].exchange(-1)};
}

std::optional<double> TMMLevelTap::Correlation() const {
    std::lock_guard lock(FLock);
    if (FChannels != 2) return std::nullopt;
    return FCorrelation.Value();
}

void TMMLevelTap::SetPWaveFormat(const TWaveFormatEx *Value) {
    if (!IsDesigning()) {
        std::lock_guard lock(FLock);
        const bool watched = Value != nullptr && IsValidPCMFormat(Value) && Value->wBitsPerSample == 16 &&
                             Value->nChannels <= 2;
        FChannels = watched ? Value->nChannels : 0;
        const std::size_t rate = watched ? Value->nSamplesPerSec : 48000;
        FCorrelation = TStereoCorrelation(rate * CorrelationWindowMs / 1000);
    }
    TMMDSPComponent::SetPWaveFormat(Value);
}

void TMMLevelTap::BufferReady(PWaveHdr lpWaveHdr) {
    TakeIn(lpWaveHdr);
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMLevelTap::BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers) {
    TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
    TakeIn(lpWaveHdr);
}

void TMMLevelTap::TakeIn(PWaveHdr lpWaveHdr) {
    if (!FEnabled.load() || lpWaveHdr == nullptr || lpWaveHdr->lpData == nullptr) return;
    std::lock_guard lock(FLock);
    if (FChannels == 0) return;
    const auto *data = reinterpret_cast<const std::int16_t *>(lpWaveHdr->lpData);
    const std::size_t frames =
        lpWaveHdr->dwBytesRecorded / sizeof(std::int16_t) / static_cast<std::size_t>(FChannels);
    if (frames == 0) return;
    std::array<int, 2> peak{0, 0};
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < FChannels; ++c) {
            const int magnitude =
                std::abs(static_cast<int>(data[i * static_cast<std::size_t>(FChannels) + c]));
            if (magnitude > peak[static_cast<std::size_t>(c)]) peak[static_cast<std::size_t>(c)] = magnitude;
        }
    // A mono stream is both channels.
    if (FChannels == 1) peak[1] = peak[0];
    RaiseTo(FPeaks[0], peak[0]);
    RaiseTo(FPeaks[1], peak[1]);
    if (FChannels == 2) FCorrelation.Add(data, frames);
}
