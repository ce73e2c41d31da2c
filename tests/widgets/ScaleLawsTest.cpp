#include "widgets/MMScaleLaws.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// Lines painted into a w × h grid as characters, one per colour ('.' unpainted),
// the way a pen draws them: every pixel from the start up to the end, exclusive.
std::vector<std::string> Paint(const std::vector<TMMScaleLine> &lines, int w, int h,
                               const std::map<TColor, char> &codes) {
    std::vector<std::string> rows(static_cast<std::size_t>(h), std::string(static_cast<std::size_t>(w), '.'));
    for (const TMMScaleLine &l : lines) {
        EXPECT_TRUE(l.X1 == l.X2 || l.Y1 == l.Y2) << "scale lines are straight";
        const int dx = (l.X2 > l.X1) - (l.X2 < l.X1);
        const int dy = (l.Y2 > l.Y1) - (l.Y2 < l.Y1);
        for (int x = l.X1, y = l.Y1; x != l.X2 || y != l.Y2; x += dx, y += dy)
            if (x >= 0 && x < w && y >= 0 && y < h)
                rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = codes.at(l.Color);
    }
    return rows;
}

// Fixed-pitch text: 7 pixels a character, 14 high (about Arial at 12 pixels).
TMMScaleMetrics Pitch7() {
    return {14, [](std::string_view t) { return static_cast<int>(t.size()) * 7; }};
}

// The console's scale between its two bars, in distinct zone colours.
TMMLevelScaleSettings ConsoleScale() {
    TMMLevelScaleSettings s;
    s.Width = 36;
    s.Height = 288;
    s.Kind = lkVertical;
    s.Point1 = 40;
    s.Point2 = 70;
    s.Sensitivy = -60;
    s.ScaleTicks = 13;
    s.Scale.Visible = true;
    s.Scale.TickCount = 25;
    s.Scale.EnlargeEvery = 4;
    s.Scale.Size = 7;
    s.Scale.Origin = soInner;
    s.Scale.Connect = true;
    s.Scale1Color = clLime;
    s.Scale2Color = clYellow;
    s.Scale3Color = clRed;
    return s;
}

// The labels as "text@left,top" in drawing order.
std::string Labels(const TMMLevelScaleLayout &layout) {
    std::string s;
    for (const TMMScaleLabel &l : layout.Labels)
        s += (s.empty() ? "" : " ") + l.Text + "@" + std::to_string(l.Left) + "," + std::to_string(l.Top);
    return s;
}

std::vector<TMMScaleLine> Ticks(const std::vector<TMMScaleLine> &lines) {
    std::vector<TMMScaleLine> t;
    for (const auto &l : lines)
        if (l.Y1 == l.Y2) t.push_back(l);
    return t;
}

} // namespace

TEST(ScaleLaws, ConsolePanelScale) {
    const TMMLevelScaleLayout layout = LevelScaleLayout(ConsoleScale(), Pitch7());
    // Two 8-pixel strips, shifted down half a text height, facing the label column.
    ASSERT_EQ(layout.Strips.size(), 2u);
    EXPECT_EQ(layout.Strips[0].Rect, Rect(0, 7, 8, 294));
    EXPECT_TRUE(layout.Strips[0].FirstSide);
    EXPECT_EQ(layout.Strips[1].Rect, Rect(28, 7, 36, 294));
    EXPECT_FALSE(layout.Strips[1].FirstSide);
    EXPECT_EQ(layout.LabelArea, Rect(8, 0, 28, 288));

    // 0 to -55 from the top; -60 would overflow the bottom.
    ASSERT_EQ(layout.LabelStep, 1);
    ASSERT_EQ(layout.Labels.size(), 12u);
    for (int e = 0; e < 12; ++e) {
        const TMMScaleLabel &l = layout.Labels[static_cast<std::size_t>(e)];
        EXPECT_EQ(l.Text, std::to_string(-5 * e));
        EXPECT_EQ(l.Top, (e * 287 + 6) / 12) << e;
        EXPECT_EQ(l.Left + 7 * static_cast<int>(l.Text.size()), 28) << "right-aligned in the column";
        EXPECT_EQ(l.Color, e <= 3 ? clRed : (e <= 7 ? clYellow : clLime)) << e;
    }

    // Left strip: the line on its right column, ticks grow leftward from it.
    const auto left = ScaleLines(layout.StripScale, layout.Strips[0].Rect, true);
    ASSERT_EQ(left.size(), 3u + 25u);
    EXPECT_EQ(left[0], (TMMScaleLine{7, 8, 7, 98, clRed}));
    EXPECT_EQ(left[1], (TMMScaleLine{7, 98, 7, 190, clYellow}));
    EXPECT_EQ(left[2], (TMMScaleLine{7, 190, 7, 295, clLime}));
    const auto ticks = Ticks(left);
    for (int c = 0; c < 25; ++c) {
        const TMMScaleLine &t = ticks[static_cast<std::size_t>(c)];
        EXPECT_EQ(t.X2, 8);
        EXPECT_EQ(t.X1, c % 4 == 0 ? 1 : 5) << c;
        EXPECT_EQ(t.Color, c <= 6 ? clRed : (c <= 14 ? clYellow : clLime)) << c;
    }
    // Labelled ticks meet the label middles; 7 + 143.5 is a tie and goes to the even 150.
    for (int e = 0; e < 12; ++e)
        EXPECT_EQ(ticks[static_cast<std::size_t>(2 * e)].Y1,
                  layout.Labels[static_cast<std::size_t>(e)].Top + 7 - (e == 6))
            << e;
    // Right strip: the mirror image, growing rightward from column 28.
    const auto right = Ticks(ScaleLines(layout.StripScale, layout.Strips[1].Rect, false));
    EXPECT_EQ(right[0], (TMMScaleLine{28, 7, 35, 7, clRed}));
    EXPECT_EQ(right[1], (TMMScaleLine{28, 19, 31, 19, clRed}));
    // The layout's lines are the two strips' lines in order.
    EXPECT_EQ(layout.Lines.size(), 2 * left.size());
}

TEST(ScaleLaws, ZoneColoursFollowKindAndDirection) {
    // The loud end is at the top of a vertical scale and at the right of a horizontal one.
    auto ends = [](TMMLevelKind kind, TMMLevelDirection dir) {
        TMMLevelScaleSettings s = ConsoleScale();
        s.Kind = kind;
        s.Direction = dir;
        if (kind == lkHorizontal) std::swap(s.Width, s.Height);
        const auto layout = LevelScaleLayout(s, Pitch7());
        const auto lines = ScaleLines(layout.StripScale, layout.Strips[0].Rect, true);
        return std::make_pair(lines[3].Color, lines.back().Color); // first and last tick
    };
    EXPECT_EQ(ends(lkVertical, dirNormal), std::make_pair(clRed, clLime));
    EXPECT_EQ(ends(lkVertical, dirReversed), std::make_pair(clLime, clRed));
    EXPECT_EQ(ends(lkHorizontal, dirNormal), std::make_pair(clLime, clRed));
    EXPECT_EQ(ends(lkHorizontal, dirReversed), std::make_pair(clRed, clLime));
}

TEST(ScaleLaws, StripPixels) {
    TMMScaleSettings s;
    s.TickCount = 3;
    s.EnlargeEvery = 2;
    s.Size = 4;
    s.Connect = true;
    s.Color = s.Zone2Color = s.Zone3Color = clWhite;
    s.ZoneLimit1 = 1;
    s.ZoneLimit2 = 2;
    EXPECT_FALSE(s.UsesZones()); // all three colours alike
    EXPECT_EQ(s.StripWidth(), 5);
    const std::map<TColor, char> codes{{clWhite, 'W'}, {clBlack, 'K'}, {clRed, 'R'}};

    // Right of what it marks (soInner): ticks from the left edge, both rect edges ticked.
    EXPECT_EQ(Paint(ScaleLines(s, Rect(0, 0, 5, 10), false), 5, 11, codes),
              (std::vector<std::string>{"WWWW.", "W....", "W....", "W....", "W....", "WW...", "W....",
                                        "W....", "W....", "W....", "WWWW."}));
    // Left of it: anchored at the right edge, the line in the last column.
    EXPECT_EQ(Paint(ScaleLines(s, Rect(0, 0, 5, 10), true), 5, 11, codes),
              (std::vector<std::string>{".WWWW", "....W", "....W", "....W", "....W", "...WW", "....W",
                                        "....W", "....W", "....W", ".WWWW"}));

    // A lowered groove: a dark line, then a light one below (flat) or right of it (steep).
    s.Style = stLowered;
    s.Connect = false;
    s.TickCount = 2;
    EXPECT_EQ(s.StripWidth(), 4);
    EXPECT_EQ(Paint(ScaleLines(s, Rect(0, 0, 4, 4), false), 5, 6, codes),
              (std::vector<std::string>{"KKKK.", "WWWW.", ".....", ".....", "KK...", "WW..."}));
    s.Connect = true;
    s.Style = stRaised;
    EXPECT_EQ(s.StripWidth(), 6);
    const auto raised = ScaleLines(s, Rect(0, 0, 6, 8), false);
    ASSERT_EQ(raised.size(), 6u);
    EXPECT_EQ(raised[0], (TMMScaleLine{0, 1, 0, 9, clWhite}));
    EXPECT_EQ(raised[1], (TMMScaleLine{1, 1, 1, 9, clBlack}));
    EXPECT_EQ(raised[2], (TMMScaleLine{1, 0, 5, 0, clWhite})); // ticks start after the groove
}

TEST(ScaleLaws, HorizontalStripsKeepTheirLineInside) {
    TMMScaleSettings s;
    s.Size = 7;
    s.Connect = true;
    s.TickCount = 5;
    s.EnlargeEvery = 2;
    for (bool firstSide : {true, false})
        for (TMMScaleOrigin origin : {soInner, soOuter}) {
            s.Origin = origin;
            const auto lines = ScaleLines(s, Rect(0, 10, 40, 18), firstSide);
            const TMMScaleLine &line = lines[0];
            ASSERT_EQ(line.Y1, line.Y2);
            EXPECT_GE(line.Y1, 10);
            EXPECT_LT(line.Y1, 18);
            EXPECT_EQ(line.X1, 0);
            EXPECT_EQ(line.X2, 41);
            for (std::size_t i = 1; i < lines.size(); ++i) {
                EXPECT_GE(std::min(lines[i].Y1, lines[i].Y2), 10);
                EXPECT_LE(std::max(lines[i].Y1, lines[i].Y2), 18);
                // Each tick stands on the line.
                EXPECT_TRUE(lines[i].Y1 == line.Y1 || lines[i].Y2 == line.Y1 + 1) << i;
            }
        }
    // Horizontal ticks truncate; 40 / 3 = 13.33.
    s.TickCount = 4;
    s.Connect = false;
    const auto t = ScaleLines(s, Rect(0, 0, 40, 7), true);
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[1].X1, 13);
    EXPECT_EQ(t[2].X1, 26);
    EXPECT_EQ(t[3].X1, 40);
}

TEST(ScaleLaws, ZonesNeedSensibleLimits) {
    TMMScaleSettings s;
    s.Color = clRed;
    s.Zone2Color = clWhite;
    s.Zone3Color = clWhite;
    s.ZoneLimit1 = 3;
    s.ZoneLimit2 = 6;
    EXPECT_TRUE(s.UsesZones());
    s.ZoneLimit2 = 12; // beyond TickCount 11
    EXPECT_FALSE(s.UsesZones());
    s.ZoneLimit2 = 6;
    s.Style = stRaised;
    EXPECT_FALSE(s.UsesZones());

    // Degenerate settings are raised, not divided by.
    s.Style = stColor;
    s.TickCount = 0;
    s.EnlargeEvery = 0;
    s.Size = 0;
    const auto lines = ScaleLines(s, Rect(0, 0, 4, 20), false);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], (TMMScaleLine{0, 20, 1, 20, clRed}));

    // A connecting line shorter than a zone still runs forward, piece by piece.
    s.Connect = true;
    s.TickCount = 20;
    s.ZoneLimit1 = 0;
    s.ZoneLimit2 = 1;
    const auto tiny = ScaleLines(s, Rect(0, 0, 2, 4), false);
    int covered = 0;
    for (const auto &l : tiny)
        if (l.X1 == l.X2) {
            EXPECT_LE(l.Y1, l.Y2);
            covered += l.Y2 - l.Y1;
        }
    EXPECT_EQ(covered, 4);
}

TEST(ScaleLaws, LabelStepsAndValues) {
    EXPECT_EQ(ScaleLabelStep(12, 14, 288), 1);
    EXPECT_EQ(ScaleLabelStep(12, 14, 100), 2);        // 6 labels of 14
    EXPECT_EQ(ScaleLabelStep(12, 14, 13), 0);         // not even one fits
    EXPECT_EQ(ScaleLabelValue(1, 2, -35, true), -18); // halves away from zero
    EXPECT_EQ(ScaleLabelValue(12, 12, -60, false), 0);
    EXPECT_EQ(ScaleLabelValue(0, 12, -60, false), -60);
    EXPECT_EQ(ScaleLabelValue(6, 12, -60, false), -6);

    // Every second slot when the control is short; ScaleTicks 1 is 2.
    TMMLevelScaleSettings s = ConsoleScale();
    s.Height = 100;
    EXPECT_EQ(Labels(LevelScaleLayout(s, Pitch7())), "0@21,0 -10@7,17 -20@7,33 -30@7,50 -40@7,66 -50@7,83");
    s.ScaleTicks = 1;
    s.Height = 300;
    EXPECT_EQ(Labels(LevelScaleLayout(s, TMMScaleMetrics{1, [](std::string_view) { return 5; }})),
              "0@15,0 -60@15,299");
}

TEST(ScaleLaws, HorizontalAndReversedLabels) {
    TMMLevelScaleSettings s;
    s.Width = 200;
    s.Height = 20;
    s.ScaleTicks = 5;
    s.Sensitivy = -40;
    // From the right, each label ending at its slot; the leftmost one falls off.
    EXPECT_EQ(Labels(LevelScaleLayout(s, Pitch7())), "0@192,3 -10@128,3 -20@79,3 -30@29,3");

    // Reversed vertical: from the bottom up, each label standing on its slot.
    s.Kind = lkVertical;
    s.Direction = dirReversed;
    s.Width = 30;
    s.Height = 101;
    const auto layout = LevelScaleLayout(s, Pitch7());
    EXPECT_EQ(Labels(layout), "0@18,86 -10@4,61 -20@4,36 -30@4,11");
    EXPECT_EQ(layout.Labels[0].Color, clRed);
    EXPECT_EQ(layout.Labels[1].Color, clWhite);

    // Linear: the same ends, the middle of the amplitude near -6 dB.
    s.LogAmp = false;
    s.ScaleTicks = 3;
    EXPECT_EQ(Labels(LevelScaleLayout(s, Pitch7())), "0@18,86 -6@11,36");
}

TEST(ScaleLaws, SymmetricLabelsMirrorAboutTheMiddle) {
    const TMMScaleMetrics pitch5{10, [](std::string_view t) { return static_cast<int>(t.size()) * 5; }};
    TMMLevelScaleSettings s;
    s.Kind = lkVertical;
    s.Direction = dirSymetric;
    s.Width = 40;
    s.Height = 101;
    s.ScaleTicks = 3;
    s.Sensitivy = -20;
    // 0 dB in the middle; -20 would cross the bottom and +20 the top.
    const auto column = LevelScaleLayout(s, pitch5);
    EXPECT_EQ(Labels(column), "0@22,45 -10@12,70 +10@12,20");
    EXPECT_EQ(column.Labels[0].Color, clRed);

    // A row walks from the right, each label centred on its slot.
    s.Kind = lkHorizontal;
    s.Width = 101;
    s.Height = 20;
    EXPECT_EQ(Labels(LevelScaleLayout(s, pitch5)), "0@48,5 -10@18,5 +10@67,5");
}
