#pragma once

// The wave input's buffer pool: blocks are handed out and taken back without
// going to the system, and returned to it only by FreeAll. Any thread.

#include <cstddef>
#include <mutex>
#include <vector>

constexpr unsigned GMEM_ZEROINIT = 0x0040; // a new block starts zero-filled (a reused one keeps its bytes)

class TMMAllocator {
  public:
    TMMAllocator() = default;
    ~TMMAllocator();
    TMMAllocator(const TMMAllocator &) = delete;
    TMMAllocator &operator=(const TMMAllocator &) = delete;

    // A free block of exactly size bytes if there is one, else the first free one at
    // least that large, else a new zero-filled block. Null when memory runs out.
    char *Allocate(unsigned flags, std::size_t size);
    // Marks the block in slot free and clears the slot; the memory stays in the pool.
    void Release(char *&slot);
    // Returns every block to the system.
    void FreeAll();

    // Blocks held / in use (for tests and diagnostics).
    std::size_t Count() const;
    std::size_t InUse() const;

  private:
    struct TEntry {
        char *Block;
        std::size_t Size;
        int InUse;
    };
    mutable std::mutex FLock;
    std::vector<TEntry> FEntries;
};
