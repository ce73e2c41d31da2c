#include "widgets/MMLEDPanel.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

TMMLEDPanel::TMMLEDPanel(QWidget *parent) : TMMCustomPanel(parent) {
    SetColor(clBlack);
    CreateDigits();
    LayoutDigits();
    ShowValue();
}

void TMMLEDPanel::SetNumDigits(int value) {
    if (value == FNumDigits || value < 1 || value > 9) return;
    FNumDigits = value;
    CreateDigits();
    LayoutDigits();
    ShowValue();
}

void TMMLEDPanel::SetValue(int value) {
    value = std::clamp(value, FMinValue, FMaxValue);
    if (value == FValue) return;
    FValue = value;
    ShowValue();
    if (FOnChange && !IsLoading()) FOnChange(this);
}

void TMMLEDPanel::SetMinValue(int value) {
    if (value == FMinValue || value > FMaxValue) return;
    FMinValue = value;
    SetValue(FValue);
    update();
}

void TMMLEDPanel::SetMaxValue(int value) {
    if (value == FMaxValue || value < FMinValue) return;
    FMaxValue = value;
    SetValue(FValue);
    update();
}

void TMMLEDPanel::SetDigitSize(TMMLEDSize value) {
    if (value == FDigitSize || !MMLEDSizeValid(value)) return;
    FDigitSize = value;
    ForEachDigit([value](TMMLEDDigit *d) { d->SetDigitSize(value); });
    LayoutDigits();
}

void TMMLEDPanel::SetLEDSpace(int value) {
    if (value == FLEDSpace || value <= 0) return;
    FLEDSpace = value;
    LayoutDigits();
}

void TMMLEDPanel::SetLEDColor(TColor value) {
    if (value == FLEDColor) return;
    FLEDColor = value;
    ForEachDigit([value](TMMLEDDigit *d) { d->SetLEDColor(value); });
}

void TMMLEDPanel::SetInactiveColor(TColor value) {
    if (value == FInactiveColor) return;
    FInactiveColor = value;
    ForEachDigit([value](TMMLEDDigit *d) { d->SetInactiveColor(value); });
}

void TMMLEDPanel::SetDrawInactive(bool value) {
    if (value == FDrawInactive) return;
    FDrawInactive = value;
    ForEachDigit([value](TMMLEDDigit *d) { d->SetDrawInactive(value); });
}

void TMMLEDPanel::SetZeroBlank(bool value) {
    if (value == FZeroBlank) return;
    FZeroBlank = value;
    ShowValue();
}

void TMMLEDPanel::Loaded() {
    TMMCustomPanel::Loaded();
    ForEachDigit([this](TMMLEDDigit *d) { ConfigureDigit(d); });
    LayoutDigits();
    ShowValue();
}

void TMMLEDPanel::BevelChanged() {
    LayoutDigits();
    TMMCustomPanel::BevelChanged();
}

void TMMLEDPanel::resizeEvent(QResizeEvent *event) {
    TMMCustomPanel::resizeEvent(event);
    LayoutDigits();
}

void TMMLEDPanel::CreateDigits() {
    for (TMMLEDDigit *digit : FDigits)
        delete digit;
    FDigits.clear();
    for (int k = 1; k <= FNumDigits; ++k) {
        auto *digit = new TMMLEDDigit(this);
        // The panel answers the mouse for its digits.
        digit->setAttribute(Qt::WA_TransparentForMouseEvents, true);
        ConfigureDigit(digit);
        digit->show();
        FDigits.push_back(digit);
    }
    for (std::size_t i = 0; i + 1 < FDigits.size(); ++i)
        FDigits[i]->SetConnect(FDigits[i + 1]);
}

void TMMLEDPanel::ConfigureDigit(TMMLEDDigit *digit) const {
    digit->SetCascadeValues(true);
    digit->SetParentColor(true);
    digit->SetDigitSize(FDigitSize);
    digit->SetLEDColor(FLEDColor);
    digit->SetInactiveColor(FInactiveColor);
    digit->SetDrawInactive(FDrawInactive);
}

void TMMLEDPanel::LayoutDigits() {
    if (IsLoading()) return;
    const TMMLEDPanelLayout layout =
        MMLEDPanelLayoutFor(FNumDigits, FDigitSize, FLEDSpace, Bevel().TotalWidth());
    if (size() != layout.PanelSize) setFixedSize(layout.PanelSize);
    for (std::size_t i = 0; i < FDigits.size(); ++i)
        FDigits[i]->move(layout.DigitLeft[i], layout.DigitTop);
}

void TMMLEDPanel::ShowValue() {
    if (FDigits.empty()) return;
    const std::vector<bool> blanks = MMLEDPanelZeroBlanks(FNumDigits, FValue, FZeroBlank);
    for (std::size_t i = 0; i < FDigits.size(); ++i)
        FDigits[i]->SetZeroBlank(blanks[i]);
    FDigits.front()->SetValue(FValue == INT_MIN ? INT_MAX : std::abs(FValue));
    FDigits.back()->SetDisplayType(FValue < 0 ? ltMinus : ltDigit);
}
