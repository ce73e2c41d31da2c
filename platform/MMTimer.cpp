#include "platform/MMTimer.h"

#include "platform/MMError.h"
#include "platform/ThreadName.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr unsigned MaxDelayMs = 1000000;
constexpr std::int64_t NsPerSec = 1000000000;
constexpr std::int64_t MaxSleepStepNs = 100000000;
constexpr int TimerThreadNice = -15; // the time-critical figure of the worker priorities

struct Timer {
    unsigned Id = 0;
    unsigned DelayMs = 0;
    bool Periodic = false;
    LPTIMECALLBACK Proc = nullptr;
    std::uintptr_t User = 0;
    std::atomic<bool> Killed{false};
    std::atomic<std::thread::id> ThreadId{};
    std::mutex CallbackLock; // held while the callback runs
};

// Live timers by id. Never destroyed: a detached timer thread may still touch it
// while the process ends.
struct Table {
    std::mutex Lock;
    std::map<unsigned, std::shared_ptr<Timer>> Timers;
    unsigned NextId = 1;
};
Table &Timers() {
    static Table *table = new Table;
    return *table;
}

// At process end no callback may run into objects being destroyed.
struct StopAllAtExit {
    ~StopAllAtExit() {
        std::map<unsigned, std::shared_ptr<Timer>> all;
        {
            std::lock_guard<std::mutex> lock(Timers().Lock);
            all.swap(Timers().Timers);
        }
        for (auto &entry : all) {
            entry.second->Killed.store(true);
            if (entry.second->ThreadId.load() != std::this_thread::get_id())
                std::lock_guard<std::mutex> wait(entry.second->CallbackLock);
        }
    }
} stopAllAtExit;

std::int64_t ToNs(const timespec &t) {
    return std::int64_t(t.tv_sec) * NsPerSec + t.tv_nsec;
}
timespec FromNs(std::int64_t ns) {
    return timespec{time_t(ns / NsPerSec), long(ns % NsPerSec)};
}
std::int64_t NowNs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return ToNs(t);
}

void Forget(unsigned id) {
    std::lock_guard<std::mutex> lock(Timers().Lock);
    Timers().Timers.erase(id);
}

void Run(std::shared_ptr<Timer> timer) {
    timer->ThreadId.store(std::this_thread::get_id());
    char name[16];
    std::snprintf(name, sizeof name, "mm-timer-%u", static_cast<unsigned>(timer->DelayMs));
    NameThisThread(name);
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0); // wake at the deadline, not up to 50 us after it
    // Ticks only post, signal or age peaks: cheap work that should not wait behind
    // busy threads. Best effort: without the privilege the thread stays at normal.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), TimerThreadNice);
    const std::int64_t period = std::int64_t(timer->DelayMs) * 1000000;
    std::int64_t deadline = NowNs() + period;
    for (;;) {
        // Long waits are cut into steps so that a killed timer's thread ends soon.
        for (;;) {
            const std::int64_t step = std::min(deadline, NowNs() + MaxSleepStepNs);
            const timespec due = FromNs(step);
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
            }
            if (timer->Killed.load()) return;
            if (step == deadline) break;
        }
        {
            std::lock_guard<std::mutex> lock(timer->CallbackLock);
            if (timer->Killed.load()) return;
            try {
                timer->Proc(timer->Id, 0, timer->User, 0, 0);
            } catch (...) {
                HandleApplicationException(std::current_exception());
            }
        }
        if (!timer->Periodic) {
            Forget(timer->Id);
            return;
        }
        // Stay on the grid; deadlines already missed (a long callback, a stalled
        // machine) are skipped rather than fired in a burst.
        deadline += period;
        const std::int64_t now = NowNs();
        if (deadline <= now) deadline += ((now - deadline) / period + 1) * period;
    }
}

class SystemSource final : public TMMTimerSource {
  public:
    unsigned SetEvent(unsigned uDelay, unsigned uResolution, LPTIMECALLBACK lpTimeProc, std::uintptr_t dwUser,
                      unsigned fuEvent) override {
        return timeSetEvent(uDelay, uResolution, lpTimeProc, dwUser, fuEvent);
    }
    MMRESULT KillEvent(unsigned uTimerID) override { return timeKillEvent(uTimerID); }
};

} // namespace

unsigned timeSetEvent(unsigned uDelay, unsigned uResolution, LPTIMECALLBACK lpTimeProc, std::uintptr_t dwUser,
                      unsigned fuEvent) {
    (void)uResolution;
    if (uDelay < 1 || uDelay > MaxDelayMs || lpTimeProc == nullptr) return 0;
    auto timer = std::make_shared<Timer>();
    timer->DelayMs = uDelay;
    timer->Periodic = (fuEvent & TIME_PERIODIC) != 0;
    timer->Proc = lpTimeProc;
    timer->User = dwUser;
    Table &table = Timers();
    std::lock_guard<std::mutex> lock(table.Lock);
    do {
        timer->Id = table.NextId++;
    } while (timer->Id == 0 || table.Timers.count(timer->Id) != 0);
    try {
        // The thread owns its timer record; it outlives a kill until the thread wakes and sees it.
        std::thread(Run, timer).detach();
    } catch (...) {
        return 0;
    }
    table.Timers.emplace(timer->Id, timer);
    return timer->Id;
}

MMRESULT timeKillEvent(unsigned uTimerID) {
    std::shared_ptr<Timer> timer;
    {
        std::lock_guard<std::mutex> lock(Timers().Lock);
        auto it = Timers().Timers.find(uTimerID);
        if (it == Timers().Timers.end()) return MMSYSERR_INVALPARAM;
        timer = it->second;
        Timers().Timers.erase(it);
    }
    timer->Killed.store(true);
    // Wait for a callback in progress, unless it is the caller.
    if (timer->ThreadId.load() != std::this_thread::get_id())
        std::lock_guard<std::mutex> wait(timer->CallbackLock);
    return TIMERR_NOERROR;
}

MMRESULT timeGetDevCaps(TIMECAPS *ptc, unsigned cbtc) {
    if (ptc == nullptr || cbtc < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
    ptc->wPeriodMin = 1;
    ptc->wPeriodMax = MaxDelayMs;
    return TIMERR_NOERROR;
}

MMRESULT timeBeginPeriod(unsigned uPeriod) {
    return uPeriod == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(unsigned uPeriod) {
    return uPeriod == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR;
}

unsigned timeGetTime() {
    return static_cast<unsigned>(NowNs() / 1000000);
}

TMMTimerSource &SystemTimerSource() {
    static SystemSource source;
    return source;
}
