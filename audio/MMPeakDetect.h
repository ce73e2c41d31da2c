#pragma once

// TMMPeakDetect: a chain member that analyses every buffer passing through it.
// It finds the largest sample of each channel and runs a windowed FFT over the
// buffer block by block, reporting every bin value through OnPeakReady and
// keeping the largest value per bin. Buffers then travel on unchanged.
//
// Threads: properties, formats and chain notifications on the main thread.
// BufferReady/BufferLoad, the analysis and OnPeakReady on the delivering
// thread (the wave input's worker in the console). FLock guards the transform
// set-up, the work buffers and the results; property values are atomics, so
// their getters never wait. OnPeakReady runs under FLock (a recursive lock): it
// may read the results and set properties, which take effect from the next block.

#include "analysis/MMSpectrumBlock.h"
#include "audio/MMDSPComponent.h"
#include "platform/MMError.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class EMMPeakError : public EMMError {
  public:
    using EMMError::EMMError;
};

using TMMPeakEvent = std::function<void(TObject *Sender, int index, int Value)>;

class TMMPeakDetect : public TMMDSPComponent {
  public:
    static constexpr int MaxFFTLength = 16384;
    static constexpr int MaxBins = MaxFFTLength / 2;
    static constexpr int DefaultFFTLength = 128;

    TMMPeakDetect();
    ~TMMPeakDetect() override;

    bool PublishesInput() const override { return true; }
    bool PublishesOutput() const override { return true; }

    // --- Published properties (main thread, or from OnPeakReady).
    // False: buffers pass on unanalysed.
    bool Enabled() const { return FEnabled.load(); }
    void SetEnabled(bool Value) { FEnabled.store(Value); }
    // 8..16384, rounded down to a power of two; a change rebuilds the transform and resets the results.
    int FFTLength() const { return FFFTLength.load(); }
    void SetFFTLength(int Value);
    // Kinds outside fwRectangular..fwParzen are ignored; a change resets the results.
    TMMFFTWindow Window() const { return FWindow.load(); }
    void SetWindow(TMMFFTWindow Value);
    // Which channel of a stereo stream is transformed (chBoth: their mean); a change resets the results.
    TMMChannel Channel() const { return FChannel.load(); }
    void SetChannel(TMMChannel Value);
    // False: both channel peaks read 0 after every buffer.
    bool DetectPeaks() const { return FDetectPeaks.load(); }
    void SetDetectPeaks(bool Value) { FDetectPeaks.store(Value); }
    // Fired once per bin of every analysed block, in bin order (delivering thread).
    // Set it while the chain is not started.
    const TMMPeakEvent &OnPeakReady() const { return FOnPeakReady; }
    void SetOnPeakReady(TMMPeakEvent Value) { FOnPeakReady = std::move(Value); }

    // --- Results of the last buffer (any thread).
    // The magnitude of the largest sample: |sample| for 16-bit streams (32768 for
    // -32768), the raw byte for 8-bit ones; the silence value after a reset.
    int LeftPeak() const;
    int RightPeak() const;
    // The largest value bin `index` reached over the blocks of the last buffer (0 outside 0..MaxBins-1).
    int BinMaximum(int index) const;
    // True between Opened (with a PCM format) and Closed.
    bool IsAnalysisReady() const { return FReady.load(); }
    bool IsDetecting() const { return FDetecting.load(); }

    // --- Chain (main thread; data on the delivering thread).
    // A PCM record that is not valid (or whose frame size contradicts its channels
    // and bits) raises EMMPeakError "Invalid WaveFormat" and changes nothing.
    void SetPWaveFormat(const TWaveFormatEx *Value) override;
    void Opened() override;
    void Closed() override;
    void Started() override;
    void Stopped() override;
    void BufferReady(PWaveHdr lpWaveHdr) override;
    void BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers) override;

  private:
    // Stream layout taken from the held format when it is set (guarded by FLock).
    struct TStream {
        int Channels = 1;
        int SampleBytes = 2;
        int Silence = 0; // 128 for 8-bit streams
    };

    void ResetResults();    // FLock held
    void ResetAllResults(); // FLock held: also the bins beyond the current length
    void Analyse(const char *Data, int Bytes);
    void ScanPeaks(const std::uint8_t *Data, int Bytes);
    void AnalyseBlock(const std::uint8_t *Data, int Bytes);
    // Copies a block's first one or two channels into FBlock, padding with silence.
    const std::uint8_t *StageBlock(const std::uint8_t *Data, int Bytes, int Frames);

    std::atomic<bool> FEnabled{true};
    std::atomic<int> FFFTLength{DefaultFFTLength};
    std::atomic<TMMFFTWindow> FWindow{fwHamming};
    std::atomic<TMMChannel> FChannel{chBoth};
    std::atomic<bool> FDetectPeaks{true};
    TMMPeakEvent FOnPeakReady;

    std::atomic<bool> FReady{false};
    std::atomic<bool> FDetecting{false};

    mutable std::recursive_mutex FLock;
    TStream FStream;
    TMMFFTSetup FSetup{MaxFFTLength};
    // Work areas, allocated once for the largest length: one staged block of up to
    // two 16-bit channels, and the transform's floats.
    std::unique_ptr<std::uint8_t[]> FBlock;
    std::unique_ptr<float[]> FWork;
    std::unique_ptr<std::array<std::int32_t, MaxBins>> FMaxima;
    int FMaximaUsed = 0; // bins written since the last reset; the rest are 0
    int FLeftPeak = 0;
    int FRightPeak = 0;
};
