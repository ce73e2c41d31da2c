// The connector's costs: one intake of a console buffer, one Refresh pass with
// and without displays, and the CPU that a live stream with the message trigger
// loop running takes when no display is attached (as % of one core).

#include "audio/MMConnector.h"
#include "platform/MicrosecondClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <atomic>
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

double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A live stream at the console's pace (one 8192-byte buffer every 42.67 ms from
// a worker thread) with the message trigger loop running and no display: the
// process's CPU time over wall time.
void BM_LiveStreamTriggerLoopCpu(benchmark::State &state) {
    TRig rig(true);
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::thread feeder([&] {
            const std::int64_t start = MicrosecondClock();
            for (std::int64_t k = 1; !stop; ++k) {
                rig.Feed();
                const std::int64_t due = start + k * ConsoleBuffer * 1000000LL / 192000;
                while (!stop && MicrosecondClock() < due)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        const double cpu0 = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double seconds = wall.nsecsElapsed() / 1e9;
        stop = true;
        feeder.join();
        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / seconds;
        state.counters["loop_running"] = TMMConnector::RunningCount();
    }
}
BENCHMARK(BM_LiveStreamTriggerLoopCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
