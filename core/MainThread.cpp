#include "core/MainThread.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>

bool IsMainThread() {
    const QCoreApplication *app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

bool CheckMainThreadAt(const char *Function, const char *File, unsigned Line) {
    if (QCoreApplication::instance() == nullptr || IsMainThread()) return true;
#ifdef VELMORA_THREAD_CHECKS
    std::fprintf(stderr, "%s called off the main thread (%s:%u)\n", Function, File, Line);
    std::abort();
#else
    (void)Function;
    (void)File;
    (void)Line;
    return false;
#endif
}
