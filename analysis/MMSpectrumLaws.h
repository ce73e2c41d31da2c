#pragma once

// The spectrum analyser's numbers, without any toolkit: which FFT bins each
// display column shows, how a bin level becomes a bar height (linear or
// logarithmic, with the spectral tilt), the decay between blocks, peak hold,
// the spot geometry and colour zones of each kind, the grid and scale
// positions, and the texts of the readouts. The control (widgets/MMSpectrum.h)
// keeps these tables and draws what they say.

#include "core/MMTypes.h"
#include "core/PCM.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum TMMSpectrumKind { skDots = 0, skLines = 1, skVLines = 2, skBars = 3, skPeaks = 4, skScroll = 5 };
enum TMMSpectrumGain { sgNone = 0, sg3db = 1, sg6db = 2, sg9db = 3, sg12db = 4 };

// Levels and decay state are kept for the largest transform: 4096 samples, 2048 bins.
inline constexpr int kSpectrumMaxBins = 2048;
// dmUniform keeps at most this many blocks.
inline constexpr int kSpectrumHistory = 32;
// The logarithmic range: six steps of 10 dB below a 16-bit full-scale bin.
inline constexpr int kSpectrumLogSteps = 6;
// The lowest frequency a table asks for before the clamps of its form.
inline constexpr double kSpectrumLowFrequency = 1.0;

// --- Frequency: columns to bins -------------------------------------------------------------

// 1..16, rounded down to a power of two.
int SpectrumFrequencyScale(int request);

// The frequency of column 0. Always clamped from the same 1 Hz request, so
// the table does not depend on the order in which rate, length and form
// were set: logarithmic fs/n (raised by the scale), linear 0 at scale 1.
double SpectrumLowFrequency(bool logFreq, int sampleRate, int fftLength, int frequencyScale);

// Fills first and end bins of `width` columns (PIntArray pX1, pX2).
using TMMGetXScaleHook = std::function<void(int *first, int *end)>;

// Column i shows bins First[i] .. End[i]-1, or First[i] alone when End[i] is 0.
// A column that repeats its left neighbour's first bin continues that
// neighbour's segment: First = -1, End = 0.
struct TMMColumnTable {
    std::vector<int> First; // Width + 10 entries
    std::vector<int> End;
    int Width = 0;

    bool IsContinuation(int i) const { return First[i] < 0; }
    // Allocates for `width` columns (at least 1).
    void Resize(int width);
};

struct TMMColumnParams {
    int FFTLength = 128;
    int SampleRate = 11025;
    int FrequencyScale = 1;
    bool LogFreq = false;
};

// Builds the table for its Width. With a hook, the hook's bins are used
// (clamped to the transform's bins) instead of the computed ones.
void BuildColumnTable(TMMColumnTable &table, const TMMColumnParams &params,
                      const TMMGetXScaleHook &hook = {});

// --- Amplitude: levels to bar values --------------------------------------------------------

struct TMMAmpParams {
    bool LogAmp = false;
    int RefFreq = 1000;
    TMMSpectrumGain Gain = sgNone;
    double VerticalScale = 1.0; // the factor: VerticalScale property / 100
    int SampleRate = 11025;
    int FFTLength = 128;
    int Height = 4;
};

// Fixed-point factors: value = (level * Multipliers[column]) >> Shift.
struct TMMAmpScale {
    std::vector<std::int32_t> Multipliers; // one per column
    int Shift = 0;
    float PixelFactor = 0.0f; // P: pixels per log unit
    float LogFactor = 0.0f;   // K: log units per natural log of a power
    // Per-bin logarithmic offsets (kSpectrumMaxBins entries).
    std::vector<std::int32_t> Offsets = std::vector<std::int32_t>(kSpectrumMaxBins);
};

// Log units per decibel: ln 10 * 819.2 / ln 2, in single precision.
float SpectrumLogUnitsPerDB();
void BuildAmpScale(TMMAmpScale &scale, const TMMAmpParams &params, const TMMColumnTable &columns);

// --- Decay between blocks -------------------------------------------------------------------

// 0.0001^(1/2^decay), by decay square roots in single precision (decay 1..16).
float SpectrumDecayFactor(int decay);
// clamp(2 * decay - 2, 1, 32), and at most `buffers`.
int SpectrumAveragingLength(int decay, int buffers);

// Per-bin decay state of one analyser, sized once for kSpectrumMaxBins.
class TMMSpectrumDecay {
  public:
    explicit TMMSpectrumDecay(int historyBuffers = kSpectrumHistory);

    TMMDecayMode Mode() const { return FMode; }
    // A change clears the state.
    bool SetMode(TMMDecayMode value);
    int Decay() const { return FDecay; }
    // Clamped to 1..16; a change recomputes factor and length, and clears
    // the state under dmUniform.
    bool SetDecay(int value);
    float Factor() const { return FFactor; }
    int AveragingLength() const { return FLength; }
    int HistoryBuffers() const { return static_cast<int>(FHistory.size()); }
    int RingCount() const { return FRingCount; }

    void Clear();
    // Replaces the count linear magnitudes m (sixteenths) with decayed levels.
    void Apply(std::int32_t *levels, int count);

  private:
    TMMDecayMode FMode = dmNone;
    int FDecay = 1;
    float FFactor = 0.0001f; // until Decay is first changed
    int FLength = 1;
    int FRingIndex = 0;
    int FRingCount = 0;
    std::vector<float> FPeaks;
    std::vector<std::int32_t> FSums;
    std::vector<std::vector<std::int32_t>> FHistory;
};

// --- Bars --------------------------------------------------------------------------------------

struct TMMBarSegment {
    int First = -1; // first column; -1 ends the list
    int End = 0;    // column after the last
    int Value = 0;  // display units
    int Peak = 0;   // in the kind's unit
    int Hold = 0;   // 25 ms ticks until the peak falls
};

struct TMMFrameMaximum {
    int Value = 0;
    int Bin = 0;
    int Column = 0;
};

struct TMMBarInput {
    const std::int32_t *Levels = nullptr;
    const TMMColumnTable *Columns = nullptr;
    const TMMAmpScale *Amp = nullptr;
    // The levels are decayed linear magnitudes shown on a logarithmic scale.
    bool DecayedLog = false;
    int Height = 4;
};

struct TMMBarsResult {
    int Count = 0;         // segments before the terminator
    int GainOverflows = 0; // segments at or above the top
    TMMFrameMaximum Maximum;
};

// Writes First, End and Value of each segment (Peak and Hold stay) and the
// terminator; `segments` holds at least Width + 1 records.
TMMBarsResult ComputeBars(const TMMBarInput &input, TMMBarSegment *segments);

// A frame's value in the kind's unit raises the peak and restarts its hold.
void HoldPeak(TMMBarSegment &segment, int value, int peakDelay);
// One 25 ms tick; true when the peak moved.
bool AgePeak(TMMBarSegment &segment, int peakSpeed);

// --- Kinds: geometry and zones -----------------------------------------------------------------

struct TMMSpectrumSpots {
    int Height = 4;
    int SpotHeight = 1;
    int SpotSpace = 1;
    int SpotCount = 1;
    int Margin = 0;
    int T1 = 0; // zone thresholds in the kind's unit
    int T2 = 0;
    int LineOffset = 1;

    int Step() const { return SpotHeight + SpotSpace; }
    // Rows of spot i (1 at the bottom): Top inclusive, Bottom exclusive.
    int SpotTop(int i) const { return SpotBottom(i) - SpotHeight; }
    int SpotBottom(int i) const { return Height - Margin - (i - 1) * Step(); }
    // Spots lit by a bar value in pixels: clamp(Round(v / (H / SpotCount) + 0.5), 0, SpotCount).
    int BarSpots(int value) const;
    // 2 (Bar3) above T2, 1 (Bar2) above T1, else 0 (Bar1).
    int ZoneOf(int v) const { return v > T2 ? 2 : (v > T1 ? 1 : 0); }
    // Dots count rows from the top: 2 at or above T2's row, 0 below T1's.
    int DotZoneOf(int y) const { return y <= T2 ? 2 : (y > T1 ? 0 : 1); }
};

TMMSpectrumSpots ComputeSpectrumSpots(TMMSpectrumKind kind, int height, int spotHeight, int spotSpace,
                                      int point1, int point2);

// Horizontal extent of a segment: Left inclusive, Right exclusive.
struct TMMColumnSpan {
    int Left = 0;
    int Right = 0;
};
TMMColumnSpan SegmentSpan(const TMMBarSegment &segment, TMMSpectrumKind kind, int space);

// Row of a dot: clamp(H - v - 1, 0, H - 1); of a line point: clamp(H - v - offset, 0, H - 1).
int DotRow(int value, int height);
int LineRow(int value, int height, int lineOffset);

// A vertical line's rows, centred on the middle row, and its three colour bands.
struct TMMVLineBand {
    int Top = 0;    // inclusive
    int Bottom = 0; // exclusive
    int Zone = 0;
};
// Fills up to three bands (outermost first); returns how many.
int VLineBands(int value, const TMMSpectrumSpots &spots, TMMVLineBand *bands);

// --- Grid and scales ---------------------------------------------------------------------------

// start, decreased by one while extent div n < 10 and n > 1.
int DecreasedIntervals(int extent, int start);
// start, halved while extent div n < 10 and n > 1.
int HalvedIntervals(int extent, int start);

// Grid rows k = 0..n for a drawing height; linear rows are counted from the bottom.
int GridIntervals(bool logAmp, int height);
int GridRow(int k, int n, bool logAmp, double verticalScale, int height);
int GridColumnIntervals(int width);
int GridColumn(int k, int d, int width);

// Frequency scale: label k of p intervals, and its x in the scale bitmap.
struct TMMFreqScaleParams {
    bool LogFreq = false;
    double LowFrequency = 0.0;
    int SampleRate = 11025;
    int FFTLength = 128;
    int FrequencyScale = 1;
};
double FrequencyLabel(int k, int p, const TMMFreqScaleParams &params);
int FrequencyTickX(int k, int p, int width, int bevel);

// Amplitude scale: row of label k of q intervals in the scale bitmap, and its text.
int AmpScaleIntervals(bool logAmp, int height);
int AmpScaleRow(int k, int q, bool logAmp, double verticalScale, int height, int scaleHeight, int bevel);
std::string AmpScaleText(int k, int q, bool logAmp, double verticalScale, bool rightSide);

// --- Readouts ----------------------------------------------------------------------------------

// Frequency under column x of the drawing area, at least 0.
double ColumnFrequency(int x, int width, const TMMFreqScaleParams &params);
// "%2.3f KHz", then for every kind but skScroll the level under row y.
std::string InfoText(int x, int y, int width, int height, const TMMFreqScaleParams &params, bool logAmp,
                     int verticalScale, TMMSpectrumKind kind);
// Frequency shown for the loudest bin b.
double PeakFrequency(int bin, int sampleRate, int fftLength, bool logFreq);
// "%7.1f Hz" without the leading blanks.
std::string PeakFrequencyText(double frequency);

// --- Bounds -------------------------------------------------------------------------------------

struct TMMSize {
    int Width = 0;
    int Height = 0;
    bool operator==(const TMMSize &) const = default;
};
// The size a spectrum takes for a requested one: at least 2*bevel+5 each way,
// 2*bevel+69 wide with the amplitude scale, 2*bevel+45 high with the frequency scale.
TMMSize SpectrumBounds(int width, int height, int bevel, bool ampScale, bool freqScale);
// The phase display is square: each side at most 300, the width taken from the height.
TMMSize PhaseBounds(int width, int height);

// The drawing area inside a client of clientWidth x clientHeight: scales
// (normal mode only) and bevel taken off, each side at least 4.
struct TMMAreaRect {
    int Left = 0;
    int Top = 0;
    int Width = 4;
    int Height = 4;
};
TMMAreaRect SpectrumDrawingArea(int clientWidth, int clientHeight, int bevel, bool ampScale, bool freqScale,
                                bool phase);
