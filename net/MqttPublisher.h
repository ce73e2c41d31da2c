#pragma once

// TMqttPublisher: the console's feed to an MQTT broker, on a network thread of its own that
// alone talks to libmosquitto. Callers hand over finished messages and return at once; the
// thread connects, keeps the connection alive, reconnects after the back-off, and sends.
//
// What is kept while the broker cannot be reached:
// - levels and loudness: nothing (a stale reading is worth less than none);
// - events and alarm changes: up to QueueCapacity, in order, sent once the broker is back and
//   removed when the broker acknowledged them; when full, the oldest unsent goes and is
//   counted in Dropped, which the status message carries.
// The broker's last will (retained, QoS 1) marks the station offline when the console dies or
// its network goes; Stop publishes the same itself.
//
// Thread contract: every public method on any thread. FLock guards the queues; it is held only
// to copy messages in or out, never while waiting for the network.

#include "net/BackOff.h"
#include "net/BrokerAddress.h"
#include "net/NetPayloads.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

struct mosquitto;
struct mosquitto_message;

struct TPublisherConfig {
    TBrokerUrl Broker;
    std::string TopicRoot; // "<prefix>/<station>", see TopicRoot
    int KeepAliveSeconds = 10;
    std::string CAFile; // mqtts: the broker's certificate is checked against it; empty: the system's store
    std::optional<TCredentials> Credentials;
    TStatusSnapshot Status; // version, device and start; State and Dropped are filled in
    std::size_t QueueCapacity = 1000;
};

class TMqttPublisher {
  public:
    enum class TState { Off, Connecting, Connected };

    // Starts the network thread, which starts connecting. Raises EMMNetError when the TLS
    // set-up cannot be made (a CA file that cannot be read).
    explicit TMqttPublisher(TPublisherConfig config);
    // Stop.
    ~TMqttPublisher();
    TMqttPublisher(const TMqttPublisher &) = delete;
    TMqttPublisher &operator=(const TMqttPublisher &) = delete;

    // QoS 0: sent while connected, dropped otherwise; a newer one replaces one not yet sent.
    void PublishLevels(std::string payload);
    // QoS 0, retained; as the levels.
    void PublishLoudness(std::string payload);
    // QoS 1, retained; queued while disconnected. `leaf` is kDeadAirAlarmLeaf or kLoudnessAlarmLeaf.
    void PublishAlarm(std::string_view leaf, std::string payload);
    // QoS 1; queued while disconnected.
    void PublishEvent(std::string payload);

    TState State() const { return FState.load(); }
    std::uint64_t Dropped() const { return FDropped.load(); }
    // The first refusal by the broker (credentials or TLS), naming the broker and the reason,
    // once; empty otherwise. The publisher keeps trying after the back-off all the same.
    std::optional<std::string> TakeRefusal();
    // Publishes the offline status when connected (waiting at most two seconds for the broker
    // to take it), disconnects and ends the thread. Idempotent.
    void Stop();

  private:
    struct TMessage {
        std::string Topic;
        std::string Payload;
        bool Retain = false;
        std::uint64_t Seq = 0; // order of arrival
        int Mid = 0; // handed to libmosquitto in this connection, awaiting the broker's acknowledgement
    };

    // Network thread.
    void Run();
    void WaitBackOff();
    // A new client, connecting; false when it could not even start.
    bool Open();
    void Close();
    // Polls the connection and the wake-up once; false when the connection was lost.
    bool Serve(int timeoutMs);
    void SendDue();
    void SayStatus();
    void SayOffline();
    void PublishNow(const std::string &topic, const std::string &payload, int qos, bool retain, int *mid);
    void Refused(const std::string &reason);
    bool Stopping();
    void DrainWake();
    // Any thread.
    void Wake();
    void Enqueue(TMessage message);
    static void OnConnect(mosquitto *, void *self, int rc);
    static void OnPublish(mosquitto *, void *self, int mid);
    static void OnLog(mosquitto *, void *self, int level, const char *text);

    const TPublisherConfig FConfig;
    const std::string FStatusTopic;
    std::atomic<TState> FState{TState::Off};
    std::atomic<std::uint64_t> FDropped{0};
    int FWakeFd = -1;

    std::mutex FLock; // guards the fields up to FThread
    std::deque<TMessage> FQueue;
    std::uint64_t FSeq = 0;
    std::optional<TMessage> FLevels, FLoudness;
    bool FStop = false;
    bool FRefusalTaken = false;
    std::optional<std::string> FRefusal;

    // The network thread's own.
    mosquitto *FClient = nullptr;
    bool FAccepted = false; // the broker accepted this connection
    std::uint64_t FDroppedSaid = 0;
    int FOfflineMid = -1; // the offline status awaiting its acknowledgement
    std::chrono::steady_clock::time_point FOpenedAt;
    std::string FLastError; // libmosquitto's last error line, the reason given for a TLS refusal
    TBackOff FBackOff;
    std::thread FThread;
};
