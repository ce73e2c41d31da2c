#pragma once

// A private JACK server for a test (`jackd -d dummy` under a name of its own, reached through
// JACK_DEFAULT_SERVER) and a client that plays a signal into a port of the console.

#include <QProcess>
#include <QStandardPaths>

#include <jack/jack.h>

#include <sys/prctl.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

class TJackTestServer {
  public:
    static bool Installed() { return !QStandardPaths::findExecutable("jackd").isEmpty(); }

    explicit TJackTestServer(int rate) : FName("velmora-test-" + std::to_string(::getpid())) {
        setenv("JACK_DEFAULT_SERVER", FName.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        jack_set_error_function([](const char *) {});
        jack_set_info_function([](const char *) {});
        Start(rate);
    }
    ~TJackTestServer() { Stop(); }
    TJackTestServer(const TJackTestServer &) = delete;
    TJackTestServer &operator=(const TJackTestServer &) = delete;

    // Starts the server (again) and waits until a client can join it; false when none could. In
    // synchronous mode a client running late on a busy machine delays the cycle instead of
    // losing it, so frames go missing only where the console loses them.
    bool Start(int rate) {
        FServer.setStandardOutputFile(QProcess::nullDevice());
        FServer.setStandardErrorFile(QProcess::nullDevice());
        // A test that crashes takes its server along.
        FServer.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        FServer.start("jackd", {"-n", QString::fromStdString(FName), "--no-realtime", "--sync", "-t", "5000",
                                "-d", "dummy", "-r", QString::number(rate), "-p", "256"});
        if (!FServer.waitForStarted(5000)) return false;
        for (int i = 0; i < 100; ++i) {
            jack_status_t status{};
            if (jack_client_t *probe = jack_client_open("probe", JackNoStartServer, &status)) {
                jack_client_close(probe);
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    // Kills the server without warning, as a crash would.
    void Kill() {
        FServer.kill();
        FServer.waitForFinished(5000);
    }
    void Stop() {
        if (FServer.state() == QProcess::NotRunning) return;
        FServer.terminate();
        if (!FServer.waitForFinished(5000)) Kill();
    }

  private:
    const std::string FName;
    QProcess FServer;
};

// A client "player" whose port "out" plays a sine or a counter (frame n as the 16-bit sample
// n, wrapping), connected to `target`.
class TJackPlayer {
  public:
    enum class TSignal { Sine, Counter };

    TJackPlayer(TSignal signal, double frequency, double dBFS, const char *target)
        : FSignal(signal), FFrequency(frequency), FAmplitude(std::pow(10.0, dBFS / 20.0)) {
        jack_status_t status{};
        FClient = jack_client_open("player", JackNoStartServer, &status);
        if (FClient == nullptr) return;
        FPort = jack_port_register(FClient, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        FRate = jack_get_sample_rate(FClient);
        jack_set_process_callback(FClient, Process, this);
        FConnected = jack_activate(FClient) == 0 && jack_connect(FClient, jack_port_name(FPort), target) == 0;
    }
    ~TJackPlayer() {
        if (FClient != nullptr) jack_client_close(FClient);
    }
    TJackPlayer(const TJackPlayer &) = delete;
    TJackPlayer &operator=(const TJackPlayer &) = delete;

    bool Playing() const { return FConnected; }
    // Plays into one more port.
    bool Connect(const char *target) {
        return FConnected && jack_connect(FClient, jack_port_name(FPort), target) == 0;
    }

  private:
    static int Process(jack_nframes_t frames, void *arg) {
        auto *self = static_cast<TJackPlayer *>(arg);
        auto *out = static_cast<float *>(jack_port_get_buffer(self->FPort, frames));
        for (jack_nframes_t i = 0; i < frames; ++i, ++self->FFrame) {
            if (self->FSignal == TSignal::Counter)
                out[i] = static_cast<float>(static_cast<std::int16_t>(self->FFrame & 0xFFFF)) / 32768.0f;
            else
                out[i] = static_cast<float>(
                    self->FAmplitude *
                    std::sin(2 * M_PI * self->FFrequency * static_cast<double>(self->FFrame) / self->FRate));
        }
        return 0;
    }

    const TSignal FSignal;
    const double FFrequency, FAmplitude;
    jack_client_t *FClient = nullptr;
    jack_port_t *FPort = nullptr;
    double FRate = 48000;
    std::uint64_t FFrame = 0; // process thread
    bool FConnected = false;
};
