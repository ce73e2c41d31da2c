// The console's analysers fed a 1 kHz tone with a quieter 5 kHz tone: the
// peaks stand at their frequencies and heights, and fall by the decay when
// the tones stop. With VELMORA_SHOT_DIR set the pictures are saved there.

#include "SpectrumScene.h"

#include <QDir>
#include <QImage>

#include <cstdlib>

namespace {

void Save(QWidget &w, const char *name) {
    const char *dir = std::getenv("VELMORA_SHOT_DIR");
    if (dir == nullptr) return;
    QDir().mkpath(dir);
    EXPECT_TRUE(w.grab().toImage().save(QDir(dir).filePath(name)));
}

// Bins of 23.4375 Hz at 2048 points and 48000 Hz.
constexpr int kBin1k = 43, kBin5k = 213;

} // namespace

TEST(SpectrumShot, LargeAnalyserShowsBothTonesAtTheirLevelsAndDecays) {
    TSpectrumScene s;
    SetUpLargeAnalyser(*s.Spectrum);
    s.Show();
    TToneBlocks tones({{1000, 0.5}, {5000, 0.05}});
    s.Feed(tones, 4);
    Save(s.Window, "spectrum-large.png");

    // Drawing area: 776 - 2 x 32 wide, 220 - 40 high; 0 dB at the top, -60 dB at the bottom.
    ASSERT_EQ(s.Spectrum->DrawingArea(), Rect(32, 0, 744, 180));
    const TMMFrameMaximum max = s.Spectrum->FrameMaximum();
    EXPECT_NEAR(max.Bin, kBin1k, 1);
    // -6 dB of tone, -5.4 dB of window, under 1.5 dB of scalloping: -11.4 .. -13 dB.
    EXPECT_GE(max.Value, 180 * (60 - 13) / 60);
    EXPECT_LE(max.Value, 180 * (60 - 11.4) / 60);
    // 20 dB lower at 5 kHz: 60 pixels.
    EXPECT_NEAR(s.SegmentOf(kBin1k).Value - s.SegmentOf(kBin5k).Value, 60, 3);
    // Between the tones the window's side lobes stay below -60 dB relative to the tone.
    EXPECT_LT(s.SegmentOf(120).Value, max.Value - 60);

    // The polyline turns at the middle of the tone's segment, at its height.
    const TMMBarSegment peak = s.SegmentOf(kBin1k);
    EXPECT_EQ(
        s.Spectrum->DIBCanvas().PixelColor(peak.First + (peak.End - peak.First) / 2, 180 - peak.Value - 1),
        clLime);

    // Silence: step-up decay multiplies the held level by 0.74989 per block.
    TToneBlocks silence({});
    const int before = s.SegmentOf(kBin1k).Value;
    s.Feed(silence, 3);
    Save(s.Window, "spectrum-large-decay.png");
    // Three blocks of 20*log10(0.74989) = -2.5 dB: 7.5 dB, 22.5 pixels lower.
    EXPECT_NEAR(before - s.SegmentOf(kBin1k).Value, 22.5, 1.5);
}

TEST(SpectrumShot, SmallAnalyserBarsAndTheirPeaks) {
    TSpectrumScene s({320, 130});
    SetUpSmallAnalyser(*s.Spectrum);
    s.Show();
    TToneBlocks tones({{1000, 0.5}, {5000, 0.05}});
    s.Feed(tones, 4);
    Save(s.Window, "spectrum-small.png");

    // A one-pixel bevel inside the two amplitude scales: 230 x 107, 54 spots of 1 + 1 rows.
    ASSERT_EQ(s.Spectrum->DrawingArea(), Rect(33, 1, 263, 108));
    ASSERT_EQ(s.Spectrum->Spots().SpotCount, 54);
    const TMMBarSegment tone = s.SegmentOf(kBin1k);
    const int spots = s.Spectrum->Spots().BarSpots(tone.Value);
    EXPECT_EQ(tone.Peak, spots);
    // The top spot of the tone's bar is lit in the zone colour of its height (above T2 = 36).
    const TMMSpectrumSpots &g = s.Spectrum->Spots();
    ASSERT_GT(spots, g.T2);
    EXPECT_EQ(s.Spectrum->DIBCanvas().PixelColor(tone.First, g.SpotTop(spots)), clRed);
    EXPECT_EQ(s.Spectrum->DIBCanvas().PixelColor(tone.First, g.SpotTop(spots) - 1), clBlack);

    // After the tones stop the bar falls but its peak spot stays until the hold runs out.
    TToneBlocks silence({});
    s.Feed(silence, 6);
    Save(s.Window, "spectrum-small-decay.png");
    const TMMBarSegment fallen = s.SegmentOf(kBin1k);
    EXPECT_LT(g.BarSpots(fallen.Value), spots);
    EXPECT_EQ(fallen.Peak, spots);
    EXPECT_EQ(s.Spectrum->DIBCanvas().PixelColor(fallen.First, g.SpotTop(spots)), clRed);
}
