#pragma once

// Three equal buffers handed from one writer to one reader without either ever
// waiting for the other. The writer fills its back buffer and publishes it; the
// reader takes the newest published buffer as its front and reads it for as long
// as it likes. A buffer published before the reader took the one published
// earlier replaces it, and the writer fills the older one again. Neither side
// ever touches a buffer the other holds.
//
// Threads: Back and Publish on the writer's side, Take, Front and FrontBytes on
// the reader's, one thread (or one lock) per side. Allocate, Release, Fill and
// NewestBytes touch both sides' buffers: the caller keeps both sides out.

#include <atomic>
#include <cstring>
#include <vector>

class TMMTripleBuffer {
  public:
    // Three zero-filled buffers of size bytes, none published yet.
    void Allocate(int size) {
        FSize = size > 0 ? size : 0;
        FData.assign(static_cast<std::size_t>(FSize) * 3, 0);
        FBytes[0] = FBytes[1] = FBytes[2] = 0;
        FBack = 0;
        FState.store(1, std::memory_order_relaxed);
        FFront = 2;
    }
    void Release() {
        FData = {};
        FSize = 0;
        FBytes[0] = FBytes[1] = FBytes[2] = 0;
    }
    int Size() const { return FSize; }

    // Writer: the buffer to fill; then Publish hands it over with its valid bytes.
    char *Back() { return Buffer(FBack); }
    void Publish(int bytes) {
        FBytes[FBack] = bytes;
        FBack = FState.exchange(FBack | Fresh, std::memory_order_acq_rel) & IndexMask;
    }

    // Reader: makes the newest published buffer the front; false when nothing was
    // published since the last Take (the front stays).
    bool Take() {
        // Only the reader clears the flag, so it cannot vanish between the two steps.
        if ((FState.load(std::memory_order_acquire) & Fresh) == 0) return false;
        FFront = FState.exchange(FFront, std::memory_order_acq_rel) & IndexMask;
        return true;
    }
    // Either side: a buffer was published that the reader has not taken yet.
    bool Pending() const { return (FState.load(std::memory_order_acquire) & Fresh) != 0; }
    const char *Front() const { return Buffer(FFront); }
    int FrontBytes() const { return FBytes[FFront]; }

    // Both sides kept out: the valid bytes of the newest buffer, taken or not.
    int NewestBytes() const {
        const unsigned state = FState.load(std::memory_order_relaxed);
        return FBytes[(state & Fresh) != 0 ? state & IndexMask : FFront];
    }
    // Both sides kept out: every byte of all three buffers := value.
    void Fill(char value) {
        if (!FData.empty()) std::memset(FData.data(), value, FData.size());
    }

  private:
    static constexpr unsigned IndexMask = 3;
    static constexpr unsigned Fresh = 4; // the middle buffer was published and not yet taken

    char *Buffer(unsigned index) { return FData.data() + static_cast<std::size_t>(index) * FSize; }
    const char *Buffer(unsigned index) const {
        return FData.data() + static_cast<std::size_t>(index) * FSize;
    }

    std::vector<char> FData;
    int FSize = 0;
    int FBytes[3] = {0, 0, 0}; // each written by the side that holds the buffer
    unsigned FBack = 0;        // writer's
    unsigned FFront = 2;       // reader's
    // The middle buffer's index and the Fresh flag; the exchange is the hand-over.
    std::atomic<unsigned> FState{1};
};
