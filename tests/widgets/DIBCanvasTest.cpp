#include "widgets/MMDIBCanvas.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// The canvas as a picture of characters: '#' where `color` is, '.' elsewhere.
std::string Picture(TMMDIBCanvas &c, TColor color) {
    std::string s;
    for (int y = 0; y < c.Height(); ++y) {
        for (int x = 0; x < c.Width(); ++x)
            s += c.PixelColor(x, y) == color ? '#' : '.';
        s += '\n';
    }
    return s;
}

struct Drawing {
    explicit Drawing(TMMDIBCanvas &c) : canvas(c) { canvas.BeginDrawing(); }
    ~Drawing() { canvas.EndDrawing(); }
    TMMDIBCanvas &canvas;
};

class DIBCanvasTest : public ::testing::TestWithParam<int> {
  protected:
    // A w × h canvas of the parameter's depth, cleared to black.
    void Make(int w, int h) {
        canvas.SetBitsPerPixel(GetParam());
        canvas.Resize(w, h);
        Drawing d(canvas);
        canvas.SetColor(clBlack);
        canvas.Clear();
    }
    TMMDIBCanvas canvas;
};

} // namespace

TEST(DIBCanvas, RowStrideIsRoundedUpToWholeWords) {
    EXPECT_EQ(TMMDIBCanvas::RowStride(1, 24), 4);
    EXPECT_EQ(TMMDIBCanvas::RowStride(4, 24), 12);
    EXPECT_EQ(TMMDIBCanvas::RowStride(5, 24), 16);
    EXPECT_EQ(TMMDIBCanvas::RowStride(5, 8), 8);
    EXPECT_EQ(TMMDIBCanvas::RowStride(8, 8), 8);
}

TEST(DIBCanvas, UnsupportedDepthIsRefusedAndTheOldOneKept) {
    TMMDIBCanvas c;
    c.SetBitsPerPixel(8);
    try {
        c.SetBitsPerPixel(16);
        FAIL() << "16 bits accepted";
    } catch (const EMMDIBError &e) {
        EXPECT_STREQ(e.what(), "Bitlength not supported yet");
    }
    EXPECT_EQ(c.BitsPerPixel(), 8);
    EXPECT_THROW(c.SetBitsPerPixel(32), EMMDIBError);
    EXPECT_EQ(c.BitsPerPixel(), 8);
}

TEST(DIBCanvas, SizesBelowOneAreRaisedAndMemoryFollowsTheSize) {
    TMMDIBCanvas c;
    c.Resize(0, -5);
    EXPECT_EQ(c.Width(), 1);
    EXPECT_EQ(c.Height(), 1);
    c.Resize(7, 3);
    const TMMDIBPixels p = c.Pixels();
    EXPECT_EQ(p.Width, 7);
    EXPECT_EQ(p.Stride, 24);
    // The last byte of the last row is ours to write.
    p.Bits[p.Stride * p.Height - 1] = 0xAB;
}

TEST(DIBCanvas, NewBufferInsideTheBracketIsRefused) {
    TMMDIBCanvas c;
    c.Resize(4, 4);
    c.BeginDrawing();
    try {
        c.Resize(8, 8);
        FAIL() << "resized while drawing";
    } catch (const EMMDIBError &e) {
        EXPECT_STREQ(e.what(), "TMMDIBCanvas: Attempt to create new DIB while initialized for drawing");
    }
    EXPECT_THROW(c.SetBitsPerPixel(8), EMMDIBError);
    c.EndDrawing();
    EXPECT_EQ(c.Width(), 4);
    EXPECT_EQ(c.BitsPerPixel(), 24);
    c.Resize(8, 8); // fine again after the bracket
    EXPECT_EQ(c.Width(), 8);
}

TEST(DIBCanvas, BufferTooLargeForMemoryIsAClearError) {
    TMMDIBCanvas c;
    c.Resize(200000, 200000);
    try {
        c.BeginDrawing();
        c.EndDrawing();
        FAIL() << "a 120 GB buffer was made";
    } catch (const EMMDIBError &e) {
        EXPECT_STREQ(e.what(), "Unable to access DIB device context");
    }
    // The failed bracket left no lock behind: another thread can still draw.
    std::thread other([] {
        TMMDIBCanvas d;
        d.BeginDrawing();
        d.EndDrawing();
    });
    other.join();
}

TEST(DIBCanvas, PixelRoutinesNeedTheBracket) {
    TMMDIBCanvas c;
    EXPECT_THROW(c.SetColor(clRed), EMMDIBError);
    EXPECT_THROW(c.FillRect(Rect(0, 0, 1, 1)), EMMDIBError);
    EXPECT_THROW(c.LineTo(1, 1), EMMDIBError);
}

TEST(DIBCanvas, NestedBracketsRestoreTheOuterTarget) {
    TMMDIBCanvas outer, inner;
    int changes = 0;
    outer.SetOnChange([&](TMMDIBCanvas *) { ++changes; });
    outer.BeginDrawing();
    inner.BeginDrawing();
    EXPECT_FALSE(outer.InDrawing());
    EXPECT_TRUE(inner.InDrawing());
    inner.EndDrawing();
    EXPECT_TRUE(outer.InDrawing());
    outer.SetColor(clRed); // still a valid target
    EXPECT_EQ(changes, 0);
    outer.EndDrawing();
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(outer.InDrawing());
}

TEST(DIBCanvas, TheDrawingLockSerialisesThreads) {
    TMMDIBCanvas a, b;
    a.BeginDrawing();
    bool otherInside = false;
    std::thread other([&] {
        b.BeginDrawing();
        otherInside = true;
        b.EndDrawing();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(otherInside) << "two canvases were drawn at once";
    a.EndDrawing();
    other.join();
    EXPECT_TRUE(otherInside);
}

TEST_P(DIBCanvasTest, DottedFillStartsAtTheRectanglesTopLeftPixel) {
    Make(8, 6);
    {
        Drawing d(canvas);
        canvas.SetColor(clLime);
        canvas.FillRect(Rect(1, 1, 6, 5), true);
    }
    EXPECT_EQ(Picture(canvas, clLime), "........\n"
                                       ".#.#.#..\n"
                                       "........\n"
                                       ".#.#.#..\n"
                                       "........\n"
                                       "........\n");
}

TEST_P(DIBCanvasTest, ClippedDottedFillKeepsItsPattern) {
    Make(6, 5);
    {
        Drawing d(canvas);
        canvas.SetColor(clLime);
        // Starts one pixel outside at the left and the top.
        canvas.FillRect(Rect(-1, -1, 4, 4), true);
    }
    // Dots fall on -1, 1, 3 in both directions.
    EXPECT_EQ(Picture(canvas, clLime), "......\n"
                                       ".#.#..\n"
                                       "......\n"
                                       ".#.#..\n"
                                       "......\n");
}

TEST_P(DIBCanvasTest, SolidFillIsClippedAtEveryEdge) {
    Make(5, 4);
    {
        Drawing d(canvas);
        canvas.SetColor(clRed);
        canvas.FillRect(Rect(-3, 2, 2, 10)); // left and bottom
        canvas.FillRect(Rect(4, -2, 99, 1)); // right and top
        canvas.FillRect(Rect(6, 0, 9, 4));   // wholly outside
        canvas.FillRect(Rect(3, 3, 2, 4));   // inside out: nothing
    }
    EXPECT_EQ(Picture(canvas, clRed), "....#\n"
                                      ".....\n"
                                      "##...\n"
                                      "##...\n");
}

TEST_P(DIBCanvasTest, LinesAreClippedAndMoveThePen) {
    Make(6, 5);
    {
        Drawing d(canvas);
        canvas.SetColor(clYellow);
        canvas.MoveTo(-2, -2);
        canvas.LineTo(8, 8); // diagonal through the whole buffer
        canvas.MoveTo(100000000, 4);
        canvas.LineTo(-100000000, 4); // far outside on both ends, fast
    }
    EXPECT_EQ(Picture(canvas, clYellow), "#.....\n"
                                         ".#....\n"
                                         "..#...\n"
                                         "...#..\n"
                                         "######\n");
}

TEST_P(DIBCanvasTest, SteepLineAndSinglePoint) {
    Make(4, 5);
    {
        Drawing d(canvas);
        canvas.SetColor(clWhite);
        canvas.MoveTo(0, 0);
        canvas.LineTo(2, 4);
        canvas.LineTo(2, 4); // zero length: the point itself
        canvas.MoveTo(3, 0);
        canvas.LineTo(3, 0);
    }
    EXPECT_EQ(Picture(canvas, clWhite), "#..#\n"
                                        ".#..\n"
                                        ".#..\n"
                                        "..#.\n"
                                        "..#.\n");
}

TEST_P(DIBCanvasTest, SpacedLinesStepFromTheirStartAndClip) {
    Make(7, 4);
    {
        Drawing d(canvas);
        canvas.SetColor(clAqua);
        canvas.HLine(-3, 20, 0, 2); // -3, -1, 1, 3, 5
        canvas.HLine(5, 2, 1, 1);   // reversed ends, solid
        canvas.VLine(6, -1, 3, 3);  // -1, 2
        canvas.HLine(0, 6, 9, 1);   // row outside
        canvas.VLine(0, 2, 3, 0);   // step below 1 is solid
    }
    EXPECT_EQ(Picture(canvas, clAqua), ".#.#.#.\n"
                                       "..####.\n"
                                       "#.....#\n"
                                       "#......\n");
}

TEST_P(DIBCanvasTest, CopyRectClipsToBothBuffersAndHandlesOverlap) {
    Make(5, 5);
    {
        Drawing d(canvas);
        canvas.SetColor(clRed);
        canvas.FillRect(Rect(0, 0, 5, 1));
        // Scroll everything two rows down within the buffer.
        canvas.CopyRect(canvas.Pixels(), Rect(0, 0, 5, 3), 0, 2);
        // Source rectangle reaching outside the source, target beyond the right edge.
        canvas.SetColor(clBlue);
        canvas.FillRect(Rect(0, 4, 1, 5));
        canvas.CopyRect(canvas.Pixels(), Rect(-2, 4, 2, 5), 2, 0);
    }
    EXPECT_EQ(Picture(canvas, clRed), "####.\n"
                                      ".....\n"
                                      "#####\n"
                                      ".....\n"
                                      ".....\n");
    EXPECT_EQ(canvas.PixelColor(4, 0), clBlue);
}

TEST_P(DIBCanvasTest, CopyFromNeedsAnEqualBuffer) {
    Make(3, 2);
    TMMDIBCanvas source;
    source.SetBitsPerPixel(GetParam());
    source.Resize(3, 2);
    source.BeginDrawing();
    source.SetColor(clFuchsia);
    source.Clear();
    source.EndDrawing();
    {
        Drawing d(canvas);
        canvas.CopyFrom(source);
    }
    EXPECT_EQ(Picture(canvas, clFuchsia), "###\n###\n");
    source.Resize(4, 2);
    Drawing d(canvas);
    EXPECT_THROW(canvas.CopyFrom(source), EMMDIBError);
}

TEST_P(DIBCanvasTest, BackgroundBitmapIsStretchedOrTiled) {
    Make(4, 2);
    QImage bitmap(2, 1, QImage::Format_RGB32);
    bitmap.setPixel(0, 0, qRgb(255, 0, 0));
    bitmap.setPixel(1, 0, qRgb(0, 0, 255));
    canvas.SetBackGroundBitmap(bitmap);
    canvas.SetStretchBackGround(false);
    {
        Drawing d(canvas);
        canvas.DrawBackGround(clLime);
    }
    EXPECT_EQ(Picture(canvas, clRed), "#.#.\n#.#.\n");
    canvas.SetStretchBackGround(true);
    {
        Drawing d(canvas);
        canvas.DrawBackGround(clLime);
    }
    EXPECT_EQ(Picture(canvas, clRed), "##..\n##..\n");
    canvas.SetBackGroundBitmap(QImage());
    {
        Drawing d(canvas);
        canvas.DrawBackGround(clLime);
    }
    EXPECT_EQ(Picture(canvas, clLime), "####\n####\n");
}

TEST_P(DIBCanvasTest, PainterDrawsIntoTheBuffer) {
    Make(6, 4);
    canvas.Paint([](QPainter &p) { p.fillRect(QRect(1, 1, 2, 2), QColor(255, 0, 0)); });
    EXPECT_EQ(Picture(canvas, clRed), "......\n"
                                      ".##...\n"
                                      ".##...\n"
                                      "......\n");
}

TEST_P(DIBCanvasTest, PartCopiedToTheDeviceLandsInItsOwnPlace) {
    Make(8, 6);
    {
        Drawing d(canvas);
        canvas.SetColor(clRed);
        canvas.FillRect(Rect(2, 1, 5, 4));
    }
    QImage device(20, 20, QImage::Format_RGB32);
    device.fill(Qt::white);
    {
        QPainter p(&device);
        // Reaches past the buffer's right edge: clipped to it.
        canvas.CopyToDevice(p, 10, 10, Rect(3, 2, 12, 5));
    }
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool copied = x >= 13 && x < 18 && y >= 12 && y < 15;
            const bool red = x >= 13 && x < 15 && y >= 12 && y < 14;
            const QRgb want = !copied ? qRgb(255, 255, 255) : red ? qRgb(255, 0, 0) : qRgb(0, 0, 0);
            ASSERT_EQ(device.pixel(x, y), want) << "at " << x << "," << y;
        }
}

// Every channel of every pixel keeps its place through the copy, whatever the part's
// offset and width (the copy takes pixels four at a time, then one by one).
TEST_P(DIBCanvasTest, EveryChannelReachesTheDeviceUnswapped) {
    if (GetParam() != 24) GTEST_SKIP() << "palette colours are tested above";
    Make(11, 1);
    auto colourAt = [](int x) { return qRgb(20 * x + 3, 255 - 15 * x, 7 * x + 100); };
    {
        Drawing d(canvas);
        for (int x = 0; x < 11; ++x) {
            const QRgb c = colourAt(x);
            canvas.SetColor(TColor(qRed(c) | qGreen(c) << 8 | qBlue(c) << 16));
            canvas.SetPixel(x, 0);
        }
    }
    QImage device(11, 1, QImage::Format_RGB32);
    device.fill(Qt::white);
    {
        QPainter p(&device);
        canvas.CopyToDevice(p, 0, 0, Rect(1, 0, 10, 1));
    }
    EXPECT_EQ(device.pixel(0, 0), qRgb(255, 255, 255));
    for (int x = 1; x < 10; ++x)
        EXPECT_EQ(device.pixel(x, 0), colourAt(x)) << "at " << x;
}

INSTANTIATE_TEST_SUITE_P(Depths, DIBCanvasTest, ::testing::Values(24, 8),
                         [](const auto &info) { return std::to_string(info.param) + "bit"; });

TEST(DIBCanvas, EightBitsStoreTheNearestPaletteIndex) {
    TMMDIBCanvas c;
    c.SetBitsPerPixel(8);
    c.Resize(4, 1);
    c.BeginDrawing();
    c.SetColor(clGreen);
    c.Clear();
    c.EndDrawing();
    const std::uint8_t index = c.Bits()[3];
    EXPECT_EQ(c.Palette()[index] & 0xFFFFFF, qRgb(0, 128, 0) & 0xFFFFFF);
    EXPECT_EQ(c.PixelColor(0, 0), clGreen);
}

TEST(DIBCanvas, TwentyFourBitPixelsAreBlueGreenRed) {
    TMMDIBCanvas c;
    c.Resize(2, 1);
    c.BeginDrawing();
    c.SetColor(0x123456); // 0x00BBGGRR
    c.SetPixel(1, 0);
    c.SetPixel(5, 5); // outside: ignored
    c.EndDrawing();
    const std::uint8_t *p = c.Bits() + 3;
    EXPECT_EQ(p[0], 0x12);
    EXPECT_EQ(p[1], 0x34);
    EXPECT_EQ(p[2], 0x56);
}

// Text through a painter on an 8-bit buffer: every pixel the painter changed
// holds the palette's nearest index of the painted colour, the others keep
// their index, also when the colours come again from the look-up cache.
TEST(DIBCanvas, EightBitPainterStoresTheNearestIndexOfEveryPaintedColour) {
    TMMDIBCanvas c;
    c.SetBitsPerPixel(8);
    c.Resize(120, 40);
    c.BeginDrawing();
    c.SetColor(clCream);
    c.Clear();
    c.EndDrawing();
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(13);
    const QColor inks[] = {QColor(20, 40, 160), QColor(200, 90, 30), QColor(20, 40, 160)};
    for (const QColor &ink : inks) {
        const auto draw = [&](QPainter &p) {
            p.setRenderHint(QPainter::Antialiasing);
            p.setFont(font);
            p.setPen(ink);
            p.drawText(2, 16, QStringLiteral("-20 -10 -7 -5 0 +3 VU"));
            p.drawLine(0, 39, 119, 20);
        };
        const std::vector<std::uint8_t> before(c.Bits(), c.Bits() + c.Stride() * c.Height());
        QImage painted = c.Image().convertToFormat(QImage::Format_RGB32);
        {
            QPainter p(&painted);
            draw(p);
        }
        c.Paint(draw);
        int changed = 0;
        for (int y = 0; y < c.Height(); ++y)
            for (int x = 0; x < c.Width(); ++x) {
                const QRgb rgb = painted.pixel(x, y) & 0xFFFFFF;
                const std::uint8_t old = before[std::size_t(y) * c.Stride() + x];
                const std::uint8_t want =
                    (c.Palette()[old] & 0xFFFFFF) == rgb
                        ? old
                        : TMMDIBCanvas::NearestIndex(qRed(rgb) | (qGreen(rgb) << 8) | (qBlue(rgb) << 16));
                changed += want != old;
                ASSERT_EQ(c.Bits()[std::size_t(y) * c.Stride() + x], want) << "at " << x << "," << y;
            }
        EXPECT_GT(changed, 50) << "nothing drawn";
    }
}
