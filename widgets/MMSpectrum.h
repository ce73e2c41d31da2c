#pragma once

// The spectrum analyser and phase display control. In smNormal each PCM
// block the connector hands it is windowed and transformed
// (analysis/MMSpectrumBlock.h), its bins are decayed and mapped to display
// columns and bar values (analysis/MMSpectrumLaws.h), and one frame of the
// chosen kind is drawn into the work bitmap at once; the frame clock puts it
// on the screen. In smPhase the block's stereo samples are drawn as a dot
// cloud instead. The scales, unit labels and bevel lie around the drawing
// area and are pre-rendered once per change of what they show.
//
// Threads. Properties, blocks (RefreshPCMData: the connector must refresh
// on the main thread), drawing and the mouse run on the main thread, except:
// - BlockBytes, which a connector may read on any thread under its lock (an
//   atomic copy);
// - the peak tick, which runs on the tick service's thread and ages the
//   segments' peaks under FPeakLock. When audio has stopped arriving it posts
//   one redraw event (at most one outstanding) so falling peaks still show.
//   FPeakLock guards every segment's Peak and Hold and the segment list's size.

#include "analysis/MMPhaseLaws.h"
#include "analysis/MMSpectrumBlock.h"
#include "analysis/MMSpectrumLaws.h"
#include "audio/MMConnectorDisplay.h"
#include "widgets/MMDIBGraphicControl.h"
#include "widgets/MMPeakTickClient.h"
#include "widgets/MMPhaseDraw.h"

#include <QImage>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class TMMPeakTickService;

class EMMSpectrumError : public EMMError {
  public:
    using EMMError::EMMError;
};

class TMMSpectrum : public TMMDIBGraphicControl, public TMMSpectrumDisplay {
    Q_OBJECT
  public:
    // Fills the first-bin (pX1) and end-bin (pX2) tables, one entry per column.
    using TMMSpectrumGetXScale = std::function<void(TObject *sender, int *pX1, int *pX2)>;
    // Draws one bar of skBars or skPeaks: nSpots and peak in pixels, 0..H.
    using TMMSpectrumDrawBar =
        std::function<void(TObject *sender, TMMDIBCanvas &dib, const TRect &rect, int nSpots, int peak)>;
    // Fills the background of the drawing area.
    using TMMSpectrumClear = std::function<void(TObject *sender, TMMDIBCanvas &dib, const TRect &rect)>;

    // Colour indexes of SetColors.
    enum TColorIndex {
        ciBar1 = 0,
        ciBar2,
        ciBar3,
        ciInactive1,
        ciInactive2,
        ciInactive3,
        ciScaleText,
        ciScaleLine,
        ciGrid,
        ciCount
    };

    // Peaks age on `peakTicks` (the process-wide service when none is given).
    explicit TMMSpectrum(QWidget *parent = nullptr, TMMPeakTickService *peakTicks = nullptr);
    ~TMMSpectrum() override;

    // --- Mode.
    TSpectrumMode SpectrumMode() const { return FSpectrumMode; }
    void SetSpectrumMode(TSpectrumMode value);

    // --- Block format and transform.
    TMMMode Mode() const { return FBlock.Format().Mode; }
    void SetMode(TMMMode value);
    TMMBits BitLength() const { return FBlock.Format().BitLength; }
    void SetBitLength(TMMBits value);
    TMMChannel Channel() const { return FBlock.Format().Channel; }
    void SetChannel(TMMChannel value);
    int SampleRate() const { return FSampleRate; }
    void SetSampleRate(int value); // 8000..100000
    int FFTLength() const { return FBlock.FFTLength(); }
    void SetFFTLength(int value); // 8..4096, a power of two
    TMMFFTWindow Window() const { return FBlock.Setup().Window(); }
    void SetWindow(TMMFFTWindow value) { FBlock.Setup().SetWindow(value); }

    // --- Frequency and amplitude.
    bool LogFreq() const { return FLogFreq; }
    void SetLogFreq(bool value);
    bool LogAmp() const { return FLogAmp; }
    void SetLogAmp(bool value);
    int RefFreq() const { return FRefFreq; }
    void SetRefFreq(int value); // 1..44100
    TMMSpectrumGain Gain() const { return FGain; }
    void SetGain(TMMSpectrumGain value);
    int VerticalScale() const { return static_cast<int>(RoundHalfEven(FVerticalScale / 0.01)); }
    void SetVerticalScale(int value); // 1..500
    int FrequencyScale() const { return FFrequencyScale; }
    void SetFrequencyScale(int value); // 1..16, a power of two
    TMMDecayMode DecayMode() const { return FDecay.Mode(); }
    void SetDecayMode(TMMDecayMode value) { FDecay.SetMode(value); }
    int Decay() const { return FDecay.Decay(); }
    void SetDecay(int value) { FDecay.SetDecay(value); } // 1..16

    // --- Kind and peaks.
    TMMSpectrumKind Kind() const { return FKind; }
    void SetKind(TMMSpectrumKind value);
    int NumPeaks() const { return FNumPeaks.load(); }
    void SetNumPeaks(int value); // 0..5, others ignored
    int PeakDelay() const { return FPeakDelay; }
    void SetPeakDelay(int value); // 0..50, others ignored
    int PeakSpeed() const { return FPeakSpeed.load(); }
    void SetPeakSpeed(int value); // 0..50, others ignored
    bool DisplayPeak() const { return FDisplayPeak; }
    void SetDisplayPeak(bool value);
    bool ShowInfo() const { return FShowInfo; }
    void SetShowInfo(bool value) { FShowInfo = value; }

    // --- Look.
    bool DrawFreqScale() const { return FDrawFreqScale; }
    void SetDrawFreqScale(bool value);
    bool DrawAmpScale() const { return FDrawAmpScale; }
    void SetDrawAmpScale(bool value);
    bool DrawGrid() const { return FDrawGrid; }
    void SetDrawGrid(bool value);
    int Space() const { return FSpace; }
    void SetSpace(int value); // 0..5, others ignored
    int SpotSpace() const { return FSpotSpace; }
    void SetSpotSpace(int value); // 0..10, others ignored
    int SpotHeight() const { return FSpotHeight; }
    void SetSpotHeight(int value); // 1..H div 3, others ignored
    int Point1() const { return FPoint1; }
    void SetPoint1(int value); // 1..100, others ignored
    int Point2() const { return FPoint2; }
    void SetPoint2(int value); // 1..100, others ignored
    TColor Colors(int index) const { return FColors[static_cast<std::size_t>(index)]; }
    void SetColors(int index, TColor value);
    TColor Bar1Color() const { return Colors(ciBar1); }
    void SetBar1Color(TColor value) { SetColors(ciBar1, value); }
    TColor Bar2Color() const { return Colors(ciBar2); }
    void SetBar2Color(TColor value) { SetColors(ciBar2, value); }
    TColor Bar3Color() const { return Colors(ciBar3); }
    void SetBar3Color(TColor value) { SetColors(ciBar3, value); }
    TColor Inactive1Color() const { return Colors(ciInactive1); }
    void SetInactive1Color(TColor value) { SetColors(ciInactive1, value); }
    TColor Inactive2Color() const { return Colors(ciInactive2); }
    void SetInactive2Color(TColor value) { SetColors(ciInactive2, value); }
    TColor Inactive3Color() const { return Colors(ciInactive3); }
    void SetInactive3Color(TColor value) { SetColors(ciInactive3, value); }
    TColor ScaleTextColor() const { return Colors(ciScaleText); }
    void SetScaleTextColor(TColor value) { SetColors(ciScaleText, value); }
    TColor ScaleLineColor() const { return Colors(ciScaleLine); }
    void SetScaleLineColor(TColor value) { SetColors(ciScaleLine, value); }
    TColor GridColor() const { return Colors(ciGrid); }
    void SetGridColor(TColor value) { SetColors(ciGrid, value); }
    bool DrawInactive() const { return FDrawInactive; }
    void SetDrawInactive(bool value);
    bool InactiveDoted() const { return FInactiveDoted; }
    void SetInactiveDoted(bool value);
    bool ActiveDoted() const { return FActiveDoted; }
    void SetActiveDoted(bool value);

    // --- Phase display.
    TPhaseMode PhaseMode() const { return FPhaseMode; }
    void SetPhaseMode(TPhaseMode value);
    TColor AxisColor() const { return FAxisColor; }
    void SetAxisColor(TColor value);
    TColor PhaseColor() const { return FPhaseColor; }
    void SetPhaseColor(TColor value);
    double RangeFactorX() const { return FRangeFactorX; }
    void SetRangeFactorX(double value); // 0.5..2.0, else 1.0
    double RangeFactorY() const { return FRangeFactorY; }
    void SetRangeFactorY(double value);
    int PhaseCenterX() const { return FPhase.CenterX; }
    int PhaseCenterY() const { return FPhase.CenterY; }
    int PhaseRadiusX() const { return FPhase.RadiusX; }
    int PhaseRadiusY() const { return FPhase.RadiusY; }
    const std::int16_t *PhaseLeft() const { return FPhaseLeft.data(); }
    const std::int16_t *PhaseRight() const { return FPhaseRight.data(); }

    // --- Connector display.
    // Raises EMMSpectrumError "Invalid WaveFormat" for anything but PCM; then nothing changes.
    void SetWaveFormat(const TWaveFormatEx *format) override;
    int BlockBytes() const override { return FBlockBytes.load(); }
    void ResetData() override;
    // One block of BlockBytes(); ignored while disabled, hidden or frozen by the readout box.
    void RefreshPCMData(const void *data) override;

    // --- Events (fired on the main thread).
    void SetOnNeedData(TNotifyEvent handler) { FOnNeedData = std::move(handler); }
    void SetOnGainOverflow(TNotifyEvent handler) { FOnGainOverflow = std::move(handler); }
    void SetOnPcmOverflow(TNotifyEvent handler) { FOnPcmOverflow = std::move(handler); }
    // Assigning or clearing it rebuilds the column table.
    void SetOnGetXScale(TMMSpectrumGetXScale handler);
    // Assigning or clearing it rebuilds the inactive picture.
    void SetOnDrawBar(TMMSpectrumDrawBar handler);
    void SetOnClearBackground(TMMSpectrumClear handler);

    // --- Read-backs: what the picture is computed from.
    // The drawing area in control coordinates.
    TRect DrawingArea() const { return FArea; }
    double LowFrequency() const { return FLowFrequency; }
    const TMMColumnTable &Columns() const { return FColumns; }
    const TMMAmpScale &AmpScale() const { return FAmp; }
    const TMMSpectrumSpots &Spots() const { return FSpots; }
    const TMMSpectrumDecay &DecayState() const { return FDecay; }
    // Per-bin levels after decay.
    const std::int32_t *Levels() const { return FLevels.data(); }
    // The segments of the last frame, up to the terminator (First = -1).
    std::vector<TMMBarSegment> Segments() const;
    TMMFrameMaximum FrameMaximum() const { return FMaximum; }
    bool InfoTracking() const { return FInfoTracking.load(); }
    // The text the readout box shows at a point of the drawing area.
    QString InfoTextAt(int x, int y) const;
    // The inactive picture (skBars and skPeaks).
    TMMDIBCanvas &InactiveDIB() { return FInactive; }
    // One tick of the peak timer (its thread, or a test in its place).
    void PeakTimerTick();

    void SetBounds(int left, int top, int width, int height) override;
    void Loaded() override;

  protected:
    TRect CanvasRect() const override { return FArea; }
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void Paint(QPainter &canvas) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void BevelChanged() override;
    void ColorChanged() override;
    void BitsPerPixelChanged() override;
    void BackGroundChanged() override;
    void DesigningChanged() override;
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
    void MouseMove(Qt::KeyboardModifiers shift, int x, int y) override;
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;

  private:
    // --- Tables (MMSpectrum.cpp).
    void UpdateBlockBytes() { FBlockBytes.store(FBlock.BlockBytes()); }
    void ApplyFormat(const TMMBlockFormat &format);
    // After every bounds change: drawing area, tables, canvases.
    void AreaChanged();
    void UpdatePhaseGeometry();
    void BuildXScale();
    void BuildAmpScale();
    void BuildSpots();
    void ClearSegments();
    void Reset();
    void GuardedReset();
    void UpdateTickClient();
    // Ages the peaks (the tick's thread); true when the picture should follow.
    bool PeakTick();
    // The picture is stale: render it at the next paint.
    void Invalidate();
    TMMBarInput BarInput() const;
    bool CanProcess() const;

    // --- Drawing (MMSpectrumPaint.cpp).
    // Returns how many segments reached the top.
    int DrawFrame(TMMDIBCanvas &dib, bool full);
    void DrawBackground(TMMDIBCanvas &dib, bool full);
    void DrawGridLines(TMMDIBCanvas &dib);
    void DrawSegments(TMMDIBCanvas &dib);
    void DrawPolyline(TMMDIBCanvas &dib, int count, bool peaks, int lineOffset);
    void DrawDots(TMMDIBCanvas &dib, int count);
    void DrawVLines(TMMDIBCanvas &dib, int count);
    void DrawSpots(TMMDIBCanvas &dib, int count);
    // Returns the bounds of the dots drawn.
    // full: the whole background first; else only where the last dots lay.
    TRect DrawPhase(TMMDIBCanvas &dib, bool full);
    // Whether the background is the same from frame to frame (so a frame may change a part).
    bool BackgroundStays() const;
    void RestoreBackground(TMMDIBCanvas &dib, const TRect &part);
    TRect SegmentBounds(int w, int h) const;
    void RebuildInactive();
    void RebuildScales();
    void PaintStatic(QPainter &canvas);
    void PaintPeakLabel(QPainter &canvas);
    // The readout box at a point of the drawing area (DIB coordinates), or none.
    void ShowInfoBox(int x, int y);
    void HideInfoBox();
    void DrawInfoBox(TMMDIBCanvas &dib, int x, int y);
    void RestoreInfoBackground(TMMDIBCanvas &dib);
    // A frame now: into the work bitmap, and to the screen with the next display frame.
    void Render(bool full);
    TColor ParentFaceColor() const;
    TColor ZoneColor(int zone, bool inactive) const;

    // Format and transform; FBlock's bins are the last transform's.
    TMMSpectrumBlock FBlock;
    std::atomic<int> FBlockBytes{0};
    int FSampleRate = 11025;
    TSpectrumMode FSpectrumMode = smNormal;

    bool FLogFreq = false;
    bool FLogAmp = false;
    int FRefFreq = 1000;
    TMMSpectrumGain FGain = sgNone;
    double FVerticalScale = 1.0;
    int FFrequencyScale = 1;
    TMMSpectrumDecay FDecay;

    TMMSpectrumKind FKind = skBars;
    std::atomic<int> FNumPeaks{1};
    int FPeakDelay = 20;
    std::atomic<int> FPeakSpeed{0}; // read by the peak tick
    bool FDisplayPeak = false;
    bool FShowInfo = true;
    bool FDrawFreqScale = false;
    bool FDrawAmpScale = false;
    bool FDrawGrid = false;
    int FSpace = 1;
    int FSpotSpace = 1;
    int FSpotHeight = 1;
    int FPoint1 = 50;
    int FPoint2 = 85;
    std::array<TColor, ciCount> FColors = {clAqua,   clAqua,  clRed,   clTeal, clTeal,
                                           clMaroon, clBlack, clBlack, clGray};
    bool FDrawInactive = true;
    bool FInactiveDoted = false;
    bool FActiveDoted = false;

    TPhaseMode FPhaseMode = pmOscillo;
    TColor FAxisColor = clWhite;
    TColor FPhaseColor = clWhite;
    double FRangeFactorX = 1.0;
    double FRangeFactorY = 1.0;
    TPhaseGeometry FPhase{0, 0, 0, 0};
    std::vector<std::int16_t> FPhaseLeft;
    std::vector<std::int16_t> FPhaseRight;

    // Derived tables, rebuilt on the changes that affect them.
    TRect FArea;
    double FLowFrequency = kSpectrumLowFrequency;
    TMMColumnTable FColumns;
    TMMAmpScale FAmp;
    TMMSpectrumSpots FSpots;
    std::vector<std::int32_t> FLevels;
    mutable std::recursive_mutex FPeakLock;
    std::vector<TMMBarSegment> FSegments; // Width + 1 records
    int FSegmentCount = 0;
    TMMFrameMaximum FMaximum;

    // Pre-rendered pictures.
    TMMDIBCanvas FInactive;
    QImage FFreqScale;
    QImage FAmpScaleLeft;
    QImage FAmpScaleRight;
    bool FFrameValid = false; // the work bitmap shows the current state
    QRect FExposed;

    // The readout box.
    std::atomic<bool> FInfoTracking{false}; // read by the peak tick
    QString FSavedToolTip;
    TMMDIBCanvas FInfoSave;
    TRect FInfoSaved;     // where the saved pixels belong; empty when none
    TRect FPhaseDots;     // where the work bitmap's phase dots lie; empty when none
    TRect FSegmentBounds; // where the work bitmap's segments lie
    TRect FChanged;       // what the last frame changed
    // When the last block drew, for the peak tick's redraw.
    std::atomic<std::int64_t> FLastBlockUs{0};

    TMMPeakTickClient FPeakTick;

    TNotifyEvent FOnNeedData;
    TNotifyEvent FOnGainOverflow;
    TNotifyEvent FOnPcmOverflow;
    TMMSpectrumGetXScale FOnGetXScale;
    TMMSpectrumDrawBar FOnDrawBar;
    TMMSpectrumClear FOnClearBackground;
};

// Text in a face of `height` pixels: mode 0 puts its left edge at x and mode 1
// its right edge, both centred on y; mode 2 turns it to read upward, centred
// on x, its top end at y.
void DrawRotatedText(QPainter &canvas, int x, int y, int mode, int height, const QString &face,
                     const QString &text);
