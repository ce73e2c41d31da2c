#include "widgets/MMLoudnessLaws.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

TLoudnessScale LoudnessScaleOf(int number) {
    return number >= lsEBU9 && number <= lsAbsolute ? static_cast<TLoudnessScale>(number) : lsEBU9;
}

TLoudnessRange LoudnessScaleRange(TLoudnessScale scale, int target) {
    const double factor = scale == lsEBU18 ? 2 : 1;
    return {target - 18 * factor, target + 9 * factor};
}

int LoudnessBarRows(double lufs, const TLoudnessRange &range, int rows) {
    if (!(lufs > range.Bottom)) return 0; // -inf and NaN too
    const double share = (lufs - range.Bottom) / (range.Top - range.Bottom);
    return static_cast<int>(std::clamp(std::floor(share * rows), 0.0, static_cast<double>(rows)));
}

int LoudnessRowOf(double lufs, const TLoudnessRange &range, int rows) {
    const double share = (range.Top - lufs) / (range.Top - range.Bottom);
    return std::clamp(static_cast<int>(std::lround(share * (rows - 1))), 0, rows - 1);
}

std::vector<TLoudnessTick> LoudnessTicks(TLoudnessScale scale, int target) {
    const TLoudnessRange range = LoudnessScaleRange(scale, target);
    const int step = scale == lsEBU18 ? 6 : 3;
    std::vector<TLoudnessTick> ticks;
    for (int lu = static_cast<int>(range.Top) - target; lu >= range.Bottom - target; lu -= step) {
        const int shown = scale == lsAbsolute ? target + lu : lu;
        ticks.push_back({static_cast<double>(target + lu),
                         (shown > 0 && scale != lsAbsolute ? "+" : "") + std::to_string(shown)});
    }
    return ticks;
}

std::string LoudnessReadoutText(double value) {
    if (std::isnan(value) || value == -INFINITY) return "  .  ";
    // Rounded first, so that -0.04 shows no minus before its 0.0.
    const double shown = std::round(std::clamp(value, -99.9, 99.9) * 10) / 10;
    char text[16];
    std::snprintf(text, sizeof text, "%c%4.1f", shown < 0 ? '-' : ' ', std::abs(shown));
    return text;
}

double LoudnessScaleValue(TLoudnessScale scale, double lufs, int target) {
    return scale == lsAbsolute ? lufs : lufs - target;
}

std::string LoudnessTimeText(double seconds) {
    const long total = std::clamp(static_cast<long>(seconds), 0L, 100L * 3600 - 1);
    char text[32]; // room for any long: the clamp is invisible to the warning at -O0
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    return text;
}
