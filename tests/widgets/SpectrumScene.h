#pragma once

// The console's two analysers and its phase display in a shown window, with
// a generator of stereo 16-bit blocks at 48000 Hz.

#include "app/ConsoleSpectra.h"
#include "audio/MMPeakTick.h"
#include "common/ManualTimerSource.h"
#include "common/PumpEventsUntil.h"
#include "widgets/MMPanel.h"
#include "widgets/MMSpectrum.h"

#include <QApplication>
#include <QWindow>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>
#include <vector>

constexpr TColor kSpectrumFace = 2040095;

// Tones as (frequency, amplitude in full-scale fractions), identical on both
// channels, continuing in phase from block to block.
class TToneBlocks {
  public:
    explicit TToneBlocks(std::vector<std::pair<double, double>> tones) : FTones(std::move(tones)) {}
    // `frames` stereo frames.
    std::vector<std::int16_t> Next(int frames = 2048) {
        std::vector<std::int16_t> block;
        block.reserve(static_cast<std::size_t>(frames) * 2);
        for (int i = 0; i < frames; ++i, ++FFrame) {
            double v = 0;
            for (const auto &[hz, amp] : FTones)
                v += amp * std::sin(2 * std::numbers::pi * hz * FFrame / 48000.0);
            const auto s = static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
            block.push_back(s);
            block.push_back(s);
        }
        return block;
    }

  private:
    std::vector<std::pair<double, double>> FTones;
    long FFrame = 0;
};

inline void SetStereo48k(TMMSpectrum &s) {
    s.SetMode(mStereo);
    s.SetBitLength(b16Bit);
    s.SetSampleRate(48000);
}

// The large analyser as the console sets it up.
inline void SetUpLargeAnalyser(TMMSpectrum &s) {
    SetUpLargeSpectrum(s, {6, 21, 776, 220});
}

// The small analyser in its bar form (LINE SPA off).
inline void SetUpSmallAnalyser(TMMSpectrum &s) {
    SetUpSmallSpectrum(s, {-10, 6, 296, 109});
    s.SetNumPeaks(1);
    s.SetKind(skBars);
    s.SetBar1Color(clWhite);
}

// One spectrum on a panel of the console's face, in its own shown window,
// its peaks aging on a tick service the test drives.
struct TSpectrumScene {
    ManualTimerSource Source;
    TMMPeakTickService Ticks{&Source};
    QWidget Window;
    TMMPanel *Panel;
    TMMSpectrum *Spectrum;

    explicit TSpectrumScene(QSize size = {800, 260}) {
        Window.resize(size);
        Panel = new TMMPanel(&Window);
        Panel->setGeometry(0, 0, size.width(), size.height());
        Panel->SetColor(kSpectrumFace);
        Spectrum = new TMMSpectrum(Panel, &Ticks);
    }
    ~TSpectrumScene() { delete Spectrum; } // before the tick service goes

    void Show() {
        Window.show();
        EXPECT_TRUE(PumpEventsUntil([&] { return Window.windowHandle()->isExposed(); }, 5000));
        QApplication::processEvents();
    }
    void Feed(TToneBlocks &tones, int blocks = 1) {
        for (int i = 0; i < blocks; ++i) {
            const auto block = tones.Next(Spectrum->FFTLength());
            Spectrum->RefreshPCMData(block.data());
        }
    }
    // The segment that shows `bin`.
    TMMBarSegment SegmentOf(int bin) const {
        const TMMColumnTable &c = Spectrum->Columns();
        for (const TMMBarSegment &s : Spectrum->Segments()) {
            const int first = c.First[static_cast<std::size_t>(s.First)];
            const int last = std::max(c.End[static_cast<std::size_t>(s.First)] - 1, first);
            if (bin >= first && bin <= last) return s;
        }
        return {};
    }
};
