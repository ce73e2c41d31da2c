#pragma once

// The screen's frame tick as a wake the main thread's screen work shares.
//
// While a window shows and sound runs, the screen's frame clock ticks up to 60
// times a second anyway. The connectors' trigger loop rides that tick: its pass
// runs just before each present, handing out every block due by then. Timers
// that only feed the screen (the read-out timer, the peak tick service) tick
// from the frame tick itself (MMFrameTimer.h), and other such work (the peak
// hold's redraws) is flagged from its own thread and runs on the same tick
// instead of waking the main thread itself. With nothing shown nothing rides:
// flagged jobs wake the main thread their own way, as without a screen, and the
// timers ride the trigger loop's passes while buffers arrive.
//
// The screen lives a floor above: it implements TMMFrameSource and registers
// itself here.
//
// Threads: TMMFrameRider::Flag and Riding on any thread; everything else on the
// main thread.

#include <atomic>
#include <functional>
#include <memory>

class TMMFrameSource {
  public:
    virtual ~TMMFrameSource() = default;
    // Whether a window of the process is on the screen (mapped, not minimised).
    virtual bool Showing() const = 0;
    // A frame tick within one frame, even with nothing to present; the source
    // calls TMMFrameRide::Frame() at its start.
    virtual void RequestFrame() = 0;
};

class TMMFrameRide {
  public:
    // The screen, or null when there is none (then nothing rides). Clearing it
    // ends the riding.
    static void SetSource(TMMFrameSource *Source);
    static TMMFrameSource *Source();
    // Any thread: whether a source is set.
    static bool HasSource();
    // The pass every frame tick runs first (the trigger loop's).
    static void SetFramePass(std::function<void()> Pass);

    // Any thread: true while the next frame tick is surely coming.
    static bool Riding();
    // Whether it is (the trigger loop, having requested the tick, or not). Going
    // off runs every flagged job at once, so none waits for a tick that will not
    // come. Returns the value before.
    static bool SetRiding(bool Value);

    // By the source, at the start of every frame tick: the pass, the timers that
    // ride (MMFrameTimer.h), then the flagged jobs, in the order their riders were made.
    static void Frame();
    // Runs every flagged job now.
    static void RunFlagged();
};

// One job that may ride the frame tick. The job must bear running once more than
// it was flagged (a redraw, a step that checks it is due), which happens only
// when the riding ends just as it is flagged.
class TMMFrameRider {
  public:
    explicit TMMFrameRider(std::function<void()> Job);
    // On the main thread, no run starts once this returns; dropped elsewhere, a run
    // may be under way, so the job holds what it needs.
    ~TMMFrameRider();
    TMMFrameRider(const TMMFrameRider &) = delete;
    TMMFrameRider &operator=(const TMMFrameRider &) = delete;

    // Any thread: asks for one run of the job on the main thread. True: a frame
    // tick runs it (or ran it already). False: no tick is coming; the caller
    // wakes the main thread its own way, as it would without riding.
    bool Flag();

    struct TCore;

  private:
    std::shared_ptr<TCore> FCore;
};
