#include "widgets/VarnTrend.h"
#include "SolidBackground.h"
#include "platform/MMMessageBox.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

// Fixed text metrics: 6 pixels per character, 10 high.
QSize FakeMeasure(const QString &text) {
    return QSize(6 * int(text.size()), 10);
}

std::vector<TTrendShape> OfKind(const std::vector<TTrendShape> &shapes, TTrendShape::TKind kind) {
    std::vector<TTrendShape> out;
    for (const TTrendShape &s : shapes)
        if (s.Kind == kind) out.push_back(s);
    return out;
}

// The console's chart: 271 × 127, 100 divisions, 0..50, filled, no grid.
TTrendLook ConsoleLook() {
    TTrendLook look;
    look.Width = 271;
    look.Height = 127;
    look.Style = tsFilled;
    look.Color = 9976065;
    look.BackGroundColor = clBlack;
    look.GridStyle = gsNone;
    return look;
}

TTrendSamples ConsoleSamples() {
    TTrendSamples s;
    s.SetMaxVal(50);
    s.SetDivisions(100);
    return s;
}

} // namespace

TEST(TrendSamples, RangeAndDivisionRules) {
    TTrendSamples s;
    EXPECT_EQ(s.MinVal(), 0);
    EXPECT_EQ(s.MaxVal(), 100);
    EXPECT_EQ(s.Divisions(), 20);
    s.SetDivisions(1);
    EXPECT_EQ(s.Divisions(), 2);
    s.SetDivisions(150);
    EXPECT_EQ(s.Divisions(), 100);
    EXPECT_TRUE(s.SetMaxVal(0)); // = MinVal
    EXPECT_EQ(s.MaxVal(), 1);
    EXPECT_FALSE(s.SetMinVal(5)); // above MaxVal
    EXPECT_EQ(s.MinVal(), 0) << "becomes MaxVal - 1, which it already is";
    EXPECT_TRUE(s.SetMaxVal(50));
    EXPECT_TRUE(s.SetMinVal(60));
    EXPECT_EQ(s.MinVal(), 49);
    EXPECT_FALSE(s.SetMinVal(49));
    // No overflow at the ends of the integers.
    TTrendSamples edge;
    edge.SetMinVal(-2147483647 - 1);
    edge.SetMaxVal(-2147483647 - 1);
    EXPECT_EQ(edge.MaxVal(), -2147483647);
}

TEST(TrendSamples, AddValueClampsAndScrollsOnePlaceLeft) {
    TTrendSamples s = ConsoleSamples();
    s.SetDivisions(4);
    s.TwinValues()[3] = 9;
    for (int v : {10, 20, 70, -10})
        s.AddValue(v);
    EXPECT_EQ((std::vector<int>(s.Values().begin(), s.Values().begin() + 4)),
              (std::vector<int>{10, 20, 50, 0}));
    EXPECT_EQ(s.TwinValues()[3], 9) << "the twin series does not move";
    // Samples beyond Divisions stay where they are.
    s.SetDivisions(6);
    s.AddValue(1);
    EXPECT_EQ((std::vector<int>(s.Values().begin(), s.Values().begin() + 6)),
              (std::vector<int>{20, 50, 0, 0, 0, 1}));
}

TEST(TrendSamples, AutoScaleWidensAndFallsBackToTheLargestSample) {
    TTrendSamples s = ConsoleSamples();
    s.SetDivisions(2);
    s.SetAutoScale(true);
    s.AddValue(70);
    EXPECT_EQ(s.Values()[1], 70);
    EXPECT_EQ(s.MaxVal(), 70);
    s.AddValue(30); // 70 still stored (index 0)
    EXPECT_EQ(s.MaxVal(), 70);
    s.AddValue(20); // 70 gone: 30 is the largest
    EXPECT_EQ(s.MaxVal(), 30);
    s.TwinValues()[50] = 90; // the whole twin series counts, shown or not
    s.AddValue(5);
    EXPECT_EQ(s.MaxVal(), 90);
    // All zeros and MinVal 0: MaxVal cannot fall to MinVal.
    TTrendSamples z;
    z.SetAutoScale(true);
    z.AddValue(0);
    EXPECT_EQ(z.MaxVal(), 1);
}

TEST(TrendLaws, RoundingAndShade) {
    EXPECT_EQ(TrendRound(2.5), 2);
    EXPECT_EQ(TrendRound(3.5), 4);
    EXPECT_EQ(TrendRound(-2.5), -2);
    EXPECT_EQ(TrendRound(2.65), 3);
    EXPECT_EQ(ShadeColor(16776960, -60), 12829440);
    EXPECT_EQ(ShadeColor(255, 60), 3947775);
}

TEST(TrendPicture, ConsoleLevelsAndFilledArea) {
    TTrendSamples s = ConsoleSamples();
    // v = 50 reaches row 3, v = 0 lies on row 124; v = 25: 25 × 121 div 50 + 3 = 63 → row 64.
    EXPECT_EQ(127 - TrendLevel(50, 0, 50, 121), 3);
    EXPECT_EQ(127 - TrendLevel(0, 0, 50, 121), 124);
    EXPECT_EQ(127 - TrendLevel(25, 0, 50, 121), 64);
    s.AddValue(25);
    s.AddValue(50);
    const auto shapes = TrendPicture(s, ConsoleLook(), FakeMeasure);
    ASSERT_EQ(shapes.front().Kind, TTrendShape::skFill);
    EXPECT_EQ(shapes.front().Brush, clBlack);
    const auto quads = OfKind(shapes, TTrendShape::skPolygon);
    ASSERT_EQ(quads.size(), 99u) << "one quadrilateral between each pair of neighbours";
    // The last one joins samples 98 (25) and 99 (50): s = 2.65, xa = nearest(3 + 98 × 2.65 + 1.325).
    const TTrendShape &q = quads.back();
    EXPECT_EQ(q.Points, (std::vector<QPoint>{{264, 124}, {267, 124}, {267, 3}, {264, 64}}));
    EXPECT_EQ(q.Pen, 9976065);
    EXPECT_EQ(q.Brush, 9976065);
}

TEST(TrendPicture, TwoSamplesFillOneQuadBarsAndBlocksOneShapeEach) {
    TTrendSamples s;
    s.SetDivisions(2);
    TTrendLook look;
    look.Width = 50;
    look.Height = 40;
    look.Style = tsFilled;
    EXPECT_EQ(OfKind(TrendPicture(s, look, FakeMeasure), TTrendShape::skPolygon).size(), 1u);
    s.SetDivisions(7);
    look.Style = tsBar;
    EXPECT_EQ(OfKind(TrendPicture(s, look, FakeMeasure), TTrendShape::skRect).size(), 7u);
    look.Style = ts3D; // front, side and top per sample
    EXPECT_EQ(OfKind(TrendPicture(s, look, FakeMeasure), TTrendShape::skPolygon).size(), 21u);
    look.Style = tsLine;
    const auto lines = OfKind(TrendPicture(s, look, FakeMeasure), TTrendShape::skPolyline);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Points.size(), 7u);
    look.Options = {toTwin};
    EXPECT_EQ(OfKind(TrendPicture(s, look, FakeMeasure), TTrendShape::skPolyline).size(), 2u);
}

TEST(TrendPicture, BarsWithValueTexts) {
    TTrendSamples s; // 0..100, 20 divisions
    s.AddValue(40);
    TTrendLook look;
    look.Width = 206; // s = 10
    look.Height = 106;
    look.GridStyle = gsNone;
    look.Options = {toValues, toNoZeros};
    const auto shapes = TrendPicture(s, look, FakeMeasure);
    const auto bars = OfKind(shapes, TTrendShape::skRect);
    ASSERT_EQ(bars.size(), 20u);
    // Bar 19: x = 193, top level nearest(40 × 100 / 100 + 3) = 43.
    EXPECT_EQ(bars.back().Points, (std::vector<QPoint>{{193, 103}, {203, 63}}));
    EXPECT_EQ(bars.back().Pen, clBlack) << "no grid: black outline";
    const auto texts = OfKind(shapes, TTrendShape::skText);
    ASSERT_EQ(texts.size(), 1u) << "zeros get no text";
    EXPECT_EQ(texts[0].Text, QStringLiteral("40"));
    // x + h2 - width ÷ 2 = 193 + 5 - 6; row H - t - height = 106 - 43 - 10.
    EXPECT_EQ(texts[0].Points[0], QPoint(192, 53));
    EXPECT_TRUE(texts[0].Opaque);
    look.Options = {toValues, toRotated, toTransparent};
    const auto rotated = OfKind(TrendPicture(s, look, FakeMeasure), TTrendShape::skText);
    ASSERT_EQ(rotated.size(), 20u);
    EXPECT_EQ(rotated.back().Points[0], QPoint(193 + 5 - 5, 63));
    EXPECT_TRUE(rotated.back().Rotated);
    EXPECT_FALSE(rotated.back().Opaque);
}

TEST(TrendPicture, GridAnchoredAtTheRightEdge) {
    TTrendSamples s; // 0..100
    TTrendLook look;
    look.Width = 25;
    look.Height = 50;
    look.GridXstep = 10;
    look.GridYstep = 25;
    const auto lines = OfKind(TrendPicture(s, look, FakeMeasure), TTrendShape::skLine);
    std::vector<int> columns, rows;
    for (const TTrendShape &l : lines)
        (l.Points[0].x() == l.Points[1].x() ? columns : rows)
            .push_back(l.Points[0].x() == l.Points[1].x() ? l.Points[0].x() : l.Points[0].y());
    EXPECT_EQ(columns, (std::vector<int>{15, 5}));
    EXPECT_EQ(rows, (std::vector<int>{38, 25, 12})) << "25, 50, 75 of 0..100 on 50 rows";
    look.GridStyle = gsYGrid;
    EXPECT_EQ(OfKind(TrendPicture(s, look, FakeMeasure), TTrendShape::skLine).size(), 3u);
}

TEST(TrendPicture, ScatterAndBlocksGeometry) {
    TTrendSamples s;
    s.SetDivisions(2);
    s.AddValue(0);
    s.AddValue(100);
    TTrendLook look;
    look.Width = 46; // s = 20, r = 5
    look.Height = 60;
    look.GridStyle = gsNone;
    look.Style = tsScatter;
    const auto dots = OfKind(TrendPicture(s, look, FakeMeasure), TTrendShape::skRect);
    ASSERT_EQ(dots.size(), 2u);
    // Sample 1: cx = 3 + 20 + 10 = 33; cy = 100 × 44 div 100 + 3 + 5 = 52.
    EXPECT_EQ(dots[1].Points, (std::vector<QPoint>{{28, 13}, {38, 3}}));
    look.Style = ts3D;
    look.Width = 56; // s = (56 - 6 - 10) ÷ 2 = 20
    const auto faces = OfKind(TrendPicture(s, look, FakeMeasure), TTrendShape::skPolygon);
    ASSERT_EQ(faces.size(), 6u);
    // Sample 1 spans 23..43; top level 100 × 44 div 100 + 3 = 47.
    EXPECT_EQ(faces[3].Points, (std::vector<QPoint>{{23, 57}, {43, 57}, {43, 13}, {23, 13}}));
    EXPECT_EQ(faces[4].Brush, ShadeColor(clRed, -60));
    EXPECT_EQ(faces[5].Points, (std::vector<QPoint>{{43, 13}, {53, 3}, {33, 3}, {23, 13}}));
    EXPECT_EQ(faces[5].Brush, ShadeColor(clRed, 60));
}

TEST(VarnTrend, DefaultsSettersAndPixels) {
    TVarnTrend trend;
    EXPECT_EQ(trend.Color(), clRed);
    EXPECT_EQ(trend.Style(), tsBar);
    EXPECT_EQ(trend.BackGroundColor(), 16777215);
    EXPECT_EQ(trend.GridStyle(), gsFull);
    EXPECT_EQ(trend.GridColor(), 12632256);
    EXPECT_EQ(trend.ColorBase(), 16776960);
    EXPECT_EQ(trend.GridXstep(), 10);
    EXPECT_EQ(trend.GridYstep(), 10);
    EXPECT_FALSE(trend.AutoScale());
    trend.SetBounds(0, 0, 271, 127);
    trend.SetColor(9976065);
    trend.SetMaxVal(50);
    trend.SetDivisions(100);
    trend.SetStyle(tsFilled);
    trend.SetBackGroundColor(clBlack);
    trend.SetGridStyle(gsNone);
    for (int i = 0; i < 100; ++i)
        trend.AddValue(25);
    const QImage img = trend.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(img.pixel(135, 100), ToQColor(9976065).rgb()) << "under the line";
    EXPECT_EQ(img.pixel(135, 40), qRgb(0, 0, 0)) << "above the line";
    EXPECT_EQ(img.pixel(135, 64), ToQColor(9976065).rgb()) << "the level row of 25";
    EXPECT_EQ(img.pixel(135, 62), qRgb(0, 0, 0));
    // Grid steps: above the size becomes the size, 0 is ignored (with a message at design time).
    std::vector<std::string> messages;
    const TMMMessageBoxHook previous = SetMessageBoxHook(
        [&messages](const std::string &text, const std::string &) { messages.push_back(text); });
    trend.SetGridXstep(500);
    EXPECT_EQ(trend.GridXstep(), 271);
    trend.SetGridYstep(0);
    EXPECT_EQ(trend.GridYstep(), 10);
    EXPECT_TRUE(messages.empty());
    trend.SetDesigning(true);
    trend.SetGridYstep(-3);
    EXPECT_EQ(messages, (std::vector<std::string>{"Value must be greater than 0!"}));
    SetMessageBoxHook(previous);
}

TEST(VarnTrend, DesignTimeShowsDemonstrationData) {
    TVarnTrend trend;
    trend.SetMinVal(10);
    trend.SetMaxVal(20);
    EXPECT_EQ(trend.Values()[0], 0);
    trend.SetDesigning(true);
    for (int i = 0; i < kTrendSamples; ++i) {
        EXPECT_TRUE(trend.Values()[i] >= 10 && trend.Values()[i] < 20);
        EXPECT_TRUE(trend.TwinValues()[i] >= 10 &&
                    trend.TwinValues()[i] <= std::max(10, trend.Values()[i] - 1));
    }
}

TEST(VarnTrend, ChildrenLieOverTheChart) {
    TVarnTrend trend;
    trend.SetBounds(0, 0, 60, 40);
    trend.SetGridStyle(gsNone);
    auto *line = new QWidget(&trend);
    line->setGeometry(0, 20, 60, 1);
    SetSolidBackground(*line, Qt::red);
    const QImage img = trend.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(img.pixel(30, 20), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(30, 10), qRgb(255, 255, 255));
}
