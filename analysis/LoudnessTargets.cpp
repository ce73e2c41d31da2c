#include "analysis/LoudnessTargets.h"

#include <algorithm>
#include <cmath>

namespace {

struct TPreset {
    const char *Name;
    const char *Unit;
    TLoudnessTarget Target;
};

constexpr TPreset kPresets[kLoudnessPresetCount - 1] = {{"EBU R128", "LUFS", {-23, -1}},
                                                        {"ATSC A/85", "LKFS", {-24, -2}},
                                                        {"Streaming", "LUFS", {-16, -1}},
                                                        {"Streaming", "LUFS", {-14, -1}}};

// The read-outs show one decimal; the alert follows what they show.
double Shown(double value) {
    return std::round(value * 10) / 10;
}

} // namespace

TLoudnessPreset LoudnessPresetOf(int number) {
    return number >= lpEBUR128 && number <= lpCustom ? static_cast<TLoudnessPreset>(number) : lpEBUR128;
}

TLoudnessTarget LoudnessPresetTarget(TLoudnessPreset preset, int customTarget, int customCeiling) {
    if (preset == lpCustom)
        return {std::clamp(customTarget, kMinTarget, kMaxTarget),
                std::clamp(customCeiling, kMinCeiling, kMaxCeiling)};
    return kPresets[LoudnessPresetOf(preset) == lpCustom ? 0 : LoudnessPresetOf(preset)].Target;
}

std::string LoudnessPresetName(TLoudnessPreset preset) {
    if (preset == lpCustom) return "Custom";
    const TPreset &p = kPresets[LoudnessPresetOf(preset)];
    return std::string(p.Name) + " " + std::to_string(p.Target.Target) + " " + p.Unit + " / " +
           std::to_string(p.Target.Ceiling) + " dBTP";
}

bool MissesTarget(double integrated, int target) {
    return std::isfinite(integrated) && std::abs(Shown(integrated) - target) > 1.0 + 1e-9;
}

bool OverCeiling(double truePeak, int ceiling) {
    return std::isfinite(truePeak) && Shown(truePeak) > ceiling + 1e-9;
}
