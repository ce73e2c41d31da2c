// Cost of the console's loudness measurement: one captured buffer (2048 frames, 16-bit stereo
// at 48 kHz) through the measuring session, and the readings the page takes. Such buffers
// arrive 23.4 times a second, so a buffer's time in ns times 23.4e-7 is the share of one core
// in percent.
#include "analysis/LoudnessMeter.h"
#include "analysis/LoudnessSession.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

std::vector<std::int16_t> Buffer() {
    std::vector<std::int16_t> pcm(2 * 2048);
    for (std::size_t n = 0; n < 2048; ++n) {
        pcm[2 * n] = static_cast<std::int16_t>(std::lround(6000 * std::sin(0.0523 * n)));
        pcm[2 * n + 1] = static_cast<std::int16_t>(std::lround(4000 * std::sin(0.311 * n)));
    }
    return pcm;
}

void BM_LoudnessBuffer(benchmark::State &state) {
    TLoudnessSession session(2, 48000);
    const std::vector<std::int16_t> pcm = Buffer();
    if (state.range(0) == 0) session.Pause();
    for (auto _ : state)
        session.AddFrames(pcm.data(), 2048);
    state.SetLabel(state.range(0) ? "integrating" : "paused");
}
BENCHMARK(BM_LoudnessBuffer)->Arg(1)->Arg(0);

// The library measuring in its integrating mode, fed 16-bit or float frames in chunks of
// Arg(0) frames: whether the layout or the chunk size it is given changes its cost.
void BM_LoudnessFeed(benchmark::State &state) {
    TLoudnessMeter meter(2, 48000);
    meter.Start();
    const std::vector<std::int16_t> pcm = Buffer();
    std::vector<float> floats(pcm.size());
    std::transform(pcm.begin(), pcm.end(), floats.begin(), [](std::int16_t v) { return v / 32768.0f; });
    const auto chunk = static_cast<std::size_t>(state.range(0));
    const bool asFloat = state.range(1) != 0;
    for (auto _ : state)
        for (std::size_t at = 0; at < 2048; at += chunk) {
            const std::size_t n = std::min(chunk, 2048 - at);
            if (asFloat)
                meter.AddFrames(floats.data() + 2 * at, n);
            else
                meter.AddFrames(pcm.data() + 2 * at, n);
        }
    state.SetLabel(asFloat ? "float" : "16-bit");
}
BENCHMARK(BM_LoudnessFeed)->ArgsProduct({{256, 2048}, {0, 1}});

// What the tap copies out after every buffer, an hour into the programme.
void BM_LoudnessReading(benchmark::State &state) {
    TLoudnessSession session(2, 48000);
    const std::vector<std::int16_t> pcm = Buffer();
    for (int i = 0; i < 3600 * 48000 / 2048; ++i)
        session.AddFrames(pcm.data(), 2048);
    for (auto _ : state)
        benchmark::DoNotOptimize(session.Reading());
}
BENCHMARK(BM_LoudnessReading);

} // namespace

BENCHMARK_MAIN();
