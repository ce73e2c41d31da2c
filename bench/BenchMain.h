#pragma once

// How a benchmark program starts: the toolkit application the measured code needs on its
// main thread, then the benchmarks named on the command line.

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <cstdlib>

// Widgets draw offscreen unless the caller chose a platform.
inline void DefaultToOffscreen() {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

template <typename TApp = QCoreApplication> int RunBenchmarks(int argc, char **argv) {
    DefaultToOffscreen();
    TApp app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
