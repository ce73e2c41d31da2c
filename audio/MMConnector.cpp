#include "audio/MMConnector.h"
#include "audio/MMConnectorShared.h"
#include "audio/MMFrameRide.h"

#include "audio/MMHiTimer.h"
#include "audio/MMPeakTick.h"
#include "audio/MMThread.h"
#include "platform/MMTimer.h"
#include "platform/MicrosecondClock.h"

#include <algorithm>

// --- Creation and destruction --------------------------------------------------

TMMConnector::TMMConnector() : FTickService(&TMMPeakTickService::Instance()), FClock(MicrosecondClock) {
    SetAcceptsInput(true);
    SetAcceptsOutput(true);
    FPort = std::make_unique<TMMConnectorPort>(this);
    if (QCoreApplication *app = QCoreApplication::instance()) FPort->moveToThread(app->thread());

    // Its ticks count only with AutoTrigger off or under the timer trigger; under the message
    // trigger it stays off rather than wake a thread fifty times a second for nothing.
    FTimer = std::make_unique<TMMHiTimer>();
    FTimer->SetCallBackMode(cmWindow);
    FTimer->SetInterval(20);
    FTimer->SetOnTimer([this](TObject *) { TimerTick(); });
    FTimer->SetTickIgnored([this] { return FAutoTrigger.load() && FTriggerMethod.load() != tmTimer; });
    FTimer->SetEnabled(false);

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
        FTimer->SetEnabled(true); // its ticks refresh now
        StopTriggering();
        RemoveIdleHandlerWhenIdle();
        return;
    }
    if (FTriggerMethod == tmMessage) FTimer->SetEnabled(false);
    if (FRunning && FEnabled && FRealTime) {
        if (FTriggerMethod == tmMessage && EnterIdle()) InstallIdleHandler();
        PostStartTrigger();
    }
}

void TMMConnector::SetTriggerMethod(TMMTriggerMethod Value) {
    if (Value == FTriggerMethod) return;
    // Under AutoTrigger the timer runs only while the timer trigger serves; a connector being
    // served moves over to the new method at once, so that neither the running count nor the
    // internal timer is left behind.
    if (FAutoTrigger) FTimer->SetEnabled(false);
    const bool serving = FTriggering && FAutoTrigger && !IsDesigning();
    if (serving) LeaveRunningCount();
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
        FGroups[Group].PartialBytes = 0;
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
    ClearPartials();
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
        ClearPartials();
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
    const bool paused = FPaused.exchange(false);
    StopPausedRefresh();
    if (!paused) return;
    // The silence shown while paused ends here: none of it is carried on or joined to the
    // sound that follows.
    std::lock_guard draw(FDrawLock);
    std::lock_guard lock(FLock);
    for (TGroup &g : FGroups)
        g.NewData = false;
    ClearCarries();
    ClearPartials();
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
    ClearPartials();
}

void TMMConnector::ClearCarries() {
    for (TGroup &g : FGroups)
        g.Carry = -1;
}

// Under FDrawLock: the stream breaks, and no block joins sound from both sides.
void TMMConnector::ClearPartials() {
    for (TGroup &g : FGroups)
        g.PartialBytes = 0;
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
    ClearPartials();
}
