#pragma once

// Pieces shared by the kernel sets: the dedicated short transforms and the scalar
// real split. Internal to the FFT unit.

#include <cstddef>

namespace MMFFTDetail {

// cos(pi/4) as the tables would round it; used where a butterfly lands on the eighth of the circle.
inline constexpr float kSqrtHalf = 0.70710677f;

inline void Fft2(float *z) {
    const float ar = z[0], ai = z[1], br = z[2], bi = z[3];
    z[0] = ar + br;
    z[1] = ai + bi;
    z[2] = ar - br;
    z[3] = ai - bi;
}

inline void Fft4(float *z) {
    const float ar = z[0], ai = z[1], br = z[2], bi = z[3];
    const float cr = z[4], ci = z[5], dr = z[6], di = z[7];
    const float sr = ar + cr, si = ai + ci, tr = br + dr, ti = bi + di;
    const float d1r = ar - cr, d1i = ai - ci, d2r = br - dr, d2i = bi - di;
    z[0] = sr + tr;
    z[1] = si + ti;
    z[2] = sr - tr;
    z[3] = si - ti;
    z[4] = d1r + d2i; // (a-c) - i(b-d)
    z[5] = d1i - d2r;
    z[6] = d1r - d2i; // (a-c) + i(b-d)
    z[7] = d1i + d2r;
}

inline void Fft8(float *z) {
    // k = 0: no rotation.
    {
        const float ar = z[0], ai = z[1], br = z[4], bi = z[5];
        const float cr = z[8], ci = z[9], dr = z[12], di = z[13];
        const float d1r = ar - cr, d1i = ai - ci, d2r = br - dr, d2i = bi - di;
        z[0] = ar + cr;
        z[1] = ai + ci;
        z[4] = br + dr;
        z[5] = bi + di;
        z[8] = d1r + d2i;
        z[9] = d1i - d2r;
        z[12] = d1r - d2i;
        z[13] = d1i + d2r;
    }
    // k = 1: W = (1 - i)/sqrt2, W^3 = (-1 - i)/sqrt2.
    {
        const float ar = z[2], ai = z[3], br = z[6], bi = z[7];
        const float cr = z[10], ci = z[11], dr = z[14], di = z[15];
        const float d1r = ar - cr, d1i = ai - ci, d2r = br - dr, d2i = bi - di;
        z[2] = ar + cr;
        z[3] = ai + ci;
        z[6] = br + dr;
        z[7] = bi + di;
        const float ur = d1r + d2i, ui = d1i - d2r, vr = d1r - d2i, vi = d1i + d2r;
        z[10] = (ur + ui) * kSqrtHalf;
        z[11] = (ui - ur) * kSqrtHalf;
        z[14] = (vi - vr) * kSqrtHalf;
        z[15] = -(vr + vi) * kSqrtHalf;
    }
    Fft4(z);
    Fft2(z + 8);
    Fft2(z + 12);
}

// Finishes a transform of n <= 8 values; returns false for longer ones.
inline bool ShortFft(float *z, std::size_t n) {
    switch (n) {
    case 0:
    case 1:
        return true;
    case 2:
        Fft2(z);
        return true;
    case 4:
        Fft4(z);
        return true;
    case 8:
        Fft8(z);
        return true;
    default:
        return false;
    }
}

// Real split for the pairs k = from..to-1 (1 <= from, to <= m/2), with
// A = z[k], B = conj(z[m-k]): X[k] = (A+B)/2 - (i/2)e^(-2*pi*i*k/N)(A-B).
inline void RealSplitPairs(float *x, std::size_t m, const float *rt, std::size_t from, std::size_t to) {
    for (std::size_t k = from; k < to; ++k) {
        float *a = x + 2 * k, *b = x + 2 * (m - k);
        const float c = rt[2 * k - 2], h = rt[2 * k - 1];
        const float ar = a[0], ai = a[1], br = b[0], bi = b[1];
        const float d = ar - br, s = ai + bi;
        const float o = d * h + s * c;
        a[0] = br + o;
        b[0] = ar - o;
        const float s2 = s * h - c * d;
        a[1] = s2 - bi;
        b[1] = s2 - ai;
    }
}

// The DC term, and the middle pair k = m/2 that follows the other pairs.
inline void RealSplitEnds(float *x, std::size_t m, const float *rt) {
    x[0] = x[0] + x[1];
    x[1] = 0.0f;
    if (m < 2) return;
    // k = m/2 pairs the middle value with itself: each write below is seen by the
    // next read, which leaves +Im there, and the closing negation makes it conj(z[m/2]).
    const std::size_t half = m / 2;
    float *a = x + 2 * half;
    const float c = rt[2 * half - 2], h = rt[2 * half - 1];
    const float d = a[0] - a[0], s = a[1] + a[1];
    const float o = d * h + s * c;
    a[0] = a[0] + o;
    a[0] = a[0] - o;
    const float s2 = s * h - c * d;
    a[1] = s2 - a[1];
    a[1] = s2 - a[1];
    a[1] = -a[1];
}

} // namespace MMFFTDetail
