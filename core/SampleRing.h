#pragma once

// A ring of samples from one writer to one reader, neither ever waiting for the other: no
// lock, no allocation and no system call after construction, so a real-time callback may
// write to it. A write that does not fit is refused whole, so the reader never sees a torn
// buffer.
//
// Threads: Write and Room on the writer's thread, Read and Available on the reader's; one
// thread per side.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

template <typename T> class TSampleRing {
    static_assert(std::is_trivially_copyable_v<T>);
    // A counter that fell back to a lock would make the writer wait for the reader.
    static_assert(std::atomic<std::size_t>::is_always_lock_free);

  public:
    // At least `capacity` samples, rounded up to a power of two.
    explicit TSampleRing(std::size_t capacity)
        : FData(std::bit_ceil(std::max<std::size_t>(capacity, 2))), FMask(FData.size() - 1) {}

    std::size_t Capacity() const { return FData.size(); }

    // Writer: the samples a write may hold now.
    std::size_t Room() const {
        return Capacity() - (FHead.load(std::memory_order_relaxed) - FTail.load(std::memory_order_acquire));
    }

    // Writer: false (and nothing written) when the reader has left too little room.
    bool Write(const T *samples, std::size_t count) {
        const std::size_t head = FHead.load(std::memory_order_relaxed);
        const std::size_t tail = FTail.load(std::memory_order_acquire);
        if (count > Capacity() - (head - tail)) return false;
        const std::size_t at = head & FMask, first = std::min(count, Capacity() - at);
        std::memcpy(&FData[at], samples, first * sizeof(T));
        std::memcpy(FData.data(), samples + first, (count - first) * sizeof(T));
        FHead.store(head + count, std::memory_order_release);
        return true;
    }

    // Reader: the samples written and not read yet.
    std::size_t Available() const {
        return FHead.load(std::memory_order_acquire) - FTail.load(std::memory_order_relaxed);
    }

    // Reader: up to `count` samples; the number read.
    std::size_t Read(T *samples, std::size_t count) {
        const std::size_t tail = FTail.load(std::memory_order_relaxed);
        const std::size_t head = FHead.load(std::memory_order_acquire);
        const std::size_t n = std::min(count, head - tail);
        const std::size_t at = tail & FMask, first = std::min(n, Capacity() - at);
        std::memcpy(samples, &FData[at], first * sizeof(T));
        std::memcpy(samples + first, FData.data(), (n - first) * sizeof(T));
        FTail.store(tail + n, std::memory_order_release);
        return n;
    }

  private:
    std::vector<T> FData;
    std::size_t FMask;
    std::atomic<std::size_t> FHead{0}; // samples ever written
    std::atomic<std::size_t> FTail{0}; // samples ever read
};

using TMMSampleRing = TSampleRing<std::int16_t>;
