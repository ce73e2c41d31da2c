#pragma once

// Laws of the phase picture: where a (left, right) sample pair lands, the range
// factor rule and the rounding they share. Pure numbers, no toolkit needed.

#include "core/PCM.h"

#include <cmath>
#include <cstdint>

enum TSpectrumMode { smNormal = 0, smPhase = 1 };
enum TPhaseMode { pmOscillo = 0, pmStereo = 1 };

// A range factor request: 0.5..2.0 rounded to one decimal; anything else (NaN too) gives 1.0.
double PhaseRangeFactor(double request);

// Pixels a full-scale sample spans from the centre: half the extent times the factor.
inline int PhaseRadius(double halfExtent, double factor) {
    return static_cast<int>(RoundHalfEven(halfExtent * factor));
}

// The picture's full scale is symmetric, so the one sample beyond it is pulled in.
constexpr std::int16_t ClampPhaseSample(std::int16_t s) {
    return s < -32767 ? std::int16_t{-32767} : s;
}

// Pixels per sample step along each screen axis, for one mode and radius pair. In
// pmStereo both channels are vectors at 45 degrees to the axes, so each axis gets
// a cos 45 share of the radius.
struct TPhaseScale {
    double X = 0.0;
    double Y = 0.0;
};

inline constexpr double kPhaseCos45 = 0.70710678118654752440;

constexpr TPhaseScale PhaseScale(TPhaseMode mode, int radiusX, int radiusY) {
    const double k = mode == pmStereo ? kPhaseCos45 : 1.0;
    return {radiusX * k / 32767.0, radiusY * k / 32767.0};
}

// A dot's offset from the centre in screen directions (y grows downwards).
struct TPhaseOffset {
    int X = 0;
    int Y = 0;
    constexpr bool operator==(const TPhaseOffset &) const = default;
};

// pmStereo: left along the up-left diagonal, right along the up-right one, so a mono
// signal stands vertical and an anti-phase one lies horizontal. pmOscillo: right
// horizontal, left vertical. Silence in a channel contributes exactly nothing.
inline TPhaseOffset PhaseDotOffset(TPhaseMode mode, const TPhaseScale &scale, std::int16_t left,
                                   std::int16_t right) {
    const int l = ClampPhaseSample(left), r = ClampPhaseSample(right);
    const auto round = [](double v) { return static_cast<int>(RoundHalfEven(v)); };
    if (mode == pmStereo) return {round(scale.X * (r - l)), -round(scale.Y * (l + r))};
    return {round(scale.X * r), -round(scale.Y * l)};
}
