#include "tools/led/LEDStripArt.h"
#include "widgets/MMDigitCache.h"
#include "widgets/MMLEDLaws.h"

#include <QImage>
#include <gtest/gtest.h>
#include <set>

namespace {

// The key of a pixel of a compiled-in strip; -1 for any other colour.
int KeyOf(QRgb p) {
    switch (p & 0xFFFFFF) {
    case 0x000000:
        return lkBlack;
    case 0xFFFFFF:
        return lkWhite;
    case 0xC0C0C0:
        return lkSilver;
    default:
        return -1;
    }
}

struct TStripCase {
    std::string Name;
    QSize Size;
    int Cells;
    TLEDStrip Art;
};

std::vector<TStripCase> AllStrips() {
    std::vector<TStripCase> cases;
    for (int s = 0; s < kMMLEDSizeCount; ++s) {
        const auto size = TMMLEDSize(s);
        const QSize cell = MMLEDCellSize(size);
        cases.push_back({MMLEDStripName(size, false), MMLEDStripSize(size, false), kMMDigitCells,
                         LEDDigitStrip(cell.width(), cell.height())});
        cases.push_back({MMLEDStripName(size, true), MMLEDStripSize(size, true), kMMSignCells,
                         LEDSignStrip(cell.width(), cell.height())});
    }
    cases.push_back({"LCD_MODE", QSize(108, 11), 12, LEDModeStrip()});
    return cases;
}

// Lit pixels of one cell, as a set of positions inside the cell.
std::set<std::pair<int, int>> LitPixels(const QImage &strip, int cell, int cw) {
    std::set<std::pair<int, int>> lit;
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < cw; ++x)
            if (KeyOf(strip.pixel(cell * cw + x, y)) == lkWhite) lit.emplace(x, y);
    return lit;
}

} // namespace

// Every strip is compiled in at its table size, 16 colours, only key colours,
// and exactly what the generator draws now (so the committed files are not stale).
TEST(LEDStrips, CompiledInAtTableSizesAndEqualToTheGenerator) {
    for (const TStripCase &c : AllStrips()) {
        SCOPED_TRACE(c.Name);
        const QImage strip = TDigitCache::LoadResource(c.Name);
        ASSERT_FALSE(strip.isNull());
        EXPECT_EQ(strip.size(), c.Size);
        EXPECT_LE(strip.colorCount(), 16);
        EXPECT_EQ(strip.width() % c.Cells, 0);
        ASSERT_EQ(QSize(c.Art.Width, c.Art.Height), c.Size);
        int mismatches = 0;
        for (int y = 0; y < strip.height(); ++y)
            for (int x = 0; x < strip.width(); ++x)
                mismatches += KeyOf(strip.pixel(x, y)) != c.Art.At(x, y);
        EXPECT_EQ(mismatches, 0) << "regenerate with tools/make-led-strips.sh";
    }
}

// Cell 0 is all unlit; every other cell is cell 0 with some shapes lit
// (white) over it, so lit and unlit segments sit at the same places.
TEST(LEDStrips, CellsAreTheUnlitCellWithShapesLit) {
    for (const TStripCase &c : AllStrips()) {
        SCOPED_TRACE(c.Name);
        const TLEDStrip &art = c.Art;
        const int cw = art.Width / c.Cells;
        int silver = 0;
        for (int y = 0; y < art.Height; ++y)
            for (int x = 0; x < cw; ++x) {
                EXPECT_NE(art.At(x, y), lkWhite);
                silver += art.At(x, y) == lkSilver;
            }
        EXPECT_GT(silver, 0) << "the unlit cell must show the segments' outlines";
        std::set<std::set<std::pair<int, int>>> patterns;
        for (int cell = 1; cell < c.Cells; ++cell) {
            std::set<std::pair<int, int>> lit;
            for (int y = 0; y < art.Height; ++y)
                for (int x = 0; x < cw; ++x) {
                    const TLEDKey k = art.At(cell * cw + x, y);
                    if (k == lkWhite)
                        lit.emplace(x, y);
                    else
                        EXPECT_EQ(k, art.At(x, y)) << "cell " << cell << " at " << x << "," << y;
                }
            EXPECT_FALSE(lit.empty()) << "cell " << cell;
            patterns.insert(lit);
        }
        EXPECT_EQ(int(patterns.size()), c.Cells - 1) << "two cells look alike";
    }
}

// Each digit cell lights exactly its digit's segments, at every size: the
// middle pixel of every segment is white when lit and not when unlit.
TEST(LEDStrips, DigitsLightTheirSevenSegments) {
    // Segments a..g: top, upper right, lower right, bottom, lower left, upper left, middle.
    const char *lit[10] = {"abcdef", "bc",     "abdeg", "abcdg",   "bcfg",
                           "acdfg",  "acdefg", "abc",   "abcdefg", "abcdfg"};
    for (int s = 0; s < kMMLEDSizeCount; ++s) {
        const auto size = TMMLEDSize(s);
        SCOPED_TRACE(MMLEDStripName(size, false));
        const QSize cell = MMLEDCellSize(size);
        const QImage strip = TDigitCache::LoadResource(MMLEDStripName(size, false));
        const TLEDGlyphs glyphs = LEDGlyphs(cell.width(), cell.height());
        for (int d = 0; d <= 9; ++d)
            for (int seg = 0; seg < 7; ++seg) {
                const TLEDShape &shape = glyphs.Segments[seg];
                ASSERT_FALSE(shape.empty());
                const auto [x, y] = shape[shape.size() / 2];
                const bool on = std::string(lit[d]).find(char('a' + seg)) != std::string::npos;
                EXPECT_EQ(KeyOf(strip.pixel((d + 1) * cell.width() + x, y)) == lkWhite, on)
                    << "digit " << d << " segment " << char('a' + seg);
            }
        // Segments never touch along an edge, so unlit gaps separate them.
        for (int a = 0; a < 7; ++a)
            for (int b = a + 1; b < 7; ++b)
                for (const auto &[x, y] : glyphs.Segments[a])
                    for (const auto &[u, v] : glyphs.Segments[b])
                        EXPECT_GT(std::abs(x - u) + std::abs(y - v), 1) << char('a' + a) << char('a' + b);
    }
}

// Signs: period low, colon as two dots, minus in the middle row of the digits.
TEST(LEDStrips, SignsSitWhereTheDigitsPutThem) {
    for (int s = 0; s < kMMLEDSizeCount; ++s) {
        const auto size = TMMLEDSize(s);
        SCOPED_TRACE(MMLEDStripName(size, true));
        const int cw = MMLEDCellSize(size).width(), ch = MMLEDCellSize(size).height();
        const QImage signs = TDigitCache::LoadResource(MMLEDStripName(size, true));
        const QImage digits = TDigitCache::LoadResource(MMLEDStripName(size, false));
        const auto period = LitPixels(signs, 1, cw), colon = LitPixels(signs, 2, cw),
                   minus = LitPixels(signs, 3, cw);
        for (const auto &[x, y] : period)
            EXPECT_GE(y, ch * 2 / 3);
        int upper = 0, lower = 0;
        for (const auto &[x, y] : colon)
            (y < ch / 2 ? upper : lower) += 1;
        EXPECT_GT(upper, 0);
        EXPECT_EQ(upper, lower);
        // Minus = the lit pixels "8" has and "0" has not.
        std::set<std::pair<int, int>> middle;
        const auto eight = LitPixels(digits, 9, cw), zero = LitPixels(digits, 1, cw);
        std::set_difference(eight.begin(), eight.end(), zero.begin(), zero.end(),
                            std::inserter(middle, middle.begin()));
        EXPECT_EQ(minus, middle);
    }
}
