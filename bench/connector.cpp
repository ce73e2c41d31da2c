// The connector's costs: one intake of a console buffer, one Refresh pass with
// and without displays, and the CPU that the message trigger loop takes on the
// main thread (as % of one core) with a live stream and no display, with a
// stream that delivers nothing, and with the console's displays.

#include "BenchMain.h"
#include "audio/MMConnector.h"
#include "platform/MicrosecondClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int ConsoleBuffer = 8192;

template <typename Base> class TNullDisplay : public Base {
  public:
    explicit TNullDisplay(int bytes) : FBytes(bytes) {}
    void SetWaveFormat(const TWaveFormatEx *) override {}
    int BlockBytes() const override { return FBytes; }
    void ResetData() override {}

  private:
    int FBytes;
};

class TNullBlock : public TNullDisplay<TMMBlockDisplay> {
  public:
    using TNullDisplay::TNullDisplay;
    void ProcessBlock(const void *data) override { benchmark::DoNotOptimize(data); }
};

class TNullSpectrum : public TNullDisplay<TMMSpectrumDisplay> {
  public:
    using TNullDisplay::TNullDisplay;
    void RefreshPCMData(const void *data) override { benchmark::DoNotOptimize(data); }
};

// A connector started on the console's stream, refreshed by the caller.
struct TRig {
    TMMConnector c;
    std::vector<char> data = std::vector<char>(ConsoleBuffer, 1);
    WAVEHDR h;
    std::int64_t now = 0;

    explicit TRig(bool autoTrigger) {
        TWaveFormatEx f;
        BuildPCMFormat(f, 16, 2, 48000);
        c.SetAutoTrigger(autoTrigger);
        c.SetPWaveFormat(&f);
        c.SetBufferSize(ConsoleBuffer);
        c.Opened();
        c.Started();
        QCoreApplication::processEvents();
        h.lpData = data.data();
        h.dwBufferLength = h.dwBytesRecorded = ConsoleBuffer;
    }
    void Feed() { c.BufferReady(&h); }
};

// Seven displays with the console's block sizes: two bar meters (50 frames), two
// VU meters (1000 frames), the phase display and the two analysers.
struct TConsoleDisplays {
    TNullBlock l1{200}, l2{200}, m1{4000}, m2{4000};
    TNullSpectrum s1{4096}, s2{8192}, s3{8192};
    explicit TConsoleDisplays(TMMConnector &c) {
        c.SetLevel1(&l1);
        c.SetLevel2(&l2);
        c.SetMeter1(&m1);
        c.SetMeter2(&m2);
        c.SetSpectrum1(&s1);
        c.SetSpectrum2(&s2);
        c.SetSpectrum3(&s3);
    }
};

void BM_ConnectorIntake(benchmark::State &state) {
    TRig rig(false);
    TNullBlock level(200);
    rig.c.SetLevel1(&level);
    for (auto _ : state)
        rig.Feed();
    state.SetBytesProcessed(state.iterations() * ConsoleBuffer);
}
BENCHMARK(BM_ConnectorIntake);

// The pass the trigger loop makes about once a millisecond while nothing is due.
void BM_ConnectorPassNothingDue(benchmark::State &state) {
    TRig rig(false);
    rig.c.SetClock([&rig] { return rig.now; });
    TConsoleDisplays displays(rig.c);
    rig.Feed();
    rig.c.Refresh(); // every group's first block; the next ones are not yet due
    for (auto _ : state)
        rig.c.Refresh();
}
BENCHMARK(BM_ConnectorPassNothingDue);

// A pass in which every group of the console's set-up hands out a block.
void BM_ConnectorPassAllDue(benchmark::State &state) {
    TRig rig(false);
    rig.c.SetSynchronize(false);
    TConsoleDisplays displays(rig.c);
    rig.Feed();
    for (auto _ : state) {
        rig.c.Refresh();
        if (!rig.c.NewData(TMMConnector::dgSpectra)) rig.Feed();
    }
    std::int64_t blocks = 0;
    for (auto g : {TMMConnector::dgLevels, TMMConnector::dgMeters, TMMConnector::dgSpectra})
        blocks += rig.c.BlockCount(g);
    state.counters["blocks_per_pass"] = double(blocks) / state.iterations();
}
BENCHMARK(BM_ConnectorPassAllDue);

void BM_ConnectorPassNoDisplays(benchmark::State &state) {
    TRig rig(false);
    rig.Feed();
    for (auto _ : state)
        rig.c.Refresh();
}
BENCHMARK(BM_ConnectorPassNoDisplays);

double CpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// A bar meter that notes how late each block came after it fell due.
class TLatenessLevel : public TNullBlock {
  public:
    explicit TLatenessLevel(const TMMConnector &c) : TNullBlock(200), FConnector(c) {}
    void ProcessBlock(const void *) override {
        const int pos = FConnector.ReadPosition(TMMConnector::dgLevels) - 200;
        if (pos < 0) return; // the next buffer came in meanwhile
        const std::int64_t late = MicrosecondClock() - FConnector.ArrivalTime() - pos * 1000000LL / 192000;
        Sum += late;
        Max = std::max(Max, late);
        Over1500 += late > 1500;
        ++Count;
    }
    std::int64_t Sum = 0, Max = 0, Over1500 = 0, Count = 0;

  private:
    const TMMConnector &FConnector;
};

// The main loop runs for a few seconds while a worker thread delivers one
// 8192-byte buffer every 42.67 ms, as the console's capture does (or nothing,
// when feed is false). Reports the CPU of the main thread (the trigger loop and
// everything it calls) and of the whole process, as % of one core.
void RunLoop(benchmark::State &state, TRig &rig, bool feed, int ms = 5000) {
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        const auto start = std::chrono::steady_clock::now();
        for (std::int64_t k = 1; feed && !stop; ++k) {
            rig.Feed();
            std::this_thread::sleep_until(start +
                                          std::chrono::microseconds(k * ConsoleBuffer * 1000000LL / 192000));
        }
    });
    std::int64_t passes = 0;
    rig.c.SetOnTrigger([&passes](TObject *) { ++passes; });
    const double main0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double all0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    const double main = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - main0;
    const double all = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - all0;
    const double seconds = wall.nsecsElapsed() / 1e9;
    stop = true;
    feeder.join();
    state.counters["main_thread_cpu_percent"] = 100.0 * main / seconds;
    state.counters["process_cpu_percent"] = 100.0 * all / seconds;
    state.counters["loop_running"] = TMMConnector::RunningCount();
    state.counters["passes_per_second"] = passes / seconds;
    rig.c.SetOnTrigger(nullptr);
}

// A served connector with no display: no block is ever due.
void BM_LiveStreamTriggerLoopCpu(benchmark::State &state) {
    TRig rig(true);
    for (auto _ : state)
        RunLoop(state, rig, true);
}
BENCHMARK(BM_LiveStreamTriggerLoopCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// A served connector whose stream has not delivered anything yet.
void BM_IdleStreamTriggerLoopCpu(benchmark::State &state) {
    TRig rig(true);
    for (auto _ : state)
        RunLoop(state, rig, false);
}
BENCHMARK(BM_IdleStreamTriggerLoopCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The console's seven displays (drawing nothing) on a live stream: the loop's cost
// with blocks falling due, and how late the bar meter's blocks came.
void BM_LiveStreamConsoleDisplaysCpu(benchmark::State &state) {
    TRig rig(true);
    TConsoleDisplays displays(rig.c);
    TLatenessLevel level(rig.c);
    rig.c.SetLevel1(&level);
    for (auto _ : state)
        RunLoop(state, rig, true);
    state.counters["blocks_late_mean_us"] = level.Count ? double(level.Sum) / level.Count : 0;
    state.counters["blocks_late_max_us"] = double(level.Max);
    state.counters["blocks_late_over_1500us_percent"] =
        level.Count ? 100.0 * level.Over1500 / level.Count : 0;
    state.counters["blocks"] = double(level.Count);
}
BENCHMARK(BM_LiveStreamConsoleDisplaysCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    return RunBenchmarks(argc, argv);
}
