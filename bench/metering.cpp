#include "BenchMain.h"
#include "app/Forms.h"
#include "app/MainFrm.h"
#include "app/MeterPnl.h"
#include "app/MeteringLaws.h"
#include "platform/SimWaveIn.h"
#include "widgets/MMColors.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <string>

// What the console's read-out timers cost the main thread: the 20 ms tick that reads
// the PEAK bars back into the dB read-outs, CLIP latches and margin LEDs, and the 1 s tick
// that lights the signal bars and feeds the trend graph. Each case reports the time of
// one call and the share of one core it takes at 50 calls a second and at one a second.
// The held peaks stay the same from call to call, so the read-out texts do not change.

namespace {

// CPU time of this thread: other helpers share the machine, so wall time would charge
// their work to the handler.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The console on a simulated capture device and an empty settings folder, beside its meter
// panel, as the application tests build it. Capture is never started: the window is not shown.
struct TConsole {
    QTemporaryDir SettingsDir;
    TSimWaveInDriver Driver;
    TMeterPanel Panel;
    TMainForm Form{{Driver, SettingsDir.path(), {}}};

    TConsole() { RegisterForm(&Panel); }

    // Holds the two bars' peaks at `left` and `right` percent of full scale. The bars are
    // disabled first, which suspends their peak tick: otherwise the held peaks would fall
    // during the run and the case would drift towards silence.
    void HoldPeaks(int left, int right) {
        for (TMMLevel *bar : {Panel.MMLevel1, Panel.MMLevel2})
            bar->setEnabled(false);
        Panel.MMLevel1->SetValue(left);
        Panel.MMLevel2->SetValue(right);
    }
};

// Runs `call` once per iteration and reports its cost. `check` returns what is wrong with
// the console afterwards (empty when nothing), so a case that measured the wrong thing
// fails instead of reporting.
template <typename Call, typename Check> void Measure(benchmark::State &state, Call call, Check check) {
    call(); // first-time text layout and palette work out of the way
    QApplication::processEvents();
    const double start = ThreadSeconds();
    for (auto _ : state)
        call();
    const double perCall = (ThreadSeconds() - start) / double(state.iterations());
    if (const std::string wrong = check(); !wrong.empty()) {
        state.SkipWithError(wrong.c_str());
        return;
    }
    state.counters["ns_per_call"] = perCall * 1e9;
    // Parts per million of one core: the shares are far below a percent.
    state.counters["core_ppm_at_50_per_s"] = perCall * 50 * 1e6;
    state.counters["core_ppm_at_1_per_s"] = perCall * 1e6;
}

// Empty when the left read-out shows `expected`.
std::string LeftReadOutIs(const TConsole &console, const QString &expected) {
    const QString shown = console.Form.PLLbl->text();
    return shown == expected ? std::string() : "left read-out shows \"" + shown.toStdString() + '"';
}

void HiTimerTick(benchmark::State &state, int left, int right, const QString &expected) {
    TConsole console;
    console.HoldPeaks(left, right);
    Measure(
        state, [&] { console.Form.MMHiTimer1Timer(nullptr); },
        [&] { return LeftReadOutIs(console, expected); });
}

} // namespace

// Both bars silent: "-Inf" read-outs, dark margin LEDs, no clip.
static void BM_HiTimerSilence(benchmark::State &state) {
    HiTimerTick(state, 0, 0, QStringLiteral("  -Inf dB"));
}
BENCHMARK(BM_HiTimerSilence);

// Both bars at -20 dBFS: a steady read-out and a lit margin LED, no clip.
static void BM_HiTimerMinus20dBFS(benchmark::State &state) {
    HiTimerTick(state, 10, 10, QStringLiteral("-20.00 dB"));
}
BENCHMARK(BM_HiTimerMinus20dBFS);

// Both bars at full scale: every tick latches CLIP again and restarts both 10 s release
// timers.
static void BM_HiTimerClipEachTick(benchmark::State &state) {
    TConsole console;
    console.HoldPeaks(100, 100);
    // The run lasts well over the margin below, so the 10 s count must have begun anew at
    // the last call, not at the first.
    Measure(
        state, [&] { console.Form.MMHiTimer1Timer(nullptr); },
        [&] {
            const int left = console.Form.ClipTimerL->remainingTime();
            const int right = console.Form.ClipTimerR->remainingTime();
            if (left < kClipLatchMs - 50 || right < kClipLatchMs - 50)
                return "the clip timers were not restarted: " + std::to_string(left) + " and " +
                       std::to_string(right) + " ms left";
            const bool red = console.Panel.ClipL->palette().color(QPalette::WindowText) == ToQColor(clRed);
            return red ? std::string() : std::string("CLIP is not lit");
        });
}
BENCHMARK(BM_HiTimerClipEachTick);

// The once-a-second tick at -20 dBFS: two dB texts, the signal bars, one trend sample.
static void BM_Timer1Tick(benchmark::State &state) {
    TConsole console;
    console.HoldPeaks(10, 10);
    console.Form.MMHiTimer1Timer(nullptr); // the read-out the check below looks at
    Measure(
        state, [&] { console.Form.Timer1Timer(); },
        [&] {
            return console.Form.SIGLED->Enabled() ? LeftReadOutIs(console, QStringLiteral("-20.00 dB"))
                                                  : std::string("the signal bar is dark");
        });
}
BENCHMARK(BM_Timer1Tick);

int main(int argc, char **argv) {
    return RunBenchmarks<QApplication>(argc, argv);
}
