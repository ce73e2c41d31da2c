// The bar meter as drawn: lit spots and the marker in the work bitmap, the
// pre-rendered unlit bar, the slices presented, the peak falling without audio.

#include "audio/MMPeakTick.h"
#include "common/ManualTimerSource.h"
#include "common/PumpEventsUntil.h"
#include "widgets/MMFrameClock.h"
#include "widgets/MMLevel.h"

#include <QApplication>
#include <QWindow>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr TColor kBar1 = clAqua, kBar2 = clYellow, kBar3 = clRed;
constexpr TColor kUnlit1 = clTeal, kUnlit2 = clOlive, kUnlit3 = clMaroon;

// A stereo 16-bit block of 50 frames, every frame left, right.
std::vector<std::int16_t> Block(int left, int right = 0) {
    std::vector<std::int16_t> frames;
    for (int i = 0; i < 50; ++i) {
        frames.push_back(static_cast<std::int16_t>(left));
        frames.push_back(static_cast<std::int16_t>(right));
    }
    return frames;
}

// The console's PEAK bar (20 × 288, inner 18 × 286, 71 spots, -60 dB at the
// bottom), without ballistics, in its own shown window, its marker aging on
// a tick service the test drives.
struct TBarScene {
    ManualTimerSource Source;
    TMMPeakTickService Ticks{&Source};
    QWidget Window;
    TMMLevel *Bar;

    TBarScene() {
        Window.resize(40, 300);
        Bar = new TMMLevel(&Window, &Ticks);
        Bar->SetBounds(10, 6, 20, 288);
        Bar->Bevel().SetBevelOuter(bvNone);
        Bar->Bevel().SetBevelInner(bvRaised);
        Bar->SetKind(lkVertical);
        Bar->SetSpotWidth(3);
        Bar->SetPoint1(40);
        Bar->SetPoint2(67);
        Bar->SetBar1Color(kBar1);
        Bar->SetBar2Color(kBar2);
        Bar->SetBar3Color(kBar3);
        Bar->SetInactive1Color(kUnlit1);
        Bar->SetInactive2Color(kUnlit2);
        Bar->SetInactive3Color(kUnlit3);
        Bar->SetBitLength(b16Bit);
        Bar->SetMode(mStereo);
        Bar->SetChannel(chLeft);
        Bar->SetSensitivy(-60);
        Bar->SetNumPeaks(2);
        Bar->SetPeakSpeed(1);
        Window.show();
        EXPECT_TRUE(PumpEventsUntil([&] { return Window.windowHandle()->isExposed(); }, 5000));
        QApplication::processEvents();
    }
    ~TBarScene() { delete Bar; } // before the tick service goes

    void Feed(int left, int right = 0) {
        const auto b = Block(left, right);
        Bar->ProcessBlock(b.data());
    }
    TRect Spot(int k) const { return Bar->State().Geometry().SpotRect(k); }
    // The colour spot k shows at its top-left pixel and the pixel beside it.
    TColor At(int k, int dx = 0, int dy = 0) { return Bar->DIBCanvas().PixelColor(dx, Spot(k).Top + dy); }
    QImage Picture() { return Bar->DIBCanvas().Image().copy(); }
};

// The screen clock driven by hand for one test.
struct TManualFrames {
    TManualFrames() {
        TMMFrameClock::Screen().Tick();
        TMMFrameClock::Screen().SetManualTicks(true);
    }
    ~TManualFrames() {
        TMMFrameClock::Screen().Tick();
        TMMFrameClock::Screen().SetManualTicks(false);
    }
};

TColor LitColor(int k) {
    return k > 47 ? kBar3 : (k > 28 ? kBar2 : kBar1);
}
TColor UnlitColor(int k) {
    return k > 47 ? kUnlit3 : (k > 28 ? kUnlit2 : kUnlit1);
}

TEST(LevelDrawing, LitSpotsTheMarkerAboveTheBarAndTheDottedBackground) {
    TBarScene s;
    s.Bar->SetInactiveDoted(true);
    const TMMSpotGeometry &g = s.Bar->State().Geometry();
    ASSERT_EQ(g.BarSpots, 71);
    EXPECT_EQ(s.Spot(1), Rect(0, 282, 18, 285));
    EXPECT_EQ(s.Spot(71), Rect(0, 2, 18, 5));

    s.Feed(3277, 32767); // -20 dBFS on the left, full scale on the right channel it does not read
    ASSERT_EQ(s.Bar->State().BarPosition(), 47);
    for (int k = 1; k <= 71; ++k) {
        if (k <= 47) {
            EXPECT_EQ(s.At(k), LitColor(k)) << "spot " << k;
            EXPECT_EQ(s.At(k, 1, 1), LitColor(k)) << "spot " << k << " is filled whole";
        } else {
            // Unlit and dotted: every second pixel of every second row, from the top-left one.
            EXPECT_EQ(s.At(k), UnlitColor(k)) << "spot " << k;
            EXPECT_EQ(s.At(k, 2, 2), UnlitColor(k)) << "spot " << k;
            EXPECT_EQ(s.At(k, 1, 0), clBlack) << "spot " << k;
            EXPECT_EQ(s.At(k, 0, 1), clBlack) << "spot " << k;
        }
    }
    // Margins and gaps keep the background colour.
    EXPECT_EQ(s.Bar->DIBCanvas().PixelColor(0, 0), clBlack);
    EXPECT_EQ(s.Bar->DIBCanvas().PixelColor(0, 285), clBlack);
    EXPECT_EQ(s.Bar->DIBCanvas().PixelColor(5, s.Spot(10).Bottom), clBlack);

    // Quieter: the bar drops to 36 and the held peak shows as two spots at 46 and 47.
    s.Feed(1037);
    ASSERT_EQ(s.Bar->State().BarPosition(), 36);
    ASSERT_EQ(s.Bar->State().PeakPosition(), 47);
    EXPECT_EQ(s.At(36), kBar2);
    for (int k = 37; k <= 45; ++k)
        EXPECT_EQ(s.At(k), kUnlit2) << "spot " << k;
    EXPECT_EQ(s.At(45, 1, 0), clBlack);
    EXPECT_EQ(s.At(46), kBar2);
    EXPECT_EQ(s.At(47), kBar2);
    EXPECT_EQ(s.At(48), kUnlit3);

    // The unlit bar itself is never redrawn spot by spot: it stays in the background bitmap.
    EXPECT_EQ(s.Bar->BackgroundBitmap().PixelColor(0, s.Spot(10).Top), kUnlit1);
    EXPECT_EQ(s.Bar->BackgroundBitmap().PixelColor(0, s.Spot(60).Top), kUnlit3);
}

TEST(LevelDrawing, BlocksDrawOnlyTheSpotsThatChangeAndMatchAWholeRedraw) {
    TManualFrames frames;
    TBarScene s;
    int paints = 0;
    s.Bar->SetOnPaint([&](TObject *) { ++paints; });
    const TRect inner = s.Bar->InnerRect();
    TMMFrameClock &clock = TMMFrameClock::Screen();

    s.Feed(1037); // 36
    clock.Tick();
    s.Feed(1200); // 37: one spot more
    EXPECT_EQ(clock.Pending(s.Bar), s.Spot(37).Translated(inner.Left, inner.Top).ToQRect());
    clock.Tick();
    // Silence at rest changes nothing and draws nothing.
    s.Bar->ResetData();
    clock.Tick();
    paints = 0;
    s.Feed(0);
    s.Feed(0);
    EXPECT_EQ(paints, 0);
    EXPECT_TRUE(clock.Pending(s.Bar).isNull());

    // Any walk of levels leaves the same picture a whole redraw makes, in
    // every direction and with dotted spots.
    const int levels[] = {32767, 3277, 40, 1037, 9000, 0, 200, 32767, 33, 5000, 1200, 0};
    for (TMMLevelDirection direction : {dirNormal, dirReversed, dirSymetric}) {
        for (bool dotted : {false, true}) {
            s.Bar->SetDirection(direction);
            s.Bar->SetActiveDoted(dotted);
            s.Bar->repaint();
            for (int level : levels) {
                s.Feed(level);
                const QImage stepped = s.Picture();
                s.Bar->SetBar1Color(clWhite); // the next paint renders it all afresh
                s.Bar->SetBar1Color(kBar1);
                s.Bar->repaint();
                ASSERT_EQ(stepped, s.Picture())
                    << "direction " << direction << " dotted " << dotted << " after level " << level;
            }
        }
    }
}

// Blocks handed out in one connector pass run the laws on each and draw once, at
// the pass's end; the bar, its marker's hold and fall and the picture end as
// block-by-block feeding leaves them.
TEST(LevelDrawing, APassOfBlocksRunsTheLawsOnEachAndDrawsOnce) {
    TBarScene paced, single;
    int paints = 0;
    paced.Bar->SetOnPaint([&](TObject *) { ++paints; });
    const int passes[][4] = {
        {32767, 3277, 40, 1037}, {9000, 0, 200, 32767}, {33, 5000, 1200, 0}, {0, 1037, 0, 0}};
    for (const auto &pass : passes) {
        paints = 0;
        paced.Bar->BeginPass();
        for (int level : pass) {
            paced.Feed(level);
            single.Feed(level);
        }
        EXPECT_EQ(paints, 0) << "drawn within the pass";
        paced.Bar->EndPass();
        EXPECT_EQ(paints, 1);
        for (TBarScene *s : {&paced, &single})
            s->Source.Fire();
        QApplication::processEvents();
    }
    EXPECT_EQ(paced.Bar->State().BarPosition(), single.Bar->State().BarPosition());
    EXPECT_EQ(paced.Bar->State().PeakPosition(), single.Bar->State().PeakPosition());
    EXPECT_EQ(paced.Picture(), single.Picture());
}

TEST(LevelDrawing, TheMarkerFallsOnTheTickWithoutAudioAndTheTickSurvivesSuspension) {
    TBarScene s;
    s.Bar->SetPeakDelay(0); // held for one tick
    int paints = 0;
    s.Bar->SetOnPaint([&](TObject *) { ++paints; });
    s.Feed(3277);
    s.Feed(0);
    ASSERT_EQ(s.Bar->State().BarPosition(), 0);
    ASSERT_EQ(s.At(47), kBar2) << "the marker";
    ASSERT_EQ(s.At(46), kBar2);
    paints = 0;

    s.Source.Fire(); // the hold ends: 46
    s.Source.Fire(); // 45
    EXPECT_EQ(s.At(47), kBar2) << "the tick's thread never draws";
    QApplication::processEvents();
    EXPECT_EQ(paints, 1) << "one redraw for the ticks that came before it";
    EXPECT_EQ(s.At(47), kUnlit2);
    EXPECT_EQ(s.At(46), kUnlit2);
    EXPECT_EQ(s.At(45), kBar2);
    EXPECT_EQ(s.At(44), kBar2);
    EXPECT_EQ(s.At(43), kUnlit2);

    // Disabled, without a marker, with one again, enabled: the marker still ages.
    s.Bar->SetEnabled(false);
    EXPECT_EQ(s.Bar->CurrentPeak(), 0);
    s.Bar->SetNumPeaks(0);
    s.Bar->SetNumPeaks(2);
    s.Bar->SetNumPeaks(3);
    s.Bar->SetEnabled(true);
    s.Feed(3277);
    s.Feed(0);
    ASSERT_EQ(s.Bar->State().PeakPosition(), 47);
    s.Source.Fire(3);
    EXPECT_EQ(s.Bar->State().PeakPosition(), 44);
    s.Bar->SetNumPeaks(0);
    EXPECT_EQ(s.Bar->CurrentPeak(), 0);
}

TEST(LevelDrawing, DisabledOrHiddenBarsIgnoreBlocksAndShowTheUnlitBar) {
    TBarScene s;
    s.Feed(3277);
    s.Bar->SetEnabled(false);
    s.Bar->repaint();
    EXPECT_EQ(s.Bar->State().BarPosition(), 0);
    EXPECT_EQ(s.At(1), kUnlit1);
    s.Feed(3277);
    EXPECT_EQ(s.Bar->State().BarPosition(), 0);
    s.Bar->SetEnabled(true);
    s.Bar->SetVisible(false);
    s.Feed(3277);
    EXPECT_EQ(s.Bar->State().BarPosition(), 0);
    // A hidden window is no reason to stop measuring; the picture follows when it shows.
    s.Bar->SetVisible(true);
    s.Window.hide();
    s.Feed(3277);
    EXPECT_EQ(s.Bar->State().BarPosition(), 47);
    s.Window.show();
    ASSERT_TRUE(PumpEventsUntil([&] { return s.Window.windowHandle()->isExposed(); }, 5000));
    QApplication::processEvents(); // the show's paint
    EXPECT_EQ(s.At(47), kBar2);
    EXPECT_EQ(s.At(48), kUnlit3);
}

TEST(LevelDrawing, FormatDepthEventsAndTheDrawBarHandler) {
    TBarScene s;
    s.Bar->SetMode(mMono);
    TWaveFormatEx bad{};
    bad.wFormatTag = 3; // not PCM
    try {
        s.Bar->SetWaveFormat(&bad);
        ADD_FAILURE() << "no error";
    } catch (const EMMLevelError &e) {
        EXPECT_STREQ(e.what(), "Invalid WaveFormat");
    }
    EXPECT_EQ(s.Bar->Mode(), mMono);
    EXPECT_EQ(s.Bar->BlockBytes(), 100);
    TWaveFormatEx stereo{};
    stereo.wFormatTag = 1;
    stereo.nChannels = 2;
    stereo.nSamplesPerSec = 48000;
    stereo.wBitsPerSample = 16;
    stereo.nBlockAlign = 4;
    stereo.nAvgBytesPerSec = 192000;
    s.Bar->SetWaveFormat(&stereo);
    EXPECT_EQ(s.Bar->Mode(), mStereo);
    EXPECT_EQ(s.Bar->BlockBytes(), 200);

    try {
        s.Bar->SetBitsPerPixel(16);
        ADD_FAILURE() << "no error";
    } catch (const EMMDIBError &e) {
        EXPECT_STREQ(e.what(), "Bitlength not supported yet");
    }
    s.Bar->SetBitsPerPixel(8);
    s.Feed(3277);
    EXPECT_EQ(s.At(1), kBar1) << "a palette colour";
    EXPECT_EQ(s.At(60), kUnlit3);

    std::vector<std::string> events;
    s.Bar->SetOnPcmOverflow([&](TObject *) { events.push_back("pcm"); });
    s.Bar->SetOnGainOverflow([&](TObject *) { events.push_back("gain"); });
    s.Bar->SetGain(8);
    s.Feed(32767);
    EXPECT_EQ(events, (std::vector<std::string>{"pcm", "gain"}));
    EXPECT_EQ(s.Bar->State().BarPosition(), 71);

    TRect handed;
    int spots = -1, peak = -1;
    s.Bar->SetOnDrawBar([&](TObject *, TMMDIBCanvas &dib, const TRect &rect, int nSpots, int p) {
        handed = rect;
        spots = nSpots;
        peak = p;
        dib.SetColor(clFuchsia);
        dib.Clear();
    });
    s.Bar->SetGain(0);
    s.Feed(1037);
    EXPECT_EQ(handed, Rect(0, 0, 18, 286));
    EXPECT_EQ(spots, 36);
    EXPECT_EQ(peak, 71);
    EXPECT_EQ(s.At(1), clFuchsia);
    s.Bar->SetOnDrawBar(nullptr);
    s.Bar->repaint();
    EXPECT_EQ(s.At(1), kBar1);
    EXPECT_EQ(s.At(37), kUnlit2);
}

} // namespace
