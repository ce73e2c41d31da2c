#include "audio/MMFrameTimer.h"

#include "audio/MMFrameRide.h"
#include "core/MainThread.h"
#include "platform/MMError.h"
#include "platform/MicrosecondClock.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr std::int64_t kMaxCatchUpMicroseconds = 1'000'000;
// How late a tick driven by passes may run before the source below takes the timer back.
constexpr std::int64_t kPassSlackMicroseconds = 100'000;

struct TTimer {
    unsigned Id = 0;
    unsigned DelayMs = 0;
    std::int64_t Period = 0; // us
    LPTIMECALLBACK Proc = nullptr;
    std::uintptr_t User = 0;
    TMMFrameTimerSource::TClock Clock;
    // The source below's timer, 0 while the ticks ride. Set under the core's lock;
    // whoever takes it out kills it.
    std::atomic<unsigned> BelowId{0};
    std::atomic<std::int64_t> LastTick{0}; // us: the last tick below, or its start
    std::int64_t NextDue = 0;              // us, while ridden; main thread
    std::atomic<bool> Killed{false};
    std::atomic<std::thread::id> RunningOn{};
    std::mutex CallbackLock; // held while a tick runs, on either path
};

// False once the timer is killed (no tick runs after that), or while its tick is under way
// on this thread: a handler that runs the event loop (a message box) reaches the next pass.
bool RunTick(TTimer &Timer) {
    if (Timer.RunningOn.load() == std::this_thread::get_id()) return false;
    std::lock_guard<std::mutex> lock(Timer.CallbackLock);
    if (Timer.Killed.load()) return false;
    Timer.RunningOn.store(std::this_thread::get_id());
    try {
        Timer.Proc(Timer.Id, 0, Timer.User, 0, 0);
    } catch (...) {
        HandleApplicationException(std::current_exception());
    }
    Timer.RunningOn.store(std::thread::id{});
    return true;
}

// The source below's thread.
void BelowTick(unsigned, unsigned, std::uintptr_t dwUser, std::uintptr_t, std::uintptr_t) {
    TTimer &timer = *reinterpret_cast<TTimer *>(dwUser);
    timer.LastTick.store(timer.Clock());
    RunTick(timer);
}

} // namespace

struct TMMFrameTimerSource::TCore {
    TMMTimerSource *Below = nullptr;
    TClock Clock;
    std::mutex Lock; // the timers' list and their hand-overs to the source below
    std::map<unsigned, std::shared_ptr<TTimer>> Timers;
    unsigned NextId = 1;
    QPointer<QTimer> Fallback; // main thread; the application's child, so gone with it

    ~TCore() {
        if (Fallback) delete Fallback.data();
    }

    std::vector<std::shared_ptr<TTimer>> Snapshot() {
        std::lock_guard<std::mutex> lock(Lock);
        std::vector<std::shared_ptr<TTimer>> all;
        for (const auto &[id, timer] : Timers)
            all.push_back(timer);
        return all;
    }

    // Under Lock. False when the source below has no timer to give.
    bool StartBelow(TTimer &Timer) {
        Timer.LastTick.store(Clock());
        const unsigned below = Below->SetEvent(Timer.DelayMs, 0, BelowTick,
                                               reinterpret_cast<std::uintptr_t>(&Timer), TIME_PERIODIC);
        Timer.BelowId.store(below);
        return below != 0;
    }

    // Main thread. Take: the timers leave the source below (a main-thread wake is sure to
    // come). Returns when the earliest tick left riding falls due; false when none rides.
    bool Drive(bool Take, std::int64_t &Due) {
        bool any = false;
        // The snapshot keeps a timer killed meanwhile alive while its tick below ends.
        for (const std::shared_ptr<TTimer> &timer : Snapshot()) {
            if (Take)
                if (const unsigned below = timer->BelowId.exchange(0)) {
                    Below->KillEvent(below); // waits for a tick in progress there
                    timer->NextDue = timer->LastTick.load() + timer->Period;
                }
            RunDue(*timer);
            if (timer->BelowId.load() != 0) continue;
            Due = any ? std::min(Due, timer->NextDue) : timer->NextDue;
            any = true;
        }
        return any;
    }

    // Main thread: after a pass that no frame follows, a fallback in case no pass follows
    // either: it runs what fell due and gives the timers back to the source below.
    void ArmFallback(std::int64_t due) {
        if (QCoreApplication::instance() == nullptr) return;
        if (!Fallback) {
            Fallback = new QTimer(QCoreApplication::instance());
            Fallback->setSingleShot(true);
            QObject::connect(Fallback, &QTimer::timeout, Fallback, [this] { FallbackFired(); });
        }
        const std::int64_t in = std::max<std::int64_t>(0, due + kPassSlackMicroseconds - Clock());
        Fallback->start(static_cast<int>(in / 1000 + 1));
    }

    void FallbackFired() {
        if (TMMFrameRide::Riding()) return; // the frames drive
        std::int64_t due = 0;
        Drive(false, due);
        RidingEnded();
    }

    void RunDue(TTimer &Timer) {
        const std::int64_t now = Clock();
        if (now - Timer.NextDue > kMaxCatchUpMicroseconds)
            Timer.NextDue += (now - Timer.NextDue) / Timer.Period * Timer.Period;
        // A tick may end the riding, and the source below take the timer up.
        while (Timer.BelowId.load() == 0 && Timer.NextDue <= now) {
            Timer.NextDue += Timer.Period;
            if (!RunTick(Timer)) return;
        }
    }

    void RidingEnded() {
        std::lock_guard<std::mutex> lock(Lock);
        for (auto &[id, timer] : Timers)
            if (timer->BelowId.load() == 0) StartBelow(*timer);
    }
};

namespace {

struct TRegistry {
    std::mutex Lock;
    std::vector<std::shared_ptr<TMMFrameTimerSource::TCore>> Cores;
};

TRegistry &Registry() {
    static TRegistry registry;
    return registry;
}

std::vector<std::shared_ptr<TMMFrameTimerSource::TCore>> Cores() {
    std::lock_guard<std::mutex> lock(Registry().Lock);
    return Registry().Cores;
}

} // namespace

TMMFrameTimerSource::TMMFrameTimerSource(TMMTimerSource &Below, TClock Clock)
    : FCore(std::make_shared<TCore>()) {
    FCore->Below = &Below;
    FCore->Clock = Clock ? std::move(Clock) : TClock(MicrosecondClock);
    std::lock_guard<std::mutex> lock(Registry().Lock);
    Registry().Cores.push_back(FCore);
}

TMMFrameTimerSource::~TMMFrameTimerSource() {
    {
        std::lock_guard<std::mutex> lock(Registry().Lock);
        std::erase(Registry().Cores, FCore);
    }
    for (const std::shared_ptr<TTimer> &timer : FCore->Snapshot())
        KillEvent(timer->Id);
}

unsigned TMMFrameTimerSource::SetEvent(unsigned uDelay, unsigned, LPTIMECALLBACK lpTimeProc,
                                       std::uintptr_t dwUser, unsigned fuEvent) {
    if ((fuEvent & TIME_PERIODIC) == 0 || uDelay == 0 || lpTimeProc == nullptr) return 0;
    auto timer = std::make_shared<TTimer>();
    timer->DelayMs = uDelay;
    timer->Period = std::int64_t(uDelay) * 1000;
    timer->Proc = lpTimeProc;
    timer->User = dwUser;
    timer->Clock = FCore->Clock;
    std::lock_guard<std::mutex> lock(FCore->Lock);
    do {
        timer->Id = FCore->NextId++;
    } while (timer->Id == 0 || FCore->Timers.count(timer->Id) != 0);
    // Checked under the lock the end of the riding takes: one of the two starts it below.
    if (TMMFrameRide::Riding())
        timer->NextDue = FCore->Clock() + timer->Period;
    else if (!FCore->StartBelow(*timer))
        return 0;
    FCore->Timers.emplace(timer->Id, timer);
    return timer->Id;
}

MMRESULT TMMFrameTimerSource::KillEvent(unsigned uTimerID) {
    std::shared_ptr<TTimer> timer;
    {
        std::lock_guard<std::mutex> lock(FCore->Lock);
        const auto it = FCore->Timers.find(uTimerID);
        if (it == FCore->Timers.end()) return MMSYSERR_INVALPARAM;
        timer = it->second;
        FCore->Timers.erase(it);
        timer->Killed.store(true);
    }
    if (const unsigned below = timer->BelowId.exchange(0)) FCore->Below->KillEvent(below);
    // Wait for a tick in progress, unless it is the caller.
    if (timer->RunningOn.load() != std::this_thread::get_id())
        std::lock_guard<std::mutex> wait(timer->CallbackLock);
    return TIMERR_NOERROR;
}

bool TMMFrameTimerSource::Ridden(unsigned uTimerID) const {
    std::lock_guard<std::mutex> lock(FCore->Lock);
    const auto it = FCore->Timers.find(uTimerID);
    return it != FCore->Timers.end() && it->second->BelowId.load() == 0;
}

void TMMFrameTimerSource::FrameAll() {
    if (!CheckMainThread()) return;
    const bool riding = TMMFrameRide::Riding();
    std::int64_t due = 0;
    for (const auto &core : Cores())
        core->Drive(riding, due);
}

void TMMFrameTimerSource::PassAll() {
    if (!CheckMainThread() || TMMFrameRide::Riding()) return;
    for (const auto &core : Cores()) {
        std::int64_t due = 0;
        if (core->Drive(true, due)) core->ArmFallback(due);
    }
}

void TMMFrameTimerSource::RidingEndedAll() {
    if (!CheckMainThread()) return;
    for (const auto &core : Cores())
        core->RidingEnded();
}

TMMFrameTimerSource &FrameTimerSource() {
    static TMMFrameTimerSource source(SystemTimerSource());
    return source;
}
