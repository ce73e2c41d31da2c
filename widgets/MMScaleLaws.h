#pragma once

// The dB scale's geometry, without any toolkit: the lines of one tick strip
// (ticks, connecting line, colour zones, 3-D grooves) and the whole layout of a
// level scale (its strips and its column or row of dB numbers), as numbers the
// drawing side paints one by one.

#include "widgets/MMColors.h"
#include "widgets/MMGeometry.h"
#include "widgets/MMLevelLaws.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

enum TMMScaleStyle { stColor = 0, stLowered = 1, stRaised = 2 };
enum TMMScaleOrigin { soInner = 0, soOuter = 1 };
enum TMMScalePos { spAboveOrLeft = 0, spBelowOrRight = 1, spBoth = 2 };

// One tick strip's settings.
struct TMMScaleSettings {
    bool Visible = true;
    TColor Color = clBlack;      // zone 1, and the only colour without zones
    TColor Zone2Color = clBlack; // ticks beyond ZoneLimit1
    TColor Zone3Color = clBlack; // ticks beyond ZoneLimit2
    int ZoneLimit1 = 0;          // in ticks
    int ZoneLimit2 = 0;
    TMMScaleStyle Style = stColor;
    int TickCount = 11;   // at least 2
    int EnlargeEvery = 5; // every n-th tick from tick 0 is long; at least 1
    int Size = 7;         // long tick length; short ones are half; at least 1
    TMMScaleOrigin Origin = soInner;
    bool Connect = false; // a line along the tick bases

    // The settings with TickCount, EnlargeEvery and Size raised to their minimum.
    TMMScaleSettings Normalized() const;
    // Pixels across the strip: Size, plus the line (and its groove) with Connect.
    int StripWidth() const;
    // Zones colour the strip unless they would change nothing or their limits
    // make no sense; grooved styles never use them.
    bool UsesZones() const;
};

// A line as a pen draws it: from (X1, Y1) up to but not including (X2, Y2).
struct TMMScaleLine {
    int X1 = 0;
    int Y1 = 0;
    int X2 = 0;
    int Y2 = 0;
    TColor Color = clBlack;
    bool operator==(const TMMScaleLine &) const = default;
};

// The lines of one strip drawn into rect, in drawing order: the connecting
// line's pieces, then the ticks; a grooved style gives each line twice (dark
// then light for stLowered, the reverse for stRaised), the second one pixel
// lower (a flat line) or to the right (a steep one). firstSide is true for the
// strip left of (vertical) or above (horizontal) what it marks. Ticks span
// both edges of rect: Top..Bottom or Left..Right inclusive. Zero-length
// lines are left out. (The drawing raises "Canvas needed for this operation"
// when it has no canvas; the lines themselves need none.)
std::vector<TMMScaleLine> ScaleLines(const TMMScaleSettings &scale, const TRect &rect, bool firstSide);

// The level scale control's settings.
struct TMMLevelScaleSettings {
    TMMScaleSettings Scale{.Visible = false};
    TMMScalePos ScalePos = spBoth;
    int ScaleTicks = 8; // dB labels including both ends; at least 2
    int Point1 = 50;    // percent, 1..100
    int Point2 = 85;
    TColor Scale1Color = clWhite;
    TColor Scale2Color = clWhite;
    TColor Scale3Color = clRed;
    int Sensitivy = -35; // -90..-9
    bool LogAmp = true;
    TMMLevelKind Kind = lkHorizontal;
    TMMLevelDirection Direction = dirNormal;
    TColor Color = clBlack;
    int Width = 200;
    int Height = 7;

    // The settings kept to their ranges.
    TMMLevelScaleSettings Normalized() const;
};

// Text measures of the control's font.
struct TMMScaleMetrics {
    int TextHeight = 0; // height of a line of text ("0", "W")
    std::function<int(std::string_view)> TextWidth;
};

// One dB number: its text, top-left corner and font colour.
struct TMMScaleLabel {
    std::string Text;
    int Left = 0;
    int Top = 0;
    TColor Color = clBlack;
    bool operator==(const TMMScaleLabel &) const = default;
};

struct TMMScaleStrip {
    TRect Rect;
    bool FirstSide = true;
};

// Everything a level scale paints: fill the client with Background, draw the
// strips' lines in order, then the labels in the control's font.
struct TMMLevelScaleLayout {
    TRect Client;
    TColor Background = clBlack;
    TMMScaleSettings StripScale; // the strip settings with the zones applied
    std::vector<TMMScaleStrip> Strips;
    std::vector<TMMScaleLine> Lines;
    TRect LabelArea;   // what the strips leave
    int LabelStep = 0; // every n-th label slot is printed; 0: no labels
    std::vector<TMMScaleLabel> Labels;
};

// The smallest step n (1..count) at which count ÷ n labels of extent each fit
// into room; 0 when none does.
int ScaleLabelStep(int count, int extent, int room);

// The dB value printed at label slot l of n (l counted from the 0 dB end for
// LogAmp, from the Sensitivy end when linear).
int ScaleLabelValue(int l, int n, int sensitivy, bool logAmp);

TMMLevelScaleLayout LevelScaleLayout(const TMMLevelScaleSettings &settings, const TMMScaleMetrics &metrics);
