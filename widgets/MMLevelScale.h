#pragma once

// The dB scale strip beside a bar meter: tick strips on one or both sides and
// a column (or row) of dB numbers, with the bar meter's Kind, Direction,
// Point1, Point2 and Sensitivy conventions. The layout is LevelScaleLayout
// (MMScaleLaws.h); this control holds the settings and paints the layout with
// its font. It draws no bevel. Main thread only.

#include "widgets/MMGraphicControl.h"
#include "widgets/MMScale.h"
#include "widgets/MMStandardScaleLayout.h"

#include <optional>

class TMMLevelScale : public TMMGraphicControl {
    Q_OBJECT
  public:
    explicit TMMLevelScale(QWidget *parent = nullptr);

    // The strips' settings; any change repaints.
    TMMLevScale &Scale() { return FScale; }
    const TMMLevScale &Scale() const { return FScale; }
    void SetScale(const TMMCustomScale &value) { FScale.Assign(value); }

    TMMScalePos ScalePos() const { return FScalePos; }
    void SetScalePos(TMMScalePos value);
    int ScaleTicks() const { return FScaleTicks; }
    void SetScaleTicks(int value); // at least 2
    int Point1() const { return FPoint1; }
    void SetPoint1(int value); // 1..100
    int Point2() const { return FPoint2; }
    void SetPoint2(int value); // 1..100
    TColor Scale1Color() const { return FScaleColors[0]; }
    void SetScale1Color(TColor value) { SetScaleColor(0, value); }
    TColor Scale2Color() const { return FScaleColors[1]; }
    void SetScale2Color(TColor value) { SetScaleColor(1, value); }
    TColor Scale3Color() const { return FScaleColors[2]; }
    void SetScale3Color(TColor value) { SetScaleColor(2, value); }
    int Sensitivy() const { return FSensitivy; }
    void SetSensitivy(int value); // -90..-9
    bool LogAmp() const { return FLogAmp; }
    void SetLogAmp(bool value);
    TMMLevelKind Kind() const { return FKind; }
    // Swaps Width and Height as the bar meter does.
    void SetKind(TMMLevelKind value);
    TMMLevelDirection Direction() const { return FDirection; }
    void SetDirection(TMMLevelDirection value);

    // A standard's marks in place of the dB numbers (sfDbfs: the numbers), placed on the rows
    // of the bar of geometry `bar` whose inner rectangle starts barOffset rows below the top.
    const TMMStandardScale &StandardScale() const { return FStandard; }
    void SetStandardScale(const TMMStandardScale &scale, const TMMSpotGeometry &bar, int barOffset);

    // A level line across the strip (the loudness ceiling on true-peak bars), in dBFS on the
    // standard scale's rows, in the colour given; none when empty.
    void SetLevelLine(std::optional<double> dbfs, TColor color = clYellow);

    // What a paint draws, for the current size and font.
    TMMLevelScaleLayout Layout() const;

  protected:
    void Paint(QPainter &canvas) override;

  private:
    void SetScaleColor(int index, TColor value);

    TMMLevScale FScale;
    TMMScalePos FScalePos = spBoth;
    int FScaleTicks = 8;
    int FPoint1 = 50;
    int FPoint2 = 85;
    TColor FScaleColors[3] = {clWhite, clWhite, clRed};
    int FSensitivy = -35;
    bool FLogAmp = true;
    TMMLevelKind FKind = lkHorizontal;
    TMMLevelDirection FDirection = dirNormal;
    TMMStandardScale FStandard;
    TMMSpotGeometry FBar;
    int FBarOffset = 0;
    std::optional<double> FLevelLine;
    TColor FLevelLineColor = clYellow;
};
