#include "widgets/MMLabel.h"

#include <QApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

namespace {

std::vector<TMMLabelLayer> Layers(TMMLabelStyle style, int alignment = 0) {
    const auto p = MMLabelPreset(style);
    TMMLabelEffect e;
    e.DirectionHighlight = p->DirectionHighlight;
    e.DirectionShadow = p->DirectionShadow;
    e.DepthHighlight = p->DepthHighlight;
    e.DepthShadow = p->DepthShadow;
    return MMLabelLayers(e, alignment);
}

void Mouse(QWidget &w, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QMouseEvent e(type, at, w.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  held, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

// A crisp font so that pixel positions are exact.
QFont Crisp() {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(20);
    f.setBold(true);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

// Pixels of `img` exactly `color`, and their bounding box.
int Count(const QImage &img, QRgb color, QRect *box = nullptr) {
    int n = 0;
    QRect b;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == color) {
                ++n;
                b = b.united(QRect(x, y, 1, 1));
            }
    if (box) *box = b;
    return n;
}

QImage Render(TMMLabel &label) {
    return label.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(LabelEffects, ShadowPresetDrawsTheCaptionOnceDisplacedUnderIt) {
    const auto layers = Layers(lsShadow);
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_EQ(layers[0], (TMMLabelLayer{lkShadow, 2, 2}));
    EXPECT_EQ(layers[1], (TMMLabelLayer{lkHighlight, 0, 0})); // depth 0: hidden under the caption
    EXPECT_EQ(layers[2], (TMMLabelLayer{lkCaption, 0, 0}));
}

TEST(LabelEffects, RaisedTextMovesInsideAndRightAlignmentKeepsRoom) {
    // Highlight up-left by 1, shadow down-right by 1: the group is moved by 1.
    auto layers = Layers(lsRaised);
    EXPECT_EQ(layers[0], (TMMLabelLayer{lkShadow, 2, 2}));
    EXPECT_EQ(layers[1], (TMMLabelLayer{lkHighlight, 0, 0}));
    EXPECT_EQ(layers[2], (TMMLabelLayer{lkCaption, 1, 1}));
    layers = Layers(lsRaised, 1); // right: 2 pixels of spread
    EXPECT_EQ(layers[0].dx, 0);
    EXPECT_EQ(layers[2].dx, -1);
    layers = Layers(lsRaised, 2); // centre: half of it
    EXPECT_EQ(layers[2].dx, 0);
}

TEST(LabelEffects, ExtrusionDrawsEveryDepthDeepestFirst) {
    TMMLabelEffect e;
    e.DirectionShadow = ldRight;
    e.DepthShadow = 3;
    e.StyleShadow = loExtrude;
    e.DirectionHighlight = ldNone;
    e.DepthHighlight = 0;
    const auto layers = MMLabelLayers(e, 0);
    ASSERT_EQ(layers.size(), 5u);
    EXPECT_EQ(layers[0].dx, 3);
    EXPECT_EQ(layers[1].dx, 2);
    EXPECT_EQ(layers[2].dx, 1);
    e.StyleShadow = loNormal;
    EXPECT_EQ(MMLabelLayers(e, 0).size(), 3u);
}

TEST(Label, DefaultsMatchTheRaisedPreset) {
    TMMLabel label;
    EXPECT_EQ(label.Width(), 142);
    EXPECT_EQ(label.Height(), 33);
    EXPECT_TRUE(label.Transparent());
    EXPECT_TRUE(label.ParentColor());
    EXPECT_EQ(label.EffectStyle(), lsRaised);
    EXPECT_EQ(label.DirectionHighlight(), ldUpLeft);
    EXPECT_EQ(label.DirectionShadow(), ldDownRight);
    EXPECT_EQ(label.ColourHighlight(), 16777215);
    EXPECT_EQ(label.ColourShadow(), 8421504);
    EXPECT_EQ(label.Font().pointSize(), 20);
    EXPECT_EQ(label.FontColor(), clBlack);
}

TEST(Label, HandMadeDepthOrDirectionSwitchesToCustom) {
    TMMLabel label;
    label.SetEffectStyle(lsFlying);
    EXPECT_EQ(label.DepthShadow(), 5);
    EXPECT_EQ(label.ColourHighlight(), 8421504);
    label.SetDepthShadow(5); // unchanged: stays a preset
    EXPECT_EQ(label.EffectStyle(), lsFlying);
    label.SetDepthShadow(0);
    EXPECT_EQ(label.EffectStyle(), lsCustom);
    EXPECT_EQ(label.DirectionHighlight(), ldDownRight) << "custom keeps what the preset left";
    label.SetEffectStyle(lsSunken);
    label.SetDirectionHighlight(ldLeft);
    EXPECT_EQ(label.EffectStyle(), lsCustom);
    // Colours and options are not effect geometry.
    label.SetEffectStyle(lsRaised);
    label.SetColourShadow(clRed);
    label.SetStyleShadow(loExtrude);
    EXPECT_EQ(label.EffectStyle(), lsRaised);
}

TEST(Label, PresetsResetTheHighlightAndSomeEndTheButton) {
    TMMLabel label;
    label.SetColourHighlight(clRed);
    label.SetAsButton(true);
    label.SetEffectStyle(lsSunken);
    EXPECT_EQ(label.ColourHighlight(), clWhite);
    EXPECT_TRUE(label.AsButton()) << "sunken keeps the button";
    label.SetEffectStyle(lsShadow);
    EXPECT_FALSE(label.AsButton());
    label.SetAsButton(true);
    EXPECT_EQ(label.EffectStyle(), lsRaised);
    label.SetEffectStyle(lsCustom);
    EXPECT_FALSE(label.AsButton());
}

TEST(Label, AsButtonSinksWhileHeldInside) {
    QWidget window;
    auto *label = new TMMLabel(&window);
    label->SetAsButton(true);
    int clicks = 0;
    label->SetOnClick([&](TObject *) { ++clicks; });
    Mouse(*label, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    EXPECT_EQ(label->EffectStyle(), lsSunken);
    Mouse(*label, QEvent::MouseMove, {500, 5}, Qt::LeftButton);
    EXPECT_EQ(label->EffectStyle(), lsRaised);
    Mouse(*label, QEvent::MouseMove, {6, 6}, Qt::LeftButton);
    EXPECT_EQ(label->EffectStyle(), lsSunken);
    Mouse(*label, QEvent::MouseButtonRelease, {6, 6}, Qt::NoButton);
    EXPECT_EQ(label->EffectStyle(), lsRaised);
    EXPECT_EQ(clicks, 1);
    label->setEnabled(false);
    Mouse(*label, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    EXPECT_EQ(label->EffectStyle(), lsRaised) << "a disabled label does not sink";
}

TEST(Label, AngleForcesLeftAlignment) {
    TMMLabel label;
    label.SetAlignment(taRightJustify);
    label.SetAngle(90);
    EXPECT_EQ(label.Alignment(), taLeftJustify);
    label.SetAngle(-270);
    EXPECT_EQ(label.Angle(), 90);
}

TEST(Label, ShadowIsDrawnUnderTheCaptionTwoPixelsDownRight) {
    TMMLabel label;
    label.SetFont(Crisp());
    label.SetCaption(QStringLiteral("I"));
    label.SetEffectStyle(lsShadow);
    label.SetColourShadow(clBlue);
    label.SetFontColor(clRed);
    label.SetTransparent(false);
    label.SetColor(clWhite);
    label.resize(30, 30);
    const QImage img = Render(label);
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);
    int captionPixels = 0;
    for (int y = 0; y < 28; ++y)
        for (int x = 0; x < 28; ++x) {
            if (img.pixel(x, y) != red) continue;
            ++captionPixels;
            // Where the caption is not itself, its shadow shows 2 px down-right.
            const QRgb below = img.pixel(x + 2, y + 2);
            EXPECT_TRUE(below == red || below == blue) << x << "," << y;
        }
    EXPECT_GT(captionPixels, 20);
    EXPECT_GT(Count(img, blue), 10) << "the shadow shows beside the stem";
}

TEST(Label, BitmapFillsTheCaption) {
    TMMLabel label;
    label.SetFont(Crisp());
    label.SetCaption(QStringLiteral("HH"));
    label.SetEffectStyle(lsNone);
    label.SetTransparent(false);
    label.SetColor(clWhite);
    QImage pattern(2, 2, QImage::Format_RGB32);
    pattern.fill(qRgb(0, 255, 0));
    label.SetBitmap(pattern);
    const QImage img = Render(label);
    EXPECT_GT(Count(img, qRgb(0, 255, 0)), 30);
    EXPECT_EQ(Count(img, qRgb(0, 0, 0)), 0) << "the font colour must not show through";
}

TEST(Label, RotatedTextStandsUpInsideTheLabel) {
    TMMLabel label;
    label.SetFont(Crisp());
    label.SetCaption(QStringLiteral("LEVEL"));
    label.SetEffectStyle(lsNone);
    label.SetTransparent(false);
    label.SetColor(clWhite);
    label.SetFontColor(clRed);
    label.resize(40, 120);
    QRect flat, turned;
    label.SetAngle(0);
    Count(Render(label), qRgb(255, 0, 0), &flat);
    label.SetAngle(90);
    const int ink = Count(Render(label), qRgb(255, 0, 0), &turned);
    EXPECT_GT(ink, 30);
    EXPECT_GT(turned.height(), turned.width()) << "reads upward";
    EXPECT_GE(turned.top(), 0);
    EXPECT_LE(turned.bottom(), 119);
    EXPECT_GT(flat.width(), flat.height());
}
