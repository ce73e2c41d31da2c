// Period jitter of the timers: the time between consecutive ticks as the handler
// sees it, against the nominal interval. Each run collects 200 periods and reports
//   mean_us, stddev_us  - of the measured periods
//   maxdev_us           - the largest |period - interval|
//   drift_us            - (last tick - first tick) - 200 intervals
//   drift_us_per_s      - the least-squares trend of lateness against the ideal grid
// The main window's refresh timer is the 20 ms synchronised thread-mode case.

#include "BenchMain.h"
#include "audio/MMHiTimer.h"
#include "platform/MMTimer.h"
#include "platform/MicrosecondClock.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace {

constexpr int Periods = 200;

void Report(benchmark::State &state, const std::vector<std::int64_t> &stamps, int intervalMs) {
    const double nominal = intervalMs * 1000.0;
    double sum = 0, sumSq = 0, maxDev = 0;
    for (std::size_t i = 1; i < stamps.size(); ++i) {
        const double p = static_cast<double>(stamps[i] - stamps[i - 1]);
        sum += p;
        sumSq += p * p;
        maxDev = std::max(maxDev, std::fabs(p - nominal));
    }
    const double n = static_cast<double>(stamps.size() - 1);
    const double mean = sum / n;
    state.counters["mean_us"] = mean;
    state.counters["stddev_us"] = std::sqrt(std::max(0.0, sumSq / n - mean * mean));
    state.counters["maxdev_us"] = maxDev;
    state.counters["drift_us"] = static_cast<double>(stamps.back() - stamps.front()) - n * nominal;
    // The trend of the lateness against the ideal grid, by least squares: a timer
    // that drifts shows a slope; a late first or last tick alone does not.
    double si = 0, sl = 0, sii = 0, sil = 0;
    for (std::size_t i = 0; i < stamps.size(); ++i) {
        const double x = static_cast<double>(i);
        const double late = static_cast<double>(stamps[i] - stamps[0]) - x * nominal;
        si += x;
        sl += late;
        sii += x * x;
        sil += x * late;
    }
    const double m = static_cast<double>(stamps.size());
    const double slope = (m * sil - si * sl) / (m * sii - si * si); // us per tick
    state.counters["drift_us_per_s"] = slope * 1e6 / nominal;
}

void MeasureHiTimer(benchmark::State &state, TMMCBMode mode, bool synchronize) {
    const int interval = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<std::int64_t> stamps;
        stamps.reserve(Periods + 1);
        QEventLoop loop;
        std::atomic<bool> done{false};
        TMMHiTimer timer;
        timer.SetEnabled(false);
        timer.SetCallBackMode(mode);
        timer.SetSynchronize(synchronize);
        timer.SetInterval(interval);
        timer.SetOnTimer([&](TObject *) {
            if (done) return;
            stamps.push_back(MicrosecondClock());
            if (stamps.size() == Periods + 1) {
                done = true;
                QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
            }
        });
        timer.SetEnabled(true);
        loop.exec();
        timer.SetEnabled(false);
        Report(state, stamps, interval);
    }
}

void BM_HiTimerThreadSynchronised(benchmark::State &state) {
    MeasureHiTimer(state, cmThread, true);
}
void BM_HiTimerThreadUnsynchronised(benchmark::State &state) {
    MeasureHiTimer(state, cmThread, false);
}
void BM_HiTimerWindow(benchmark::State &state) {
    MeasureHiTimer(state, cmWindow, true);
}

// The bare system timer, for comparison: the callback on the timer's own thread.
struct Stamps {
    std::vector<std::int64_t> at;
    std::atomic<bool> full{false};
};
void StampProc(unsigned, unsigned, std::uintptr_t user, std::uintptr_t, std::uintptr_t) {
    auto *s = reinterpret_cast<Stamps *>(user);
    if (s->full) return;
    s->at.push_back(MicrosecondClock());
    if (s->at.size() == Periods + 1) s->full = true;
}

void BM_SystemTimer(benchmark::State &state) {
    const int interval = static_cast<int>(state.range(0));
    for (auto _ : state) {
        Stamps s;
        s.at.reserve(Periods + 1);
        const unsigned id =
            timeSetEvent(interval, 0, StampProc, reinterpret_cast<std::uintptr_t>(&s), TIME_PERIODIC);
        while (!s.full)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        timeKillEvent(id);
        Report(state, s.at, interval);
    }
}

} // namespace

BENCHMARK(BM_HiTimerThreadSynchronised)->Arg(20)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HiTimerThreadUnsynchronised)
    ->Arg(20)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_HiTimerWindow)->Arg(20)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SystemTimer)->Arg(20)->Arg(25)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Synchronised ticks run on the application's main thread.
int main(int argc, char **argv) {
    return RunBenchmarks(argc, argv);
}
