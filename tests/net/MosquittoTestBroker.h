#pragma once

// A private Mosquitto broker for a test, on a free loopback port with its own configuration
// in a temporary folder, stopped by its PID; and a subscriber that records what it hears.

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <mosquitto.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

inline QString MosquittoProgram() {
    const QString found = QStandardPaths::findExecutable("mosquitto");
    if (!found.isEmpty()) return found;
    return QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/usr/local/sbin"});
}

inline int FreeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr *>(&address), length);
    ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

inline bool PortAnswers(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool answers = ::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(s);
    return answers;
}

class TMosquittoTestBroker {
  public:
    static bool Installed() { return !MosquittoProgram().isEmpty(); }

    // `listenerLines` go under the listener line (TLS files, ...); `globalLines` above it.
    explicit TMosquittoTestBroker(const std::string &listenerLines = "allow_anonymous true\n")
        : FPort(FreeLoopbackPort()) {
        const QString conf = Path("mosquitto.conf");
        FILE *f = std::fopen(conf.toLocal8Bit().constData(), "w");
        // Run as root, the broker would become the "mosquitto" account, which cannot read the
        // test's files; it stays whoever started it.
        std::fprintf(f, "user %s\npersistence false\nper_listener_settings true\nlistener %d 127.0.0.1\n%s",
                     ::geteuid() == 0 ? "root" : "mosquitto", FPort, listenerLines.c_str());
        std::fclose(f);
        Start();
    }
    ~TMosquittoTestBroker() { Stop(); }
    TMosquittoTestBroker(const TMosquittoTestBroker &) = delete;
    TMosquittoTestBroker &operator=(const TMosquittoTestBroker &) = delete;

    int Port() const { return FPort; }
    QString Path(const QString &name) const { return FDir.filePath(name); }
    std::string Url(const char *scheme = "mqtt") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(FPort);
    }

    // Starts (again) on the same port; false when it does not answer within five seconds.
    bool Start() {
        FServer.setStandardOutputFile(QProcess::nullDevice());
        FServer.setStandardErrorFile(Path("broker.log"));
        FServer.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        FServer.start(MosquittoProgram(), {"-c", Path("mosquitto.conf")});
        if (!FServer.waitForStarted(5000)) return false;
        for (int i = 0; i < 100; ++i) {
            if (PortAnswers(FPort)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    void Stop() {
        if (FServer.state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(FServer.processId()), SIGTERM);
        if (!FServer.waitForFinished(5000)) {
            FServer.kill();
            FServer.waitForFinished(5000);
        }
    }

  private:
    QTemporaryDir FDir;
    const int FPort;
    QProcess FServer;
};

// Subscribes to `filter` on the broker and keeps every message, in arrival order.
class TTestSubscriber {
  public:
    struct TReceived {
        std::string Topic, Payload;
        bool Retained;
        std::chrono::steady_clock::time_point At;
    };

    TTestSubscriber(int port, const std::string &filter, const char *caFile = nullptr) : FFilter(filter) {
        mosquitto_lib_init();
        FClient = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(FClient, [](mosquitto *m, void *self, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, static_cast<TTestSubscriber *>(self)->FFilter.c_str(), 1);
        });
        mosquitto_subscribe_callback_set(FClient, [](mosquitto *, void *self, int, int, const int *) {
            auto *me = static_cast<TTestSubscriber *>(self);
            std::lock_guard lock(me->FLock);
            me->FSubscribed = true;
        });
        mosquitto_message_callback_set(FClient, [](mosquitto *, void *self, const mosquitto_message *m) {
            auto *me = static_cast<TTestSubscriber *>(self);
            std::lock_guard lock(me->FLock);
            me->FReceived.push_back(
                {m->topic,
                 std::string(static_cast<const char *>(m->payload), static_cast<std::size_t>(m->payloadlen)),
                 m->retain, std::chrono::steady_clock::now()});
        });
        if (caFile != nullptr) mosquitto_tls_set(FClient, caFile, nullptr, nullptr, nullptr, nullptr);
        mosquitto_connect(FClient, "127.0.0.1", port, 10);
        mosquitto_loop_start(FClient);
        WaitFor([this] { return FSubscribed; }, 5000);
    }
    ~TTestSubscriber() {
        mosquitto_disconnect(FClient);
        mosquitto_loop_stop(FClient, false);
        mosquitto_destroy(FClient);
        mosquitto_lib_cleanup();
    }
    TTestSubscriber(const TTestSubscriber &) = delete;
    TTestSubscriber &operator=(const TTestSubscriber &) = delete;

    std::vector<TReceived> Received() {
        std::lock_guard lock(FLock);
        return FReceived;
    }
    std::vector<TReceived> On(const std::string &topic) {
        std::vector<TReceived> on;
        for (const TReceived &r : Received())
            if (r.Topic == topic) on.push_back(r);
        return on;
    }
    // Polls `done` (called under the lock) until it holds or `ms` pass.
    bool WaitFor(const std::function<bool()> &done, int ms) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard lock(FLock);
                if (done()) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::lock_guard lock(FLock);
        return done();
    }
    // Waits for a message on `topic` whose payload holds `text`.
    bool WaitForPayload(const std::string &topic, const std::string &text, int ms) {
        return WaitFor(
            [&] {
                for (const TReceived &r : FReceived)
                    if (r.Topic == topic && r.Payload.find(text) != std::string::npos) return true;
                return false;
            },
            ms);
    }

  private:
    const std::string FFilter;
    mosquitto *FClient = nullptr;
    std::mutex FLock;
    bool FSubscribed = false;
    std::vector<TReceived> FReceived;
};
