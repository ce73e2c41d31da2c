#include "widgets/MMBevel.h"

#include <QPainter>

TMMBevel::TMMBevel(const TMMBevel &other) : TMMObject() {
    Assign(other);
}

void TMMBevel::Assign(const TMMBevel &source) {
    if (&source == this) return;
    BeginUpdate();
    SetBevelInner(source.FBevelInner);
    SetBevelOuter(source.FBevelOuter);
    SetBevelInnerWidth(source.FBevelInnerWidth);
    SetBevelOuterWidth(source.FBevelOuterWidth);
    SetBorderStyle(source.FBorderStyle);
    SetBorderWidth(source.FBorderWidth);
    SetBorderSpace(source.FBorderSpace);
    for (int i = 0; i < 6; ++i)
        SetColor(i, source.FColors[i]);
    EndUpdate();
}

void TMMBevel::SetBevelInner(TBevelCut value) {
    if (value == FBevelInner) return;
    FBevelInner = value;
    Changed();
}

void TMMBevel::SetBevelOuter(TBevelCut value) {
    if (value == FBevelOuter) return;
    FBevelOuter = value;
    Changed();
}

// Negative widths make no frame; they are taken as 0.
void TMMBevel::SetBevelInnerWidth(int value) {
    value = std::max(0, value);
    if (value == FBevelInnerWidth) return;
    FBevelInnerWidth = value;
    Changed();
}

void TMMBevel::SetBevelOuterWidth(int value) {
    value = std::max(0, value);
    if (value == FBevelOuterWidth) return;
    FBevelOuterWidth = value;
    Changed();
}

void TMMBevel::SetBorderStyle(TBorderStyle value) {
    if (value == FBorderStyle) return;
    FBorderStyle = value;
    Changed();
}

void TMMBevel::SetBorderWidth(int value) {
    value = std::max(0, value);
    if (value == FBorderWidth) return;
    FBorderWidth = value;
    Changed();
}

void TMMBevel::SetBorderSpace(int value) {
    value = std::max(0, value);
    if (value == FBorderSpace) return;
    FBorderSpace = value;
    Changed();
}

TColor TMMBevel::Color(int index) const {
    return index >= 0 && index < 6 ? FColors[index] : clBlack;
}

void TMMBevel::SetColor(int index, TColor value) {
    if (index >= 0 && index < 6) {
        if (FColors[index] == value) return;
        FColors[index] = value;
    }
    Changed();
}

int TMMBevel::TotalWidth() const {
    int w = FBorderWidth + FBorderSpace;
    if (FBevelOuter != bvNone) w += FBevelOuterWidth;
    if (FBevelInner != bvNone) w += FBevelInnerWidth;
    if (FBorderStyle != bsNone) w += 1;
    return w;
}

namespace {

// bvLowered: shadow top-left, light bottom-right. Every other cut, bvSpace
// included, gets the raised colours, as the platform's panels draw it.
void AddBevelRing(std::vector<TMMBevelRing> &rings, TRect &r, TBevelCut cut, int width, TColor light,
                  TColor shadow) {
    if (cut == bvNone || width <= 0) return;
    if (cut == bvLowered)
        rings.push_back(TMMBevelRing{r, width, shadow, light});
    else
        rings.push_back(TMMBevelRing{r, width, light, shadow});
    r = r.Inset(width);
}

void AddFlatRing(std::vector<TMMBevelRing> &rings, TRect &r, int width, TColor color) {
    if (width <= 0) return;
    rings.push_back(TMMBevelRing{r, width, color, color});
    r = r.Inset(width);
}

} // namespace

std::vector<TMMBevelRing> TMMBevel::Rings(const TRect &rect) const {
    std::vector<TMMBevelRing> rings;
    TRect r = rect;
    if (FBorderStyle == bsSingle) AddFlatRing(rings, r, 1, clWindowFrame);
    AddBevelRing(rings, r, FBevelOuter, FBevelOuterWidth, OuterLightColor(), OuterShadowColor());
    AddFlatRing(rings, r, FBorderWidth, BorderColor());
    AddBevelRing(rings, r, FBevelInner, FBevelInnerWidth, InnerLightColor(), InnerShadowColor());
    AddFlatRing(rings, r, FBorderSpace, BorderSpaceColor());
    return rings;
}

void MMPaintRing(QPainter &painter, const TMMBevelRing &ring) {
    TRect r = ring.Outer;
    const QColor tl = ToQColor(ring.TopLeft);
    const QColor br = ToQColor(ring.BottomRight);
    for (int i = 0; i < ring.Width && !r.IsEmpty(); ++i) {
        const int w = r.Width(), h = r.Height();
        painter.fillRect(r.Left, r.Top, w - 1, 1, tl);
        painter.fillRect(r.Left, r.Top, 1, h - 1, tl);
        painter.fillRect(r.Right - 1, r.Top, 1, h, br);
        painter.fillRect(r.Left, r.Bottom - 1, w, 1, br);
        r = r.Inset(1);
    }
}

TRect TMMBevel::PaintBevel(QPainter &painter, const TRect &rect) const {
    for (const TMMBevelRing &ring : Rings(rect))
        MMPaintRing(painter, ring);
    return InnerRect(rect);
}
