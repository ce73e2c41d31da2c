#include "analysis/MMFFT.h"
#include "analysis/MMFFTSmall.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

using namespace MMFFTDetail;

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
// ---- portable kernels -------------------------------------------------------------------

// The L-shaped butterfly at position k: sums into the first half, rotated
// differences into the quarters. Rotation 0 is none, 1 the eighth of the circle, 2 from the table.
template <int Rotation>
inline void Butterfly(float *a, float *b, float *c, float *d, std::size_t k, const float *w) {
    const std::size_t r = 2 * k, i = r + 1;
    const float ar = a[r], ai = a[i], br = b[r], bi = b[i], cr = c[r], ci = c[i], dr = d[r], di = d[i];
    const float d1r = ar - cr, d1i = ai - ci, d2r = br - dr, d2i = bi - di;
    a[r] = ar + cr;
    a[i] = ai + ci;
    b[r] = br + dr;
    b[i] = bi + di;
    const float ur = d1r + d2i, ui = d1i - d2r, vr = d1r - d2i, vi = d1i + d2r;
    if constexpr (Rotation == 0) {
        c[r] = ur;
        c[i] = ui;
        d[r] = vr;
        d[i] = vi;
    } else if constexpr (Rotation == 1) {
        c[r] = (ur + ui) * kSqrtHalf;
        c[i] = (ui - ur) * kSqrtHalf;
        d[r] = (vi - vr) * kSqrtHalf;
        d[i] = -(vr + vi) * kSqrtHalf;
    } else {
        c[r] = ur * w[0] - ui * w[1];
        c[i] = ur * w[1] + ui * w[0];
        d[r] = vr * w[2] - vi * w[3];
        d[i] = vr * w[3] + vi * w[2];
    }
}

// One split-radix decimation-in-frequency stage on n complex values, then the
// half and the two quarters. stride steps through the twiddles of the full length.
void SplitRadix(float *z, std::size_t n, const float *tw, std::size_t stride) {
    if (ShortFft(z, n)) return;
    const std::size_t q = n / 4;
    float *a = z, *b = z + 2 * q, *c = z + 4 * q, *d = z + 6 * q;
    const std::size_t eighth = q / 2;
    Butterfly<0>(a, b, c, d, 0, nullptr);
    for (std::size_t k = 1; k < eighth; ++k)
        Butterfly<2>(a, b, c, d, k, tw + 4 * k * stride);
    Butterfly<1>(a, b, c, d, eighth, nullptr);
    for (std::size_t k = eighth + 1; k < q; ++k)
        Butterfly<2>(a, b, c, d, k, tw + 4 * k * stride);
    SplitRadix(z, n / 2, tw, stride * 2);
    SplitRadix(z + n, q, tw, stride * 4);
    SplitRadix(z + n + n / 2, q, tw, stride * 4);
}

void ComplexFFTPortable(const TMMFFTPlan &plan, float *z) {
    SplitRadix(z, static_cast<std::size_t>(plan.Length / 2), plan.ComplexTwiddles.data(), 1);
}

// Visits every pair (i, rev i) with i < rev i exactly once, so there is no
// unpredictable test: the outer s bit pairs of i mirror each other and the next
// pair reads 0 at the top and 1 at the bottom, which makes rev i the larger index.
void PermutePortable(const TMMFFTPlan &plan, float *z) {
    const int bits = plan.Log2Length - 1;
    const std::int32_t *rev = plan.BitReverse.data();
    for (int s = 0; 2 * s + 2 <= bits; ++s) {
        const std::size_t middles = std::size_t{1} << (bits - 2 * s - 2);
        for (std::size_t outer = 0; outer < (std::size_t{1} << s); ++outer) {
            const std::size_t high = outer << (bits - s);
            const std::size_t base = high | static_cast<std::size_t>(rev[high]) | (std::size_t{1} << s);
            for (std::size_t mid = 0; mid < middles; ++mid) {
                const std::size_t i = base | (mid << (s + 1)), j = static_cast<std::size_t>(rev[i]);
                std::uint64_t x, y; // one move per complex value
                std::memcpy(&x, z + 2 * i, sizeof x);
                std::memcpy(&y, z + 2 * j, sizeof y);
                std::memcpy(z + 2 * i, &y, sizeof y);
                std::memcpy(z + 2 * j, &x, sizeof x);
            }
        }
    }
}

void RealSplitPortable(const TMMFFTPlan &plan, float *x) {
    const std::size_t m = static_cast<std::size_t>(plan.Length / 2);
    RealSplitPairs(x, m, plan.RealTwiddles.data(), 1, m / 2);
    RealSplitEnds(x, m, plan.RealTwiddles.data());
}

// Rebuilds 2*Z[k] of the half-length complex spectrum from X[0..N/2] and stores
// its conjugate, so the forward kernel can serve the inverse transform.
void RealUnsplitPortable(const TMMFFTPlan &plan, float *x) {
    const std::size_t m = static_cast<std::size_t>(plan.Length / 2);
    const float dc = x[0], nyquist = x[1];
    x[0] = dc + nyquist;
    x[1] = -(dc - nyquist);
    if (m < 2) return;
    const float *rt = plan.RealTwiddles.data();
    const std::size_t half = m / 2;
    for (std::size_t k = 1; k < half; ++k) {
        float *a = x + 2 * k, *b = x + 2 * (m - k);
        const float cs = 2.0f * rt[2 * k - 2], sn = 1.0f - 2.0f * rt[2 * k - 1];
        const float sr = a[0] + b[0], si = a[1] - b[1];
        const float dr = a[0] - b[0], di = a[1] + b[1];
        const float pr = sn * dr + cs * di, pi = cs * dr - sn * di;
        a[0] = sr - pr;
        a[1] = -(si + pi);
        b[0] = sr + pr;
        b[1] = -(pi - si);
    }
    x[2 * half] *= 2.0f;
    x[2 * half + 1] *= 2.0f;
}

void ScalePortable(float *data, std::size_t count, float factor) {
    for (std::size_t i = 0; i < count; ++i)
        data[i] *= factor;
}

void ClearPortable(float *data, std::size_t count) {
    std::fill(data, data + count, 0.0f);
}

void ComplexMultiplyPortable(float *a, const float *b, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        const float ar = a[2 * k], ai = a[2 * k + 1], br = b[2 * k], bi = b[2 * k + 1];
        a[2 * k] = ar * br - ai * bi;
        a[2 * k + 1] = ar * bi + ai * br;
    }
}

constexpr TMMFFTKernels kPortableKernels = {
    ComplexFFTPortable, PermutePortable, RealSplitPortable,       RealUnsplitPortable,
    ScalePortable,      ClearPortable,   ComplexMultiplyPortable,
};

std::atomic<const TMMFFTKernels *> &KernelSlot() {
    static std::atomic<const TMMFFTKernels *> slot{&DefaultFFTKernels()};
    return slot;
}

} // namespace

// ---- plans and tables -----------------------------------------------------------------------

TMMFFTPlan *InitFFTPlan(int log2Length) {
    if (log2Length < 1 || log2Length > 31) return nullptr;
    auto *plan = new TMMFFTPlan;
    try {
        const std::int64_t n = std::int64_t{1} << log2Length;
        plan->Log2Length = log2Length;
        plan->Length = n;
        plan->InvLength = 1.0f / static_cast<float>(n);

        plan->BitReverse.resize(static_cast<std::size_t>(n / 2));
        FillBitReversal(plan->BitReverse.data(), log2Length - 1);

        // Rotation recurrences in extended precision, rounded to single only when stored.
        const long double t = 2.0L * kPi / static_cast<long double>(n / 2);
        const long double c1 = std::cos(t), s1 = std::sin(t), c3 = std::cos(3.0L * t),
                          s3 = std::sin(3.0L * t);
        long double wr = 1.0L, wi = 0.0L, w3r = 1.0L, w3i = 0.0L;
        plan->ComplexTwiddles.resize(static_cast<std::size_t>(n / 8) * 4);
        for (std::size_t k = 0; k < static_cast<std::size_t>(n / 8); ++k) {
            float *e = &plan->ComplexTwiddles[4 * k];
            e[0] = static_cast<float>(wr);
            e[1] = static_cast<float>(-wi);
            e[2] = static_cast<float>(w3r);
            e[3] = static_cast<float>(-w3i);
            const long double nr = wr * c1 - wi * s1, n3r = w3r * c3 - w3i * s3;
            wi = wr * s1 + wi * c1;
            wr = nr;
            w3i = w3r * s3 + w3i * c3;
            w3r = n3r;
        }

        const long double f = 2.0L * kPi / static_cast<long double>(n);
        const long double cf = std::cos(f), sf = std::sin(f);
        long double vr = cf, vi = sf;
        plan->RealTwiddles.resize(static_cast<std::size_t>(n / 4) * 2);
        for (std::size_t k = 0; k < static_cast<std::size_t>(n / 4); ++k) {
            plan->RealTwiddles[2 * k] = static_cast<float>(0.5L * vr);
            plan->RealTwiddles[2 * k + 1] = static_cast<float>(0.5L - 0.5L * vi);
            const long double nr = vr * cf - vi * sf;
            vi = vr * sf + vi * cf;
            vr = nr;
        }
    } catch (...) {
        delete plan;
        throw;
    }
    return plan;
}

void DoneFFTPlan(TMMFFTPlan *&plan) {
    delete plan;
    plan = nullptr;
}

float FFTWindowValue(int kind, std::int64_t i, std::int64_t n) {
    const long double x = static_cast<long double>(i), len = static_cast<long double>(n);
    long double w = 1.0L;
    switch (kind) {
    case fwHamming:
        w = 0.54L - 0.46L * std::cos(2.0L * kPi * x / len);
        break;
    case fwHanning:
        w = 0.5L - 0.5L * std::cos(2.0L * kPi * x / len);
        break;
    case fwBlackman:
        w = 0.42L - 0.5L * std::cos(2.0L * kPi * x / len) + 0.08L * std::cos(4.0L * kPi * x / len);
        break;
    case fwGaussian: {
        const long double u = 2.0L * x - len;
        w = std::exp(-5.0L * u * u / (len * len));
        break;
    }
    case fwWelch: {
        const long double u = (2.0L * x - len) / (len + 1.0L);
        w = 1.0L - u * u;
        break;
    }
    case fwParzen:
        w = 1.0L - std::fabs((2.0L * x - len) / (len + 1.0L));
        break;
    default:
        break;
    }
    return static_cast<float>(w);
}

void FillWindowTable(std::int32_t *table, int kind, int log2Length) {
    const std::int64_t n = std::int64_t{1} << log2Length;
    for (std::int64_t i = 0; i < n; ++i) {
        const long double w = FFTWindowValue(kind, i, n);
        table[i] = static_cast<std::int32_t>(std::floor(w * 32767.0L + 0.5L));
    }
}

void FillBitReversal(std::int32_t *table, int log2Length) {
    table[0] = 0;
    const std::int64_t n = std::int64_t{1} << log2Length;
    for (std::int64_t i = 1; i < n; ++i)
        table[i] = (table[i >> 1] >> 1) | static_cast<std::int32_t>((i & 1) << (log2Length - 1));
}

// ---- the transform ----------------------------------------------------------------------------

const TMMFFTKernels &PortableFFTKernels() {
    return kPortableKernels;
}

const TMMFFTKernels &DefaultFFTKernels() {
    const TMMFFTKernels *sse2 = SSE2FFTKernels();
    return sse2 != nullptr ? *sse2 : kPortableKernels;
}

const TMMFFTKernels &FFTKernels() {
    return *KernelSlot().load(std::memory_order_acquire);
}

void SetFFTKernels(const TMMFFTKernels *kernels) {
    KernelSlot().store(kernels != nullptr ? kernels : &DefaultFFTKernels(), std::memory_order_release);
}

void DoRealFFT(const TMMFFTPlan *plan, float *data, int direction) {
    if (plan == nullptr || data == nullptr) return;
    const TMMFFTKernels &k = FFTKernels();
    if (std::clamp(direction, -1, 1) >= 0) {
        k.ComplexFFT(*plan, data);
        k.Permute(*plan, data);
        k.RealSplit(*plan, data);
        return;
    }
    // Inverse through the forward kernel: conj(FFT(conj(Z))) = N/2 * IFFT(Z).
    const std::size_t n = static_cast<std::size_t>(plan->Length);
    k.RealUnsplit(*plan, data);
    k.ComplexFFT(*plan, data);
    k.Permute(*plan, data);
    k.Scale(data, n, plan->InvLength);
    for (std::size_t i = 1; i < n; i += 2)
        data[i] = -data[i];
}
