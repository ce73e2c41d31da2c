#pragma once

#include "widgets/MMGraphicControl.h"
#include "widgets/MMLEDLaws.h"

#include <QImage>
#include <vector>

// One seven-segment digit or sign, drawn as one cell of a recoloured strip
// from the digit cache. The control is always exactly one cell large; without
// a strip (a missing resource) it draws nothing and keeps its size.
//
// A digit may pass the tens of every value it is given on to the digit it
// connects to (CascadeValues), which is how a panel shows a number.
//
// Thread contract: main thread only.
class TMMCustomLEDDigit : public TMMGraphicControl {
    Q_OBJECT
  public:
    // Joins the open loading bracket, if any; outside one it takes its strip at once.
    explicit TMMCustomLEDDigit(QWidget *parent = nullptr);
    ~TMMCustomLEDDigit() override;

    // Invalid ordinals are ignored; the strip is reloaded and the control resized.
    TMMLEDSize DigitSize() const { return FDigitSize; }
    void SetDigitSize(TMMLEDSize value);
    TMMLEDType DisplayType() const { return FDisplayType; }
    void SetDisplayType(TMMLEDType value);

    // Passes value ÷ 10 on first when cascading; then takes the last decimal
    // place if it lies in MinValue..MaxValue, and repaints at once.
    int Value() const { return FValue; }
    void SetValue(int value);
    // 0..9 and not past the other bound, otherwise ignored; Value is pulled
    // into the new range.
    int MinValue() const { return FMinValue; }
    void SetMinValue(int value);
    int MaxValue() const { return FMaxValue; }
    void SetMaxValue(int value);

    // A zero shows as the all-dark cell.
    bool ZeroBlank() const { return FZeroBlank; }
    void SetZeroBlank(bool value);
    // Unlit segments in InactiveColor, or invisible (in Color).
    bool DrawInactive() const { return FDrawInactive; }
    void SetDrawInactive(bool value);
    TColor LEDColor() const { return FLEDColor; }
    void SetLEDColor(TColor value);
    TColor InactiveColor() const { return FInactiveColor; }
    void SetInactiveColor(TColor value);

    bool CascadeValues() const { return FCascadeValues; }
    void SetCascadeValues(bool value) { FCascadeValues = value; }
    // The next more significant digit. A digit cannot connect to itself, nor
    // close a ring of connections (a cascade would never end); such a set is
    // ignored. Cleared when that digit is destroyed.
    TMMCustomLEDDigit *Connect() const { return FConnect; }
    void SetConnect(TMMCustomLEDDigit *value);

    // Kept for the forms that assign them; no operation of the digit fires them.
    void SetOnRollForward(TNotifyEvent handler) { FOnRollForward = std::move(handler); }
    void SetOnRollBackward(TNotifyEvent handler) { FOnRollBackward = std::move(handler); }

    // The strip held (null without one) and the cell shown now.
    const QImage *Strip() const { return FStrip; }
    int CellIndex() const;

    void Loaded() override;

  protected:
    // The cell, copied unchanged; nothing without a strip.
    void Paint(QPainter &canvas) override;
    void ColorChanged() override;

  private:
    // Takes the strip of the current look and sizes the control to one cell.
    void ReloadStrip();
    void RepaintNow();

    TMMLEDSize FDigitSize = ls13x21;
    TMMLEDType FDisplayType = ltDigit;
    int FValue = 0;
    int FMinValue = 0;
    int FMaxValue = 9;
    bool FZeroBlank = false;
    bool FDrawInactive = true;
    TColor FLEDColor = clLime;
    TColor FInactiveColor = clGreen;
    bool FCascadeValues = false;
    TMMCustomLEDDigit *FConnect = nullptr;
    std::vector<TMMCustomLEDDigit *> FConnectedBy; // digits whose Connect is this one
    const QImage *FStrip = nullptr;
    TNotifyEvent FOnRollForward;
    TNotifyEvent FOnRollBackward;
};

// The placeable digit.
class TMMLEDDigit : public TMMCustomLEDDigit {
    Q_OBJECT
  public:
    using TMMCustomLEDDigit::TMMCustomLEDDigit;
};
