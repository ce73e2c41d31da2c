#pragma once

// The metering standards' own scales for the PEAK bars, without any toolkit: which marks a
// scale carries, what dBFS level each mark stands for at the studio's alignment level, and
// where a dBFS level lies along the bar. The bar and its scale strip both place through
// ScaleFraction, so a mark and the bar top reading its level share a row.
//
// The alignment level is the dBFS level of the line-up tone (-18 dBFS by default; -24..-12).
// r below is a level relative to it, in dB.
//
// | family  | marks                                   | the tone reads | along the bar                 |
// |---------|-----------------------------------------|----------------|-------------------------------|
// | dBFS    | -60 .. 0 every 5 dB                     | its dBFS level | linear in dB, -60 .. 0        |
// | BBC     | 1 .. 7                                  | 4              | marks evenly spaced           |
// | EBU     | -12 .. +12 every 2 dB, TEST at 0        | TEST           | linear in dB, r -14 .. +15    |
// | Nordic  | -36 .. +12 every 6 dB, +9, TEST at 0    | TEST           | linear in dB, r -42 .. +15    |
// | DIN     | -50 -40 -30 -20 -10 -5 0 +5             | -9             | see below, DIN -52 .. +6      |
// | K-n     | 0 at -n dBFS, every 4 dB, top at 0 dBFS | dBFS + n       | linear in dB, K -30 .. n      |
//
// The bars' ends keep every alignment mark at least a fifth of a spot from the edge between two
// of the console's 71 spots, where a tone a hundredth of a dB off would light the spot below.
//
// BBC: mark 4 is the alignment, 4 dB a mark from 2 to 7 (6 = alignment + 8 dB, 7 = + 12 dB),
// 6 dB from 1 to 2 (1 = alignment - 14 dB); the same 6 dB a mark continues below 1. The marks
// stand evenly along the bar, as on the meter's face, so dB are not even along it.
//
// DIN: 0 on the scale is alignment + 9 dB, so the tone reads -9 (a tick marks it). Above -10
// the scale is linear in dB. Below -10 it is compressed by a fixed half: each 10 dB from -10
// down to -50 takes the length of 5 dB above -10 (the -50 .. -10 part is as long as -10 .. +10).
// A linear-in-dB compression keeps the marks evenly spaced down there, as the meter's face
// draws them, where a logarithmic one would crowd -40 and -50 together on a 288-pixel bar.
//
// The K-System's scales (K-20, K-14, K-12) are their own whatever the alignment: 0 sits at
// -20, -14 or -12 dBFS, and full scale at the bar's top.

#include <string>
#include <vector>

enum TMMScaleFamily {
    sfDbfs = 0,
    sfBBC = 1,
    sfEBU = 2,
    sfNordic = 3,
    sfDIN = 4,
    sfK20 = 5,
    sfK14 = 6,
    sfK12 = 7
};

inline constexpr int kAlignMinDbfs = -24;
inline constexpr int kAlignMaxDbfs = -12;
inline constexpr int kAlignDefaultDbfs = -18;
// The alignment kept to -24..-12.
int AlignKept(int alignDbfs);

// One mark of a scale: its text (empty for a bare tick), the dBFS level it stands for, and
// whether the line-up tone reads there.
struct TMMScaleMark {
    std::string Text;
    double Dbfs = 0.0;
    bool Alignment = false;
    bool operator==(const TMMScaleMark &) const = default;
};

// A scale at an alignment level (kept to range); the K-System's ignore it.
struct TMMStandardScale {
    TMMScaleFamily Family = sfDbfs;
    int AlignDbfs = kAlignDefaultDbfs;
    bool operator==(const TMMStandardScale &) const = default;
};

// The marks from the bar's bottom upward.
std::vector<TMMScaleMark> ScaleMarks(const TMMStandardScale &scale);

// How far along the bar a dBFS level lies: 0 at its bottom, 1 at its top; below 0 and above 1
// for levels off the bar, unclamped, so the caller sees an overflow.
double ScaleFraction(const TMMStandardScale &scale, double dbfs);

// The spot position (0: none lit) that the bar of barSpots spots takes for a level in sample
// units against fullScale (the level laws' LevelPosition with this scale's law instead of the
// linear dB one): at most a little above 2 x barSpots + 2, never below 0.
int ScalePosition(const TMMStandardScale &scale, double sample, double fullScale, int barSpots);

// The dBFS level at a fraction along the bar: ScaleFraction's inverse.
double ScaleDbfsAt(const TMMStandardScale &scale, double fraction);

// Where the scale's colours change, in dBFS: above Low the bar and the marks take the second
// colour, above High the third. The standards' second zone starts at the alignment and the
// third at the permitted maximum (alignment + 9 dB, BBC's 6 at + 8 dB); the K-System's at 0
// and +4; the dBFS scale keeps the console's 40 % and 67 % of its -60 .. 0 dB.
struct TMMScaleZones {
    double Low = 0.0;
    double High = 0.0;
};
TMMScaleZones ScaleZones(const TMMStandardScale &scale);
