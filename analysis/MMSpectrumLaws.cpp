#include "analysis/MMSpectrumLaws.h"

#include "analysis/MMSpectrumBlock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

int Clamp(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// The smallest j >= 0 with x * 2^j >= 4096 (bounded, for a degenerate x).
int ShiftFor(double x) {
    int j = 0;
    while (x * std::ldexp(1.0, j) < 4096.0 && j < 40)
        ++j;
    return j;
}

std::string Formatted(const char *format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

// --- Frequency ----------------------------------------------------------------------------------

int SpectrumFrequencyScale(int request) {
    int v = Clamp(request, 1, 16), scale = 1;
    while (v > 1) {
        v /= 2;
        scale *= 2;
    }
    return scale;
}

double SpectrumLowFrequency(bool logFreq, int sampleRate, int fftLength, int frequencyScale) {
    const double fs = sampleRate, n = fftLength;
    const double scale = SpectrumFrequencyScale(frequencyScale);
    double low = kSpectrumLowFrequency;
    if (logFreq) {
        const double top = (fs / 2.0) / std::pow(n / 2.0, 1.0 / scale);
        low = std::min(std::max(low, fs / n), top);
    } else if (fs / 2.0 < fs / (2.0 * scale) + low) {
        low = fs / 2.0 - fs / (2.0 * scale);
    }
    return low;
}

void TMMColumnTable::Resize(int width) {
    Width = std::max(width, 1);
    First.assign(static_cast<std::size_t>(Width) + 10, 0);
    End.assign(static_cast<std::size_t>(Width) + 10, 0);
}

void BuildColumnTable(TMMColumnTable &table, const TMMColumnParams &params, const TMMGetXScaleHook &hook) {
    if (table.First.size() < static_cast<std::size_t>(table.Width) + 10) table.Resize(table.Width);
    const int w = table.Width;
    const int n = params.FFTLength, half = n / 2;
    const int scale = SpectrumFrequencyScale(params.FrequencyScale);
    const double fs = params.SampleRate;
    const double low = SpectrumLowFrequency(params.LogFreq, params.SampleRate, n, scale);
    int *first = table.First.data(), *end = table.End.data();
    if (hook) {
        hook(first, end);
        // A handler's bins must still lie inside the transform.
        for (int i = 0; i < w; ++i) {
            first[i] = Clamp(first[i], 0, half - 1);
            end[i] = Clamp(end[i], 0, half);
        }
    } else {
        for (int i = 0; i < w; ++i) {
            double c;
            if (params.LogFreq)
                c = std::floor(std::pow((n + 1) / 2.0, (i - 0.45) / (double(w) * scale)) * n * low / fs +
                               0.51) -
                    1;
            else
                c = std::floor(double(i) / w * half / scale + low / fs * n + 0.01);
            first[i] = Clamp(static_cast<int>(c), 0, half - 1);
            if (i > 0) end[i - 1] = first[i];
        }
        end[w - 1] = 0;
        for (int i = 0; i < w; ++i)
            if (first[i] + 1 >= end[i]) end[i] = 0;
    }
    for (int i = w - 1; i >= 1; --i)
        if (first[i] == first[i - 1]) {
            first[i] = -1;
            end[i] = 0;
        }
}

// --- Amplitude ----------------------------------------------------------------------------------

float SpectrumLogUnitsPerDB() {
    return static_cast<float>(std::numbers::ln10 * 819.2 / std::numbers::ln2);
}

void BuildAmpScale(TMMAmpScale &scale, const TMMAmpParams &params, const TMMColumnTable &columns) {
    const int w = columns.Width;
    scale.Multipliers.assign(static_cast<std::size_t>(std::max(w, 1)), 0);
    scale.Offsets.resize(kSpectrumMaxBins);
    const int gain = Clamp(static_cast<int>(params.Gain), 0, 4);
    const int order = gain / 2, half = gain % 2;
    const double fs = params.SampleRate, ref = params.RefFreq, h = params.Height;
    const double n = params.FFTLength;
    const double tiltRatio = fs / (2.0 * std::numbers::pi * ref);
    scale.LogFactor = kBinLogFactor;
    if (params.LogAmp) {
        double r = 20.0 * std::log10(32768.0);
        if (order == 1) r -= 20.0 * std::log10(tiltRatio);
        if (order == 2) r -= 40.0 * std::log10(tiltRatio);
        const float a = SpectrumLogUnitsPerDB();
        scale.PixelFactor = static_cast<float>(h / (kSpectrumLogSteps * 10.0 * a));
        scale.Shift = ShiftFor(scale.PixelFactor);
        const auto multiplier =
            static_cast<std::int32_t>(std::floor(scale.PixelFactor * std::ldexp(1.0, scale.Shift) + 0.5));
        std::fill(scale.Multipliers.begin(), scale.Multipliers.end(), multiplier);
        const auto base = static_cast<float>(a * (r - kSpectrumLogSteps * 10.0));
        for (int k = 0; k < kSpectrumMaxBins; ++k) {
            double offset = base + 0.5;
            if (half == 1) offset -= 10.0 * a * std::log10((k + 1) * fs / n / ref);
            scale.Offsets[static_cast<std::size_t>(k)] = static_cast<std::int32_t>(std::floor(offset));
        }
        return;
    }
    scale.PixelFactor = 0.0f;
    double d = h / (std::sqrt(ref) * params.VerticalScale * 32768.0);
    if (order == 1) d *= tiltRatio;
    if (order == 2) d *= tiltRatio * tiltRatio;
    const int j = ShiftFor(half == 0 ? std::sqrt(ref) * d : std::sqrt(fs / 2.0) * d);
    scale.Shift = 4 + j;
    const double factor = d * std::ldexp(1.0, j);
    for (int i = 0; i < w; ++i) {
        const int bin = columns.First[static_cast<std::size_t>(i)];
        if (bin < 0) continue; // a continuation column
        scale.Multipliers[static_cast<std::size_t>(i)] =
            half == 0
                ? static_cast<std::int32_t>(std::floor(std::sqrt(ref) * factor + 0.5))
                : static_cast<std::int32_t>(RoundHalfEven(factor * std::sqrt((bin + 1) * fs / n) + 0.5));
    }
}

// --- Decay --------------------------------------------------------------------------------------

float SpectrumDecayFactor(int decay) {
    float f = 0.0001f;
    for (int i = 0; i < Clamp(decay, 1, 16); ++i)
        f = std::sqrt(f);
    return f;
}

int SpectrumAveragingLength(int decay, int buffers) {
    return std::min(Clamp(2 * Clamp(decay, 1, 16) - 2, 1, kSpectrumHistory), std::max(buffers, 1));
}

TMMSpectrumDecay::TMMSpectrumDecay(int historyBuffers)
    : FPeaks(kSpectrumMaxBins), FSums(kSpectrumMaxBins),
      FHistory(static_cast<std::size_t>(Clamp(historyBuffers, 1, kSpectrumHistory)),
               std::vector<std::int32_t>(kSpectrumMaxBins)) {}

bool TMMSpectrumDecay::SetMode(TMMDecayMode value) {
    if (value == FMode) return false;
    FMode = value;
    Clear();
    return true;
}

bool TMMSpectrumDecay::SetDecay(int value) {
    value = Clamp(value, 1, 16);
    if (value == FDecay) return false;
    FDecay = value;
    FFactor = SpectrumDecayFactor(value);
    FLength = SpectrumAveragingLength(value, HistoryBuffers());
    if (FMode == dmUniform) Clear();
    return true;
}

void TMMSpectrumDecay::Clear() {
    FRingIndex = 0;
    FRingCount = 0;
    std::fill(FPeaks.begin(), FPeaks.end(), 0.0f);
    std::fill(FSums.begin(), FSums.end(), 0);
    for (auto &buffer : FHistory)
        std::fill(buffer.begin(), buffer.end(), 0);
}

void TMMSpectrumDecay::Apply(std::int32_t *levels, int count) {
    count = Clamp(count, 0, kSpectrumMaxBins);
    FRingIndex = FRingIndex + 1 >= FLength ? 0 : FRingIndex + 1;
    FRingCount = std::min(FRingCount + 1, FLength);
    const float f = FFactor;
    switch (FMode) {
    case dmNone:
        break;
    case dmStepUp:
        for (int k = 0; k < count; ++k) {
            float &peak = FPeaks[static_cast<std::size_t>(k)];
            const auto m = static_cast<float>(levels[k]);
            peak *= f;
            if (m >= peak)
                peak = m;
            else
                levels[k] = static_cast<std::int32_t>(peak);
        }
        break;
    case dmExponential:
        for (int k = 0; k < count; ++k) {
            float &peak = FPeaks[static_cast<std::size_t>(k)];
            peak = peak * f + (1.0f - f) * static_cast<float>(levels[k]);
            levels[k] = static_cast<std::int32_t>(std::floor(peak));
        }
        break;
    case dmUniform: {
        std::int32_t *history = FHistory[static_cast<std::size_t>(FRingIndex)].data();
        for (int k = 0; k < count; ++k) {
            std::int32_t &sum = FSums[static_cast<std::size_t>(k)];
            sum += levels[k] - history[k];
            history[k] = levels[k];
            levels[k] = sum / FRingCount;
        }
        break;
    }
    }
}

// --- Bars ---------------------------------------------------------------------------------------

TMMBarsResult ComputeBars(const TMMBarInput &input, TMMBarSegment *segments) {
    TMMBarsResult result;
    const TMMColumnTable &columns = *input.Columns;
    const TMMAmpScale &amp = *input.Amp;
    const int w = columns.Width, h = input.Height;
    for (int j = 0; j < w; ++j) {
        if (columns.IsContinuation(j)) continue;
        if (result.Count > 0) segments[result.Count - 1].End = j;
        const int first = columns.First[static_cast<std::size_t>(j)];
        const int last = std::max(columns.End[static_cast<std::size_t>(j)] - 1, first);
        std::int32_t level = input.Levels[first];
        int bin = first;
        for (int k = first + 1; k <= last; ++k)
            if (input.Levels[k] > level) {
                level = input.Levels[k];
                bin = k;
            }
        int value = 0;
        if (level > 0) {
            if (input.DecayedLog)
                value = static_cast<int>((2.0 * std::log(level / 16.0) * amp.LogFactor - amp.Offsets[bin]) *
                                         amp.PixelFactor);
            else
                value = static_cast<int>(
                    (std::int64_t{level} * amp.Multipliers[static_cast<std::size_t>(j)]) >> amp.Shift);
        }
        TMMBarSegment &segment = segments[result.Count++];
        segment.First = j;
        segment.End = w;
        segment.Value = value;
        if (value > result.Maximum.Value) result.Maximum = {value, first, j};
        if (value >= h) ++result.GainOverflows;
    }
    segments[result.Count].First = -1;
    return result;
}

void HoldPeak(TMMBarSegment &segment, int value, int peakDelay) {
    if (value < segment.Peak || value <= 0) return;
    segment.Peak = value;
    segment.Hold = 2 * peakDelay + 1;
}

bool AgePeak(TMMBarSegment &segment, int peakSpeed) {
    if (segment.Peak <= 0) return false;
    if (--segment.Hold > 0) return false;
    if (peakSpeed > 0) {
        --segment.Peak;
        segment.Hold = peakSpeed;
    } else {
        segment.Peak = 0;
        segment.Hold = 0;
    }
    return true;
}

// --- Kinds --------------------------------------------------------------------------------------

int TMMSpectrumSpots::BarSpots(int value) const {
    const double spots = value / (double(Height) / SpotCount);
    return Clamp(static_cast<int>(RoundHalfEven(spots + 0.5)), 0, SpotCount);
}

TMMSpectrumSpots ComputeSpectrumSpots(TMMSpectrumKind kind, int height, int spotHeight, int spotSpace,
                                      int point1, int point2) {
    TMMSpectrumSpots s;
    s.Height = std::max(height, 1);
    s.SpotHeight = std::max(spotHeight, 1);
    s.SpotSpace = std::max(spotSpace, 0);
    s.SpotCount = std::max((s.Height + s.SpotSpace) / s.Step(), 1);
    s.Margin = (s.Height + s.SpotSpace - s.Step() * s.SpotCount) / 2;
    const double h = s.Height;
    auto threshold = [&](int point) -> double {
        switch (kind) {
        case skBars:
        case skPeaks:
            return point * double(s.SpotCount) / 100.0;
        case skDots:
            return h - point * h / 100.0;
        case skScroll:
            return point * h / 3.0 / 100.0;
        default:
            return point * h / 100.0;
        }
    };
    s.T1 = static_cast<int>(RoundHalfEven(threshold(point1)));
    s.T2 = static_cast<int>(RoundHalfEven(threshold(point2)));
    s.LineOffset = kind == skScroll ? s.Height - s.Height / 3 : 1;
    return s;
}

TMMColumnSpan SegmentSpan(const TMMBarSegment &segment, TMMSpectrumKind kind, int space) {
    TMMColumnSpan span{segment.First, std::max(segment.End, segment.First + 1)};
    const bool narrowed = kind == skVLines || kind == skBars || kind == skPeaks;
    if (narrowed && space < span.Right - span.Left) {
        span.Left += space / 2;
        span.Right -= space - space / 2;
    }
    return span;
}

int DotRow(int value, int height) {
    return Clamp(height - value - 1, 0, height - 1);
}

int LineRow(int value, int height, int lineOffset) {
    return Clamp(height - value - lineOffset, 0, height - 1);
}

int VLineBands(int value, const TMMSpectrumSpots &spots, TMMVLineBand *bands) {
    const int h = spots.Height;
    int v = Clamp(value, 0, h - 1);
    const int b = (h + v) / 2;
    TMMVLineBand band{h - b - 1, b + 1, 0};
    int count = 0;
    const int thresholds[2] = {spots.T2, spots.T1};
    for (int zone = 2; zone >= 1; --zone) {
        const int t = thresholds[2 - zone];
        if (v <= t) continue;
        bands[count++] = {band.Top, band.Bottom, zone};
        const int shrink = (v - t) / 2;
        band.Top += shrink;
        band.Bottom -= shrink;
        v = t;
    }
    bands[count++] = band;
    return count;
}

// --- Grid and scales ----------------------------------------------------------------------------

int DecreasedIntervals(int extent, int start) {
    int n = start;
    while (extent / n < 10 && n > 1)
        --n;
    return n;
}

int HalvedIntervals(int extent, int start) {
    int n = start;
    while (extent / n < 10 && n > 1)
        n /= 2;
    return n;
}

int GridIntervals(bool logAmp, int height) {
    return DecreasedIntervals(height, logAmp ? kSpectrumLogSteps : 10);
}

namespace {
// Rows of linear marks: k-th of n intervals of 32760 units, from the bottom.
int LinearMarkRow(int k, int n, double verticalScale, int height) {
    return static_cast<int>(k * verticalScale * 32760.0 / n / (verticalScale * 32768.0 / height));
}
} // namespace

int GridRow(int k, int n, bool logAmp, double verticalScale, int height) {
    if (logAmp) return k * (height - 1) / n;
    return height - LinearMarkRow(k, n, verticalScale, height) - 1;
}

int GridColumnIntervals(int width) {
    return HalvedIntervals(width, 32);
}

int GridColumn(int k, int d, int width) {
    return k * (width - 1) / d;
}

double FrequencyLabel(int k, int p, const TMMFreqScaleParams &params) {
    const int scale = SpectrumFrequencyScale(params.FrequencyScale);
    if (params.LogFreq) {
        const double s = std::log(params.FFTLength / 2.0) / (p * double(scale));
        return std::max(0.0, params.LowFrequency * std::exp(k * s));
    }
    const double s = (params.SampleRate / 2.0 - params.LowFrequency) / p / scale;
    return std::max(0.0, k * s + params.LowFrequency);
}

int FrequencyTickX(int k, int p, int width, int bevel) {
    return bevel + static_cast<int>(RoundHalfEven(double(width - 1) * k / p));
}

int AmpScaleIntervals(bool logAmp, int height) {
    return GridIntervals(logAmp, height);
}

int AmpScaleRow(int k, int q, bool logAmp, double verticalScale, int height, int scaleHeight, int bevel) {
    if (logAmp) return bevel + (height - 1) * k / q;
    return scaleHeight - bevel - LinearMarkRow(k, q, verticalScale, height) - 1;
}

std::string AmpScaleText(int k, int q, bool logAmp, double verticalScale, bool rightSide) {
    if (logAmp) {
        const auto db = static_cast<int>(RoundHalfEven(-10.0 * kSpectrumLogSteps * k / q));
        char text[16];
        std::snprintf(text, sizeof text, rightSide ? "%2d" : "%d", db);
        return text;
    }
    return Formatted(verticalScale <= 0.095 ? "%5.3f" : "%4.2f", verticalScale * k / q);
}

// --- Readouts -----------------------------------------------------------------------------------

double ColumnFrequency(int x, int width, const TMMFreqScaleParams &params) {
    const int scale = SpectrumFrequencyScale(params.FrequencyScale);
    const double span = std::max(width - 1, 1);
    double f;
    if (params.LogFreq)
        f = params.LowFrequency * std::exp(x * std::log(params.FFTLength / 2.0) / (span * scale));
    else
        f = params.LowFrequency + x * (params.SampleRate / 2.0 - params.LowFrequency) / span / scale;
    return std::max(f, 0.0);
}

std::string InfoText(int x, int y, int width, int height, const TMMFreqScaleParams &params, bool logAmp,
                     int verticalScale, TMMSpectrumKind kind) {
    std::string text = Formatted("%2.3f KHz", ColumnFrequency(x, width, params) / 1000.0);
    if (kind == skScroll) return text;
    const double span = std::max(height - 1, 1);
    // 0.0 - x keeps the top row from reading "-0.0".
    if (logAmp) return text + Formatted(" %2.1f dB", 0.0 - 10.0 * kSpectrumLogSteps * y / span);
    const double volts = verticalScale / 100.0 * (height - 1 - y) / span;
    return text + Formatted(verticalScale < 10 ? " %5.3f V" : " %4.2f V", volts);
}

double PeakFrequency(int bin, int sampleRate, int fftLength, bool logFreq) {
    const double hzPerBin = double(sampleRate) / fftLength;
    if (!logFreq) return (bin + 0.5) * hzPerBin;
    return bin > 1 ? bin * hzPerBin : (bin + 0.25) * hzPerBin;
}

std::string PeakFrequencyText(double frequency) {
    std::string text = Formatted("%7.1f Hz", frequency);
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

// --- Bounds -------------------------------------------------------------------------------------

TMMSize SpectrumBounds(int width, int height, int bevel, bool ampScale, bool freqScale) {
    const int minWidth = 2 * bevel + (ampScale ? 69 : 5);
    const int minHeight = 2 * bevel + (freqScale ? 45 : 5);
    return {std::max(width, minWidth), std::max(height, minHeight)};
}

TMMSize PhaseBounds(int width, int height) {
    (void)width;
    const int side = std::min(height, 300);
    return {side, side};
}

TMMAreaRect SpectrumDrawingArea(int clientWidth, int clientHeight, int bevel, bool ampScale, bool freqScale,
                                bool phase) {
    const int side = !phase && ampScale ? 32 : 0;
    const int bottom = !phase && freqScale ? 40 : 0;
    return {side + bevel, bevel, std::max(clientWidth - 2 * side - 2 * bevel, 4),
            std::max(clientHeight - bottom - 2 * bevel, 4)};
}
