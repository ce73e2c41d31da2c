#pragma once

// The moving-coil needle meter: a needle swinging about a pivot below the
// face, over a face picture or a plain colour, with a drawn scale and caption.
// In VU mode it shows the RMS of each block on the VU scale against RefLevel;
// in peak mode the block peak on a dB or linear scale, with a peak needle.
//
// The arithmetic lives in TMMMeterState (MMMeterLaws.h); this control forwards
// its properties and blocks there and draws what the state reports. The face
// (picture or colour, arcs, ticks, labels, caption) is built once into the
// face bitmap when something it shows changed, and kept. A block that moves a
// needle restores from the face only the rectangle the old and the new needle
// cover, draws the needles into the work bitmap, and the frame clock puts that
// rectangle on the screen with the next display frame.
//
// Threads: as TMMBlockMeter (MMBlockMeter.h); the peak it redraws on the
// tick is the peak needle.

#include "widgets/MMBlockMeter.h"
#include "widgets/MMMeterLaws.h"

#include <QString>

#include <climits>
#include <vector>

class EMMMeterError : public EMMError {
  public:
    using EMMError::EMMError;
};

class TMMCustomMeter : public TMMBlockMeter<TMMMeterState> {
    Q_OBJECT
  public:
    // The peak needle ages on `peakTicks` (the process-wide service when none is given).
    explicit TMMCustomMeter(QWidget *parent = nullptr, TMMPeakTickService *peakTicks = nullptr);
    ~TMMCustomMeter() override;

    // --- Mode and laws (Gain, LogAmp, the ballistics: TMMBlockMeter).
    TMeterMode MeterMode() const { return FState.MeterMode(); }
    // Sets the mode's caption, ballistics, block length, colours and TopSpace.
    void SetMeterMode(TMeterMode value);
    double RefLevel() const { return FState.RefLevel(); }
    // -30..-10 rounded to one decimal, anything else -16.0.
    void SetRefLevel(double value);
    // VU mode's ballistics (MMVUStandards.h), from the next block on.
    TMMNeedleStandard NeedleStandard() const { return FState.NeedleStandard(); }
    void SetNeedleStandard(TMMNeedleStandard value) { FState.SetNeedleStandard(value); }
    bool ShowRefLevel() const { return FShowRefLevel; }
    void SetShowRefLevel(bool value);
    int Sensitivy() const { return FState.Sensitivy(); }
    void SetSensitivy(int value); // -90..-9

    // --- Block format.
    TMMBits BitLength() const { return FState.Input().BitLength; }
    void SetBitLength(TMMBits value) { SetInputField(&TMMLevelInput::BitLength, value); }
    TMMChannel Channel() const { return FState.Input().Channel; }
    void SetChannel(TMMChannel value) { SetInputField(&TMMLevelInput::Channel, value); }
    TMMMode Mode() const { return FState.Input().Mode; }
    void SetMode(TMMMode value) { SetInputField(&TMMLevelInput::Mode, value); }
    int Samples() const { return FState.Input().Samples; }
    void SetSamples(int value) { SetInputField(&TMMLevelInput::Samples, value); } // at least 1
    int DCOffsetL() const { return FState.Input().DCOffsetL; }
    void SetDCOffsetL(int value) { SetInputField(&TMMLevelInput::DCOffsetL, value); }
    int DCOffsetR() const { return FState.Input().DCOffsetR; }
    void SetDCOffsetR(int value) { SetInputField(&TMMLevelInput::DCOffsetR, value); }

    // --- Peak needle (peak mode; PeakDelay, PeakSpeed: TMMBlockMeter).
    bool ShowPeak() const { return FState.ShowPeak(); }
    // False suspends the peak tick client, True resumes it.
    void SetShowPeak(bool value);

    // --- Needles and scale.
    TColor Scale1Color() const { return FLook[0]; }
    void SetScale1Color(TColor value) { SetLook(0, value); }
    TColor Scale2Color() const { return FLook[1]; }
    void SetScale2Color(TColor value) { SetLook(1, value); }
    TColor Scale3Color() const { return FLook[2]; }
    void SetScale3Color(TColor value) { SetLook(2, value); }
    TColor NeedleColor() const { return FLook[3]; }
    void SetNeedleColor(TColor value) { SetLook(3, value); }
    TColor PeakColor() const { return FLook[4]; }
    void SetPeakColor(TColor value) { SetLook(4, value); }
    int NeedleOffset() const { return FNeedleOffset; }
    void SetNeedleOffset(int value) { SetSize(FNeedleOffset, value, 0, INT_MAX); }
    int NeedleWidth() const { return FNeedleWidth; }
    void SetNeedleWidth(int value) { SetSize(FNeedleWidth, value, 0, INT_MAX); }
    int TopSpace() const { return FTopSpace; }
    void SetTopSpace(int value) { SetSize(FTopSpace, value, INT_MIN, INT_MAX); }
    int ScaleAngle() const { return FState.ScaleAngle(); }
    void SetScaleAngle(int value); // 45..180
    TMMScaleOrigin ScaleOrigin() const { return FScale.Origin; }
    void SetScaleOrigin(TMMScaleOrigin value);
    int ScaleHeight1() const { return FScale.Height1; }
    void SetScaleHeight1(int value) { SetSize(FScale.Height1, value, 0, INT_MAX); }
    int ScaleHeight2() const { return FScale.Height2; }
    void SetScaleHeight2(int value) { SetSize(FScale.Height2, value, 0, INT_MAX); }
    int ScaleTicks() const { return FScale.Ticks; }
    void SetScaleTicks(int value) { SetSize(FScale.Ticks, value, INT_MIN, INT_MAX); }
    int ScaleTicksEnlargeEvery() const { return FScale.EnlargeEvery; }
    void SetScaleTicksEnlargeEvery(int value) { SetSize(FScale.EnlargeEvery, value, INT_MIN, INT_MAX); }
    int ScaleTicksTextEvery() const { return FScale.TextEvery; }
    void SetScaleTicksTextEvery(int value) { SetSize(FScale.TextEvery, value, INT_MIN, INT_MAX); }
    int Point1() const { return FScale.Point1; }
    void SetPoint1(int value) { SetSize(FScale.Point1, value, 1, 100); }
    int Point2() const { return FScale.Point2; }
    void SetPoint2(int value) { SetSize(FScale.Point2, value, 1, 100); }
    bool DrawScale() const { return FDrawScale; }
    void SetDrawScale(bool value);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString &value);

    // --- Connector display (the block plumbing: TMMBlockMeter).
    // Raises EMMMeterError "Invalid WaveFormat" for a format the meter cannot read.
    void SetWaveFormat(const TWaveFormatEx *format) override;

    // --- Read-back (peak mode): the needle as percent of full scale; setting
    // drives the needle with that percent of full scale (0..100).
    int Value() const { return FState.Value(); }
    void SetValue(int value);

    // The numbers behind the picture.
    const TMMMeterState &State() const { return FState; }
    TMMNeedleGeometry Geometry() const;
    // The face as last built (the inner rectangle's size).
    TMMDIBCanvas &FaceBitmap() { return FFace; }

    // --- Events (the overflow events: TMMBlockMeter). OnPostPaint: the main
    // thread, after each copy of the work bitmap to the screen.
    void SetOnPostPaint(TNotifyEvent handler) { FOnPostPaint = std::move(handler); }

    // Not with an OnPostPaint handler, which is owed every copy to the screen.
    bool Presentable(const QRect &part) const override {
        return !FOnPostPaint && TMMBlockMeter::Presentable(part);
    }

  protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void BevelChanged() override;
    void ColorChanged() override;
    void BackGroundChanged() override;
    void BitsPerPixelChanged() override;
    // Builds the face and the whole picture first when they are out of date.
    void Paint(QPainter &canvas) override;

  private:
    // What the needles show: one VU needle, or the main and the peak needle.
    struct TNeedles {
        bool VU = false;
        double Angle = 0.0; // VU
        int Needle = 0;     // peak mode
        int Peak = 0;
        bool ShowPeak = false;
        bool operator==(const TNeedles &) const = default;
    };
    struct TLine {
        QPoint From;
        QPoint To;
    };

    void SetLook(int index, TColor value);
    // Stores a clamped scale or needle setting; a change repaints.
    void SetSize(int &field, int value, int lo, int hi);
    void ChangeInput(const TMMLevelInput &input);
    template <typename T> void SetInputField(T TMMLevelInput::*field, T value) {
        TMMLevelInput input = FState.Input();
        input.*field = value;
        ChangeInput(input);
    }
    // The next paint rebuilds the face and renders the whole picture.
    void Repaint() override;
    void UpdateTickClient();
    // The needles into the work bitmap: all when it is out of date, else the
    // changed rectangle restored from the face and the needles drawn into it.
    void Redraw() override;
    void SyncSize();
    void BuildFace();
    std::vector<TMMFaceMark> FaceMarks(const TMMNeedleGeometry &g) const;
    void DrawScaleMarks(const TMMNeedleGeometry &g);
    void DrawTexts(QPainter &p, const TMMNeedleGeometry &g);
    void RenderWhole(TMMDIBCanvas &work, const TNeedles &needles);
    TNeedles Wanted() const;
    TLine MainNeedle(const TNeedles &needles, const TMMNeedleGeometry &g) const;
    TLine PeakNeedle(const TNeedles &needles, const TMMNeedleGeometry &g) const;
    TMMNeedleBands ChangedBands(const TNeedles &from, const TNeedles &to) const;
    void DrawNeedles(TMMDIBCanvas &work, const TNeedles &needles);
    void DrawLine(TMMDIBCanvas &work, const TLine &line, TColor color);

    TMMDIBCanvas FFace;
    // Scale1, Scale2, Scale3, Needle, Peak.
    TColor FLook[5] = {clGreen, clYellow, clRed, clWhite, clRed};
    TMMFaceScale FScale;
    int FNeedleOffset = 30;
    int FNeedleWidth = 1;
    int FTopSpace = 14;
    bool FDrawScale = true;
    bool FShowRefLevel = false;
    QString FCaption = QStringLiteral("dB");

    bool FFaceValid = false;
    // What the work bitmap shows while FWorkValid.
    TNeedles FDrawn;

    TNotifyEvent FOnPostPaint;
};

// The needle meter as placed on a form.
class TMMMeter : public TMMCustomMeter {
    Q_OBJECT
  public:
    using TMMCustomMeter::TMMCustomMeter;
};
