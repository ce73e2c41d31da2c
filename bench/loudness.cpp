// Cost of the console's loudness measurement: one captured buffer (2048 frames, 16-bit stereo
// at 48 kHz) through the measuring session, and the readings the page takes. Such buffers
// arrive 23.4 times a second, so a buffer's time in ns times 23.4e-7 is the share of one core
// in percent.
#include "analysis/LoudnessSession.h"

#include <benchmark/benchmark.h>

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
