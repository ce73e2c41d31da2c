#include "audio/MMPeakTick.h"

#include "audio/MMFrameTimer.h"
#include "platform/MMError.h"

#include <algorithm>

TMMPeakTickService::TMMPeakTickService(TMMTimerSource *Source)
    : FSource(Source ? Source : &SystemTimerSource()) {}

TMMPeakTickService::~TMMPeakTickService() {
    std::lock_guard<std::mutex> start(FStartLock);
    FClientCount.store(0);
    StopTimer();
}

TMMPeakTickService &TMMPeakTickService::Instance() {
    // Destroyed at process end, which stops a timer still running. Its ticks ride
    // the screen's frames, or the passes while nothing shows: its clients only feed
    // the screen.
    static TMMPeakTickService service(&FrameTimerSource());
    return service;
}

void TMMPeakTickService::TimeCallback(unsigned, unsigned, std::uintptr_t dwUser, std::uintptr_t,
                                      std::uintptr_t) {
    reinterpret_cast<TMMPeakTickService *>(dwUser)->Tick();
}

TMMPeakTickEntry *TMMPeakTickService::Register(int IntervalMs, int SuspendCount, TMMPeakTickProc Callback,
                                               void *Data) {
    // From inside a callback the timer is running already (and the lock that
    // serialises starting and stopping may be held by a thread waiting for this tick).
    const bool onTick = FTickThread.load() == std::this_thread::get_id();
    std::unique_lock<std::mutex> start(FStartLock, std::defer_lock);
    if (!onTick) start.lock();
    if (FClientCount.fetch_add(1) == 0 && !onTick) {
        timeBeginPeriod(TickMs);
        const unsigned id =
            FSource->SetEvent(TickMs, 0, TimeCallback, reinterpret_cast<std::uintptr_t>(this), TIME_PERIODIC);
        if (id == 0) {
            FClientCount.store(0);
            timeEndPeriod(TickMs);
            return nullptr;
        }
        FTimerID.store(id);
    }
    auto entry = std::make_unique<TMMPeakTickEntry>();
    entry->Interval = std::max(IntervalMs, TickMs);
    entry->Callback = std::move(Callback);
    entry->Data = Data;
    entry->SuspendCount = std::max(SuspendCount, 0); // a negative count could never be resumed
    TMMPeakTickEntry *result = entry.get();
    std::lock_guard<std::recursive_mutex> lock(FLock);
    FEntries.push_back(std::move(entry));
    return result;
}

namespace {

template <class List> bool Contains(const List &Entries, const TMMPeakTickEntry *Entry) {
    return std::any_of(Entries.begin(), Entries.end(), [Entry](const auto &e) { return e.get() == Entry; });
}

} // namespace

void TMMPeakTickService::Suspend(TMMPeakTickEntry *Entry) {
    if (!Running() || Entry == nullptr) return;
    std::lock_guard<std::recursive_mutex> lock(FLock);
    if (!Contains(FEntries, Entry)) return;
    ++Entry->SuspendCount;
    Entry->Elapsed = 0;
}

void TMMPeakTickService::Resume(TMMPeakTickEntry *Entry) {
    if (!Running() || Entry == nullptr) return;
    std::lock_guard<std::recursive_mutex> lock(FLock);
    if (!Contains(FEntries, Entry)) return;
    if (Entry->SuspendCount > 0) --Entry->SuspendCount;
}

void TMMPeakTickService::Unregister(TMMPeakTickEntry *Entry) {
    if (Entry == nullptr) return;
    const bool onTick = FTickThread.load() == std::this_thread::get_id();
    std::unique_lock<std::mutex> start(FStartLock, std::defer_lock);
    if (!onTick) start.lock();
    {
        std::lock_guard<std::recursive_mutex> lock(FLock);
        auto it = std::find_if(FEntries.begin(), FEntries.end(),
                               [Entry](const auto &e) { return e.get() == Entry; });
        if (it == FEntries.end() ||
            std::find(FRemovedInTick.begin(), FRemovedInTick.end(), Entry) != FRemovedInTick.end())
            return;
        if (onTick) { // the pass in progress still walks the list: free it afterwards
            Entry->Callback = nullptr;
            FRemovedInTick.push_back(Entry);
        } else {
            FEntries.erase(it);
        }
    }
    if (FClientCount.fetch_sub(1) == 1) StopTimer();
}

void TMMPeakTickService::StopTimer() {
    // Outside the list's lock: the tick being waited for may need it.
    if (const unsigned id = FTimerID.exchange(0)) {
        FSource->KillEvent(id);
        timeEndPeriod(TickMs);
    }
    std::lock_guard<std::recursive_mutex> lock(FLock);
    if (FTickThread.load() == std::this_thread::get_id()) { // inside a pass: it frees what is left
        for (auto &e : FEntries) {
            if (std::find(FRemovedInTick.begin(), FRemovedInTick.end(), e.get()) == FRemovedInTick.end())
                FRemovedInTick.push_back(e.get());
            e->Callback = nullptr;
        }
        return;
    }
    FEntries.clear();
    FRemovedInTick.clear();
}

void TMMPeakTickService::Tick() {
    if (FBusy.fetch_add(1) == 0) { // a tick still running makes this one pass
        std::lock_guard<std::recursive_mutex> lock(FLock);
        FTickThread.store(std::this_thread::get_id());
        // Entries registered during the pass wait for the next one.
        const std::size_t count = FEntries.size();
        for (std::size_t i = 0; i < count && i < FEntries.size(); ++i) {
            TMMPeakTickEntry *entry = FEntries[i].get();
            if (entry->SuspendCount != 0 || !entry->Callback) continue;
            entry->Elapsed += TickMs;
            if (entry->Elapsed < entry->Interval) continue;
            try {
                entry->Callback(entry, entry->Data);
            } catch (...) {
                HandleApplicationException(std::current_exception());
            }
            entry->Elapsed = 0;
        }
        for (TMMPeakTickEntry *removed : FRemovedInTick)
            std::erase_if(FEntries, [removed](const auto &e) { return e.get() == removed; });
        FRemovedInTick.clear();
        FTickThread.store(std::thread::id{});
    }
    FBusy.fetch_sub(1);
}

TMMPeakTickEntry *PeakTickRegister(int IntervalMs, int SuspendCount, TMMPeakTickProc Callback, void *Data) {
    return TMMPeakTickService::Instance().Register(IntervalMs, SuspendCount, std::move(Callback), Data);
}

void PeakTickSuspend(TMMPeakTickEntry *Entry) {
    TMMPeakTickService::Instance().Suspend(Entry);
}

void PeakTickResume(TMMPeakTickEntry *Entry) {
    TMMPeakTickService::Instance().Resume(Entry);
}

void PeakTickUnregister(TMMPeakTickEntry *Entry) {
    TMMPeakTickService::Instance().Unregister(Entry);
}
