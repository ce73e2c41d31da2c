#include "widgets/MMScaleLaws.h"

#include "core/PCM.h"

#include <cmath>
#include <cstdlib>

namespace {

// Appends a line, twice for a grooved style; zero-length lines draw nothing.
class TLineSink {
  public:
    TLineSink(std::vector<TMMScaleLine> &out, TMMScaleStyle style) : FOut(out), FStyle(style) {}

    void Add(int x1, int y1, int x2, int y2, TColor color) {
        if (x1 == x2 && y1 == y2) return;
        if (FStyle == stColor) {
            FOut.push_back({x1, y1, x2, y2, color});
            return;
        }
        const TColor first = FStyle == stLowered ? clBlack : clWhite;
        const TColor second = FStyle == stLowered ? clWhite : clBlack;
        FOut.push_back({x1, y1, x2, y2, first});
        const bool flat = std::abs(x2 - x1) > std::abs(y2 - y1);
        const int dx = flat ? 0 : 1;
        const int dy = flat ? 1 : 0;
        FOut.push_back({x1 + dx, y1 + dy, x2 + dx, y2 + dy, second});
    }

  private:
    std::vector<TMMScaleLine> &FOut;
    TMMScaleStyle FStyle;
};

// Level scale label colours are taken from a 0..32767 position along the bar.
TColor LabelColor(const TMMLevelScaleSettings &s, int v) {
    if (v > s.Point2 * static_cast<double>(kLevelFullScale) / 100.0) return s.Scale3Color;
    if (v <= s.Point1 * static_cast<double>(kLevelFullScale) / 100.0) return s.Scale1Color;
    return s.Scale2Color;
}

} // namespace

TMMScaleSettings TMMScaleSettings::Normalized() const {
    TMMScaleSettings s = *this;
    s.TickCount = Max(s.TickCount, 2);
    s.EnlargeEvery = Max(s.EnlargeEvery, 1);
    s.Size = Max(s.Size, 1);
    return s;
}

int TMMScaleSettings::StripWidth() const {
    const int size = Max(Size, 1);
    if (!Connect) return size;
    return size + 1 + (Style != stColor ? 1 : 0);
}

bool TMMScaleSettings::UsesZones() const {
    if (Zone2Color == Color && Zone3Color == Color) return false;
    if (ZoneLimit1 < 0 || ZoneLimit2 < ZoneLimit1) return false;
    const int ticks = Max(TickCount, 2);
    if (ZoneLimit1 > ticks || ZoneLimit2 > ticks) return false;
    return Style == stColor;
}

std::vector<TMMScaleLine> ScaleLines(const TMMScaleSettings &settings, const TRect &rect, bool firstSide) {
    const TMMScaleSettings s = settings.Normalized();
    std::vector<TMMScaleLine> lines;
    TLineSink sink(lines, s.Style);
    const int L = rect.Left, T = rect.Top, R = rect.Right, B = rect.Bottom;
    const bool vertical = B - T >= R - L;
    const float len = static_cast<float>(vertical ? B - T : R - L);
    const bool zones = s.UsesZones();
    float z1 = 0.0f, z2 = 0.0f, zoneStep = 0.0f;
    if (zones) {
        z1 = static_cast<float>(s.ZoneLimit1) / static_cast<float>(s.TickCount) * len;
        z2 = len * static_cast<float>(s.ZoneLimit2) / static_cast<float>(s.TickCount);
        zoneStep = len / static_cast<float>(s.TickCount);
    }
    // Ticks grow from the start edge (left or top) when the strip's inner side
    // is there: the right or lower strip with soInner, the other with soOuter.
    const bool atStart = !firstSide == (s.Origin == soInner);
    const int k = s.Connect && s.Style != stColor ? 1 : 0;

    if (s.Connect) {
        // The line lies on the tick bases inside the strip, in both orientations.
        const int across = vertical ? (atStart ? L : R - k - 1) : (atStart ? T : B - k - 1);
        const int from = vertical ? T + 1 : L;
        const int to = vertical ? B + 1 : R + 1;
        auto add = [&](int a, int b, TColor color) {
            if (vertical)
                sink.Add(across, a, across, b, color);
            else
                sink.Add(a, across, b, across, color);
        };
        if (zones) {
            const double edge = vertical ? T : L;
            const int end1 = MinMax(static_cast<int>(edge + z1 + zoneStep), from, to);
            const int end2 = MinMax(static_cast<int>(edge + z2 + zoneStep), end1, to);
            add(from, end1, s.Color);
            add(end1, end2, s.Zone2Color);
            add(end2, to, s.Zone3Color);
        } else {
            add(from, to, s.Color);
        }
    }

    const float unit = len / static_cast<float>(s.TickCount - 1);
    for (int c = 0; c < s.TickCount; ++c) {
        const float d = unit * static_cast<float>(c);
        const int m = c % s.EnlargeEvery == 0 ? s.Size : s.Size / 2;
        TColor color = s.Color;
        if (zones && d > z2)
            color = s.Zone3Color;
        else if (zones && d > z1)
            color = s.Zone2Color;
        const int base = vertical ? (atStart ? L + k : R - m - k) : (atStart ? T + k : B - m - k);
        if (vertical) {
            const int y = static_cast<int>(RoundHalfEven(T + static_cast<double>(d)));
            sink.Add(base, y, base + m, y, color);
        } else {
            const int x = static_cast<int>(L + static_cast<double>(d));
            sink.Add(x, base, x, base + m, color);
        }
    }
    return lines;
}

TMMLevelScaleSettings TMMLevelScaleSettings::Normalized() const {
    TMMLevelScaleSettings s = *this;
    s.Scale = s.Scale.Normalized();
    s.ScaleTicks = Max(s.ScaleTicks, 2);
    s.Point1 = MinMax(s.Point1, 1, 100);
    s.Point2 = MinMax(s.Point2, 1, 100);
    s.Sensitivy = MinMax(s.Sensitivy, -90, -9);
    s.Width = Max(s.Width, 0);
    s.Height = Max(s.Height, 0);
    return s;
}

int ScaleLabelStep(int count, int extent, int room) {
    for (int n = 1; n <= count; ++n)
        if (static_cast<long long>(count / n) * extent <= room) return n;
    return 0;
}

int ScaleLabelValue(int l, int n, int sensitivy, bool logAmp) {
    if (logAmp) return MulDivRound(l, sensitivy, n);
    const double full = kLevelFullScale;
    const float t = static_cast<float>(full / std::pow(10.0, -sensitivy / 20.0));
    const double amplitude = (t + (full - t) * l / n) / full;
    return static_cast<int>(RoundHalfEven(20.0 * std::log10(amplitude)));
}

TMMLevelScaleLayout LevelScaleLayout(const TMMLevelScaleSettings &settings, const TMMScaleMetrics &metrics) {
    const TMMLevelScaleSettings s = settings.Normalized();
    TMMLevelScaleLayout out;
    out.Client = Rect(0, 0, s.Width, s.Height);
    out.Background = s.Color;
    auto widthOf = [&metrics](std::string_view text) {
        return metrics.TextWidth ? metrics.TextWidth(text) : 0;
    };
    const bool vertical = s.Kind == lkVertical;
    const bool reversed = s.Direction == dirReversed;
    const int th = metrics.TextHeight;
    // Strips are shifted by half a digit so their ticks meet the labels' middles.
    const int h = (vertical ? th : widthOf("0")) / 2;
    int L = 0, T = 0, R = s.Width, B = s.Height;

    if (s.Scale.Visible) {
        TMMScaleSettings scale = s.Scale;
        int p1 = s.Point1, p2 = s.Point2;
        scale.Color = s.Scale1Color;
        scale.Zone2Color = s.Scale2Color;
        scale.Zone3Color = s.Scale3Color;
        // Ticks count from the top or left; the loud end is there for a
        // vertical normal and a horizontal reversed scale.
        if (vertical != reversed) {
            scale.Color = s.Scale3Color;
            scale.Zone3Color = s.Scale1Color;
            p1 = 100 - s.Point2;
            p2 = 100 - s.Point1;
        }
        scale.ZoneLimit1 = MulDivRound(p1 - 1, scale.TickCount, 100);
        scale.ZoneLimit2 = MulDivRound(p2 - 1, scale.TickCount, 100);
        out.StripScale = scale;
        const int S = scale.StripWidth();
        if (s.ScalePos == spAboveOrLeft || s.ScalePos == spBoth) {
            if (vertical) {
                out.Strips.push_back(
                    {reversed ? Rect(L, T - h, L + S, B - h - 1) : Rect(L, T + h, L + S, B + h - 1), true});
                L += S;
            } else {
                out.Strips.push_back(
                    {reversed ? Rect(L + h, T, R + h - 1, T + S) : Rect(L - h - 1, T, R - h - 1, T + S),
                     true});
                T += S;
            }
        }
        if (s.ScalePos == spBelowOrRight || s.ScalePos == spBoth) {
            if (vertical) {
                const int shift = reversed ? -h : h;
                out.Strips.push_back({Rect(R - S, T + shift, R, B + shift - 1), false});
                R -= S;
            } else {
                out.Strips.push_back(
                    {reversed ? Rect(L + h, B - S, R + h - 1, B) : Rect(L - h - 1, B - S, R - h - 1, B),
                     false});
                B -= S;
            }
        }
        for (const TMMScaleStrip &strip : out.Strips) {
            const auto lines = ScaleLines(scale, strip.Rect, strip.FirstSide);
            out.Lines.insert(out.Lines.end(), lines.begin(), lines.end());
        }
    }
    out.LabelArea = Rect(L, T, R, B);
    if (R < L || B < T) return out;

    const int N = s.ScaleTicks - 1;
    const bool symmetric = s.Direction == dirSymetric;
    const int wMax = widthOf(std::to_string(s.Sensitivy));
    const int room = (vertical ? s.Height : s.Width) / (symmetric ? 2 : 1);
    out.LabelStep = ScaleLabelStep(N, vertical ? th : wMax, room);
    if (out.LabelStep == 0) return out;

    // Vertical labels walk from the top, horizontal ones from the right,
    // unless reversed; e is the slot's distance from the top or left in steps.
    const bool countsDown = vertical == reversed;
    const bool colourMirrored = vertical != reversed;
    const bool logMirrored = vertical == reversed;
    // A column as wide as the widest label about the middle, labels right-aligned in it.
    auto columnLeft = [&](int w) { return R + wMax - (R - L) / 2 - wMax / 2 - w - 1; };
    for (int j = 0; j <= N; ++j) {
        if (j % out.LabelStep != 0) continue;
        const int e = countsDown ? N - j : j;
        int v = MulDivRound(kLevelFullScale, e, N);
        if (colourMirrored) v = kLevelFullScale - v;
        const TColor color = LabelColor(s, v);
        const bool mirrored = s.LogAmp ? logMirrored : colourMirrored;
        const int value = ScaleLabelValue(mirrored ? N - e : e, N, s.Sensitivy, s.LogAmp);
        const std::string text = std::to_string(value);
        const int w = widthOf(text);

        if (!symmetric) {
            if (vertical) {
                int o = (e * (B - T - 1) + N / 2) / N;
                if (countsDown) o -= th;
                if (o >= 0 && o + th <= s.Height) out.Labels.push_back({text, columnLeft(w), T + o, color});
            } else {
                int o = (e * (R - L - 1) + N / 2) / N;
                if (countsDown) o -= w;
                if (o >= 0 && o + w <= s.Width)
                    out.Labels.push_back({text, L + o, T + (B - T - th) / 2, color});
            }
            continue;
        }

        // 0 dB in the middle, Sensitivy at both ends; the far half is marked "+".
        const int half = ((vertical ? B - T : R - L) - 1) / 2;
        const int o = (e * half + N / 2) / N;
        const std::string plus = "+" + std::to_string(std::abs(value));
        const int wPlus = widthOf(plus);
        if (vertical) {
            auto place = [&](const std::string &t, int width, int centre) {
                const int top = centre - th / 2;
                if (top >= T && top + th <= B) out.Labels.push_back({t, columnLeft(width), top, color});
            };
            place(text, w, T + half + o);
            if (e > 0) place(plus, wPlus, T + half - o);
        } else {
            const int top = T + (B - T - th) / 2;
            auto place = [&](const std::string &t, int width, int centre) {
                const int left = centre - width / 2;
                if (left >= L && left + width <= R) out.Labels.push_back({t, left, top, color});
            };
            place(text, w, L + o);
            if (e < N) place(plus, wPlus, 2 * half + L - o - 1);
        }
    }
    return out;
}
