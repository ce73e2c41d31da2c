#include "core/MainThread.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>

bool IsMainThread() {
    const QCoreApplication *app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

bool CheckMainThread(std::source_location Where) {
    if (QCoreApplication::instance() == nullptr || IsMainThread()) return true;
#ifdef VELMORA_THREAD_CHECKS
    std::fprintf(stderr, "%s called off the main thread (%s:%u)\n", Where.function_name(), Where.file_name(),
                 static_cast<unsigned>(Where.line()));
    std::abort();
#else
    (void)Where;
    return false;
#endif
}
