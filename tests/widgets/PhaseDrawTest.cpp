#include "widgets/MMPhaseDraw.h"

#include <gtest/gtest.h>

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

TEST_F(PhaseDrawTest, OscilloFullScaleRightSitsOneRadiusRightOfCentreAtEitherDepth) {
    for (int bits : {24, 8}) {
        Draw(100, 100, QRect(10, 10, 80, 80), pmOscillo, {40, 40, 30, 20}, {0}, {32767}, bits);
        EXPECT_EQ(Dots(), (std::vector<std::pair<int, int>>{{80, 50}})) << bits << " bits";
    }
}

TEST_F(PhaseDrawTest, NothingIsDrawnOutsideTheArea) {
    // A full-scale anti-phase dot lands 28 px left of the centre, beyond the area; a quiet one stays in.
    Draw(60, 60, QRect(20, 20, 20, 20), pmStereo, {10, 10, 20, 20}, {32767, 3000}, {-32768, 0});
    EXPECT_EQ(Dots(), (std::vector<std::pair<int, int>>{{29, 29}}));
}

TEST_F(PhaseDrawTest, DrawingOutsideTheBracketIsRefused) {
    canvas.Resize(10, 10);
    const std::int16_t v = 0;
    EXPECT_THROW(
        DrawPhasePicture(canvas, QRect(0, 0, 10, 10), pmStereo, {5, 5, 5, 5}, kDot, kAxis, &v, &v, 1),
        EMMDIBError);
}
