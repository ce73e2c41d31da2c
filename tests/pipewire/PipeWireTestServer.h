#pragma once

// A private PipeWire for a test: `pipewire` and `wireplumber` on a runtime folder of their own
// (this process reaches it through PIPEWIRE_RUNTIME_DIR), with no card, a loopback sink "meter"
// feeding the only source, and ALSA's "pipewire" PCM on the plugin tools/pipewire-alsa.sh
// unpacks. The machine's own sound servers and ALSA's "default" are left as they were.

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/prctl.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

class TPipeWireTestServer {
  public:
    // The programs a test needs that are not installed, space separated; empty when all are.
    static QString MissingPrograms() {
        QStringList missing;
        for (const char *program : {"pipewire", "wireplumber", "wpctl", "pw-cat", "pw-jack", "dpkg-deb"})
            if (QStandardPaths::findExecutable(program).isEmpty()) missing << program;
        return missing.join(' ');
    }

    // Points this process's PipeWire clients and ALSA at the private server; Configured() says
    // whether the plugin could be unpacked.
    TPipeWireTestServer() {
        QProcess unpack;
        unpack.setStandardErrorFile(QProcess::nullDevice());
        unpack.start(VELMORA_PIPEWIRE_ALSA_SCRIPT, {VELMORA_PIPEWIRE_ALSA_DIR});
        if (!unpack.waitForFinished(120000) || unpack.exitCode() != 0 || !FRuntime.isValid()) return;
        const QByteArray conf = unpack.readAllStandardOutput().trimmed();
        // Listing files makes ALSA read its configuration again, alsa.conf (and with it
        // "default") first, as without the list.
        setenv("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" + conf, 1);
        setenv("PIPEWIRE_RUNTIME_DIR", FRuntime.path().toLocal8Bit().constData(), 1);
        // Without a server of its own, the PulseAudio plugin behind "default" would start one.
        if (std::getenv("VELMORA_PULSE") == nullptr) setenv("PULSE_SERVER", "unix:/nonexistent", 1);
        FConfigured = true;
    }
    ~TPipeWireTestServer() { Stop(); }
    TPipeWireTestServer(const TPipeWireTestServer &) = delete;
    TPipeWireTestServer &operator=(const TPipeWireTestServer &) = delete;

    bool Configured() const { return FConfigured; }

    // Starts the server and its session manager (again) and waits until the source is the
    // default one; false when that did not come.
    bool Start() {
        if (!FConfigured) return false;
        Stop();
        FServer = Launch("pipewire");
        if (!Wait({"info", "0"})) return false;
        FSession = Launch("wireplumber");
        if (!Wait({"inspect", "@DEFAULT_AUDIO_SOURCE@"}) || !Wait({"inspect", "@DEFAULT_AUDIO_SINK@"}))
            return false;
        // The defaults are named before the session manager's policy can link a stream to them:
        // a capture opened at once may find no target and fail, which a desktop never sees.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        return true;
    }
    // Ends both by their PIDs, the session manager first.
    void Stop() {
        for (auto *p : {&FSession, &FServer})
            if (*p) {
                (*p)->terminate();
                if (!(*p)->waitForFinished(5000)) (*p)->kill();
                (*p)->waitForFinished(5000);
                p->reset();
            }
    }

  private:
    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", FRuntime.path());
        env.insert("XDG_CONFIG_HOME", VELMORA_PIPEWIRE_CONFIG);
        // What the session manager remembers (chosen defaults, volumes) dies with the test.
        env.insert("XDG_STATE_HOME", FRuntime.filePath("state"));
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        return env;
    }
    std::unique_ptr<QProcess> Launch(const QString &program) const {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(Environment());
        p->setStandardOutputFile(QProcess::nullDevice());
        p->setStandardErrorFile(FRuntime.filePath(program + ".log"), QIODevice::Append);
        // A test that crashes takes its servers along.
        p->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        p->start(program, {});
        p->waitForStarted(5000);
        return p;
    }
    bool Wait(const QStringList &query) const {
        const bool session = query.first() == "inspect";
        for (int i = 0; i < 100; ++i) {
            QProcess probe;
            probe.setProcessEnvironment(Environment());
            probe.setStandardOutputFile(QProcess::nullDevice());
            probe.setStandardErrorFile(QProcess::nullDevice());
            probe.start(session ? "wpctl" : "pw-cli", query);
            if (probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit &&
                probe.exitCode() == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    QTemporaryDir FRuntime;
    bool FConfigured = false;
    std::unique_ptr<QProcess> FServer, FSession;
};

// A pw-cat playing 16-bit 48 kHz stereo samples into the default sink through a pipe, stopped
// by its PID.
class TPipeWirePlayer {
  public:
    explicit TPipeWirePlayer(const std::vector<std::int16_t> &samples) {
        FProcess.setStandardOutputFile(QProcess::nullDevice());
        FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FProcess.start("pw-cat", {"--playback", "--format", "s16", "--rate", "48000", "--channels", "2",
                                  "--latency", "100ms", "-"});
        if (!FProcess.waitForStarted(5000)) return;
        // Written as the event loop turns; the end of input ends the player.
        FProcess.write(reinterpret_cast<const char *>(samples.data()),
                       static_cast<qint64>(samples.size() * sizeof samples[0]));
        FProcess.closeWriteChannel();
        FStarted = true;
    }
    ~TPipeWirePlayer() {
        const qint64 pid = FProcess.processId();
        if (pid > 0 && FProcess.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(pid), SIGTERM);
            FProcess.waitForFinished(5000);
        }
    }
    TPipeWirePlayer(const TPipeWirePlayer &) = delete;
    TPipeWirePlayer &operator=(const TPipeWirePlayer &) = delete;

    bool Started() const { return FStarted; }
    bool Finished() const { return FProcess.state() == QProcess::NotRunning; }

  private:
    QProcess FProcess;
    bool FStarted = false;
};
