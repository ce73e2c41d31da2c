#include "audio/MMWaveInStop.h"

TStopStage TMMWaveInStop::Stage() const {
    std::lock_guard lock(FLock);
    return FStage;
}

int TMMWaveInStop::Queued() const {
    std::lock_guard lock(FLock);
    return FQueued;
}

bool TMMWaveInStop::StopBegun() const {
    std::lock_guard lock(FLock);
    return ::StopBegun(FStage);
}

bool TMMWaveInStop::Closing() const {
    std::lock_guard lock(FLock);
    return FClosing;
}

// --- Running ----------------------------------------------------------------------

bool TMMWaveInStop::BeginDelivery() {
    std::lock_guard lock(FLock);
    const TReturned returned = StopRow(FStage).Returned;
    if (returned == TReturned::Ignored) return false;
    if (FQueued > 0) --FQueued;
    if (returned == TReturned::CountedBack) {
        if (FQueued == 0) FIdle.notify_all();
        return false;
    }
    if (FDelivering++ == 0) FDeliverer = std::this_thread::get_id();
    return true;
}

bool TMMWaveInStop::EndOneDelivery() {
    if (--FDelivering > 0) return false;
    FDeliverer = {};
    FIdle.notify_all();
    const TStopStage before = FStage;
    Move(TStopEvent::LastEnded);
    return FStage != before;
}

// --- Stopping ---------------------------------------------------------------------

void TMMWaveInStop::BeginStop() {
    std::lock_guard lock(FLock);
    Move(TStopEvent::Stop);
}

bool TMMWaveInStop::Settle(std::unique_lock<std::mutex> &Lock) {
    if (FDelivering == 0) return true;
    // The thread inside a delivery cannot wait for its own end; nor is a delivery that has
    // outlasted one wait (it may be waiting for this thread) waited for twice.
    if (FDeliverer != std::this_thread::get_id() && StopRow(FStage).Waited) {
        if (FIdle.wait_for(Lock, FDeliveryWait, [this] { return FDelivering == 0; })) return true;
        Move(TStopEvent::WaitRanOut);
        return false;
    }
    // Whoever ends the last delivery posts the completion (again, if a posted one was
    // taken up inside a delivery, where it could not complete).
    Move(TStopEvent::Defer);
    return false;
}

bool TMMWaveInStop::SettleDeliveries() {
    std::unique_lock lock(FLock);
    return Settle(lock);
}

void TMMWaveInStop::AwaitReturns(std::chrono::milliseconds Wait) {
    std::unique_lock lock(FLock);
    FIdle.wait_for(lock, Wait, [this] { return FQueued == 0 || FWorkerFailed; });
}

bool TMMWaveInStop::TakeCompletion(bool &CloseRequested) const {
    std::lock_guard lock(FLock);
    if (FStage != TStopStage::Posted) return false;
    CloseRequested = FCloseRequested;
    return true;
}

bool TMMWaveInStop::Stopped() {
    std::lock_guard lock(FLock);
    FQueued = 0;
    Move(TStopEvent::Done);
    return FCloseRequested;
}

// --- Closing ----------------------------------------------------------------------

bool TMMWaveInStop::BeginClose() {
    std::lock_guard lock(FLock);
    if (FClosing && !FCloseRequested) return false;
    FClosing = true;
    FCloseRequested = false;
    return true;
}

bool TMMWaveInStop::DeferClose() {
    std::unique_lock lock(FLock);
    if (!::StopBegun(FStage) || Settle(lock)) return false;
    FCloseRequested = true;
    return true;
}

void TMMWaveInStop::CloseFailed() {
    std::lock_guard lock(FLock);
    FClosing = false;
}

void TMMWaveInStop::Closed() {
    std::lock_guard lock(FLock);
    FClosing = false;
    Move(TStopEvent::Done);
    FQueued = 0;
}

bool TMMWaveInStop::AwaitRequestedClose(bool Drain) {
    std::unique_lock lock(FLock);
    if (!FCloseRequested) return false;
    if (Drain) {
        FIdle.wait(lock, [this] { return FDelivering == 0; });
        Move(TStopEvent::Drained);
    }
    return true;
}

// --- Confirmations and the worker ---------------------------------------------------

void TMMWaveInStop::ExpectConfirmation() {
    std::lock_guard lock(FLock);
    FDriverOpen = false;
}

void TMMWaveInStop::Confirm(bool Open) {
    std::lock_guard lock(FLock);
    FDriverOpen = Open;
    FIdle.notify_all();
}

bool TMMWaveInStop::AwaitConfirmation(bool Open, std::chrono::milliseconds Wait) {
    std::unique_lock lock(FLock);
    return FIdle.wait_for(lock, Wait, [this, Open] { return FDriverOpen == Open; });
}

void TMMWaveInStop::WorkerStarted() {
    std::lock_guard lock(FLock);
    FWorkerFailed = false;
}

void TMMWaveInStop::WorkerFailed() {
    std::lock_guard lock(FLock);
    FWorkerFailed = true;
    FIdle.notify_all();
}

bool TMMWaveInStop::HasWorkerFailed() const {
    std::lock_guard lock(FLock);
    return FWorkerFailed;
}
