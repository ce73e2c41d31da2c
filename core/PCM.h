#pragma once

// The PCM wave format record every audio component describes its stream with (laid
// out in core/WaveFormat.h) with its builder and tests, the byte / frame /
// millisecond conversions, the integer clamps and the decibel read-out helpers.

#include "core/WaveFormat.h"

#include <QString>

#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <type_traits>

// Frees an owned record: a byte block of WaveFormatSize bytes, which may be longer
// than the header when a compressed format carries extra data.
struct TWaveFormatDeleter {
    void operator()(TWaveFormatEx *p) const noexcept;
};
using TWaveFormatPtr = std::unique_ptr<TWaveFormatEx, TWaveFormatDeleter>;

void BuildPCMFormat(TWaveFormatEx &format, std::uint16_t bits, std::uint16_t channels, std::uint32_t rate);
bool IsValidPCMFormat(const TWaveFormatEx *format);
int WaveFormatSize(const TWaveFormatEx *format);
// A zero-filled owned copy (null for null); a PCM copy always has cbSize 0.
TWaveFormatPtr CopyWaveFormat(const TWaveFormatEx *format);

// a * b / c in 64 bits, rounded to nearest with halves away from zero. Returns 0
// for c == 0 and saturates at the 32-bit range instead of wrapping.
std::int32_t MulDivRound(std::int32_t a, std::int32_t b, std::int32_t c);

// Round to nearest, halves to the even neighbour (the meters' and analysers' rounding),
// independent of the FPU rounding mode. Inline: the phase display rounds every dot.
inline std::int64_t RoundHalfEven(double x) {
    const double f = std::floor(x);
    const double diff = x - f;
    const auto i = static_cast<std::int64_t>(f);
    return diff > 0.5 || (diff == 0.5 && (i & 1) != 0) ? i + 1 : i;
}

std::int32_t BytesToSamples(const TWaveFormatEx &format, std::int32_t bytes);
std::int32_t BytesToMs(const TWaveFormatEx &format, std::int32_t bytes);
// Byte results are whole frames: rounded up to the next multiple of nBlockAlign.
std::int32_t SamplesToBytes(const TWaveFormatEx &format, std::int32_t frames);
std::int32_t SamplesToMs(const TWaveFormatEx &format, std::int32_t frames);
std::int32_t MsToSamples(const TWaveFormatEx &format, std::int32_t ms);
std::int32_t MsToBytes(const TWaveFormatEx &format, std::int32_t ms);

template <typename T>
requires std::is_arithmetic_v<T>
constexpr T Min(T a, std::type_identity_t<T> b) {
    return b < a ? b : a;
}

template <typename T>
requires std::is_arithmetic_v<T>
constexpr T Max(T a, std::type_identity_t<T> b) {
    return b > a ? b : a;
}

// lo when below lo, else hi when above hi: with lo > hi the lower bound wins for low x.
template <typename T>
requires std::is_arithmetic_v<T>
constexpr T MinMax(T x, std::type_identity_t<T> lo, std::type_identity_t<T> hi) {
    if (x < lo) return lo;
    if (x > hi) return hi;
    return x;
}

// Decibels of |value| against fullScale (taken as at least 1); -110 for silence.
float SampleToDB(std::int32_t value, std::int32_t fullScale);
// "%2.*f" of SampleToDB with the user's decimal separator; "-Inf" for silence.
QString SampleToDBText(std::int32_t value, std::int32_t fullScale, int decimals);
// The text padded to a constant width, with the minus of single-digit readings in column one.
QString SampleToDBLabel(std::int32_t value, std::int32_t fullScale, int decimals);

// The decimal separator of the user's locale (read once).
QString DBDecimalSeparator();
// printf("%2.*f") without the C locale: fixed notation, at least two characters,
// a negative precision meaning 6, and the given decimal separator.
QString FormatFixed(double value, int decimals, QStringView separator);
