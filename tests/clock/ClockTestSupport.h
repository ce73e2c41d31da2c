#pragma once

#include "clock/WatchMain.h"
#include "common/ManualTimerSource.h"

#include <QCoreApplication>

#include <set>

// Fires each timer once, as soon as the GUI thread's event loop comes round: a pause of the
// clock ends at the next turn of the loop, so tests run the ring pulse without waiting it out.
// Everything here runs on the GUI thread, as the clock arms and stops its timers there.
class TPromptTimerSource : public TMMTimerSource {
  public:
    unsigned SetEvent(unsigned uDelay, unsigned, LPTIMECALLBACK lpTimeProc, std::uintptr_t dwUser,
                      unsigned) override {
        const unsigned id = ++FNextId;
        ++Arms;
        LastDelay = uDelay;
        FLive.insert(id);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, id, lpTimeProc, dwUser] {
                if (FLive.count(id)) lpTimeProc(id, 0, dwUser, 0, 0);
            },
            Qt::QueuedConnection);
        return id;
    }
    MMRESULT KillEvent(unsigned uTimerID) override {
        return FLive.erase(uTimerID) ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
    }

    int Arms = 0;
    unsigned LastDelay = 0;

  private:
    unsigned FNextId = 0;
    std::set<unsigned> FLive;
};

// The clock, shown (offscreen), with its time set by the test: MainTimer is enabled on a
// timer source that never ticks by itself, and At() runs one tick at the given time.
struct TClockRig {
    ManualTimerSource MainSource;
    TPromptTimerSource SleepSource;
    TWatchFrm Clock;
    TWatchFrm::TClockTime Now{12, 0, 0};

    TClockRig() {
        Clock.MainTimer.SetTimerSource(&MainSource);
        Clock.SleepTimmer.SetTimerSource(&SleepSource);
        Clock.SetClockReader([this] { return Now; });
        Clock.MainTimer.SetEnabled(true);
        Clock.show();
    }

    void At(int hour, int minute, int second) {
        Now = {hour, minute, second};
        Clock.MainTimerTimer();
    }
};
