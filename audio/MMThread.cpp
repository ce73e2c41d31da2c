#include "audio/MMThread.h"

#include "platform/MMError.h"
#include "platform/ThreadName.h"

#include <chrono>

#include <sys/resource.h>
#include <unistd.h>

int ThreadPriorityValue(TThreadPriority Priority) {
    static constexpr int values[] = {-15, -2, -1, 0, 1, 2, 15};
    const int index = static_cast<int>(Priority);
    return index >= 0 && index <= 6 ? values[index] : 0;
}

void ApplyThreadPriorityTo(int NativeTid, TThreadPriority Priority) {
    // A higher platform figure is a lower nice value; nice spans -20 ... 19.
    const int nice = -ThreadPriorityValue(Priority);
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(NativeTid), nice);
}

void ApplyThreadPriority(TThreadPriority Priority) {
    ApplyThreadPriorityTo(static_cast<int>(gettid()), Priority);
}

void TMMEvent::Set() {
    // Notified under the lock: a woken waiter may destroy the event right after.
    std::lock_guard<std::mutex> lock(FLock);
    FSignaled = true;
    if (FManualReset)
        FCond.notify_all();
    else
        FCond.notify_one();
}

void TMMEvent::Reset() {
    std::lock_guard<std::mutex> lock(FLock);
    FSignaled = false;
}

bool TMMEvent::Wait(int TimeoutMs) {
    std::unique_lock<std::mutex> lock(FLock);
    auto signaled = [this] { return FSignaled; };
    if (TimeoutMs < 0)
        FCond.wait(lock, signaled);
    else if (!FCond.wait_for(lock, std::chrono::milliseconds(TimeoutMs), signaled))
        return false;
    if (!FManualReset) FSignaled = false;
    return true;
}

TMMThreadEx::~TMMThreadEx() {
    if (!FThread.joinable()) return;
    if (std::this_thread::get_id() == FThread.get_id()) {
        FThread.detach();
        return;
    }
    Terminate();
    FThread.join();
}

void TMMThreadEx::Resume() {
    if (FStarted.exchange(true)) return;
    const bool selfFreeing = FFreeOnTerminate;
    std::thread thread;
    try {
        thread = std::thread([this] { Run(); });
    } catch (...) {
        FStarted.store(false);
        throw;
    }
    // A self-freeing object may be gone as soon as Run ends: nobody joins it, and
    // this object is not touched again here.
    if (selfFreeing)
        thread.detach();
    else
        FThread = std::move(thread);
}

void TMMThreadEx::Run() {
    FThreadId.store(std::this_thread::get_id());
    FNativeTid.store(static_cast<int>(gettid()));
    NameThisThread(ThreadName());
    ApplyThreadPriority(FPriority.load());
    try {
        Execute();
    } catch (...) {
        HandleApplicationException(std::current_exception());
    }
    FFinished.store(true);
    if (FFreeOnTerminate) delete this;
}

void TMMThreadEx::WaitFor() {
    if (FThread.joinable() && std::this_thread::get_id() != FThread.get_id()) FThread.join();
}

void TMMThreadEx::SetPriority(TThreadPriority Value) {
    FPriority.store(Value);
    const int tid = FNativeTid.load();
    if (tid != 0 && !FFinished.load()) ApplyThreadPriorityTo(tid, Value);
}
