#pragma once

// TMMLevelTap: a chain member that keeps, for the network feed, each channel's highest sample
// since the feed last took it, so no peak between two messages is lost however far apart they
// are, and the stereo correlation over the last 300 ms (as the correlation meter measures it).
// 16-bit PCM only; other formats pass unwatched. While not enabled it only passes buffers on.
//
// Threads:
// - SetEnabled, formats: main thread;
// - BufferReady/BufferLoad: the delivering thread; peaks go into atomics, the correlation
//   under FLock (held for one buffer's sums);
// - TakePeaks, Correlation: any thread.

#include "analysis/StereoCorrelation.h"
#include "audio/MMDSPComponent.h"

#include <array>
#include <atomic>
#include <mutex>
#include <optional>

class TMMLevelTap : public TMMDSPComponent {
  public:
    static constexpr int CorrelationWindowMs = 300;

    TMMLevelTap();
    ~TMMLevelTap() override;

    bool PublishesInput() const override { return true; }
    bool PublishesOutput() const override { return true; }

    bool Enabled() const { return FEnabled.load(); }
    void SetEnabled(bool value) { FEnabled.store(value); }

    // Each channel's largest |sample| (0..32768) since the last call; -1 where no sample came.
    std::array<int, 2> TakePeaks();
    // Nothing while both channels are silent or the stream is not stereo.
    std::optional<double> Correlation() const;

    // --- Chain (main thread; data on the delivering thread).
    void SetPWaveFormat(const TWaveFormatEx *Value) override;
    void BufferReady(PWaveHdr lpWaveHdr) override;
    void BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers) override;

  private:
    void TakeIn(PWaveHdr lpWaveHdr);

    std::atomic<bool> FEnabled{false};
    std::array<std::atomic<int>, 2> FPeaks{-1, -1};

    mutable std::mutex FLock; // guards the fields below
    int FChannels = 0;        // 0: the stream is not watched
    TStereoCorrelation FCorrelation{48000 * CorrelationWindowMs / 1000};
};
