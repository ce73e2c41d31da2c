#pragma once

#include "audio/MMThread.h"

#include <vector>

class TMMCustomSoundComponent;

// A worker thread created suspended on behalf of one sound component (the wave
// input's worker is one). Every such thread is listed process-wide while it exists.
// A derived class's destructor makes Execute return (Terminate, plus whatever wakes
// the thread) and calls WaitFor before its own members go away.
class TMMDSPThread : public TMMThreadEx {
  public:
    explicit TMMDSPThread(TMMCustomSoundComponent *Component);
    ~TMMDSPThread() override;

    TMMCustomSoundComponent *Component() const { return FComponent; }

    // Every live DSP thread, in creation order (any thread; a snapshot).
    static std::vector<TMMDSPThread *> ThreadRegistry();

  private:
    TMMCustomSoundComponent *FComponent;
};
