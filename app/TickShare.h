#pragma once

#include <functional>
#include <utility>

// Screen work run on every Nth tick of the 20 ms read-out timer. That timer's ticks ride the
// frame tick while a window shows and run on their own timer otherwise, so work that shares
// them wakes the main thread no more than the read-outs already do.
//
// Thread contract: main thread only.
class TTickShare {
  public:
    TTickShare(int everyTicks, std::function<void()> job) : FEvery(everyTicks), FJob(std::move(job)) {}

    // Off: the job runs only when called by hand (tests).
    void SetEnabled(bool value) { FEnabled = value; }

    void Tick() {
        if (!FEnabled || ++FCount < FEvery) return;
        FCount = 0;
        FJob();
    }

  private:
    int FEvery;
    int FCount = 0;
    bool FEnabled = true;
    std::function<void()> FJob;
};
