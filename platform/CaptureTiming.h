#pragma once

// Timing of a capture device for the buffers its reader queues: the size of its
// periods and ring, when the reader looks for the next buffer, and how long it waits
// for the rest of one that is not complete yet. Pure arithmetic on given times
// (microseconds of a monotonic clock): nothing here touches a device or a clock.

#include <array>
#include <cstdint>

struct TCapturePeriods {
    long Period = 0; // frames per device period
    long Buffer = 0; // frames in the device's ring: whole periods
};

// A device wakes its reader about once a period, so one period per buffer hands
// every buffer over as soon as it is full, at the fewest wake-ups. Periods are kept
// to 10 ... 100 ms: a shorter buffer gets a period of whole buffers, a longer one a
// period that divides it where one does. The ring holds a second in whole periods: a
// busy machine can keep the reader from running for some hundred milliseconds.
// bufferFrames <= 0 (not known yet) gives 10 ms periods.
TCapturePeriods ChooseCapturePeriods(long bufferFrames, unsigned rate);

// A sound server may signal "a period is ready" a little before a whole buffer is:
// it counts its periods in its own units. The rest then comes with its next
// transfer, a transfer interval after the signal. The reader looks in short steps;
// this remembers how long the rest took lately, so that the first look waits about
// that long instead of stepping all the way. One reader thread.
class TRestWait {
  public:
    static constexpr long kStepUs = 250;

    // The first sleep after a short signal, the missing frames due in missingUs.
    long FirstSleepUs(long missingUs) const;
    // The sleep before look number steps + 1: kStepUs, growing when the rest is long in
    // coming (a device that stalls after its signal is not polled at full rate).
    static long StepUs(int steps);
    // The rest of a buffer was there restUs after the signal.
    void Add(long restUs);
    // Forgets what was seen (the device was set up anew).
    void Clear();

  private:
    // The fewest recent times count: a rest found late by one step or a busy moment
    // does not push the first look past the next transfer.
    std::array<long, 8> FSeen{};
    int FCount = 0;
    int FNext = 0;
};

// Plans a capture reader's looks: one per buffer, on a steady grid just behind the
// device's deliveries, so that buffers are handed over at an even pace whatever the
// size and timing of the device's transfers (a sound server sends a few milliseconds
// at a time, a card a period). A look that finds its buffer incomplete anchors the
// grid just behind the moment the buffer was. Every few looks the grid moves a little
// earlier, further when data has waited at each of them, so that it follows a device
// clock faster than the reader's and does not stay behind what it has to wait for. A
// reader held up hands the buffers that piled up over at once and starts a new grid.
// One reader thread.
class TCapturePacer {
  public:
    // How far behind a buffer's completion an anchored grid looks: a look right on it
    // would find its buffer incomplete about every other time.
    static constexpr std::int64_t kMarginUs = 250;
    // Every kWindow looks the grid moves kProbeUs earlier (a device clock up to 700 ppm
    // fast is followed), or, when data has waited longer than kSlackUs at each of them,
    // by that wait less half the slack.
    static constexpr int kWindow = 16;
    static constexpr std::int64_t kProbeUs = 500;
    static constexpr std::int64_t kSlackUs = 1000;

    // Forgets the grid: the next look waits for the device.
    void Reset();
    bool Planned() const { return FPlanned; }
    // When to look for the next buffer.
    std::int64_t NextLookUs() const { return FNextUs; }
    // A buffer of spanUs was handed over at nowUs. late: the look found it incomplete, or
    // none was planned; surplusUs: how much data had come beyond it.
    void HandedOver(std::int64_t nowUs, std::int64_t spanUs, bool late, std::int64_t surplusUs);

  private:
    bool FPlanned = false;
    bool FCatchingUp = false;
    std::int64_t FNextUs = 0;
    std::int64_t FLeastSurplusUs = 0; // over the looks of the window so far
    int FLooks = 0;
};
