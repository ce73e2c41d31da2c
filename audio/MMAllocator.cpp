#include "audio/MMAllocator.h"

#include <new>

TMMAllocator::~TMMAllocator() {
    FreeAll();
}

char *TMMAllocator::Allocate(unsigned flags, std::size_t size) {
    (void)flags; // new blocks are always zero-filled
    std::lock_guard lock(FLock);
    TEntry *larger = nullptr;
    for (TEntry &entry : FEntries) {
        if (entry.InUse != 0 || entry.Size < size) continue;
        if (entry.Size == size) {
            entry.InUse = 1;
            return entry.Block;
        }
        if (larger == nullptr) larger = &entry;
    }
    if (larger != nullptr) {
        larger->InUse = 1;
        return larger->Block;
    }
    char *block = new (std::nothrow) char[size]();
    if (block == nullptr) return nullptr;
    try {
        FEntries.push_back(TEntry{block, size, 1});
    } catch (const std::bad_alloc &) {
        delete[] block;
        return nullptr;
    }
    return block;
}

void TMMAllocator::Release(char *&slot) {
    if (slot == nullptr) return;
    std::lock_guard lock(FLock);
    for (TEntry &entry : FEntries)
        if (entry.Block == slot) entry.InUse = 0;
    slot = nullptr;
}

void TMMAllocator::FreeAll() {
    std::lock_guard lock(FLock);
    for (TEntry &entry : FEntries)
        delete[] entry.Block;
    FEntries.clear();
}

std::size_t TMMAllocator::Count() const {
    std::lock_guard lock(FLock);
    return FEntries.size();
}

std::size_t TMMAllocator::InUse() const {
    std::lock_guard lock(FLock);
    std::size_t n = 0;
    for (const TEntry &entry : FEntries)
        n += entry.InUse != 0 ? 1 : 0;
    return n;
}
