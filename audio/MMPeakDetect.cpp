#include "audio/MMPeakDetect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Valid PCM whose frame size is what its channels and bits say: the analysis
// steps through buffers by that size, so a contradicting one cannot be read.
bool IsAnalysableFormat(const TWaveFormatEx *Format) {
    return IsValidPCMFormat(Format) &&
           Format->nBlockAlign == Format->nChannels * (Format->wBitsPerSample / 8);
}

const std::function<void()> NoOverflowEvent;

// Trunc(|re + i im|); a sum that is not a number counts as 0.
inline std::int32_t BinValue(float re, float im) {
    const float sum = re * re + im * im;
    return static_cast<std::int32_t>(std::sqrt(sum >= 0.0f ? sum : 0.0f));
}

inline int Read16(const std::uint8_t *p) {
    std::int16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Largest |sample| of channels 0 and 1 (the same one for mono) over whole 16-bit
// samples. Sixteen lanes keep a maximum and a minimum each; 16 is a multiple of
// every channel count a PCM format may have (1, 2, 4), so lane j always holds
// channel j % Channels, and the fixed-width inner loop vectorises.
void Peaks16(const std::uint8_t *Data, int Samples, int Channels, int &Left, int &Right) {
    constexpr int Lanes = 16;
    std::int16_t hi[Lanes], lo[Lanes];
    std::fill_n(hi, Lanes, std::int16_t{0});
    std::fill_n(lo, Lanes, std::int16_t{0});
    int i = 0;
    for (; i + Lanes <= Samples; i += Lanes) {
        std::int16_t s[Lanes];
        std::memcpy(s, Data + 2 * i, sizeof s);
        for (int j = 0; j < Lanes; ++j) {
            hi[j] = std::max(hi[j], s[j]);
            lo[j] = std::min(lo[j], s[j]);
        }
    }
    for (int j = 0; i < Samples; ++i, ++j) {
        const std::int16_t v = static_cast<std::int16_t>(Read16(Data + 2 * i));
        hi[j] = std::max(hi[j], v);
        lo[j] = std::min(lo[j], v);
    }
    int peak[2] = {0, 0};
    for (int j = 0; j < Lanes; ++j) {
        const int channel = j % Channels;
        if (channel < 2) peak[channel] = std::max({peak[channel], int{hi[j]}, -int{lo[j]}});
    }
    Left = peak[0];
    Right = Channels == 1 ? peak[0] : peak[1];
}

// The raw byte farthest from 128 (the first of equals) of channels 0 and 1.
void Peaks8(const std::uint8_t *Data, int Samples, int Channels, int &Left, int &Right) {
    int best[2] = {-1, -1};
    int value[2] = {128, 128};
    for (int i = 0; i < Samples; ++i) {
        const int channel = i % Channels;
        if (channel > 1) continue;
        const int magnitude = std::abs(Data[i] - 128);
        if (magnitude > best[channel]) {
            best[channel] = magnitude;
            value[channel] = Data[i];
        }
    }
    Left = value[0];
    Right = Channels == 1 ? value[0] : value[1];
}

} // namespace

TMMPeakDetect::TMMPeakDetect()
    : FBlock(new std::uint8_t[std::size_t(MaxFFTLength) * 4]), FWork(new float[MaxFFTLength]),
      FMaxima(std::make_unique<std::array<std::int32_t, MaxBins>>()) {
    FMaxima->fill(0);
    FSetup.SetFFTLength(DefaultFFTLength);
}

TMMPeakDetect::~TMMPeakDetect() = default;

// ---- properties --------------------------------------------------------------------------------

void TMMPeakDetect::SetFFTLength(int Value) {
    std::lock_guard<std::recursive_mutex> lock(FLock);
    if (!FSetup.SetFFTLength(Value)) return;
    FFFTLength.store(FSetup.FFTLength());
    ResetAllResults();
}

void TMMPeakDetect::SetWindow(TMMFFTWindow Value) {
    if (Value == FWindow.load() || Value < fwRectangular || Value > fwParzen) return;
    std::lock_guard<std::recursive_mutex> lock(FLock);
    FSetup.SetWindow(Value);
    FWindow.store(Value);
    ResetResults();
}

void TMMPeakDetect::SetChannel(TMMChannel Value) {
    if (Value == FChannel.load() || Value < chBoth || Value > chRight) return;
    std::lock_guard<std::recursive_mutex> lock(FLock);
    FChannel.store(Value);
    ResetResults();
}

int TMMPeakDetect::LeftPeak() const {
    std::lock_guard<std::recursive_mutex> lock(FLock);
    return FLeftPeak;
}

int TMMPeakDetect::RightPeak() const {
    std::lock_guard<std::recursive_mutex> lock(FLock);
    return FRightPeak;
}

int TMMPeakDetect::BinMaximum(int index) const {
    if (index < 0 || index >= MaxBins) return 0;
    std::lock_guard<std::recursive_mutex> lock(FLock);
    return (*FMaxima)[index];
}

void TMMPeakDetect::ResetResults() {
    FLeftPeak = FRightPeak = FStream.Silence;
    std::fill_n(FMaxima->begin(), FMaximaUsed, 0);
    FMaximaUsed = 0;
}

void TMMPeakDetect::ResetAllResults() {
    FMaximaUsed = MaxBins;
    ResetResults();
}

// ---- chain -------------------------------------------------------------------------------------

void TMMPeakDetect::SetPWaveFormat(const TWaveFormatEx *Value) {
    if (Value != nullptr && !IsDesigning()) {
        if (!IsAnalysableFormat(Value)) throw EMMPeakError("Invalid WaveFormat");
        std::lock_guard<std::recursive_mutex> lock(FLock);
        FStream.Channels = Value->nChannels;
        FStream.SampleBytes = Value->wBitsPerSample / 8;
        FStream.Silence = Value->wBitsPerSample == 8 ? 128 : 0;
        ResetResults();
    }
    TMMDSPComponent::SetPWaveFormat(Value);
}

void TMMPeakDetect::Opened() {
    FReady.store(IsAnalysableFormat(PWaveFormat()));
    TMMDSPComponent::Opened();
}

void TMMPeakDetect::Closed() {
    FReady.store(false);
    TMMDSPComponent::Closed();
}

void TMMPeakDetect::Started() {
    if (FReady.load() && !FDetecting.load()) {
        std::lock_guard<std::recursive_mutex> lock(FLock);
        ResetResults();
        FDetecting.store(true);
    }
    TMMDSPComponent::Started();
}

void TMMPeakDetect::Stopped() {
    FDetecting.store(false);
    TMMDSPComponent::Stopped();
}

void TMMPeakDetect::BufferReady(PWaveHdr lpWaveHdr) {
    if (lpWaveHdr != nullptr) Analyse(lpWaveHdr->lpData, static_cast<int>(lpWaveHdr->dwBytesRecorded));
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMPeakDetect::BufferLoad(PWaveHdr lpWaveHdr, bool &MoreBuffers) {
    TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
    if (lpWaveHdr != nullptr) Analyse(lpWaveHdr->lpData, static_cast<int>(lpWaveHdr->dwBytesRecorded));
}

// ---- analysis ----------------------------------------------------------------------------------

void TMMPeakDetect::Analyse(const char *Data, int Bytes) {
    if (!FEnabled.load() || !FReady.load() || Data == nullptr || Bytes < 0) return;
    std::lock_guard<std::recursive_mutex> lock(FLock);
    ResetResults();
    const auto *p = reinterpret_cast<const std::uint8_t *>(Data);
    if (FDetectPeaks.load())
        ScanPeaks(p, Bytes);
    else
        FLeftPeak = FRightPeak = 0;
    // The length is read per block: OnPeakReady may change it.
    for (int pos = 0; pos < Bytes;) {
        const int blockBytes = FStream.Channels * FStream.SampleBytes * FSetup.FFTLength();
        const int take = std::min(Bytes - pos, blockBytes);
        AnalyseBlock(p + pos, take);
        pos += take;
    }
}

void TMMPeakDetect::ScanPeaks(const std::uint8_t *Data, int Bytes) {
    const int samples = Bytes / FStream.SampleBytes;
    if (FStream.SampleBytes == 2)
        Peaks16(Data, samples, FStream.Channels, FLeftPeak, FRightPeak);
    else
        Peaks8(Data, samples, FStream.Channels, FLeftPeak, FRightPeak);
}

const std::uint8_t *TMMPeakDetect::StageBlock(const std::uint8_t *Data, int Bytes, int Frames) {
    const int sampleBytes = FStream.SampleBytes, frameBytes = FStream.Channels * sampleBytes;
    const int keep = std::min(FStream.Channels, 2);
    std::uint8_t *out = FBlock.get();
    if (keep == FStream.Channels) {
        std::memcpy(out, Data, std::size_t(Bytes));
        std::memset(out + Bytes, FStream.Silence, std::size_t(Frames * frameBytes - Bytes));
        return out;
    }
    // Wider streams: channels 0 and 1 of each frame; samples past the end are silence.
    for (int f = 0; f < Frames; ++f) {
        for (int c = 0; c < keep; ++c, out += sampleBytes) {
            const int at = f * frameBytes + c * sampleBytes;
            if (at + sampleBytes <= Bytes)
                std::memcpy(out, Data + at, std::size_t(sampleBytes));
            else
                std::memset(out, FStream.Silence, std::size_t(sampleBytes));
        }
    }
    return FBlock.get();
}

void TMMPeakDetect::AnalyseBlock(const std::uint8_t *Data, int Bytes) {
    const int n = FSetup.FFTLength();
    const bool whole = Bytes == FStream.Channels * FStream.SampleBytes * n && FStream.Channels <= 2;
    const std::uint8_t *block = whole ? Data : StageBlock(Data, Bytes, n);

    TMMBlockFormat format;
    format.BitLength = FStream.SampleBytes == 1 ? b8Bit : b16Bit;
    format.Mode = FStream.Channels == 1 ? mMono : mStereo;
    format.Channel = FChannel.load();
    PrepareFFTBlock(block, format, FSetup.WindowTable(), n, FWork.get(), NoOverflowEvent);
    DoRealFFT(FSetup.Plan(), FWork.get(), 1);

    const int bins = n / 2;
    // bins is a power of two, so multiplying by its reciprocal divides exactly.
    const float scale = 1.0f / static_cast<float>(bins);
    const float *x = FWork.get();
    std::int32_t *maxima = FMaxima->data();
    // The event is tested once per block: with none assigned the loop has no call in it.
    if (FOnPeakReady) {
        for (int i = 0; i < bins; ++i) {
            const std::int32_t value = BinValue(x[2 * i] * scale, x[2 * i + 1] * scale);
            FOnPeakReady(this, i, value);
            maxima[i] = std::max(maxima[i], value);
        }
    } else {
        for (int i = 0; i < bins; ++i)
            maxima[i] = std::max(maxima[i], BinValue(x[2 * i] * scale, x[2 * i + 1] * scale));
    }
    // After the loop: a length change made by the event has cleared the table meanwhile.
    FMaximaUsed = std::max(FMaximaUsed, bins);
}
