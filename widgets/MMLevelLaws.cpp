#include "widgets/MMLevelLaws.h"

#include "audio/MMTruePeakFeed.h"
#include "widgets/MMFrameValues.h"
#include "widgets/MMStore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A new control is 200 × 17 inside a one-pixel bevel.
constexpr int kDefaultInnerWidth = 198;
constexpr int kDefaultInnerHeight = 15;

// The feed's true peak for the channels a bar reads.
float TakeTruePeak(TMMTruePeakFeed &feed, const TMMLevelInput &in) {
    if (in.Mode == mMono || in.Channel == chLeft) return feed.Take(0);
    if (in.Channel == chRight) return feed.Take(1);
    return feed.Take(0, 1);
}

std::int32_t Saturate32(std::int64_t v) {
    return static_cast<std::int32_t>(MinMax<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                          std::numeric_limits<std::int32_t>::max()));
}

} // namespace

std::pair<int, int> SizeForKind(TMMLevelKind kind, int width, int height) {
    if ((kind == lkHorizontal && width < height) || (kind == lkVertical && height < width))
        return {height, width};
    return {width, height};
}

int LevelBlockBytes(TMMBits bits, TMMMode mode, int samples) {
    return (bits + 1) * (mode + 1) * Max(samples, 1);
}

bool LevelFormatOf(const TWaveFormatEx *format, TMMBits &bits, TMMMode &mode) {
    // Four channels pass the PCM test but have no Mode; the level reads one or two.
    if (!IsValidPCMFormat(format) || format->nChannels > 2) return false;
    bits = static_cast<TMMBits>(format->wBitsPerSample / 8 - 1);
    mode = static_cast<TMMMode>(format->nChannels - 1);
    return true;
}

std::int32_t BlockRawPeak(const void *data, const TMMLevelInput &input) {
    if (data == nullptr) return 0;
    std::int64_t peak = 0;
    ForEachFrame(data, input, [&peak](std::int64_t v) { peak = std::max(peak, v < 0 ? -v : v); });
    return Saturate32(peak);
}

float DecayFactor(int decay) {
    float factor = 0.0001f;
    for (int i = MinMax(decay, 1, 16); i > 0; --i)
        factor = std::sqrt(factor);
    return factor;
}

int DecayWindow(int decay) {
    return MinMax(2 * MinMax(decay, 1, 16) - 2, 1, kLevelDecayRing);
}

std::int64_t ApplyGain(std::int64_t m, int gain) {
    return m * (gain + 8) / 8;
}

int LevelPosition(std::int64_t g, bool logAmp, int sensitivy, int barSpots, TMMLevelDirection direction) {
    const double s = sensitivy;
    double p;
    if (logAmp) {
        const double r = std::max(0.000001, static_cast<double>(g) / kLevelFullScale);
        const float db = static_cast<float>(20.0 * std::log10(r));
        p = (static_cast<double>(db) - s) * barSpots / -s;
    } else {
        const float t = static_cast<float>(kLevelFullScale / std::pow(10.0, -s / 20.0));
        p = (static_cast<double>(g) - t) * barSpots / (kLevelFullScale - static_cast<double>(t));
    }
    // Far beyond the bar the amount no longer matters, only that it overflows.
    p = std::min(p, 2.0 * barSpots + 2.0);
    int pos = static_cast<int>(std::max<std::int64_t>(RoundHalfEven(p), 0));
    if (direction == dirSymetric) pos /= 2;
    return pos;
}

int PositionPercent(int q, bool logAmp, int sensitivy, int gain, int barSpots) {
    if (q == 0 || gain + 8 <= 0 || barSpots <= 0) return 0;
    double percent;
    if (logAmp) {
        const double s = sensitivy;
        const double sq = static_cast<double>(std::int64_t{sensitivy} * q);
        percent = std::pow(10.0, (s - sq / barSpots) / 20.0) * 8.0 / (gain + 8) * 100.0;
    } else {
        percent = static_cast<double>(q) * 100.0 / barSpots;
    }
    return static_cast<int>(RoundHalfEven(std::min(percent, 1e6)));
}

int PercentToSample(int percent) {
    return Saturate32(std::int64_t{percent} * kLevelFullScale / 100);
}

int ValueToSample(int percent) {
    return static_cast<int>(
        RoundHalfEven(MinMax(percent, 0, 100) * static_cast<double>(kLevelFullScale) / 100.0));
}

TRect TMMSpotGeometry::SpotRect(int k) const {
    const int offset = Margin + (k - 1) * Step();
    const bool fromEnd = Direction != dirNormal;
    if (Kind == lkHorizontal) {
        const int x = fromEnd ? Width - offset - SpotWidth : offset;
        return Rect(x, 0, x + SpotWidth, Height);
    }
    // Vertical bars grow upward unless reversed.
    const int y = fromEnd ? offset : Height - offset - SpotWidth;
    return Rect(0, y, Width, y + SpotWidth);
}

TMMSpotGeometry ComputeSpotGeometry(int width, int height, TMMLevelKind kind, TMMLevelDirection direction,
                                    int spotWidth, int spotSpace, int point1, int point2) {
    TMMSpotGeometry g;
    g.Width = Max(width, 1);
    g.Height = Max(height, 1);
    g.Kind = kind;
    g.Direction = direction;
    g.SpotWidth = Max(spotWidth, 1);
    g.SpotSpace = Max(spotSpace, 0);
    const int length = g.BarLength();
    g.BarSpots = Max(1, (length + g.SpotSpace) / g.Step());
    g.Margin = (length + g.SpotSpace - g.Step() * g.BarSpots) / 2;
    g.Zone1 = point1 * g.BarSpots / 100;
    g.Zone2 = point2 * g.BarSpots / 100;
    return g;
}

TMMSpotRun ActiveSpots(const TMMSpotGeometry &geometry, int barPosition) {
    if (geometry.Direction == dirSymetric) {
        const int c = MinMax(barPosition, 1, geometry.BarSpots);
        return {c - 2, c + 2, geometry.ZoneOf(c)};
    }
    return {1, barPosition, 0};
}

TMMSpotRun PeakSpots(int numPeaks, int barPosition, int peakPosition) {
    if (numPeaks <= 0 || barPosition >= peakPosition) return {};
    return {peakPosition - numPeaks + 1, peakPosition, 0};
}

bool TMMLevelDecay::SetMode(TMMDecayMode value) {
    if (value == FMode) return false;
    FMode = value;
    Clear();
    return true;
}

bool TMMLevelDecay::SetDecay(int value) {
    value = MinMax(value, 1, 16);
    if (value == FDecay) return false;
    FDecay = value;
    FFactor = DecayFactor(value);
    FWindow = DecayWindow(value);
    if (FMode == dmUniform) Clear();
    return true;
}

std::int64_t TMMLevelDecay::Apply(std::int64_t m) {
    if (FMode == dmNone) return m;
    // The ring advances in every mode, so switching to dmUniform starts cleanly.
    if (++FIndex >= FWindow) FIndex = 0;
    if (++FFill > FWindow) FFill = FWindow;
    switch (FMode) {
    case dmStepUp:
        FHeld = FHeld * FFactor;
        if (static_cast<double>(m) > FHeld) {
            FHeld = static_cast<float>(m);
            return m;
        }
        return static_cast<std::int64_t>(FHeld);
    case dmExponential: {
        const float kept = FHeld * FFactor;
        const float added = (1.0f - FFactor) * static_cast<float>(m);
        FHeld = kept + added;
        return static_cast<std::int64_t>(std::floor(FHeld));
    }
    case dmUniform:
        FSum += m - FRing[FIndex];
        FRing[FIndex] = m;
        return FSum / FFill;
    default:
        return m;
    }
}

void TMMLevelDecay::Clear() {
    FHeld = 0.0f;
    std::fill(std::begin(FRing), std::end(FRing), 0);
    FIndex = 0;
    FFill = 0;
    FSum = 0;
}

TMMLevelState::PeakWord::PeakWord(std::uint64_t packed)
    : Position(static_cast<std::int32_t>(static_cast<std::uint32_t>(packed >> 32))),
      Countdown(static_cast<std::int32_t>(static_cast<std::uint32_t>(packed))) {}

std::uint64_t TMMLevelState::PeakWord::Packed() const {
    return (std::uint64_t{static_cast<std::uint32_t>(Position)} << 32) |
           static_cast<std::uint32_t>(Countdown);
}

TMMLevelState::TMMLevelState() {
    FGeometry.Width = kDefaultInnerWidth;
    FGeometry.Height = kDefaultInnerHeight;
    Relayout();
}

bool TMMLevelState::SetBitLength(TMMBits value) {
    return Store(FInput.BitLength, value);
}

bool TMMLevelState::SetMode(TMMMode value) {
    return Store(FInput.Mode, value);
}

bool TMMLevelState::SetChannel(TMMChannel value) {
    return Store(FInput.Channel, value);
}

bool TMMLevelState::SetSamples(int value) {
    return Store(FInput.Samples, Max(value, 1));
}

bool TMMLevelState::SetDCOffsetL(int value) {
    return Store(FInput.DCOffsetL, value);
}

bool TMMLevelState::SetDCOffsetR(int value) {
    return Store(FInput.DCOffsetR, value);
}

bool TMMLevelState::SetWaveFormat(const TWaveFormatEx *format) {
    TMMBits bits;
    TMMMode mode;
    if (!LevelFormatOf(format, bits, mode)) return false;
    SetBitLength(bits);
    SetMode(mode);
    FStandard.SetSampleRate(static_cast<int>(format->nSamplesPerSec));
    return true;
}

bool TMMLevelState::SetPeakStandard(TMMPeakStandard value) {
    if (!FStandard.SetStandard(value)) return false;
    FDecay.Clear();
    return true;
}

bool TMMLevelState::SetScaleLaw(TMMStandardScale value) {
    value.AlignDbfs = AlignKept(value.AlignDbfs);
    if (!Store(FScale, value)) return false;
    FBar = 0;
    SetPeak(PeakWord());
    return true;
}

bool TMMLevelState::SetPeakHold(TMMPeakHold value) {
    if (!Store(FHold, PeakHoldRule(value))) return false;
    FHoldTicks.store(PeakHoldTicks(FHold));
    return true;
}

void TMMLevelState::ResetPeak() {
    SetPeak(PeakWord());
    FRedrawPending.store(true);
}

bool TMMLevelState::SetGain(int value) {
    if (value < -8 || value > 32) return false;
    return Store(FGain, value);
}

bool TMMLevelState::SetSensitivy(int value) {
    return Store(FSensitivy, MinMax(value, -90, -9));
}

bool TMMLevelState::SetLogAmp(bool value) {
    return Store(FLogAmp, value);
}

bool TMMLevelState::SetNumPeaks(int value) {
    if (!Store(FNumPeaks, MinMax(value, 0, 5))) return false;
    // Without a marker the tick stops; a peak left behind would read back forever.
    SetPeak(FNumPeaks == 0 ? PeakWord() : PeakWord(PeakPosition(), 0));
    return true;
}

bool TMMLevelState::SetPeakDelay(int value) {
    return RestartHold(Store(FPeakDelay, MinMax(value, 0, 50)));
}

bool TMMLevelState::SetPeakSpeed(int value) {
    value = MinMax(value, 0, 50);
    if (value == PeakSpeed()) return false;
    FPeakSpeed.store(value, std::memory_order_relaxed);
    return RestartHold(true);
}

bool TMMLevelState::RestartHold(bool changed) {
    if (changed) SetPeak(PeakWord(PeakPosition(), 0));
    return changed;
}

bool TMMLevelState::SetKind(TMMLevelKind value) {
    return Relayout(Store(FGeometry.Kind, value));
}

bool TMMLevelState::SetDirection(TMMLevelDirection value) {
    return Store(FGeometry.Direction, value);
}

bool TMMLevelState::SetSpotWidth(int value) {
    return Relayout(Store(FSpotWidth, Max(1, Min(value, FGeometry.BarLength() / 3))));
}

bool TMMLevelState::SetSpotSpace(int value) {
    return Relayout(Store(FSpotSpace, MinMax(value, 0, 10)));
}

bool TMMLevelState::SetPoint1(int value) {
    return Relayout(Store(FPoint1, MinMax(value, 1, 100)));
}

bool TMMLevelState::SetPoint2(int value) {
    return Relayout(Store(FPoint2, MinMax(value, 1, 100)));
}

bool TMMLevelState::SetInnerSize(int width, int height) {
    const bool changed = Store(FGeometry.Width, Max(width, 1));
    return Relayout(Store(FGeometry.Height, Max(height, 1)) || changed);
}

bool TMMLevelState::Relayout(bool changed) {
    if (changed) Relayout();
    return changed;
}

void TMMLevelState::Relayout() {
    FGeometry = ComputeSpotGeometry(FGeometry.Width, FGeometry.Height, FGeometry.Kind, FGeometry.Direction,
                                    FSpotWidth, FSpotSpace, FPoint1, FPoint2);
    FBar = 0;
    SetPeak(PeakWord());
}

TMMLevelUpdate TMMLevelState::ProcessBlock(const void *data) {
    if (data == nullptr) return {};
    TMMLevelUpdate update;
    if (FStandard.Standard() == psClassic) {
        update = UpdateLevel(BlockRawPeak(data, FInput));
    } else if (FStandard.Standard() == psTruePeak) {
        FLastRaw = BlockRawPeak(data, FInput); // a magnitude already
        double peak = FLastRaw;
        if (FTruePeakFeed != nullptr) {
            // libebur128's full scale is 32768.
            peak = std::max(peak, TakeTruePeak(*FTruePeakFeed, FInput) * 32768.0);
        }
        const std::int64_t level = FStandard.ApplyPeak(peak, FInput.Samples);
        update = Place(ApplyGain(level, FGain), ApplyGain(std::llround(peak), FGain));
    } else {
        const TMMPPMReading r = FStandard.Apply(data, FInput);
        FLastRaw = r.Peak;
        update = Place(ApplyGain(r.Level, FGain), ApplyGain(r.Peak, FGain));
    }
    update.PcmOverflow = FLastRaw >= kLevelFullScale;
    return update;
}

TMMLevelUpdate TMMLevelState::UpdateLevel(std::int32_t x) {
    const std::int64_t magnitude = x < 0 ? -std::int64_t{x} : std::int64_t{x};
    FLastRaw = Saturate32(magnitude);
    if (magnitude == 0 && FBar == 0 && !FRedrawPending.load()) return {};
    // A standard's ballistics need the frames; a bare level drives the bar as it is.
    const std::int64_t m = FStandard.Standard() == psClassic ? FDecay.Apply(magnitude) : magnitude;
    const std::int64_t g = ApplyGain(m, FGain);
    return Place(g, g);
}

TMMLevelUpdate TMMLevelState::Place(std::int64_t g, std::int64_t peak) {
    TMMLevelUpdate update;
    const auto position = [this](std::int64_t level) {
        if (FScale.Family != sfDbfs)
            return ScalePosition(FScale, static_cast<double>(level), kLevelFullScale, FGeometry.BarSpots);
        return LevelPosition(level, FLogAmp, FSensitivy, FGeometry.BarSpots, FGeometry.Direction);
    };
    int p = position(g);
    if (p > FGeometry.BarSpots) {
        update.GainOverflow = true;
        p = FGeometry.BarSpots;
    }
    if (CapturePeak(peak == g ? p : Min(position(peak), FGeometry.BarSpots))) FRedrawPending.store(true);

    const bool pending = FRedrawPending.exchange(false);
    if (p == FBar && !pending) return update;
    FBar = p;
    update.Redraw = true;
    return update;
}

bool TMMLevelState::CapturePeak(int p) {
    if (p <= 0 || FNumPeaks <= 0) return false;
    const int hold = FHoldTicks.load(std::memory_order_relaxed);
    const PeakWord next(p, hold > 0 ? hold : 2 * FPeakDelay + 1);
    std::uint64_t current = FPeak.load();
    do {
        if (p < PeakWord(current).Position) return false;
    } while (!FPeak.compare_exchange_weak(current, next.Packed()));
    return true;
}

TMMLevelUpdate TMMLevelState::SetValue(int percent) {
    return UpdateLevel(ValueToSample(percent));
}

void TMMLevelState::ResetData() {
    SetPeak(PeakWord());
    FBar = 0;
    FLastRaw = 0;
    FDecay.Clear();
    FStandard.Clear();
}

void TMMLevelState::PeakTick() {
    if (FHoldTicks.load(std::memory_order_relaxed) < 0) return; // held until reset
    std::uint64_t current = FPeak.load();
    PeakWord next;
    bool moved;
    do {
        const PeakWord word(current);
        if (word.Position <= 0) return;
        // At or below 0, not only at 0: a countdown cleared by a property
        // change ends the hold instead of counting down forever.
        moved = word.Countdown - 1 <= 0;
        if (!moved)
            next = PeakWord(word.Position, word.Countdown - 1);
        else if (const int speed = PeakSpeed(); speed != 0)
            next = PeakWord(word.Position - 1, speed);
        else
            next = PeakWord();
    } while (!FPeak.compare_exchange_weak(current, next.Packed()));
    if (moved) FRedrawPending.store(true);
}

int TMMLevelState::PercentAt(int q) const {
    if (FScale.Family == sfDbfs) return PositionPercent(q, FLogAmp, FSensitivy, FGain, FGeometry.BarSpots);
    if (q == 0 || FGain + 8 <= 0 || FGeometry.BarSpots <= 0) return 0;
    const double dbfs = ScaleDbfsAt(FScale, static_cast<double>(q) / FGeometry.BarSpots);
    const double percent = std::pow(10.0, dbfs / 20.0) * 8.0 / (FGain + 8) * 100.0;
    return static_cast<int>(RoundHalfEven(std::min(percent, 1e6)));
}

int TMMLevelState::CurrentValue() const {
    return PercentAt(FBar);
}

int TMMLevelState::PeakPercent() const {
    return PercentAt(PeakPosition());
}
