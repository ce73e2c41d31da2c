#pragma once

// A capture driver without hardware: devices that produce a known signal, at
// real-time pace or only when told to (Step), and that fail on request at any
// driver operation, so every path of the wave input can be run in a test.
//
//   TSimWaveInDriver sim;                            // the default devices
//   sim.Fail(TSimOp::AddBuffer, MMSYSERR_NOMEM, 1, 3); // the 4th AddBuffer fails once

#include "platform/WaveInStream.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

enum class TSimSignal {
    Silence,
    Sine,            // Frequency at Level dBFS on every channel
    StereoProgramme, // left 1 kHz at -20 dBFS, right 500 Hz at -10 dBFS
    Counter,         // every sample of frame n holds n (wrapping at the sample's range)
    WavFile          // the PCM file File, looped, channels mapped, read at the stream's rate
};

struct TSimDevice {
    std::string Name;
    TSimSignal Signal = TSimSignal::Silence;
    double Frequency = 1000.0;
    double Level = -20.0;
    std::string File;
    bool RealTime = true;          // false: frames come only through Step
    std::uint32_t Formats = 0xFFF; // the standard-format bits the device reports
    std::uint16_t Channels = 2;
};

// The operations a fault can be put on. Read makes the device vanish mid-stream,
// Hang makes reads block until the faults are cleared (at most 30 s), OpenNotify and
// CloseNotify swallow the driver's confirmations.
enum class TSimOp {
    GetNumDevs,
    GetDevCaps,
    GetErrorText,
    Open,
    Query,
    Close,
    PrepareHeader,
    UnprepareHeader,
    AddBuffer,
    Start,
    Stop,
    Reset,
    GetPosition,
    GetID,
    Read,
    Hang,
    OpenNotify,
    CloseNotify
};

class TSimWaveInDriver : public TStreamWaveInDriver {
  public:
    explicit TSimWaveInDriver(std::vector<TSimDevice> devices = DefaultDevices());
    // Clears the faults and waits (at most 10 s) until the threads of given-up streams have
    // left their sources, which call back into the driver.
    ~TSimWaveInDriver() override;

    // Silence, a 1 kHz sine at -20 dBFS, the stereo programme and a counter, all real-time.
    static std::vector<TSimDevice> DefaultDevices();

    // Any thread: after `skip` more calls of op succeed, the next `count` calls fail with
    // code (count < 0: all of them). GetNumDevs "fails" by reporting no device.
    void Fail(TSimOp op, MMRESULT code, int count = -1, int skip = 0);
    void ClearFaults();
    // Any thread: how often op was called since construction.
    int Calls(TSimOp op) const;
    // Any thread: lets `frames` more frames through on every open step-mode stream.
    void Step(long frames);

    unsigned GetNumDevs() override;
    MMRESULT GetDevCaps(int id, WAVEINCAPS *caps, unsigned size) override;
    MMRESULT GetErrorText(MMRESULT code, char *text, unsigned size) override;
    MMRESULT Open(HWAVEIN *handle, int id, const TWaveFormatEx *format, TWaveInCallback callback,
                  void *instance, std::uint32_t flags) override;
    MMRESULT Close(HWAVEIN handle) override;
    MMRESULT PrepareHeader(HWAVEIN handle, PWaveHdr hdr, unsigned size) override;
    MMRESULT UnprepareHeader(HWAVEIN handle, PWaveHdr hdr, unsigned size) override;
    MMRESULT AddBuffer(HWAVEIN handle, PWaveHdr hdr, unsigned size) override;
    MMRESULT Start(HWAVEIN handle) override;
    MMRESULT Stop(HWAVEIN handle) override;
    MMRESULT Reset(HWAVEIN handle) override;
    MMRESULT GetPosition(HWAVEIN handle, MMTIME *time, unsigned size) override;
    MMRESULT GetID(HWAVEIN handle, int *id) override;
    MMRESULT QueryFormat(int id, const TWaveFormatEx &format) override;
    std::unique_ptr<TCaptureSource> MakeSource(int id, const TWaveFormatEx &format,
                                               MMRESULT *result) override;
    std::string DeviceName(int id) override;

    // Any thread: is a fault set on op now (without counting a call)?
    bool Faulty(TSimOp op) const;
    // Source side (the stream's thread): the next step-mode frames, waiting at most timeoutMs.
    long TakeStepFrames(long wanted, int timeoutMs);
    // Source side: a source made by MakeSource is gone.
    void SourceGone();
    // Any thread: the sources made and not yet freed (a freed stream frees its source).
    int LiveSources() const;

  private:
    struct TFault {
        MMRESULT Code = MMSYSERR_NOERROR;
        int Count = 0;
        int Skip = 0;
    };
    struct TRelay {
        TSimWaveInDriver *Driver;
        TWaveInCallback Callback;
        void *Instance;
    };
    static void RelayCallback(HWAVEIN handle, unsigned message, void *instance, PWaveHdr hdr);
    // Counts the call and answers the fault due now, if any.
    MMRESULT Check(TSimOp op);
    const TSimDevice *Device(int id) const;

    const std::vector<TSimDevice> FDevices;
    mutable std::mutex FMutex; // guards everything below
    std::condition_variable FStepped;
    std::map<TSimOp, TFault> FFaults;
    std::map<TSimOp, int> FCalls;
    std::map<void *, std::unique_ptr<TRelay>> FRelays; // by the handle's stream, until Close
    std::vector<std::unique_ptr<TRelay>> FPendingRelays;
    long FStepCredit = 0;
    int FLiveSources = 0;
    std::condition_variable FSourceGone;
};

// Reads a PCM WAV file (8 or 16 bits, any channel count) as frames of samples in
// -1 ... 1. Returns false when the file is missing or not such a file.
bool ReadWavFile(const std::string &path, std::vector<std::vector<float>> &channels, std::uint32_t &rate);
