// The spectrum control's rules: setters, the phase mode switch and its square
// bounds, resets, the wave format, the readout box freezing the picture, the
// peak timer, the events and the kinds as drawn.

#include "SpectrumScene.h"
#include "widgets/MMFrameClock.h"

#include <QMouseEvent>

#include <cmath>
#include <stdexcept>

namespace {

void Press(QWidget *w, QEvent::Type type, QPoint at) {
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

TWaveFormatEx Format(int channels, int bits, int rate) {
    TWaveFormatEx f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = static_cast<std::uint16_t>(channels);
    f.nSamplesPerSec = static_cast<std::uint32_t>(rate);
    f.wBitsPerSample = static_cast<std::uint16_t>(bits);
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    return f;
}

} // namespace

TEST(SpectrumControl, SettersClampIgnoreAndRebuild) {
    TSpectrumScene s;
    TMMSpectrum &sp = *s.Spectrum;
    EXPECT_EQ(sp.Width(), 194);
    EXPECT_EQ(sp.FFTLength(), 128);
    EXPECT_EQ(sp.BlockBytes(), 128); // 8-bit mono
    sp.SetVerticalScale(0);
    EXPECT_EQ(sp.VerticalScale(), 1);
    sp.SetFrequencyScale(5);
    EXPECT_EQ(sp.FrequencyScale(), 4);
    sp.SetNumPeaks(6);
    EXPECT_EQ(sp.NumPeaks(), 1);
    sp.SetSpotHeight(sp.DrawingArea().Height() / 3 + 1);
    EXPECT_EQ(sp.SpotHeight(), 1);
    sp.SetFFTLength(3000);
    EXPECT_EQ(sp.FFTLength(), 2048);

    // Scales raise the size to what they need and take their margins off the drawing area.
    sp.SetBounds(0, 0, 20, 20);
    sp.SetDrawAmpScale(true);
    sp.SetDrawFreqScale(true);
    EXPECT_EQ(sp.Width(), 71);
    EXPECT_EQ(sp.Height(), 47);
    EXPECT_EQ(sp.DrawingArea(), Rect(33, 1, 38, 6));

    // The column table does not depend on whether the rate came before or after LogFreq.
    TSpectrumScene t;
    t.Spectrum->SetLogFreq(true);
    SetStereo48k(*t.Spectrum);
    t.Spectrum->SetFFTLength(2048);
    TSpectrumScene u;
    SetStereo48k(*u.Spectrum);
    u.Spectrum->SetFFTLength(2048);
    u.Spectrum->SetLogFreq(true);
    EXPECT_DOUBLE_EQ(t.Spectrum->LowFrequency(), 23.4375);
    EXPECT_EQ(t.Spectrum->Columns().First, u.Spectrum->Columns().First);
}

TEST(SpectrumControl, PhaseModeIsSquareAndSwitchesTheLengthBack) {
    TSpectrumScene s;
    TMMSpectrum &sp = *s.Spectrum;
    SetStereo48k(sp);
    sp.SetRangeFactorX(2.5);
    EXPECT_EQ(sp.RangeFactorX(), 1.0);
    sp.SetBounds(0, 0, 400, 250);
    sp.SetSpectrumMode(smPhase);
    EXPECT_EQ(sp.Width(), 250);
    EXPECT_EQ(sp.Height(), 250);
    EXPECT_EQ(sp.FFTLength(), 1024);
    EXPECT_EQ(sp.BlockBytes(), 4096);
    EXPECT_FALSE(sp.ShowInfo());
    EXPECT_EQ(sp.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(sp.PhaseCenterX(), 125);
    EXPECT_EQ(sp.PhaseRadiusX(), 125);
    sp.SetBounds(0, 0, 400, 400);
    EXPECT_EQ(sp.Width(), 300);
    EXPECT_EQ(sp.Height(), 300);
    // The drawing area (one bevel pixel in) sets centre and radii.
    EXPECT_EQ(sp.PhaseCenterY(), 149);
    sp.SetRangeFactorY(2.0);
    EXPECT_EQ(sp.PhaseRadiusY(), 300);

    // A block fills the phase buffers, clamped to -32767; a reset clears them.
    std::vector<std::int16_t> block(2048, 0);
    block[0] = -32768;
    block[1] = 1234;
    sp.RefreshPCMData(block.data());
    EXPECT_EQ(sp.PhaseLeft()[0], -32767);
    EXPECT_EQ(sp.PhaseRight()[0], 1234);
    sp.ResetData();
    EXPECT_EQ(sp.PhaseLeft()[0], 0);
    EXPECT_EQ(sp.PhaseRight()[0], 0);

    sp.SetColor(clNavy);
    sp.SetSpectrumMode(smNormal);
    EXPECT_EQ(sp.Width(), 194);
    EXPECT_EQ(sp.Height(), 89);
    EXPECT_EQ(sp.FFTLength(), 128);
    EXPECT_TRUE(sp.ShowInfo());
    EXPECT_EQ(sp.Color(), clBlack);
    EXPECT_EQ(sp.cursor().shape(), Qt::CrossCursor);
}

// Every block redraws the phase picture whole, but only where the dots were or are does
// it change, and only that part goes to the screen.
TEST(SpectrumControl, PhasePicturePresentsOnlyWhereItsDotsMoved) {
    TSpectrumScene s;
    TMMSpectrum &sp = *s.Spectrum;
    SetStereo48k(sp);
    sp.SetSpectrumMode(smPhase);
    sp.SetPhaseMode(pmStereo);
    sp.SetBounds(0, 0, 270, 270);
    sp.SetRangeFactorX(1.0);
    sp.SetRangeFactorY(1.0);
    s.Show();
    TMMFrameClock &frames = TMMFrameClock::Screen();
    frames.SetManualTicks(true);
    TToneBlocks quiet({{1000, 0.1}});
    s.Feed(quiet); // the first block after showing goes whole
    frames.Tick();
    s.Feed(quiet);
    const QRect small = frames.Pending(&sp);
    // A mono tone at a tenth of full scale: a short vertical line through the centre.
    EXPECT_FALSE(small.isEmpty());
    EXPECT_LE(small.width(), 3);
    EXPECT_LE(small.height(), 45);
    EXPECT_TRUE(small.contains(sp.PhaseCenterX() + 1, sp.PhaseCenterY() + 1)); // one bevel pixel in
    frames.Tick();
    // Louder: the new dots' bounds, which hold the old ones.
    TToneBlocks loud({{1000, 0.5}});
    s.Feed(loud);
    const QRect larger = frames.Pending(&sp);
    EXPECT_TRUE(larger.contains(small));
    EXPECT_GT(larger.height(), 2 * small.height());
    frames.Tick();
    frames.SetManualTicks(false);
}

// A frame drawn over the last one only where the segments were and are ends as the frame
// drawn whole from the same levels.
TEST(SpectrumControl, FramesDrawnInPartMatchFramesDrawnWhole) {
    for (TMMSpectrumKind kind : {skLines, skBars, skPeaks, skDots}) {
        const auto picture = [kind](const std::vector<std::vector<std::pair<double, double>>> &blocks) {
            TSpectrumScene s;
            SetUpSmallAnalyser(*s.Spectrum);
            s.Spectrum->SetDecayMode(dmNone);
            s.Spectrum->SetNumPeaks(0);
            s.Spectrum->SetKind(kind);
            s.Show();
            for (const auto &tones : blocks) {
                TToneBlocks generator(tones);
                s.Feed(generator);
            }
            return s.Spectrum->DIBCanvas().Image().copy();
        };
        const std::vector<std::pair<double, double>> loud{{1000, 0.9}, {8000, 0.5}}, quiet{{300, 0.01}};
        EXPECT_EQ(picture({loud, quiet}), picture({quiet})) << "kind " << kind;
    }
    // The phase picture puts its background back only where the last dots lay.
    const auto phase = [](const std::vector<std::vector<std::pair<double, double>>> &blocks) {
        TSpectrumScene s;
        SetUpPhaseMeter(*s.Spectrum, QRect(0, 0, 120, 120));
        s.Show();
        for (const auto &tones : blocks) {
            TToneBlocks generator(tones);
            s.Feed(generator);
        }
        return s.Spectrum->DIBCanvas().Image().copy();
    };
    EXPECT_EQ(phase({{{1000, 0.9}, {3000, 0.7}}, {{300, 0.05}}}), phase({{{300, 0.05}}}));
}

// A frame drawn in part puts on the screen every pixel it changed.
TEST(SpectrumControl, AFrameDrawnInPartPresentsEveryPixelItChanged) {
    TMMFrameClock &frames = TMMFrameClock::Screen();
    frames.SetManualTicks(true);
    for (TMMSpectrumKind kind : {skLines, skBars}) {
        TSpectrumScene s;
        SetUpLargeAnalyser(*s.Spectrum);
        s.Spectrum->SetDecayMode(dmNone);
        s.Spectrum->SetKind(kind);
        s.Show();
        TToneBlocks first({{300, 0.9}, {5000, 0.05}, {15000, 0.3}}),
            second({{300, 0.5}, {5000, 0.2}, {15000, 0.01}});
        s.Feed(first);
        frames.Tick();
        const QImage before = s.Spectrum->DIBCanvas().Image().copy();
        s.Feed(second);
        const QImage after = s.Spectrum->DIBCanvas().Image().copy();
        const TRect area = s.Spectrum->DrawingArea();
        const QRegion presented = frames.PendingRegion(s.Spectrum).translated(-area.Left, -area.Top);
        int changed = 0, missed = 0;
        for (int y = 0; y < after.height(); ++y)
            for (int x = 0; x < after.width(); ++x)
                if (before.pixel(x, y) != after.pixel(x, y)) {
                    ++changed;
                    missed += presented.contains(QPoint(x, y)) ? 0 : 1;
                }
        EXPECT_GT(changed, 0) << "kind " << kind;
        EXPECT_EQ(missed, 0) << "kind " << kind;
        frames.Tick();
    }
    frames.SetManualTicks(false);
}

TEST(SpectrumControl, WaveFormatResetAndEvents) {
    TSpectrumScene s;
    TMMSpectrum &sp = *s.Spectrum;
    const TWaveFormatEx quad = Format(4, 16, 48000);
    EXPECT_THROW(sp.SetWaveFormat(&quad), EMMSpectrumError);
    EXPECT_THROW(sp.SetWaveFormat(nullptr), EMMSpectrumError);
    EXPECT_EQ(sp.SampleRate(), 11025);
    EXPECT_EQ(sp.Mode(), mMono);
    const TWaveFormatEx stereo = Format(2, 16, 48000);
    sp.SetWaveFormat(&stereo);
    EXPECT_EQ(sp.SampleRate(), 48000);
    EXPECT_EQ(sp.BitLength(), b16Bit);
    EXPECT_EQ(sp.BlockBytes(), 512);

    int needData = 0, gain = 0, pcm = 0;
    sp.SetOnNeedData([&](TObject *) { ++needData; });
    sp.SetOnGainOverflow([&](TObject *) { ++gain; });
    sp.SetOnPcmOverflow([&](TObject *) { ++pcm; });
    s.Show();
    sp.ResetData();
    EXPECT_EQ(needData, 1);
    sp.SetEnabled(false);
    EXPECT_EQ(needData, 1); // a disabled display asks for nothing
    sp.SetEnabled(true);
    EXPECT_EQ(needData, 2);

    // A full-scale square wave with half scale at the top: bars beyond the top, samples beyond the limit.
    sp.SetVerticalScale(50);
    std::vector<std::int16_t> loud(256);
    for (std::size_t i = 0; i < loud.size(); ++i)
        loud[i] = (i / 8) % 2 ? 32767 : -32767;
    sp.RefreshPCMData(loud.data());
    EXPECT_GT(gain, 0);
    EXPECT_GT(pcm, 0);

    // The handler's column table replaces the computed one.
    sp.SetOnGetXScale([](TObject *, int *first, int *end) {
        for (int i = 0; i < 192; ++i) {
            first[i] = 5;
            end[i] = 0;
        }
    });
    ASSERT_EQ(sp.Segments().size(), 0u);
    sp.RefreshPCMData(loud.data());
    ASSERT_EQ(sp.Segments().size(), 1u);
    EXPECT_EQ(sp.Segments()[0].End, sp.DrawingArea().Width());
}

TEST(SpectrumControl, HoldingTheButtonFreezesThePictureUnderTheReadoutBox) {
    TSpectrumScene s;
    SetUpLargeAnalyser(*s.Spectrum);
    TMMSpectrum &sp = *s.Spectrum;
    s.Show();
    TToneBlocks tones({{1000, 0.5}});
    s.Feed(tones, 2);
    const QImage before = sp.DIBCanvas().Image().copy();
    const std::int32_t level = sp.Levels()[43];

    Press(&sp, QEvent::MouseButtonPress, {100, 100});
    ASSERT_TRUE(sp.InfoTracking());
    // The box sits 15 rows under the pointer, white with a black frame.
    EXPECT_EQ(sp.DIBCanvas().PixelColor(100 - 32, 100 + 15), clBlack);
    EXPECT_EQ(sp.DIBCanvas().PixelColor(100 - 32 + 2, 100 + 17), clWhite);
    EXPECT_EQ(sp.InfoTextAt(0, 0), QStringLiteral("0.023 KHz 0.0 dB"));
    TToneBlocks silence({});
    s.Feed(silence, 2);
    EXPECT_EQ(sp.Levels()[43], level); // blocks are ignored

    Press(&sp, QEvent::MouseButtonRelease, {100, 100});
    EXPECT_FALSE(sp.InfoTracking());
    EXPECT_EQ(sp.DIBCanvas().Image(), before); // the box is gone, the picture as it was
    s.Feed(silence, 1);
    EXPECT_LT(sp.Levels()[43], level);
}

TEST(SpectrumControl, PeakTimerAgesHeldSpotsAndStopsWithoutPeaks) {
    TSpectrumScene s({320, 130});
    SetUpSmallAnalyser(*s.Spectrum);
    TMMSpectrum &sp = *s.Spectrum;
    sp.SetPeakDelay(0);
    sp.SetPeakSpeed(1);
    s.Show();
    TToneBlocks tones({{1000, 0.5}});
    s.Feed(tones, 2);
    const int held = s.SegmentOf(43).Peak;
    ASSERT_GT(held, 0);
    s.Source.Fire(3);
    EXPECT_EQ(s.SegmentOf(43).Peak, held - 3);

    // While the readout box shows (ShowInfo on), the peaks stand still.
    sp.SetShowInfo(true);
    Press(&sp, QEvent::MouseButtonPress, {100, 50});
    s.Source.Fire(3);
    EXPECT_EQ(s.SegmentOf(43).Peak, held - 3);
    Press(&sp, QEvent::MouseButtonRelease, {100, 50});

    sp.SetNumPeaks(0); // no peaks are kept, and the timer is paused
    s.Feed(tones, 1);
    EXPECT_EQ(s.SegmentOf(43).Peak, 0);
}

TEST(SpectrumControl, KindsAsDrawn) {
    TSpectrumScene s({300, 200});
    TMMSpectrum &sp = *s.Spectrum;
    sp.Bevel().SetBevelOuter(bvNone);
    sp.SetBounds(0, 0, 128, 100);
    sp.SetBitLength(b16Bit);
    sp.SetFFTLength(256); // one column per bin
    sp.SetSpotSpace(0);
    s.Show();
    std::vector<std::int16_t> silence(256, 0);

    // Silence: dots on the bottom row; bars leave only the inactive picture.
    sp.SetKind(skDots);
    sp.RefreshPCMData(silence.data());
    EXPECT_EQ(sp.DIBCanvas().PixelColor(5, 99), clAqua);
    EXPECT_EQ(sp.DIBCanvas().PixelColor(5, 98), clBlack);
    sp.SetKind(skBars);
    sp.SetSpace(0);
    sp.RefreshPCMData(silence.data());
    EXPECT_EQ(sp.DIBCanvas().PixelColor(5, 99), clTeal);
    EXPECT_EQ(sp.DIBCanvas().PixelColor(5, 0), clMaroon);

    // Bars handed to a handler come in pixels, on a background of Color.
    std::vector<int> drawn;
    sp.SetOnDrawBar([&](TObject *, TMMDIBCanvas &, const TRect &r, int n, int) {
        if (r.Left == 0) drawn.push_back(n);
    });
    sp.RefreshPCMData(silence.data());
    EXPECT_EQ(drawn, std::vector<int>{0});
    EXPECT_EQ(sp.DIBCanvas().PixelColor(5, 99), clBlack);
    sp.SetOnDrawBar({});

    // Scrolling moves the picture two rows down per block.
    sp.SetKind(skScroll);
    sp.RefreshPCMData(silence.data());
    const int row = sp.DrawingArea().Height() - sp.Spots().LineOffset;
    EXPECT_EQ(sp.DIBCanvas().PixelColor(5, row), clAqua);
    sp.RefreshPCMData(silence.data());
    EXPECT_EQ(sp.DIBCanvas().PixelColor(5, row + 2), clAqua);
    EXPECT_EQ(sp.DIBCanvas().PixelColor(5, 0), clBlack);
}
