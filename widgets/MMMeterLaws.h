#pragma once

// The needle meter's laws and geometry, without any toolkit: a PCM block to a
// block value (peak or RMS), the ballistics, the VU law against the reference
// level, the peak law on a continuous 0..32767 range, the peak needle's hold
// and aging, where a needle points, and where the face's arcs, ticks and
// labels lie. The drawing control forwards its properties and blocks to a
// TMMMeterState and draws what the state reports.
//
// The per-frame value, the decay, the gain and the dB/linear law are the bar
// meter's (MMLevelLaws.h): the needle runs on the same arithmetic with 32767
// positions instead of spots.

#include "widgets/MMLevelLaws.h"
#include "widgets/MMScaleLaws.h"
#include "widgets/MMVUStandards.h"

#include <QPoint>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

enum TMeterMode { mmPeak = 0, mmVU = 1 };

// The VU scale's marks in dB: -70 (the left end), then -20 .. +3.
inline constexpr int kVUMarkCount = 25;
const std::array<int, kVUMarkCount> &VUMarks();
// Marks with a long tick; all of them but -70 are labelled.
bool IsLongVUMark(int mark);

// The lowest and highest readings of the VU scale.
inline constexpr float kVUBottom = -70.0f;
inline constexpr float kVUTop = 3.0f;
// Where the peak needle falls per aging step.
inline constexpr int kPeakFallStep = 500;

// √(Σ v² / Samples) truncated, v the per-frame value of the bar meter (offsets,
// 8-bit centring, chBoth average); the sum in extended precision. Null reads 0.
std::int32_t BlockRMS(const void *data, const TMMLevelInput &input);
// The largest per-frame magnitude (mmPeak) or the RMS (mmVU).
std::int32_t MeterBlockValue(const void *data, const TMMLevelInput &input, TMeterMode mode);

// A reference level in -30..-10 rounded to one decimal (halves away from
// zero, as the fixed-point text it is shown as), anything else -16.0.
double RefLevelRule(double value);
// The reference level as the face prints it: "-20.0".
std::string RefLevelText(double refLevel);

// The VU reading of an amplified level g, in single precision:
// 20 log10(max(0.00001, g / 32767)) - refLevel + 3.
float VUReading(std::int64_t g, double refLevel);
// The needle angle of a VU reading e on a swing of `swing` radians:
// swing × 10^(e/20) / 10^(3/20), so +3 is the full swing and 0 VU 0.708 of it.
double VUAngle(double e, double swing);

// What one level does to the VU needle.
struct TMMVUStep {
    bool Moves = false;    // false below -70 VU: the classic needle stays where it is
    bool Overflow = false; // the reading was +3 VU or more (then pinned at +3)
    double Angle = 0.0;    // radians from the left end, 0..swing
};
TMMVUStep VUStep(std::int64_t g, double refLevel, double swing);
// The same for a reading e in VU, however it was read.
TMMVUStep VUStepAt(float e, double swing);

// Where one needle tip or tick end lies: the pivot below the face, the swing,
// the needle's length. Coordinates are the face bitmap's (W × H, origin at
// its top-left corner); the pivot lies below it.
struct TMMNeedleGeometry {
    int Width = 168;       // W, the inner width
    int Height = 88;       // H, the inner height
    int NeedleOffset = 30; // pivot below the face's bottom edge
    int TopSpace = 14;     // R = H + NeedleOffset - TopSpace
    int ScaleAngle = 90;   // degrees of the whole swing

    QPoint Pivot() const { return {Width / 2, Height + NeedleOffset}; }
    int Radius() const { return Height + NeedleOffset - TopSpace; }
    double Swing() const; // ScaleAngle in radians
    // VU mode: the point at angle theta from the left end, radius r.
    QPoint VUPoint(double theta, int r) const;
    // Peak mode: the point for position q (0..32767), radius r.
    QPoint PeakPoint(int q, int r) const;
};

// A needle is a line of pen width `penWidth` (0 counts as 1) from the pivot to
// the tip; it is drawn as the one-pixel line repeated at every offset of a
// square pen, First..Last on both axes.
struct TMMPenSpan {
    int First = 0;
    int Last = 0;
};
TMMPenSpan PenSpan(int penWidth);
// The pixels a needle from `from` to `to` may touch (exclusive right and
// bottom edges), not clipped.
TRect NeedleBounds(QPoint from, QPoint to, int penWidth);
// The smallest rectangle holding both (an empty one adds nothing).
TRect UnionRect(const TRect &a, const TRect &b);

// What a needle change touches, row band by row band. A needle's bounding box
// is mostly face (a slanted line from a pivot below the face spans dozens of
// columns over every row), so the frame presents each band's own columns.
class TMMNeedleBands {
  public:
    // `area` cut into bands of `bandHeight` rows from its top.
    TMMNeedleBands(const TRect &area, int bandHeight);
    // Adds the pixels a needle from `from` to `to` may touch (NeedleBounds,
    // band by band).
    void AddNeedle(QPoint from, QPoint to, int penWidth);
    // The touched part of each band, top to bottom; touched bands only.
    std::vector<TRect> Rects() const;
    TRect Bounds() const;

  private:
    TRect FArea;
    int FBandHeight;
    std::vector<TRect> FBands;
};

// What the face's scale takes from the control's properties.
struct TMMFaceScale {
    TMMScaleOrigin Origin = soInner;
    int Height1 = 4; // short-tick parameter
    int Height2 = 8; // long-tick length
    // Peak mode only.
    int Ticks = 41;
    int EnlargeEvery = 4; // 0: every tick long
    int TextEvery = 8;    // 0 or less: no labels
    int Point1 = 60;      // percent: the end of the first colour zone
    int Point2 = 80;      // percent: the start of the third
    bool LogAmp = true;
    int Sensitivy = -50;
};

// From which radius to which a tick runs.
struct TMMTickRadii {
    int From = 0;
    int To = 0;
    bool operator==(const TMMTickRadii &) const = default;
};
TMMTickRadii TickRadii(const TMMFaceScale &scale, int radius, bool isLong);

// One tick of the face, with its label if it has one.
struct TMMFaceMark {
    QPoint From;
    QPoint To;
    int Zone = 1; // the scale colour: 1, 2 or 3
    bool Long = false;
    std::string Label; // empty: none
    QPoint Anchor;     // the point at radius R - 2, the label's reference
};

// An arc about the pivot, in VU angles (radians from the left end).
struct TMMFaceArc {
    int Radius = 0;
    double From = 0.0;
    double To = 0.0;
    int Zone = 1;
};

// The VU angle of a mark in dB: swing × 10^(mark/20) / 10^(3/20).
double VUMarkAngle(int mark, double swing);
// The 25 VU ticks, left to right; Zone 3 from 0 dB up, else 1.
std::vector<TMMFaceMark> VUFaceMarks(const TMMNeedleGeometry &geometry, const TMMFaceScale &scale);
// The two arcs: Zone 3 from the 0 mark to +3, Zone 1 from -70 to 0.
std::vector<TMMFaceArc> VUFaceArcs(const TMMNeedleGeometry &geometry, const TMMFaceScale &scale);
// The peak-mode ticks (none unless Ticks > 1), left to right.
std::vector<TMMFaceMark> PeakFaceMarks(const TMMNeedleGeometry &geometry, const TMMFaceScale &scale);
// Peak mode: the position of tick k of ticks (k = 0 .. ticks - 1).
int PeakTickPosition(int k, int ticks);
// Peak mode: the dB number tick k carries.
int PeakTickLabel(int k, int ticks, bool logAmp, int sensitivy);

// The top-left corner of a label over its tick: the digits centred over the
// anchor, a sign standing before them. `extra` is 2 on the VU face, 1 in peak
// mode; `textHeight` the height of "O" (VU) or "0" (peak).
QPoint LabelTopLeft(QPoint anchor, int digitsWidth, int textWidth, int textHeight, int extra);
// The caption's box: x 0..W, bottom H - H/16, the height of "W".
TRect CaptionBox(int width, int height, int textHeight);
// The reference level's box: x 0..W-1, bottom H - H/17, the height of "W".
TRect RefLevelBox(int width, int height, int textHeight);

// What a block or level did: the control fires OnPcmOverflow, then
// OnGainOverflow, then redraws (when Enabled and Visible).
using TMMMeterUpdate = TMMLevelUpdate;

// Everything the needle meter computes, as numbers. Setters return true when
// the value changed (the control then repaints as its property says).
//
// Threads: the peak tick service's thread calls PeakTick; PeakPosition,
// PeakCountdown, NeedlePosition and RedrawPending may be read from any
// thread. Everything else runs on the thread that delivers blocks and sets
// properties (the main thread in the console). The peak word (position and
// countdown), the needle position the aging reads, PeakSpeed and the
// redraw-pending flag are atomics shared with the tick.
class TMMMeterState {
  public:
    TMMMeterState() = default;
    TMMMeterState(const TMMMeterState &) = delete;
    TMMMeterState &operator=(const TMMMeterState &) = delete;

    // The mode and what its switch sets: Samples, DecayMode, Decay and
    // ShowPeak here; the control sets its caption, colours and TopSpace.
    TMeterMode MeterMode() const { return FMode; }
    bool SetMeterMode(TMeterMode value);

    // Block format: BitLength, Mode, Channel, Samples (at least 1), DC offsets.
    const TMMLevelInput &Input() const { return FInput; }
    bool SetInput(TMMLevelInput value);
    int BlockBytes() const { return LevelBlockBytes(FInput.BitLength, FInput.Mode, FInput.Samples); }
    // False, and nothing changed, for a format the meter cannot read.
    bool SetWaveFormat(const TWaveFormatEx *format);

    // Laws.
    double RefLevel() const { return FRefLevel; }
    bool SetRefLevel(double value); // RefLevelRule
    int Gain() const { return FGain; }
    bool SetGain(int value); // -8..32, others ignored
    int Sensitivy() const { return FSensitivy; }
    bool SetSensitivy(int value); // -90..-9
    bool LogAmp() const { return FLogAmp; }
    bool SetLogAmp(bool value);
    int ScaleAngle() const { return FScaleAngle; }
    bool SetScaleAngle(int value); // 45..180
    double Swing() const;
    TMMDecayMode DecayMode() const { return FDecay.Mode(); }
    bool SetDecayMode(TMMDecayMode value) { return FDecay.SetMode(value); }
    int Decay() const { return FDecay.Decay(); }
    bool SetDecay(int value) { return FDecay.SetDecay(value); }
    const TMMLevelDecay &Ballistics() const { return FDecay; }

    // VU mode's ballistics: the classic ones above, or IEC 60268-17's
    // (MMVUStandards.h), which read the block's rectified average; under them
    // a reading below -70 VU puts the needle at rest instead of leaving it.
    // Peak mode keeps its own. A change brings the movement to rest.
    TMMNeedleStandard NeedleStandard() const { return FVU.Standard(); }
    bool SetNeedleStandard(TMMNeedleStandard value) { return FVU.SetStandard(value); }
    const TMMVUBallistics &Movement() const { return FVU; }

    // Peak needle. Each change clears the countdown.
    bool ShowPeak() const { return FShowPeak; }
    bool SetShowPeak(bool value);
    int PeakDelay() const { return FPeakDelay; }
    bool SetPeakDelay(int value); // 0..50
    int PeakSpeed() const { return FPeakSpeed.load(std::memory_order_relaxed); }
    bool SetPeakSpeed(int value); // 0..50

    // One block of BlockBytes() bytes.
    TMMMeterUpdate ProcessBlock(const void *data);
    // One value through ballistics, gain and the mode's law onto the needle
    // (under IEC VU, x is taken as a block's rectified average).
    TMMMeterUpdate UpdateLevel(std::int32_t x);
    // Drives the needle with a percent of full scale (kept to 0..100).
    TMMMeterUpdate SetValue(int percent);
    // Needle, peak, countdown, last value, VU angle and ballistics back to rest.
    void ResetData();

    // One 25 ms step of the peak hold (the tick service's thread).
    void PeakTick();
    // Takes the redraw-pending flag: true when the tick moved the peak needle
    // and no level has drawn it yet.
    bool TakeRedrawPending() { return FRedrawPending.exchange(false); }

    int NeedlePosition() const { return FNeedle.load(); }
    int PeakPosition() const { return FPeak.load().Position; }
    int PeakCountdown() const { return FPeak.load().Countdown; }
    double NeedleAngle() const { return FAngle; }
    bool RedrawPending() const { return FRedrawPending.load(); }
    std::int32_t LastValue() const { return FLastValue; }
    // Value's getter: the needle position as percent of full scale (peak mode).
    int Value() const;

  private:
    // Position and countdown change together, so a tick and a capture never mix halves.
    struct TPeakHold {
        std::int32_t Position = 0;
        std::int32_t Countdown = 0;
    };
    void SetPeak(TPeakHold hold) { FPeak.store(hold); }
    bool ClearCountdown(bool changed);
    bool IECVU() const { return FMode == mmVU && FVU.Standard() == nsIECVU; }
    // A block's rectified average through the IEC movement onto the needle.
    TMMMeterUpdate UpdateIECVU(double average);
    TMMMeterUpdate UpdateVU(const TMMVUStep &step);
    TMMMeterUpdate UpdatePeak(std::int64_t g);

    TMeterMode FMode = mmPeak;
    TMMLevelInput FInput;
    double FRefLevel = -16.0;
    int FGain = 0;
    int FSensitivy = -50;
    bool FLogAmp = true;
    int FScaleAngle = 90;
    TMMLevelDecay FDecay;
    TMMVUBallistics FVU;
    bool FShowPeak = true;
    int FPeakDelay = 20;
    std::atomic<int> FPeakSpeed{0};

    std::atomic<int> FNeedle{0};
    double FAngle = 0.0;
    std::int32_t FLastValue = 0;
    std::atomic<TPeakHold> FPeak{TPeakHold{}};
    std::atomic<bool> FRedrawPending{false};
};
