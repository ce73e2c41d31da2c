// What capture alone costs while streaming the console's format (48 kHz stereo
// 16-bit, 8192-byte buffers, thread mode): the CPU of every thread but the main
// one (the wave input's worker and the driver's threads, ALSA's plugin threads
// included) as % of one core, how often those threads ran, and how evenly the
// buffers arrive (their spacing against the ideal 42.667 ms). One run on the
// simulated real-time sine, one on ALSA's "default" (skipped when it cannot be
// opened). Beside the ALSA run, arecord captures the same format from the same PCM
// with 2048-frame periods, measured over the same seconds so that other work on
// the machine weighs on both alike. bench/capture-cpu.sh runs it against a private
// PulseAudio server, on an idle and on a loaded machine. The JACK run (with a server, see
// bench/jack-capture.sh) puts jack_rec beside the console's JACK input.

#include "BenchMain.h"
#include "audio/MMWaveIn.h"
#include "platform/AlsaWaveIn.h"
#include "platform/JackWaveIn.h"
#include "platform/SimWaveIn.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <memory>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kSeconds = 10.0;
constexpr long kArecordPeriod = 2048;

// CPU time and the number of times put on a CPU, summed over threads, from the
// kernel's nanosecond schedstat (the clock ticks of stat are too coarse for ~1 %).
struct TCpu {
    double Seconds = 0;
    double Runs = 0;
};

// Every thread of process pid except the thread skip (0: none).
TCpu ThreadsCpu(pid_t pid, pid_t skip) {
    TCpu total;
    const QString task = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString &tid : QDir(task).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (tid.toInt() == skip) continue;
        QFile f(task + "/" + tid + "/schedstat");
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QList<QByteArray> fields = f.readAll().trimmed().split(' ');
        if (fields.size() < 3) continue;
        total.Seconds += fields[0].toDouble() / 1e9;
        total.Runs += fields[2].toDouble();
    }
    return total;
}

// Another capture program (arecord, jack_rec) beside the console's, for as long as it lives.
class TArecord {
  public:
    explicit TArecord(std::vector<std::string> args) {
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = 0;
    }
    ~TArecord() {
        if (pid_ == 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    TArecord(const TArecord &) = delete;
    TArecord &operator=(const TArecord &) = delete;

    bool Running() {
        int status = 0;
        if (pid_ != 0 && waitpid(pid_, &status, WNOHANG) == pid_) pid_ = 0;
        return pid_ != 0;
    }
    TCpu Cpu() const { return pid_ != 0 ? ThreadsCpu(pid_, 0) : TCpu{}; }

  private:
    pid_t pid_ = 0;
};

void ReportCpu(benchmark::State &state, const char *prefix, const TCpu &a, const TCpu &b, double elapsed) {
    state.counters[std::string(prefix) + "cpu_pct_of_core"] = 100.0 * (b.Seconds - a.Seconds) / elapsed;
    state.counters[std::string(prefix) + "runs_per_s"] = (b.Runs - a.Runs) / elapsed;
}

// Audio missing between the start and the end of arrivals [first, last): each arrival
// set against its place on an even line, the typical offset of the last quarter less
// that of the first. A lost buffer moves every later one a buffer along; one late
// arrival moves no median.
double LostMs(const std::vector<double> &arrivals, std::size_t first, std::size_t last, double idealMs) {
    const std::size_t quarter = (last - first) / 4;
    if (quarter == 0) return 0;
    const auto medianOffset = [&](std::size_t from) {
        std::vector<double> offsets;
        for (std::size_t i = from; i < from + quarter; ++i)
            offsets.push_back(arrivals[i] - static_cast<double>(i - first) * idealMs);
        std::nth_element(offsets.begin(), offsets.begin() + quarter / 2, offsets.end());
        return offsets[quarter / 2];
    };
    return medianOffset(last - quarter) - medianOffset(first);
}

void MeasureCapture(benchmark::State &state, TWaveInDriver *driver, int device,
                    const std::vector<std::string> &companion) {
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
        std::unique_ptr<TArecord> arecord;
        if (!companion.empty()) arecord = std::make_unique<TArecord>(companion);
        // Let the streams settle before measuring: a fresh sound server can take a second or
        // two before the first buffer.
        const auto arrived = [&] {
            std::lock_guard guard(lock);
            return arrivals.size();
        };
        for (int i = 0; i < 500 && arrived() < 5; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        if (arecord && !arecord->Running()) arecord.reset(); // no arecord: the capture's figures alone
        const std::size_t first = arrived();
        const int overruns0 = TAlsaWaveInDriver::Overruns();
        const TCpu cpu0 = ThreadsCpu(getpid(), gettid());
        const TCpu arecord0 = arecord ? arecord->Cpu() : TCpu{};
        QElapsedTimer wall;
        wall.start();
        while (wall.elapsed() < kSeconds * 1000) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const TCpu cpu1 = ThreadsCpu(getpid(), gettid());
        const TCpu arecord1 = arecord ? arecord->Cpu() : TCpu{};
        const double elapsed = wall.elapsed() / 1000.0;
        const std::size_t last = arrived();
        const bool arecordLived = arecord && arecord->Running();
        arecord.reset();
        w.Close();

        std::lock_guard guard(lock);
        double sum = 0, sumSq = 0, worst = 0;
        std::size_t n = 0;
        for (std::size_t i = first + 1; i < last; ++i, ++n) {
            const double d = arrivals[i] - arrivals[i - 1] - kIdealMs;
            sum += d;
            sumSq += d * d;
            worst = std::max(worst, std::abs(d));
        }
        const double mean = n ? sum / n : 0;
        ReportCpu(state, "", cpu0, cpu1, elapsed);
        if (arecordLived) ReportCpu(state, "arecord_", arecord0, arecord1, elapsed);
        state.counters["overruns"] = TAlsaWaveInDriver::Overruns() - overruns0;
        state.counters["buffers"] = static_cast<double>(n);
        state.counters["lost_ms"] = LostMs(arrivals, first, last, kIdealMs);
        state.counters["interval_sd_ms"] = n ? std::sqrt(std::max(0.0, sumSq / n - mean * mean)) : 0;
        state.counters["interval_max_dev_ms"] = worst;
    }
}

void BM_CaptureSimulatedSine(benchmark::State &state) {
    std::vector<TSimDevice> devices(1);
    devices[0].Name = "sine";
    devices[0].Signal = TSimSignal::Sine;
    TSimWaveInDriver sim(devices);
    MeasureCapture(state, &sim, 0, {});
}
BENCHMARK(BM_CaptureSimulatedSine)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_CaptureAlsaDefault(benchmark::State &state) {
    MeasureCapture(state, nullptr, -1,
                   {"arecord", "-q", "-D", "default", "-f", "S16_LE", "-r", "48000", "-c", "2", "-t", "raw",
                    "--period-size=" + std::to_string(kArecordPeriod), "/dev/null"});
}
BENCHMARK(BM_CaptureAlsaDefault)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The JACK input on the running server (JACK_DEFAULT_SERVER), its ports on the first two physical
// capture ports; beside it jack_rec records the same two ports as 16-bit into /dev/null.
void BM_CaptureJack(benchmark::State &state) {
    TJackWaveInDriver jack;
    if (jack.GetNumDevs() == 0) {
        state.SkipWithError("no JACK server");
        return;
    }
    MeasureCapture(
        state, &jack, 0,
        {"jack_rec", "-f", "/dev/null", "-d", "3600", "-b", "16", "system:capture_1", "system:capture_2"});
}
BENCHMARK(BM_CaptureJack)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    return RunBenchmarks(argc, argv);
}
