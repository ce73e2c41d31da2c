// Cost of the peak detector at the end of the console's chain: one captured
// buffer (2048 frames, 16-bit stereo) analysed with no event assigned, as the
// console runs it. At 48 kHz such buffers arrive 23.4 times a second, so a
// buffer's time in ns times 23.4e-7 is the share of one core in percent.
#include "audio/MMPeakDetect.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

void BM_PeakDetectBuffer(benchmark::State &state) {
    TMMPeakDetect detect;
    detect.SetFFTLength(static_cast<int>(state.range(0)));
    TWaveFormatEx f;
    BuildPCMFormat(f, 16, 2, 48000);
    detect.SetPWaveFormat(&f);
    detect.Opened();
    detect.Started();

    // A tone on the left, a different one on the right: every bin and both peaks do real work.
    constexpr int Frames = 2048;
    std::vector<std::int16_t> pcm(2 * Frames);
    for (int n = 0; n < Frames; ++n) {
        pcm[2 * n] = static_cast<std::int16_t>(std::lround(12000 * std::sin(0.0523 * n)));
        pcm[2 * n + 1] = static_cast<std::int16_t>(std::lround(9000 * std::sin(0.311 * n)));
    }
    WAVEHDR h;
    h.lpData = reinterpret_cast<char *>(pcm.data());
    h.dwBufferLength = h.dwBytesRecorded = static_cast<std::uint32_t>(2 * pcm.size());

    for (auto _ : state) {
        detect.BufferReady(&h);
        benchmark::DoNotOptimize(detect.BinMaximum(3));
    }
}
BENCHMARK(BM_PeakDetectBuffer)->Arg(128)->Arg(1024)->Arg(16384);

} // namespace

BENCHMARK_MAIN();
