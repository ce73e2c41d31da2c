#pragma once

// The wave input's hidden message window. It lives on the main thread; the driver's
// messages in window mode, a deferred stop's completion and the worker's failure arrive
// here. They wait in its own queue, and the posted event only wakes it: so RunPosted can
// run exactly these without the rest of the loop, and every hand-over from the posting
// thread goes through its lock.

#include "platform/WaveInDriver.h"

#include <QObject>

#include <deque>
#include <exception>
#include <functional>
#include <mutex>

// Our own messages, beside the driver's.
constexpr unsigned MM_DEFERRED_STOP = 0x8002;
constexpr unsigned MM_THREAD_FAILED = 0x8003; // the worker's loop failed

class TMMCustomWaveIn;

class TWaveInWindow : public QObject {
  public:
    explicit TWaveInWindow(TMMCustomWaveIn *owner) : FOwner(owner) {}
    // Any thread.
    void Post(unsigned message, HWAVEIN handle, PWaveHdr hdr, std::exception_ptr error = nullptr);
    // This object's thread: runs the messages posted so far; their wake-ups then find none.
    void RunPosted();
    bool OnCallingThread() const;
    std::function<void(HWAVEIN, std::exception_ptr)> OnThreadFailed;

  protected:
    bool event(QEvent *e) override;

  private:
    struct TMessage {
        unsigned Message = 0;
        HWAVEIN Handle = nullptr;
        PWaveHdr Hdr = nullptr;
        std::exception_ptr Error;
    };
    void Run(TMessage &m);

    TMMCustomWaveIn *FOwner;
    std::mutex FLock; // guards FMessages
    std::deque<TMessage> FMessages;
};
