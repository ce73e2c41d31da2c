// The real FFT beside two common libraries at the same lengths, and the
// analyser's whole block path at the console's length.

#include "analysis/MMFFT.h"
#include "analysis/MMSpectrumBlock.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#ifdef HAVE_FFTW3F
#include <fftw3.h>
#endif
#ifdef HAVE_KISSFFT
#include <kissfft/kiss_fftr.h>
#endif

namespace {

std::vector<float> Noise(std::size_t n) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-32768.0f, 32767.0f);
    std::vector<float> x(n);
    for (float &v : x)
        v = d(rng);
    return x;
}

void FFTLengths(benchmark::internal::Benchmark *b) {
    for (int n = 128; n <= 4096; n *= 2)
        b->Arg(n);
}

// The transform works in place, so each run starts from a fresh copy of the
// input; the copy is timed too, in all three, to keep them comparable.
void BM_DoRealFFT(benchmark::State &state, const TMMFFTKernels *kernels) {
    const int n = static_cast<int>(state.range(0));
    TMMFFTPlan *plan = InitFFTPlan(static_cast<int>(std::log2(n)));
    const std::vector<float> input = Noise(n);
    std::vector<float> x(n);
    const TMMFFTKernels &before = FFTKernels();
    SetFFTKernels(kernels);
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), x.begin());
        DoRealFFT(plan, x.data(), 1);
        benchmark::DoNotOptimize(x.data());
        benchmark::ClobberMemory();
    }
    SetFFTKernels(&before);
    DoneFFTPlan(plan);
}
BENCHMARK_CAPTURE(BM_DoRealFFT, portable, &PortableFFTKernels())->Apply(FFTLengths);
#if defined(__SSE2__)
BENCHMARK_CAPTURE(BM_DoRealFFT, sse2, SSE2FFTKernels())->Apply(FFTLengths);
#endif

#ifdef HAVE_FFTW3F
void BM_FFTW(benchmark::State &state) {
    const int n = static_cast<int>(state.range(0));
    float *in = fftwf_alloc_real(n);
    fftwf_complex *out = fftwf_alloc_complex(n / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    const std::vector<float> input = Noise(n);
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), in);
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(out);
    fftwf_free(in);
}
BENCHMARK(BM_FFTW)->Apply(FFTLengths);
#endif

#ifdef HAVE_KISSFFT
void BM_KissFFT(benchmark::State &state) {
    const int n = static_cast<int>(state.range(0));
    kiss_fftr_cfg cfg = kiss_fftr_alloc(n, 0, nullptr, nullptr);
    std::vector<kiss_fft_scalar> in(n);
    std::vector<kiss_fft_cpx> out(n / 2 + 1);
    const std::vector<float> input = Noise(n);
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), in.begin());
        kiss_fftr(cfg, in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    kiss_fftr_free(cfg);
}
BENCHMARK(BM_KissFFT)->Apply(FFTLengths);
#endif

// PrepareFFTBlock + transform + bin scaling + BinMagnitudes, as the large analyser runs it.
void BM_SpectrumBlockPath(benchmark::State &state, TMMBinForm form, const TMMFFTKernels *kernels) {
    const int n = static_cast<int>(state.range(0));
    const TMMFFTKernels &before = FFTKernels();
    SetFFTKernels(kernels);
    TMMSpectrumBlock block;
    block.Setup().SetFFTLength(n);
    block.SetFormat({b16Bit, mStereo, chBoth, 0});
    std::vector<std::int16_t> pcm(2 * n);
    std::mt19937 rng(2);
    std::uniform_int_distribution<int> d(-20000, 20000);
    for (auto &s : pcm)
        s = static_cast<std::int16_t>(d(rng));
    std::vector<std::int32_t> offsets(n / 2, 200000), levels(n / 2);
    for (auto _ : state) {
        block.Transform(pcm.data());
        block.Magnitudes(form, offsets.data(), levels.data());
        benchmark::DoNotOptimize(levels.data());
        benchmark::ClobberMemory();
    }
    SetFFTKernels(&before);
}
BENCHMARK_CAPTURE(BM_SpectrumBlockPath, log_portable, TMMBinForm::Logarithmic, &PortableFFTKernels())
    ->Arg(2048);
BENCHMARK_CAPTURE(BM_SpectrumBlockPath, linear_portable, TMMBinForm::Linear, &PortableFFTKernels())
    ->Arg(2048);
BENCHMARK_CAPTURE(BM_SpectrumBlockPath, log_default, TMMBinForm::Logarithmic, &DefaultFFTKernels())
    ->Arg(2048);
BENCHMARK_CAPTURE(BM_SpectrumBlockPath, linear_default, TMMBinForm::Linear, &DefaultFFTKernels())->Arg(2048);

} // namespace

BENCHMARK_MAIN();
