#include "platform/WaveInDevices.h"

#include "platform/AlsaWaveIn.h"
#include "platform/SimWaveIn.h"

#include <atomic>
#include <cstring>
#include <memory>

namespace {

std::atomic<bool> AppendSimulated{false};

// ALSA's devices first, then the simulated ones when asked for; -1 stays ALSA's "default".
class TSystemWaveInDriver : public TStreamWaveInDriver {
  public:
    unsigned GetNumDevs() override {
        FRealCount = static_cast<int>(FAlsa.GetNumDevs());
        return static_cast<unsigned>(FRealCount) + (AppendSimulated ? FSim.GetNumDevs() : 0u);
    }
    MMRESULT GetDevCaps(int id, WAVEINCAPS *caps, unsigned size) override {
        return IsSim(id) ? FSim.GetDevCaps(id - FRealCount, caps, size) : FAlsa.GetDevCaps(id, caps, size);
    }
    MMRESULT QueryFormat(int id, const TWaveFormatEx &format) override {
        return IsSim(id) ? FSim.QueryFormat(id - FRealCount, format) : FAlsa.QueryFormat(id, format);
    }
    std::unique_ptr<TCaptureSource> MakeSource(int id, const TWaveFormatEx &format,
                                               MMRESULT *result) override {
        return IsSim(id) ? FSim.MakeSource(id - FRealCount, format, result)
                         : FAlsa.MakeSource(id, format, result);
    }
    std::string DeviceName(int id) override {
        return IsSim(id) ? FSim.DeviceName(id - FRealCount) : FAlsa.DeviceName(id);
    }

  private:
    // Ids are those of the latest enumeration, as the wave inputs' device counts are.
    bool IsSim(int id) {
        if (FRealCount < 0) GetNumDevs();
        return AppendSimulated && id >= FRealCount;
    }
    TAlsaWaveInDriver FAlsa;
    TSimWaveInDriver FSim;
    int FRealCount = -1; // main thread
};

} // namespace

void AppendSimulatedWaveInDevices(bool on) {
    AppendSimulated = on;
}

TWaveInDriver &SystemWaveInDriver() {
    // Never destroyed: a stream's thread may still be inside it while the process exits.
    static auto *driver = new TSystemWaveInDriver;
    return *driver;
}

bool IsWaveInDeviceId(int Id, int NumDevs) {
    return Id >= WAVE_MAPPER && Id < NumDevs;
}

std::optional<std::string> WaveInDeviceName(TWaveInDriver &Driver, int Id, int NumDevs) {
    if (NumDevs <= 0 || !IsWaveInDeviceId(Id, NumDevs)) return std::nullopt;
    WAVEINCAPS caps;
    if (Driver.GetDevCaps(Id, &caps, sizeof caps) != MMSYSERR_NOERROR) return std::nullopt;
    return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

bool WaveInDeviceCanRecord(TWaveInDriver &Driver, int Id, int NumDevs, const TWaveFormatEx *Format) {
    if (!IsWaveInDeviceId(Id, NumDevs) || Format == nullptr) return false;
    if (Driver.Open(nullptr, Id, Format, nullptr, nullptr, WAVE_FORMAT_QUERY) != MMSYSERR_NOERROR)
        return false;
    if (Format->wFormatTag != WAVE_FORMAT_PCM) return true;
    WAVEINCAPS caps;
    if (Driver.GetDevCaps(Id, &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
    const std::uint32_t bit =
        StandardFormatBit(Format->nSamplesPerSec, Format->nChannels, Format->wBitsPerSample);
    return bit == 0 || (caps.dwFormats & bit) != 0;
}
