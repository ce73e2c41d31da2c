#include "widgets/VarnTrendLaws.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

int TrendRound(double x) {
    const double lower = std::floor(x);
    const double fraction = x - lower;
    double r = lower;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(lower, 2.0) != 0.0)) r = lower + 1;
    return static_cast<int>(std::clamp(r, double(INT_MIN), double(INT_MAX)));
}

TColor ShadeColor(TColor color, int amount) {
    const TColor rgb = ColorToRGB(color);
    TColor result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int channel = std::clamp(((rgb >> shift) & 0xFF) + amount, 0, 255);
        result |= channel << shift;
    }
    return result;
}

bool TTrendSamples::SetMinVal(int value) {
    if (value >= FMaxVal) {
        if (FMaxVal == INT_MIN) return false;
        value = FMaxVal - 1;
    }
    if (value == FMinVal) return false;
    FMinVal = value;
    return true;
}

bool TTrendSamples::SetMaxVal(int value) {
    if (value <= FMinVal) {
        if (FMinVal == INT_MAX) return false;
        value = FMinVal + 1;
    }
    if (value == FMaxVal) return false;
    FMaxVal = value;
    return true;
}

bool TTrendSamples::SetDivisions(int value) {
    value = std::clamp(value, 2, kTrendSamples);
    if (value == FDivisions) return false;
    FDivisions = value;
    return true;
}

bool TTrendSamples::SetAutoScale(bool value) {
    if (value == FAutoScale) return false;
    FAutoScale = value;
    return true;
}

void TTrendSamples::AddValue(int value) {
    std::copy(FValues.begin() + 1, FValues.begin() + FDivisions, FValues.begin());
    value = std::max(value, FMinVal);
    if (FAutoScale)
        AutoScaleTo(value);
    else
        value = std::min(value, FMaxVal);
    FValues[FDivisions - 1] = value;
}

void TTrendSamples::AutoScaleTo(int value) {
    const int m = std::max({value, *std::max_element(FValues.begin(), FValues.end()),
                            *std::max_element(FTwinValues.begin(), FTwinValues.end())});
    if (m != FMaxVal) SetMaxVal(m);
}

void TTrendSamples::FillDemo(std::mt19937 &random) {
    // A random number below n, 0 when there is none.
    auto below = [&random](std::int64_t n) -> std::int64_t {
        if (n <= 0) return 0;
        return std::uniform_int_distribution<std::int64_t>(0, n - 1)(random);
    };
    for (int i = 0; i < kTrendSamples; ++i) {
        FValues[i] = static_cast<int>(FMinVal + below(std::int64_t(FMaxVal) - FMinVal));
        FTwinValues[i] = static_cast<int>(FMinVal + below(std::int64_t(FValues[i]) - FMinVal));
    }
}

int TrendLevel(int value, int minVal, int maxVal, int height) {
    const std::int64_t range = std::int64_t(maxVal) - minVal;
    return static_cast<int>((std::int64_t(value) - minVal) * height / range + 3);
}

namespace {

// Builds the picture of one chart; the fields are what every style reads.
class TPictureBuilder {
  public:
    TPictureBuilder(const TTrendSamples &samples, const TTrendLook &look, const TTrendMeasure &measure)
        : FSamples(samples), FLook(look), FMeasure(measure), FW(look.Width), FH(look.Height),
          FRange(std::int64_t(samples.MaxVal()) - samples.MinVal()) {}

    std::vector<TTrendShape> Build() {
        Add(TTrendShape::skFill, {{0, 0}, {FW, FH}}, clBlack, FLook.BackGroundColor);
        Grid();
        const int divisions = FSamples.Divisions();
        const int span = FW - 6 - (FLook.Style == ts3D ? FLook.DepthX : 0);
        FStep = double(span) / divisions;
        FHalf = TrendRound(FStep) / 2;
        switch (FLook.Style) {
        case tsBar:
            Bars();
            break;
        case tsLine:
            Lines();
            break;
        case tsScatter:
            Scatter();
            break;
        case ts3D:
            Blocks();
            break;
        case tsFilled:
            Filled();
            break;
        }
        return std::move(FShapes);
    }

  private:
    void Add(TTrendShape::TKind kind, std::vector<QPoint> points, TColor pen, TColor brush) {
        TTrendShape shape;
        shape.Kind = kind;
        shape.Points = std::move(points);
        shape.Pen = pen;
        shape.Brush = brush;
        FShapes.push_back(std::move(shape));
    }

    int Level(int value, int height) const {
        return TrendLevel(value, FSamples.MinVal(), FSamples.MaxVal(), height);
    }

    void Grid() {
        const TGridStyle grid = FLook.GridStyle;
        if (grid == gsXGrid || grid == gsFull) {
            // Anchored at the right edge, so the lines stay put as the chart scrolls.
            const int step = std::max(FLook.GridXstep, 1);
            for (int x = 1; x <= FW - 1; ++x)
                if (x % step == 0)
                    Add(TTrendShape::skLine, {{FW - x, 0}, {FW - x, FH - 1}}, FLook.GridColor, 0);
        }
        if (grid == gsYGrid || grid == gsFull) {
            const std::int64_t step = std::max(FLook.GridYstep, 1);
            const std::int64_t first = std::int64_t(FSamples.MinVal()) + 1, last = FSamples.MaxVal() - 1;
            // The first multiple of step at or above `first`.
            std::int64_t u = first % step == 0 ? first : first - (first % step) + (first > 0 ? step : 0);
            int lastRow = INT_MIN;
            for (; u <= last; u += step) {
                const std::int64_t p = (u - FSamples.MinVal()) * 100 / FRange;
                const int row = FH - TrendRound(double(p) * FH / 100.0);
                if (row == lastRow) continue;
                lastRow = row;
                Add(TTrendShape::skLine, {{0, row}, {FW - 1, row}}, FLook.GridColor, 0);
            }
        }
    }

    // A value text; skipped for zeros with toNoZeros.
    void Text(int value, int x, int y, bool rotated) {
        TTrendShape shape;
        shape.Kind = TTrendShape::skText;
        shape.Text = QString::number(value);
        shape.Points = {{x, y}};
        shape.Pen = FLook.FontColor;
        shape.Brush = FLook.BackGroundColor;
        shape.Opaque = !FLook.Options.Has(toTransparent);
        shape.Rotated = rotated;
        FShapes.push_back(std::move(shape));
    }

    bool WantsText(int value) const {
        return FLook.Options.Has(toValues) && !(value == 0 && FLook.Options.Has(toNoZeros));
    }

    void Bars() {
        const TColor pen = FLook.GridStyle != gsNone ? FLook.GridColor : clBlack;
        const bool rotated = FLook.Options.Has(toRotated);
        for (int i = 0; i < FSamples.Divisions(); ++i) {
            const int v = FSamples.Values()[i];
            const int x = TrendRound(3 + i * FStep);
            const int t = TrendRound(double(std::int64_t(v) - FSamples.MinVal()) * (FH - 6) / FRange + 3);
            Add(TTrendShape::skRect, {{x, FH - 3}, {TrendRound(x + FStep), FH - t}}, pen, FLook.Color);
            if (!WantsText(v)) continue;
            const QSize size = FMeasure(QString::number(v));
            if (rotated)
                Text(v, x + FHalf - size.height() / 2, std::max(size.width(), FH - t), true);
            else
                Text(v, x + FHalf - size.width() / 2, std::max(0, FH - t - size.height()), false);
        }
    }

    void Polyline(const TTrendSamples::TSeries &series, TColor color) {
        std::vector<QPoint> points;
        for (int i = 0; i < FSamples.Divisions(); ++i)
            points.emplace_back(TrendRound(3 + i * FStep + FHalf), FH - Level(series[i], FH - 6));
        Add(TTrendShape::skPolyline, std::move(points), color, color);
    }

    void Lines() {
        Polyline(FSamples.Values(), FLook.Color);
        if (FLook.Options.Has(toTwin)) Polyline(FSamples.TwinValues(), FLook.ColorBase);
    }

    void Scatter() {
        const int r = std::max(1, TrendRound(FStep / 4));
        const auto dot = [&](int i, int v, TColor color) {
            const int cx = TrendRound(3 + i * FStep + 2 * r);
            const int cy = Level(v, FH - 6 - 2 * r) + r;
            Add(TTrendShape::skRect, {{cx - r, FH - (cy - r)}, {cx + r, FH - (cy + r)}}, color, color);
        };
        for (int i = 0; i < FSamples.Divisions(); ++i) {
            dot(i, FSamples.Values()[i], FLook.Color);
            if (FLook.Options.Has(toTwin)) dot(i, FSamples.TwinValues()[i], FLook.ColorBase);
        }
    }

    void Blocks() {
        const int dx = FLook.DepthX, dy = FLook.DepthY, height = FH - 6 - dy;
        const bool twin = FLook.Options.Has(toTwin), rotated = FLook.Options.Has(toRotated);
        const TColor side = ShadeColor(FLook.Color, -60), top = ShadeColor(FLook.Color, 60);
        int x0 = 3;
        for (int i = 0; i < FSamples.Divisions(); ++i) {
            const int v = FSamples.Values()[i];
            const int x1 = TrendRound(3 + (i + 1) * FStep);
            int t = Level(v, height);
            int b = twin ? Level(FSamples.TwinValues()[i], height) : 3;
            if (t < b) std::swap(t, b);
            Add(TTrendShape::skPolygon, {{x0, FH - b}, {x1, FH - b}, {x1, FH - t}, {x0, FH - t}}, FLook.Color,
                FLook.Color);
            Add(TTrendShape::skPolygon,
                {{x1, FH - b}, {x1 + dx, FH - dy - b}, {x1 + dx, FH - dy - t}, {x1, FH - t}}, side, side);
            Add(TTrendShape::skPolygon,
                {{x1, FH - t}, {x1 + dx, FH - dy - t}, {x0 + dx, FH - dy - t}, {x0, FH - t}}, top, top);
            const int n = twin ? v - FSamples.TwinValues()[i] : v;
            if (WantsText(n)) {
                const QSize size = FMeasure(QString::number(n));
                if (twin) {
                    const int d = std::abs(n);
                    const QSize dsize = FMeasure(QString::number(d));
                    Text(d, x0 + FHalf - dsize.width() / 2, FH - t - dsize.height(), false);
                }
                if (rotated)
                    Text(n, x0 + FHalf - size.height() / 2, std::max(size.width(), FH - t - size.width()),
                         true);
                else
                    Text(n, x0 + FHalf - size.width() / 2, FH - t - size.height(), false);
            }
            x0 = x1;
        }
    }

    void Filled() {
        for (int i = 0; i + 1 < FSamples.Divisions(); ++i) {
            const int xa = TrendRound(3 + i * FStep + FStep / 2);
            const int xb = TrendRound(xa + FStep);
            const int ya = Level(FSamples.Values()[i], FH - 6);
            const int yb = Level(FSamples.Values()[i + 1], FH - 6);
            Add(TTrendShape::skPolygon, {{xa, FH - 3}, {xb, FH - 3}, {xb, FH - yb}, {xa, FH - ya}},
                FLook.Color, FLook.Color);
        }
    }

    const TTrendSamples &FSamples;
    const TTrendLook &FLook;
    const TTrendMeasure &FMeasure;
    const int FW;
    const int FH;
    const std::int64_t FRange;
    double FStep = 0;
    int FHalf = 0;
    std::vector<TTrendShape> FShapes;
};

} // namespace

std::vector<TTrendShape> TrendPicture(const TTrendSamples &samples, const TTrendLook &look,
                                      const TTrendMeasure &measure) {
    return TPictureBuilder(samples, look, measure).Build();
}
