#include "audio/MMDSPThread.h"

#include <algorithm>
#include <mutex>

namespace {

// Made with the first thread, dropped when it becomes empty. A plain pointer, so
// that nothing reads it at exit, when a worker that frees itself may be leaving.
std::mutex ThreadsLock;
std::vector<TMMDSPThread *> *Threads = nullptr;

} // namespace

TMMDSPThread::TMMDSPThread(TMMCustomSoundComponent *Component) : FComponent(Component) {
    std::lock_guard<std::mutex> lock(ThreadsLock);
    if (Threads == nullptr) Threads = new std::vector<TMMDSPThread *>;
    Threads->push_back(this);
}

TMMDSPThread::~TMMDSPThread() {
    std::lock_guard<std::mutex> lock(ThreadsLock);
    if (Threads == nullptr) return;
    std::erase(*Threads, this);
    if (Threads->empty()) {
        delete Threads;
        Threads = nullptr;
    }
}

std::vector<TMMDSPThread *> TMMDSPThread::ThreadRegistry() {
    std::lock_guard<std::mutex> lock(ThreadsLock);
    return Threads ? *Threads : std::vector<TMMDSPThread *>{};
}
