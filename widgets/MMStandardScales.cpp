#include "widgets/MMStandardScales.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// A scale as a monotonic length u along the bar, of a level r relative to its zero, and the
// bar's ends in u.
struct TScaleLaw {
    double Zero = 0.0; // dBFS of r = 0
    double Lo = 0.0;
    double Hi = 0.0;
};

int KTop(TMMScaleFamily f) {
    return f == sfK20 ? 20 : (f == sfK14 ? 14 : 12);
}

// u of r for each family.
double Length(TMMScaleFamily f, double r) {
    switch (f) {
    case sfBBC:
        return r >= -8.0 ? 4.0 + r / 4.0 : 2.0 + (r + 8.0) / 6.0;
    case sfDIN: {
        const double d = r - 9.0;
        return d >= -10.0 ? d : -10.0 + (d + 10.0) / 2.0;
    }
    default:
        return r;
    }
}

// r of u: Length's inverse.
double Level(TMMScaleFamily f, double u) {
    switch (f) {
    case sfBBC:
        return u >= 2.0 ? (u - 4.0) * 4.0 : (u - 2.0) * 6.0 - 8.0;
    case sfDIN:
        return (u >= -10.0 ? u : -10.0 + (u + 10.0) * 2.0) + 9.0;
    default:
        return u;
    }
}

TScaleLaw LawOf(const TMMStandardScale &s) {
    const double align = AlignKept(s.AlignDbfs);
    switch (s.Family) {
    case sfBBC:
        return {align, 0.0, 7.5};
    case sfEBU:
        return {align, -14.0, 15.0};
    case sfNordic:
        return {align, -42.0, 15.0};
    case sfDIN:
        return {align, Length(sfDIN, -52.0 + 9.0), Length(sfDIN, 6.0 + 9.0)};
    case sfK20:
    case sfK14:
    case sfK12:
        return {-static_cast<double>(KTop(s.Family)), -30.0, static_cast<double>(KTop(s.Family))};
    case sfDbfs:
        break;
    }
    return {0.0, -60.0, 0.0};
}

std::string Signed(int v) {
    return v > 0 ? "+" + std::to_string(v) : std::to_string(v);
}

} // namespace

int AlignKept(int alignDbfs) {
    return std::clamp(alignDbfs, kAlignMinDbfs, kAlignMaxDbfs);
}

std::vector<TMMScaleMark> ScaleMarks(const TMMStandardScale &scale) {
    const double align = AlignKept(scale.AlignDbfs);
    std::vector<TMMScaleMark> marks;
    const auto relative = [&](int r, std::string text, bool alignment = false) {
        marks.push_back({std::move(text), align + r, alignment});
    };
    switch (scale.Family) {
    case sfBBC:
        // dB from the alignment at marks 1 .. 7.
        for (int m = 1; m <= 7; ++m)
            relative(m == 1 ? -14 : (m - 4) * 4, std::to_string(m), m == 4);
        break;
    case sfEBU:
        for (int r = -12; r <= 12; r += 2)
            relative(r, r == 0 ? "TEST" : Signed(r), r == 0);
        break;
    case sfNordic:
        for (int r = -36; r <= 12; r += 6) {
            relative(r, r == 0 ? "TEST" : Signed(r), r == 0);
            if (r == 6) relative(9, "+9");
        }
        break;
    case sfDIN:
        for (int d : {-50, -40, -30, -20, -10})
            relative(d + 9, std::to_string(d));
        relative(0, "", true);
        for (int d : {-5, 0, 5})
            relative(d + 9, Signed(d));
        break;
    case sfK20:
    case sfK14:
    case sfK12: {
        const int top = KTop(scale.Family);
        for (int k = -28; k <= top; k += 4)
            if (top - k >= 3 || k == top) marks.push_back({Signed(k), k - top * 1.0, k == 0});
        if (marks.back().Text != Signed(top)) marks.push_back({Signed(top), 0.0, false});
        break;
    }
    case sfDbfs:
        for (int d = -60; d <= 0; d += 5)
            marks.push_back({std::to_string(d), static_cast<double>(d), false});
        break;
    }
    return marks;
}

double ScaleFraction(const TMMStandardScale &scale, double dbfs) {
    const TScaleLaw law = LawOf(scale);
    return (Length(scale.Family, dbfs - law.Zero) - law.Lo) / (law.Hi - law.Lo);
}

double ScaleDbfsAt(const TMMStandardScale &scale, double fraction) {
    const TScaleLaw law = LawOf(scale);
    return law.Zero + Level(scale.Family, law.Lo + fraction * (law.Hi - law.Lo));
}

int ScalePosition(const TMMStandardScale &scale, double sample, double fullScale, int barSpots) {
    const double r = std::max(0.000001, sample / fullScale);
    double p = ScaleFraction(scale, 20.0 * std::log10(r)) * barSpots;
    p = std::min(p, 2.0 * barSpots + 2.0);
    return static_cast<int>(std::max(0.0, std::nearbyint(p)));
}

TMMScaleZones ScaleZones(const TMMStandardScale &scale) {
    const double align = AlignKept(scale.AlignDbfs);
    switch (scale.Family) {
    case sfBBC:
        return {align, align + 8.0};
    case sfEBU:
    case sfNordic:
    case sfDIN:
        return {align, align + 9.0};
    case sfK20:
    case sfK14:
    case sfK12: {
        const double zero = -KTop(scale.Family);
        return {zero, zero + 4.0};
    }
    case sfDbfs:
        break;
    }
    return {-36.0, -19.8};
}
