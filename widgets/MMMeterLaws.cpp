#include "widgets/MMMeterLaws.h"

#include "widgets/MMFrameValues.h"
#include "widgets/MMStore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <tuple>

namespace {

constexpr double kPi = std::numbers::pi;

std::int32_t Saturate(std::int64_t v) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(v, std::numeric_limits<std::int32_t>::max()));
}

int RoundToInt(double v) {
    return static_cast<int>(RoundHalfEven(v));
}

} // namespace

const std::array<int, kVUMarkCount> &VUMarks() {
    static const std::array<int, kVUMarkCount> marks = [] {
        std::array<int, kVUMarkCount> m{};
        m[0] = -70;
        for (int i = 1; i < kVUMarkCount; ++i)
            m[static_cast<std::size_t>(i)] = i - 21; // -20 .. +3
        return m;
    }();
    return marks;
}

bool IsLongVUMark(int mark) {
    return mark == -70 || mark == -20 || mark == -10 || mark == -7 || mark == -5 || mark >= -3;
}

std::int32_t BlockRMS(const void *data, const TMMLevelInput &input) {
    if (data == nullptr) return 0;
    long double sum = 0.0L;
    ForEachFrame(data, input, [&sum](std::int64_t v) {
        const auto x = static_cast<long double>(v);
        sum += x * x;
    });
    return Saturate(static_cast<std::int64_t>(std::sqrt(sum / std::max(input.Samples, 1))));
}

std::int32_t MeterBlockValue(const void *data, const TMMLevelInput &input, TMeterMode mode) {
    return mode == mmVU ? BlockRMS(data, input) : BlockRawPeak(data, input);
}

double RefLevelRule(double value) {
    if (!(value >= -30.0 && value <= -10.0)) return -16.0;
    // Two whole digits and one decimal; a tie goes away from zero as in the text.
    return std::round(value * 10.0) / 10.0;
}

std::string RefLevelText(double refLevel) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::round(refLevel * 10.0) / 10.0);
    return text;
}

float VUReading(std::int64_t g, double refLevel) {
    const double r = std::max(0.00001, static_cast<double>(g) / kLevelFullScale);
    return static_cast<float>(20.0 * std::log10(r) - refLevel + 3.0);
}

double VUAngle(double e, double swing) {
    return swing * std::pow(10.0, e / 20.0) / std::pow(10.0, 0.15);
}

TMMVUStep VUStep(std::int64_t g, double refLevel, double swing) {
    return VUStepAt(VUReading(g, refLevel), swing);
}

TMMVUStep VUStepAt(float e, double swing) {
    TMMVUStep step;
    if (e < kVUBottom) return step;
    step.Moves = true;
    if (e >= kVUTop) {
        step.Overflow = true;
        e = kVUTop;
    }
    step.Angle = VUAngle(e, swing);
    return step;
}

double TMMNeedleGeometry::Swing() const {
    return ScaleAngle * kPi / 180.0;
}

QPoint TMMNeedleGeometry::VUPoint(double theta, int r) const {
    const double d = theta - Swing() / 2.0;
    return {Width / 2 + RoundToInt(std::sin(d) * r), Height + NeedleOffset - RoundToInt(std::cos(d) * r)};
}

QPoint TMMNeedleGeometry::PeakPoint(int q, int r) const {
    const auto a0 = static_cast<float>((180 - ScaleAngle) * kPi / 360.0);
    const auto a = static_cast<float>(a0 + (kPi - 2.0 * a0) * q / kLevelFullScale);
    return {Width / 2 - RoundToInt(std::cos(static_cast<double>(a)) * r),
            Height + NeedleOffset - RoundToInt(std::sin(static_cast<double>(a)) * r)};
}

TMMPenSpan PenSpan(int penWidth) {
    const int w = std::max(penWidth, 1);
    const int first = -(w - 1) / 2;
    return {first, first + w - 1};
}

TRect NeedleBounds(QPoint from, QPoint to, int penWidth) {
    const TMMPenSpan pen = PenSpan(penWidth);
    return Rect(std::min(from.x(), to.x()) + pen.First, std::min(from.y(), to.y()) + pen.First,
                std::max(from.x(), to.x()) + pen.Last + 1, std::max(from.y(), to.y()) + pen.Last + 1);
}

TRect UnionRect(const TRect &a, const TRect &b) {
    return a.United(b);
}

TMMNeedleBands::TMMNeedleBands(const TRect &area, int bandHeight)
    : FArea(area), FBandHeight(std::max(1, bandHeight)),
      FBands(std::size_t(std::max(0, (area.Height() + FBandHeight - 1) / FBandHeight))) {}

void TMMNeedleBands::AddNeedle(QPoint from, QPoint to, int penWidth) {
    const TMMPenSpan pen = PenSpan(penWidth);
    if (from.y() > to.y()) std::swap(from, to);
    const double dy = to.y() - from.y();
    const double slope = dy == 0 ? 0 : (to.x() - from.x()) / dy;
    for (std::size_t i = 0; i < FBands.size(); ++i) {
        // The rows whose pixels the pen may reach, then the stretch of the
        // one-pixel line that may land on them: a row further each way, as
        // the line rounds to the nearest pixel.
        const int top = FArea.Top + int(i) * FBandHeight, bottom = std::min(top + FBandHeight, FArea.Bottom);
        const int y0 = std::max(from.y(), top - pen.Last - 1), y1 = std::min(to.y(), bottom - pen.First);
        if (y0 > y1) continue;
        const double xa = from.x() + slope * (y0 - from.y());
        const double xb = dy == 0 ? to.x() : from.x() + slope * (y1 - from.y()); // a level line: all of it
        const TRect touched = Rect(int(std::floor(std::min(xa, xb))) - 1 + pen.First, top,
                                   int(std::ceil(std::max(xa, xb))) + 2 + pen.Last, bottom);
        FBands[i] = FBands[i].United(touched.Intersected(FArea));
    }
}

std::vector<TRect> TMMNeedleBands::Rects() const {
    std::vector<TRect> rects;
    for (const TRect &band : FBands)
        if (!band.IsEmpty()) rects.push_back(band);
    return rects;
}

TRect TMMNeedleBands::Bounds() const {
    TRect bounds;
    for (const TRect &band : FBands)
        bounds = bounds.United(band);
    return bounds;
}

TMMTickRadii TickRadii(const TMMFaceScale &scale, int radius, bool isLong) {
    const int h1 = scale.Height1;
    const int h2 = scale.Height2;
    if (scale.Origin == soInner) return {radius - h2 - 2, isLong ? radius - 2 : radius - h2 + h1 - 2};
    return {radius - 2, isLong ? radius - h2 - 2 : radius + h1 - h2 - 2};
}

double VUMarkAngle(int mark, double swing) {
    return swing * std::pow(10.0, mark / 20.0) / std::pow(10.0, 3.0 / 20.0);
}

std::vector<TMMFaceMark> VUFaceMarks(const TMMNeedleGeometry &geometry, const TMMFaceScale &scale) {
    const int radius = geometry.Radius();
    const double swing = geometry.Swing();
    std::vector<TMMFaceMark> marks;
    marks.reserve(kVUMarkCount);
    for (const int db : VUMarks()) {
        const double theta = VUMarkAngle(db, swing);
        TMMFaceMark mark;
        mark.Long = IsLongVUMark(db);
        const TMMTickRadii r = TickRadii(scale, radius, mark.Long);
        mark.From = geometry.VUPoint(theta, r.From);
        mark.To = geometry.VUPoint(theta, r.To);
        mark.Zone = db >= 0 ? 3 : 1;
        if (mark.Long && db != -70) mark.Label = std::to_string(db);
        mark.Anchor = geometry.VUPoint(theta, radius - 2);
        marks.push_back(mark);
    }
    return marks;
}

std::vector<TMMFaceArc> VUFaceArcs(const TMMNeedleGeometry &geometry, const TMMFaceScale &scale) {
    const int radius = geometry.Radius() - (scale.Height1 + scale.Height2 - 3);
    const double swing = geometry.Swing();
    return {{radius, VUMarkAngle(0, swing), VUMarkAngle(3, swing), 3},
            {radius, VUMarkAngle(-70, swing), VUMarkAngle(0, swing), 1}};
}

int PeakTickPosition(int k, int ticks) {
    const int c = std::max(ticks - 1, 1);
    return static_cast<int>(std::int64_t{kLevelFullScale} * k / c);
}

int PeakTickLabel(int k, int ticks, bool logAmp, int sensitivy) {
    const int c = std::max(ticks - 1, 1);
    if (logAmp) return static_cast<int>(std::int64_t{c - k} * sensitivy / c);
    const auto t = static_cast<float>(kLevelFullScale / std::pow(10.0, -sensitivy / 20.0));
    const double level = (t + (kLevelFullScale - static_cast<double>(t)) * k / c) / kLevelFullScale;
    return RoundToInt(20.0 * std::log10(level));
}

std::vector<TMMFaceMark> PeakFaceMarks(const TMMNeedleGeometry &geometry, const TMMFaceScale &scale) {
    std::vector<TMMFaceMark> marks;
    if (scale.Ticks <= 1) return marks;
    const int c = scale.Ticks - 1;
    const int radius = geometry.Radius();
    const double zone1 = scale.Point1 * static_cast<double>(kLevelFullScale) / 100.0;
    const double zone2 = scale.Point2 * static_cast<double>(kLevelFullScale) / 100.0;
    marks.reserve(static_cast<std::size_t>(scale.Ticks));
    for (int k = 0; k <= c; ++k) {
        const int q = PeakTickPosition(k, scale.Ticks);
        TMMFaceMark mark;
        mark.Long = scale.EnlargeEvery == 0 || k == c || k % scale.EnlargeEvery == 0;
        const TMMTickRadii r = TickRadii(scale, radius, mark.Long);
        mark.From = geometry.PeakPoint(q, r.From);
        mark.To = geometry.PeakPoint(q, r.To);
        mark.Zone = q > zone2 ? 3 : (q <= zone1 ? 1 : 2);
        if (scale.TextEvery > 0 && k % scale.TextEvery == 0)
            mark.Label = std::to_string(PeakTickLabel(k, scale.Ticks, scale.LogAmp, scale.Sensitivy));
        mark.Anchor = geometry.PeakPoint(q, radius - 2);
        marks.push_back(mark);
    }
    return marks;
}

QPoint LabelTopLeft(QPoint anchor, int digitsWidth, int textWidth, int textHeight, int extra) {
    return {anchor.x() + digitsWidth / 2 - textWidth + extra, anchor.y() - textHeight - 3};
}

TRect CaptionBox(int width, int height, int textHeight) {
    const int bottom = height - height / 16;
    return Rect(0, bottom - textHeight, width, bottom);
}

TRect RefLevelBox(int width, int height, int textHeight) {
    const int bottom = height - height / 17;
    return Rect(0, bottom - textHeight, width - 1, bottom);
}

// --- TMMMeterState

bool TMMMeterState::SetMeterMode(TMeterMode value) {
    if (!Store(FMode, value)) return false;
    const bool vu = value == mmVU;
    FDecay.SetMode(vu ? dmExponential : dmNone);
    FDecay.SetDecay(vu ? 7 : 1);
    SetShowPeak(!vu);
    TMMLevelInput input = FInput;
    input.Samples = vu ? 1000 : 50;
    SetInput(input);
    if (vu) FAngle = 0.0;
    return true;
}

bool TMMMeterState::SetInput(TMMLevelInput value) {
    value.Samples = std::max(value.Samples, 1);
    const auto fields = [](const TMMLevelInput &in) {
        return std::tie(in.BitLength, in.Mode, in.Channel, in.Samples, in.DCOffsetL, in.DCOffsetR);
    };
    if (fields(value) == fields(FInput)) return false;
    FInput = value;
    return true;
}

bool TMMMeterState::SetWaveFormat(const TWaveFormatEx *format) {
    TMMBits bits;
    TMMMode mode;
    if (!LevelFormatOf(format, bits, mode)) return false;
    TMMLevelInput input = FInput;
    input.BitLength = bits;
    input.Mode = mode;
    SetInput(input);
    FVU.SetSampleRate(static_cast<int>(format->nSamplesPerSec));
    return true;
}

bool TMMMeterState::SetRefLevel(double value) {
    return Store(FRefLevel, RefLevelRule(value));
}

bool TMMMeterState::SetGain(int value) {
    if (value < -8 || value > 32) return false;
    return Store(FGain, value);
}

bool TMMMeterState::SetSensitivy(int value) {
    return Store(FSensitivy, MinMax(value, -90, -9));
}

bool TMMMeterState::SetLogAmp(bool value) {
    return Store(FLogAmp, value);
}

bool TMMMeterState::SetScaleAngle(int value) {
    return Store(FScaleAngle, MinMax(value, 45, 180));
}

double TMMMeterState::Swing() const {
    return FScaleAngle * kPi / 180.0;
}

bool TMMMeterState::SetShowPeak(bool value) {
    return ClearCountdown(Store(FShowPeak, value));
}

bool TMMMeterState::SetPeakDelay(int value) {
    return ClearCountdown(Store(FPeakDelay, MinMax(value, 0, 50)));
}

bool TMMMeterState::SetPeakSpeed(int value) {
    value = MinMax(value, 0, 50);
    if (value == PeakSpeed()) return false;
    FPeakSpeed.store(value, std::memory_order_relaxed);
    return ClearCountdown(true);
}

bool TMMMeterState::ClearCountdown(bool changed) {
    if (changed) SetPeak({PeakPosition(), 0});
    return changed;
}

TMMMeterUpdate TMMMeterState::ProcessBlock(const void *data) {
    if (data == nullptr) return {};
    if (IECVU()) {
        const double average = BlockRectifiedAverage(data, FInput);
        TMMMeterUpdate update = UpdateIECVU(average);
        update.PcmOverflow = average >= kLevelFullScale;
        return update;
    }
    const std::int32_t value = MeterBlockValue(data, FInput, FMode);
    TMMMeterUpdate update = UpdateLevel(value);
    update.PcmOverflow = value >= kLevelFullScale;
    return update;
}

TMMMeterUpdate TMMMeterState::UpdateLevel(std::int32_t x) {
    const std::int64_t m = x < 0 ? -std::int64_t{x} : std::int64_t{x};
    if (IECVU()) return UpdateIECVU(static_cast<double>(m));
    FLastValue = Saturate(m);
    if (FMode == mmPeak && m == 0 && FNeedle.load() == 0 && !FRedrawPending.load()) return {};
    // The bar meter's ballistics; its dmStepUp keeps the held level when m equals
    // it, which is m itself, so taking m there changes nothing.
    const std::int64_t g = ApplyGain(FDecay.Apply(m), FGain);
    return FMode == mmVU ? UpdateVU(VUStep(g, FRefLevel, Swing())) : UpdatePeak(g);
}

TMMMeterUpdate TMMMeterState::UpdateIECVU(double average) {
    FLastValue = Saturate(static_cast<std::int64_t>(average));
    const double d = FVU.Step(average * (FGain + 8) / 8.0, FInput.Samples);
    // The needle goes where the movement is, down to rest: below the scale's bottom, as when
    // the movement swings through zero after a tone, it lies at rest, never where it was.
    TMMVUStep step = VUStepAt(IECVUReading(d, FRefLevel), Swing());
    if (!step.Moves) step = {true, false, 0.0};
    return UpdateVU(step);
}

TMMMeterUpdate TMMMeterState::UpdateVU(const TMMVUStep &step) {
    TMMMeterUpdate update;
    if (!step.Moves) return update;
    update.GainOverflow = step.Overflow;
    const bool pending = FRedrawPending.exchange(false);
    if (step.Angle == FAngle && !pending) return update;
    FAngle = step.Angle;
    update.Redraw = true;
    return update;
}

TMMMeterUpdate TMMMeterState::UpdatePeak(std::int64_t g) {
    TMMMeterUpdate update;
    // The bar meter's law with a position per sample unit. Its floor of 10^-6
    // (the needle's is 10^-5) lies below -90 dB, the lowest Sensitivy, either way.
    int p = LevelPosition(g, FLogAmp, FSensitivy, kLevelFullScale, dirNormal);
    if (p >= kLevelFullScale) {
        update.GainOverflow = true;
        p = kLevelFullScale;
    }
    if (FShowPeak) {
        const TPeakHold next{p, 2 * FPeakDelay + 1};
        TPeakHold current = FPeak.load();
        while (p > current.Position) {
            if (FPeak.compare_exchange_weak(current, next)) {
                FRedrawPending.store(true);
                break;
            }
        }
    }
    const bool pending = FRedrawPending.exchange(false);
    if (p == FNeedle.load() && !pending) return update;
    FNeedle.store(p);
    update.Redraw = true;
    return update;
}

TMMMeterUpdate TMMMeterState::SetValue(int percent) {
    return UpdateLevel(ValueToSample(percent));
}

void TMMMeterState::ResetData() {
    SetPeak({});
    FNeedle.store(0);
    FLastValue = 0;
    FAngle = 0.0;
    FDecay.Clear();
    FVU.Clear();
}

void TMMMeterState::PeakTick() {
    TPeakHold current = FPeak.load();
    TPeakHold next;
    do {
        if (current.Position <= 0) return;
        const int needle = FNeedle.load();
        // At or below 0, not only at 0: once released the peak needle stays on the
        // main needle instead of standing where the main needle was at the release.
        if (current.Countdown - 1 > 0)
            next = {current.Position, current.Countdown - 1};
        else if (const int speed = PeakSpeed(); speed != 0)
            next = {std::max(current.Position - kPeakFallStep, needle), speed};
        else
            next = {needle, 0};
    } while (!FPeak.compare_exchange_weak(current, next));
    if (next.Position != current.Position) FRedrawPending.store(true);
}

int TMMMeterState::Value() const {
    return PositionPercent(FNeedle.load(), FLogAmp, FSensitivy, FGain, kLevelFullScale);
}
