#pragma once

// Carries "the peak marker moved" from the peak tick's thread to the meter on
// the main thread, with at most one event waiting per meter.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <atomic>

class TMMPeakRedraw {
  public:
    static QEvent::Type EventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    // Peak tick thread.
    void Post(QObject *target) {
        if (!FPosted.exchange(true)) QCoreApplication::postEvent(target, new QEvent(EventType()));
    }
    // Main thread, on the event: before the meter takes its redraw flag, so a
    // tick after this point posts again.
    void Received() { FPosted.store(false); }

  private:
    std::atomic<bool> FPosted{false};
};
