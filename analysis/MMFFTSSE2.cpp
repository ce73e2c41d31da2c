// SSE2 kernel set: the same split-radix schedule and tables as the portable
// kernels, two complex values per register. SSE2 is part of every x86-64.

#include "analysis/MMFFT.h"
#include "analysis/MMFFTSmall.h"

#if defined(__SSE2__)

#include <emmintrin.h>

using namespace MMFFTDetail;

namespace {

inline __m128 SignMask(bool lane0, bool lane1, bool lane2, bool lane3) {
    const int s = static_cast<int>(0x80000000u);
    return _mm_castsi128_ps(_mm_set_epi32(lane3 ? s : 0, lane2 ? s : 0, lane1 ? s : 0, lane0 ? s : 0));
}

// Swaps re and im of both complex values.
inline __m128 SwapPairs(__m128 v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1));
}

// u * w for two complex values, w given as its broadcast real and imaginary parts.
inline __m128 ComplexMul(__m128 u, __m128 wr, __m128 wi, __m128 negEven) {
    return _mm_add_ps(_mm_mul_ps(u, wr), _mm_xor_ps(_mm_mul_ps(SwapPairs(u), wi), negEven));
}

void SplitRadixSSE2(float *z, std::size_t n, const float *tw, std::size_t stride) {
    if (ShortFft(z, n)) return;
    const std::size_t q = n / 4; // even from n = 16 on
    float *a = z, *b = z + 2 * q, *c = z + 4 * q, *d = z + 6 * q;
    const __m128 negOdd = SignMask(false, true, false, true);
    const __m128 negEven = SignMask(true, false, true, false);
    for (std::size_t k = 0; k < q; k += 2) {
        const std::size_t r = 2 * k;
        const __m128 va = _mm_loadu_ps(a + r), vb = _mm_loadu_ps(b + r);
        const __m128 vc = _mm_loadu_ps(c + r), vd = _mm_loadu_ps(d + r);
        _mm_storeu_ps(a + r, _mm_add_ps(va, vc));
        _mm_storeu_ps(b + r, _mm_add_ps(vb, vd));
        const __m128 d1 = _mm_sub_ps(va, vc);
        const __m128 t = _mm_xor_ps(SwapPairs(_mm_sub_ps(vb, vd)), negOdd); // -i(b-d)
        const __m128 u = _mm_add_ps(d1, t), v = _mm_sub_ps(d1, t);
        // Entries k and k+1: (cos, -sin) of the rotation and of its triple.
        const __m128 w0 = _mm_loadu_ps(tw + 4 * k * stride), w1 = _mm_loadu_ps(tw + 4 * (k + 1) * stride);
        const __m128 w1r = _mm_shuffle_ps(w0, w1, _MM_SHUFFLE(0, 0, 0, 0));
        const __m128 w1i = _mm_shuffle_ps(w0, w1, _MM_SHUFFLE(1, 1, 1, 1));
        const __m128 w3r = _mm_shuffle_ps(w0, w1, _MM_SHUFFLE(2, 2, 2, 2));
        const __m128 w3i = _mm_shuffle_ps(w0, w1, _MM_SHUFFLE(3, 3, 3, 3));
        _mm_storeu_ps(c + r, ComplexMul(u, w1r, w1i, negEven));
        _mm_storeu_ps(d + r, ComplexMul(v, w3r, w3i, negEven));
    }
    SplitRadixSSE2(z, n / 2, tw, stride * 2);
    SplitRadixSSE2(z + n, q, tw, stride * 4);
    SplitRadixSSE2(z + n + n / 2, q, tw, stride * 4);
}

void ComplexFFTSSE2(const TMMFFTPlan &plan, float *z) {
    SplitRadixSSE2(z, static_cast<std::size_t>(plan.Length / 2), plan.ComplexTwiddles.data(), 1);
}

// Four pairs at a time in split form (real parts together, imaginary parts together).
void RealSplitSSE2(const TMMFFTPlan &plan, float *x) {
    const std::size_t m = static_cast<std::size_t>(plan.Length / 2);
    const float *rt = plan.RealTwiddles.data();
    const std::size_t half = m / 2;
    std::size_t k = 1;
    for (; k + 4 <= half; k += 4) {
        float *pa = x + 2 * k, *pb = x + 2 * (m - k - 3);
        const __m128 a0 = _mm_loadu_ps(pa), a1 = _mm_loadu_ps(pa + 4);
        const __m128 b0 = _mm_loadu_ps(pb), b1 = _mm_loadu_ps(pb + 4); // z[m-k-3] .. z[m-k]
        const __m128 ar = _mm_shuffle_ps(a0, a1, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 ai = _mm_shuffle_ps(a0, a1, _MM_SHUFFLE(3, 1, 3, 1));
        // Reversed, so lane j holds z[m-k-j].
        const __m128 br = _mm_shuffle_ps(b1, b0, _MM_SHUFFLE(0, 2, 0, 2));
        const __m128 bi = _mm_shuffle_ps(b1, b0, _MM_SHUFFLE(1, 3, 1, 3));
        const __m128 t0 = _mm_loadu_ps(rt + 2 * k - 2), t1 = _mm_loadu_ps(rt + 2 * k + 2);
        const __m128 c = _mm_shuffle_ps(t0, t1, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 h = _mm_shuffle_ps(t0, t1, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128 d = _mm_sub_ps(ar, br), s = _mm_add_ps(ai, bi);
        const __m128 o = _mm_add_ps(_mm_mul_ps(d, h), _mm_mul_ps(s, c));
        const __m128 s2 = _mm_sub_ps(_mm_mul_ps(s, h), _mm_mul_ps(c, d));
        const __m128 xar = _mm_add_ps(br, o), xai = _mm_sub_ps(s2, bi);
        const __m128 xbr = _mm_sub_ps(ar, o), xbi = _mm_sub_ps(s2, ai);
        _mm_storeu_ps(pa, _mm_unpacklo_ps(xar, xai));
        _mm_storeu_ps(pa + 4, _mm_unpackhi_ps(xar, xai));
        // Back into ascending order: lanes 3, 2 then 1, 0.
        const __m128 lo = _mm_unpacklo_ps(xbr, xbi), hi = _mm_unpackhi_ps(xbr, xbi);
        _mm_storeu_ps(pb, _mm_shuffle_ps(hi, hi, _MM_SHUFFLE(1, 0, 3, 2)));
        _mm_storeu_ps(pb + 4, _mm_shuffle_ps(lo, lo, _MM_SHUFFLE(1, 0, 3, 2)));
    }
    RealSplitPairs(x, m, rt, k, half);
    RealSplitEnds(x, m, rt);
}

void ScaleSSE2(float *data, std::size_t count, float factor) {
    const __m128 f = _mm_set1_ps(factor);
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4)
        _mm_storeu_ps(data + i, _mm_mul_ps(_mm_loadu_ps(data + i), f));
    for (; i < count; ++i)
        data[i] *= factor;
}

void ComplexMultiplySSE2(float *a, const float *b, std::size_t count) {
    const __m128 negEven = SignMask(true, false, true, false);
    std::size_t k = 0;
    for (; k + 2 <= count; k += 2) {
        const __m128 va = _mm_loadu_ps(a + 2 * k), vb = _mm_loadu_ps(b + 2 * k);
        const __m128 br = _mm_shuffle_ps(vb, vb, _MM_SHUFFLE(2, 2, 0, 0));
        const __m128 bi = _mm_shuffle_ps(vb, vb, _MM_SHUFFLE(3, 3, 1, 1));
        _mm_storeu_ps(a + 2 * k, ComplexMul(va, br, bi, negEven));
    }
    if (k < count) PortableFFTKernels().ComplexMultiply(a + 2 * k, b + 2 * k, count - k);
}

void PermuteSSE2(const TMMFFTPlan &plan, float *z) {
    PortableFFTKernels().Permute(plan, z);
}
void RealUnsplitSSE2(const TMMFFTPlan &plan, float *x) {
    PortableFFTKernels().RealUnsplit(plan, x);
}
void ClearSSE2(float *data, std::size_t count) {
    PortableFFTKernels().Clear(data, count);
}

constexpr TMMFFTKernels kSSE2Kernels = {
    ComplexFFTSSE2, PermuteSSE2, RealSplitSSE2, RealUnsplitSSE2, ScaleSSE2, ClearSSE2, ComplexMultiplySSE2,
};

} // namespace

const TMMFFTKernels *SSE2FFTKernels() {
    return &kSSE2Kernels;
}

#else

const TMMFFTKernels *SSE2FFTKernels() {
    return nullptr;
}

#endif
