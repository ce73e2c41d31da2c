#pragma once

// The part every capture driver shares: a stream with its own thread that fills
// the queued headers in order from a frame source and sends the notifications.
// Drivers only enumerate devices, answer format queries and make sources.

#include "platform/WaveInDriver.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct HWAVEIN__ {
    virtual ~HWAVEIN__() = default;
};

// Where a stream's frames come from. Every call runs on the stream's thread.
class TCaptureSource {
  public:
    virtual ~TCaptureSource() = default;
    // Begins (or resumes) capturing; 0 or a negative errno. bufferFrames is the length of
    // the buffers queued now (0: none is), so that a source can fit its device's periods.
    virtual int Begin(long bufferFrames) = 0;
    // Stops capturing and drops what the device still holds.
    virtual void End() = 0;
    // Reads up to frames frames into data, waiting at most timeoutMs. Returns the
    // frames read (0 when nothing came in time, or the wait was interrupted) or a
    // negative errno when the device can no longer deliver.
    virtual long Read(char *data, long frames, int timeoutMs) = 0;
    // Any thread: makes the Read waiting now, or else the next one, return soon: a command
    // waits for the stream's thread. A source whose reads never wait long needs nothing here.
    virtual void Interrupt() {}
    // How long a started source may deliver nothing before it counts as gone (0: forever).
    virtual int StallTimeoutMs() const { return 0; }
};

class TWaveInStream : public HWAVEIN__ {
  public:
    // Main thread: starts the stream's thread, which sends MM_WIM_OPEN. deviceName: the
    // device as the driver lists it, for the texts of the stream's failures.
    TWaveInStream(int id, std::string deviceName, const TWaveFormatEx &format,
                  std::unique_ptr<TCaptureSource> source, TWaveInCallback callback, void *instance);
    // Main thread: ends the thread without notifying anyone.
    ~TWaveInStream() override;

    int Id() const { return FId; }
    const std::string &DeviceName() const { return FDeviceName; }
    // Any thread.
    MMRESULT AddBuffer(PWaveHdr hdr);
    // Main thread: the commands run on the stream's thread; these wait for them.
    MMRESULT Start();
    MMRESULT Stop();
    MMRESULT Reset();
    // Main thread: refused while buffers are queued; sends MM_WIM_CLOSE on the calling thread.
    MMRESULT Close();
    // Main thread, after a successful Close: frees the stream, at once or, when its thread
    // hangs inside the device (the stream is then given up and never notifies again), as
    // that thread leaves.
    void Release();
    // Any thread.
    MMRESULT Position(MMTIME *time) const;
    // Any thread: the headers queued now.
    std::size_t Queued() const;

  private:
    enum class TCommand { None, Start, Stop, Reset, Quit };
    MMRESULT Command(TCommand command);
    // The stream's thread: Loop, then frees a released stream it was the last to hold.
    void Run();
    void Loop();
    // Stream thread, lock held: stops a started source.
    void EndCapture();
    // Stream thread, lock held: carries out one command.
    MMRESULT Execute(TCommand command, std::unique_lock<std::mutex> &lock);
    // Stream thread, lock held: hands hdr back (the lock is dropped around the callback).
    void Return(PWaveHdr hdr, std::unique_lock<std::mutex> &lock);
    // Calls the receiver's callback; Notify does so only while the stream is not given up.
    void Deliver(unsigned message, PWaveHdr hdr);
    void Notify(unsigned message, PWaveHdr hdr);
    // Main thread: quits the stream's thread (leaves a given-up one to itself) and the watch.
    void EndThreads();
    // The watch thread: gives the stream up when its thread stays inside a read.
    void Watch();
    // Lock held: from now on the stream reports `code` and its thread is on its own.
    void Abandon(MMRESULT code);

    const int FId;
    const std::string FDeviceName;
    const TWaveFormatEx FFormat;
    const std::unique_ptr<TCaptureSource> FSource;
    const TWaveInCallback FCallback;
    void *const FInstance;

    std::mutex FCommandMutex;  // one command at a time
    mutable std::mutex FMutex; // guards everything below
    std::condition_variable FWake;
    std::condition_variable FCommandDone;
    std::deque<PWaveHdr> FQueue;
    TCommand FCommand = TCommand::None;
    MMRESULT FCommandResult = MMSYSERR_NOERROR;
    bool FStarted = false;
    bool FClosed = false;
    // Set when the device stopped delivering; every later AddBuffer and Start reports it.
    MMRESULT FFailure = MMSYSERR_NOERROR;
    std::atomic<std::uint64_t> FFrames{0};
    std::atomic<bool> FAbandoned{false};
    // When the stream's thread entered the read it is in (0 when it is not in one), in ms.
    std::int64_t FReadingSince = 0;
    // Reads land here first: a thread that comes back out of a hung device must not write
    // into buffers the receiver has long taken back.
    std::vector<char> FScratch;
    bool FThreadLeft = false;
    bool FReleased = false;
    std::condition_variable FWatchWake;
    bool FWatchQuit = false;
    std::thread FThread;
    std::thread FWatch;
};

// A driver whose streams are TWaveInStreams: the handle operations are common.
class TStreamWaveInDriver : public TWaveInDriver {
  public:
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

    // Main thread: can device id record format? (ids are checked by the caller)
    virtual MMRESULT QueryFormat(int id, const TWaveFormatEx &format) = 0;
    // Main thread: a source for device id in format, or null with *result set.
    virtual std::unique_ptr<TCaptureSource> MakeSource(int id, const TWaveFormatEx &format,
                                                       MMRESULT *result) = 0;
    // Any thread: the text of a code the common table does not know. A device error
    // (ALSAERR_BASE + errno) this driver reported names the device it came from.
    bool DriverErrorText(MMRESULT code, char *text, unsigned size);
    // Main thread: device id as the driver lists it (empty when there is none).
    virtual std::string DeviceName(int id) = 0;

  private:
    // Any thread: result, after remembering which device a device error came from.
    MMRESULT Noted(MMRESULT result, const std::string &device, bool opening);

    struct TFailure {
        std::string Device;
        bool Opening = false;
    };
    std::mutex FFailureMutex;               // guards FFailures
    std::map<MMRESULT, TFailure> FFailures; // the latest device per device error code
};
