#pragma once

// The correlation of left and right over a sliding window: +1 for the same signal on both
// channels, -1 for one channel inverted, near 0 for unrelated ones. The window holds whole
// blocks, the newest ones that together span no more than WindowFrames (at 48 kHz with the
// console's 2048-frame blocks: seven blocks, 298.7 ms). Pure arithmetic, no toolkit.
//
// Thread contract: one thread at a time.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

class TStereoCorrelation {
  public:
    // A channel whose mean square over the window lies below -80 dBFS counts as silent.
    static constexpr double SilenceDB = -80.0;

    explicit TStereoCorrelation(std::size_t windowFrames) : FWindowFrames(windowFrames) {}

    // Interleaved 16-bit stereo frames, the next block of the stream.
    void Add(const std::int16_t *frames, std::size_t count);
    void Reset();
    // Nothing while both channels are silent (or nothing was added); 0 while one is.
    std::optional<double> Value() const;
    std::size_t WindowFrames() const { return FWindowFrames; }

  private:
    struct TSums {
        std::size_t Frames = 0;
        double LL = 0, RR = 0, LR = 0;
    };
    std::size_t FWindowFrames;
    std::deque<TSums> FBlocks;
    TSums FTotal;
};
