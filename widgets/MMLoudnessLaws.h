#pragma once

// Laws of the loudness page's instruments: the bar meters' scales and lit heights, the
// history graph's rows, and the texts of the LED read-outs. Pure numbers.

#include <string>
#include <vector>

// EBU Tech 3341's two scales (in LU around the target) and the same +9 range read in LUFS.
enum TLoudnessScale { lsEBU9 = 0, lsEBU18 = 1, lsAbsolute = 2 };

struct TLoudnessRange {
    double Bottom; // LUFS
    double Top;    // LUFS
};

// A scale number outside the three counts as lsEBU9.
TLoudnessScale LoudnessScaleOf(int number);
// +9 (and LUFS): target - 18 ... target + 9; +18: target - 36 ... target + 18.
TLoudnessRange LoudnessScaleRange(TLoudnessScale scale, int target);

// Lit rows of a bar `rows` high for a reading (LUFS): none at or below the bottom (or with
// nothing measured), all at or above the top, else the rows the reading has passed.
int LoudnessBarRows(double lufs, const TLoudnessRange &range, int rows);
// The row (0 = top, rows - 1 = bottom) that a level falls on, for the target line and ticks.
int LoudnessRowOf(double lufs, const TLoudnessRange &range, int rows);

struct TLoudnessTick {
    double Lufs;       // where
    std::string Label; // "+9", "0", "-18" (LU) or "-23" (LUFS)
};
// Every 3 LU on the +9 scale, every 6 on the +18 one; the target's "0" (or its LUFS) among them.
std::vector<TLoudnessTick> LoudnessTicks(TLoudnessScale scale, int target);

// A read-out of five LED cells, "-23.0" / "- 1.5" / " 12.0": the sign cell first, lit where
// the value shows below zero, then one decimal; past -99.9 or +99.9 the nearest end; nothing
// measured: dark cells and the point.
std::string LoudnessReadoutText(double value);
// The value a bar's read-out shows: LU from the target on the LU scales, LUFS on lsAbsolute.
double LoudnessScaleValue(TLoudnessScale scale, double lufs, int target);
// Eight cells, "01:02:03"; from 100 hours on, "99:59:59".
std::string LoudnessTimeText(double seconds);
