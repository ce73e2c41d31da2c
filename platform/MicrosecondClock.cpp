#include "platform/MicrosecondClock.h"

#include <ctime>

std::int64_t MicrosecondClock() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000;
}
