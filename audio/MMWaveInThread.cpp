#include "audio/MMWaveInThread.h"

#include "audio/MMWaveIn.h"
#include "audio/MMWaveInWindow.h"

// --- The mailbox ----------------------------------------------------------------------

void TWaveInMailbox::Open() {
    std::lock_guard lock(FLock);
    FQuit = false;
    FMessages.clear();
}

void TWaveInMailbox::Quit() {
    std::lock_guard lock(FLock);
    FQuit = true;
    FCond.notify_all();
}

void TWaveInMailbox::Post(const TMessage &Message) {
    std::lock_guard lock(FLock);
    FMessages.push_back(Message);
    FCond.notify_one();
}

bool TWaveInMailbox::Next(TMessage &Message) {
    std::unique_lock lock(FLock);
    FCond.wait(lock, [this] { return FQuit || !FMessages.empty(); });
    if (FQuit) return false;
    Message = FMessages.front();
    FMessages.pop_front();
    return true;
}

// --- The thread -----------------------------------------------------------------------

TMMWaveInThread::TMMWaveInThread(TMMCustomWaveIn *WaveIn) : TMMDSPThread(WaveIn), FWaveIn(WaveIn) {}

void TMMWaveInThread::Execute() {
    TMMCustomWaveIn *w = FWaveIn;
    w->FReadyEvent.Set();
    try {
        TWaveInMailbox::TMessage m{};
        while (!Terminated() && w->FMailbox.Next(m))
            if (m.Message == MM_WIM_DATA && m.Handle == w->FHandle.load()) w->ProcessReturnedBuffer(m.Hdr);
    } catch (...) {
        w->WorkerFailed(std::current_exception());
    }
    w->FReadyEvent.Set();
}

// --- The wave input's side ------------------------------------------------------------

void TMMCustomWaveIn::WorkerFailed(std::exception_ptr E) {
    FStop.WorkerFailed();
    if (FWindow) FWindow->Post(MM_THREAD_FAILED, FHandle.load(), nullptr, std::move(E));
}

void TMMCustomWaveIn::StartThread() {
    // A worker left over from a close that failed midway must not read the new mailbox.
    StopThread();
    FStop.WorkerStarted();
    FReadyEvent.Reset();
    FMailbox.Open();
    TMMWaveInThread *thread = nullptr;
    try {
        thread = new TMMWaveInThread(this);
        thread->SetFreeOnTerminate(true);
        thread->SetPriority(FPriority);
        thread->Resume();
    } catch (...) {
        delete thread;
        throw EMMWaveInError(WaveInStepText("WaveIn:", WaveInMessage(MSG_NO_THREAD)));
    }
    FThread = thread;
    if (!FReadyEvent.Wait(5000))
        throw EMMWaveInError(WaveInStepText("WaveIn:", WaveInMessage(MSG_NO_THREAD)));
}

void TMMCustomWaveIn::StopThread() {
    if (FThread == nullptr) return;
    if (!FStop.HasWorkerFailed()) FMailbox.Quit();
    // A failed worker leaves by itself; either way it signals as it goes.
    FReadyEvent.Wait(5000);
    FThread = nullptr;
}

void TMMCustomWaveIn::SetPriority(TThreadPriority Value) {
    FPriority = Value;
    if (FThread == nullptr) return;
    FStop.IfWorkerAlive([&] { FThread->SetPriority(Value); });
}

void TMMCustomWaveIn::ThreadFailed(HWAVEIN Handle, std::exception_ptr E) {
    // The failed delivery has ended; the close waits for the worker to be gone. A device
    // closed (and maybe opened again) since has nothing left of that worker.
    if (Handle == FHandle.load()) {
        Close();
        StopThread();
    }
    HandleApplicationException(std::move(E));
}
