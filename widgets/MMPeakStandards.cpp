#include "widgets/MMPeakStandards.h"

#include "widgets/MMFrameValues.h"
#include "widgets/MMStore.h"

#include <algorithm>
#include <cmath>

TMMPPMFigures PPMFigures(TMMPeakStandard standard) {
    switch (standard) {
    case psDIN:
    case psNordic:
        return {0.6, 20.0 / 1.7, 0.676};
    case psBBC:
    case psEBU:
        return {1.6, 24.0 / 2.8, 0.882};
    case psDigital:
    case psTruePeak:
        return {0.0, 20.0 / 1.7, 0.0};
    case psK20:
    case psK14:
    case psK12:
        // The attack is the mean square's time constant; it returns as it rises.
        return {kKSystemTauMs, 0.0, 20.0 * std::log10(std::sqrt(2.0))};
    default:
        return {};
    }
}

bool TMMPPMBallistics::SetStandard(TMMPeakStandard value) {
    if (!Store(FStandard, value)) return false;
    FPreparedFor = 0;
    FCalibration = std::pow(10.0, PPMFigures(value).CalibrationDb / 20.0);
    Clear();
    return true;
}

bool TMMPPMBallistics::SetSampleRate(int value) {
    if (value < 1 || !Store(FRate, value)) return false;
    FPreparedFor = 0;
    return true;
}

void TMMPPMBallistics::Prepare(int samples) {
    if (samples == FPreparedFor) return;
    FPreparedFor = samples;
    const TMMPPMFigures f = PPMFigures(FStandard);
    FCharge = f.AttackMs > 0.0 ? 1.0 - std::exp(-1000.0 / (FRate * f.AttackMs)) : 1.0;
    FReturn = std::pow(10.0, -f.ReturnDbPerSecond / 20.0 * samples / FRate);
}

TMMPPMReading TMMPPMBallistics::Apply(const void *data, const TMMLevelInput &in) {
    std::int64_t peak = 0;
    if (data == nullptr) return {};
    Prepare(in.Samples);
    if (IsKSystem(FStandard)) {
        double ms = FLevel;
        const double k = FCharge;
        ForEachFrame(data, in, [&peak, &ms, k](std::int64_t s) {
            peak = std::max(peak, s < 0 ? -s : s);
            const auto x = static_cast<double>(s);
            ms += k * (x * x - ms);
        });
        FLevel = ms;
        return {std::llround(Level()), static_cast<std::int32_t>(std::min<std::int64_t>(peak, INT32_MAX))};
    }
    double v = FLevel * FReturn;
    if (FStandard == psClassic || FStandard == psDigital || FStandard == psTruePeak) {
        ForEachFrame(data, in, [&peak](std::int64_t s) { peak = std::max(peak, s < 0 ? -s : s); });
        v = std::max(v, static_cast<double>(peak));
    } else {
        const double k = FCharge;
        ForEachFrame(data, in, [&peak, &v, k](std::int64_t s) {
            const std::int64_t a = s < 0 ? -s : s;
            peak = std::max(peak, a);
            const auto x = static_cast<double>(a);
            if (x > v) v += k * (x - v) * (x - v) / x;
        });
    }
    FLevel = v;
    return {std::llround(Level()), static_cast<std::int32_t>(std::min<std::int64_t>(peak, INT32_MAX))};
}

std::int64_t TMMPPMBallistics::ApplyPeak(double peak, int samples) {
    Prepare(samples);
    FLevel = std::max(FLevel * FReturn, peak);
    return std::llround(Level());
}

TMMPeakHold PeakHoldRule(TMMPeakHold hold) {
    if (hold.Mode < phClassic || hold.Mode > phInfinite) hold.Mode = phClassic;
    hold.Milliseconds = std::clamp(hold.Milliseconds, kPeakHoldMinMs, kPeakHoldMaxMs);
    return hold;
}

int PeakHoldTicks(TMMPeakHold hold) {
    hold = PeakHoldRule(hold);
    if (hold.Mode == phInfinite) return -1;
    if (hold.Mode == phTime) return (hold.Milliseconds + kPeakTickMs - 1) / kPeakTickMs;
    return 0;
}
