#pragma once

// The PCM wave format record as drivers and files lay it out. Its builder, tests and
// the byte / frame / millisecond conversions live with the audio components
// (core/PCM.h); the drivers need only the record.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

static_assert(std::endian::native == std::endian::little, "the wave format record is stored little-endian");

inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
// The 18-byte wave format header exactly as drivers and files lay it out.
struct TWaveFormatEx {
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;
};
#pragma pack(pop)

static_assert(sizeof(TWaveFormatEx) == 18);
static_assert(offsetof(TWaveFormatEx, nSamplesPerSec) == 4);
static_assert(offsetof(TWaveFormatEx, nBlockAlign) == 12);
static_assert(offsetof(TWaveFormatEx, cbSize) == 16);
static_assert(std::is_trivially_copyable_v<TWaveFormatEx>);
