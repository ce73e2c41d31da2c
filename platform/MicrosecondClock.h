#pragma once

#include <cstdint>

// Microseconds from an arbitrary origin, monotonic (never steps with the wall clock).
std::int64_t MicrosecondClock();
