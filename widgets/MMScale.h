#pragma once

// A row of ticks with an optional connecting line and up to three colour
// zones, drawn into any rectangle of a painter. The geometry is ScaleLines
// (MMScaleLaws.h); this object holds the settings, tells its owner about
// changes and paints the lines. Main thread only.

#include "platform/MMError.h"
#include "widgets/MMObject.h"
#include "widgets/MMScaleLaws.h"

#include <vector>

class QPainter;

class EMMScaleError : public EMMError {
  public:
    using EMMError::EMMError;
};

// Paints lines as ScaleLines gives them (end points excluded), pixel for pixel.
void MMPaintScaleLines(QPainter &painter, const std::vector<TMMScaleLine> &lines);

class TMMCustomScale : public TMMObject {
  public:
    TMMCustomScale() = default;
    // Copies the published settings and notifies (the owner's zones and canvas stay).
    void Assign(const TMMCustomScale &source);

    bool Visible() const { return FSettings.Visible; }
    void SetVisible(bool value);
    TColor Color() const { return FSettings.Color; }
    // Also sets both zone colours: one colour for the whole scale.
    void SetColor(TColor value);
    TMMScaleStyle Style() const { return FSettings.Style; }
    void SetStyle(TMMScaleStyle value);
    int TickCount() const { return FSettings.TickCount; }
    void SetTickCount(int value); // at least 2
    int EnlargeEvery() const { return FSettings.EnlargeEvery; }
    void SetEnlargeEvery(int value); // at least 1
    int Size() const { return FSettings.Size; }
    void SetSize(int value); // at least 1
    TMMScaleOrigin Origin() const { return FSettings.Origin; }
    void SetOrigin(TMMScaleOrigin value);
    bool Connect() const { return FSettings.Connect; }
    void SetConnect(bool value);

    // Set by the owner, silently.
    void SetZoneColors(TColor zone2, TColor zone3);
    void SetZoneLimits(int limit1, int limit2);

    // Pixels across the strip.
    int StripWidth() const { return FSettings.StripWidth(); }
    const TMMScaleSettings &Settings() const { return FSettings; }

    // The painter the scale draws on (not owned); the owner sets it before drawing.
    QPainter *Canvas() const { return FCanvas; }
    void SetCanvas(QPainter *canvas) { FCanvas = canvas; }
    // The ticks into `rect`; firstSide for the strip left of or above what it
    // marks. Nothing while not Visible. Raises EMMScaleError "Canvas needed for
    // this operation" without a canvas.
    void Draw(const TRect &rect, bool firstSide) const;

  private:
    TMMScaleSettings FSettings;
    QPainter *FCanvas = nullptr;
};

// The free-standing scale: all its settings are its own.
class TMMScale : public TMMCustomScale {};

// A level scale's strip settings: colours, zones and style come from the owner.
class TMMLevScale : public TMMCustomScale {};
