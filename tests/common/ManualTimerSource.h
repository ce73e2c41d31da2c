#pragma once

#include "platform/MMTimer.h"

#include <map>
#include <vector>

// A timer source driven by hand: Fire() is one tick of every live timer, run on
// the calling thread as if it were the timer's own.
class ManualTimerSource : public TMMTimerSource {
  public:
    struct Timer {
        unsigned Delay;
        LPTIMECALLBACK Proc;
        std::uintptr_t User;
    };

    unsigned SetEvent(unsigned uDelay, unsigned, LPTIMECALLBACK lpTimeProc, std::uintptr_t dwUser,
                      unsigned) override {
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
        ++Kills;
        return FTimers.erase(uTimerID) ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
    }

    void Fire(int times = 1) {
        for (int i = 0; i < times; ++i) {
            std::vector<std::pair<unsigned, Timer>> live(FTimers.begin(), FTimers.end());
            for (auto &[id, t] : live)
                if (FTimers.count(id)) t.Proc(id, 0, t.User, 0, 0);
        }
    }

    std::size_t Live() const { return FTimers.size(); }

    bool FailNext = false;
    int Arms = 0;
    int Kills = 0;
    unsigned LastDelay = 0;

  private:
    unsigned FNextId = 0;
    std::map<unsigned, Timer> FTimers;
};
