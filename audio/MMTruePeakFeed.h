#pragma once

// TMMTruePeakFeed: the loudness measurement's true peaks, handed to the PEAK bars so that the
// bars read true peak without a second oversampler.
//
// Threads: Offer on the measuring thread, after each stretch of audio it measured; Take on the
// thread that runs the bars' laws. Neither waits. Each Take returns the largest peak offered
// for the channel since the last Take (0 when none): a bar reads whatever arrived since its
// last block, so a peak is never lost, though it may show a buffer early or a block late.

#include <algorithm>
#include <array>
#include <atomic>

class TMMTruePeakFeed {
  public:
    static constexpr unsigned Channels = 8;

    // `linear`: 1.0 is full scale. Channels past Channels are not kept.
    void Offer(unsigned channel, float linear) {
        if (channel >= Channels) return;
        std::atomic<float> &slot = FPeaks[channel];
        float held = slot.load(std::memory_order_relaxed);
        while (linear > held && !slot.compare_exchange_weak(held, linear, std::memory_order_relaxed)) {
        }
    }
    float Take(unsigned channel) {
        return channel < Channels ? FPeaks[channel].exchange(0.0f, std::memory_order_relaxed) : 0.0f;
    }
    // The larger of two channels' (a bar reading both).
    float Take(unsigned first, unsigned second) { return std::max(Take(first), Take(second)); }

  private:
    std::array<std::atomic<float>, Channels> FPeaks{};
};
