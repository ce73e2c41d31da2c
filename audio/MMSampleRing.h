#pragma once

// A ring of 16-bit samples from one writer to one reader, neither ever waiting for the other.
// A write that does not fit is refused whole, so the reader never sees a torn buffer.
//
// Threads: Write on the writer's thread, Read on the reader's; one thread per side.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class TMMSampleRing {
  public:
    // At least `capacity` samples, rounded up to a power of two.
    explicit TMMSampleRing(std::size_t capacity)
        : FData(std::bit_ceil(std::max<std::size_t>(capacity, 2))), FMask(FData.size() - 1) {}

    std::size_t Capacity() const { return FData.size(); }

    // Writer: false (and nothing written) when the reader has left too little room.
    bool Write(const std::int16_t *samples, std::size_t count) {
        const std::size_t head = FHead.load(std::memory_order_relaxed);
        const std::size_t tail = FTail.load(std::memory_order_acquire);
        if (count > Capacity() - (head - tail)) return false;
        Copy(head, samples, count);
        FHead.store(head + count, std::memory_order_release);
        return true;
    }

    // Reader: up to `count` samples; the number read.
    std::size_t Read(std::int16_t *samples, std::size_t count) {
        const std::size_t tail = FTail.load(std::memory_order_relaxed);
        const std::size_t head = FHead.load(std::memory_order_acquire);
        const std::size_t n = std::min(count, head - tail);
        const std::size_t at = tail & FMask, first = std::min(n, Capacity() - at);
        std::memcpy(samples, &FData[at], first * sizeof(std::int16_t));
        std::memcpy(samples + first, FData.data(), (n - first) * sizeof(std::int16_t));
        FTail.store(tail + n, std::memory_order_release);
        return n;
    }

  private:
    void Copy(std::size_t head, const std::int16_t *samples, std::size_t count) {
        const std::size_t at = head & FMask, first = std::min(count, Capacity() - at);
        std::memcpy(&FData[at], samples, first * sizeof(std::int16_t));
        std::memcpy(FData.data(), samples + first, (count - first) * sizeof(std::int16_t));
    }

    std::vector<std::int16_t> FData;
    std::size_t FMask;
    std::atomic<std::size_t> FHead{0}; // samples ever written
    std::atomic<std::size_t> FTail{0}; // samples ever read
};
