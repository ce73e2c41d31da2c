#include "widgets/MMStandardScaleLayout.h"

#include <algorithm>
#include <cmath>

int MarkSpot(const TMMStandardScale &scale, double dbfs, int barSpots) {
    return static_cast<int>(std::nearbyint(ScaleFraction(scale, dbfs) * barSpots));
}

TMMLevelScaleLayout StandardScaleLayout(const TMMStandardScale &scale, const TMMLevelScaleSettings &settings,
                                        const TMMScaleMetrics &metrics, const TMMSpotGeometry &bar,
                                        int barOffset) {
    const TMMLevelScaleSettings s = settings.Normalized();
    TMMLevelScaleLayout out;
    out.Client = Rect(0, 0, s.Width, s.Height);
    out.Background = s.Color;
    out.LabelArea = out.Client;
    if (s.Kind != lkVertical) return out;

    const int tick = s.Scale.Visible ? s.Scale.Size : 4;
    const bool left = s.ScalePos != spBelowOrRight;
    const bool right = s.ScalePos != spAboveOrLeft;
    const TMMScaleZones zones = ScaleZones(scale);
    const int th = metrics.TextHeight;
    // Marks come bottom up; texts are placed top down so the loud end keeps its own.
    std::vector<TMMScaleMark> marks = ScaleMarks(scale);
    std::reverse(marks.begin(), marks.end());
    int freeFrom = 0; // first row below the last text placed
    for (const TMMScaleMark &m : marks) {
        const int k = MarkSpot(scale, m.Dbfs, bar.BarSpots);
        if (k < 1 || k > bar.BarSpots) continue;
        const int row = barOffset + bar.SpotRect(k).Top;
        const TColor color = m.Dbfs > zones.High + 1e-9
                                 ? s.Scale3Color
                                 : (m.Dbfs > zones.Low + 1e-9 ? s.Scale2Color : s.Scale1Color);
        // The line-up mark's tick is long enough to read at a glance.
        int length = m.Alignment ? tick + 2 : (m.Text.empty() ? tick / 2 : tick);
        const int w = m.Text.empty() || !metrics.TextWidth ? 0 : metrics.TextWidth(m.Text);
        const int textLeft = (s.Width - w) / 2;
        const int top = std::clamp(row - th / 2, 0, std::max(0, s.Height - th));
        const bool labelled = !m.Text.empty() && top >= freeFrom;
        // Ticks stop a pixel short of their text, or they strike it through on a narrow strip.
        if (labelled) length = std::max(1, std::min(length, textLeft - 1));
        if (left) out.Lines.push_back({0, row, length, row, color});
        if (right) out.Lines.push_back({s.Width - length, row, s.Width, row, color});
        if (!labelled) continue;
        out.Labels.push_back({m.Text, textLeft, top, color});
        freeFrom = top + th;
    }
    return out;
}

void AddLevelLine(TMMLevelScaleLayout &layout, const TMMStandardScale &scale, double dbfs,
                  const TMMScaleMetrics &metrics, const TMMSpotGeometry &bar, int barOffset, TColor color) {
    const int k = MarkSpot(scale, dbfs, bar.BarSpots);
    if (k < 1 || k > bar.BarSpots || bar.Kind != lkVertical) return;
    const int row = barOffset + bar.SpotRect(k).Top;
    const int width = layout.Client.Right;
    int from = width, to = -1; // the texts' span on the row
    for (const TMMScaleLabel &label : layout.Labels) {
        if (row < label.Top || row >= label.Top + metrics.TextHeight) continue;
        from = std::min(from, label.Left);
        to = std::max(to, label.Left + (metrics.TextWidth ? metrics.TextWidth(label.Text) : 0));
    }
    if (to < 0) {
        layout.Lines.push_back({0, row, width, row, color});
        return;
    }
    if (from > 1) layout.Lines.push_back({0, row, from - 1, row, color});
    if (to + 1 < width) layout.Lines.push_back({to + 1, row, width, row, color});
}
