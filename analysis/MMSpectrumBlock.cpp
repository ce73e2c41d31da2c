#include "analysis/MMSpectrumBlock.h"

#include "core/PCM.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

int FFTLengthFor(int request, int maxLength) {
    int v = MinMax(request, kMinFFTLength, Max(maxLength, kMinFFTLength));
    int log2 = 0;
    while (v > 1) {
        v /= 2;
        ++log2;
    }
    return 1 << log2;
}

int FFTLog2(int length) {
    int log2 = 0;
    while (length > 1) {
        length /= 2;
        ++log2;
    }
    return log2;
}

// ---- TMMFFTSetup ------------------------------------------------------------------------------

TMMFFTSetup::TMMFFTSetup(int maxLength)
    : MaxLength_(FFTLengthFor(maxLength, maxLength)), WindowTable_(static_cast<std::size_t>(MaxLength_)) {
    Plan_ = InitFFTPlan(FFTLog2(Length_));
    FillWindowTable(WindowTable_.data(), Window_, FFTLog2(Length_));
}

TMMFFTSetup::~TMMFFTSetup() {
    DoneFFTPlan(Plan_);
}

bool TMMFFTSetup::SetFFTLength(int value) {
    const int length = FFTLengthFor(value, MaxLength_);
    if (length == Length_) return false;
    // Build the new plan before dropping the old one, so running out of memory leaves a working pair.
    TMMFFTPlan *plan = InitFFTPlan(FFTLog2(length));
    DoneFFTPlan(Plan_);
    Plan_ = plan;
    Length_ = length;
    FillWindowTable(WindowTable_.data(), Window_, FFTLog2(length));
    return true;
}

void TMMFFTSetup::SetWindow(TMMFFTWindow value) {
    if (value == Window_) return;
    Window_ = value;
    FillWindowTable(WindowTable_.data(), Window_, FFTLog2(Length_));
}

// ---- block preparation ------------------------------------------------------------------------

namespace {

inline std::int32_t Read16(const std::uint8_t *p, std::size_t index) {
    std::int16_t v;
    std::memcpy(&v, p + 2 * index, sizeof v);
    return v;
}

// Selected or mixed sample of frame i, per format.
struct Mono16 {
    const std::uint8_t *p;
    std::int32_t operator()(std::size_t i) const { return Read16(p, i); }
};
struct Channel16 {
    const std::uint8_t *p;
    std::size_t offset;
    std::int32_t operator()(std::size_t i) const { return Read16(p, 2 * i + offset); }
};
struct Mix16 {
    const std::uint8_t *p;
    std::int32_t operator()(std::size_t i) const { return (Read16(p, 2 * i) + Read16(p, 2 * i + 1)) / 2; }
};
struct Mono8 {
    const std::uint8_t *p;
    std::int32_t operator()(std::size_t i) const { return p[i]; }
};
struct Channel8 {
    const std::uint8_t *p;
    std::size_t offset;
    std::int32_t operator()(std::size_t i) const { return p[2 * i + offset]; }
};
struct Mix8 {
    const std::uint8_t *p;
    std::int32_t operator()(std::size_t i) const { return (p[2 * i] + p[2 * i + 1]) >> 1; }
};

// Acc is the product's type: 32 bits hold v * window whenever |v| stays below 2^16.
template <int Tilt, typename Acc, typename Fetch>
void Prepare(Fetch fetch, std::size_t n, std::int32_t bias, std::int32_t limit, Acc divisor,
             const std::int32_t *window, float *out, const std::function<void()> &onOverflow) {
    // The samples before the block are taken as its first one: no history between blocks.
    std::int32_t prev1 = fetch(0), prev2 = prev1;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t s = fetch(i);
        if (s > limit && onOverflow) onOverflow();
        std::int32_t v;
        if constexpr (Tilt == 0)
            v = s - bias;
        else if constexpr (Tilt == 1)
            v = s - prev1;
        else
            v = s + prev2 - 2 * prev1;
        prev2 = prev1;
        prev1 = s;
        out[i] = static_cast<float>(static_cast<Acc>(v) * window[i] / divisor);
    }
}

// 16-bit samples differenced once or twice exceed 16 bits and need the 64-bit product.
template <bool Wide, typename Fetch>
void PrepareTilt(int tilt, Fetch fetch, std::size_t n, std::int32_t bias, std::int32_t limit,
                 std::int32_t divisor, const std::int32_t *window, float *out,
                 const std::function<void()> &onOverflow) {
    using Acc = std::conditional_t<Wide, std::int64_t, std::int32_t>;
    switch (tilt) {
    case 0:
        Prepare<0, std::int32_t>(fetch, n, bias, limit, divisor, window, out, onOverflow);
        break;
    case 1:
        Prepare<1, Acc>(fetch, n, bias, limit, Acc{divisor}, window, out, onOverflow);
        break;
    default:
        Prepare<2, Acc>(fetch, n, bias, limit, Acc{divisor}, window, out, onOverflow);
        break;
    }
}

} // namespace

void PrepareFFTBlock(const void *pcm, const TMMBlockFormat &format, const std::int32_t *window, int n,
                     float *out, const std::function<void()> &onOverflow) {
    if (pcm == nullptr || window == nullptr || out == nullptr || n <= 0) return;
    const auto *p = static_cast<const std::uint8_t *>(pcm);
    const std::size_t count = static_cast<std::size_t>(n);
    const int tilt = MinMax(format.Tilt, 0, 2);
    const bool stereo = format.Mode != mMono;
    const std::size_t offset = format.Channel == chRight ? 1 : 0;
    if (format.BitLength == b16Bit) {
        if (!stereo)
            PrepareTilt<true>(tilt, Mono16{p}, count, 0, 32766, 32768, window, out, onOverflow);
        else if (format.Channel == chBoth)
            PrepareTilt<true>(tilt, Mix16{p}, count, 0, 32765, 32768, window, out, onOverflow);
        else
            PrepareTilt<true>(tilt, Channel16{p, offset}, count, 0, 32766, 32768, window, out, onOverflow);
    } else {
        if (!stereo)
            PrepareTilt<false>(tilt, Mono8{p}, count, 128, 254, 128, window, out, onOverflow);
        else if (format.Channel == chBoth)
            PrepareTilt<false>(tilt, Mix8{p}, count, 128, 254, 128, window, out, onOverflow);
        else
            PrepareTilt<false>(tilt, Channel8{p, offset}, count, 128, 254, 128, window, out, onOverflow);
    }
}

void ScaleFFTBins(const float *x, int n, std::int16_t *bins) {
    // n div 2 is a power of two, so multiplying by its reciprocal is exact division.
    const float inv = 1.0f / static_cast<float>(n / 2 > 0 ? n / 2 : 1);
    for (int r = 0; r < n; ++r) {
        float v = x[r] * inv;
        // Saturate first (min/max, no branches); the conversion then truncates toward zero.
        v = std::max(std::min(v, 32767.0f), -32768.0f);
        bins[r] = static_cast<std::int16_t>(static_cast<std::int32_t>(v));
    }
}

TMMBinForm BinMagnitudeForm(TMMDecayMode decayMode, bool logAmp) {
    return decayMode == dmNone && logAmp ? TMMBinForm::Logarithmic : TMMBinForm::Linear;
}

void BinMagnitudes(const std::int16_t *bins, int n, TMMBinForm form, const std::int32_t *offsets,
                   std::int32_t *levels) {
    const int count = n / 2;
    for (int k = 0; k < count; ++k) {
        const std::int64_t re = bins[2 * k], im = bins[2 * k + 1];
        // 64-bit: two full-scale negative parts would overflow 32 bits.
        const std::int64_t p = re * re + im * im;
        if (form == TMMBinForm::Logarithmic) {
            if (p < 1) {
                levels[k] = 0;
                continue;
            }
            const double v = std::log(static_cast<double>(p)) * kBinLogFactor - offsets[k];
            levels[k] = v > 0 ? static_cast<std::int32_t>(v) : 0;
        } else {
            levels[k] = static_cast<std::int32_t>(std::sqrt(static_cast<double>(p)) * 16.0);
        }
    }
}

// ---- TMMSpectrumBlock -------------------------------------------------------------------------

TMMSpectrumBlock::TMMSpectrumBlock(int maxLength, int defaultLength)
    : Setup_(maxLength), Work_(static_cast<std::size_t>(Setup_.MaxLength())),
      Bins_(static_cast<std::size_t>(Setup_.MaxLength())) {
    Setup_.SetFFTLength(defaultLength);
    OverflowThunk_ = [this] {
        if (OnPcmOverflow_) OnPcmOverflow_(*this);
    };
}

void TMMSpectrumBlock::SetFormat(const TMMBlockFormat &format) {
    Format_.BitLength = format.BitLength == b8Bit ? b8Bit : b16Bit;
    Format_.Mode = format.Mode == mMono ? mMono : mStereo;
    Format_.Channel = static_cast<TMMChannel>(MinMax(static_cast<int>(format.Channel), 0, 2));
    Format_.Tilt = MinMax(format.Tilt, 0, 2);
}

int TMMSpectrumBlock::BlockBytes() const {
    return (static_cast<int>(Format_.BitLength) + 1) * (static_cast<int>(Format_.Mode) + 1) * FFTLength();
}

void TMMSpectrumBlock::Transform(const void *pcm) {
    if (pcm == nullptr) return;
    const int n = FFTLength();
    PrepareFFTBlock(pcm, Format_, Setup_.WindowTable(), n, Work_.data(), OverflowThunk_);
    DoRealFFT(Setup_.Plan(), Work_.data(), 1);
    ScaleFFTBins(Work_.data(), n, Bins_.data());
}

void TMMSpectrumBlock::Magnitudes(TMMBinForm form, const std::int32_t *offsets, std::int32_t *levels) const {
    BinMagnitudes(Bins_.data(), FFTLength(), form, offsets, levels);
}

void TMMSpectrumBlock::ClearBins() {
    std::fill(Bins_.begin(), Bins_.end(), std::int16_t{0});
}
