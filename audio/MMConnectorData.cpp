// The connector's data path: buffers taken in on the delivering thread, and the
// pass that hands the displays their blocks as they fall due.

#include "audio/MMConnector.h"
#include "audio/MMConnectorShared.h"

#include <QScopeGuard>

#include <algorithm>
#include <cstring>
#include <utility>

// --- Data ------------------------------------------------------------------------

void TMMConnector::BufferReady(PWaveHdr lpWaveHdr) {
    if (lpWaveHdr != nullptr)
        TakeIn(lpWaveHdr->lpData,
               static_cast<int>(std::min<std::uint32_t>(lpWaveHdr->dwBytesRecorded, 0x7FFFFFFF)));
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMConnector::BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers) {
    TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
    if (lpWaveHdr != nullptr)
        TakeIn(lpWaveHdr->lpData,
               static_cast<int>(std::min<std::uint32_t>(lpWaveHdr->dwBytesRecorded, 0x7FFFFFFF)));
}

void TMMConnector::TakeIn(const char *Data, int Bytes) {
    if (!FEnabled || FPaused || !(FInputIsPCM || FConverting) || Data == nullptr || Bytes <= 0) return;
    const std::int64_t arrival = FClock();
    bool flagged = false; // a group has blocks to show: the loop has work
    {
        std::unique_lock lock = LockForIntake();
        // Not running, or paused while this buffer was on its way.
        if (FBuffers.Size() == 0 || FPaused) return;
        int valid;
        if (FConverting) {
            valid = std::min(Bytes, static_cast<int>(FCopyBuffer.size()));
            std::memcpy(FCopyBuffer.data(), Data, valid);
            valid = FConverter->Convert(valid);
            if (valid <= 0) return;
            std::memcpy(FBuffers.Back(), FConverter->Output(), valid);
        } else {
            valid = std::min(Bytes, FBuffers.Size());
            std::memcpy(FBuffers.Back(), Data, valid);
        }
        // A pass may come only after the next buffer (paced against a screen, or the
        // buffer came early): what is left of the buffer being shown goes out first.
        // While an earlier buffer waits untaken, the positions are that one's and the
        // carry stays.
        const bool carry = FSynchronize && ServedByLoop() && !FBuffers.Pending();
        if (carry) FCarryArrival = FArrival;
        if (FBuffers.Pending()) FStreamBroken = true;
        FBuffers.Publish(valid);
        FArrival = arrival;
        for (TGroup &g : FGroups)
            if (g.Attached) {
                if (carry) g.Carry = g.NewData ? g.ReadPos.load() : -1;
                g.ReadPos = 0;
                g.NewData = true;
                flagged = true;
            }
    }
    if (!FRealTime && FAutoTrigger)
        Refresh();
    else if (flagged)
        WakeTriggerLoop();
}

// Takes FLock, and keeps the longest wait: the capture thread must never queue
// behind a display. Only a lock that is not free at once costs two clock reads.
std::unique_lock<std::mutex> TMMConnector::LockForIntake() {
    std::unique_lock lock(FLock, std::try_to_lock);
    if (lock.owns_lock()) return lock;
    const auto start = std::chrono::steady_clock::now();
    lock.lock();
    const std::int64_t waited =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
            .count();
    std::int64_t longest = FLongestIntakeWait.load();
    while (waited > longest && !FLongestIntakeWait.compare_exchange_weak(longest, waited)) {
    }
    return lock;
}

void TMMConnector::Refresh() {
    if (!FEnabled || !(FTriggering || (!FRealTime && FRunning))) return;
    {
        std::lock_guard draw(FDrawLock);
        if (FBuffers.Size() == 0) return;
        // Blocks falling due while this pass draws wait for the next pass: a pass
        // ends even when drawing is slower than the sound.
        const std::int64_t now = FClock();
        ForEachDisplay([](TMMConnectorDisplay &d) { d.BeginPass(); });
        const auto ended =
            qScopeGuard([this] { ForEachDisplay([](TMMConnectorDisplay &d) { d.EndPass(); }); });
        // Left over from the buffer a newer one replaces: all due, since sound
        // recorded after them has arrived.
        for (int gi = 0; gi < GroupCount; ++gi) {
            const int w = GroupBlockBytes(gi);
            while (const char *block = NextCarried(gi, w)) {
                HandBlock(gi, block);
                ++FGroups[gi].Blocks;
            }
        }
        for (int gi = 0; gi < GroupCount; ++gi) {
            const int w = GroupBlockBytes(gi);
            for (bool more = true; more;) {
                const char *block = NextBlock(gi, w, now, more);
                if (block == nullptr) break;
                HandBlock(gi, block);
                ++FGroups[gi].Blocks;
            }
        }
    }
    if (FOnTrigger) FOnTrigger(this);
}

// Under FDrawLock, before the pass takes the newest buffer: the group's next block
// left over in the one being shown, else null.
const char *TMMConnector::NextCarried(int Group, int BlockBytes) {
    TGroup &g = FGroups[Group];
    const bool ready = ReadyPartial(g, BlockBytes);
    std::lock_guard lock(FLock);
    const int pos = g.Carry;
    if (pos < 0) return nullptr;
    const int start = pos - g.PartialBytes;
    int next = pos;
    const char *block = ready ? CutBlock(g, pos, BlockBytes, next) : nullptr;
    if (block == nullptr) {
        g.Carry = -1;
        return nullptr;
    }
    g.Carry = next;
    FHanded = {start, FCarryArrival};
    return block;
}

// Under FDrawLock: the group's next block if it is due, else null. Paced, a pass
// hands out every block that has fallen due, so a main thread that was held up
// still shows all of the sound, and never early; unpaced, one block per pass
// (More := false). A block falls due at the time of its first frame, which for
// one completed from the buffer before lies before this buffer's arrival.
const char *TMMConnector::NextBlock(int Group, int BlockBytes, std::int64_t Now, bool &More) {
    TGroup &g = FGroups[Group];
    const bool ready = ReadyPartial(g, BlockBytes);
    std::lock_guard lock(FLock);
    // The newest buffer, whose positions intake has set back to 0. When one before it
    // was never taken, no block joins the sound on both sides of the gap.
    if (FBuffers.Take()) {
        ClearCarries();
        if (std::exchange(FStreamBroken, false)) ClearPartials();
    }
    if (!g.NewData) return nullptr;
    // A block of zero bytes would be handed out for ever.
    if (!ready) {
        g.NewData = false;
        return nullptr;
    }
    const int pos = g.ReadPos.load();
    const int start = pos - g.PartialBytes;
    const std::uint32_t bytesPerSec = FBytesPerSec;
    if (FSynchronize && bytesPerSec > 0) {
        const std::int64_t due = std::int64_t(start) * 1000000 / bytesPerSec;
        if (Now - FArrival.load() < due) return nullptr;
    } else {
        More = false;
    }
    int next = pos;
    const char *block = CutBlock(g, pos, BlockBytes, next);
    g.ReadPos = next;
    if (block == nullptr) {
        g.NewData = false;
        return nullptr;
    }
    FHanded = {start, FArrival.load()};
    return block;
}

// Under FDrawLock: whether the group can cut blocks of BlockBytes; its partial block
// has room for one, and one begun at another size is dropped.
bool TMMConnector::ReadyPartial(TGroup &Group, int BlockBytes) {
    if (BlockBytes <= 0) return false;
    if (Group.PartialBytes >= BlockBytes) Group.PartialBytes = 0;
    if (static_cast<int>(Group.Partial.size()) < BlockBytes) Group.Partial.resize(BlockBytes);
    return true;
}

const char *TMMConnector::CutBlock(TGroup &Group, int Pos, int BlockBytes, int &Next) {
    const int end = FBuffers.FrontBytes();
    const int need = BlockBytes - Group.PartialBytes;
    const char *from = FBuffers.Front() + Pos;
    if (Pos + need > end) {
        const int tail = std::max(0, end - Pos);
        std::memcpy(Group.Partial.data() + Group.PartialBytes, from, tail);
        Group.PartialBytes += tail;
        Next = end;
        return nullptr;
    }
    Next = Pos + need;
    if (Group.PartialBytes == 0) return from;
    std::memcpy(Group.Partial.data() + Group.PartialBytes, from, need);
    Group.PartialBytes = 0;
    return Group.Partial.data();
}

std::int64_t TMMConnector::LastDueBy(std::int64_t Limit, std::int64_t DueIn) const {
    const std::uint32_t bytesPerSec = FBytesPerSec;
    if (!FSynchronize || bytesPerSec == 0) return DueIn;
    const std::int64_t elapsed = FClock() - FArrival.load();
    const std::int64_t end = FBuffers.FrontBytes();
    for (int gi = 0; gi < GroupCount; ++gi) {
        const TGroup &g = FGroups[gi];
        const std::int64_t w = GroupBlockBytes(gi);
        if (!g.NewData || w <= 0) continue;
        for (std::int64_t pos = g.ReadPos.load() - g.PartialBytes; pos + w <= end; pos += w) {
            const std::int64_t in = pos * 1000000 / bytesPerSec - elapsed;
            if (in > Limit) break;
            DueIn = std::max(DueIn, in);
        }
    }
    return DueIn;
}

bool TMMConnector::PendingBlock(std::int64_t &DueIn) const {
    const std::uint32_t bytesPerSec = FBytesPerSec;
    const bool paced = FSynchronize && bytesPerSec > 0;
    const std::int64_t elapsed = paced ? FClock() - FArrival.load() : 0;
    bool pending = false;
    for (const TGroup &g : FGroups) {
        if (g.Carry >= 0) {
            DueIn = 0;
            return true;
        }
    }
    for (const TGroup &g : FGroups) {
        if (!g.NewData) continue;
        const std::int64_t start = g.ReadPos.load() - g.PartialBytes;
        const std::int64_t in = paced ? start * 1000000 / bytesPerSec - elapsed : 0;
        DueIn = pending ? std::min(DueIn, in) : in;
        pending = true;
    }
    return pending;
}
