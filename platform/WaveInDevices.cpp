#include "platform/WaveInDevices.h"

#include "platform/AlsaWaveIn.h"
#include "platform/JackWaveIn.h"
#include "platform/SimWaveIn.h"

#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

namespace {

std::atomic<bool> AppendSimulated{false};
std::atomic<bool> JackAutoConnect{true};

constexpr std::uint32_t kConsoleRate = 48000;

// ALSA's devices, then JACK's, then the simulated ones; -1 stays ALSA's "default".
class TSystemWaveInDriver : public TStreamWaveInDriver {
  public:
    unsigned GetNumDevs() override {
        FCounts[0] = static_cast<int>(FAlsa.GetNumDevs());
        // Probed only until it first answers: a listed JACK keeps its place.
        if (FCounts[1] == 0) FCounts[1] = static_cast<int>(FJack.GetNumDevs());
        FCounts[2] = AppendSimulated ? static_cast<int>(FSim.GetNumDevs()) : 0;
        return static_cast<unsigned>(FCounts[0] + FCounts[1] + FCounts[2]);
    }
    MMRESULT GetDevCaps(int id, WAVEINCAPS *caps, unsigned size) override {
        return Part(id).GetDevCaps(id, caps, size);
    }
    MMRESULT QueryFormat(int id, const TWaveFormatEx &format) override {
        return Part(id).QueryFormat(id, format);
    }
    std::unique_ptr<TCaptureSource> MakeSource(int id, const TWaveFormatEx &format,
                                               MMRESULT *result) override {
        TStreamWaveInDriver &part = Part(id);
        if (&part == &FJack) FJack.SetAutoConnect(JackAutoConnect);
        return part.MakeSource(id, format, result);
    }
    std::string DeviceName(int id) override { return Part(id).DeviceName(id); }
    std::string DeviceNote(int id) override {
        const std::uint32_t rate = FJack.ServerRate();
        if (&Part(id) != &FJack || rate == 0 || rate == kConsoleRate) return {};
        // "44.1k": the menu's line is narrow.
        std::string khz = std::to_string(rate / 1000);
        if (rate % 1000 != 0) khz += "." + std::to_string(rate % 1000 / 100);
        return khz + "k, resampled";
    }

  private:
    // The driver of device id, with id made that driver's own. Ids are those of the latest
    // enumeration, as the wave inputs' device counts are.
    TStreamWaveInDriver &Part(int &id) {
        if (FCounts[0] < 0) GetNumDevs();
        if (id < FCounts[0]) return FAlsa;
        TStreamWaveInDriver *parts[] = {&FJack, &FSim};
        for (std::size_t i = 1; i < FCounts.size(); ++i) {
            id -= FCounts[i - 1];
            if (id < FCounts[i]) return *parts[i - 1];
        }
        return FSim; // past the end: the simulated driver refuses it
    }
    TAlsaWaveInDriver FAlsa;
    TJackWaveInDriver FJack;
    TSimWaveInDriver FSim;
    std::array<int, 3> FCounts{-1, 0, 0}; // main thread
};

} // namespace

void AppendSimulatedWaveInDevices(bool on) {
    AppendSimulated = on;
}

void ConnectJackToCapturePorts(bool on) {
    JackAutoConnect = on;
}

TWaveInDriver &SystemWaveInDriver() {
    // Never destroyed: a stream's thread may still be inside it while the process exits.
    static auto *driver = new TSystemWaveInDriver;
    return *driver;
}

std::vector<std::string> KeepOpenable(const std::vector<std::string> &names,
                                      const std::function<bool(const std::string &)> &opens,
                                      std::chrono::milliseconds pause) {
    std::vector<bool> kept(names.size());
    bool refused = false;
    for (std::size_t i = 0; i < names.size(); ++i)
        refused |= !(kept[i] = opens(names[i]));
    if (refused) {
        std::this_thread::sleep_for(pause);
        for (std::size_t i = 0; i < names.size(); ++i)
            if (!kept[i]) kept[i] = opens(names[i]);
    }
    std::vector<std::string> openable;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (kept[i]) openable.push_back(names[i]);
    return openable;
}

std::vector<TListedDevice> ListWaveInDevices(TWaveInDriver &Driver) {
    const unsigned count = Driver.GetNumDevs();
    std::vector<TListedDevice> list;
    for (unsigned id = 0; id < count; ++id) {
        // The result is not examined: a device that cannot answer keeps its place, nameless.
        WAVEINCAPS caps;
        Driver.GetDevCaps(static_cast<int>(id), &caps, sizeof caps);
        list.push_back({std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname)),
                        Driver.DeviceNote(static_cast<int>(id))});
    }
    return list;
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
