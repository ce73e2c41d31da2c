#pragma once

#include "platform/MMTimer.h"

#include <map>
#include <mutex>
#include <vector>

// A timer source driven by hand: Fire() is one tick of every live timer, run on
// the calling thread as if it were the timer's own. Like the system's timers, a
// kill waits for a tick in progress unless the tick itself kills.
class ManualTimerSource : public TMMTimerSource {
  public:
    struct Timer {
        unsigned Delay;
        LPTIMECALLBACK Proc;
        std::uintptr_t User;
    };

    unsigned SetEvent(unsigned uDelay, unsigned, LPTIMECALLBACK lpTimeProc, std::uintptr_t dwUser,
                      unsigned) override {
        std::lock_guard<std::recursive_mutex> lock(FLock);
        if (FailNext) {
            FailNext = false;
            return 0;
        }
        ++Arms;
        LastDelay = uDelay;
        const unsigned id = ++FNextId;
        FTimers[id] = Timer{uDelay, lpTimeProc, dwUser};
        return id;
    }

    MMRESULT KillEvent(unsigned uTimerID) override {
        std::lock_guard<std::recursive_mutex> lock(FLock);
        ++Kills;
        return FTimers.erase(uTimerID) ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
    }

    void Fire(int times = 1) {
        std::lock_guard<std::recursive_mutex> lock(FLock);
        for (int i = 0; i < times; ++i) {
            std::vector<std::pair<unsigned, Timer>> live(FTimers.begin(), FTimers.end());
            for (auto &[id, t] : live)
                if (FTimers.count(id)) t.Proc(id, 0, t.User, 0, 0);
        }
    }

    std::size_t Live() const {
        std::lock_guard<std::recursive_mutex> lock(FLock);
        return FTimers.size();
    }

    bool FailNext = false;
    int Arms = 0;
    int Kills = 0;
    unsigned LastDelay = 0;

  private:
    mutable std::recursive_mutex FLock;
    unsigned FNextId = 0;
    std::map<unsigned, Timer> FTimers;
};
