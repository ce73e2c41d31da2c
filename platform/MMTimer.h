#pragma once

// The multimedia timer: periodic and one-shot timers with millisecond intervals.
// Each timer is one thread that sleeps to absolute deadlines on the monotonic
// clock, so a periodic timer keeps its grid however long its callback takes
// (a tick that falls due while the callback still runs is skipped, never bunched).
// The period calls exist for their callers; there is nothing to tune here.

#include "platform/MMSystem.h"

#include <cstdint>

inline constexpr MMRESULT TIMERR_NOERROR = 0;
inline constexpr MMRESULT TIMERR_NOCANDO = 97;

inline constexpr unsigned TIME_ONESHOT = 0;
inline constexpr unsigned TIME_PERIODIC = 1;

struct TIMECAPS {
    unsigned wPeriodMin; // ms
    unsigned wPeriodMax; // ms
};

// Runs on the timer's own thread.
using LPTIMECALLBACK = void (*)(unsigned uTimerID, unsigned uMsg, std::uintptr_t dwUser, std::uintptr_t dw1,
                                std::uintptr_t dw2);

// Starts a timer calling lpTimeProc after uDelay ms, then every uDelay ms with
// TIME_PERIODIC. Returns its id, or 0 when uDelay is outside 1 ... 1000000 or no
// thread can be made. uResolution is accepted and ignored.
unsigned timeSetEvent(unsigned uDelay, unsigned uResolution, LPTIMECALLBACK lpTimeProc, std::uintptr_t dwUser,
                      unsigned fuEvent);
// Stops a timer. When it returns, no callback of that timer is running or will
// run, except the one that called it. MMSYSERR_INVALPARAM for an unknown id.
MMRESULT timeKillEvent(unsigned uTimerID);

MMRESULT timeGetDevCaps(TIMECAPS *ptc, unsigned cbtc); // 1 ... 1000000 ms
MMRESULT timeBeginPeriod(unsigned uPeriod);            // nothing to do; TIMERR_NOCANDO for 0
MMRESULT timeEndPeriod(unsigned uPeriod);              // nothing to do; TIMERR_NOCANDO for 0
unsigned timeGetTime();                                // ms on the monotonic clock, wrapping at 2^32

// Where the timer services get their ticks from. The system source is the one
// above; tests put a source in its place that they drive by hand.
class TMMTimerSource {
  public:
    virtual ~TMMTimerSource() = default;
    virtual unsigned SetEvent(unsigned uDelay, unsigned uResolution, LPTIMECALLBACK lpTimeProc,
                              std::uintptr_t dwUser, unsigned fuEvent) = 0;
    virtual MMRESULT KillEvent(unsigned uTimerID) = 0;
};

TMMTimerSource &SystemTimerSource();
