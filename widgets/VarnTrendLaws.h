#pragma once

#include "widgets/MMColors.h"

#include <QPoint>
#include <QSize>
#include <QString>
#include <array>
#include <functional>
#include <random>
#include <vector>

// The trend chart as numbers: its sample store with the clamping and scrolling
// rules, and the picture of a chart as a list of shapes. No drawing here.

enum TTrendStyle { tsBar = 0, tsLine = 1, tsScatter = 2, ts3D = 3, tsFilled = 4 };
enum TTrendOption { toValues = 0, toTwin = 1, toTransparent = 2, toRotated = 3, toNoZeros = 4 };
enum TGridStyle { gsNone = 0, gsXGrid = 1, gsYGrid = 2, gsFull = 3 };

// A set of TTrendOption, one bit per ordinal.
class TTrendOptions {
  public:
    constexpr TTrendOptions() = default;
    constexpr TTrendOptions(std::initializer_list<TTrendOption> options) {
        for (TTrendOption o : options)
            FBits |= 1u << o;
    }
    constexpr bool Has(TTrendOption option) const { return (FBits & (1u << option)) != 0; }
    constexpr bool operator==(const TTrendOptions &) const = default;

  private:
    unsigned FBits = 0;
};

constexpr int kTrendSamples = 100;

// Nearest integer, halves to the even neighbour.
int TrendRound(double x);

// Adds `amount` to each of the red, green and blue bytes, each kept in 0..255.
TColor ShadeColor(TColor color, int amount);

// The samples of a chart and the range they are drawn in. Index 0 is the
// oldest sample shown; only the first Divisions samples are shown, but all
// 100 are kept (and seen by AutoScale).
class TTrendSamples {
  public:
    using TSeries = std::array<int, kTrendSamples>;

    const TSeries &Values() const { return FValues; }
    const TSeries &TwinValues() const { return FTwinValues; }
    // The twin series has no append; its owner fills it.
    TSeries &TwinValues() { return FTwinValues; }

    // Each setter returns true when the stored value changed.
    int MinVal() const { return FMinVal; }
    // A value at or above MaxVal becomes MaxVal - 1.
    bool SetMinVal(int value);
    int MaxVal() const { return FMaxVal; }
    // A value at or below MinVal becomes MinVal + 1.
    bool SetMaxVal(int value);
    int Divisions() const { return FDivisions; }
    // Clamped to 2..100.
    bool SetDivisions(int value);
    bool AutoScale() const { return FAutoScale; }
    bool SetAutoScale(bool value);

    // Scrolls the shown samples one place left and stores `value`, raised to
    // MinVal and, unless AutoScale widens MaxVal to it, lowered to MaxVal.
    void AddValue(int value);
    // MaxVal := the largest of both whole series and `value`.
    void AutoScaleTo(int value);

    // Demonstration data: sample i in MinVal..MaxVal-1, twin i in MinVal..sample i.
    void FillDemo(std::mt19937 &random);

  private:
    TSeries FValues{};
    TSeries FTwinValues{};
    int FMinVal = 0;
    int FMaxVal = 100;
    int FDivisions = 20;
    bool FAutoScale = false;
};

// Everything a chart's picture depends on.
struct TTrendLook {
    int Width = 0;
    int Height = 0;
    TTrendStyle Style = tsBar;
    TTrendOptions Options;
    TColor Color = clRed;              // bars, lines, points, areas
    TColor ColorBase = 16776960;       // the twin series
    TColor BackGroundColor = 16777215; // chart and value texts
    TColor FontColor = clBlack;        // value texts
    TGridStyle GridStyle = gsFull;
    TColor GridColor = 12632256;
    int GridXstep = 10;
    int GridYstep = 10;
    int DepthX = 10;
    int DepthY = 10;
};

// One thing to draw. Coordinates are the chart's pixels, y down.
struct TTrendShape {
    enum TKind {
        skFill,     // Points[0..1]: the rectangle's corners (exclusive end), Brush only
        skLine,     // Points[0..1]: both end pixels, in Pen
        skRect,     // Points[0..1]: opposite corners in either order, the larger
                    // ones exclusive; filled with Brush, outlined in Pen
        skPolygon,  // filled with Brush, outlined in Pen
        skPolyline, // in Pen
        skText,     // Text from Points[0]; rotated texts read upward from there
    };
    TKind Kind = skFill;
    std::vector<QPoint> Points;
    TColor Pen = clBlack;
    TColor Brush = clBlack;
    QString Text;
    bool Rotated = false;
    bool Opaque = false; // text over a Brush background
};

// The size a value text takes (width, height) in the chart's font.
using TTrendMeasure = std::function<QSize(const QString &text)>;

// The whole picture, in drawing order: background, grid, then the style's shapes.
std::vector<TTrendShape> TrendPicture(const TTrendSamples &samples, const TTrendLook &look,
                                      const TTrendMeasure &measure);

// The row a value lies on for a drawing height: (v - MinVal) × height div R + 3,
// counted from the bottom.
int TrendLevel(int value, int minVal, int maxVal, int height);
