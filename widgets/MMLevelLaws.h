#pragma once

// The bar level meter's laws and geometry, without any toolkit: a PCM block to a
// raw peak, the ballistics, the gain, the dB or linear law to a spot position,
// the peak hold and its aging, the read-backs, and where every spot lies in the
// meter's bitmap. The drawing control forwards its properties and blocks to a
// TMMLevelState and draws what the state reports.

#include "core/MMTypes.h"
#include "core/PCM.h"
#include "widgets/MMGeometry.h"
#include "widgets/MMPeakStandards.h"
#include "widgets/MMStandardScales.h"

#include <atomic>
#include <cstdint>
#include <utility>

class TMMTruePeakFeed;

enum TMMLevelKind { lkHorizontal = 0, lkVertical = 1 };
enum TMMLevelDirection { dirNormal = 0, dirReversed = 1, dirSymetric = 2 };

// Full scale of the level arithmetic, for 8- and 16-bit data alike.
inline constexpr int kLevelFullScale = 32767;
// The decay ring holds this many levels; windows are at most 30 long.
inline constexpr int kLevelDecayRing = 32;

// Width and height after a Kind change: a horizontal control is at least as
// wide as high, a vertical one at least as high as wide.
std::pair<int, int> SizeForKind(TMMLevelKind kind, int width, int height);

// Bytes of one block: (BitLength + 1) × (Mode + 1) × Samples, Samples at least 1.
int LevelBlockBytes(TMMBits bits, TMMMode mode, int samples);

// BitLength and Mode for a wave format; false (and nothing written) for a
// format that is not valid PCM or has more channels than the level reads.
bool LevelFormatOf(const TWaveFormatEx *format, TMMBits &bits, TMMMode &mode);

// How a block is read.
struct TMMLevelInput {
    TMMBits BitLength = b8Bit;
    TMMMode Mode = mMono;
    TMMChannel Channel = chBoth;
    int Samples = 50; // frames
    int DCOffsetL = 0;
    int DCOffsetR = 0;
};

// Largest magnitude over the block's frames, 8-bit data scaled by 256; the
// offsets are taken off each channel first, chBoth averages the two channels
// (truncating). Multichannel frames are stepped whole and read as left, right.
// Saturates at the 32-bit range. A null block reads 0.
std::int32_t BlockRawPeak(const void *data, const TMMLevelInput &input);

// 0.0001^(1/2^decay) in single precision, decay clamped to 1..16.
float DecayFactor(int decay);
// 2 × decay − 2 blocks, kept to 1..32, decay clamped to 1..16.
int DecayWindow(int decay);

// m × (Gain + 8) / 8 in 64 bits, truncated.
std::int64_t ApplyGain(std::int64_t m, int gain);

// Spot position of an amplified level g on a bar of barSpots spots whose
// bottom is at sensitivy dB, before the overflow cut: never below 0, halved
// for dirSymetric, and at most a little above 2 × barSpots + 2 whatever g is.
int LevelPosition(std::int64_t g, bool logAmp, int sensitivy, int barSpots, TMMLevelDirection direction);

// Percent of full-scale amplitude that a position q stands for (0 for q 0,
// and while a Gain of −8 silences the meter).
int PositionPercent(int q, bool logAmp, int sensitivy, int gain, int barSpots);
// The percent in sample units, truncated: 100 → 32767.
int PercentToSample(int percent);
// The level a Value in percent drives the bar with: round(v × 32767 / 100), v kept to 0..100.
int ValueToSample(int percent);

// Where the spots lie in the meter's bitmap (the control's inner rectangle,
// origin at its top-left corner). Spots are numbered from 1 at the bar's start.
struct TMMSpotGeometry {
    int Width = 1;  // inner width
    int Height = 1; // inner height
    TMMLevelKind Kind = lkHorizontal;
    TMMLevelDirection Direction = dirNormal;
    int SpotWidth = 1; // pixels along the bar
    int SpotSpace = 1; // pixels between spots
    int BarSpots = 1;
    int Margin = 0; // pixels before spot 1
    int Zone1 = 0;  // last spot of colour zone 1
    int Zone2 = 0;  // last spot of colour zone 2

    int BarLength() const { return Kind == lkHorizontal ? Width : Height; }
    int Step() const { return SpotWidth + SpotSpace; }
    // Spot k's rectangle; k outside 1..BarSpots continues at the same step
    // (into the margin or past the end) and is for the drawing to clip.
    TRect SpotRect(int k) const;
    // 3 past Zone2, 2 past Zone1, else 1.
    int ZoneOf(int k) const { return k > Zone2 ? 3 : (k > Zone1 ? 2 : 1); }
    TRect Bounds() const { return Rect(0, 0, Width, Height); }
};

// Geometry for an inner rectangle of width × height (each taken as at least 1).
TMMSpotGeometry ComputeSpotGeometry(int width, int height, TMMLevelKind kind, TMMLevelDirection direction,
                                    int spotWidth, int spotSpace, int point1, int point2);

// A dotted spot fills every second pixel of every second row, from its top-left pixel.
constexpr bool DottedPixel(int dx, int dy) {
    return dx % 2 == 0 && dy % 2 == 0;
}

// A run of spots First..Last (empty when Last < First). Zone 0: each spot in
// its own zone colour; 1..3: every spot in that zone's colour.
struct TMMSpotRun {
    int First = 1;
    int Last = 0;
    int Zone = 0;
    bool IsEmpty() const { return Last < First; }
    bool operator==(const TMMSpotRun &) const = default;
};

// The lit part of the bar: spots 1..bar, or for dirSymetric five spots about
// the bar position (kept to 1..BarSpots), all in the zone colour of that position.
TMMSpotRun ActiveSpots(const TMMSpotGeometry &geometry, int barPosition);
// The peak marker: numPeaks spots from the peak downward, drawn only while it
// stands above the bar.
TMMSpotRun PeakSpots(int numPeaks, int barPosition, int peakPosition);

// What a block or level did: the control fires OnPcmOverflow, then
// OnGainOverflow, then redraws (when Enabled and Visible).
struct TMMLevelUpdate {
    bool PcmOverflow = false;
    bool GainOverflow = false;
    bool Redraw = false;
};

// The ballistics between the raw level and the gain.
class TMMLevelDecay {
  public:
    TMMDecayMode Mode() const { return FMode; }
    // A change clears the state.
    bool SetMode(TMMDecayMode value);
    int Decay() const { return FDecay; }
    // Clamped to 1..16; a change recomputes factor and window and, under
    // dmUniform, clears the state.
    bool SetDecay(int value);
    float Factor() const { return FFactor; }
    int Window() const { return FWindow; }
    float Held() const { return FHeld; }

    // The level m after the ballistics of one block.
    std::int64_t Apply(std::int64_t m);
    void Clear();

  private:
    TMMDecayMode FMode = dmNone;
    int FDecay = 1;
    float FFactor = DecayFactor(1);
    int FWindow = DecayWindow(1);
    float FHeld = 0.0f;
    std::int64_t FRing[kLevelDecayRing] = {};
    int FIndex = 0;
    int FFill = 0;
    std::int64_t FSum = 0;
};

// Everything the bar meter computes, as numbers. Setters return true when the
// value changed (the control then rebuilds and repaints as its property says).
//
// Threads: the peak tick service's thread calls PeakTick; PeakPosition,
// PeakCountdown and RedrawPending may be read from any thread. Everything else,
// PeakPercent and CurrentPeak included (they read the settings), runs on the
// thread that delivers blocks and sets properties: the main thread in the
// console, whose 20 ms read-out timer runs there too. The peak position, its
// countdown and the redraw-pending flag are atomics shared with the tick;
// PeakSpeed and the hold's length are read by the tick and are atomics too.
class TMMLevelState {
  public:
    TMMLevelState();
    TMMLevelState(const TMMLevelState &) = delete;
    TMMLevelState &operator=(const TMMLevelState &) = delete;

    // Block format.
    TMMBits BitLength() const { return FInput.BitLength; }
    bool SetBitLength(TMMBits value);
    TMMMode Mode() const { return FInput.Mode; }
    bool SetMode(TMMMode value);
    TMMChannel Channel() const { return FInput.Channel; }
    bool SetChannel(TMMChannel value);
    int Samples() const { return FInput.Samples; }
    // Raised to at least 1.
    bool SetSamples(int value);
    int DCOffsetL() const { return FInput.DCOffsetL; }
    bool SetDCOffsetL(int value);
    int DCOffsetR() const { return FInput.DCOffsetR; }
    bool SetDCOffsetR(int value);
    int BlockBytes() const { return LevelBlockBytes(FInput.BitLength, FInput.Mode, FInput.Samples); }
    // False, and nothing changed, for a format the level cannot read (the
    // control raises "Invalid WaveFormat"); otherwise sets BitLength and Mode.
    bool SetWaveFormat(const TWaveFormatEx *format);

    // Level law.
    int Gain() const { return FGain; }
    // Ignored outside -8..32.
    bool SetGain(int value);
    int Sensitivy() const { return FSensitivy; }
    // Clamped to -90..-9.
    bool SetSensitivy(int value);
    bool LogAmp() const { return FLogAmp; }
    bool SetLogAmp(bool value);
    TMMDecayMode DecayMode() const { return FDecay.Mode(); }
    bool SetDecayMode(TMMDecayMode value) { return FDecay.SetMode(value); }
    int Decay() const { return FDecay.Decay(); }
    bool SetDecay(int value) { return FDecay.SetDecay(value); }
    const TMMLevelDecay &Ballistics() const { return FDecay; }

    // Peak hold. Each change restarts the countdown; NumPeaks 0 also drops
    // the held peak (the control suspends its tick client).
    int NumPeaks() const { return FNumPeaks; }
    bool SetNumPeaks(int value); // 0..5
    int PeakDelay() const { return FPeakDelay; }
    bool SetPeakDelay(int value); // 0..50
    int PeakSpeed() const { return FPeakSpeed.load(std::memory_order_relaxed); }
    bool SetPeakSpeed(int value); // 0..50

    // Geometry. A change of anything but Direction recomputes it and sets the
    // bar and the peak to 0. On a Kind change the control also swaps its Width
    // and Height (SizeForKind) and passes the new inner size.
    const TMMSpotGeometry &Geometry() const { return FGeometry; }
    TMMLevelKind Kind() const { return FGeometry.Kind; }
    bool SetKind(TMMLevelKind value);
    TMMLevelDirection Direction() const { return FGeometry.Direction; }
    bool SetDirection(TMMLevelDirection value);
    int SpotWidth() const { return FSpotWidth; }
    // Clamped to 1..(bar length / 3), never below 1.
    bool SetSpotWidth(int value);
    int SpotSpace() const { return FSpotSpace; }
    bool SetSpotSpace(int value); // 0..10
    int Point1() const { return FPoint1; }
    bool SetPoint1(int value); // 1..100
    int Point2() const { return FPoint2; }
    bool SetPoint2(int value); // 1..100
    // The inner rectangle's size, each at least 1.
    bool SetInnerSize(int width, int height);
    // Recomputes the geometry (enabling does this).
    void Relayout();

    // The bar's ballistics: the classic ones above, or a standard's
    // (MMPeakStandards.h). The marker, and so the read-outs, CLIP and margin
    // LEDs, keep the sample peaks in every standard: they are about the signal.
    TMMPeakStandard PeakStandard() const { return FStandard.Standard(); }
    // A change clears the ballistics.
    bool SetPeakStandard(TMMPeakStandard value);
    const TMMPPMBallistics &Standard() const { return FStandard; }
    // Where psTruePeak takes the block's true peak (null: the sample peak alone). Set on the
    // thread that hands the blocks in; the feed outlives the state or is set back to null.
    void SetTruePeakFeed(TMMTruePeakFeed *feed) { FTruePeakFeed = feed; }
    TMMPeakHold PeakHold() const { return FHold; }
    // Kept by PeakHoldRule; the next peak the marker takes holds so long.
    bool SetPeakHold(TMMPeakHold value);
    // Drops the held peak (the operator's reset); the next level draws it.
    void ResetPeak();
    // The scale the bar is read on: sfDbfs places by LogAmp and Sensitivy as ever, any other
    // by that scale's law (MMStandardScales.h). A change empties the bar and the marker; the
    // read-backs go back to sample levels through the same scale.
    const TMMStandardScale &ScaleLaw() const { return FScale; }
    bool SetScaleLaw(TMMStandardScale value);

    // One block of BlockBytes() bytes (the control passes none while
    // disabled or invisible).
    TMMLevelUpdate ProcessBlock(const void *data);
    // One raw level through ballistics, gain and law onto the bar.
    TMMLevelUpdate UpdateLevel(std::int32_t x);
    // Drives the bar with a percent of full scale (kept to 0..100).
    TMMLevelUpdate SetValue(int percent);
    // Bar, peak, countdown, last raw peak and ballistics back to rest.
    void ResetData();

    // One 25 ms step of the peak hold (the tick service's thread). Never
    // draws: a moved marker sets RedrawPending for the next level.
    void PeakTick();

    int BarPosition() const { return FBar; }
    int PeakPosition() const { return PeakWord(FPeak.load()).Position; }
    int PeakCountdown() const { return PeakWord(FPeak.load()).Countdown; }
    bool RedrawPending() const { return FRedrawPending.load(); }
    // Clears the flag and says whether it was set: the control draws a marker
    // the tick moved while no level came (no block to carry it).
    bool TakeRedrawPending() { return FRedrawPending.exchange(false); }
    std::int32_t LastRawPeak() const { return FLastRaw; }

    // The bar (Value's getter) and the held peak as percent of full scale,
    // and the held peak in sample units 0..32767 (more only with negative Gain).
    int CurrentValue() const;
    int PeakPercent() const;
    int CurrentPeak() const { return PercentToSample(PeakPercent()); }

  private:
    struct PeakWord {
        std::int32_t Position = 0;
        std::int32_t Countdown = 0;
        PeakWord() = default;
        PeakWord(std::int32_t position, std::int32_t countdown) : Position(position), Countdown(countdown) {}
        explicit PeakWord(std::uint64_t packed);
        std::uint64_t Packed() const;
    };
    // The bar at level g and the marker at level peak, both amplified.
    TMMLevelUpdate Place(std::int64_t g, std::int64_t peak);
    bool CapturePeak(int p);
    // Percent of full scale that a bar position stands for on the current scale.
    int PercentAt(int q) const;
    // Pass a setter's change through: the hold restarts, the geometry is recomputed.
    bool RestartHold(bool changed);
    bool Relayout(bool changed);
    void SetPeak(PeakWord word) { FPeak.store(word.Packed()); }

    TMMLevelInput FInput;
    int FGain = 0;
    int FSensitivy = -35;
    bool FLogAmp = true;
    TMMLevelDecay FDecay;
    int FNumPeaks = 1;
    int FPeakDelay = 20;
    std::atomic<int> FPeakSpeed{0};
    TMMPPMBallistics FStandard;
    TMMTruePeakFeed *FTruePeakFeed = nullptr;
    TMMPeakHold FHold;
    TMMStandardScale FScale;
    // PeakHoldTicks(FHold), which the tick reads.
    std::atomic<int> FHoldTicks{0};
    int FSpotWidth = 1;
    int FSpotSpace = 1;
    int FPoint1 = 50;
    int FPoint2 = 85;
    TMMSpotGeometry FGeometry;

    int FBar = 0;
    std::int32_t FLastRaw = 0;
    // Position and countdown in one word, so a tick and a capture never mix halves.
    std::atomic<std::uint64_t> FPeak{0};
    std::atomic<bool> FRedrawPending{false};
};
