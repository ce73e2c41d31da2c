#include "net/MqttPublisher.h"

#include "net/NetTopics.h"

#include <mosquitto.h>

#include <chrono>
#include <fstream>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

// Where Debian and its kin keep the certificate authorities the system trusts.
constexpr const char *kSystemCAPath = "/etc/ssl/certs";
// Handed to libmosquitto at once in one connection; the rest wait in our own queue.
constexpr std::size_t kWindow = 100;
constexpr int kStopWaitMs = 2000;

int MsUntil(TClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

} // namespace

TMqttPublisher::TMqttPublisher(TPublisherConfig config)
    : FConfig(std::move(config)), FStatusTopic(Topic(FConfig.TopicRoot, kStatusLeaf)) {
    if (FConfig.Broker.Tls && !FConfig.CAFile.empty() && !std::ifstream(FConfig.CAFile))
        throw EMMNetError("The CA file " + FConfig.CAFile + " cannot be read.");
    mosquitto_lib_init();
    FWakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    FState = TState::Connecting;
    FThread = std::thread([this] { Run(); });
}

TMqttPublisher::~TMqttPublisher() {
    Stop();
    ::close(FWakeFd);
    mosquitto_lib_cleanup();
}

void TMqttPublisher::Stop() {
    {
        std::lock_guard lock(FLock);
        FStop = true;
    }
    Wake();
    if (FThread.joinable()) FThread.join();
}

void TMqttPublisher::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(FWakeFd, &one, sizeof one);
}

void TMqttPublisher::PublishLevels(std::string payload) {
    if (State() != TState::Connected) return;
    {
        std::lock_guard lock(FLock);
        FLevels = TMessage{Topic(FConfig.TopicRoot, kLevelsLeaf), std::move(payload)};
    }
    Wake();
}

void TMqttPublisher::PublishLoudness(std::string payload) {
    if (State() != TState::Connected) return;
    {
        std::lock_guard lock(FLock);
        FLoudness = TMessage{Topic(FConfig.TopicRoot, kLoudnessLeaf), std::move(payload)};
    }
    Wake();
}

void TMqttPublisher::PublishAlarm(std::string_view leaf, std::string payload) {
    Enqueue({Topic(FConfig.TopicRoot, leaf), std::move(payload), true});
}

void TMqttPublisher::PublishEvent(std::string payload) {
    Enqueue({Topic(FConfig.TopicRoot, kEventsLeaf), std::move(payload), false});
}

void TMqttPublisher::Enqueue(TMessage message) {
    {
        std::lock_guard lock(FLock);
        if (FQueue.size() >= FConfig.QueueCapacity) {
            // The oldest not yet with the broker makes room; what is in flight stays.
            auto oldest = FQueue.begin();
            while (oldest != FQueue.end() && oldest->Mid != 0)
                ++oldest;
            ++FDropped;
            if (oldest == FQueue.end()) return;
            FQueue.erase(oldest);
        }
        message.Seq = ++FSeq;
        FQueue.push_back(std::move(message));
    }
    Wake();
}

std::optional<std::string> TMqttPublisher::TakeRefusal() {
    std::lock_guard lock(FLock);
    if (!FRefusal || FRefusalTaken) return std::nullopt;
    FRefusalTaken = true;
    return FRefusal;
}

void TMqttPublisher::Refused(const std::string &reason) {
    std::lock_guard lock(FLock);
    if (!FRefusal) FRefusal = "The broker " + FConfig.Broker.Text() + " refused the connection: " + reason;
}

bool TMqttPublisher::Stopping() {
    std::lock_guard lock(FLock);
    return FStop;
}

void TMqttPublisher::DrainWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(FWakeFd, &count, sizeof count);
}

void TMqttPublisher::Run() {
    bool first = true;
    while (!Stopping()) {
        if (FClient == nullptr) {
            if (!first) WaitBackOff();
            first = false;
            if (Stopping() || !Open()) continue;
        }
        // Lost: the next round waits the back-off first.
        if (!Serve(1000)) Close();
    }
    SayOffline();
    Close();
    FState = TState::Off;
}

void TMqttPublisher::WaitBackOff() {
    const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(FBackOff.Next());
    while (!Stopping() && TClock::now() < deadline) {
        pollfd wake{FWakeFd, POLLIN, 0};
        ::poll(&wake, 1, MsUntil(deadline));
        DrainWake();
    }
}

bool TMqttPublisher::Open() {
    FClient = mosquitto_new((FConfig.TopicRoot + "/" + std::to_string(::getpid())).c_str(), true, this);
    if (FClient == nullptr) return false;
    // Packets wait for Serve's write, which polls for room first: written at once, a packet
    // would meet a connection still being made and fail.
    mosquitto_threaded_set(FClient, true);
    mosquitto_log_callback_set(FClient, &TMqttPublisher::OnLog);
    mosquitto_connect_callback_set(FClient, &TMqttPublisher::OnConnect);
    mosquitto_publish_callback_set(FClient, &TMqttPublisher::OnPublish);
    TStatusSnapshot offline = FConfig.Status;
    offline.Online = false;
    offline.Dropped = FDropped.load();
    const std::string will = StatusPayload(offline);
    mosquitto_will_set(FClient, FStatusTopic.c_str(), static_cast<int>(will.size()), will.data(), 1, true);
    if (FConfig.Credentials)
        mosquitto_username_pw_set(FClient, FConfig.Credentials->User.c_str(),
                                  FConfig.Credentials->Password.c_str());
    if (FConfig.Broker.Tls) {
        const bool own = !FConfig.CAFile.empty();
        const int rc = mosquitto_tls_set(FClient, own ? FConfig.CAFile.c_str() : nullptr,
                                         own ? nullptr : kSystemCAPath, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            Refused(std::string("no TLS set-up: ") + mosquitto_strerror(rc));
            Close();
            return false;
        }
    }
    FLastError.clear();
    FOpenedAt = TClock::now();
    const int rc = mosquitto_connect_async(FClient, FConfig.Broker.Host.c_str(), FConfig.Broker.Port,
                                           FConfig.KeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        if (rc == MOSQ_ERR_TLS) Refused("TLS: " + (FLastError.empty() ? mosquitto_strerror(rc) : FLastError));
        Close();
        return false;
    }
    return true;
}

void TMqttPublisher::Close() {
    if (FClient != nullptr) mosquitto_destroy(FClient);
    FClient = nullptr;
    FAccepted = false;
    FOfflineMid = -1;
    FState = TState::Connecting;
    std::lock_guard lock(FLock);
    // What libmosquitto had in flight goes again, in order, with the next connection.
    for (TMessage &m : FQueue)
        m.Mid = 0;
    FLevels.reset();
    FLoudness.reset();
}

bool TMqttPublisher::Serve(int timeoutMs) {
    const int socket = mosquitto_socket(FClient);
    if (socket < 0) return false;
    pollfd fds[2] = {{FWakeFd, POLLIN, 0},
                     {socket, static_cast<short>(POLLIN | (mosquitto_want_write(FClient) ? POLLOUT : 0)), 0}};
    // A connection the broker never answers is given up after one keep-alive period.
    const TClock::time_point giveUp = FOpenedAt + std::chrono::seconds(FConfig.KeepAliveSeconds);
    if (!FAccepted) timeoutMs = std::min(timeoutMs, MsUntil(giveUp));
    ::poll(fds, 2, timeoutMs);
    if ((fds[0].revents & POLLIN) != 0) DrainWake();
    int rc = MOSQ_ERR_SUCCESS;
    if ((fds[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0) rc = mosquitto_loop_read(FClient, 1);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(FClient) >= 0 &&
        ((fds[1].revents & POLLOUT) != 0 || mosquitto_want_write(FClient)))
        rc = mosquitto_loop_write(FClient, 1);
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_misc(FClient);
    if (rc == MOSQ_ERR_SUCCESS && FAccepted) SendDue();
    if (rc == MOSQ_ERR_TLS && !FAccepted)
        Refused("TLS handshake failed" + (FLastError.empty() ? std::string() : ": " + FLastError));
    if (rc != MOSQ_ERR_SUCCESS) return false;
    return FAccepted || TClock::now() < giveUp;
}

void TMqttPublisher::PublishNow(const std::string &topic, const std::string &payload, int qos, bool retain,
                                int *mid) {
    mosquitto_publish(FClient, mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos,
                      retain);
}

void TMqttPublisher::SayStatus() {
    TStatusSnapshot status = FConfig.Status;
    FDroppedSaid = FDropped.load();
    status.Dropped = FDroppedSaid;
    PublishNow(FStatusTopic, StatusPayload(status), 1, true, nullptr);
}

void TMqttPublisher::SendDue() {
    std::optional<TMessage> levels, loudness;
    std::vector<TMessage> due;
    {
        std::lock_guard lock(FLock);
        std::swap(levels, FLevels);
        std::swap(loudness, FLoudness);
        const std::size_t window = std::min(kWindow, FQueue.size());
        for (std::size_t i = 0; i < window; ++i)
            if (FQueue[i].Mid == 0) {
                // Marked, so that a full queue does not drop it while it is being sent.
                FQueue[i].Mid = -1;
                due.push_back(FQueue[i]);
            }
    }
    if (FDropped.load() != FDroppedSaid) SayStatus();
    for (const TMessage &m : due) {
        int mid = 0;
        PublishNow(m.Topic, m.Payload, 1, m.Retain, &mid);
        std::lock_guard lock(FLock);
        for (TMessage &queued : FQueue)
            if (queued.Seq == m.Seq) queued.Mid = mid;
    }
    if (levels) PublishNow(levels->Topic, levels->Payload, 0, false, nullptr);
    if (loudness) PublishNow(loudness->Topic, loudness->Payload, 0, true, nullptr);
}

void TMqttPublisher::SayOffline() {
    if (FClient == nullptr || !FAccepted) return;
    TStatusSnapshot offline = FConfig.Status;
    offline.Online = false;
    offline.Dropped = FDropped.load();
    PublishNow(FStatusTopic, StatusPayload(offline), 1, true, &FOfflineMid);
    const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(kStopWaitMs);
    while (FOfflineMid != 0 && TClock::now() < deadline)
        if (!Serve(MsUntil(deadline))) return;
    // A disconnect the broker hears does not send the will: the status just published stays.
    mosquitto_disconnect(FClient);
    mosquitto_loop_write(FClient, 1);
}

void TMqttPublisher::OnConnect(mosquitto *, void *self, int rc) {
    auto *me = static_cast<TMqttPublisher *>(self);
    if (rc != 0) {
        me->Refused(mosquitto_connack_string(rc));
        return;
    }
    me->FAccepted = true;
    me->FBackOff.Reset();
    me->FState = TState::Connected;
    me->SayStatus();
    me->SendDue();
}

void TMqttPublisher::OnPublish(mosquitto *, void *self, int mid) {
    auto *me = static_cast<TMqttPublisher *>(self);
    if (mid == me->FOfflineMid) {
        me->FOfflineMid = 0;
        return;
    }
    std::lock_guard lock(me->FLock);
    for (auto it = me->FQueue.begin(); it != me->FQueue.end(); ++it)
        if (it->Mid == mid) {
            me->FQueue.erase(it);
            return;
        }
}

void TMqttPublisher::OnLog(mosquitto *, void *self, int level, const char *text) {
    if (level == MOSQ_LOG_ERR) static_cast<TMqttPublisher *>(self)->FLastError = text;
}
