#include "audio/MMPeakTick.h"
#include "common/ManualTimerSource.h"
#include "common/PumpEventsUntil.h"
#include "widgets/MMFrameClock.h"
#include "widgets/MMMeter.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr TColor kNeedle = 9652298;

// The screen clock driven by hand for one test.
struct ManualScreenClock {
    ManualScreenClock() { TMMFrameClock::Screen().SetManualTicks(true); }
    ~ManualScreenClock() {
        TMMFrameClock::Screen().Tick();
        TMMFrameClock::Screen().SetManualTicks(false);
    }
};

// A stereo 16-bit block of a 1 kHz sine at 48 kHz on the left channel.
std::vector<std::int16_t> LeftTone(double amplitude, int frames) {
    std::vector<std::int16_t> v;
    for (int i = 0; i < frames; ++i) {
        v.push_back(static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(2.0 * std::numbers::pi * 1000.0 * i / 48000.0))));
        v.push_back(0);
    }
    return v;
}

// A console main meter (341 × 185, lowered one-pixel outer bevel, VU mode
// against -20 dBFS) in a window of its own, its peak needle aging on ticks
// given by hand.
struct ConsoleMeter {
    ManualTimerSource Ticks;
    TMMPeakTickService Service{&Ticks};
    QWidget Window;
    TMMMeter *Meter;

    explicit ConsoleMeter(bool show = true) {
        Window.resize(400, 240);
        Meter = new TMMMeter(&Window, &Service);
        Meter->SetBounds(32, 35, 341, 185);
        Meter->Bevel().SetOuterLightColor(clSilver);
        Meter->Bevel().SetOuterShadowColor(clBlack);
        Meter->SetMeterMode(mmVU);
        Meter->SetColor(clGreen);
        Meter->SetScale1Color(clNavy);
        Meter->SetScale2Color(clLime);
        Meter->SetScale3Color(clMaroon);
        Meter->SetNeedleColor(kNeedle);
        Meter->SetNeedleWidth(2);
        Meter->SetBitLength(b16Bit);
        Meter->SetMode(mStereo);
        Meter->SetChannel(chLeft);
        Meter->SetRefLevel(-20.0);
        if (show) Show();
    }
    ~ConsoleMeter() { delete Meter; }

    void Show() {
        Window.show();
        ASSERT_TRUE(PumpEventsUntil([&] { return Window.windowHandle()->isExposed(); }, 5000));
        QApplication::processEvents();
    }
    // The tone until the needle has settled.
    void Settle(double amplitude, int blocks = 300) {
        const std::vector<std::int16_t> tone = LeftTone(amplitude, 1000);
        for (int i = 0; i < blocks; ++i)
            Meter->ProcessBlock(tone.data());
    }
    TColor Work(QPoint p) { return Meter->DIBCanvas().PixelColor(p.x(), p.y()); }
    TColor Face(QPoint p) { return Meter->FaceBitmap().PixelColor(p.x(), p.y()); }
    // What the window shows at a point of the meter's inner rectangle.
    QRgb Screen(QPoint p) {
        const QPoint at = Meter->geometry().topLeft() + QPoint(1, 1) + p;
        return Window.screen()->grabWindow(Window.winId(), at.x(), at.y(), 1, 1).toImage().pixel(0, 0);
    }
};

TColor Rgb(QRgb rgb) {
    return FromQColor(QColor(rgb));
}

} // namespace

TEST(Meter, ZeroVUNeedleAndTickWhereTheGeometrySays) {
    ManualScreenClock manual;
    ConsoleMeter c;
    const TMMNeedleGeometry g = c.Meter->Geometry();
    EXPECT_EQ(g.Width, 339);
    EXPECT_EQ(g.Height, 183);
    EXPECT_EQ(g.Pivot(), QPoint(169, 213));
    EXPECT_EQ(g.Radius(), 193);
    EXPECT_EQ(c.Meter->DIBCanvas().Width(), 339);

    c.Settle(3276.7); // -20 dBFS peak: 0 VU
    EXPECT_NEAR(c.Meter->State().NeedleAngle() / g.Swing(), 0.708, 0.002);
    const QPoint tip(231, 30);
    EXPECT_EQ(c.Work(tip), kNeedle);
    EXPECT_EQ(c.Work(tip + QPoint(1, 0)), kNeedle);                   // a two-pixel pen
    EXPECT_EQ(c.Work(QPoint(231, 27)), clGreen);                      // nothing beyond the tip
    EXPECT_EQ(c.Work(QPoint(100, 120)), clGreen);                     // the face beside the needle
    const QPoint low = g.VUPoint(c.Meter->State().NeedleAngle(), 40); // where it enters the face
    EXPECT_EQ(low.y(), 175);
    EXPECT_TRUE(c.Work(low) == kNeedle || c.Work(low + QPoint(1, 0)) == kNeedle);

    // The 0 VU tick of the face lies under the needle: from radius 183 to 191.
    EXPECT_EQ(c.Face(QPoint(228, 40)), clMaroon);
    EXPECT_EQ(c.Face(QPoint(230, 32)), clMaroon);
    EXPECT_EQ(c.Face(QPoint(230, 30)), clGreen);
    // -20 is long and navy; the arc runs at radius 184 between the marks.
    const QPoint minus20 = g.VUPoint(VUMarkAngle(-20, g.Swing()), 188);
    EXPECT_EQ(c.Face(minus20), clNavy);

    // On the screen with the next frame.
    TMMFrameClock::Screen().Tick();
    QApplication::processEvents();
    EXPECT_EQ(Rgb(c.Screen(tip)), kNeedle);
    EXPECT_EQ(Rgb(c.Screen(QPoint(231, 27))), clGreen);
}

TEST(Meter, ABlockRedrawsOnlyTheOldAndNewNeedleFromTheSavedFace) {
    ManualScreenClock manual;
    ConsoleMeter c;
    c.Meter->SetDecayMode(dmNone);
    c.Meter->SetValue(7); // about 0 VU
    TMMFrameClock::Screen().Tick();
    QApplication::processEvents();
    const TMMNeedleGeometry g = c.Meter->Geometry();
    const QPoint oldTip = g.VUPoint(c.Meter->State().NeedleAngle(), g.Radius());

    int faces = 0;
    c.Meter->FaceBitmap().SetOnChange([&](TMMDIBCanvas *) { ++faces; });
    c.Meter->SetValue(3);
    const QPoint newTip = g.VUPoint(c.Meter->State().NeedleAngle(), g.Radius());
    ASSERT_NE(oldTip, newTip);
    EXPECT_EQ(faces, 0) << "the face is not rebuilt for a block";
    EXPECT_EQ(c.Work(oldTip), c.Face(oldTip)) << "the old needle stays behind";
    EXPECT_EQ(c.Work(newTip), kNeedle);
    TMMNeedleBands changed(Rect(0, 0, 339, 183), 16);
    changed.AddNeedle(g.Pivot(), oldTip, 2);
    changed.AddNeedle(g.Pivot(), newTip, 2);
    QRegion bands;
    for (const TRect &band : changed.Rects())
        bands += band.Translated(1, 1).ToQRect();
    EXPECT_EQ(TMMFrameClock::Screen().PendingRegion(c.Meter), bands);

    // The same reading draws nothing.
    TMMFrameClock::Screen().Tick();
    c.Meter->SetValue(3);
    EXPECT_FALSE(TMMFrameClock::Screen().HasPending());

    // After many blocks, the picture equals one drawn whole.
    const std::vector<std::int16_t> tone = LeftTone(6000, 1000);
    c.Meter->SetDecayMode(dmExponential);
    for (int i = 0; i < 40; ++i)
        c.Meter->ProcessBlock(tone.data());
    const QImage incremental = c.Meter->DIBCanvas().Image().copy();
    c.Meter->SetNeedleColor(clWhite);
    c.Meter->SetNeedleColor(kNeedle); // the next paint draws everything
    c.Meter->repaint();
    EXPECT_EQ(c.Meter->DIBCanvas().Image(), incremental);
}

// Every pixel the meter's square pen draws lies in the needle's bands, at any
// slant, and a slanted needle's bands hold far less than its bounding box.
TEST(Meter, NeedleBandsHoldEveryPixelOfTheNeedle) {
    const TRect area = Rect(0, 0, 339, 183);
    const QPoint pivot(169, 213);
    TMMDIBCanvas canvas;
    canvas.Resize(area.Width(), area.Height());
    for (int penWidth = 1; penWidth <= 3; ++penWidth)
        for (int degrees = -80; degrees <= 80; degrees += 7) {
            const double a = degrees * std::numbers::pi / 180;
            const QPoint tip(pivot.x() + std::lround(193 * std::sin(a)),
                             pivot.y() - std::lround(193 * std::cos(a)));
            canvas.BeginDrawing();
            canvas.SetColor(clBlack);
            canvas.FillRect(area);
            canvas.SetColor(clWhite);
            const TMMPenSpan pen = PenSpan(penWidth);
            for (int dx = pen.First; dx <= pen.Last; ++dx)
                for (int dy = pen.First; dy <= pen.Last; ++dy) {
                    canvas.MoveTo(pivot.x() + dx, pivot.y() + dy);
                    canvas.LineTo(tip.x() + dx, tip.y() + dy);
                }
            canvas.EndDrawing();
            TMMNeedleBands bands(area, 16);
            bands.AddNeedle(pivot, tip, penWidth);
            QRegion held;
            for (const TRect &band : bands.Rects())
                held += band.ToQRect();
            const QImage picture = canvas.Image();
            for (int y = 0; y < area.Height(); ++y)
                for (int x = 0; x < area.Width(); ++x)
                    if (picture.pixel(x, y) != qRgb(0, 0, 0)) {
                        ASSERT_TRUE(held.contains(QPoint(x, y)))
                            << degrees << "° pen " << penWidth << " at " << x << "," << y;
                    }
            const TRect box = NeedleBounds(pivot, tip, penWidth).Intersected(area);
            int heldArea = 0;
            for (const QRect &r : held)
                heldArea += r.width() * r.height();
            if (std::abs(degrees) >= 20) {
                EXPECT_LT(heldArea * 3, box.Width() * box.Height()) << degrees;
            }
        }
}

TEST(Meter, EmptyFaceIsColourAndAPictureIsStretched) {
    ConsoleMeter c;
    c.Meter->SetDrawScale(false);
    c.Meter->SetCaption("");
    c.Meter->repaint();
    TMMDIBCanvas &face = c.Meter->FaceBitmap();
    int other = 0;
    for (int y = 0; y < face.Height(); ++y)
        for (int x = 0; x < face.Width(); ++x)
            other += face.PixelColor(x, y) != clGreen;
    EXPECT_EQ(other, 0);

    QImage picture(417, 258, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QPainter(&picture).fillRect(208, 0, 209, 258, Qt::blue);
    c.Meter->SetBackGroundDIB(picture);
    c.Meter->repaint();
    EXPECT_EQ(face.PixelColor(0, 0), clRed);
    EXPECT_EQ(face.PixelColor(160, 182), clRed);
    EXPECT_EQ(face.PixelColor(175, 0), clBlue);
    EXPECT_EQ(face.PixelColor(338, 182), clBlue);
    // The needle rides over the picture.
    c.Meter->SetDecayMode(dmNone);
    c.Meter->SetValue(7);
    const TMMNeedleGeometry g = c.Meter->Geometry();
    EXPECT_EQ(c.Work(g.VUPoint(c.Meter->State().NeedleAngle(), g.Radius())), kNeedle);
}

TEST(Meter, CaptionAndReferenceLevelAreDrawnInTheirBoxes) {
    ConsoleMeter c;
    c.Meter->SetDrawScale(false);
    c.Meter->SetCaption("");
    c.Meter->repaint();
    const auto inked = [&](const TRect &box) {
        int n = 0;
        for (int y = box.Top; y < box.Bottom; ++y)
            for (int x = box.Left; x < box.Right; ++x)
                n += c.Face(QPoint(x, y)) != clGreen;
        return n;
    };
    const TRect captionBox = Rect(100, 150, 240, 175); // about H - H/16 = 172
    const TRect refBox = Rect(280, 155, 338, 173);     // right-aligned above H - H/17
    EXPECT_EQ(inked(captionBox), 0);
    c.Meter->SetCaption("VU");
    c.Meter->SetShowRefLevel(true);
    c.Meter->repaint();
    EXPECT_GT(inked(captionBox), 10);
    EXPECT_GT(inked(refBox), 10);
    EXPECT_EQ(inked(Rect(0, 0, 339, 140)), 0);
    // Peak mode never prints the reference level, and leaves ShowRefLevel off.
    c.Meter->SetMeterMode(mmPeak);
    EXPECT_FALSE(c.Meter->ShowRefLevel());
    EXPECT_EQ(c.Meter->Caption(), "db");
}

TEST(Meter, ModeSwitchDefaults) {
    ManualTimerSource ticks;
    TMMPeakTickService service(&ticks);
    TMMMeter m(nullptr, &service);
    EXPECT_EQ(m.Width(), 170);
    EXPECT_EQ(m.Height(), 90);
    EXPECT_EQ(m.Caption(), "dB");
    EXPECT_EQ(m.FontColor(), clSilver);
    EXPECT_TRUE(m.Font().bold());
    EXPECT_EQ(m.Color(), clBlack);
    EXPECT_EQ(m.BlockBytes(), 50);
    EXPECT_EQ(m.Geometry().Radius(), 88 + 30 - 14);

    m.SetMeterMode(mmVU);
    EXPECT_EQ(m.Caption(), "VU");
    EXPECT_EQ(m.Scale1Color(), clNavy);
    EXPECT_EQ(m.Scale3Color(), clRed);
    EXPECT_EQ(m.TopSpace(), 20);
    EXPECT_EQ(m.DecayMode(), dmExponential);
    EXPECT_EQ(m.Decay(), 7);
    EXPECT_FALSE(m.ShowPeak());
    EXPECT_EQ(m.Samples(), 1000);
    EXPECT_EQ(m.BlockBytes(), 1000);

    m.SetScale3Color(clMaroon);
    m.SetMeterMode(mmPeak);
    EXPECT_EQ(m.Caption(), "db");
    EXPECT_EQ(m.Scale1Color(), clGreen);
    EXPECT_EQ(m.Scale3Color(), clRed);
    EXPECT_EQ(m.TopSpace(), 14);
    EXPECT_TRUE(m.ShowPeak());
    EXPECT_EQ(m.BlockBytes(), 50);

    // Clamps of the control's own settings.
    m.SetNeedleOffset(-5);
    EXPECT_EQ(m.NeedleOffset(), 0);
    m.SetNeedleWidth(-1);
    EXPECT_EQ(m.NeedleWidth(), 0);
    m.SetScaleHeight1(-3);
    EXPECT_EQ(m.ScaleHeight1(), 0);
    m.SetPoint1(0);
    EXPECT_EQ(m.Point1(), 1);
    m.SetPoint2(101);
    EXPECT_EQ(m.Point2(), 100);
    m.SetScaleAngle(30);
    EXPECT_EQ(m.ScaleAngle(), 45);
    m.SetRefLevel(-9.0);
    EXPECT_EQ(m.RefLevel(), -16.0);
    m.SetRefLevel(-20.04);
    EXPECT_EQ(m.RefLevel(), -20.0);
}

TEST(Meter, ConnectorDisplayContract) {
    ConsoleMeter c;
    EXPECT_EQ(c.Meter->BlockBytes(), 4000);
    TWaveFormatEx mono8{};
    mono8.wFormatTag = 1;
    mono8.nChannels = 1;
    mono8.nSamplesPerSec = 8000;
    mono8.wBitsPerSample = 8;
    mono8.nBlockAlign = 1;
    mono8.nAvgBytesPerSec = 8000;
    c.Meter->SetWaveFormat(&mono8);
    EXPECT_EQ(c.Meter->BitLength(), b8Bit);
    EXPECT_EQ(c.Meter->Mode(), mMono);
    EXPECT_EQ(c.Meter->BlockBytes(), 1000);

    TWaveFormatEx bad = mono8;
    bad.wFormatTag = 2;
    try {
        c.Meter->SetWaveFormat(&bad);
        FAIL() << "a non-PCM format was taken";
    } catch (const EMMMeterError &e) {
        EXPECT_STREQ(e.what(), "Invalid WaveFormat");
    }
    EXPECT_EQ(c.Meter->BlockBytes(), 1000);

    // ResetData puts the needle back to rest on the screen's picture.
    c.Meter->SetDecayMode(dmNone);
    c.Meter->SetValue(50);
    const TMMNeedleGeometry g = c.Meter->Geometry();
    const QPoint tip = g.VUPoint(c.Meter->State().NeedleAngle(), g.Radius());
    ASSERT_EQ(c.Work(tip), kNeedle);
    c.Meter->ResetData();
    EXPECT_EQ(c.Meter->State().NeedleAngle(), 0.0);
    EXPECT_EQ(c.Work(tip), c.Face(tip));
    EXPECT_EQ(c.Work(g.VUPoint(0.0, g.Radius())), kNeedle);
}

// Blocks handed out in one connector pass run the laws on each and draw once,
// at the pass's end, the picture feeding them one by one leaves.
TEST(Meter, APassOfBlocksRunsTheLawsOnEachAndDrawsOnce) {
    ConsoleMeter paced, single;
    const std::vector<std::int16_t> loud = LeftTone(20000, 1000), soft = LeftTone(2000, 1000);
    for (ConsoleMeter *c : {&paced, &single})
        c->Meter->SetDecayMode(dmNone);
    const QImage atRest = paced.Meter->DIBCanvas().Image().copy();
    paced.Meter->BeginPass();
    for (const std::vector<std::int16_t> *block : {&soft, &loud, &soft, &loud}) {
        paced.Meter->ProcessBlock(block->data());
        single.Meter->ProcessBlock(block->data());
    }
    EXPECT_EQ(paced.Meter->DIBCanvas().Image(), atRest) << "drawn within the pass";
    paced.Meter->EndPass();
    EXPECT_EQ(paced.Meter->State().NeedleAngle(), single.Meter->State().NeedleAngle());
    EXPECT_NE(paced.Meter->DIBCanvas().Image(), atRest);
    EXPECT_EQ(paced.Meter->DIBCanvas().Image(), single.Meter->DIBCanvas().Image());
}

TEST(Meter, OverflowEventsAndPostPaint) {
    ManualScreenClock manual;
    ConsoleMeter c;
    int pcm = 0, gain = 0, posted = 0;
    c.Meter->SetOnPcmOverflow([&](TObject *sender) {
        EXPECT_EQ(sender, c.Meter);
        ++pcm;
    });
    c.Meter->SetOnGainOverflow([&](TObject *) { ++gain; });
    c.Meter->SetOnPostPaint([&](TObject *) { ++posted; });
    // VU mode takes the RMS: a full-scale sine is no PCM overflow, a square is.
    c.Settle(32767, 30);
    EXPECT_EQ(pcm, 0);
    EXPECT_GT(gain, 0); // +20 VU against -20
    std::vector<std::int16_t> square(2 * 1000);
    for (std::size_t i = 0; i < square.size(); ++i)
        square[i] = static_cast<std::int16_t>(i % 4 < 2 ? 32767 : -32767);
    c.Meter->ProcessBlock(square.data());
    EXPECT_EQ(pcm, 1);
    const int before = posted;
    TMMFrameClock::Screen().Tick();
    QApplication::processEvents();
    EXPECT_EQ(posted, before + 1) << "one copy to the screen for the frame";
}

TEST(Meter, DisabledOrHiddenIgnoresBlocksAndRestsTheNeedle) {
    ConsoleMeter c;
    c.Meter->SetDecayMode(dmNone);
    c.Meter->SetValue(50);
    EXPECT_GT(c.Meter->State().NeedleAngle(), 0.0);
    c.Meter->SetEnabled(false);
    EXPECT_EQ(c.Meter->State().NeedleAngle(), 0.0);
    c.Settle(6000, 5);
    EXPECT_EQ(c.Meter->State().NeedleAngle(), 0.0);
    EXPECT_EQ(c.Meter->State().LastValue(), 0);
    c.Meter->SetEnabled(true);
    c.Settle(6000, 5);
    EXPECT_GT(c.Meter->State().NeedleAngle(), 0.0);

    c.Meter->ResetData();
    c.Meter->SetVisible(false);
    c.Settle(6000, 5);
    EXPECT_EQ(c.Meter->State().NeedleAngle(), 0.0);
    // Shown again, the picture is whole and current.
    c.Meter->SetVisible(true);
    c.Meter->repaint();
    const TMMNeedleGeometry g = c.Meter->Geometry();
    EXPECT_EQ(c.Work(g.VUPoint(0.0, g.Radius())), kNeedle);
}

TEST(Meter, ResizeResetsAndRebuildsAtTheNewSize) {
    ConsoleMeter c;
    c.Meter->SetDecayMode(dmNone);
    c.Meter->SetValue(50);
    c.Meter->SetBounds(8, 127, 129, 70); // the set-up menu's preview
    QApplication::processEvents();
    EXPECT_EQ(c.Meter->State().NeedleAngle(), 0.0);
    c.Meter->repaint();
    EXPECT_EQ(c.Meter->DIBCanvas().Width(), 127);
    EXPECT_EQ(c.Meter->FaceBitmap().Height(), 68);
    const TMMNeedleGeometry g = c.Meter->Geometry();
    EXPECT_EQ(g.Pivot(), QPoint(63, 98));
    c.Meter->SetValue(50);
    EXPECT_EQ(c.Work(g.VUPoint(c.Meter->State().NeedleAngle(), g.Radius())), kNeedle);
}

TEST(Meter, PeakNeedleFallsOnTheTickWithoutAudio) {
    ManualScreenClock manual;
    ConsoleMeter c;
    c.Meter->SetMeterMode(mmPeak);
    c.Meter->SetPeakColor(clRed);
    c.Meter->SetNeedleWidth(1);
    c.Meter->SetLogAmp(false);
    c.Meter->SetPeakDelay(0); // released on the first tick
    c.Meter->SetPeakSpeed(2);
    c.Meter->repaint();
    const TMMNeedleGeometry g = c.Meter->Geometry();
    c.Meter->SetValue(90);
    c.Meter->SetValue(30);
    const int peak = c.Meter->State().PeakPosition();
    const int needle = c.Meter->State().NeedlePosition();
    ASSERT_GT(peak, needle + 2000);
    EXPECT_EQ(c.Work(g.PeakPoint(peak, g.Radius())), clRed);
    EXPECT_EQ(c.Work(g.PeakPoint(needle, g.Radius())), kNeedle);

    c.Ticks.Fire(); // the hold ends: 500 down
    QApplication::processEvents();
    EXPECT_EQ(c.Meter->State().PeakPosition(), peak - 500);
    EXPECT_EQ(c.Work(g.PeakPoint(peak - 500, g.Radius())), clRed);
    EXPECT_NE(c.Work(g.PeakPoint(peak, g.Radius())), clRed);
    c.Ticks.Fire(); // PeakSpeed 2: every second tick
    QApplication::processEvents();
    EXPECT_EQ(c.Meter->State().PeakPosition(), peak - 500);
    c.Ticks.Fire(2 * (peak - needle) / 500);
    QApplication::processEvents();
    EXPECT_EQ(c.Meter->State().PeakPosition(), needle);
    EXPECT_EQ(c.Work(g.PeakPoint(needle, g.Radius())), kNeedle) << "the main needle lies on top";

    // Without the peak needle the tick client is suspended.
    c.Meter->SetShowPeak(false);
    c.Meter->SetValue(90);
    c.Meter->SetValue(30);
    c.Ticks.Fire(200);
    EXPECT_EQ(c.Meter->State().PeakPosition(), needle);
}

// The console's meter on its blue face at 0 VU, a peak-mode meter with its
// peak needle, and the menu's small preview; with VELMORA_SHOT_DIR set the
// picture is saved there as meters.png for a person to look at.
TEST(Meter, SampleShot) {
    Q_INIT_RESOURCE(mainwindow);
    ConsoleMeter c(false);
    c.Window.resize(760, 240);
    const QImage blue(QStringLiteral(":/mainwindow/FaceBlue.png"));
    ASSERT_FALSE(blue.isNull());
    c.Meter->SetBackGroundDIB(blue);
    c.Meter->SetCaption("VU");
    c.Meter->SetShowRefLevel(true);
    auto *peak = new TMMMeter(&c.Window, &c.Service);
    peak->SetBounds(390, 35, 341, 185);
    peak->SetNeedleWidth(2);
    auto *small = new TMMMeter(&c.Window, &c.Service);
    small->SetBounds(5, 5, 129, 70);
    small->SetMeterMode(mmVU);
    small->SetBackGroundDIB(blue);
    c.Show();
    c.Settle(3276.7);
    peak->SetValue(80);
    peak->SetValue(20);
    const QImage shot = c.Window.grab().toImage();
    if (const char *dir = std::getenv("VELMORA_SHOT_DIR")) shot.save(QString(dir) + "/meters.png");
    EXPECT_EQ(Rgb(shot.pixel(32 + 1 + 231, 35 + 1 + 30)), kNeedle);
    EXPECT_EQ(Rgb(shot.pixel(390 + 1 + peak->Geometry().PeakPoint(peak->State().PeakPosition(), 100).x(),
                             35 + 1 + peak->Geometry().PeakPoint(peak->State().PeakPosition(), 100).y())),
              clRed);
}

// The process-wide service ticks on its own thread; the moved peak needle is drawn on the
// main thread without any audio.
TEST(Meter, PeakNeedleFallsOnTheServicesOwnThread) {
    QWidget window;
    window.resize(200, 120);
    auto *m = new TMMMeter(&window);
    m->SetPeakDelay(0);
    m->SetPeakSpeed(1);
    m->SetLogAmp(false);
    window.show();
    ASSERT_TRUE(PumpEventsUntil([&] { return window.windowHandle()->isExposed(); }, 5000));
    m->SetValue(90);
    m->SetValue(20);
    const int needle = m->State().NeedlePosition();
    ASSERT_GT(m->State().PeakPosition(), needle);
    const TMMNeedleGeometry g = m->Geometry();
    // 45 falls of 500 at 25 ms: about 1.1 s.
    EXPECT_TRUE(PumpEventsUntil([&] { return m->State().PeakPosition() == needle; }, 5000));
    QApplication::processEvents();
    EXPECT_EQ(
        m->DIBCanvas().PixelColor(g.PeakPoint(needle, g.Radius()).x(), g.PeakPoint(needle, g.Radius()).y()),
        clWhite)
        << "the main needle lies over the fallen peak needle";
    const QPoint high = g.PeakPoint(m->State().PeakPosition() + 8000, g.Radius());
    EXPECT_NE(m->DIBCanvas().PixelColor(high.x(), high.y()), clRed) << "the peak needle was left behind";
}

TEST(Meter, EightBitPicture) {
    ConsoleMeter c;
    c.Meter->SetBitsPerPixel(8);
    c.Meter->repaint();
    EXPECT_EQ(c.Meter->FaceBitmap().BitsPerPixel(), 8);
    c.Meter->SetDecayMode(dmNone);
    c.Meter->SetValue(7);
    const TMMNeedleGeometry g = c.Meter->Geometry();
    const QPoint tip = g.VUPoint(c.Meter->State().NeedleAngle(), g.Radius());
    EXPECT_EQ(c.Work(tip), FromQColor(QColor(TMMDIBCanvas::Palette()[TMMDIBCanvas::NearestIndex(kNeedle)])));
    EXPECT_EQ(c.Work(QPoint(100, 120)), clGreen);
}
