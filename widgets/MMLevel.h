#pragma once

// The segmented bar meter: a row of spots lit by the peak level of each PCM
// block the connector hands it, with a peak-hold marker above the bar.
//
// The arithmetic lives in TMMLevelState (MMLevelLaws.h); this control forwards
// its properties and blocks there and draws what the state reports. The unlit
// bar is pre-rendered in a background bitmap of the inner rectangle's size; a
// block that moves the bar or the marker copies from it, or fills, only the
// spots whose look changed, into the work bitmap, and the frame clock puts
// that slice on the screen with the next display frame.
//
// Threads: as TMMBlockMeter (MMBlockMeter.h); the peak it redraws on the
// tick is the marker.

#include "widgets/MMBlockMeter.h"
#include "widgets/MMLevelLaws.h"

#include <functional>

class EMMLevelError : public EMMError {
  public:
    using EMMError::EMMError;
};

// What a bar shows: its positions, how many spots the marker has, and whether
// anything is lit at all (a disabled bar shows the unlit bar only).
struct TMMLevelPicture {
    int Bar = 0;
    int Peak = 0;
    int NumPeaks = 0;
    bool Lit = true;
    bool operator==(const TMMLevelPicture &) const = default;
};

class TMMCustomLevel : public TMMBlockMeter<TMMLevelState> {
    Q_OBJECT
  public:
    // Replaces the built-in drawing of bar and marker; dib is inside its drawing bracket.
    using TMMLevelDrawBar =
        std::function<void(TObject *sender, TMMDIBCanvas &dib, const TRect &rect, int nSpots, int peak)>;

    // The peak hold ages on `peakTicks` (the process-wide service when none is given).
    explicit TMMCustomLevel(QWidget *parent = nullptr, TMMPeakTickService *peakTicks = nullptr);
    ~TMMCustomLevel() override;

    // --- Geometry and look.
    TMMLevelKind Kind() const { return FState.Kind(); }
    // Swaps Width and Height when they contradict the kind.
    void SetKind(TMMLevelKind value);
    TMMLevelDirection Direction() const { return FState.Direction(); }
    void SetDirection(TMMLevelDirection value);
    int SpotWidth() const { return FState.SpotWidth(); }
    void SetSpotWidth(int value); // 1..bar length / 3
    int SpotSpace() const { return FState.SpotSpace(); }
    void SetSpotSpace(int value); // 0..10
    int Point1() const { return FState.Point1(); }
    void SetPoint1(int value); // 1..100
    int Point2() const { return FState.Point2(); }
    void SetPoint2(int value); // 1..100
    TColor Bar1Color() const { return FLook[0]; }
    void SetBar1Color(TColor value) { SetLook(0, value); }
    TColor Bar2Color() const { return FLook[1]; }
    void SetBar2Color(TColor value) { SetLook(1, value); }
    TColor Bar3Color() const { return FLook[2]; }
    void SetBar3Color(TColor value) { SetLook(2, value); }
    TColor Inactive1Color() const { return FLook[3]; }
    void SetInactive1Color(TColor value) { SetLook(3, value); }
    TColor Inactive2Color() const { return FLook[4]; }
    void SetInactive2Color(TColor value) { SetLook(4, value); }
    TColor Inactive3Color() const { return FLook[5]; }
    void SetInactive3Color(TColor value) { SetLook(5, value); }
    bool InactiveDoted() const { return FInactiveDoted; }
    void SetInactiveDoted(bool value);
    bool ActiveDoted() const { return FActiveDoted; }
    void SetActiveDoted(bool value);

    // --- Block format.
    TMMBits BitLength() const { return FState.BitLength(); }
    void SetBitLength(TMMBits value);
    TMMChannel Channel() const { return FState.Channel(); }
    void SetChannel(TMMChannel value);
    TMMMode Mode() const { return FState.Mode(); }
    void SetMode(TMMMode value);
    int Samples() const { return FState.Samples(); }
    void SetSamples(int value); // at least 1
    int DCOffsetL() const { return FState.DCOffsetL(); }
    void SetDCOffsetL(int value) { FState.SetDCOffsetL(value); }
    int DCOffsetR() const { return FState.DCOffsetR(); }
    void SetDCOffsetR(int value) { FState.SetDCOffsetR(value); }

    // --- Level law (Gain, LogAmp, the ballistics: TMMBlockMeter).
    int Sensitivy() const { return FState.Sensitivy(); }
    void SetSensitivy(int value) { FState.SetSensitivy(value); } // -90..-9, used from the next level on

    // --- Peak hold (PeakDelay, PeakSpeed: TMMBlockMeter).
    int NumPeaks() const { return FState.NumPeaks(); }
    // 0..5; 0 suspends the tick client, other values resume it while Enabled.
    void SetNumPeaks(int value);

    // --- Standard ballistics and hold (MMPeakStandards.h), from the next block on.
    TMMPeakStandard PeakStandard() const { return FState.PeakStandard(); }
    void SetPeakStandard(TMMPeakStandard value) { FState.SetPeakStandard(value); }
    void SetTruePeakFeed(TMMTruePeakFeed *feed) { FState.SetTruePeakFeed(feed); }
    // The scale the bar is read on (MMStandardScales.h); a change empties and redraws it.
    const TMMStandardScale &ScaleLaw() const { return FState.ScaleLaw(); }
    void SetScaleLaw(const TMMStandardScale &value);
    TMMPeakHold PeakHold() const { return FState.PeakHold(); }
    void SetPeakHold(TMMPeakHold value) { FState.SetPeakHold(value); }
    // Drops the held peak at once (the operator's reset).
    void ResetPeak() {
        FState.ResetPeak();
        DrawPendingPeak();
    }

    // --- Connector display (the block plumbing: TMMBlockMeter).
    // Raises EMMLevelError "Invalid WaveFormat" for a format the level cannot read.
    void SetWaveFormat(const TWaveFormatEx *format) override;

    // --- Read-backs.
    // The bar as percent of full-scale amplitude; setting drives the bar
    // with that percent of full scale (0..100).
    int Value() const { return FState.CurrentValue(); }
    void SetValue(int value);
    int CurrentValue() const { return FState.CurrentValue(); }
    int PeakPercent() const { return FState.PeakPercent(); }
    // The held peak in sample units, 0..32767.
    int CurrentPeak() const { return FState.CurrentPeak(); }
    // The numbers behind the picture (bar and peak positions, geometry).
    const TMMLevelState &State() const { return FState; }
    // The unlit bar, pre-rendered.
    TMMDIBCanvas &BackgroundBitmap() { return FBackground; }

    // --- Events (fired on the thread that hands the block in; the overflow
    // events: TMMBlockMeter).
    void SetOnPaint(TNotifyEvent handler) { FOnPaint = std::move(handler); }
    // Clearing it rebuilds the background and redraws.
    void SetOnDrawBar(TMMLevelDrawBar handler);

    void Loaded() override;

  protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void BevelChanged() override;
    void ColorChanged() override;
    void BitsPerPixelChanged() override;
    // Renders the whole bar first when the work bitmap missed draws (hidden, resized).
    void Paint(QPainter &canvas) override;

  private:
    void SetLook(int index, TColor value);
    // After a change of the geometry or of the unlit bar: bitmaps sized to the
    // inner rectangle, background rebuilt, repaint.
    void Rebuild();
    // Rebuilds when the inner rectangle no longer matches the geometry (Qt
    // delivers the resize of a hidden widget only when it is shown).
    void SyncInnerSize();
    void RebuildBackground();
    // The bar's spots follow a resize before a block moves them.
    void BeforeBlock() override { SyncInnerSize(); }
    // OnPaint, then the bar into the work bitmap (only the changed spots when it is current).
    void Redraw() override;
    TMMLevelPicture Wanted() const;
    void DrawByHandler(TMMDIBCanvas &work, const TMMLevelPicture &picture);
    void DrawWhole(TMMDIBCanvas &work, const TMMLevelPicture &picture);
    // What changes from the drawn picture to `picture`, clipped to the bitmap.
    TRect ChangedBounds(const TMMLevelPicture &picture) const;
    void DrawChanges(TMMDIBCanvas &work, const TMMLevelPicture &picture);
    void FillSpot(TMMDIBCanvas &work, int k, int look);
    void UpdateTickClient();

    TMMDIBCanvas FBackground;
    // Bar1, Bar2, Bar3, Inactive1, Inactive2, Inactive3.
    TColor FLook[6] = {clAqua, clAqua, clRed, clTeal, clTeal, clMaroon};
    bool FInactiveDoted = false;
    bool FActiveDoted = false;

    // What the work bitmap shows while FWorkValid.
    TMMLevelPicture FDrawn;

    TNotifyEvent FOnPaint;
    TMMLevelDrawBar FOnDrawBar;
};

// The bar meter as placed on a form.
class TMMLevel : public TMMCustomLevel {
    Q_OBJECT
  public:
    using TMMCustomLevel::TMMCustomLevel;
};
