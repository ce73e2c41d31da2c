#include "audio/MMLoudnessTap.h"

#include "platform/MMError.h"
#include "platform/ThreadName.h"

#include <algorithm>

namespace {

constexpr std::size_t kChunkFrames = 4096;

bool Measurable(const TWaveFormatEx *format) {
    return format != nullptr && IsValidPCMFormat(format) && format->wBitsPerSample == 16;
}

} // namespace

TMMLoudnessTap::TMMLoudnessTap() {
    SetAcceptsInput(true);
    SetAcceptsOutput(true);
    FThread = std::thread([this] { Run(); });
}

TMMLoudnessTap::~TMMLoudnessTap() {
    FStop.store(true);
    Wake();
    FThread.join();
}

// ---- commands and readings ---------------------------------------------------------------------

void TMMLoudnessTap::Start() {
    Post(cmStart);
}

void TMMLoudnessTap::Pause() {
    Post(cmPause);
}

void TMMLoudnessTap::Reset() {
    Post(cmReset);
}

void TMMLoudnessTap::Post(unsigned command) {
    // Start and pause cancel each other; the later one counts.
    const unsigned cancels = command == cmStart   ? unsigned{cmPause}
                             : command == cmPause ? unsigned{cmStart}
                                                  : 0u;
    unsigned old = FCommands.load();
    while (!FCommands.compare_exchange_weak(old, (old & ~cancels) | command)) {
    }
    Wake();
}

void TMMLoudnessTap::Wake() {
    FWake.fetch_add(1, std::memory_order_release);
    FWake.notify_one();
}

TLoudnessReading TMMLoudnessTap::Reading() const {
    std::lock_guard<std::mutex> lock(FReadLock);
    return FReading;
}

std::vector<double> TMMLoudnessTap::History(int spanSeconds, int points) const {
    std::lock_guard<std::mutex> lock(FReadLock);
    return FHistory.Points(spanSeconds, points);
}

std::vector<TLoudnessMinute> TMMLoudnessTap::TakeMinutes() {
    std::lock_guard<std::mutex> lock(FReadLock);
    return std::exchange(FMinutes, {});
}

void TMMLoudnessTap::Flush() {
    const std::uint32_t target = FWake.fetch_add(1, std::memory_order_release) + 1;
    FWake.notify_one();
    std::unique_lock<std::mutex> lock(FReadLock);
    FFlushed.wait(lock, [&] { return static_cast<std::int32_t>(FServed - target) >= 0; });
}

// ---- chain -------------------------------------------------------------------------------------

void TMMLoudnessTap::SetPWaveFormat(const TWaveFormatEx *Value) {
    if (!IsDesigning()) {
        const bool measurable = Measurable(Value);
        {
            std::lock_guard<std::mutex> lock(FFormatLock);
            const unsigned channels = measurable ? Value->nChannels : 0;
            const unsigned long rate = measurable ? Value->nSamplesPerSec : 0;
            FFormatChanged = FFormatChanged || channels != FChannels || rate != FRate;
            FChannels = channels;
            FRate = rate;
        }
        FMeasure.store(measurable);
        Wake();
    }
    TMMDSPComponent::SetPWaveFormat(Value);
}

void TMMLoudnessTap::BufferReady(PWaveHdr lpWaveHdr) {
    TakeIn(lpWaveHdr);
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMLoudnessTap::BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers) {
    TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
    TakeIn(lpWaveHdr);
}

void TMMLoudnessTap::TakeIn(PWaveHdr lpWaveHdr) {
    if (lpWaveHdr == nullptr || lpWaveHdr->lpData == nullptr || !FMeasure.load()) return;
    const std::size_t samples = lpWaveHdr->dwBytesRecorded / sizeof(std::int16_t);
    if (samples == 0) return;
    if (!FRing.Write(reinterpret_cast<const std::int16_t *>(lpWaveHdr->lpData), samples))
        FDropped.fetch_add(1);
    Wake();
}

// ---- the measuring thread ----------------------------------------------------------------------

void TMMLoudnessTap::Run() {
    NameThisThread("MMLoudness");
    while (true) {
        const std::uint32_t seen = FWake.load(std::memory_order_acquire);
        if (FStop.load()) return;
        try {
            ApplyFormat();
            ApplyCommands(FCommands.exchange(0));
            const std::size_t channels = FSession ? FSession->Channels() : 2;
            FChunk.resize(kChunkFrames * channels);
            while (const std::size_t n = FRing.Read(FChunk.data(), FChunk.size() / channels * channels))
                if (FSession) FSession->AddFrames(FChunk.data(), n / channels);
            if (FSession)
                for (unsigned c = 0; c < FSession->Channels(); ++c)
                    FTruePeaks.Offer(c, static_cast<float>(FSession->TakeRecentTruePeak(c)));
        } catch (...) {
            HandleApplicationException(std::current_exception());
        }
        Publish(seen);
        FWake.wait(seen);
    }
}

void TMMLoudnessTap::ApplyFormat() {
    unsigned channels;
    unsigned long rate;
    {
        std::lock_guard<std::mutex> lock(FFormatLock);
        if (!FFormatChanged) return;
        FFormatChanged = false;
        channels = FChannels;
        rate = FRate;
    }
    // A new stream is measured afresh, paused if the integration is.
    FSession.reset();
    if (channels == 0) return;
    FSession = std::make_unique<TLoudnessSession>(channels, rate);
    if (!FRunning) FSession->Pause();
}

void TMMLoudnessTap::ApplyCommands(unsigned commands) {
    if (commands & cmPause) FRunning = false;
    if (commands & cmStart) FRunning = true;
    if (!FSession) return;
    if (commands & cmReset) FSession->Reset();
    if (commands & cmPause) FSession->Pause();
    if (commands & cmStart) FSession->Start();
}

void TMMLoudnessTap::Publish(std::uint32_t served) {
    TLoudnessReading reading = FSession ? FSession->Reading() : TLoudnessReading{};
    reading.Running = FRunning;
    std::vector<TLoudnessMinute> minutes =
        FSession ? FSession->TakeMinutes() : std::vector<TLoudnessMinute>{};
    {
        std::lock_guard<std::mutex> lock(FReadLock);
        if (!FSession)
            FHistory.Clear();
        else if (FHistory.Count() != FSession->History().Count())
            FHistory = FSession->History();
        FReading = reading;
        FMinutes.insert(FMinutes.end(), minutes.begin(), minutes.end());
        if (FMinutes.size() > TLoudnessSession::MaxMinutes)
            FMinutes.erase(FMinutes.begin(), FMinutes.end() - TLoudnessSession::MaxMinutes);
        FServed = served;
    }
    FFlushed.notify_all();
}
