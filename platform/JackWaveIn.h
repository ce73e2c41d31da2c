#pragma once

// The JACK capture driver: one device, "JACK", listed while a JACK server (or PipeWire's JACK
// service) answers. Its stream makes the console a JACK client named "VelmoraPro" with the
// input ports in_L and in_R; a server at another rate than the stream's is resampled.
//
// Threads: the server's process thread only copies each period into a TSampleRing (no lock,
// no allocation, no system call); the stream's thread takes the frames from there, resamples
// and converts them to 16-bit samples.

#include "core/SampleRing.h"
#include "platform/WaveInStream.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr const char *kJackDeviceName = "JACK";
inline constexpr const char *kJackClientName = "VelmoraPro";

// Process thread: appends a period of the two ports to ring as interleaved frames, all of it
// or, when the reader has fallen behind, nothing (counted in dropped).
void CopyJackPeriod(const float *left, const float *right, std::size_t frames, TSampleRing<float> &ring,
                    std::atomic<std::uint32_t> &dropped);

// A JACK sample (full scale +-1) as a 16-bit one: rounded to nearest, clipped to the range.
std::int16_t JackSampleToPcm16(float sample);

class TJackWaveInDriver : public TStreamWaveInDriver {
  public:
    TJackWaveInDriver();

    // Main thread: 1 while a server answers, else 0.
    unsigned GetNumDevs() override;
    // 16-bit stereo at any rate: the server's frames are resampled to it.
    MMRESULT GetDevCaps(int id, WAVEINCAPS *caps, unsigned size) override;
    MMRESULT QueryFormat(int id, const TWaveFormatEx &format) override;
    std::unique_ptr<TCaptureSource> MakeSource(int id, const TWaveFormatEx &format,
                                               MMRESULT *result) override;
    std::string DeviceName(int id) override { return id == 0 || id == WAVE_MAPPER ? kJackDeviceName : ""; }

    // Any thread: whether a stream connects its ports to the first two physical capture
    // ports when it first starts (on by default).
    void SetAutoConnect(bool on) { FAutoConnect = on; }
    // Any thread: the rate of the server the latest GetNumDevs or open found (0: none).
    std::uint32_t ServerRate() const { return FServerRate; }

  private:
    std::atomic<bool> FAutoConnect{true};
    std::atomic<std::uint32_t> FServerRate{0};
};
