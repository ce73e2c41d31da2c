// The dB scale as painted: the console's strip between the PEAK bars, and the
// tick strip object on its own.

#include "widgets/MMLevelScale.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr TColor kFace = 2040095;

TColor PixelAt(const QImage &image, int x, int y) {
    return FromQColor(image.pixelColor(x, y));
}

bool Near(TColor a, TColor b) {
    const QColor qa = ToQColor(a), qb = ToQColor(b);
    return std::abs(qa.red() - qb.red()) + std::abs(qa.green() - qb.green()) +
               std::abs(qa.blue() - qb.blue()) <
           90;
}

// The scale between the console's PEAK bars.
void MakeConsoleScale(TMMLevelScale &scale) {
    scale.SetBounds(0, 0, 36, 288);
    scale.SetColor(kFace);
    scale.SetScaleTicks(13);
    scale.SetPoint1(40);
    scale.SetPoint2(70);
    scale.SetSensitivy(-60);
    scale.SetKind(lkVertical);
    scale.Scale().SetVisible(true);
    scale.Scale().SetTickCount(25);
    scale.Scale().SetEnlargeEvery(4);
    scale.Scale().SetSize(7);
    scale.Scale().SetOrigin(soInner);
    scale.Scale().SetConnect(true);
    QFont arial(QStringLiteral("Liberation Sans"));
    arial.setPixelSize(12);
    scale.SetFont(arial);
}

TEST(LevelScalePainting, TheConsoleStripTicksZonesAndNumbersWhereTheLayoutPutsThem) {
    TMMLevelScale scale;
    MakeConsoleScale(scale);
    const TMMLevelScaleLayout layout = scale.Layout();
    const QImage image = scale.grab().toImage();
    ASSERT_EQ(image.size(), QSize(36, 288));

    std::vector<std::string> texts;
    for (const TMMScaleLabel &l : layout.Labels)
        texts.push_back(l.Text);
    EXPECT_EQ(texts, (std::vector<std::string>{"0", "-5", "-10", "-15", "-20", "-25", "-30", "-35", "-40",
                                               "-45", "-50", "-55"}));
    ASSERT_EQ(layout.Strips.size(), 2u);
    const TRect left = layout.Strips[0].Rect, right = layout.Strips[1].Rect;
    EXPECT_EQ(left.Left, 0);
    EXPECT_EQ(left.Width(), 8);
    EXPECT_EQ(right.Right, 36);
    EXPECT_EQ(right.Width(), 8);

    // Both strips face the numbers: the left one's ticks end at its right edge,
    // the right one's start at its left edge; long ticks every fourth, red at
    // the loud top, white further down, on the connecting line.
    const int top = left.Top; // tick 0, half a text height below the top
    for (int x = 1; x < 8; ++x)
        EXPECT_EQ(PixelAt(image, x, top), clRed) << "long tick at x " << x;
    EXPECT_EQ(PixelAt(image, 0, top), kFace);
    for (int x = 28; x < 35; ++x)
        EXPECT_EQ(PixelAt(image, x, top), clRed) << "long tick at x " << x;
    EXPECT_EQ(PixelAt(image, 35, top), kFace);
    const int tick1 = top + 12; // 287 / 24 below
    EXPECT_EQ(PixelAt(image, 5, tick1), clRed);
    EXPECT_EQ(PixelAt(image, 4, tick1), kFace) << "a short tick";
    const int tick8 = top + 96; // 8 × 287 / 24 = 95.67: past the red zone, long again
    EXPECT_EQ(PixelAt(image, 1, tick8), clWhite);
    EXPECT_EQ(PixelAt(image, 7, top + 5), clRed) << "the line along the tick bases";
    EXPECT_EQ(PixelAt(image, 7, top + 200), clWhite);
    EXPECT_EQ(PixelAt(image, 28, top + 200), clWhite);

    // Every number stands in its colour, centred on the tick of its level.
    const int th = QFontMetrics(scale.font()).height();
    for (std::size_t i = 0; i < layout.Labels.size(); ++i) {
        const TMMScaleLabel &l = layout.Labels[i];
        const int tickRow = top + static_cast<int>(i * 2 * 287.0f / 24.0f + 0.5f);
        EXPECT_LE(std::abs(l.Top + th / 2 - tickRow), 1) << l.Text;
        const int w = QFontMetrics(scale.font()).horizontalAdvance(QString::fromStdString(l.Text));
        EXPECT_GE(l.Left, 8) << l.Text;
        EXPECT_LE(l.Left + w, 28) << l.Text;
        bool inked = false;
        for (int y = std::max(l.Top, 0); y < std::min(l.Top + th, 288) && !inked; ++y)
            for (int x = l.Left; x < l.Left + w && !inked; ++x)
                inked = Near(PixelAt(image, x, y), l.Color);
        EXPECT_TRUE(inked) << l.Text;
    }
    EXPECT_EQ(layout.Labels.front().Color, clRed);
    EXPECT_EQ(layout.Labels.back().Color, clWhite);
}

TEST(LevelScalePainting, SettingsKeepTheirRangesAndTheKindTurnsTheControl) {
    TMMLevelScale scale;
    EXPECT_EQ(scale.size(), QSize(200, 7));
    EXPECT_FALSE(scale.Scale().Visible());
    scale.SetKind(lkVertical);
    EXPECT_EQ(scale.size(), QSize(7, 200));
    scale.SetScaleTicks(1);
    EXPECT_EQ(scale.ScaleTicks(), 2) << "just the two end labels";

    TMMScale other;
    other.SetTickCount(1);
    other.SetEnlargeEvery(0);
    other.SetSize(-3);
    EXPECT_EQ(other.TickCount(), 2);
    EXPECT_EQ(other.EnlargeEvery(), 1);
    EXPECT_EQ(other.Size(), 1);
    other.SetTickCount(9);
    int changes = 0;
    scale.Scale().SetOnChange([&](TObject *) { ++changes; });
    scale.SetScale(other);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(scale.Scale().TickCount(), 9);
    EXPECT_TRUE(scale.Scale().Visible());
}

TEST(ScalePainting, ATickStripNeedsACanvasAndOneColourMeansOneColour) {
    TMMScale strip;
    try {
        strip.Draw(Rect(0, 0, 8, 100), true);
        ADD_FAILURE() << "no error";
    } catch (const EMMScaleError &e) {
        EXPECT_STREQ(e.what(), "Canvas needed for this operation");
    }

    QImage image(8, 101, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    strip.SetZoneColors(clRed, clLime);
    strip.SetZoneLimits(3, 7);
    strip.SetColor(clYellow); // all three zones
    strip.SetConnect(true);
    strip.SetCanvas(&painter);
    strip.Draw(Rect(0, 0, 8, 100), true);
    painter.end();
    int lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const TColor c = PixelAt(image, x, y);
            if (c == clBlack) continue;
            EXPECT_EQ(c, clYellow) << x << "," << y;
            ++lit;
        }
    // Eleven ticks (long ones of 7 every fifth, short ones of 3) ending on the 100-pixel line.
    EXPECT_EQ(lit, 3 * 7 + 8 * 3 + 100 - 10);
}

} // namespace
