#pragma once

// The read-out refresh as numbers: the CLIP threshold, what a margin LED shows for a level
// against the three thresholds, and which channel feeds the trend graph. No widgets here;
// the main window's timers apply the results.

#include "widgets/MMColors.h"

#include <QString>
#include <QStringView>

#include <optional>

// Every level conversion of the refresh is against this full scale, read-outs with 2 decimals.
inline constexpr int kMeterFullScale = 32768;
inline constexpr int kReadOutDecimals = 2;
// A held peak above this latches CLIP for kClipLatchMs after the last tick that saw it.
inline constexpr int kClipThreshold = 31999;
inline constexpr int kClipLatchMs = 10000;

inline constexpr TColor kMarginDark = 0;
inline constexpr TColor kMarginGreen = 65280;
inline constexpr TColor kMarginOrange = 4622075;
inline constexpr TColor kMarginRed = 255;

// A margin LED's colour and, unless the level is below the lowest threshold, its caption.
struct TMarginLook {
    TColor Color;
    std::optional<QString> Caption; // empty: keep the caption it has
};

// The LED for a level of `db` dBFS against the thresholds (level1 upper, level3 lower). The
// level counts in whole dB, halves going to the even neighbour (-10.5 is -10). The first
// matching row decides, so thresholds out of order still give a defined look; the caption
// counts dB above -20 dBFS ("±0" exactly at level3, "+" and e + 20 otherwise).
TMarginLook MarginLook(double db, int level1, int level2, int level3);

// What the once-a-second refresh makes of the two channels' dB texts (SampleToDBText, so
// "-Inf" for silence): whether each channel has signal, and the trend value, the louder
// channel's dB truncated toward zero plus 50 (silence counting as -60). `separator` is the
// decimal separator the texts were formatted with.
struct TTrendReading {
    bool SignalL;
    bool SignalR;
    int Value;
};
TTrendReading TrendReading(const QString &textL, const QString &textR, QStringView separator);
