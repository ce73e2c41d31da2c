#include "audio/MMDSPThread.h"

#include <algorithm>
#include <memory>
#include <mutex>

namespace {

// Made with the first thread, dropped when it becomes empty.
std::mutex ThreadsLock;
std::unique_ptr<std::vector<TMMDSPThread *>> Threads;

} // namespace

TMMDSPThread::TMMDSPThread(TMMCustomSoundComponent *Component) : FComponent(Component) {
    std::lock_guard<std::mutex> lock(ThreadsLock);
    if (!Threads) Threads = std::make_unique<std::vector<TMMDSPThread *>>();
    Threads->push_back(this);
}

TMMDSPThread::~TMMDSPThread() {
    std::lock_guard<std::mutex> lock(ThreadsLock);
    if (!Threads) return;
    std::erase(*Threads, this);
    if (Threads->empty()) Threads.reset();
}

std::vector<TMMDSPThread *> TMMDSPThread::ThreadRegistry() {
    std::lock_guard<std::mutex> lock(ThreadsLock);
    return Threads ? *Threads : std::vector<TMMDSPThread *>{};
}
