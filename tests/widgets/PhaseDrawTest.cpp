#include "widgets/MMPhaseDraw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr TColor kBack = clBlack, kDot = clLime, kAxis = clSilver;

struct Drawing {
    explicit Drawing(TMMDIBCanvas &c) : canvas(c) { canvas.BeginDrawing(); }
    ~Drawing() { canvas.EndDrawing(); }
    TMMDIBCanvas &canvas;
};

class PhaseDrawTest : public ::testing::Test {
  protected:
    // A w x h canvas cleared to the background; the picture then drawn in `area`.
    void Draw(int w, int h, const QRect &area, TPhaseMode mode, const TPhaseGeometry &g,
              const std::vector<std::int16_t> &left, const std::vector<std::int16_t> &right, int bits = 24) {
        canvas.SetBitsPerPixel(bits);
        canvas.Resize(w, h);
        Drawing d(canvas);
        canvas.SetColor(kBack);
        canvas.Clear();
        DrawPhasePicture(canvas, area, mode, g, kDot, kAxis, left.data(), right.data(),
                         static_cast<int>(left.size()));
    }
    // '#' dot colour, '+' axis colour, '.' background, '?' anything else.
    std::string Picture() {
        std::string s;
        for (int y = 0; y < canvas.Height(); ++y) {
            for (int x = 0; x < canvas.Width(); ++x) {
                const TColor c = canvas.PixelColor(x, y);
                s += c == kDot ? '#' : c == kAxis ? '+' : c == kBack ? '.' : '?';
            }
            s += '\n';
        }
        return s;
    }
    // Every dot-coloured pixel, as (x, y).
    std::vector<std::pair<int, int>> Dots() {
        std::vector<std::pair<int, int>> dots;
        for (int y = 0; y < canvas.Height(); ++y)
            for (int x = 0; x < canvas.Width(); ++x)
                if (canvas.PixelColor(x, y) == kDot) dots.emplace_back(x, y);
        return dots;
    }
    static std::vector<std::int16_t> Sine(double amplitude, int n = 1024) {
        std::vector<std::int16_t> v(n);
        for (int i = 0; i < n; ++i)
            v[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(i * 0.0731)));
        return v;
    }
    TMMDIBCanvas canvas;
};

} // namespace

TEST_F(PhaseDrawTest, AxesAreCountedFromTheAreaEdgesAndDrawnOverTheDots) {
    const std::vector<std::int16_t> silence(16, 0);
    // pmStereo: diagonals every 8 pixels out to the bottom edge, axes every 4th; the silent
    // centre dot is covered.
    Draw(15, 15, QRect(1, 1, 13, 13), pmStereo, {4, 4, 4, 4}, silence, silence);
    EXPECT_EQ(Picture(), "...............\n"
                         ".....+.........\n"
                         "...............\n"
                         "...............\n"
                         "...............\n"
                         ".+...+...+...+.\n"
                         "...............\n"
                         "...............\n"
                         "...............\n"
                         ".....+.........\n"
                         "...............\n"
                         "...............\n"
                         "...............\n"
                         ".....+.......+.\n"
                         "...............\n");
    // pmOscillo: no diagonals, every 3rd pixel; the centre is off the dot grid here and stays visible.
    Draw(9, 9, QRect(0, 0, 9, 9), pmOscillo, {4, 4, 4, 4}, silence, silence);
    EXPECT_EQ(Picture(), "....+....\n"
                         ".........\n"
                         ".........\n"
                         "....+....\n"
                         "+..+#.+..\n"
                         ".........\n"
                         "....+....\n"
                         ".........\n"
                         ".........\n");
}

TEST_F(PhaseDrawTest, StereoShapesFollowTheChannelRelation) {
    const TPhaseGeometry g{100, 100, 100, 100};
    const QRect area(0, 0, 201, 201);
    const auto s = Sine(30000);
    std::vector<std::int16_t> inverted(s.size()), zero(s.size(), 0);
    for (std::size_t i = 0; i < s.size(); ++i)
        inverted[i] = static_cast<std::int16_t>(-s[i]);

    Draw(201, 201, area, pmStereo, g, s, s);
    auto dots = Dots();
    EXPECT_GT(dots.size(), 50u);
    for (auto [x, y] : dots)
        EXPECT_EQ(x, 100) << "mono dot off the vertical at " << x << "," << y;

    Draw(201, 201, area, pmStereo, g, s, inverted);
    dots = Dots();
    EXPECT_GT(dots.size(), 50u);
    for (auto [x, y] : dots)
        EXPECT_EQ(y, 100) << "anti-phase dot off the horizontal at " << x << "," << y;

    Draw(201, 201, area, pmStereo, g, s, zero);
    dots = Dots();
    EXPECT_GT(dots.size(), 30u);
    bool upLeft = false;
    for (auto [x, y] : dots) {
        EXPECT_EQ(x - 100, y - 100) << "left-only dot off the diagonal at " << x << "," << y;
        upLeft |= x < 100;
    }
    EXPECT_TRUE(upLeft); // a positive left sample goes up and to the left
}

TEST_F(PhaseDrawTest, OscilloFullScaleRightSitsOneRadiusRightOfCentreAtEitherDepth) {
    for (int bits : {24, 8}) {
        Draw(100, 100, QRect(10, 10, 80, 80), pmOscillo, {40, 40, 30, 20}, {0}, {32767}, bits);
        EXPECT_EQ(Dots(), (std::vector<std::pair<int, int>>{{80, 50}})) << bits << " bits";
    }
}

TEST_F(PhaseDrawTest, NothingIsDrawnOutsideTheArea) {
    // Radius factor 2: loud dots leave the area; the axes stop at its edges.
    const auto s = Sine(32767), c = Sine(-32767);
    Draw(60, 60, QRect(20, 20, 20, 20), pmStereo, {10, 10, 20, 20}, s, c);
    const std::string pic = Picture();
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
            const bool outside = x < 20 || x >= 40 || y < 20 || y >= 40;
            if (outside) {
                ASSERT_EQ(pic[y * 61 + x], '.') << x << "," << y;
            }
        }
    EXPECT_NE(pic.find('#'), std::string::npos);
}

TEST_F(PhaseDrawTest, DrawingOutsideTheBracketIsRefused) {
    canvas.Resize(10, 10);
    const std::int16_t v = 0;
    EXPECT_THROW(
        DrawPhasePicture(canvas, QRect(0, 0, 10, 10), pmStereo, {5, 5, 5, 5}, kDot, kAxis, &v, &v, 1),
        EMMDIBError);
}
