#include "widgets/MMDIBGraphicControl.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

// The console's two PEAK bars fed at the connector's pace: what reaches the
// screen, and what each block costs the main thread.

namespace {

using Clock = std::chrono::steady_clock;

// A bar that counts what it puts on the screen.
class CountingBar : public TMMDIBGraphicControl {
  public:
    using TMMDIBGraphicControl::TMMDIBGraphicControl;
    int Presents = 0;

  protected:
    void paintEvent(QPaintEvent *event) override {
        ++Presents;
        TMMDIBGraphicControl::paintEvent(event);
    }
};

// The meter panel's pair: 20 × 288 with a raised inner bevel (inner 18 × 286).
struct Panel {
    QWidget Window;
    CountingBar *Bars[2];
    TMMDIBCanvas Unlit;

    Panel() {
        Window.resize(60, 300);
        for (int i = 0; i < 2; ++i) {
            Bars[i] = new CountingBar(&Window);
            Bars[i]->SetBounds(5 + i * 25, 5, 20, 288);
            Bars[i]->Bevel().SetBevelInner(bvRaised);
        }
        const TRect inner = Bars[0]->InnerRect();
        Unlit.Resize(inner.Width(), inner.Height());
        Unlit.BeginDrawing();
        Unlit.SetColor(clBlack);
        Unlit.Clear();
        for (int spot = 0; spot < 71; ++spot) {
            Unlit.SetColor(spot < 28 ? clTeal : spot < 47 ? clTeal : clMaroon);
            const int top = inner.Height() - 1 - spot * 4 - 3;
            Unlit.FillRect(Rect(0, top, inner.Width(), top + 3), true);
        }
        Unlit.EndDrawing();
        Window.show();
        while (!Window.windowHandle() || !Window.windowHandle()->isExposed())
            QApplication::processEvents();
        QApplication::processEvents();
    }

    // One block: the unlit bar copied in, `lit` spots filled.
    void Draw(int bar, int lit) {
        CountingBar *control = Bars[bar];
        control->DrawAtOnce([&](TMMDIBCanvas &work) {
            const TRect inner = control->InnerRect();
            work.Resize(inner.Width(), inner.Height());
            work.BeginDrawing();
            work.CopyFrom(Unlit);
            for (int spot = 0; spot < lit; ++spot) {
                work.SetColor(spot < 28 ? clAqua : spot < 47 ? clAqua : clRed);
                const int top = inner.Height() - 1 - spot * 4 - 3;
                work.FillRect(Rect(0, top, inner.Width(), top + 3));
            }
            work.EndDrawing();
        });
    }

    int Presents() const { return Bars[0]->Presents + Bars[1]->Presents; }
};

// The main loop between two blocks: one pass over what is due, then asleep
// until the block falls due, as the connector's trigger loop does.
void PumpUntil(Clock::time_point deadline) {
    QApplication::processEvents();
    std::this_thread::sleep_until(deadline);
}

int Level(std::int64_t block) {
    return static_cast<int>((block * 7) % 72); // every block moves the bar
}

} // namespace

// 960 blocks a second for each bar, for three seconds, in real time. One
// iteration is one block: a draw of each bar. CPU is the main thread's.
static void BM_PeakBarsAtBlockRate(benchmark::State &state) {
    Panel panel;
    const auto period = std::chrono::nanoseconds(1'000'000'000 / 960);
    const int before = panel.Presents();
    const auto start = Clock::now();
    auto due = start;
    std::int64_t block = 0;
    for (auto _ : state) {
        PumpUntil(due);
        panel.Draw(0, Level(block));
        panel.Draw(1, Level(block + 11));
        ++block;
        due += period;
    }
    PumpUntil(Clock::now() + std::chrono::milliseconds(40)); // the last frame
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["presents_per_s_per_bar"] = (panel.Presents() - before) / seconds / 2;
    state.counters["draws_per_s_per_bar"] = double(block) / seconds;
}
BENCHMARK(BM_PeakBarsAtBlockRate)->Iterations(960 * 3)->Unit(benchmark::kMicrosecond);

// The same main loop without the bars: what the pacing itself costs.
static void BM_MainLoopAtBlockRate(benchmark::State &state) {
    Panel panel;
    const auto period = std::chrono::nanoseconds(1'000'000'000 / 960);
    auto due = Clock::now();
    for (auto _ : state) {
        PumpUntil(due);
        due += period;
    }
}
BENCHMARK(BM_MainLoopAtBlockRate)->Iterations(960 * 3)->Unit(benchmark::kMicrosecond);

// As fast as the main thread can: the cost of one block with the main loop
// turning after every block.
static void BM_PeakBarsFlatOut(benchmark::State &state) {
    Panel panel;
    const int before = panel.Presents();
    const auto start = Clock::now();
    std::int64_t block = 0;
    for (auto _ : state) {
        panel.Draw(0, Level(block));
        panel.Draw(1, Level(block + 11));
        QApplication::processEvents();
        ++block;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["presents_per_s_per_bar"] = (panel.Presents() - before) / seconds / 2;
    state.counters["draws_per_s_per_bar"] = double(block) / seconds;
}
BENCHMARK(BM_PeakBarsFlatOut)->MinTime(2.0)->Unit(benchmark::kMicrosecond);

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
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
