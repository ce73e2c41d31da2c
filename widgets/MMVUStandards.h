#pragma once

// The VU needles' standard ballistics, beside the classic ones of MMMeterLaws.h: the volume
// indicator of IEC 60268-17. No toolkit: the needle state runs a TMMVUBallistics on each block
// and points the needle where it reads.
//
// The meter reads the full-wave rectified average of the signal through a second-order
// movement: after a steady tone is switched on the needle reaches 99 % of its steady reading in
// 300 ms and overshoots it by 1 to 1.5 %, and it falls back the same way. The movement here is
// designed for the middle of those figures: damping 0.8127 for a 1.25 % overshoot, and a natural
// frequency of 13.5124 rad/s (2.15 Hz), at which that response first reaches 99 % at 300 ms.
// Each block steps the movement exactly over the block's length, taking the block's rectified
// average as held through it (a block of 1000 frames lasts 20.8 ms; the movement's own
// response is a hundred times slower than the block rate's ripple).
//
// RefLevel keeps its meaning: a sine whose peak is RefLevel dBFS reads 0 VU. A sine's rectified
// average is 2/pi of its peak, so the reading of a deflection d is 20 log10(d pi/2 / 32767) - ref.
//
// The tests hold the law to the standard's figures with a 1 kHz tone at the 0 VU level, block
// by block: the first block that reads 99 % ends within 300 ms +-10 % of the switch-on (the
// standard's own tolerance; the blocks add at most their length), the overshoot lies within the
// standard's 1 to 1.5 %, and the fall to 1 % takes as long as the rise.

#include <cstdint>

struct TMMLevelInput;

enum TMMNeedleStandard { nsClassic = 0, nsIECVU = 1 };
inline constexpr int kNeedleStandardCount = 2;

inline constexpr double kVUDamping = 0.8127;
inline constexpr double kVUNaturalRadPerSecond = 13.5124;

// The rectified average of one block: the mean magnitude of its frames' values.
double BlockRectifiedAverage(const void *data, const TMMLevelInput &in);

// The VU reading of a rectified-average deflection in sample units against the reference (the
// sine peak level in dBFS that reads 0 VU): 20 log10(max(0.00001, d pi/2 / 32767)) - ref.
float IECVUReading(double deflection, double refLevel);

// One needle's second-order movement over a stream of blocks. Runs on the thread that hands the
// blocks in; nothing here is shared.
class TMMVUBallistics {
  public:
    TMMNeedleStandard Standard() const { return FStandard; }
    // A change brings the movement to rest.
    bool SetStandard(TMMNeedleStandard value);
    int SampleRate() const { return FRate; }
    // Frames a second; anything below 1 is ignored.
    bool SetSampleRate(int value);

    // The movement driven for `samples` frames by the level u (a rectified average); the
    // deflection after them.
    double Step(double u, int samples);
    double Deflection() const { return FDeflection; }
    void Clear();

  private:
    void Prepare(int samples);

    TMMNeedleStandard FStandard = nsClassic;
    int FRate = 48000;
    double FDeflection = 0.0;
    double FSpeed = 0.0; // deflection per second
    int FPreparedFor = 0;
    // The movement over one block: [deflection - u, speed] times this matrix.
    double FA11 = 1.0, FA12 = 0.0, FA21 = 0.0, FA22 = 1.0;
};
