#pragma once

#include "widgets/MMColors.h"
#include "widgets/MMGeometry.h"
#include "widgets/MMObject.h"

#include <vector>

class QPainter;

enum TBevelCut { bvNone = 0, bvLowered = 1, bvRaised = 2, bvSpace = 3 };
enum TBorderStyle { bsNone = 0, bsSingle = 1 };

// One frame ring: `Width` pixels inside `Outer`, top and left edges in
// `TopLeft`, bottom and right edges in `BottomRight`.
struct TMMBevelRing {
    TRect Outer;
    int Width = 0;
    TColor TopLeft = clBlack;
    TColor BottomRight = clBlack;
};

// The frame drawn around a control: an optional single border, an outer
// bevel, a coloured border ring, an inner bevel and a spacing ring.
class TMMBevel : public TMMObject {
  public:
    TMMBevel() = default;
    TMMBevel(const TMMBevel &other);
    TMMBevel &operator=(const TMMBevel &other) {
        Assign(other);
        return *this;
    }

    // Copies every field inside one update bracket (one notification).
    void Assign(const TMMBevel &source);

    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut value);
    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut value);
    int BevelInnerWidth() const { return FBevelInnerWidth; }
    void SetBevelInnerWidth(int value);
    int BevelOuterWidth() const { return FBevelOuterWidth; }
    void SetBevelOuterWidth(int value);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle value);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int value);
    int BorderSpace() const { return FBorderSpace; }
    void SetBorderSpace(int value);

    TColor BorderColor() const { return FColors[0]; }
    void SetBorderColor(TColor value) { SetColor(0, value); }
    TColor BorderSpaceColor() const { return FColors[1]; }
    void SetBorderSpaceColor(TColor value) { SetColor(1, value); }
    TColor InnerLightColor() const { return FColors[2]; }
    void SetInnerLightColor(TColor value) { SetColor(2, value); }
    TColor InnerShadowColor() const { return FColors[3]; }
    void SetInnerShadowColor(TColor value) { SetColor(3, value); }
    TColor OuterLightColor() const { return FColors[4]; }
    void SetOuterLightColor(TColor value) { SetColor(4, value); }
    TColor OuterShadowColor() const { return FColors[5]; }
    void SetOuterShadowColor(TColor value) { SetColor(5, value); }

    // Colours by index: 0 border, 1 border space, 2 inner light, 3 inner
    // shadow, 4 outer light, 5 outer shadow. Other indexes only notify
    // (and read as clBlack).
    TColor Color(int index) const;
    void SetColor(int index, TColor value);

    // Pixels the frame takes from every side.
    int TotalWidth() const;
    // The part of `client` left inside the frame (never inside out).
    TRect InnerRect(const TRect &client) const { return client.Inset(TotalWidth()); }

    // The rings from the outside in, as they are drawn into `rect`.
    std::vector<TMMBevelRing> Rings(const TRect &rect) const;

    // Draws the rings into `rect` and returns the inner rectangle.
    TRect PaintBevel(QPainter &painter, const TRect &rect) const;

  private:
    TBevelCut FBevelInner = bvNone;
    TBevelCut FBevelOuter = bvLowered;
    int FBevelInnerWidth = 1;
    int FBevelOuterWidth = 1;
    TBorderStyle FBorderStyle = bsNone;
    int FBorderWidth = 0;
    int FBorderSpace = 0;
    TColor FColors[6] = {clBtnFace, clBlack, clBtnHighlight, clBtnShadow, clBtnHighlight, clBtnShadow};
};

// Draws one ring the way a 3-D frame is drawn: per pixel of width, the top
// row (but its last pixel) and the left column (but its last pixel) in the
// top-left colour, then the right column and the bottom row in full in the
// bottom-right colour.
void MMPaintRing(QPainter &painter, const TMMBevelRing &ring);
