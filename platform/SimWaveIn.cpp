#include "platform/SimWaveIn.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double Amplitude(double dbfs) {
    return std::pow(10.0, dbfs / 20.0);
}

class TSimSource : public TCaptureSource {
  public:
    TSimSource(TSimWaveInDriver &driver, const TSimDevice &device, const TWaveFormatEx &format,
               std::vector<std::vector<float>> wav)
        : FDriver(driver), FDevice(device), FFormat(format), FWav(std::move(wav)) {}
    ~TSimSource() override { FDriver.SourceGone(); }

    int Begin(long) override {
        FBegin = Clock::now();
        FBeginFrame = FFrame;
        return 0;
    }
    void End() override {}

    long Read(char *data, long frames, int timeoutMs) override {
        // Short waits: a command, a step or a fault set meanwhile is seen soon without an interrupt.
        timeoutMs = std::min(timeoutMs, 20);
        const long n =
            FDevice.RealTime ? DueFrames(frames, timeoutMs) : FDriver.TakeStepFrames(frames, timeoutMs);
        for (long i = 0; i < n; ++i, ++FFrame)
            for (unsigned c = 0; c < FFormat.nChannels; ++c)
                Put(data, Sample(c), FFormat.wBitsPerSample);
        return n;
    }

  private:
    long DueFrames(long wanted, int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto now = Clock::now();
            const double elapsed = std::chrono::duration<double>(now - FBegin).count();
            const long due = static_cast<long>(elapsed * FFormat.nSamplesPerSec) - (FFrame - FBeginFrame);
            if (due > 0) return std::min(due, wanted);
            if (now >= deadline) return 0;
            // Frames come in 5 ms portions, as from a device with short periods.
            std::this_thread::sleep_until(std::min(deadline, now + std::chrono::milliseconds(5)));
        }
    }

    double Sine(double frequency, double dbfs) const {
        return Amplitude(dbfs) * std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(FFrame) /
                                          FFormat.nSamplesPerSec);
    }

    // The value of channel c in frame FFrame, in -1 ... 1 (Counter returns the raw count).
    double Sample(unsigned c) const {
        switch (FDevice.Signal) {
        case TSimSignal::Silence:
            return 0.0;
        case TSimSignal::Sine:
            return Sine(FDevice.Frequency, FDevice.Level);
        case TSimSignal::StereoProgramme:
            if (FFormat.nChannels == 1) return (Sine(1000.0, -20.0) + Sine(500.0, -10.0)) / 2;
            return c % 2 == 0 ? Sine(1000.0, -20.0) : Sine(500.0, -10.0);
        case TSimSignal::Counter:
            return static_cast<double>(FFrame);
        case TSimSignal::WavFile: {
            if (FWav.empty() || FWav[0].empty()) return 0.0;
            const auto &channel = FWav[std::min<std::size_t>(c, FWav.size() - 1)];
            return channel[static_cast<std::size_t>(FFrame % static_cast<std::int64_t>(channel.size()))];
        }
        }
        return 0.0;
    }

    void Put(char *&data, double value, unsigned bits) const {
        if (bits == 8) {
            const int v = FDevice.Signal == TSimSignal::Counter
                              ? static_cast<int>(static_cast<std::int64_t>(value) & 0xFF)
                              : std::clamp(static_cast<int>(std::lround(value * 128.0)) + 128, 0, 255);
            *data++ = static_cast<char>(v);
        } else {
            const std::int16_t v =
                FDevice.Signal == TSimSignal::Counter
                    ? static_cast<std::int16_t>(
                          static_cast<std::uint16_t>(static_cast<std::int64_t>(value) & 0xFFFF))
                    : static_cast<std::int16_t>(std::clamp(std::lround(value * 32768.0), -32768L, 32767L));
            std::memcpy(data, &v, 2);
            data += 2;
        }
    }

    TSimWaveInDriver &FDriver;
    const TSimDevice FDevice;
    const TWaveFormatEx FFormat;
    const std::vector<std::vector<float>> FWav;
    std::int64_t FFrame = 0;
    std::int64_t FBeginFrame = 0;
    Clock::time_point FBegin;
};

class TFailingSource : public TCaptureSource {
  public:
    TFailingSource(std::unique_ptr<TCaptureSource> inner, std::function<bool()> vanished)
        : FInner(std::move(inner)), FVanished(std::move(vanished)) {}
    int Begin(long bufferFrames) override { return FInner->Begin(bufferFrames); }
    void End() override { FInner->End(); }
    void Interrupt() override { FInner->Interrupt(); }
    long Read(char *data, long frames, int timeoutMs) override {
        if (FVanished()) return -ENODEV;
        return FInner->Read(data, frames, timeoutMs);
    }

  private:
    std::unique_ptr<TCaptureSource> FInner;
    std::function<bool()> FVanished;
};

} // namespace

TSimWaveInDriver::TSimWaveInDriver(std::vector<TSimDevice> devices) : FDevices(std::move(devices)) {}

TSimWaveInDriver::~TSimWaveInDriver() {
    std::unique_lock lock(FMutex);
    FFaults.clear();
    FSourceGone.wait_for(lock, std::chrono::seconds(10), [this] { return FLiveSources == 0; });
}

int TSimWaveInDriver::LiveSources() const {
    std::lock_guard lock(FMutex);
    return FLiveSources;
}

void TSimWaveInDriver::SourceGone() {
    std::lock_guard lock(FMutex);
    --FLiveSources;
    FSourceGone.notify_all();
}

std::vector<TSimDevice> TSimWaveInDriver::DefaultDevices() {
    std::vector<TSimDevice> devices(4);
    devices[0].Name = "Simulated silence";
    devices[1].Name = "Simulated 1 kHz -20 dBFS";
    devices[1].Signal = TSimSignal::Sine;
    devices[2].Name = "Simulated stereo programme";
    devices[2].Signal = TSimSignal::StereoProgramme;
    devices[3].Name = "Simulated counter";
    devices[3].Signal = TSimSignal::Counter;
    return devices;
}

void TSimWaveInDriver::Fail(TSimOp op, MMRESULT code, int count, int skip) {
    std::lock_guard lock(FMutex);
    FFaults[op] = TFault{code, count, skip};
}

void TSimWaveInDriver::ClearFaults() {
    std::lock_guard lock(FMutex);
    FFaults.clear();
}

int TSimWaveInDriver::Calls(TSimOp op) const {
    std::lock_guard lock(FMutex);
    const auto it = FCalls.find(op);
    return it == FCalls.end() ? 0 : it->second;
}

MMRESULT TSimWaveInDriver::Check(TSimOp op) {
    std::lock_guard lock(FMutex);
    ++FCalls[op];
    const auto it = FFaults.find(op);
    if (it == FFaults.end() || it->second.Count == 0) return MMSYSERR_NOERROR;
    TFault &fault = it->second;
    if (fault.Skip > 0) {
        --fault.Skip;
        return MMSYSERR_NOERROR;
    }
    if (fault.Count > 0) --fault.Count;
    return fault.Code;
}

bool TSimWaveInDriver::Faulty(TSimOp op) const {
    std::lock_guard lock(FMutex);
    const auto it = FFaults.find(op);
    return it != FFaults.end() && it->second.Count != 0;
}

void TSimWaveInDriver::Step(long frames) {
    std::lock_guard lock(FMutex);
    FStepCredit += frames;
    FStepped.notify_all();
}

long TSimWaveInDriver::TakeStepFrames(long wanted, int timeoutMs) {
    std::unique_lock lock(FMutex);
    FStepped.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return FStepCredit > 0; });
    const long n = std::min(wanted, FStepCredit);
    FStepCredit -= n;
    return n;
}

const TSimDevice *TSimWaveInDriver::Device(int id) const {
    if (FDevices.empty()) return nullptr;
    if (id == WAVE_MAPPER) return &FDevices[0];
    return id >= 0 && id < static_cast<int>(FDevices.size()) ? &FDevices[id] : nullptr;
}

unsigned TSimWaveInDriver::GetNumDevs() {
    return Check(TSimOp::GetNumDevs) != MMSYSERR_NOERROR ? 0 : static_cast<unsigned>(FDevices.size());
}

MMRESULT TSimWaveInDriver::GetDevCaps(int id, WAVEINCAPS *caps, unsigned size) {
    if (const MMRESULT fault = Check(TSimOp::GetDevCaps)) return fault;
    const TSimDevice *device = Device(id);
    if (device == nullptr) return MMSYSERR_BADDEVICEID;
    if (caps == nullptr || size < sizeof(WAVEINCAPS)) return MMSYSERR_INVALPARAM;
    *caps = WAVEINCAPS{};
    CopyDeviceName(caps->szPname, sizeof caps->szPname, device->Name.c_str());
    caps->dwFormats = device->Formats;
    caps->wChannels = device->Channels;
    return MMSYSERR_NOERROR;
}

std::string TSimWaveInDriver::DeviceName(int id) {
    const TSimDevice *device = Device(id);
    return device != nullptr ? device->Name : std::string();
}

MMRESULT TSimWaveInDriver::GetErrorText(MMRESULT code, char *text, unsigned size) {
    if (const MMRESULT fault = Check(TSimOp::GetErrorText)) return fault;
    return TStreamWaveInDriver::GetErrorText(code, text, size);
}

MMRESULT TSimWaveInDriver::QueryFormat(int id, const TWaveFormatEx &format) {
    if (const MMRESULT fault = Check(TSimOp::Query)) return fault;
    const TSimDevice *device = Device(id);
    if (device == nullptr) return MMSYSERR_BADDEVICEID;
    const bool ok = (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) && format.nChannels >= 1 &&
                    format.nChannels <= 4;
    return ok ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

MMRESULT TSimWaveInDriver::Open(HWAVEIN *handle, int id, const TWaveFormatEx *format,
                                TWaveInCallback callback, void *instance, std::uint32_t flags) {
    if ((flags & WAVE_FORMAT_QUERY) != 0)
        return TStreamWaveInDriver::Open(handle, id, format, callback, instance, flags);
    if (const MMRESULT fault = Check(TSimOp::Open)) return fault;
    auto relay = std::make_unique<TRelay>(TRelay{this, callback, instance});
    TRelay *raw = relay.get();
    const MMRESULT result = TStreamWaveInDriver::Open(handle, id, format, RelayCallback, raw, flags);
    if (result == MMSYSERR_NOERROR) {
        std::lock_guard lock(FMutex);
        FRelays[static_cast<HWAVEIN__ *>(*handle)] = std::move(relay);
    }
    return result;
}

void TSimWaveInDriver::RelayCallback(HWAVEIN handle, unsigned message, void *instance, PWaveHdr hdr) {
    const TRelay *relay = static_cast<const TRelay *>(instance);
    if (message == MM_WIM_OPEN && relay->Driver->Check(TSimOp::OpenNotify) != MMSYSERR_NOERROR) return;
    if (message == MM_WIM_CLOSE && relay->Driver->Check(TSimOp::CloseNotify) != MMSYSERR_NOERROR) return;
    if (relay->Callback != nullptr) relay->Callback(handle, message, relay->Instance, hdr);
}

MMRESULT TSimWaveInDriver::Close(HWAVEIN handle) {
    if (const MMRESULT fault = Check(TSimOp::Close)) return fault;
    const MMRESULT result = TStreamWaveInDriver::Close(handle);
    if (result == MMSYSERR_NOERROR) {
        std::lock_guard lock(FMutex);
        FRelays.erase(static_cast<HWAVEIN__ *>(handle));
    }
    return result;
}

MMRESULT TSimWaveInDriver::PrepareHeader(HWAVEIN handle, PWaveHdr hdr, unsigned size) {
    if (const MMRESULT fault = Check(TSimOp::PrepareHeader)) return fault;
    return TStreamWaveInDriver::PrepareHeader(handle, hdr, size);
}

MMRESULT TSimWaveInDriver::UnprepareHeader(HWAVEIN handle, PWaveHdr hdr, unsigned size) {
    if (const MMRESULT fault = Check(TSimOp::UnprepareHeader)) return fault;
    return TStreamWaveInDriver::UnprepareHeader(handle, hdr, size);
}

MMRESULT TSimWaveInDriver::AddBuffer(HWAVEIN handle, PWaveHdr hdr, unsigned size) {
    if (const MMRESULT fault = Check(TSimOp::AddBuffer)) return fault;
    return TStreamWaveInDriver::AddBuffer(handle, hdr, size);
}

MMRESULT TSimWaveInDriver::Start(HWAVEIN handle) {
    if (const MMRESULT fault = Check(TSimOp::Start)) return fault;
    return TStreamWaveInDriver::Start(handle);
}

MMRESULT TSimWaveInDriver::Stop(HWAVEIN handle) {
    if (const MMRESULT fault = Check(TSimOp::Stop)) return fault;
    return TStreamWaveInDriver::Stop(handle);
}

MMRESULT TSimWaveInDriver::Reset(HWAVEIN handle) {
    if (const MMRESULT fault = Check(TSimOp::Reset)) return fault;
    return TStreamWaveInDriver::Reset(handle);
}

MMRESULT TSimWaveInDriver::GetPosition(HWAVEIN handle, MMTIME *time, unsigned size) {
    if (const MMRESULT fault = Check(TSimOp::GetPosition)) return fault;
    return TStreamWaveInDriver::GetPosition(handle, time, size);
}

MMRESULT TSimWaveInDriver::GetID(HWAVEIN handle, int *id) {
    if (const MMRESULT fault = Check(TSimOp::GetID)) return fault;
    return TStreamWaveInDriver::GetID(handle, id);
}

std::unique_ptr<TCaptureSource> TSimWaveInDriver::MakeSource(int id, const TWaveFormatEx &format,
                                                             MMRESULT *result) {
    const TSimDevice *device = Device(id);
    if (device == nullptr) {
        *result = MMSYSERR_BADDEVICEID;
        return nullptr;
    }
    std::vector<std::vector<float>> wav;
    if (device->Signal == TSimSignal::WavFile) {
        std::uint32_t rate = 0;
        if (!ReadWavFile(device->File, wav, rate)) {
            *result = MMSYSERR_NOTENABLED;
            return nullptr;
        }
    }
    *result = MMSYSERR_NOERROR;
    {
        std::lock_guard lock(FMutex);
        ++FLiveSources;
    }
    auto source = std::make_unique<TSimSource>(*this, *device, format, std::move(wav));
    return std::make_unique<TFailingSource>(std::move(source), [this] {
        if (Check(TSimOp::Hang) != MMSYSERR_NOERROR)
            for (int i = 0; i < 3000 && Faulty(TSimOp::Hang); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Check(TSimOp::Read) != MMSYSERR_NOERROR;
    });
}

bool ReadWavFile(const std::string &path, std::vector<std::vector<float>> &channels, std::uint32_t &rate) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = file.readAll();
    auto u16 = [&](qsizetype at) {
        return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                          static_cast<std::uint8_t>(bytes[at + 1]) << 8);
    };
    auto u32 = [&](qsizetype at) {
        return static_cast<std::uint32_t>(u16(at)) | static_cast<std::uint32_t>(u16(at + 2)) << 16;
    };
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") return false;
    unsigned count = 0, bits = 0;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        const qsizetype size = u32(at + 4);
        const qsizetype body = at + 8;
        if (body + size > bytes.size() && id != "data") return false;
        if (id == "fmt " && size >= 16) {
            if (u16(body) != WAVE_FORMAT_PCM) return false;
            count = u16(body + 2);
            rate = u32(body + 4);
            bits = u16(body + 14);
        } else if (id == "data") {
            if (count == 0 || (bits != 8 && bits != 16)) return false;
            const qsizetype frameBytes = count * bits / 8;
            const qsizetype frames = std::min(size, bytes.size() - body) / frameBytes;
            channels.assign(count, std::vector<float>(static_cast<std::size_t>(frames)));
            for (qsizetype f = 0; f < frames; ++f)
                for (unsigned c = 0; c < count; ++c) {
                    const qsizetype p = body + f * frameBytes + c * bits / 8;
                    channels[c][f] = bits == 8 ? (static_cast<std::uint8_t>(bytes[p]) - 128) / 128.0f
                                               : static_cast<std::int16_t>(u16(p)) / 32768.0f;
                }
            return frames > 0;
        }
        at = body + size + (size & 1);
    }
    return false;
}
