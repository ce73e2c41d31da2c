#include "audio/MMConnector.h"
#include "audio/MMConnectorShared.h"
#include "audio/MMFrameRide.h"

#include "audio/MMHiTimer.h"
#include "audio/MMPeakTick.h"
#include "audio/MMThread.h"
#include "platform/MMTimer.h"
#include "platform/MicrosecondClock.h"

#include <QScopeGuard>

#include <algorithm>
#include <cstring>

// --- Creation and destruction --------------------------------------------------

TMMConnector::TMMConnector() : FTickService(&TMMPeakTickService::Instance()), FClock(MicrosecondClock) {
    SetAcceptsInput(true);
    SetAcceptsOutput(true);
    FPort = std::make_unique<TMMConnectorPort>(this);
    if (QCoreApplication *app = QCoreApplication::instance()) FPort->moveToThread(app->thread());

    // Created enabled, so it ticks from creation; each tick is ignored until the
    // timer trigger applies.
    FTimer = std::make_unique<TMMHiTimer>();
    FTimer->SetCallBackMode(cmWindow);
    FTimer->SetInterval(20);
    FTimer->SetOnTimer([this](TObject *) { TimerTick(); });
    FTimer->SetTickIgnored([this] { return FAutoTrigger.load() && FTriggerMethod.load() != tmTimer; });

    if (!IsDesigning()) timeBeginPeriod(1);
    TShared &s = Shared();
    {
        std::lock_guard lock(s.Lock);
        s.List.push_back(this);
        if (s.Window == nullptr && QCoreApplication::instance() != nullptr) {
            s.Window = new TMMConnectorWindow;
            s.Window->moveToThread(QCoreApplication::instance()->thread());
            s.WakeFd = s.Window->WakeFd();
            TMMFrameRide::SetFramePass(&TMMConnector::FramePass);
        }
    }
    RecomputeLargestSpeed();
}

TMMConnector::~TMMConnector() {
    Destroying();
    Stopped();
    StopPausedRefresh();
    timeEndPeriod(1);
    QCoreApplication::removePostedEvents(FPort.get());
    bool last = false;
    TShared &s = Shared();
    {
        std::lock_guard lock(s.Lock);
        s.List.erase(std::remove(s.List.begin(), s.List.end(), this), s.List.end());
        last = s.List.empty();
    }
    if (last) {
        TMMConnectorWindow *window = nullptr;
        {
            std::lock_guard lock(s.Lock);
            std::swap(window, s.Window);
            s.WakeFd = -1;
        }
        TMMFrameRide::SetFramePass(nullptr);
        if (window != nullptr) {
            QCoreApplication::removePostedEvents(window);
            // The last connector may go while the window is handling a loop event.
            if (QCoreApplication::instance() != nullptr)
                window->deleteLater();
            else
                delete window;
        }
        s.LoopPosted = false;
        s.LoopFailed = false;
    }
    RecomputeLargestSpeed();
    FTimer->SetEnabled(false);
    FTimer.reset();
    for (int g = 0; g < GroupCount; ++g)
        for (int i = 0; i < SlotCount; ++i) {
            TMMConnectorDisplay *d = FSlots[g][i];
            FSlots[g][i] = nullptr;
            if (d != nullptr) ReleaseDisplay(d);
        }
}

// --- Properties -----------------------------------------------------------------

void TMMConnector::SetEnabled(bool Value) {
    if (Value == FEnabled) return;
    FEnabled = Value;
    if (IsDesigning()) return;
    if (!Value) {
        StopTriggering();
        RemoveIdleHandlerWhenIdle();
        ClearDisplays();
    } else if (FRunning && FRealTime) {
        if (FAutoTrigger && FTriggerMethod == tmMessage && EnterIdle()) InstallIdleHandler();
        PostStartTrigger();
    }
}

void TMMConnector::SetAutoTrigger(bool Value) {
    if (Value == FAutoTrigger) return;
    FAutoTrigger = Value;
    if (IsDesigning()) return;
    if (!Value) {
        StopTriggering();
        RemoveIdleHandlerWhenIdle();
    } else if (FRunning && FEnabled && FRealTime) {
        if (FTriggerMethod == tmMessage && EnterIdle()) InstallIdleHandler();
        PostStartTrigger();
    }
}

void TMMConnector::SetTriggerMethod(TMMTriggerMethod Value) {
    if (Value == FTriggerMethod) return;
    const TMMTriggerMethod old = FTriggerMethod;
    if (old == tmMessage) FTimer->SetEnabled(false);
    // A connector being served moves over to the new method at once, so that
    // neither the running count nor the internal timer is left behind.
    const bool serving = FTriggering && FAutoTrigger && !IsDesigning();
    if (serving) {
        LeaveRunningCount();
        if (old == tmTimer) FTimer->SetEnabled(false);
    }
    FTriggerMethod = Value;
    if (serving) {
        StartTrigger();
        RemoveIdleHandlerWhenIdle();
    }
}

void TMMConnector::SetSpeed(int Value) {
    FSpeed = MinMax(Value, 1, 5000);
    if (!IsDesigning()) RecomputeLargestSpeed();
}

void TMMConnector::SetSynchronize(bool Value) {
    if (Value == FSynchronize) return;
    FSynchronize = Value;
    // Unpaced, every group with data has a block due at once.
    if (!Value) WakeTriggerLoop();
}

void TMMConnector::SetRealTime(bool Value) {
    if (Value == FRealTime) return;
    if (IsOpened()) throw EMMConnectorError("Change to property while device was open");
    FRealTime = Value;
}

bool TMMConnector::EnterIdle() {
    return Shared().EnterIdle.load();
}
void TMMConnector::SetEnterIdle(bool Value) {
    Shared().EnterIdle = Value;
}

int TMMConnector::RunningCount() {
    return Shared().RunningCount.load();
}
int TMMConnector::LargestSpeed() {
    return Shared().LargestSpeed.load();
}
bool TMMConnector::IdleHandlerInstalled() {
    return Shared().IdleHandler != nullptr;
}
int TMMConnector::ConnectorCount() {
    TShared &s = Shared();
    std::lock_guard lock(s.Lock);
    return static_cast<int>(s.List.size());
}

void TMMConnector::SetClock(TMMClock Clock) {
    FClock = Clock ? std::move(Clock) : TMMClock(MicrosecondClock);
}

void TMMConnector::SetPeakTickService(TMMPeakTickService *Service) {
    FTickService = Service != nullptr ? Service : &TMMPeakTickService::Instance();
}

int TMMConnector::ValidBytes() const {
    std::lock_guard draw(FDrawLock);
    std::lock_guard lock(FLock);
    return FBuffers.NewestBytes();
}

int TMMConnector::DisplayBufferSize() const {
    std::lock_guard lock(FLock);
    return FBuffers.Size();
}

// --- Display row -------------------------------------------------------------

TMMConnectorDisplay *TMMConnector::Display(int Group, int Index) const {
    std::lock_guard draw(FDrawLock);
    return FSlots[Group][Index];
}

TMMBlockDisplay *TMMConnector::Block(TMMDisplayGroup Group, int Index) const {
    return static_cast<TMMBlockDisplay *>(Display(Group, Index));
}

TMMSpectrumDisplay *TMMConnector::Spectrum(int Index) const {
    return static_cast<TMMSpectrumDisplay *>(Display(dgSpectra, Index));
}

void TMMConnector::SetSlot(TMMDisplayGroup Group, int Index, TMMConnectorDisplay *Value) {
    TMMConnectorDisplay *old = nullptr;
    {
        // A display being drawn on another thread is done with before it leaves its slot.
        std::lock_guard draw(FDrawLock);
        std::lock_guard lock(FLock);
        auto &row = FSlots[Group];
        if (row[Index] == Value) return;
        // The two row of a level or meter pair never hold the same display.
        if (Group != dgSpectra && Value != nullptr && row[1 - Index] == Value) return;
        old = row[Index];
        row[Index] = Value;
        FGroups[Group].NewData = false;
        UpdateAttached(Group);
    }
    if (old != nullptr) ReleaseDisplay(old);
    if (Value != nullptr) {
        auto &list = Value->FConnectors;
        if (std::find(list.begin(), list.end(), this) == list.end()) list.push_back(this);
        HandFormatToDisplays();
    }
}

// Drops this connector from the display's back-list once no slot refers to it.
void TMMConnector::ReleaseDisplay(TMMConnectorDisplay *Display) {
    {
        std::lock_guard draw(FDrawLock);
        for (const auto &row : FSlots)
            if (std::find(row.begin(), row.end(), Display) != row.end()) return;
    }
    auto &list = Display->FConnectors;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void TMMConnector::DisplayGone(TMMConnectorDisplay *Display) {
    std::lock_guard draw(FDrawLock);
    std::lock_guard lock(FLock);
    for (int g = 0; g < GroupCount; ++g) {
        bool changed = false;
        for (auto &slot : FSlots[g])
            if (slot == Display) {
                slot = nullptr;
                changed = true;
            }
        if (changed) UpdateAttached(g);
    }
}

void TMMConnector::UpdateAttached(int Group) {
    const auto &row = FSlots[Group];
    FGroups[Group].Attached =
        std::any_of(row.begin(), row.end(), [](const TMMConnectorDisplay *d) { return d != nullptr; });
    if (!FGroups[Group].Attached) FGroups[Group].NewData = false;
}

int TMMConnector::GroupBlockBytes(int Group) const {
    int w = 0;
    for (const TMMConnectorDisplay *d : FSlots[Group])
        if (d != nullptr) w = std::max(w, d->BlockBytes());
    return w;
}

template <typename F> void TMMConnector::ForEachDisplay(F &&Call) {
    for (const auto &row : FSlots)
        for (TMMConnectorDisplay *d : row)
            if (d != nullptr) Call(*d);
}

void TMMConnector::HandBlock(int Group, const char *Data) {
    for (TMMConnectorDisplay *d : FSlots[Group]) {
        if (d == nullptr) continue;
        if (Group == dgSpectra)
            static_cast<TMMSpectrumDisplay *>(d)->RefreshPCMData(Data);
        else
            static_cast<TMMBlockDisplay *>(d)->ProcessBlock(Data);
    }
}

void TMMConnector::ClearDisplays() {
    std::lock_guard draw(FDrawLock);
    ForEachDisplay([](TMMConnectorDisplay &d) { d.ResetData(); });
}

TMMConnectorDisplay::~TMMConnectorDisplay() {
    DetachFromConnectors();
}

void TMMConnectorDisplay::DetachFromConnectors() {
    const std::vector<TMMConnector *> connectors = std::move(FConnectors);
    FConnectors.clear();
    for (TMMConnector *c : connectors)
        c->DisplayGone(this);
}

// --- Format ----------------------------------------------------------------------

void TMMConnector::SetPWaveFormat(const TWaveFormatEx *Value) {
    TMMDSPComponent::SetPWaveFormat(Value);
    HandFormatToDisplays();
}

void TMMConnector::HandFormatToDisplays() {
    const TWaveFormatEx *input = PWaveFormat();
    if (input == nullptr) return;
    TWaveFormatEx suggested;
    const TWaveFormatEx *format = nullptr;
    if (FRunning) {
        format = FDisplayFormat.get();
    } else {
        FInputIsPCM = IsValidPCMFormat(input);
        FConverting = false;
        if (FInputIsPCM) {
            format = input;
        } else if (FAutoConvert && TMMPCMConverter::SuggestPCMFormat(input, suggested)) {
            // Whether a converter can be made for the pair: try one on a single frame.
            std::vector<char> probe(std::max<int>(input->nBlockAlign, 1));
            if (TMMPCMConverter::Create(input, suggested, probe.data(), static_cast<int>(probe.size()))) {
                FConverting = true;
                format = &suggested;
            }
        }
    }
    if (format == nullptr) return;
    FSilence = format->wBitsPerSample == 8 ? 128 : 0;
    std::array<TMMConnectorDisplay *, GroupCount * SlotCount> displays{};
    {
        std::lock_guard draw(FDrawLock);
        int n = 0;
        for (const auto &row : FSlots)
            for (TMMConnectorDisplay *d : row)
                displays[n++] = d;
    }
    for (TMMConnectorDisplay *d : displays)
        if (d != nullptr) d->SetWaveFormat(format);
}

// --- Chain notifications -------------------------------------------------------

void TMMConnector::Started() {
    TMMDSPComponent::Started();
    const TWaveFormatEx *input = PWaveFormat();
    if (IsDesigning() || input == nullptr || FRunning) return;
    const int size = std::max(GetBufferSize(), 0);
    FInputIsPCM = IsValidPCMFormat(input);
    FConverting = false;
    bool haveData = false;
    {
        std::lock_guard draw(FDrawLock);
        std::lock_guard lock(FLock);
        FConverter.reset();
        FDisplayFormat.reset();
        FBuffers.Release();
        FCopyBuffer = {};
        TWaveFormatEx pcm;
        if (FInputIsPCM) {
            FDisplayFormat = CopyWaveFormat(input);
            FBuffers.Allocate(size);
        } else if (FAutoConvert && TMMPCMConverter::SuggestPCMFormat(input, pcm)) {
            FDisplayFormat = CopyWaveFormat(&pcm);
            FCopyBuffer.assign(size, 0);
            FConverter = TMMPCMConverter::Create(input, pcm, FCopyBuffer.data(), size);
            if (FConverter && FConverter->OutputSize() > 0) {
                FConverting = true;
                FBuffers.Allocate(FConverter->OutputSize());
            } else {
                FConverter.reset();
                FCopyBuffer = {};
                FDisplayFormat.reset();
            }
        }
        FBytesPerSec = FDisplayFormat ? FDisplayFormat->nAvgBytesPerSec : 0;
        for (TGroup &g : FGroups) {
            g.NewData = false;
            g.ReadPos = 0;
        }
        haveData = FBuffers.Size() > 0;
    }
    if (!(FInputIsPCM || FConverting) || !haveData) return;
    RecomputeLargestSpeed();
    FRunning = true;
    HandFormatToDisplays();
    if (FEnabled && FRealTime) {
        if (FAutoTrigger && FTriggerMethod == tmMessage && EnterIdle()) InstallIdleHandler();
        PostStartTrigger();
    }
}

void TMMConnector::Paused() {
    TMMDSPComponent::Paused();
    if (!FRunning || FPaused) return;
    FPaused = true;
    FillSilence();
    if (FRealTime) {
        for (TGroup &g : FGroups)
            g.NewData = false;
        StartPausedRefresh();
    }
}

void TMMConnector::Restarted() {
    TMMDSPComponent::Restarted();
    FPaused = false;
    StopPausedRefresh();
}

void TMMConnector::Reseted() {
    TMMDSPComponent::Reseted();
    if (FRunning) FillSilence();
}

void TMMConnector::Stopped() {
    if (FRunning && !IsDesigning()) {
        FRunning = false;
        if (FTriggering) {
            if (FAutoTrigger && FTriggerMethod == tmTimer && FTimer) FTimer->SetEnabled(false);
            StopTriggering();
        }
        RemoveIdleHandlerWhenIdle();
        FPaused = false;
        StopPausedRefresh();
        ReleaseBuffers();
        if (FRefreshOnStop) ClearDisplays();
    }
    TMMDSPComponent::Stopped();
}

// All three buffers, so that whichever is shown next is silent.
void TMMConnector::FillSilence() {
    std::lock_guard draw(FDrawLock);
    std::lock_guard lock(FLock);
    FBuffers.Fill(static_cast<char>(FSilence.load()));
    ClearCarries();
}

void TMMConnector::ClearCarries() {
    for (TGroup &g : FGroups)
        g.Carry = -1;
}

void TMMConnector::ReleaseBuffers() {
    std::lock_guard draw(FDrawLock);
    std::lock_guard lock(FLock);
    FConverter.reset();
    FDisplayFormat.reset();
    FCopyBuffer = {};
    FBuffers.Release();
    FBytesPerSec = 0;
    FConverting = false;
    for (TGroup &g : FGroups)
        g.NewData = false;
    ClearCarries();
}

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
        // Paced against a screen, a pass may come only after the next buffer: what
        // is left of the buffer being shown goes out first. While an earlier buffer
        // waits untaken, the positions are that one's and the carry stays.
        const bool carry = FSynchronize && ServedByLoop() && TMMFrameRide::HasSource() && !FBuffers.Pending();
        if (carry) FCarryArrival = FArrival;
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

// Under FDrawLock: the group's next block if it is due, else null. Paced, a pass
// hands out every block that has fallen due, so a main thread that was held up
// still shows all of the sound, and never early; unpaced, one block per pass
// (More := false).
// Under FDrawLock, before the pass takes the newest buffer: the group's next block
// left over in the one being shown, else null.
const char *TMMConnector::NextCarried(int Group, int BlockBytes) {
    TGroup &g = FGroups[Group];
    std::lock_guard lock(FLock);
    const int pos = g.Carry;
    if (pos < 0) return nullptr;
    if (BlockBytes <= 0 || pos + BlockBytes > FBuffers.FrontBytes()) {
        g.Carry = -1;
        return nullptr;
    }
    g.Carry = pos + BlockBytes;
    FHanded = {pos, FCarryArrival};
    return FBuffers.Front() + pos;
}

const char *TMMConnector::NextBlock(int Group, int BlockBytes, std::int64_t Now, bool &More) {
    TGroup &g = FGroups[Group];
    std::lock_guard lock(FLock);
    // The newest buffer, whose positions intake has set back to 0.
    if (FBuffers.Take()) ClearCarries();
    if (!g.NewData) return nullptr;
    const std::uint32_t bytesPerSec = FBytesPerSec;
    if (FSynchronize && bytesPerSec > 0) {
        const std::int64_t due = std::int64_t(g.ReadPos.load()) * 1000000 / bytesPerSec;
        if (Now - FArrival.load() < due) return nullptr;
    } else {
        More = false;
    }
    const int pos = g.ReadPos.fetch_add(BlockBytes);
    // A block of zero bytes would be handed out for ever.
    if (BlockBytes <= 0 || pos + BlockBytes > FBuffers.FrontBytes()) {
        g.NewData = false;
        return nullptr;
    }
    FHanded = {pos, FArrival.load()};
    return FBuffers.Front() + pos;
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
        for (std::int64_t pos = g.ReadPos.load(); pos + w <= end; pos += w) {
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
        const std::int64_t in = paced ? std::int64_t(g.ReadPos.load()) * 1000000 / bytesPerSec - elapsed : 0;
        DueIn = pending ? std::min(DueIn, in) : in;
        pending = true;
    }
    return pending;
}
