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
// Threads. Everything runs on the main thread (properties, blocks, read-backs,
// drawing; a connector feeding it must refresh there, RealTime on), except:
// - BlockBytes, which a connector may read on any thread under its lock (an
//   atomic copy of the state's value);
// - the peak tick, which runs on the tick service's thread and only ages the
//   state's atomic peak word. When it moves the marker it posts one redraw
//   event to the control (at most one outstanding, FRedrawPosted); the event,
//   on the main thread, draws the marker unless a block already did. So the
//   marker falls on the screen also while no audio arrives.

#include "audio/MMConnectorDisplay.h"
#include "widgets/MMDIBGraphicControl.h"
#include "widgets/MMLevelLaws.h"
#include "widgets/MMPassDraw.h"
#include "widgets/MMPeakTickClient.h"

#include <atomic>
#include <functional>

class TMMPeakTickService;
struct TMMPeakTickEntry;

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

class TMMCustomLevel : public TMMDIBGraphicControl, public TMMBlockDisplay {
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

    // --- Level law and ballistics.
    int Gain() const { return FState.Gain(); }
    void SetGain(int value); // eighths, -8..32, others ignored
    int Sensitivy() const { return FState.Sensitivy(); }
    void SetSensitivy(int value) { FState.SetSensitivy(value); } // -90..-9, used from the next level on
    bool LogAmp() const { return FState.LogAmp(); }
    void SetLogAmp(bool value);
    TMMDecayMode DecayMode() const { return FState.DecayMode(); }
    void SetDecayMode(TMMDecayMode value) { FState.SetDecayMode(value); }
    int Decay() const { return FState.Decay(); }
    void SetDecay(int value) { FState.SetDecay(value); } // 1..16

    // --- Peak hold.
    int NumPeaks() const { return FState.NumPeaks(); }
    // 0..5; 0 suspends the tick client, other values resume it while Enabled.
    void SetNumPeaks(int value);
    int PeakDelay() const { return FState.PeakDelay(); }
    void SetPeakDelay(int value); // 0..50
    int PeakSpeed() const { return FState.PeakSpeed(); }
    void SetPeakSpeed(int value); // 0..50

    // --- Connector display.
    // Raises EMMLevelError "Invalid WaveFormat" for a format the level cannot read.
    void SetWaveFormat(const TWaveFormatEx *format) override;
    int BlockBytes() const override { return FBlockBytes.load(); }
    void ResetData() override;
    // One block, ignored while disabled or hidden (Visible false). Within a pass
    // of the connector the picture is drawn once, at its end.
    void ProcessBlock(const void *data) override;
    void BeginPass() override { FPassDraw.Begin(); }
    void EndPass() override;

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

    // --- Events (fired on the thread that hands the block in).
    void SetOnPcmOverflow(TNotifyEvent handler) { FOnPcmOverflow = std::move(handler); }
    void SetOnGainOverflow(TNotifyEvent handler) { FOnGainOverflow = std::move(handler); }
    void SetOnPaint(TNotifyEvent handler) { FOnPaint = std::move(handler); }
    // Clearing it rebuilds the background and redraws.
    void SetOnDrawBar(TMMLevelDrawBar handler);

    void Loaded() override;

  protected:
    bool event(QEvent *event) override;
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
    // The next paint renders the whole bar.
    void Repaint();
    // Fires the events an update asks for and draws it.
    void Apply(const TMMLevelUpdate &update);
    bool CanProcess() const;
    // OnPaint, then the bar into the work bitmap (only the changed spots when it is current).
    void Redraw();
    TMMLevelPicture Wanted() const;
    void DrawByHandler(TMMDIBCanvas &work, const TMMLevelPicture &picture);
    void DrawWhole(TMMDIBCanvas &work, const TMMLevelPicture &picture);
    // What changes from the drawn picture to `picture`, clipped to the bitmap.
    TRect ChangedBounds(const TMMLevelPicture &picture) const;
    void DrawChanges(TMMDIBCanvas &work, const TMMLevelPicture &picture);
    void FillSpot(TMMDIBCanvas &work, int k, int look);
    void UpdateBlockBytes() { FBlockBytes.store(FState.BlockBytes()); }
    void UpdateTickClient();

    TMMLevelState FState;
    TMMDIBCanvas FBackground;
    // Bar1, Bar2, Bar3, Inactive1, Inactive2, Inactive3.
    TColor FLook[6] = {clAqua, clAqua, clRed, clTeal, clTeal, clMaroon};
    bool FInactiveDoted = false;
    bool FActiveDoted = false;
    std::atomic<int> FBlockBytes{0};

    // What the work bitmap shows; FDrawnValid false when it missed a change.
    TMMLevelPicture FDrawn;
    bool FDrawnValid = false;

    TMMPeakTickClient FPeakTick;
    TMMPassDraw FPassDraw;

    TNotifyEvent FOnPcmOverflow;
    TNotifyEvent FOnGainOverflow;
    TNotifyEvent FOnPaint;
    TMMLevelDrawBar FOnDrawBar;
};

// The bar meter as placed on a form.
class TMMLevel : public TMMCustomLevel {
    Q_OBJECT
  public:
    using TMMCustomLevel::TMMCustomLevel;
};
