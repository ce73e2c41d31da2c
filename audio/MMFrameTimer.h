#pragma once

// A timer source whose periodic timers ride the screen's frame tick (see
// MMFrameRide.h) while frames ride, and run on the source below otherwise.
//
// Riding, no timer thread wakes: at the start of each frame tick, after the
// trigger loop's pass, every tick that has fallen due runs on the main thread,
// each exactly once and in order, up to a frame after its due time. A main thread
// held up for more than a second skips what it missed, like the system's timers.
// When the frames stop, the source below takes each timer up again, its first
// tick one period later.
//
// With nothing shown, the trigger loop's passes on each arriving buffer drive the
// timers the same way (PassAll), each tick up to a buffer late. Should the passes
// stop (the stream ended or stalled), a fallback on the main thread runs what fell
// due and gives the timers back to the source below, at most 100 ms late.
//
// Periodic timers only: a one-shot request gets 0, as for a timer that cannot be had.
//
// Threads: SetEvent and KillEvent on any thread; KillEvent waits for a tick in
// progress unless that tick calls it. Ridden ticks run on the main thread, the
// others on the source below's threads, so a callback must bear either.

#include "platform/MMTimer.h"

#include <cstdint>
#include <functional>
#include <memory>

class TMMFrameTimerSource final : public TMMTimerSource {
  public:
    using TClock = std::function<std::int64_t()>; // microseconds, monotonic

    // Below must outlive this source; Clock is steady_clock unless given.
    explicit TMMFrameTimerSource(TMMTimerSource &Below, TClock Clock = {});
    ~TMMFrameTimerSource() override; // kills the timers still running
    TMMFrameTimerSource(const TMMFrameTimerSource &) = delete;
    TMMFrameTimerSource &operator=(const TMMFrameTimerSource &) = delete;

    unsigned SetEvent(unsigned uDelay, unsigned uResolution, LPTIMECALLBACK lpTimeProc, std::uintptr_t dwUser,
                      unsigned fuEvent) override;
    MMRESULT KillEvent(unsigned uTimerID) override;

    // Whether the timer's ticks ride the frames now (for tests and diagnostics).
    bool Ridden(unsigned uTimerID) const;

    // Main thread, by TMMFrameRide: every source's frame tick, and the end of the riding.
    static void FrameAll();
    static void RidingEndedAll();
    // Main thread, by the trigger loop: a pass that no frame tick follows, while passes come
    // with every buffer.
    static void PassAll();

    struct TCore;

  private:
    std::shared_ptr<TCore> FCore;
};

// The process-wide source over the system's timers.
TMMFrameTimerSource &FrameTimerSource();
