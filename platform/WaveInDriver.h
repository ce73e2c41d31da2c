#pragma once

// The capture driver table: every device call of the wave input goes through
// one of these operations, so a test or a demonstration can put another driver
// in the ALSA driver's place. Results are driver result codes (0 = success).

#include "core/WaveFormat.h"
#include "core/WaveHeader.h"
#include "platform/MMSystem.h"

#include <cstdint>
#include <string>

constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
// An ALSA error e (negative errno) travels as ALSAERR_BASE - e, so its text can be looked up.
constexpr MMRESULT ALSAERR_BASE = 1000;

// Notifications sent to the open's callback.
constexpr unsigned MM_WIM_OPEN = 0x3BE;
constexpr unsigned MM_WIM_CLOSE = 0x3BF;
constexpr unsigned MM_WIM_DATA = 0x3C0;

// Open flags.
constexpr std::uint32_t WAVE_FORMAT_QUERY = 0x0001;
constexpr std::uint32_t CALLBACK_FUNCTION = 0x00030000;

// Device id meaning "the system's preferred device".
constexpr int WAVE_MAPPER = -1;

// The device capabilities record, 48 bytes.
struct WAVEINCAPS {
    std::uint16_t wMid = 0;
    std::uint16_t wPid = 0;
    std::uint32_t vDriverVersion = 0;
    char szPname[32] = {};
    std::uint32_t dwFormats = 0; // WAVE_FORMAT_1M08 ... bits, see below
    std::uint16_t wChannels = 0;
    std::uint16_t wReserved1 = 0;
};
static_assert(sizeof(WAVEINCAPS) == 48);

// dwFormats: bit (rateBand * 4 + (bits16 ? 2 : 0) + (stereo ? 1 : 0)) for the
// bands 11.025, 22.05 and 44.1/48 kHz.
constexpr std::uint32_t WAVE_FORMAT_1M08 = 1u << 0;
constexpr std::uint32_t WAVE_FORMAT_1S08 = 1u << 1;
constexpr std::uint32_t WAVE_FORMAT_1M16 = 1u << 2;
constexpr std::uint32_t WAVE_FORMAT_1S16 = 1u << 3;
constexpr std::uint32_t WAVE_FORMAT_2M08 = 1u << 4;
constexpr std::uint32_t WAVE_FORMAT_2S08 = 1u << 5;
constexpr std::uint32_t WAVE_FORMAT_2M16 = 1u << 6;
constexpr std::uint32_t WAVE_FORMAT_2S16 = 1u << 7;
constexpr std::uint32_t WAVE_FORMAT_4M08 = 1u << 8;
constexpr std::uint32_t WAVE_FORMAT_4S08 = 1u << 9;
constexpr std::uint32_t WAVE_FORMAT_4M16 = 1u << 10;
constexpr std::uint32_t WAVE_FORMAT_4S16 = 1u << 11;

// Position record: the driver fills the unit asked for, or the one it supports.
constexpr std::uint32_t TIME_MS = 0x0001;
constexpr std::uint32_t TIME_SAMPLES = 0x0002;
constexpr std::uint32_t TIME_BYTES = 0x0004;
struct MMTIME {
    std::uint32_t wType = TIME_SAMPLES;
    std::uint32_t value = 0; // in wType units
};

// An open stream. Only the driver that opened it looks inside.
struct HWAVEIN__;
using HWAVEIN = HWAVEIN__ *;

// Called on the driver's own thread (MM_WIM_DATA, MM_WIM_OPEN) or on the thread
// that closes (MM_WIM_CLOSE). hdr is set for MM_WIM_DATA only.
using TWaveInCallback = void (*)(HWAVEIN handle, unsigned message, void *instance, PWaveHdr hdr);

// The standard-format bit that covers a PCM format, or 0 when none does.
std::uint32_t StandardFormatBit(std::uint32_t rate, unsigned channels, unsigned bits);
// The text of the common result codes; false for codes a driver must explain itself.
bool CommonWaveInErrorText(MMRESULT code, char *text, unsigned size);
// Copies a name into a fixed text field, cut to fit, always zero-terminated.
void CopyDeviceName(char *field, unsigned size, const char *name);

class TWaveInDriver {
  public:
    virtual ~TWaveInDriver() = default;
    TWaveInDriver() = default;
    TWaveInDriver(const TWaveInDriver &) = delete;
    TWaveInDriver &operator=(const TWaveInDriver &) = delete;

    // Main thread: the number of capture devices.
    virtual unsigned GetNumDevs() = 0;
    // Main thread: the capabilities of device id (-1: the preferred device).
    virtual MMRESULT GetDevCaps(int id, WAVEINCAPS *caps, unsigned size) = 0;
    // Any thread: the text of a result code, at most size - 1 characters.
    virtual MMRESULT GetErrorText(MMRESULT code, char *text, unsigned size) = 0;
    // Main thread: opens device id for format; with WAVE_FORMAT_QUERY in flags only
    // asks whether the device can record it (handle and callback unused).
    // MM_WIM_OPEN arrives on the driver's thread once the stream runs.
    virtual MMRESULT Open(HWAVEIN *handle, int id, const TWaveFormatEx *format, TWaveInCallback callback,
                          void *instance, std::uint32_t flags) = 0;
    // Main thread (or the wave input's worker after its failure): refused while buffers are
    // queued; otherwise ends the stream and sends MM_WIM_CLOSE before it returns.
    virtual MMRESULT Close(HWAVEIN handle) = 0;
    // Main thread: marks a header usable by the driver.
    virtual MMRESULT PrepareHeader(HWAVEIN handle, PWaveHdr hdr, unsigned size) = 0;
    // Main thread: refused while the header is queued.
    virtual MMRESULT UnprepareHeader(HWAVEIN handle, PWaveHdr hdr, unsigned size) = 0;
    // Main thread or the thread that receives MM_WIM_DATA: queues a prepared header.
    virtual MMRESULT AddBuffer(HWAVEIN handle, PWaveHdr hdr, unsigned size) = 0;
    // Main thread: starts filling the queued headers in order.
    virtual MMRESULT Start(HWAVEIN handle) = 0;
    // Main thread: stops; the partly filled buffer comes back, empty ones stay queued.
    virtual MMRESULT Stop(HWAVEIN handle) = 0;
    // Main thread: stops, returns every queued buffer and sets the position to 0.
    virtual MMRESULT Reset(HWAVEIN handle) = 0;
    // Any thread: frames (or bytes) captured since the start.
    virtual MMRESULT GetPosition(HWAVEIN handle, MMTIME *time, unsigned size) = 0;
    // Any thread: the device id the stream was opened with.
    virtual MMRESULT GetID(HWAVEIN handle, int *id) = 0;
    // Main thread: what the device list adds to device id's name, such as a conversion the
    // driver makes (empty: nothing).
    virtual std::string DeviceNote(int id) {
        (void)id;
        return {};
    }
};
