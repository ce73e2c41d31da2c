#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <thread>

// Runs the main thread's events until done() holds; false when ms pass first. What the
// tests wait for is mostly posted to the main thread, so waiting must keep its loop turning.
template <typename P> bool PumpEventsUntil(P &&done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
