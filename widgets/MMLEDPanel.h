#pragma once

#include "widgets/MMCustomPanel.h"
#include "widgets/MMLEDDigit.h"

#include <vector>

// A row of LED digits showing one integer, with a minus sign in the leftmost
// digit for negative values and optional blanking of leading zeros. The panel
// is always exactly as large as its digits and bevel need.
//
// Thread contract: main thread only.
class TMMLEDPanel : public TMMCustomPanel {
    Q_OBJECT
  public:
    // Joins the open loading bracket, if any (its digits do too).
    explicit TMMLEDPanel(QWidget *parent = nullptr);

    // 1..9, otherwise ignored; the digits are made anew.
    int NumDigits() const { return FNumDigits; }
    void SetNumDigits(int value);
    // Clamped to MinValue..MaxValue; OnChange after every change (not while loading).
    int Value() const { return FValue; }
    void SetValue(int value);
    // A bound past the other one is ignored; Value is clamped again.
    int MinValue() const { return FMinValue; }
    void SetMinValue(int value);
    int MaxValue() const { return FMaxValue; }
    void SetMaxValue(int value);
    // Invalid ordinals are ignored.
    TMMLEDSize DigitSize() const { return FDigitSize; }
    void SetDigitSize(TMMLEDSize value);
    // Pixels between digits; only values above 0.
    int LEDSpace() const { return FLEDSpace; }
    void SetLEDSpace(int value);
    TColor LEDColor() const { return FLEDColor; }
    void SetLEDColor(TColor value);
    TColor InactiveColor() const { return FInactiveColor; }
    void SetInactiveColor(TColor value);
    bool DrawInactive() const { return FDrawInactive; }
    void SetDrawInactive(bool value);
    // Leading zeros dark; zeros inside the number stay lit.
    bool ZeroBlank() const { return FZeroBlank; }
    void SetZeroBlank(bool value);

    void SetOnChange(TNotifyEvent handler) { FOnChange = std::move(handler); }

    // Digit k (1 = units, rightmost) for k in 1..NumDigits.
    TMMLEDDigit *Digit(int k) const { return FDigits.at(static_cast<std::size_t>(k - 1)); }

    void Loaded() override;

  protected:
    void BevelChanged() override;
    void resizeEvent(QResizeEvent *event) override;

  private:
    void CreateDigits();
    void ConfigureDigit(TMMLEDDigit *digit) const;
    // Places the digits and forces the panel's size.
    void LayoutDigits();
    // Blanking, digit values and the sign for the stored value.
    void ShowValue();
    template <typename Apply> void ForEachDigit(Apply apply) {
        for (TMMLEDDigit *digit : FDigits)
            apply(digit);
    }

    int FNumDigits = 2;
    int FValue = 0;
    int FMinValue = 0;
    int FMaxValue = 100;
    TMMLEDSize FDigitSize = ls13x21;
    int FLEDSpace = 1;
    TColor FLEDColor = clLime;
    TColor FInactiveColor = clGreen;
    bool FDrawInactive = true;
    bool FZeroBlank = false;
    std::vector<TMMLEDDigit *> FDigits; // digit 1 first; children of the panel
    TNotifyEvent FOnChange;
};
