#pragma once

// The analyser's per-block steps around the FFT unit: reading one PCM block into
// windowed floats, scaling the transform into 16-bit bins, and per-bin levels.
// No toolkit needed; the spectrum display and the peak detector build on this.

#include "analysis/MMFFT.h"
#include "core/MMTypes.h"

#include <cstdint>
#include <functional>
#include <vector>

inline constexpr int kMinFFTLength = 8;
inline constexpr int kSpectrumMaxFFTLength = 4096;

// Clamps a requested length to 8..maxLength and rounds it down to a power of two.
int FFTLengthFor(int request, int maxLength);
// Truncated base-2 logarithm of a positive length.
int FFTLog2(int length);

// One plan and one window table kept in step with a length and a window kind.
// The table is allocated once for maxLength; only its first FFTLength entries are used.
class TMMFFTSetup {
  public:
    // Starts with a plan for 8 samples and fwHamming, as a new component does.
    explicit TMMFFTSetup(int maxLength = kSpectrumMaxFFTLength);
    ~TMMFFTSetup();
    TMMFFTSetup(const TMMFFTSetup &) = delete;
    TMMFFTSetup &operator=(const TMMFFTSetup &) = delete;

    int MaxLength() const { return MaxLength_; }
    int FFTLength() const { return Length_; }
    // Returns true when the length changed (and plan and window table were rebuilt).
    bool SetFFTLength(int value);
    TMMFFTWindow Window() const { return Window_; }
    // Refills the window table only.
    void SetWindow(TMMFFTWindow value);

    const TMMFFTPlan *Plan() const { return Plan_; }
    const std::int32_t *WindowTable() const { return WindowTable_.data(); }

  private:
    int MaxLength_;
    int Length_ = kMinFFTLength;
    TMMFFTWindow Window_ = fwHamming;
    TMMFFTPlan *Plan_ = nullptr;
    std::vector<std::int32_t> WindowTable_;
};

// How one PCM block is read: sample width, channels, which channel, tilt order (Gain div 2).
struct TMMBlockFormat {
    TMMBits BitLength = b16Bit;
    TMMMode Mode = mMono;
    TMMChannel Channel = chBoth;
    int Tilt = 0;
};

// Reads n frames from pcm and writes n windowed (and, with a tilt, differenced)
// floats. onOverflow, when set, runs once for every sample above the format's limit.
void PrepareFFTBlock(const void *pcm, const TMMBlockFormat &format, const std::int32_t *window, int n,
                     float *out, const std::function<void()> &onOverflow);

// bins[r] = Trunc(x[r] / (n div 2)), saturated to the 16-bit range (a DC term
// near full scale, or a steep tilt, can exceed it).
void ScaleFFTBins(const float *x, int n, std::int16_t *bins);

enum class TMMBinForm { Logarithmic, Linear };
// The logarithmic form serves only undecayed log-amplitude displays.
TMMBinForm BinMagnitudeForm(TMMDecayMode decayMode, bool logAmp);

// 8192 / ln 2 rounded to single: log units per natural log of a power.
inline const float kBinLogFactor = static_cast<float>(8192.0L / 0.693147180559945309417232121458176568L);

// n/2 levels from the n bins. Logarithmic: Trunc(ln(p) * K - offsets[k]), 0 for p < 1
// or a negative result. Linear: Trunc(sqrt(p) * 16). offsets is read only in the log form.
void BinMagnitudes(const std::int16_t *bins, int n, TMMBinForm form, const std::int32_t *offsets,
                   std::int32_t *levels);

// The whole block path of one analyser: format, setup, work buffer and bins, all
// allocated once for the largest length so no block allocates.
class TMMSpectrumBlock {
  public:
    using TPcmOverflowEvent = std::function<void(TMMSpectrumBlock &sender)>;

    // Created like the analyser: plan for 8, fwHamming, then its default length 128.
    explicit TMMSpectrumBlock(int maxLength = kSpectrumMaxFFTLength, int defaultLength = 128);

    TMMFFTSetup &Setup() { return Setup_; }
    const TMMFFTSetup &Setup() const { return Setup_; }
    int FFTLength() const { return Setup_.FFTLength(); }
    const TMMBlockFormat &Format() const { return Format_; }
    // Only mono and stereo are analysed; the tilt order is clamped to 0..2.
    void SetFormat(const TMMBlockFormat &format);
    // Bytes one block occupies: bytes per frame times FFTLength.
    int BlockBytes() const;

    void SetOnPcmOverflow(TPcmOverflowEvent handler) { OnPcmOverflow_ = std::move(handler); }

    // PrepareFFTBlock, the forward transform and the bin scaling, for one block of
    // BlockBytes(). A null block changes nothing.
    void Transform(const void *pcm);
    // FFTLength values: FFTLength/2 (re, im) pairs from the last Transform.
    const std::int16_t *Bins() const { return Bins_.data(); }
    // FFTLength/2 levels from the current bins.
    void Magnitudes(TMMBinForm form, const std::int32_t *offsets, std::int32_t *levels) const;
    void ClearBins();

  private:
    TMMFFTSetup Setup_;
    TMMBlockFormat Format_;
    std::vector<float> Work_;
    std::vector<std::int16_t> Bins_;
    TPcmOverflowEvent OnPcmOverflow_;
    std::function<void()> OverflowThunk_;
};
