#include "widgets/MMBevel.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

TMMBevel Flat() {
    TMMBevel b;
    b.SetBevelOuter(bvNone);
    return b;
}

// One row or column of a painted bevel as characters: 'S' shadow, 'L' light,
// 'F' window frame, 'B' border colour, '.' untouched.
char Code(QRgb c) {
    if (c == ToQColor(clBtnShadow).rgb()) return 'S';
    if (c == ToQColor(clBtnHighlight).rgb()) return 'L';
    if (c == ToQColor(clWindowFrame).rgb()) return 'F';
    if (c == ToQColor(clRed).rgb()) return 'B';
    return '.';
}

std::string Row(const QImage &img, int y) {
    std::string s;
    for (int x = 0; x < img.width(); ++x)
        s += Code(img.pixel(x, y));
    return s;
}

std::string Column(const QImage &img, int x) {
    std::string s;
    for (int y = 0; y < img.height(); ++y)
        s += Code(img.pixel(x, y));
    return s;
}

QImage Painted(const TMMBevel &bevel, int w, int h, TRect *inner = nullptr) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(qRgb(1, 2, 3));
    QPainter p(&img);
    const TRect r = bevel.PaintBevel(p, Rect(0, 0, w, h));
    if (inner) *inner = r;
    return img;
}

} // namespace

TEST(Bevel, DefaultsAreALoweredOnePixelOuterBevel) {
    TMMBevel b;
    EXPECT_EQ(b.BevelInner(), bvNone);
    EXPECT_EQ(b.BevelOuter(), bvLowered);
    EXPECT_EQ(b.BevelInnerWidth(), 1);
    EXPECT_EQ(b.BevelOuterWidth(), 1);
    EXPECT_EQ(b.BorderStyle(), bsNone);
    EXPECT_EQ(b.BorderWidth(), 0);
    EXPECT_EQ(b.BorderSpace(), 0);
    EXPECT_EQ(b.BorderColor(), -16777201);
    EXPECT_EQ(b.BorderSpaceColor(), clBlack);
    EXPECT_EQ(b.InnerLightColor(), -16777196);
    EXPECT_EQ(b.InnerShadowColor(), -16777200);
    EXPECT_EQ(b.OuterLightColor(), clBtnHighlight);
    EXPECT_EQ(b.OuterShadowColor(), clBtnShadow);
}

TEST(Bevel, TotalWidthCountsEveryPart) {
    TMMBevel b;
    EXPECT_EQ(b.TotalWidth(), 1);
    EXPECT_EQ(b.InnerRect(Rect(0, 0, 20, 288)), Rect(1, 1, 19, 287)); // 18 × 286
    TMMBevel single = Flat();
    single.SetBorderStyle(bsSingle);
    EXPECT_EQ(single.TotalWidth(), 1);
    b.SetBorderStyle(bsSingle);
    b.SetBevelInner(bvRaised);
    b.SetBevelInnerWidth(3);
    b.SetBorderWidth(2);
    b.SetBorderSpace(4);
    EXPECT_EQ(b.TotalWidth(), 1 + 1 + 3 + 2 + 4);
    // Widths of bevels that are off do not count.
    b.SetBevelOuter(bvNone);
    b.SetBevelOuterWidth(9);
    EXPECT_EQ(b.TotalWidth(), 1 + 3 + 2 + 4);
    // Never inside out.
    EXPECT_TRUE(b.InnerRect(Rect(0, 0, 5, 30)).IsEmpty());
    EXPECT_EQ(b.InnerRect(Rect(0, 0, 5, 30)).Width(), 0);
}

TEST(Bevel, ChangesNotifyAndUnchangedValuesDoNot) {
    TMMBevel b;
    int changes = 0;
    b.SetOnChange([&](TObject *) { ++changes; });
    b.SetBevelOuter(bvLowered);
    b.SetOuterShadowColor(clBtnShadow);
    EXPECT_EQ(changes, 0);
    b.SetColor(5, clRed);
    EXPECT_EQ(b.OuterShadowColor(), clRed);
    EXPECT_EQ(changes, 1);
    // Index 6 changes nothing but still tells the owner.
    const TMMBevel before = b;
    b.SetColor(6, clLime);
    EXPECT_EQ(changes, 2);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(b.Color(i), before.Color(i));
}

TEST(Bevel, UpdateBracketFiresChangingOnceAndChangedOnce) {
    TMMBevel b;
    std::string log;
    b.SetOnChanging([&](TObject *) { log += "<"; });
    b.SetOnChange([&](TObject *) { log += ">"; });
    b.BeginUpdate();
    b.BeginUpdate();
    b.SetBorderWidth(3);
    b.SetBevelInner(bvRaised);
    b.EndUpdate();
    EXPECT_EQ(log, "<");
    b.EndUpdate();
    EXPECT_EQ(log, "<>");
    b.EndUpdate(); // unbalanced: ignored
    b.SetBorderSpace(1);
    EXPECT_EQ(log, "<>>");
}

TEST(Bevel, AssignCopiesEverythingWithOneNotification) {
    TMMBevel source;
    source.SetBevelInner(bvSpace);
    source.SetBorderStyle(bsSingle);
    source.SetBorderWidth(2);
    source.SetInnerLightColor(clAqua);
    source.SetOuterLightColor(255);
    TMMBevel target;
    int changes = 0;
    target.SetOnChange([&](TObject *) { ++changes; });
    target.Assign(source);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(target.BevelInner(), bvSpace);
    EXPECT_EQ(target.BorderStyle(), bsSingle);
    EXPECT_EQ(target.BorderWidth(), 2);
    EXPECT_EQ(target.InnerLightColor(), clAqua);
    EXPECT_EQ(target.OuterLightColor(), 255);
    EXPECT_EQ(target.TotalWidth(), source.TotalWidth());
}

TEST(Bevel, LoweredRingIsShadowTopLeftAndLightBottomRight) {
    TRect inner;
    const QImage img = Painted(TMMBevel(), 6, 5, &inner);
    EXPECT_EQ(inner, Rect(1, 1, 5, 4));
    EXPECT_EQ(Row(img, 0), "SSSSSL");   // the top-right corner belongs to the light side
    EXPECT_EQ(Row(img, 4), "LLLLLL");   // bottom row in full
    EXPECT_EQ(Column(img, 0), "SSSSL"); // the bottom-left corner too
    EXPECT_EQ(Column(img, 5), "LLLLL");
    EXPECT_EQ(Row(img, 2), "S....L"); // the inside is left alone
}

TEST(Bevel, RingsAreDrawnFromTheOutsideIn) {
    TMMBevel b;
    b.SetBorderStyle(bsSingle);
    b.SetBevelOuter(bvRaised);
    b.SetBorderWidth(1);
    b.SetBorderColor(clRed);
    b.SetBevelInner(bvLowered);
    TRect inner;
    const QImage img = Painted(b, 12, 12, &inner);
    EXPECT_EQ(inner, Rect(4, 4, 8, 8));
    // frame, raised outer (light first), border, lowered inner (shadow first)
    EXPECT_EQ(Row(img, 6).substr(0, 5), "FLBS.");
    EXPECT_EQ(Row(img, 6).substr(8), "LBSF");
    const auto rings = b.Rings(Rect(0, 0, 12, 12));
    ASSERT_EQ(rings.size(), 4u);
    EXPECT_EQ(rings[3].Outer, Rect(3, 3, 9, 9));
}

TEST(Bevel, WideRingsAndSpacing) {
    TMMBevel b;
    b.SetBevelOuterWidth(2);
    b.SetBorderSpace(1);
    b.SetBorderSpaceColor(clRed);
    TRect inner;
    const QImage img = Painted(b, 10, 8, &inner);
    EXPECT_EQ(inner, Rect(3, 3, 7, 5));
    EXPECT_EQ(Column(img, 0), "SSSSSSSL");
    EXPECT_EQ(Column(img, 1), "SSSSSSLL");
    EXPECT_EQ(Row(img, 2), "SSBBBBBBLL");
}
