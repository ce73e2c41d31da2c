// The PEAK bars read on their standard's own scale: on the meter panel the line-up tone's bar
// top stands on the row of the scale's alignment mark.

#include "AppTestSupport.h"

#include "app/Forms.h"
#include "app/MeterPnl.h"

#include <QApplication>
#include <QFontMetrics>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Two seconds of a 1 kHz sine at `dbfs` on both channels through a bar, 50 frames a block.
void LineUp(TMMLevel *bar, double dbfs) {
    const double amplitude = 32767.0 * std::pow(10.0, dbfs / 20.0);
    std::vector<std::int16_t> block(100);
    for (int n = 0; n < 96000; n += 50) {
        for (int i = 0; i < 50; ++i) {
            const auto v = static_cast<std::int16_t>(
                std::lround(amplitude * std::sin(2 * M_PI * 1000.0 * (n + i) / 48000.0)));
            block[2 * static_cast<std::size_t>(i)] = v;
            block[2 * static_cast<std::size_t>(i) + 1] = v;
        }
        bar->ProcessBlock(block.data());
    }
}

// The panel row of the bar's topmost lit pixel, -1 when none is lit.
int BarTopRow(TMMLevel *bar) {
    TMMDIBCanvas &canvas = bar->DIBCanvas();
    const int x = canvas.Width() / 2;
    for (int y = 0; y < canvas.Height(); ++y) {
        const TColor c = canvas.PixelColor(x, y);
        if (c == bar->Bar1Color() || c == bar->Bar2Color() || c == bar->Bar3Color())
            return bar->y() + bar->InnerRect().Top + y;
    }
    return -1;
}

// The panel row of the strip's alignment tick as painted: of the rows with a tick at the strip's
// left edge, the one nearest the alignment mark's text, or the longest tick where the mark
// has no text; -1 when none is painted.
int AlignmentTickRow(TMMLevelScale *strip) {
    const QImage picture = strip->grab().toImage();
    const QColor background = ToQColor(strip->Color());
    std::string text;
    for (const TMMScaleMark &m : ScaleMarks(strip->StandardScale()))
        if (m.Alignment) text = m.Text;
    int centre = -1;
    for (const TMMScaleLabel &label : strip->Layout().Labels)
        if (!text.empty() && label.Text == text)
            centre = label.Top + QFontMetrics(strip->font()).height() / 2;
    int best = -1, reach = 0;
    for (int y = 0; y < picture.height(); ++y) {
        int x = 0;
        while (x < picture.width() / 2 && picture.pixelColor(x, y) != background)
            ++x;
        if (x == 0) continue;
        const bool better =
            centre >= 0 ? best < 0 || std::abs(y - centre) < std::abs(best - centre) : x > reach;
        if (better) reach = x, best = y;
    }
    return best < 0 ? -1 : strip->y() + best;
}

} // namespace

// Per scale family, at two alignments: the line-up tone lifts the bar's top to the row of
// the alignment mark's tick as both are painted, within a pixel; the read-out keeps dBFS.
TEST(BarScales, TheLineUpToneReachesTheAlignmentMark) {
    // The K-System's "alignment" is its 0, at -20, -14 or -12 dBFS: a tone there reads 0.
    for (const char *standard : {"BBC", "EBU", "Nordic", "DIN", "K-20", "K-14", "K-12"})
        for (int align : {-18, -20}) {
            const QByteArray name(standard);
            const int tone = name == "K-20" ? -20 : (name == "K-14" ? -14 : (name == "K-12" ? -12 : align));
            SCOPED_TRACE(std::string(standard) + " " + std::to_string(align));
            TPanelConsole console(QByteArray("[Standards]\nScale=Standard\nPeakBars=") + standard +
                                  "\nAlignDbfs=" + QByteArray::number(align) + "\n");
            console.Meter.show();
            ASSERT_TRUE(WaitFor([&] { return console.Meter.windowHandle()->isExposed(); }, 5000));
            QApplication::processEvents();
            TMMLevel *bar = console.Meter.MMLevel1;
            ASSERT_NE(bar->ScaleLaw().Family, sfDbfs);
            LineUp(bar, tone);
            const int top = BarTopRow(bar);
            const int tick = AlignmentTickRow(console.Meter.MMLevelScale2);
            ASSERT_GE(top, 0) << bar->State().BarPosition();
            ASSERT_GE(tick, 0);
            EXPECT_LE(std::abs(top - tick), 1) << "bar top " << top << ", mark " << tick;
            EXPECT_NEAR(SampleToDB(bar->CurrentPeak(), 32767), tone, 0.6);
        }
}

// True-peak bars carry the loudness ceiling (R128's -1 dBTP by default) as a line on their
// scale, where a tone at the ceiling brings the bar's top.
TEST(BarScales, TruePeakBarsShowTheCeilingWhereATonePeakingThereReaches) {
    TPanelConsole console(QByteArray("[Standards]\nPeakBars=True peak\n"));
    console.Meter.show();
    ASSERT_TRUE(WaitFor([&] { return console.Meter.windowHandle()->isExposed(); }, 5000));
    QApplication::processEvents();
    TMMLevelScale *strip = console.Meter.MMLevelScale2;
    const QImage picture = strip->grab().toImage();
    int line = -1;
    for (int y = 0; y < picture.height() && line < 0; ++y)
        if (picture.pixelColor(0, y) == ToQColor(clYellow)) line = strip->y() + y;
    ASSERT_GE(line, 0) << "no ceiling line";
    LineUp(console.Meter.MMLevel1, -1.0);
    EXPECT_LE(std::abs(BarTopRow(console.Meter.MMLevel1) - line), 1);
}
