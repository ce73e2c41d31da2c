#include "widgets/MMVUStandards.h"

#include "widgets/MMFrameValues.h"
#include "widgets/MMStore.h"

#include <algorithm>
#include <cmath>
#include <numbers>

double BlockRectifiedAverage(const void *data, const TMMLevelInput &in) {
    if (data == nullptr) return 0.0;
    std::int64_t sum = 0;
    ForEachFrame(data, in, [&sum](std::int64_t v) { sum += v < 0 ? -v : v; });
    return static_cast<double>(sum) / std::max(in.Samples, 1);
}

float IECVUReading(double deflection, double refLevel) {
    const double r = std::max(0.00001, deflection * (std::numbers::pi / 2.0) / kLevelFullScale);
    return static_cast<float>(20.0 * std::log10(r) - refLevel);
}

bool TMMVUBallistics::SetStandard(TMMNeedleStandard value) {
    if (!Store(FStandard, value)) return false;
    Clear();
    return true;
}

bool TMMVUBallistics::SetSampleRate(int value) {
    if (value < 1 || !Store(FRate, value)) return false;
    FPreparedFor = 0;
    return true;
}

void TMMVUBallistics::Clear() {
    FDeflection = 0.0;
    FSpeed = 0.0;
}

// The free response of the underdamped movement over one block, e^(AT) for
// A = [0 1; -w^2 -2 zeta w].
void TMMVUBallistics::Prepare(int samples) {
    if (samples == FPreparedFor) return;
    FPreparedFor = samples;
    const double t = static_cast<double>(samples) / FRate;
    const double w = kVUNaturalRadPerSecond;
    const double sigma = kVUDamping * w;
    const double wd = w * std::sqrt(1.0 - kVUDamping * kVUDamping);
    const double decay = std::exp(-sigma * t);
    const double c = std::cos(wd * t);
    const double s = std::sin(wd * t);
    FA11 = decay * (c + sigma / wd * s);
    FA12 = decay * s / wd;
    FA21 = -decay * w * w / wd * s;
    FA22 = decay * (c - sigma / wd * s);
}

double TMMVUBallistics::Step(double u, int samples) {
    Prepare(std::max(samples, 1));
    // Held at u the movement settles on u: only its distance from u and its speed evolve.
    const double e = FDeflection - u;
    FDeflection = u + FA11 * e + FA12 * FSpeed;
    FSpeed = FA21 * e + FA22 * FSpeed;
    return FDeflection;
}
