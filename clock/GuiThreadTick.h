#pragma once

#include "core/MMTypes.h"

#include <QObject>

#include <functional>
#include <memory>

// Hands a timer's ticks to a handler on the GUI thread, whichever thread the timer ticks on:
// the clock's handlers change controls, which only the GUI thread may touch. A tick that comes
// while an earlier one waits for the GUI thread or runs there is merged into it (dropped), so
// two runs never overlap, even while a handler processes events in the middle of its work.
//
// Thread contract: Event()'s function may be called on any thread; the handler runs on the
// thread of `context`. `context` must outlive every tick: stop the timer, and wait for its
// worker, before it goes.
class TGuiThreadTick {
  public:
    TGuiThreadTick(QObject *context, std::function<void()> handler);

    // What to give the timer as its OnTimer.
    TNotifyEvent Event() const;
    // A tick is waiting for the GUI thread or running there.
    bool Busy() const;

  private:
    struct TState;
    std::shared_ptr<TState> FState;
};
