#pragma once

// Delivery targets: the presets an operator picks from, and when a reading misses its target.
// Pure numbers.

#include <string>

enum TLoudnessPreset { lpEBUR128 = 0, lpATSCA85 = 1, lpMinus16 = 2, lpMinus14 = 3, lpCustom = 4 };
inline constexpr int kLoudnessPresetCount = 5;

struct TLoudnessTarget {
    int Target;  // LUFS
    int Ceiling; // dBTP
};

// The custom target and ceiling are clamped to these.
inline constexpr int kMinTarget = -40, kMaxTarget = -5;
inline constexpr int kMinCeiling = -10, kMaxCeiling = 0;

// A preset number outside the list counts as EBU R128.
TLoudnessPreset LoudnessPresetOf(int number);
TLoudnessTarget LoudnessPresetTarget(TLoudnessPreset preset, int customTarget, int customCeiling);
// As the menu lists it: "EBU R128 -23 LUFS / -1 dBTP".
std::string LoudnessPresetName(TLoudnessPreset preset);

// Integrated loudness more than 1 LU from the target, as the read-out shows it (one decimal);
// nothing measured yet misses nothing.
bool MissesTarget(double integrated, int target);
// A true peak above the ceiling, as the read-out shows it.
bool OverCeiling(double truePeak, int ceiling);
