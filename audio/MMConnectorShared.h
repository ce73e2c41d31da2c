#pragma once

// What the connectors of the process share (the trigger loop's window, each
// connector's own receiver, the list and the counters), for the connector's
// own sources only.

#include "audio/MMConnector.h"
#include "audio/MMThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// --- The shared window and the connectors' own receivers ---------------------

inline QEvent::Type EventType(int Message) {
    return static_cast<QEvent::Type>(Message);
}

// Runs a handler the way the application runs its event handlers: an error goes
// to the application's error report, and the caller learns that it failed.
template <typename F> inline bool Guarded(F &&Handler) {
    try {
        Handler();
        return true;
    } catch (...) {
        HandleApplicationException(std::current_exception());
    }
    return false;
}

// An event counter a thread can signal without taking any lock; the main loop
// watches it.
class TWakeCounter {
  public:
    TWakeCounter() : FFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~TWakeCounter() {
        if (FFd >= 0) close(FFd);
    }
    TWakeCounter(const TWakeCounter &) = delete;
    TWakeCounter &operator=(const TWakeCounter &) = delete;
    int Fd() const { return FFd; }

  private:
    int FFd;
};

// A one-shot alarm the main loop watches, armed to the microsecond. The loop's
// sleeps end on it directly: one wake per due block, with no millisecond timer
// to round up and no rest slept out on the main thread.
class TDueAlarm {
  public:
    TDueAlarm() : FFd(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {}
    ~TDueAlarm() {
        if (FFd >= 0) close(FFd);
    }
    TDueAlarm(const TDueAlarm &) = delete;
    TDueAlarm &operator=(const TDueAlarm &) = delete;
    int Fd() const { return FFd; }
    // Fires once, Microseconds from now (at least 1).
    void Arm(std::int64_t Microseconds) {
        Set(std::max<std::int64_t>(Microseconds, 1));
        FArmed = true;
    }
    // Every frame's pass disarms it: an alarm that is neither set nor fired unread is left be.
    void Disarm() {
        if (!std::exchange(FArmed, false)) return;
        Set(0);
    }
    // After the fd turned readable: takes the expiry off it.
    void Acknowledge() {
        std::uint64_t expiries;
        // Read: the one-shot expiry is over. Not read: armed again since it fired.
        if (read(FFd, &expiries, sizeof expiries) == sizeof expiries) FArmed = false;
    }

  private:
    void Set(std::int64_t Microseconds) {
        itimerspec expiry{};
        expiry.it_value.tv_sec = static_cast<time_t>(Microseconds / 1000000);
        expiry.it_value.tv_nsec = static_cast<long>(Microseconds % 1000000 * 1000);
        timerfd_settime(FFd, 0, &expiry, nullptr);
    }
    int FFd;
    bool FArmed = false; // set, or fired and not yet acknowledged
};

// The trigger-loop event goes to the one shared window, and so do the alarm
// that wakes a sleeping loop when the next block falls due and the wakes from
// intake. The start-trigger and timer-refresh events, which name a connector,
// go to that connector's own receiver, so that destroying one connector drops
// exactly its own events and never the loop event that other connectors still
// need.
class TMMConnectorWindow : public QObject {
  public:
    TMMConnectorWindow() {
        if (FDue.Fd() >= 0) {
            FDueNotifier = std::make_unique<QSocketNotifier>(FDue.Fd(), QSocketNotifier::Read, this);
            QObject::connect(FDueNotifier.get(), &QSocketNotifier::activated, this, [this] {
                FDue.Acknowledge();
                TMMConnector::DueTimerFired();
            });
        }
        if (FWake.Fd() < 0) return;
        FWakeNotifier = std::make_unique<QSocketNotifier>(FWake.Fd(), QSocketNotifier::Read, this);
        QObject::connect(FWakeNotifier.get(), &QSocketNotifier::activated, this, [this] {
            eventfd_t count;
            eventfd_read(FWake.Fd(), &count);
            TMMConnector::TriggerLoopWake();
        });
    }
    bool event(QEvent *e) override {
        if (e->type() != EventType(MMConnectorTriggerLoop)) return QObject::event(e);
        TMMConnector::TriggerLoopPass();
        return true;
    }
    // Main thread.
    TDueAlarm &DueTimer() { return FDue; }
    // Any thread, while a connector lives: what wakes the main loop.
    int WakeFd() const { return FWake.Fd(); }

  private:
    TDueAlarm FDue; // both declared before their notifiers, so closed after they are gone
    std::unique_ptr<QSocketNotifier> FDueNotifier;
    TWakeCounter FWake;
    std::unique_ptr<QSocketNotifier> FWakeNotifier;
};

class TMMConnectorPort : public QObject {
  public:
    explicit TMMConnectorPort(TMMConnector *Owner) : FOwner(Owner) {}
    bool event(QEvent *e) override {
        if (e->type() == EventType(MMConnectorStartTrigger)) {
            Guarded([this] { FOwner->StartTrigger(); });
            return true;
        }
        if (e->type() == EventType(MMConnectorTimerRefresh)) {
            FOwner->TimerRefresh();
            return true;
        }
        return QObject::event(e);
    }

  private:
    TMMConnector *FOwner;
};

// State shared by every connector of the process. The list is read by the
// trigger loop and changed by creation and destruction (main thread); the lock
// keeps snapshots from other threads consistent.
struct TShared {
    std::mutex Lock;
    std::vector<TMMConnector *> List;
    TMMConnectorWindow *Window = nullptr;
    std::atomic<int> WakeFd{-1}; // the window's, for intake on other threads
    std::atomic<int> RunningCount{0};
    std::atomic<int> LargestSpeed{5000};
    std::atomic<bool> EnterIdle{false};
    QTimer *IdleHandler = nullptr; // installed while not null
    // Main thread: a trigger-loop event is on its way; a pass is running; the
    // last pass failed, so only a start-trigger restarts the loop.
    bool LoopPosted = false;
    bool InPass = false;
    bool LoopFailed = false;
};

inline TShared &Shared() {
    static TShared shared;
    return shared;
}

inline bool Listed(TMMConnector *c) {
    TShared &s = Shared();
    std::lock_guard lock(s.Lock);
    return std::find(s.List.begin(), s.List.end(), c) != s.List.end();
}

inline std::vector<TMMConnector *> ListSnapshot() {
    TShared &s = Shared();
    std::lock_guard lock(s.Lock);
    return s.List;
}
