#include "BenchMain.h"
#include "app/ConsoleSpectra.h"
#include "audio/MMPeakTick.h"
#include "widgets/MMSpectrum.h"

#include <QApplication>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

// The console's three spectrum displays: what one block costs the main thread
// (transform, decay, bars and the frame drawn into the work bitmap), and the
// share of a core they take together when fed at the connector's pace, 8192
// bytes (2048 stereo frames at 48 kHz) every 42.7 ms, with the frame clock
// presenting what they draw.

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

struct Console {
    QWidget Window;
    TMMSpectrum *Phase;
    TMMSpectrum *Small;
    TMMSpectrum *Large;
    // 16 blocks of music-like material: a few tones drifting in level over noise.
    std::vector<std::vector<std::int16_t>> Blocks;

    explicit Console(TMMSpectrumKind smallKind = skBars) {
        Window.resize(800, 610);
        Phase = new TMMSpectrum(&Window);
        SetUpPhaseMeter(*Phase, {36, 18, 270, 270});
        Large = new TMMSpectrum(&Window);
        SetUpLargeSpectrum(*Large, {6, 300, 776, 220});
        Small = new TMMSpectrum(&Window);
        SetUpSmallSpectrum(*Small, {320, 18, 296, 109});
        Small->SetNumPeaks(smallKind == skBars ? 1 : 0);
        Small->SetKind(smallKind);

        std::mt19937 noise(7);
        std::normal_distribution<double> n(0.0, 300.0);
        long frame = 0;
        for (int b = 0; b < 16; ++b) {
            std::vector<std::int16_t> block;
            const double swell = 0.5 + 0.5 * std::sin(b * 0.7);
            for (int i = 0; i < 2048; ++i, ++frame) {
                const double t = frame / 48000.0;
                const double tone = 9000 * swell * std::sin(2 * std::numbers::pi * 220 * t) +
                                    4000 * std::sin(2 * std::numbers::pi * 1000 * t) +
                                    1500 * (1 - swell) * std::sin(2 * std::numbers::pi * 5000 * t);
                block.push_back(static_cast<std::int16_t>(std::lround(tone + n(noise))));
                block.push_back(static_cast<std::int16_t>(std::lround(0.8 * tone + n(noise))));
            }
            Blocks.push_back(std::move(block));
        }
        Window.show();
        while (!Window.windowHandle() || !Window.windowHandle()->isExposed())
            QApplication::processEvents();
        QApplication::processEvents();
    }

    const void *Block(std::int64_t i) const { return Blocks[static_cast<std::size_t>(i % 16)].data(); }
};

template <typename Pick> void PerBlock(benchmark::State &state, TMMSpectrumKind smallKind, Pick pick) {
    Console console(smallKind);
    TMMSpectrum *s = pick(console);
    std::int64_t block = 0;
    for (auto _ : state) {
        s->RefreshPCMData(console.Block(block++));
        if (block % 16 == 0) QApplication::processEvents();
    }
    state.SetItemsProcessed(block);
}

} // namespace

// The large analyser: 2048-point transform, step-up decay, 744 columns as a polyline.
static void BM_LargeAnalyserBlock(benchmark::State &state) {
    PerBlock(state, skBars, [](Console &c) { return c.Large; });
}
BENCHMARK(BM_LargeAnalyserBlock)->Unit(benchmark::kMicrosecond);

// The small analyser as bars of 54 spots with a peak spot each.
static void BM_SmallAnalyserBarsBlock(benchmark::State &state) {
    PerBlock(state, skBars, [](Console &c) { return c.Small; });
}
BENCHMARK(BM_SmallAnalyserBarsBlock)->Unit(benchmark::kMicrosecond);

// The small analyser as a line.
static void BM_SmallAnalyserLinesBlock(benchmark::State &state) {
    PerBlock(state, skLines, [](Console &c) { return c.Small; });
}
BENCHMARK(BM_SmallAnalyserLinesBlock)->Unit(benchmark::kMicrosecond);

// The phase display: 1024 dots and the axes on a cleared 268 x 268 picture.
static void BM_PhaseBlock(benchmark::State &state) {
    PerBlock(state, skBars, [](Console &c) { return c.Phase; });
}
BENCHMARK(BM_PhaseBlock)->Unit(benchmark::kMicrosecond);

// What one present of the large analyser's drawing area costs: the frame is
// current, so the paint copies the work bitmap to the window.
static void BM_LargeAnalyserPresent(benchmark::State &state) {
    Console console;
    console.Large->RefreshPCMData(console.Block(0));
    const QRect area = console.Large->DrawingArea().ToQRect();
    for (auto _ : state)
        console.Large->repaint(area);
}
BENCHMARK(BM_LargeAnalyserPresent)->Unit(benchmark::kMicrosecond);

// All three fed at the connector's pace for three seconds, the main loop turning
// about once a millisecond between blocks: process CPU time over wall time.
// With feed false the same loop runs without blocks: the baseline the spectra add to.
static void AtBlockRate(benchmark::State &state, bool feed) {
    Console console;
    const auto period = std::chrono::nanoseconds(1'000'000'000LL * 2048 / 48000);
    const double cpuStart = ProcessCpuSeconds();
    const auto start = Clock::now();
    auto due = start;
    std::int64_t block = 0;
    for (auto _ : state) {
        do {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } while (Clock::now() < due);
        if (feed) {
            console.Phase->RefreshPCMData(console.Block(block));
            console.Small->RefreshPCMData(console.Block(block));
            console.Large->RefreshPCMData(console.Block(block));
        }
        ++block;
        due += period;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["core_percent"] = 100.0 * (ProcessCpuSeconds() - cpuStart) / seconds;
    state.counters["blocks_per_s"] = double(block) / seconds;
}
static void BM_ConsoleSpectraAtBlockRate(benchmark::State &state) {
    AtBlockRate(state, true);
}
BENCHMARK(BM_ConsoleSpectraAtBlockRate)->Iterations(70)->Unit(benchmark::kMicrosecond);
static void BM_IdleLoopAtBlockRate(benchmark::State &state) {
    AtBlockRate(state, false);
}
BENCHMARK(BM_IdleLoopAtBlockRate)->Iterations(70)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv) {
    return RunBenchmarks<QApplication>(argc, argv);
}
