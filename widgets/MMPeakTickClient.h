#pragma once

// A meter's place on the peak tick service: the registration, one suspension at
// most, and the hand-over of "the peak moved" from the tick's thread to the
// meter on the main thread, with at most one event waiting per meter. While the
// screen's frames ride, the event is delivered on the next frame tick rather
// than waking the main thread (the aging itself still runs on every tick).
//
// Threads: construction, Start, Stop, SetSuspended and Received on the main
// thread; the tick routine runs on the service's thread and must not touch
// widgets.

#include "audio/MMFrameRide.h"
#include "audio/MMPeakTick.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <atomic>
#include <functional>

class TMMPeakTickClient {
  public:
    // The routine ages the peak and says whether the meter must be redrawn.
    using TTick = std::function<bool()>;

    explicit TMMPeakTickClient(TMMPeakTickService *service)
        : FService(service != nullptr ? service : &TMMPeakTickService::Instance()), FRider([this] {
              if (FTarget == nullptr) return;
              QEvent event(EventType());
              QCoreApplication::sendEvent(FTarget, &event);
          }) {}
    ~TMMPeakTickClient() { Stop(); }
    TMMPeakTickClient(const TMMPeakTickClient &) = delete;
    TMMPeakTickClient &operator=(const TMMPeakTickClient &) = delete;

    static QEvent::Type EventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    TMMPeakTickService *Service() const { return FService; }

    void Start(QObject *target, TTick tick) {
        FTarget = target;
        FTick = std::move(tick);
        FEntry = FService->Register(TMMPeakTickService::TickMs, 0, &TMMPeakTickClient::Proc, this);
    }
    // No tick runs once this returns; an event it posted dies with the target.
    void Stop() {
        if (FEntry == nullptr) return;
        FService->Unregister(FEntry);
        FEntry = nullptr;
    }
    // The service counts suspensions; one left over would keep the peak from
    // ever falling again, so the client holds one at most.
    void SetSuspended(bool suspend) {
        if (FEntry == nullptr || suspend == FSuspended) return;
        FSuspended = suspend;
        if (suspend)
            FService->Suspend(FEntry);
        else
            FService->Resume(FEntry);
    }
    // On the event, before the meter takes its redraw flag, so a tick after
    // this point posts again.
    void Received() { FPosted.store(false); }

  private:
    static void Proc(TMMPeakTickEntry *, void *data) {
        auto *self = static_cast<TMMPeakTickClient *>(data);
        if (self->FTick() && !self->FPosted.exchange(true) && !self->FRider.Flag())
            QCoreApplication::postEvent(self->FTarget, new QEvent(EventType()));
    }

    TMMPeakTickService *FService;
    TMMPeakTickEntry *FEntry = nullptr;
    QObject *FTarget = nullptr;
    TTick FTick;
    bool FSuspended = false;
    std::atomic<bool> FPosted{false};
    TMMFrameRider FRider; // declared last: gone first, so no run reaches the rest
};
