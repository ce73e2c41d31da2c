// What capture alone costs while streaming the console's format (48 kHz stereo
// 16-bit, 8192-byte buffers, thread mode): the CPU of every thread but the main
// one (the wave input's worker and the driver's threads, ALSA's plugin threads
// included) as % of one core, and how evenly the buffers arrive (their spacing
// against the ideal 42.667 ms). One run on the simulated real-time sine, one on
// ALSA's "default" (skipped when it cannot be opened; run with a PulseAudio
// server, e.g. under tools/run-tests.sh's set-up or bench/console-cpu.sh's).

#include "audio/MMWaveIn.h"
#include "platform/SimWaveIn.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// CPU seconds of every thread of the process except the calling (main) one.
double OtherThreadsCpu() {
    const long tick = sysconf(_SC_CLK_TCK);
    const QString self = QString::number(gettid());
    double seconds = 0;
    for (const QString &tid : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (tid == self) continue;
        QFile f("/proc/self/task/" + tid + "/stat");
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QByteArray stat = f.readAll();
        // Fields after the command's closing parenthesis: state is field 3, utime 14, stime 15.
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12) seconds += (fields[11].toDouble() + fields[12].toDouble()) / tick;
    }
    return seconds;
}

void MeasureCapture(benchmark::State &state, TWaveInDriver *driver, int device) {
    constexpr double kSeconds = 10.0;
    constexpr double kIdealMs = 8192.0 / 192000.0 * 1000.0;
    for (auto _ : state) {
        TMMWaveIn w(driver);
        w.SetMode(mStereo);
        w.SetBitLength(b16Bit);
        w.SetSampleRate(48000);
        w.SetBufferSize(8192);
        w.SetCallBackMode(cmThread);
        if (device >= w.DeviceCount()) {
            state.SkipWithError("no such capture device");
            return;
        }
        w.SetDeviceID(device);
        std::mutex lock;
        std::vector<double> arrivals;
        arrivals.reserve(1024);
        const auto origin = std::chrono::steady_clock::now();
        w.SetOnBufferReady([&](TObject *, PWaveHdr) {
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - origin).count();
            std::lock_guard guard(lock);
            arrivals.push_back(ms);
        });
        try {
            w.Start();
        } catch (const std::exception &e) {
            state.SkipWithError(e.what());
            return;
        }
        // Let the stream settle before measuring.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::size_t first;
        {
            std::lock_guard guard(lock);
            first = arrivals.size();
        }
        const double cpu0 = OtherThreadsCpu();
        QElapsedTimer wall;
        wall.start();
        while (wall.elapsed() < kSeconds * 1000) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const double cpu = OtherThreadsCpu() - cpu0;
        const double elapsed = wall.elapsed() / 1000.0;
        w.Close();

        std::lock_guard guard(lock);
        double sum = 0, sumSq = 0, worst = 0;
        std::size_t n = 0;
        for (std::size_t i = first + 1; i < arrivals.size(); ++i, ++n) {
            const double d = arrivals[i] - arrivals[i - 1] - kIdealMs;
            sum += d;
            sumSq += d * d;
            worst = std::max(worst, std::abs(d));
        }
        const double mean = n ? sum / n : 0;
        state.counters["cpu_pct_of_core"] = 100.0 * cpu / elapsed;
        state.counters["buffers"] = static_cast<double>(n);
        state.counters["interval_mean_dev_ms"] = mean;
        state.counters["interval_sd_ms"] = n ? std::sqrt(std::max(0.0, sumSq / n - mean * mean)) : 0;
        state.counters["interval_max_dev_ms"] = worst;
    }
}

void BM_CaptureSimulatedSine(benchmark::State &state) {
    std::vector<TSimDevice> devices(1);
    devices[0].Name = "sine";
    devices[0].Signal = TSimSignal::Sine;
    TSimWaveInDriver sim(devices);
    MeasureCapture(state, &sim, 0);
}
BENCHMARK(BM_CaptureSimulatedSine)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_CaptureAlsaDefault(benchmark::State &state) {
    MeasureCapture(state, nullptr, -1);
}
BENCHMARK(BM_CaptureAlsaDefault)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
