#pragma once

// One audio buffer as it travels between the capture driver and the chain.

#include <cstdint>

struct WAVEHDR {
    char *lpData = nullptr;            // the audio data
    std::uint32_t dwBufferLength = 0;  // capacity in bytes
    std::uint32_t dwBytesRecorded = 0; // valid bytes
    std::uintptr_t dwUser = 0;
    std::uint32_t dwFlags = 0; // WHDR_*
    std::uint32_t dwLoops = 0;
    WAVEHDR *lpNext = nullptr;
    std::uintptr_t reserved = 0;
};
using PWaveHdr = WAVEHDR *;

// WAVEHDR::dwFlags bits.
constexpr std::uint32_t WHDR_DONE = 0x01;     // the driver has returned the buffer
constexpr std::uint32_t WHDR_PREPARED = 0x02; // prepared for the driver
constexpr std::uint32_t WHDR_BEGINLOOP = 0x04;
constexpr std::uint32_t WHDR_ENDLOOP = 0x08;
constexpr std::uint32_t WHDR_INQUEUE = 0x10; // queued at the driver
