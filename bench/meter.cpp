#include "BenchMain.h"
#include "widgets/MMMeter.h"

#include <QApplication>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <thread>
#include <vector>

// The console's two VU needle meters: what one block costs the main thread
// (its RMS, the ballistics, the needle redrawn into the work bitmap), and
// what reaches the screen when the connector feeds them in real time.

namespace {

using Clock = std::chrono::steady_clock;

// The console's VU section: two 341 × 185 meters on a face picture, -20 dBFS reference.
struct Section {
    QWidget Window;
    TMMMeter *Meters[2];
    int Presents = 0; // copies of a work bitmap to the screen
    // Blocks of a 1 kHz tone whose level steps through 24 values between -18 and +3 VU,
    // so the needle moves every block.
    std::vector<std::vector<std::int16_t>> Blocks;

    Section() {
        Window.resize(800, 260);
        QImage face(417, 258, QImage::Format_RGB32);
        for (int y = 0; y < face.height(); ++y)
            for (int x = 0; x < face.width(); ++x)
                face.setPixel(x, y, qRgb(60 + x / 3, 110 + y / 3, 200));
        for (int i = 0; i < 2; ++i) {
            auto *m = Meters[i] = new TMMMeter(&Window);
            m->SetOnPostPaint([this](TObject *) { ++Presents; });
            m->SetBounds(32 + i * 386, 35, 341, 185);
            m->SetMeterMode(mmVU);
            m->SetNeedleWidth(2);
            m->SetBitLength(b16Bit);
            m->SetMode(mStereo);
            m->SetChannel(i == 0 ? chLeft : chRight);
            m->SetRefLevel(-20.0);
            m->SetBackGroundDIB(face);
        }
        for (int step = 0; step < 24; ++step) {
            const double amplitude = 400.0 + 4000.0 * step / 23.0;
            std::vector<std::int16_t> block;
            for (int n = 0; n < 1000; ++n) {
                const auto s = static_cast<std::int16_t>(
                    std::lround(amplitude * std::sin(2.0 * std::numbers::pi * 1000.0 * n / 48000.0)));
                block.push_back(s);
                block.push_back(s);
            }
            Blocks.push_back(std::move(block));
        }
        Window.show();
        while (!Window.windowHandle() || !Window.windowHandle()->isExposed())
            QApplication::processEvents();
        QApplication::processEvents();
        // Ballistics off: every block moves the needle by the full step.
        for (TMMMeter *m : Meters)
            m->SetDecayMode(dmNone);
    }

    const void *Block(std::int64_t i) const { return Blocks[static_cast<std::size_t>(i % 24)].data(); }
};

} // namespace

// One block into one meter: RMS of 1000 stereo frames, the VU law, the old and
// new needle's rectangle restored from the face and the needle drawn.
static void BM_VUBlockAndNeedleRedraw(benchmark::State &state) {
    Section section;
    std::int64_t block = 0;
    for (auto _ : state) {
        section.Meters[0]->ProcessBlock(section.Block(block++));
        if (block % 64 == 0) QApplication::processEvents();
    }
    state.SetItemsProcessed(block);
}
BENCHMARK(BM_VUBlockAndNeedleRedraw)->Unit(benchmark::kMicrosecond);

// The same block when the needle does not move: the RMS and the law only.
static void BM_VUBlockNeedleStill(benchmark::State &state) {
    Section section;
    section.Meters[0]->ProcessBlock(section.Block(5));
    for (auto _ : state)
        section.Meters[0]->ProcessBlock(section.Block(5));
}
BENCHMARK(BM_VUBlockNeedleStill)->Unit(benchmark::kMicrosecond);

// The face rebuilt and the whole picture drawn: what a full paint costs once.
static void BM_VUFullPaint(benchmark::State &state) {
    Section section;
    TMMMeter *m = section.Meters[0];
    bool odd = false;
    for (auto _ : state) {
        odd = !odd;
        m->SetCaption(odd ? "VU" : "vu"); // the face is out of date
        m->repaint();
    }
}
BENCHMARK(BM_VUFullPaint)->Unit(benchmark::kMicrosecond);

// Both meters fed in real time, 48 blocks a second each (1000 frames at
// 48 kHz), for three seconds. Between blocks the main loop turns about once a
// millisecond, as it does in the console, where the PEAK bars' 50-frame blocks
// wake the connector's trigger loop 960 times a second.
static void BM_VUMetersAtBlockRate(benchmark::State &state) {
    Section section;
    const auto period = std::chrono::nanoseconds(1'000'000'000 / 48);
    const int before = section.Presents;
    const auto start = Clock::now();
    auto due = start;
    std::int64_t block = 0;
    for (auto _ : state) {
        do {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } while (Clock::now() < due);
        section.Meters[0]->ProcessBlock(section.Block(block));
        section.Meters[1]->ProcessBlock(section.Block(block + 7));
        ++block;
        due += period;
    }
    const auto last = Clock::now() + std::chrono::milliseconds(40); // the last frame
    while (Clock::now() < last)
        QApplication::processEvents();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["presents_per_s_per_meter"] = (section.Presents - before) / seconds / 2;
    state.counters["blocks_per_s_per_meter"] = double(block) / seconds;
}
BENCHMARK(BM_VUMetersAtBlockRate)->Iterations(48 * 3)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv) {
    return RunBenchmarks<QApplication>(argc, argv);
}
