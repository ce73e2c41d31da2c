// A JACK client that plays a sine (or the counting signal) into one port of the running server
// (JACK_DEFAULT_SERVER) until it is stopped, to meter the console through JACK by hand.
// Usage: bench_jacktone PORT [FREQUENCY=1000] [DBFS=-20] | bench_jacktone PORT count

#include "tests/platform/JackTestServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_jacktone PORT [FREQUENCY [DBFS]] | PORT count\n");
        return 2;
    }
    const bool count = argc > 2 && std::strcmp(argv[2], "count") == 0;
    TJackPlayer player(count ? TJackPlayer::TSignal::Counter : TJackPlayer::TSignal::Sine,
                       argc > 2 && !count ? std::atof(argv[2]) : 1000.0,
                       argc > 3 ? std::atof(argv[3]) : -20.0, argv[1]);
    if (!player.Playing()) {
        std::fprintf(stderr, "cannot play into %s\n", argv[1]);
        return 1;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    int signal = 0;
    sigwait(&stop, &signal);
    return 0;
}
