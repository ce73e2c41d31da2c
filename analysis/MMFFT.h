#pragma once

// The FFT unit: set-up records for power-of-two lengths, Q15 window tables and
// an in-place real FFT on single floats. Knows nothing about PCM formats.

#include <cstddef>
#include <cstdint>
#include <vector>

enum TMMFFTWindow {
    fwRectangular = 0,
    fwHamming = 1,
    fwHanning = 2,
    fwBlackman = 3,
    fwGaussian = 4,
    fwWelch = 5,
    fwParzen = 6
};

// Immutable once built. Length is 64-bit because 2^31 does not fit a signed 32-bit field.
struct TMMFFTPlan {
    std::int32_t Log2Length = 0;
    std::int64_t Length = 0;
    float InvLength = 0.0f;
    // Length/2 entries: i with its Log2Length-1 low bits reversed.
    std::vector<std::int32_t> BitReverse;
    // Length/8 entries of four floats: cos(kt), -sin(kt), cos(3kt), -sin(3kt), t = 2*pi/(Length/2).
    std::vector<float> ComplexTwiddles;
    // Length/4 entries of two floats (k = 1..Length/4): 0.5*cos(kf), 0.5 - 0.5*sin(kf), f = 2*pi/Length.
    std::vector<float> RealTwiddles;
};

// A new plan for 2^log2Length real samples, or nullptr outside 1..31.
// Throws std::bad_alloc when the tables do not fit in memory.
TMMFFTPlan *InitFFTPlan(int log2Length);
// Frees the plan when there is one and empties the reference.
void DoneFFTPlan(TMMFFTPlan *&plan);

// Periodic window weight w(i) for a block of n samples; unknown kinds give 1.
float FFTWindowValue(int kind, std::int64_t i, std::int64_t n);
// table[i] = Floor(w(i) * 32767 + 0.5) for i = 0..2^log2Length-1.
void FillWindowTable(std::int32_t *table, int kind, int log2Length);
// table[i] = i with its log2Length bits reversed, for i = 0..2^log2Length-1.
void FillBitReversal(std::int32_t *table, int log2Length);

// In-place transform of plan->Length floats; direction is clamped to -1..1.
// Forward (0 or 1): x[2k], x[2k+1] = X[k] for k = 1..N/2-1, x[0] = X[0], x[1] = 0;
// not normalised. Inverse (-1): reads the same layout, x[1] taken as the Nyquist
// term, and returns the real signal scaled by 1/N, so inverse(forward(x)) = x for
// signals without a Nyquist component. Nothing happens when plan or data is null.
void DoRealFFT(const TMMFFTPlan *plan, float *data, int direction);

// The routines behind DoRealFFT. The unit fills the table once, on first use; another
// kernel set can be put in its place with SetFFTKernels.
struct TMMFFTKernels {
    // Complex split-radix DIF FFT of Length/2 interleaved values; output bit-reversed.
    void (*ComplexFFT)(const TMMFFTPlan &plan, float *z);
    // Bit-reversal permutation of Length/2 interleaved complex values.
    void (*Permute)(const TMMFFTPlan &plan, float *z);
    // Turns the half-length complex spectrum into the real one (DC and split).
    void (*RealSplit)(const TMMFFTPlan &plan, float *x);
    // Inverse of RealSplit up to a factor 2, producing conjugated values ready for ComplexFFT.
    void (*RealUnsplit)(const TMMFFTPlan &plan, float *x);
    void (*Scale)(float *data, std::size_t count, float factor);
    void (*Clear)(float *data, std::size_t count);
    // a[i] *= b[i] for count interleaved complex values.
    void (*ComplexMultiply)(float *a, const float *b, std::size_t count);
};

// The plain C++ set: the reference every other set is measured against.
const TMMFFTKernels &PortableFFTKernels();
// Two complex values per register; nullptr where the processor has no SSE2.
const TMMFFTKernels *SSE2FFTKernels();
// What the unit starts with: SSE2 where available, else the portable set.
const TMMFFTKernels &DefaultFFTKernels();
// The set DoRealFFT uses now.
const TMMFFTKernels &FFTKernels();
// Puts another kernel set in place (nullptr restores the default one). Keeps the
// pointer, so the table must outlive every transform; call it before transforms run.
void SetFFTKernels(const TMMFFTKernels *kernels);
