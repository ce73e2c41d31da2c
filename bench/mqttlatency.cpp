// Listens to every station's level messages on a broker for a while and prints how late they
// arrive: the wall time of arrival less the message's own "t" (when the console took its
// snapshot), as median, 99th percentile and largest, and the messages a second per station.
// Usage: bench_mqttlatency PORT SECONDS [TOPIC_FILTER]   (default filter velmora/+/levels)

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TSeen {
    std::mutex Lock;
    std::vector<long long> DelaysMs;
    std::map<std::string, int> PerStation;
};

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PORT SECONDS [FILTER]\n", argv[0]);
        return 2;
    }
    const int port = std::atoi(argv[1]), seconds = std::atoi(argv[2]);
    static std::string filter = argc > 3 ? argv[3] : "velmora/+/levels";
    TSeen seen;
    mosquitto_lib_init();
    mosquitto *client = mosquitto_new(nullptr, true, &seen);
    mosquitto_connect_callback_set(
        client, [](mosquitto *m, void *, int) { mosquitto_subscribe(m, nullptr, filter.c_str(), 0); });
    mosquitto_message_callback_set(client, [](mosquitto *, void *self, const mosquitto_message *m) {
        const long long now = NowMs();
        const std::string payload(static_cast<const char *>(m->payload),
                                  static_cast<std::size_t>(m->payloadlen));
        const std::size_t at = payload.find("\"t\":");
        if (at == std::string::npos) return;
        auto *s = static_cast<TSeen *>(self);
        std::lock_guard lock(s->Lock);
        s->DelaysMs.push_back(now - std::atoll(payload.c_str() + at + 4));
        ++s->PerStation[m->topic];
    });
    if (mosquitto_connect(client, "127.0.0.1", port, 10) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "no broker on port %d\n", port);
        return 1;
    }
    mosquitto_loop_start(client);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    mosquitto_disconnect(client);
    mosquitto_loop_stop(client, false);

    std::lock_guard lock(seen.Lock);
    std::vector<long long> &d = seen.DelaysMs;
    if (d.empty()) {
        std::printf("messages=0\n");
        return 1;
    }
    std::sort(d.begin(), d.end());
    const auto at = [&](double q) {
        return d[std::min(d.size() - 1, static_cast<std::size_t>(q * d.size()))];
    };
    int least = seen.PerStation.begin()->second, most = least;
    for (const auto &[topic, count] : seen.PerStation) {
        least = std::min(least, count);
        most = std::max(most, count);
    }
    std::printf("messages=%zu stations=%zu delay_ms_median=%lld delay_ms_p99=%lld delay_ms_max=%lld "
                "per_station_hz_min=%.1f per_station_hz_max=%.1f\n",
                d.size(), seen.PerStation.size(), at(0.5), at(0.99), d.back(),
                static_cast<double>(least) / seconds, static_cast<double>(most) / seconds);
    mosquitto_destroy(client);
    mosquitto_lib_cleanup();
    return 0;
}
