// What the meters' laws cost per block, without drawing: a PEAK bar's 50-frame block and a VU
// needle's 1000-frame block, as the connector hands them to the console's meters. The blocks
// carry a 1 kHz tone whose level steps from block to block, so the ballistics never rest.

#include "audio/MMTruePeakFeed.h"
#include "tests/widgets/ConsoleMeters.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

// 64 blocks of `frames` stereo frames, the level stepping through 0 .. -42 dBFS.
std::vector<std::vector<std::int16_t>> Blocks(int frames) {
    std::vector<std::vector<std::int16_t>> out(64);
    for (int b = 0; b < 64; ++b)
        for (int i = 0; i < frames; ++i) {
            const double a = 32767.0 * std::pow(10.0, -(b * 7 % 43) / 20.0);
            const auto s = static_cast<std::int16_t>(
                std::lround(a * std::sin(2.0 * std::numbers::pi * 1000.0 * (b * frames + i) / 48000.0)));
            out[b].push_back(s);
            out[b].push_back(s);
        }
    return out;
}

} // namespace

// One PEAK bar block: the peak, the ballistics, the spot position, the marker.
// Arg 0: the TMMPeakStandard (0 classic, 1 DIN, 2 Nordic, 3 BBC, 4 EBU, 5 digital,
// 6-8 K-20/14/12, 9 true peak, taking a peak the loudness thread offers every 41 blocks, a
// capture buffer's worth). Arg 1: the TMMScaleFamily the bar is placed on (0 dBFS).
static void BM_BarLawBlock(benchmark::State &state) {
    const auto blocks = Blocks(50);
    TMMLevelState bar;
    ConsoleBar(bar, chLeft);
    bar.SetPeakStandard(static_cast<TMMPeakStandard>(state.range(0)));
    bar.SetScaleLaw({static_cast<TMMScaleFamily>(state.range(1)), kAlignDefaultDbfs});
    TMMTruePeakFeed feed;
    bar.SetTruePeakFeed(&feed);
    std::size_t i = 0;
    for (auto _ : state) {
        if ((i % 41) == 0) feed.Offer(0, 0.5f);
        benchmark::DoNotOptimize(bar.ProcessBlock(blocks[i++ & 63].data()));
        if ((i % 24) == 0) bar.PeakTick();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BarLawBlock)
    ->ArgsProduct({benchmark::CreateDenseRange(0, kPeakStandardCount - 1, 1), {sfDbfs}})
    ->ArgsProduct({{psBBC}, {sfBBC}})
    ->ArgsProduct({{psEBU}, {sfEBU}})
    ->ArgsProduct({{psDIN}, {sfDIN}})
    ->ArgsProduct({{psK20}, {sfK20}});

// One VU needle block: the block value, the ballistics, the needle angle.
// Arg: the TMMNeedleStandard (0 classic, 1 IEC VU).
static void BM_NeedleLawBlock(benchmark::State &state) {
    const auto blocks = Blocks(1000);
    TMMMeterState needle;
    ConsoleNeedle(needle, chLeft);
    needle.SetNeedleStandard(static_cast<TMMNeedleStandard>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(needle.ProcessBlock(blocks[i++ & 63].data()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NeedleLawBlock)->DenseRange(0, kNeedleStandardCount - 1);

BENCHMARK_MAIN();
