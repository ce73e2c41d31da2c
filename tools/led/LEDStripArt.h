#pragma once

// The artwork of the LED strips: seven-segment digits, period, colon and
// minus drawn in the three key colours (white lit, black background, silver
// unlit). An unlit shape is its outline, every second pixel of it, so a dark
// display still shows where the segments are. Used by the generator in tools/
// and by the test that checks the committed strips against it.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

enum TLEDKey : std::uint8_t { lkBlack = 0, lkWhite = 1, lkSilver = 2 };

struct TLEDStrip {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Keys; // row by row, top first

    TLEDKey At(int x, int y) const { return static_cast<TLEDKey>(Keys[std::size_t(y) * Width + x]); }
    void Set(int x, int y, TLEDKey key) { Keys[std::size_t(y) * Width + x] = key; }
};

// The pixels of one shape, inside a cell.
using TLEDShape = std::vector<std::pair<int, int>>;

// Segments a to g: top, upper right, lower right, bottom, lower left, upper left, middle.
struct TLEDGlyphs {
    std::array<TLEDShape, 7> Segments;
    TLEDShape Period;
    TLEDShape ColonTop;
    TLEDShape ColonBottom;
};

namespace ledart {

// How far row (or column) j of a bar t pixels thick is cut back at each end:
// the ends of a bar come to a point, so neighbouring segments stay apart.
inline int Taper(int j, int t) {
    return std::abs(2 * j + 1 - t) / 2;
}

// A bar lying along x: rows [top, top + t), the middle row(s) spanning [from, to).
inline TLEDShape HorizontalBar(int top, int t, int from, int to) {
    TLEDShape shape;
    for (int j = 0; j < t; ++j)
        for (int x = from + Taper(j, t); x < to - Taper(j, t); ++x)
            shape.emplace_back(x, top + j);
    return shape;
}

// A bar standing along y: columns [left, left + t), the middle column(s) spanning [from, to).
inline TLEDShape VerticalBar(int left, int t, int from, int to) {
    TLEDShape shape;
    for (int i = 0; i < t; ++i)
        for (int y = from + Taper(i, t); y < to - Taper(i, t); ++y)
            shape.emplace_back(left + i, y);
    return shape;
}

inline TLEDShape Dot(int left, int top, int size) {
    TLEDShape shape;
    for (int y = top; y < top + size; ++y)
        for (int x = left; x < left + size; ++x)
            shape.emplace_back(x, y);
    return shape;
}

// Every second pixel of the shape's outline, walking round it from its top-left.
inline TLEDShape DottedOutline(const TLEDShape &shape) {
    auto inside = [&shape](int x, int y) {
        return std::find(shape.begin(), shape.end(), std::make_pair(x, y)) != shape.end();
    };
    TLEDShape outline;
    double cx = 0, cy = 0;
    for (const auto &[x, y] : shape) {
        cx += x;
        cy += y;
        if (!inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1))
            outline.emplace_back(x, y);
    }
    if (outline.empty()) return outline;
    cx /= double(shape.size());
    cy /= double(shape.size());
    // Shapes are convex: the angle round the centre orders the outline. The
    // walk starts at the top-left pixel, the same one for every size.
    auto angle = [cx, cy](const std::pair<int, int> &p) {
        const double a = std::atan2(p.second - cy, p.first - cx);
        return a < -M_PI / 2 - 1e-9 ? a + 2 * M_PI : a; // -90° (upward) first, clockwise
    };
    std::stable_sort(outline.begin(), outline.end(), [&](const auto &p, const auto &q) {
        const double a = angle(p), b = angle(q);
        if (std::abs(a - b) > 1e-9) return a < b;
        return std::hypot(p.first - cx, p.second - cy) > std::hypot(q.first - cx, q.second - cy);
    });
    const auto topLeft = std::min_element(outline.begin(), outline.end(), [](const auto &p, const auto &q) {
        return p.second != q.second ? p.second < q.second : p.first < q.first;
    });
    std::rotate(outline.begin(), topLeft, outline.end());
    TLEDShape dotted;
    for (std::size_t i = 0; i < outline.size(); i += 2)
        dotted.push_back(outline[i]);
    return dotted;
}

} // namespace ledart

// The shapes of a w × h cell. Bars are about a fifth of the width thick unless
// `thickness` says otherwise; from 9 pixels wide (13 high) the digit keeps one
// pixel from the sides (top and bottom).
inline TLEDGlyphs LEDGlyphs(int w, int h, int thickness = 0) {
    using namespace ledart;
    const int t = thickness > 0 ? thickness : std::max(1, static_cast<int>(std::lround(w / 5.0)));
    const int mx = w >= 9 ? 1 : 0, my = h >= 13 ? 1 : 0;
    const int L = mx, R = w - mx, T = my, B = h - my;
    const int e = t / 2 + 1;         // how far a bar stays from the corner it points to
    const int mid = (T + B - t) / 2; // top row of the middle bar
    TLEDGlyphs g;
    g.Segments[0] = HorizontalBar(T, t, L + e, R - e);
    g.Segments[1] = VerticalBar(R - t, t, T + e, mid + t - e);
    g.Segments[2] = VerticalBar(R - t, t, mid + e, B - e);
    g.Segments[3] = HorizontalBar(B - t, t, L + e, R - e);
    g.Segments[4] = VerticalBar(L, t, mid + e, B - e);
    g.Segments[5] = VerticalBar(L, t, T + e, mid + t - e);
    g.Segments[6] = HorizontalBar(mid, t, L + e, R - e);
    const int left = (w - t) / 2;
    g.Period = Dot(left, B - t, t);
    g.ColonTop = Dot(left, (T + t + mid) / 2 - t / 2, t);
    g.ColonBottom = Dot(left, (mid + t + B - t) / 2 - t / 2, t);
    return g;
}

// Which segments (bit 0 = a … bit 6 = g) light each digit 0 to 9.
constexpr std::array<std::uint8_t, 10> kLEDDigitSegments = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                                            0x6D, 0x7D, 0x07, 0x7F, 0x6F};

namespace ledart {

inline void Paint(TLEDStrip &strip, int cellLeft, const TLEDShape &shape, TLEDKey key) {
    for (const auto &[x, y] : shape)
        strip.Set(cellLeft + x, y, key);
}

// Each cell: every shape unlit, then the lit ones filled. `lit[c]` lists cell c's lit shapes.
inline TLEDStrip Strip(int w, int h, const std::vector<TLEDShape> &shapes,
                       const std::vector<std::vector<int>> &lit) {
    TLEDStrip strip{w * int(lit.size()), h,
                    std::vector<std::uint8_t>(std::size_t(w) * lit.size() * h, lkBlack)};
    for (std::size_t c = 0; c < lit.size(); ++c) {
        for (const TLEDShape &shape : shapes)
            Paint(strip, int(c) * w, DottedOutline(shape), lkSilver);
        for (int s : lit[c])
            Paint(strip, int(c) * w, shapes[std::size_t(s)], lkWhite);
    }
    return strip;
}

inline std::vector<TLEDShape> SegmentList(const TLEDGlyphs &g) {
    return {g.Segments.begin(), g.Segments.end()};
}

inline std::vector<int> LitSegments(std::uint8_t mask) {
    std::vector<int> lit;
    for (int s = 0; s < 7; ++s)
        if (mask & (1u << s)) lit.push_back(s);
    return lit;
}

} // namespace ledart

// 11 cells: all unlit, then 0 to 9.
inline TLEDStrip LEDDigitStrip(int w, int h) {
    std::vector<std::vector<int>> lit{{}};
    for (std::uint8_t mask : kLEDDigitSegments)
        lit.push_back(ledart::LitSegments(mask));
    return ledart::Strip(w, h, ledart::SegmentList(LEDGlyphs(w, h)), lit);
}

// 4 cells: all unlit, period, colon, minus.
inline TLEDStrip LEDSignStrip(int w, int h) {
    const TLEDGlyphs g = LEDGlyphs(w, h);
    return ledart::Strip(w, h, {g.Period, g.ColonTop, g.ColonBottom, g.Segments[6]}, {{}, {0}, {1, 2}, {3}});
}

// The mode strip: twelve 9 × 11 cells of seven-segment letters for mode
// read-outs: all unlit, then A b C d E F H L P U r; thin bars, as the cells are low.
inline TLEDStrip LEDModeStrip() {
    constexpr std::array<std::uint8_t, 11> letters = {0x77, 0x7C, 0x39, 0x5E, 0x79, 0x71,
                                                      0x76, 0x38, 0x73, 0x3E, 0x50};
    std::vector<std::vector<int>> lit{{}};
    for (std::uint8_t mask : letters)
        lit.push_back(ledart::LitSegments(mask));
    return ledart::Strip(9, 11, ledart::SegmentList(LEDGlyphs(9, 11, 1)), lit);
}
