#pragma once

// The PEAK bars' standard ballistics, beside the classic ones of MMLevelLaws.h, and how long
// the bars' marker holds a peak. No toolkit: the level state runs a TMMPPMBallistics on each
// block and places the bar where it reads.
//
// | standard | IEC             | a reference-level tone burst of ... reads | return           |
// |----------|-----------------|-------------------------------------------|------------------|
// | DIN      | 60268-10 Type I | 10 ms: -1 dB, 5 ms: -2 dB                 | 20 dB in 1.7 s   |
// | Nordic   | 60268-10 Type I | 5 ms: -2 dB                               | 20 dB in 1.7 s   |
// | BBC      | 60268-10 IIa    | 10 ms: -2 dB, 5 ms: -4 dB, 1.5 ms: -9 dB  | 24 dB in 2.8 s   |
// | EBU      | 60268-10 IIb    | as BBC                                    | 24 dB in 2.8 s   |
// | Digital  | 60268-18        | one sample or more: its sample peak       | 20 dB in 1.7 s   |
// | True peak| BS.1770 Annex 2 | the block's true peak (4x oversampled)    | 20 dB in 1.7 s   |
//
// The true peak is the loudness measurement's own (libebur128's oversampler, through
// MMTruePeakFeed.h), never below the block's sample peak: the measurement hands it over a
// capture buffer at a time, so a bar takes it up to a buffer early or a block late.
//
// Nordic and DIN, and EBU and BBC, differ in their scales, not their ballistics; the console
// keeps its own dBFS scale, so each pair reads alike.
//
// The model is a rectifier charging a store toward each frame's magnitude a, by
// k (a - v)^2 / a while a exceeds the store v: the charge slows as the store nears the peak, as a
// diode conducts for less of each cycle. k = 1 - exp(-1 / (rate * attack)), the attack fitted to
// the burst figures (Type I 0.6 ms, Type II 1.6 ms; the digital meter takes the sample peak
// at once). The store returns exponentially, a fixed number of dB a second, applied once at
// the start of each block (a block of 50 frames returns 0.01 dB, far below a spot).
//
// Calibration. Against the return, such a store settles below a steady sine's peak: 0.676 dB
// under Type I, 0.882 dB under Type II (the same within 0.05 dB from 50 Hz to 15 kHz, at any
// level, as the law scales with its input, and within 0.01 dB at 44.1 to 96 kHz and for blocks
// of 1 to 50 frames). A meter is lined up on a steady sine, so the reading is the store raised
// by that much: a steady sine reads its peak level, and a full-scale sine reaches the top spot.
// The ballistics are the store's, so every burst reading relative to the steady one, and every
// return, is as it was; a signal that holds its peak (a square wave) reads that much above it,
// as on a lined-up meter of the kind. The digital meter's store is the sample peak itself.
//
// The tests hold the law to the table with 5 kHz bursts (1 kHz for the return):
// - burst readings within +-0.5 dB (+-1 dB at 1.5 ms), against the reading of the steady tone.
//   The standards allow about this much; a PEAK bar's spot is 0.85 dB. The fit lands within
//   0.3 dB of every figure;
// - return times within +-2 %: the return is exact but for the block it ends in;
// - a steady 1 kHz and 5 kHz sine at -18 and -20 dBFS reads its peak level within +-0.2 dB on
//   every standard (the calibration lands within 0.01 dB), and a full-scale one lights the
//   console's top spot;
// - the digital meter reads a one-sample burst at its peak within 0.01 dB.

#include <cmath>
#include <cstdint>

struct TMMLevelInput;

// The K-System meters (psK20, psK14, psK12) are no PPMs: the reading is the RMS level. The
// mean square follows a first-order average whose time constant, 153.2 ms, brings a suddenly
// applied steady tone's reading to 99 % of its final value (-0.09 dB) in 600 ms, the
// K-System's integration time (as a VU's 300 ms). The RMS is raised by 3.01 dB (x sqrt 2) so
// that a sine reads its peak level (AES17). That calibration is the sine's and applies to
// every signal: uncorrelated noise of true RMS X dBFS reads X + 3.01, so -20 dBFS RMS noise
// reads +3 on K-20, not 0, and a square wave, whose RMS is its peak, reads 3 dB above its peak.
// Each channel's bar reads its own channel, so two uncorrelated channels do not add.
enum TMMPeakStandard {
    psClassic = 0,
    psDIN = 1,
    psNordic = 2,
    psBBC = 3,
    psEBU = 4,
    psDigital = 5,
    psK20 = 6,
    psK14 = 7,
    psK12 = 8,
    psTruePeak = 9
};
inline constexpr int kPeakStandardCount = 10;
inline constexpr double kKSystemTauMs = 153.2;
constexpr bool IsKSystem(TMMPeakStandard s) {
    return s == psK20 || s == psK14 || s == psK12;
}

// A standard's constants: the attack (0: the sample peak at once), the return rate, and how
// far the reading stands above the store (the store's shortfall on a steady sine).
struct TMMPPMFigures {
    double AttackMs = 0.0;
    double ReturnDbPerSecond = 0.0;
    double CalibrationDb = 0.0;
};
TMMPPMFigures PPMFigures(TMMPeakStandard standard);

// What one block does to a standard meter.
struct TMMPPMReading {
    std::int64_t Level = 0; // the reading after the block (Level()), rounded to sample units
    std::int32_t Peak = 0;  // the block's largest per-frame magnitude (BlockRawPeak's)
};

// One PEAK bar's standard ballistics over a stream of blocks. Runs on the thread that hands
// the blocks in; nothing here is shared.
class TMMPPMBallistics {
  public:
    TMMPeakStandard Standard() const { return FStandard; }
    // A change clears the store.
    bool SetStandard(TMMPeakStandard value);
    int SampleRate() const { return FRate; }
    // Frames a second; anything below 1 is ignored.
    bool SetSampleRate(int value);

    // One block of in.Samples frames (psClassic reads the peak only; psTruePeak, given only the
    // frames, their sample peak).
    TMMPPMReading Apply(const void *data, const TMMLevelInput &in);
    // One block of `samples` frames whose peak, in sample units, the caller measured (the true
    // peak): the store returns, then takes it at once. Returns Level() rounded.
    std::int64_t ApplyPeak(double peak, int samples);
    // The reading in sample units, unrounded: the store raised by the calibration.
    // The K-System's store is the mean square: its reading is the calibrated RMS.
    double Level() const { return (IsKSystem(FStandard) ? std::sqrt(FLevel) : FLevel) * FCalibration; }
    void Clear() { FLevel = 0.0; }

  private:
    // The per-frame charge and the per-block return for this block length.
    void Prepare(int samples);

    TMMPeakStandard FStandard = psClassic;
    int FRate = 48000;
    double FLevel = 0.0;
    int FPreparedFor = 0; // block length the constants are for; 0: out of date
    double FCharge = 1.0;
    double FReturn = 1.0;
    double FCalibration = 1.0; // 10^(CalibrationDb / 20), set with the standard
};

// How long the marker holds a peak before it falls as the bar's PeakSpeed says: the classic
// rule (2 x PeakDelay + 1 ticks), a time of the operator's, or until reset.
enum TMMPeakHoldMode { phClassic = 0, phTime = 1, phInfinite = 2 };
inline constexpr int kPeakHoldMinMs = 500;
inline constexpr int kPeakHoldMaxMs = 10000;
inline constexpr int kPeakTickMs = 25;

struct TMMPeakHold {
    TMMPeakHoldMode Mode = phClassic;
    int Milliseconds = 2000; // phTime, kept to 500..10000
    bool operator==(const TMMPeakHold &) const = default;
};
// The hold with its time kept to range.
TMMPeakHold PeakHoldRule(TMMPeakHold hold);
// Ticks of the peak tick service the hold lasts: 0 for the classic rule, -1 for ever, else
// the time rounded up to whole ticks.
int PeakHoldTicks(TMMPeakHold hold);
