#pragma once

// The network feed's messages: each one JSON object built from a snapshot of what the console
// measured, as text, with no clock, network or toolkit behind it. Levels are in dB with two
// decimals; a level of -inf or NaN (nothing measured) is null. Strings are UTF-8, escaped so
// the result is valid JSON and valid UTF-8 whatever bytes came in.
//
// Thread contract: pure functions, any thread.

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Ten times a second (or the rate chosen).
struct TLevelsSnapshot {
    std::int64_t TimeMs = 0;                          // wall clock, ms since the epoch
    std::array<double, 2> Peak{-INFINITY, -INFINITY}; // dBFS, highest sample since the last message
    std::array<double, 2> VU{-INFINITY, -INFINITY};   // the needles' readings, VU
    double Correlation = NAN;                         // -1 .. +1; NaN: not measured
    double Momentary = -INFINITY;                     // LUFS
    double ShortTerm = -INFINITY;                     // LUFS
    std::array<bool, 2> Clip{false, false};           // the CLIP latches
};

// Once a second, retained.
struct TLoudnessSnapshot {
    std::int64_t TimeMs = 0;
    double Integrated = -INFINITY;                        // LUFS
    double Range = 0;                                     // LU
    std::array<double, 2> TruePeak{-INFINITY, -INFINITY}; // dBTP, largest since the reset
    double MaxMomentary = -INFINITY;
    double MaxShortTerm = -INFINITY;
    double Seconds = 0; // integrated so far
    bool Paused = false;
    int Target = -23; // LUFS
    int Ceiling = -1; // dBTP
};

// Retained, QoS 1: online while the console publishes, offline once it stopped or vanished.
struct TStatusSnapshot {
    bool Online = true;
    std::string Version;
    std::string Device;
    std::int64_t SinceMs = 0;  // when publishing began
    std::uint64_t Dropped = 0; // events and alarm changes the outage queue had to drop
};

// An alarm's state, retained, QoS 1, sent on every change.
struct TAlarmSnapshot {
    bool Active = false;
    std::int64_t SinceMs = 0; // when it took this state
};

// A row of the event log, with the values its CSV file holds.
struct TEventRow {
    std::string Time;    // "2026-12-08 14:03:12.250", local time
    std::string Event;   // "CLIP", "OVER", "DEAD AIR", "SIGNAL BACK"
    std::string Channel; // "L", "R", "LR"
    std::int64_t Samples = 0;
    double PeakDBFS = -INFINITY; // none for dead air
};

std::string LevelsPayload(const TLevelsSnapshot &s);
std::string LoudnessPayload(const TLoudnessSnapshot &s);
std::string StatusPayload(const TStatusSnapshot &s);
std::string AlarmPayload(const TAlarmSnapshot &s);
std::string EventPayload(const TEventRow &row);

// The pieces, for the payloads and their tests.
// "-20.00"; "null" for -inf, +inf and NaN; never "-0.00" and never a locale's decimal comma.
std::string JsonDecimal(double value);
// The text quoted and escaped; a byte that is not part of valid UTF-8 becomes U+FFFD.
std::string JsonString(std::string_view text);
