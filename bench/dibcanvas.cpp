#include "widgets/MMDIBCanvas.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

// One frame of the console's bar meter: 18 × 286 inner area, 71 spots of 3
// rows, the unlit picture copied in, then the lit spots filled.
static void BM_BarMeterFrame(benchmark::State &state) {
    const int bits = static_cast<int>(state.range(0));
    const bool dotted = state.range(1) != 0;
    TMMDIBCanvas background, work;
    for (TMMDIBCanvas *c : {&background, &work}) {
        c->SetBitsPerPixel(bits);
        c->Resize(18, 286);
    }
    background.BeginDrawing();
    background.SetColor(clBlack);
    background.Clear();
    background.EndDrawing();
    for (auto _ : state) {
        work.BeginDrawing();
        work.CopyFrom(background);
        for (int spot = 0; spot < 71; ++spot) {
            work.SetColor(spot < 28 ? clLime : spot < 47 ? clYellow : clRed);
            const int top = 286 - 1 - spot * 4 - 3;
            work.FillRect(Rect(0, top, 18, top + 3), dotted);
        }
        work.EndDrawing();
        benchmark::DoNotOptimize(work.Bits());
    }
}
BENCHMARK(BM_BarMeterFrame)->Args({24, 0})->Args({24, 1})->Args({8, 0})->Args({8, 1});

// The block transfer of a finished 339 × 183 needle-meter picture to a window-sized image.
static void BM_CopyToDevice(benchmark::State &state) {
    TMMDIBCanvas canvas;
    canvas.SetBitsPerPixel(static_cast<int>(state.range(0)));
    canvas.Resize(339, 183);
    canvas.BeginDrawing();
    canvas.SetColor(clGreen);
    canvas.Clear();
    canvas.EndDrawing();
    QImage screen(400, 200, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&screen);
        canvas.CopyToDevice(p, 1, 1, 339, 183);
    }
}
BENCHMARK(BM_CopyToDevice)->Arg(24)->Arg(8);

// A spectrum polyline across a 2048-wide analyser: one line per column pair.
static void BM_SpectrumPolyline(benchmark::State &state) {
    TMMDIBCanvas canvas;
    canvas.Resize(725, 180);
    for (auto _ : state) {
        canvas.BeginDrawing();
        canvas.SetColor(clLime);
        canvas.MoveTo(0, 179);
        for (int x = 2; x <= 725; x += 2)
            canvas.LineTo(x, (x * 37) % 180);
        canvas.EndDrawing();
    }
}
BENCHMARK(BM_SpectrumPolyline);

BENCHMARK_MAIN();
