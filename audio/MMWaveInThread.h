#pragma once

// The wave input's worker of cmThread mode: the driver's thread posts the returned
// buffers to its mailbox, and the worker takes them in order and delivers them.

#include "audio/MMDSPThread.h"
#include "platform/WaveInDriver.h"

#include <condition_variable>
#include <deque>
#include <mutex>

class TMMCustomWaveIn;

class TWaveInMailbox {
  public:
    struct TMessage {
        unsigned Message;
        HWAVEIN Handle;
        PWaveHdr Hdr;
    };
    // Main thread, before a worker starts: empty, and no longer told to quit.
    void Open();
    // Main thread: Next returns false from now on.
    void Quit();
    // Driver's thread. What lands here after the worker failed is never read.
    void Post(const TMessage &Message);
    // Worker thread: waits for the next message; false once told to quit.
    bool Next(TMessage &Message);

  private:
    std::mutex FLock; // guards FMessages and FQuit
    std::condition_variable FCond;
    std::deque<TMessage> FMessages;
    bool FQuit = false;
};

// Takes MM_WIM_DATA from the wave input's mailbox and processes it.
class TMMWaveInThread : public TMMDSPThread {
  public:
    explicit TMMWaveInThread(TMMCustomWaveIn *WaveIn);

  protected:
    void Execute() override;
    const char *ThreadName() const override { return "wavein-worker"; }

  private:
    TMMCustomWaveIn *FWaveIn;
};
