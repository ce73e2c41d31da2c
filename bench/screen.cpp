#include "BenchMain.h"
#include "app/Forms.h"
#include "app/MainFrm.h"
#include "app/MeterPnl.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include <signal.h>

// The console's two PEAK bars: what one block costs the main thread (the level
// and its draw into the work bitmap), and what reaches the screen when blocks
// come at the connector's pace, from a synthetic signal and live from capture.

namespace {

using Clock = std::chrono::steady_clock;

// Counts what the main loop puts on the screen for each bar.
class TPresentCounter : public QObject {
  public:
    int Presents = 0;

  protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) ++Presents;
        return false;
    }
};

void Settle(QWidget &window) {
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QApplication::processEvents();
    QApplication::processEvents();
}

// The meter panel shown on its own, its presents counted.
struct TPanel {
    TMeterPanel Meter;
    TPresentCounter Counter;
    TMMLevel *Bars[2];

    TPanel() : Bars{Meter.MMLevel1, Meter.MMLevel2} {
        for (TMMLevel *bar : Bars)
            bar->installEventFilter(&Counter);
        Settle(Meter);
        Counter.Presents = 0;
    }
};

// Stereo 50-frame blocks of a 1 kHz sine whose level changes from block to
// block (a programme, not a steady tone), so nearly every block moves a bar.
std::vector<std::vector<std::int16_t>> Programme(int blocks) {
    std::vector<std::vector<std::int16_t>> out(blocks);
    for (int b = 0; b < blocks; ++b) {
        const double amplitude = 32767.0 * std::pow(10.0, -(b * 7 % 60) / 20.0);
        for (int i = 0; i < 50; ++i) {
            const double v = amplitude * std::sin(2 * M_PI * 1000.0 * (b * 50 + i) / 48000.0);
            out[b].push_back(static_cast<std::int16_t>(std::lround(v)));
            out[b].push_back(static_cast<std::int16_t>(std::lround(v * 0.5)));
        }
    }
    return out;
}

// The main loop between two blocks: one pass over what is due, then asleep
// until the block falls due, as the connector's trigger loop does.
void PumpUntil(Clock::time_point deadline) {
    QApplication::processEvents();
    std::this_thread::sleep_until(deadline);
}

} // namespace

// One block into one bar, as fast as the main thread can: the level, the spots
// that changed drawn into the work bitmap, the slice handed to the frame clock.
// Arg 0: the bar moves a few spots each block (a programme); 1: it swings
// between 0 and 71 spots (the worst case); 2: a steady tone (nothing to draw).
static void BM_LevelBlock(benchmark::State &state) {
    TPanel panel;
    TMMLevel *bar = panel.Bars[0];
    bar->SetDecayMode(dmNone);
    std::vector<std::vector<std::int16_t>> blocks;
    if (state.range(0) == 0) blocks = Programme(64);
    if (state.range(0) == 1)
        blocks = {std::vector<std::int16_t>(100, 32767), std::vector<std::int16_t>(100, 0)};
    if (state.range(0) == 2) blocks = {Programme(1)[0]};
    std::size_t i = 0, n = 0;
    for (auto _ : state) {
        bar->ProcessBlock(blocks[i].data());
        if (++i == blocks.size()) i = 0;
        if ((++n & 4095) == 0) QApplication::processEvents(); // the frames the draws asked for
    }
}
BENCHMARK(BM_LevelBlock)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kNanosecond);

// 960 blocks a second for each bar (the console's 50-frame blocks at 48 kHz),
// for three seconds, in real time, with the console's ballistics. One
// iteration is one block for each bar. CPU is the main thread's.
static void BM_PeakBarsAtBlockRate(benchmark::State &state) {
    TPanel panel;
    const auto blocks = Programme(960);
    const auto period = std::chrono::nanoseconds(1'000'000'000 / 960);
    const auto start = Clock::now();
    auto due = start;
    std::int64_t block = 0;
    for (auto _ : state) {
        PumpUntil(due);
        for (TMMLevel *bar : panel.Bars)
            bar->ProcessBlock(blocks[block % 960].data());
        ++block;
        due += period;
    }
    PumpUntil(Clock::now() + std::chrono::milliseconds(40)); // the last frame
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["presents_per_s_per_bar"] = panel.Counter.Presents / seconds / 2;
    state.counters["blocks_per_s_per_bar"] = double(block) / seconds;
}
BENCHMARK(BM_PeakBarsAtBlockRate)->Iterations(960 * 3)->Unit(benchmark::kMicrosecond);

// The same main loop without the bars: what the pacing itself costs.
static void BM_MainLoopAtBlockRate(benchmark::State &state) {
    TPanel panel;
    const auto period = std::chrono::nanoseconds(1'000'000'000 / 960);
    auto due = Clock::now();
    for (auto _ : state) {
        PumpUntil(due);
        due += period;
    }
}
BENCHMARK(BM_MainLoopAtBlockRate)->Iterations(960 * 3)->Unit(benchmark::kMicrosecond);

// Live: the console's capture (ALSA's default, the test PulseAudio server) and
// connector feeding the meter panel while a -20 dBFS 1 kHz tone plays on the
// left channel and music-like level steps on the right. Needs VELMORA_PULSE.
// One iteration is one second of the main loop.
static void BM_PeakBarsLive(benchmark::State &state) {
    if (std::getenv("VELMORA_PULSE") == nullptr) {
        state.SkipWithError("no PulseAudio server (VELMORA_PULSE unset)");
        return;
    }
    QTemporaryDir dir;
    const QString wav = dir.filePath("tone.wav");
    {
        // 20 s: a steady tone left; right, the same tone stepping down 7 dB every 50 ms.
        const int frames = 20 * 48000;
        std::ofstream out(wav.toStdString(), std::ios::binary);
        auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char *>(&v), 4); };
        auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char *>(&v), 2); };
        out.write("RIFF", 4);
        u32(36 + frames * 4);
        out.write("WAVEfmt ", 8);
        u32(16), u16(1), u16(2), u32(48000), u32(192000), u16(4), u16(16);
        out.write("data", 4);
        u32(frames * 4);
        for (int n = 0; n < frames; ++n) {
            const double s = std::sin(2 * M_PI * 1000.0 * n / 48000.0);
            const auto l = static_cast<std::int16_t>(std::lround(3276.7 * s));
            const auto r = static_cast<std::int16_t>(
                std::lround(32767.0 * std::pow(10.0, -(n / 2400 * 7 % 60) / 20.0) * s));
            out.write(reinterpret_cast<const char *>(&l), 2);
            out.write(reinterpret_cast<const char *>(&r), 2);
        }
    }
    TPanel panel;
    RegisterForm(&panel.Meter);
    TMainForm form({SystemWaveInDriver(), dir.path(), nullptr});
    form.FormShow();
    QProcess player;
    player.start("paplay", {"--latency-msec=20", wav});
    player.waitForStarted(10000);
    const auto settle = Clock::now() + std::chrono::seconds(1);
    while (Clock::now() < settle)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    TPresentCounter left, right;
    panel.Bars[0]->installEventFilter(&left);
    panel.Bars[1]->installEventFilter(&right);
    const auto start = Clock::now();
    for (auto _ : state) {
        const auto end = Clock::now() + std::chrono::seconds(1);
        while (Clock::now() < end)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["presents_per_s_left_tone"] = left.Presents / seconds;
    state.counters["presents_per_s_right_steps"] = right.Presents / seconds;
    state.counters["left_bar_spots"] = panel.Bars[0]->State().BarPosition();
    form.MMWaveIn1->Stop();
    form.MMWaveIn1->Close();
    ::kill(static_cast<pid_t>(player.processId()), SIGTERM);
    player.waitForFinished(5000);
}
BENCHMARK(BM_PeakBarsLive)->Iterations(5)->Unit(benchmark::kMillisecond);

// Captions written through a painter into an 8-bit needle-meter picture:
// antialiased text leaves many colours to map back to the palette.
static void BM_EightBitText(benchmark::State &state) {
    TMMDIBCanvas canvas;
    canvas.SetBitsPerPixel(8);
    canvas.Resize(339, 183);
    canvas.BeginDrawing();
    canvas.SetColor(clCream);
    canvas.Clear();
    canvas.EndDrawing();
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(14);
    for (auto _ : state) {
        canvas.Paint([&](QPainter &p) {
            p.setFont(font);
            p.setPen(QColor(20, 40, 160));
            for (int row = 0; row < 8; ++row)
                p.drawText(4, 18 + row * 21, QStringLiteral("-20  -10  -7  -5  -3  0  +3 VU"));
        });
        benchmark::DoNotOptimize(canvas.Bits());
    }
}
BENCHMARK(BM_EightBitText)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv) {
    return RunBenchmarks<QApplication>(argc, argv);
}
