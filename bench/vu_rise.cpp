// The IEC VU needle as the operator sees it: the console, its needles set to IEC VU, captures
// the simulated 1 kHz tone at -20 dBFS (0 VU at the reference of -20), which starts with the
// capture. For a second from then, once a display frame, the left needle's angle is read off
// the screen (the pixels that differ from the meter's face, seen from the pivot) and set
// against the law run on the same tone block by block: the screen must show the law's needle
// after one of the blocks the connector handed out within the last frame. The rise to 99 % is
// reported, on the screen and in the law.
//
// Needs an X display to read a screen (xvfb-run); without DISPLAY it reads Qt's offscreen
// platform's picture of the windows.
// Usage: bench_vu_rise

#include "app/Forms.h"
#include "app/MainFrm.h"
#include "platform/MicrosecondClock.h"
#include "platform/SimWaveIn.h"
#include "tests/widgets/ConsoleMeters.h"
#include "tests/widgets/ToneBursts.h"

#include <QApplication>
#include <QEventLoop>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kBlockFrames = 1000;
constexpr double kFrameUs = 1e6 / 60.0;
constexpr double kBlockMs = kBlockFrames * 1000.0 / kTestRate;

struct TSample {
    std::int64_t Us;
    std::int64_t Blocks; // meter blocks handed out by then
    double Screen;       // the needle's angle on the screen, radians from the left end; NAN: none
};

// The law's needle after n blocks of the tone, n = 0 (at rest) .. blocks.
std::vector<double> LawAngles(int blocks) {
    TMMMeterState needle;
    ConsoleNeedle(needle, chLeft);
    needle.SetNeedleStandard(nsIECVU);
    const TToneBursts tone = TToneBursts().Tone(1000, -20, (blocks + 1) * kBlockMs / 1000.0);
    std::vector<double> angles{0.0};
    for (int b = 0; b < blocks; ++b) {
        needle.ProcessBlock(tone.Block(b, kBlockFrames));
        angles.push_back(needle.NeedleAngle());
    }
    return angles;
}

// The angle at which the meter draws a needle pointing at `theta`: towards its tip, rounded
// to the pixel.
double DrawnAngle(double theta, const TMMNeedleGeometry &g) {
    const QPoint tip = g.VUPoint(theta, g.Radius()) - g.Pivot();
    return std::atan2(tip.x(), -tip.y()) + g.Swing() / 2.0;
}

// The needle's angle in `shot` (the meter's inner rectangle as on the screen): the mean
// direction, seen from the pivot, of the pixels that differ from the face between 35 and 90 %
// of the needle's length. The pen repeats the one-pixel line right and down of it, so a pixel
// stands for the line half the pen's width up and left.
double NeedleAngle(const QImage &shot, const QImage &face, const TMMNeedleGeometry &g, int penWidth) {
    const TMMPenSpan pen = PenSpan(penWidth);
    const double shift = (pen.First + pen.Last) / 2.0;
    const QPoint pivot = g.Pivot();
    const double r = g.Radius();
    double sum = 0.0;
    int count = 0;
    for (int y = 0; y < shot.height() && y < face.height(); ++y)
        for (int x = 0; x < shot.width() && x < face.width(); ++x) {
            const QRgb a = shot.pixel(x, y), b = face.pixel(x, y);
            if (std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                    std::abs(qBlue(a) - qBlue(b)) <
                48)
                continue;
            const double dx = x - shift - pivot.x(), dy = pivot.y() - (y - shift);
            const double d = std::hypot(dx, dy);
            if (d < 0.35 * r || d > 0.9 * r) continue;
            sum += std::atan2(dx, dy);
            ++count;
        }
    return count == 0 ? NAN : sum / count + g.Swing() / 2.0;
}

} // namespace

int main(int argc, char **argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", std::getenv("DISPLAY") != nullptr ? "xcb" : "offscreen", 1);
    QApplication app(argc, argv);

    QTemporaryDir dir;
    TSettings settings;
    settings.InputDevNo = 1; // the simulated 1 kHz tone at -20 dBFS
    settings.Standards.Needle = nsIECVU;
    WriteAllSettings(SettingsFilePath(dir.path()), settings);
    TSimWaveInDriver sim;
    CreateForms({sim, dir.path(), nullptr});
    TMMMeter &meter = *MainForm->PlayMeterL;
    MainForm->show();

    std::vector<TSample> samples;
    std::int64_t start = 0;
    QEventLoop loop;
    QTimer frame;
    frame.setTimerType(Qt::PreciseTimer);
    frame.callOnTimeout([&] {
        const std::int64_t now = MicrosecondClock();
        const std::int64_t blocks = MainForm->MMConnector2->BlockCount(TMMConnector::dgMeters);
        if (blocks == 0) return; // the tone has not reached the meters yet
        if (start == 0) start = now;
        const TRect r = meter.InnerRect();
        const QRect inner(r.Left, r.Top, r.Width(), r.Height());
        const QPoint at = meter.mapToGlobal(inner.topLeft());
        const QImage shot =
            meter.screen()->grabWindow(0, at.x(), at.y(), inner.width(), inner.height()).toImage();
        const QImage face = meter.FaceBitmap().Image().convertToFormat(QImage::Format_RGB32);
        samples.push_back({now, blocks,
                           NeedleAngle(shot.convertToFormat(QImage::Format_RGB32), face, meter.Geometry(),
                                       meter.NeedleWidth())});
        if (now - start > 1'000'000) loop.quit();
    });
    frame.start(16);
    loop.exec();
    MainForm->MMWaveIn1->Stop();
    MainForm->MMWaveIn1->Close();

    std::vector<double> law = LawAngles(static_cast<int>(samples.back().Blocks) + 2);
    const double zeroVU = law.back();
    for (double &theta : law)
        theta = DrawnAngle(theta, meter.Geometry());
    // Half a pixel where the needle is read.
    const double tolerance = 0.5 / (0.6 * meter.Geometry().Radius());
    int matched = 0, checked = 0, screenRise = -1;
    std::printf("  ms  blocks  screen  law(block)  %% of 0 VU\n");
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const TSample &s = samples[i];
        // Blocks handed out by a frame before this sample: the screen shows one of them or a later one.
        std::int64_t earliest = 0;
        for (std::size_t j = 0; j < i; ++j)
            if (samples[j].Us <= s.Us - kFrameUs - 2000) earliest = samples[j].Blocks;
        std::int64_t best = -1;
        for (std::int64_t n = earliest; n <= s.Blocks; ++n)
            if (best < 0 || std::abs(law[n] - s.Screen) < std::abs(law[best] - s.Screen)) best = n;
        const bool ok = !std::isnan(s.Screen) && std::abs(law[best] - s.Screen) <= tolerance;
        ++checked;
        matched += ok ? 1 : 0;
        if (screenRise < 0 && s.Screen >= 0.99 * zeroVU) screenRise = static_cast<int>(i);
        std::printf("%5.0f  %3lld..%-3lld %6.4f  %6.4f(%lld)  %5.1f%s\n", (s.Us - start) / 1000.0,
                    static_cast<long long>(earliest), static_cast<long long>(s.Blocks), s.Screen, law[best],
                    static_cast<long long>(best), 100.0 * s.Screen / zeroVU, ok ? "" : "  <- off the law");
    }
    int lawRise = 0;
    while (law[lawRise] < 0.99 * zeroVU)
        ++lawRise;
    std::printf("platform=%s frames=%d matched the law within a frame: %d\n",
                qPrintable(QApplication::platformName()), checked, matched);
    std::printf(
        "rise to 99 %%: the law's block %d, %.1f ms of tone; on the screen %.0f ms after the first block\n",
        lawRise, lawRise * kBlockMs, screenRise < 0 ? NAN : (samples[screenRise].Us - start) / 1000.0);
    return matched == checked ? 0 : 1;
}
