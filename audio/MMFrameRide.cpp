#include "audio/MMFrameRide.h"

#include "audio/MMFrameTimer.h"
#include "core/MainThread.h"
#include "platform/MMError.h"

#include <algorithm>
#include <mutex>
#include <vector>

struct TMMFrameRider::TCore {
    std::function<void()> Job;
    std::atomic<bool> Flagged{false};
    std::atomic<bool> Alive{true};
};

namespace {

struct TRide {
    std::mutex Lock; // the riders' list: riders may be made and dropped on other threads
    std::vector<std::shared_ptr<TMMFrameRider::TCore>> Riders;
    std::atomic<TMMFrameSource *> Source{nullptr};
    std::function<void()> Pass;
    // Read by a read-modify-write: with the exchange that ends the riding, one
    // order of the two is total, so what a reader published before its read is
    // seen by the ender's reads after its exchange, or the reader sees the end.
    std::atomic<int> Riding{0};
};

TRide &Ride() {
    static TRide ride;
    return ride;
}

} // namespace

void TMMFrameRide::SetSource(TMMFrameSource *Source) {
    if (!CheckMainThread()) return;
    Ride().Source = Source;
    if (Source == nullptr) SetRiding(false);
}

TMMFrameSource *TMMFrameRide::Source() {
    return Ride().Source.load();
}

bool TMMFrameRide::HasSource() {
    return Ride().Source.load() != nullptr;
}

void TMMFrameRide::SetFramePass(std::function<void()> Pass) {
    Ride().Pass = std::move(Pass);
}

bool TMMFrameRide::Riding() {
    return Ride().Riding.fetch_add(0) != 0;
}

bool TMMFrameRide::SetRiding(bool Value) {
    const bool before = Ride().Riding.exchange(Value ? 1 : 0) != 0;
    // A job flagged before this store saw the riding on and waits for a tick:
    // it runs here. One flagged after it wakes the main thread itself.
    // Timers that rode go back to their own threads first.
    if (before && !Value) {
        TMMFrameTimerSource::RidingEndedAll();
        RunFlagged();
    }
    return before;
}

void TMMFrameRide::Frame() {
    if (!CheckMainThread()) return;
    if (const std::function<void()> pass = Ride().Pass) pass();
    TMMFrameTimerSource::FrameAll();
    RunFlagged();
}

void TMMFrameRide::RunFlagged() {
    TRide &ride = Ride();
    std::vector<std::shared_ptr<TMMFrameRider::TCore>> due;
    {
        std::lock_guard lock(ride.Lock);
        for (const auto &core : ride.Riders)
            if (core->Flagged.exchange(false)) due.push_back(core);
    }
    for (const auto &core : due) {
        // A job run before may have dropped a later one.
        if (!core->Alive) continue;
        try {
            core->Job();
        } catch (...) {
            HandleApplicationException(std::current_exception());
        }
    }
}

TMMFrameRider::TMMFrameRider(std::function<void()> Job) : FCore(std::make_shared<TCore>()) {
    FCore->Job = std::move(Job);
    TRide &ride = Ride();
    std::lock_guard lock(ride.Lock);
    ride.Riders.push_back(FCore);
}

TMMFrameRider::~TMMFrameRider() {
    TRide &ride = Ride();
    std::lock_guard lock(ride.Lock);
    FCore->Alive = false;
    std::erase(ride.Riders, FCore);
}

bool TMMFrameRider::Flag() {
    FCore->Flagged.store(true);
    if (TMMFrameRide::Riding()) return true;
    // Frames stopped: take the flag back and wake the main thread, unless the
    // stop took it and runs the job already.
    return !FCore->Flagged.exchange(false);
}
