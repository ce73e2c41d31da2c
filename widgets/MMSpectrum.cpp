#include "widgets/MMSpectrum.h"

#include "audio/MMPeakTick.h"
#include "platform/MicrosecondClock.h"

#include <QCursor>
#include <QEvent>
#include <QPaintEvent>
#include <QRandomGenerator>
#include <QToolTip>

#include <algorithm>
#include <cstring>

namespace {

// Guarded resets of every spectrum in the process: one at a time, so a
// handler of OnNeedData that changes a property does not reset again.
int gResetNesting = 0;

// With no audio for this long, a falling peak redraws the picture itself.
constexpr std::int64_t kPeakRedrawIdleUs = 100000;

} // namespace

TMMSpectrum::TMMSpectrum(QWidget *parent, TMMPeakTickService *peakTicks)
    : TMMDIBGraphicControl(parent), FPhaseLeft(kSpectrumMaxFFTLength), FPhaseRight(kSpectrumMaxFFTLength),
      FLevels(kSpectrumMaxBins), FInactive(this), FInfoSave(this), FPeakTick(peakTicks) {
    TMMBlockFormat format;
    format.BitLength = b8Bit;
    format.Mode = mMono;
    FBlock.SetFormat(format);
    FBlock.SetOnPcmOverflow([this](TMMSpectrumBlock &) {
        if (FOnPcmOverflow) FOnPcmOverflow(this);
    });
    SetColor(clBlack);
    setCursor(Qt::CrossCursor);
    UpdateBlockBytes();
    TMMDIBGraphicControl::SetBounds(x(), y(), 194, 89);
    AreaChanged();
    FPeakTick.Start(this, [this] { return PeakTick(); });
    UpdateTickClient();
}

TMMSpectrum::~TMMSpectrum() {
    Destroying();
    DetachFromConnectors();
    FPeakTick.Stop();
}

// --- Properties ---------------------------------------------------------------------------------

void TMMSpectrum::SetSpectrumMode(TSpectrumMode value) {
    if (value == FSpectrumMode) return;
    FSpectrumMode = value;
    if (value == smPhase) {
        SetBounds(x(), y(), width(), height());
        FPhase.CenterX = width() / 2;
        FPhase.CenterY = height() / 2;
        FPhase.RadiusX = PhaseRadius(width() / 2, FRangeFactorX);
        FPhase.RadiusY = PhaseRadius(width() / 2, FRangeFactorY);
        FShowInfo = false;
        SetFFTLength(1024);
        unsetCursor();
    } else {
        SetBounds(x(), y(), 194, 89);
        SetFFTLength(128);
        FShowInfo = true;
        SetColor(clBlack);
        setCursor(Qt::CrossCursor);
    }
    Invalidate();
}

void TMMSpectrum::ApplyFormat(const TMMBlockFormat &format) {
    FBlock.SetFormat(format);
    UpdateBlockBytes();
    Invalidate();
}

void TMMSpectrum::SetMode(TMMMode value) {
    if (value == Mode()) return;
    TMMBlockFormat format = FBlock.Format();
    format.Mode = value;
    ApplyFormat(format);
}

void TMMSpectrum::SetBitLength(TMMBits value) {
    if (value == BitLength()) return;
    TMMBlockFormat format = FBlock.Format();
    format.BitLength = value;
    ApplyFormat(format);
}

void TMMSpectrum::SetChannel(TMMChannel value) {
    if (value == Channel()) return;
    TMMBlockFormat format = FBlock.Format();
    format.Channel = value;
    ApplyFormat(format);
}

void TMMSpectrum::SetSampleRate(int value) {
    value = std::clamp(value, 8000, 100000);
    if (value == FSampleRate) return;
    FSampleRate = value;
    BuildXScale();
    GuardedReset();
    Invalidate();
}

void TMMSpectrum::SetFFTLength(int value) {
    if (!FBlock.Setup().SetFFTLength(value)) return;
    BuildXScale();
    UpdateBlockBytes();
    GuardedReset();
    Invalidate();
}

void TMMSpectrum::SetLogFreq(bool value) {
    if (value == FLogFreq) return;
    FLogFreq = value;
    BuildXScale();
    GuardedReset();
    Invalidate();
}

void TMMSpectrum::SetLogAmp(bool value) {
    if (value == FLogAmp) return;
    FLogAmp = value;
    BuildAmpScale();
    GuardedReset();
    Invalidate();
}

void TMMSpectrum::SetRefFreq(int value) {
    value = std::clamp(value, 1, 44100);
    if (value == FRefFreq) return;
    FRefFreq = value;
    BuildAmpScale();
    ClearSegments();
    Invalidate();
}

void TMMSpectrum::SetGain(TMMSpectrumGain value) {
    if (value == FGain || value < sgNone || value > sg12db) return;
    FGain = value;
    TMMBlockFormat format = FBlock.Format();
    format.Tilt = value / 2;
    FBlock.SetFormat(format);
    BuildAmpScale();
    ClearSegments();
    Invalidate();
}

void TMMSpectrum::SetVerticalScale(int value) {
    value = std::clamp(value, 1, 500);
    if (value == VerticalScale()) return;
    FVerticalScale = value * 0.01;
    BuildAmpScale();
    ClearSegments();
    Invalidate();
}

void TMMSpectrum::SetFrequencyScale(int value) {
    value = SpectrumFrequencyScale(value);
    if (value == FFrequencyScale) return;
    FFrequencyScale = value;
    BuildXScale();
    GuardedReset();
    Invalidate();
}

void TMMSpectrum::SetKind(TMMSpectrumKind value) {
    if (value == FKind || value < skDots || value > skScroll) return;
    FKind = value;
    BuildSpots();
    ClearSegments();
    Invalidate();
}

void TMMSpectrum::SetNumPeaks(int value) {
    if (value == FNumPeaks || value < 0 || value > 5) return;
    FNumPeaks = value;
    ClearSegments();
    UpdateTickClient();
    Invalidate();
}

void TMMSpectrum::SetPeakDelay(int value) {
    if (value == FPeakDelay || value < 0 || value > 50) return;
    FPeakDelay = value;
    ClearSegments();
    Invalidate();
}

void TMMSpectrum::SetPeakSpeed(int value) {
    if (value == FPeakSpeed || value < 0 || value > 50) return;
    FPeakSpeed = value;
    ClearSegments();
    Invalidate();
}

void TMMSpectrum::SetDisplayPeak(bool value) {
    if (value == FDisplayPeak) return;
    FDisplayPeak = value;
    Invalidate();
}

void TMMSpectrum::SetDrawFreqScale(bool value) {
    if (value == FDrawFreqScale) return;
    FDrawFreqScale = value;
    SetBounds(x(), y(), width(), height());
    AreaChanged();
    update();
}

void TMMSpectrum::SetDrawAmpScale(bool value) {
    if (value == FDrawAmpScale) return;
    FDrawAmpScale = value;
    SetBounds(x(), y(), width(), height());
    AreaChanged();
    update();
}

void TMMSpectrum::SetDrawGrid(bool value) {
    if (value == FDrawGrid) return;
    FDrawGrid = value;
    Invalidate();
}

void TMMSpectrum::SetSpace(int value) {
    if (value == FSpace || value < 0 || value > 5) return;
    FSpace = value;
    ClearSegments();
    RebuildInactive();
    Invalidate();
}

void TMMSpectrum::SetSpotSpace(int value) {
    if (value == FSpotSpace || value < 0 || value > 10) return;
    FSpotSpace = value;
    BuildSpots();
    ClearSegments();
    Invalidate();
}

void TMMSpectrum::SetSpotHeight(int value) {
    if (value == FSpotHeight || value < 1 || value > std::max(FArea.Height() / 3, 1)) return;
    FSpotHeight = value;
    BuildSpots();
    ClearSegments();
    Invalidate();
}

void TMMSpectrum::SetPoint1(int value) {
    if (value == FPoint1 || value < 1 || value > 100) return;
    FPoint1 = value;
    BuildSpots();
    Invalidate();
}

void TMMSpectrum::SetPoint2(int value) {
    if (value == FPoint2 || value < 1 || value > 100) return;
    FPoint2 = value;
    BuildSpots();
    Invalidate();
}

void TMMSpectrum::SetColors(int index, TColor value) {
    if (index < 0 || index >= ciCount || FColors[static_cast<std::size_t>(index)] == value) return;
    FColors[static_cast<std::size_t>(index)] = value;
    if (index == ciScaleText || index == ciScaleLine)
        RebuildScales();
    else
        RebuildInactive();
    update();
    Invalidate();
}

void TMMSpectrum::SetDrawInactive(bool value) {
    if (value == FDrawInactive) return;
    FDrawInactive = value;
    Invalidate();
}

void TMMSpectrum::SetInactiveDoted(bool value) {
    if (value == FInactiveDoted) return;
    FInactiveDoted = value;
    RebuildInactive();
    Invalidate();
}

void TMMSpectrum::SetActiveDoted(bool value) {
    if (value == FActiveDoted) return;
    FActiveDoted = value;
    Invalidate();
}

void TMMSpectrum::SetPhaseMode(TPhaseMode value) {
    if (value == FPhaseMode) return;
    FPhaseMode = value;
    Invalidate();
}

void TMMSpectrum::SetAxisColor(TColor value) {
    if (value == FAxisColor) return;
    FAxisColor = value;
    Invalidate();
}

void TMMSpectrum::SetPhaseColor(TColor value) {
    if (value == FPhaseColor) return;
    FPhaseColor = value;
    Invalidate();
}

void TMMSpectrum::SetRangeFactorX(double value) {
    value = PhaseRangeFactor(value);
    if (value == FRangeFactorX) return;
    FRangeFactorX = value;
    FPhase.RadiusX = PhaseRadius(width() / 2, value);
}

void TMMSpectrum::SetRangeFactorY(double value) {
    value = PhaseRangeFactor(value);
    if (value == FRangeFactorY) return;
    FRangeFactorY = value;
    FPhase.RadiusY = PhaseRadius(height() / 2, value);
}

void TMMSpectrum::SetOnGetXScale(TMMSpectrumGetXScale handler) {
    FOnGetXScale = std::move(handler);
    BuildXScale();
    GuardedReset();
    Invalidate();
}

void TMMSpectrum::SetOnDrawBar(TMMSpectrumDrawBar handler) {
    FOnDrawBar = std::move(handler);
    RebuildInactive();
    Invalidate();
}

void TMMSpectrum::SetOnClearBackground(TMMSpectrumClear handler) {
    FOnClearBackground = std::move(handler);
    Invalidate();
}

// --- Bounds and tables --------------------------------------------------------------------------

void TMMSpectrum::SetBounds(int left, int top, int width, int height) {
    const TMMSize size = FSpectrumMode == smPhase ? PhaseBounds(width, height)
                                                  : SpectrumBounds(width, height, Bevel().TotalWidth(),
                                                                   FDrawAmpScale, FDrawFreqScale);
    TMMDIBGraphicControl::SetBounds(left, top, size.Width, size.Height);
    AreaChanged();
}

void TMMSpectrum::AreaChanged() {
    const TMMAreaRect a = SpectrumDrawingArea(width(), height(), Bevel().TotalWidth(), FDrawAmpScale,
                                              FDrawFreqScale, FSpectrumMode == smPhase);
    const TRect area = Rect(a.Left, a.Top, a.Left + a.Width, a.Top + a.Height);
    if (area == FArea && FColumns.Width == a.Width) return;
    FArea = area;
    {
        // The peak tick walks the segments: not while they are reallocated.
        std::lock_guard<std::recursive_mutex> lock(FPeakLock);
        FColumns.Resize(a.Width);
        FSegments.assign(static_cast<std::size_t>(a.Width) + 1, TMMBarSegment{});
        FSegmentCount = 0;
    }
    DIBCanvas().Resize(a.Width, a.Height);
    FInactive.Resize(a.Width, a.Height);
    if (FSpectrumMode == smPhase) UpdatePhaseGeometry();
    BuildSpots();
    UpdateBlockBytes();
    BuildXScale();
    GuardedReset();
    Invalidate();
}

void TMMSpectrum::UpdatePhaseGeometry() {
    const int w = FArea.Width(), h = FArea.Height();
    FPhase.CenterX = w / 2;
    FPhase.CenterY = h / 2;
    FPhase.RadiusX = PhaseRadius(w / 2.0, FRangeFactorX);
    FPhase.RadiusY = PhaseRadius(h / 2.0, FRangeFactorY);
}

void TMMSpectrum::BuildXScale() {
    if (IsLoading()) return;
    const TMMColumnParams params{FFTLength(), FSampleRate, FFrequencyScale, FLogFreq};
    FLowFrequency = SpectrumLowFrequency(FLogFreq, FSampleRate, FFTLength(), FFrequencyScale);
    TMMGetXScaleHook hook;
    if (FOnGetXScale) hook = [this](int *first, int *end) { FOnGetXScale(this, first, end); };
    BuildColumnTable(FColumns, params, hook);
    BuildAmpScale();
    RebuildInactive();
    RebuildScales();
    update();
}

void TMMSpectrum::BuildAmpScale() {
    if (IsLoading()) return;
    TMMAmpParams params;
    params.LogAmp = FLogAmp;
    params.RefFreq = FRefFreq;
    params.Gain = FGain;
    params.VerticalScale = FVerticalScale;
    params.SampleRate = FSampleRate;
    params.FFTLength = FFTLength();
    params.Height = FArea.Height();
    ::BuildAmpScale(FAmp, params, FColumns);
    RebuildScales();
}

void TMMSpectrum::BuildSpots() {
    FSpots = ComputeSpectrumSpots(FKind, FArea.Height(), FSpotHeight, FSpotSpace, FPoint1, FPoint2);
    RebuildInactive();
    GuardedReset();
}

void TMMSpectrum::ClearSegments() {
    std::lock_guard<std::recursive_mutex> lock(FPeakLock);
    std::fill(FSegments.begin(), FSegments.end(), TMMBarSegment{});
    FSegmentCount = 0;
}

std::vector<TMMBarSegment> TMMSpectrum::Segments() const {
    std::lock_guard<std::recursive_mutex> lock(FPeakLock);
    return {FSegments.begin(), FSegments.begin() + FSegmentCount};
}

void TMMSpectrum::Reset() {
    std::fill(FLevels.begin(), FLevels.end(), 0);
    FBlock.ClearBins();
    std::fill(FPhaseLeft.begin(), FPhaseLeft.end(), std::int16_t{0});
    std::fill(FPhaseRight.begin(), FPhaseRight.end(), std::int16_t{0});
    ClearSegments();
    FMaximum = {};
    FDecay.Clear();
    if (!isEnabled()) return;
    if (FOnNeedData) {
        FOnNeedData(this);
    } else if (IsDesigning()) {
        for (auto &level : FLevels)
            level = static_cast<std::int32_t>(QRandomGenerator::global()->bounded(32767));
    }
}

void TMMSpectrum::GuardedReset() {
    if (IsLoading() || IsReading() || gResetNesting > 0) return;
    ++gResetNesting;
    struct TLeave {
        ~TLeave() { --gResetNesting; }
    } leave;
    Reset();
}

void TMMSpectrum::Invalidate() {
    FFrameValid = false;
    update();
}

void TMMSpectrum::Loaded() {
    TMMDIBGraphicControl::Loaded();
    AreaChanged();
    BuildXScale();
    GuardedReset();
    Invalidate();
}

void TMMSpectrum::resizeEvent(QResizeEvent *event) {
    TMMDIBGraphicControl::resizeEvent(event);
    AreaChanged();
}

void TMMSpectrum::BevelChanged() {
    TMMDIBGraphicControl::BevelChanged();
    AreaChanged();
    Invalidate();
}

void TMMSpectrum::ColorChanged() {
    TMMDIBGraphicControl::ColorChanged();
    RebuildInactive();
    Invalidate();
}

void TMMSpectrum::BitsPerPixelChanged() {
    FInactive.SetBitsPerPixel(BitsPerPixel());
    FInfoSave.SetBitsPerPixel(BitsPerPixel());
    RebuildInactive();
    Invalidate();
}

void TMMSpectrum::BackGroundChanged() {
    Invalidate();
}

void TMMSpectrum::DesigningChanged() {
    if (!IsDesigning()) UpdateTickClient();
    GuardedReset();
    Invalidate();
}

void TMMSpectrum::changeEvent(QEvent *event) {
    TMMDIBGraphicControl::changeEvent(event);
    if (event->type() != QEvent::EnabledChange) return;
    if (isEnabled())
        GuardedReset();
    else
        ResetData();
    UpdateTickClient();
    Invalidate();
}

// --- Peak timer ---------------------------------------------------------------------------------

void TMMSpectrum::UpdateTickClient() {
    FPeakTick.SetSuspended(IsDesigning() || !isEnabled() || FNumPeaks == 0);
}

bool TMMSpectrum::PeakTick() {
    if (FInfoTracking.load()) return false;
    bool moved = false;
    {
        std::lock_guard<std::recursive_mutex> lock(FPeakLock);
        if (FSegmentCount == 0) return false;
        const int speed = FPeakSpeed.load();
        for (int i = 0; i < FSegmentCount; ++i)
            moved = AgePeak(FSegments[static_cast<std::size_t>(i)], speed) || moved;
    }
    return moved && MicrosecondClock() - FLastBlockUs.load() > kPeakRedrawIdleUs;
}

void TMMSpectrum::PeakTimerTick() {
    PeakTick();
}

bool TMMSpectrum::event(QEvent *event) {
    if (event->type() != TMMPeakTickClient::EventType()) return TMMDIBGraphicControl::event(event);
    FPeakTick.Received();
    if (CanProcess() && !FInfoTracking.load() && FSpectrumMode == smNormal) Render(false);
    return true;
}

// --- Connector display --------------------------------------------------------------------------

void TMMSpectrum::SetWaveFormat(const TWaveFormatEx *format) {
    // The analyser reads mono and stereo frames only.
    if (!IsValidPCMFormat(format) || format->nChannels > 2) throw EMMSpectrumError("Invalid WaveFormat");
    TMMBlockFormat block = FBlock.Format();
    block.BitLength = format->wBitsPerSample / 8 - 1 == 0 ? b8Bit : b16Bit;
    block.Mode = format->nChannels == 1 ? mMono : mStereo;
    ApplyFormat(block);
    SetSampleRate(static_cast<int>(format->nSamplesPerSec));
}

void TMMSpectrum::ResetData() {
    if (FInfoTracking.load()) {
        const QPoint at = mapFromGlobal(QCursor::pos());
        MouseUp(Qt::LeftButton, Qt::NoModifier, at.x(), at.y());
    }
    Reset();
    Render(true);
}

bool TMMSpectrum::CanProcess() const {
    return isEnabled() && Visible();
}

void TMMSpectrum::RefreshPCMData(const void *data) {
    if (data == nullptr || !CanProcess() || FInfoTracking.load()) return;
    const int n = FFTLength();
    if (FSpectrumMode == smPhase) {
        // The picture is defined for 16-bit stereo; other formats show silence.
        const bool stereo16 = BitLength() == b16Bit && Mode() == mStereo;
        const auto *p = static_cast<const std::uint8_t *>(data);
        for (int i = 0; i < n; ++i) {
            std::int16_t frame[2] = {0, 0};
            if (stereo16) std::memcpy(frame, p + 4 * static_cast<std::size_t>(i), sizeof frame);
            FPhaseLeft[static_cast<std::size_t>(i)] = std::max<std::int16_t>(frame[0], -32767);
            FPhaseRight[static_cast<std::size_t>(i)] = std::max<std::int16_t>(frame[1], -32767);
        }
        Render(false);
    } else {
        FBlock.Transform(data);
        const TMMBinForm form = BinMagnitudeForm(DecayMode(), FLogAmp);
        FBlock.Magnitudes(form, FAmp.Offsets.data(), FLevels.data());
        if (form == TMMBinForm::Linear) FDecay.Apply(FLevels.data(), n / 2);
        Render(false);
    }
    FLastBlockUs.store(MicrosecondClock());
}

// --- The readout box ----------------------------------------------------------------------------

QString TMMSpectrum::InfoTextAt(int x, int y) const {
    const TMMFreqScaleParams params{FLogFreq, FLowFrequency, FSampleRate, FFTLength(), FFrequencyScale};
    return QString::fromStdString(InfoText(std::clamp(x, 0, FArea.Width() - 1),
                                           std::clamp(y, 0, FArea.Height() - 1), FArea.Width(),
                                           FArea.Height(), params, FLogAmp, VerticalScale(), FKind));
}

void TMMSpectrum::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    TMMDIBGraphicControl::MouseDown(button, shift, x, y);
    if (button != Qt::LeftButton || IsDesigning() || !isEnabled() || !FShowInfo || FSpectrumMode != smNormal)
        return;
    FInfoTracking.store(true);
    FSavedToolTip = toolTip();
    setToolTip(QString());
    QToolTip::hideText();
    MouseMove(shift, x, y);
}

void TMMSpectrum::MouseMove(Qt::KeyboardModifiers shift, int x, int y) {
    TMMDIBGraphicControl::MouseMove(shift, x, y);
    if (!FInfoTracking.load()) return;
    // The pointer stays on the drawing area while the box shows.
    const int cx = std::clamp(x, FArea.Left, FArea.Right - 1),
              cy = std::clamp(y, FArea.Top, FArea.Bottom - 1);
    if (cx != x || cy != y) QCursor::setPos(mapToGlobal(QPoint(cx, cy)));
    ShowInfoBox(cx - FArea.Left, cy - FArea.Top);
}

void TMMSpectrum::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    TMMDIBGraphicControl::MouseUp(button, shift, x, y);
    if (button != Qt::LeftButton || !FInfoTracking.load()) return;
    if (isEnabled()) HideInfoBox();
    FInfoSaved = TRect{};
    FInfoTracking.store(false);
    setToolTip(FSavedToolTip);
}
