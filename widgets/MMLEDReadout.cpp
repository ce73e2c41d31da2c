#include "widgets/MMLEDReadout.h"

namespace {

bool IsDigitCell(char c) {
    return c == ' ' || (c >= '0' && c <= '9');
}

TMMLEDType SignType(char c) {
    return c == '.' ? ltPeriod : c == ':' ? ltColon : ltMinus;
}

} // namespace

TMMLEDReadout::TMMLEDReadout(QWidget *parent, const std::string &layout, TMMLEDSize size) : QWidget(parent) {
    int x = 0;
    for (const char c : layout) {
        auto *cell = new TMMLEDDigit(this);
        cell->SetDigitSize(size);
        if (!IsDigitCell(c)) cell->SetDisplayType(SignType(c));
        cell->move(x, 0);
        x += cell->width() + 1;
        FCells.push_back(cell);
    }
    resize(std::max(x - 1, 1), FCells.empty() ? 1 : FCells.front()->height());
    SetText(layout);
}

void TMMLEDReadout::SetText(const std::string &text) {
    FText = text.substr(0, FCells.size());
    for (std::size_t i = 0; i < FCells.size(); ++i) {
        TMMLEDDigit *cell = FCells[i];
        const char c = i < FText.size() ? FText[i] : ' ';
        const bool digit = cell->DisplayType() == ltDigit;
        const bool lit = digit ? c >= '0' && c <= '9' : !IsDigitCell(c) && SignType(c) == cell->DisplayType();
        if (digit && lit) cell->SetValue(c - '0');
        cell->SetEnabled(lit);
    }
}

void TMMLEDReadout::SetLEDColor(TColor color) {
    if (color == FLEDColor) return;
    FLEDColor = color;
    for (TMMLEDDigit *cell : FCells)
        cell->SetLEDColor(color);
}

void TMMLEDReadout::SetInactiveColor(TColor color) {
    for (TMMLEDDigit *cell : FCells)
        cell->SetInactiveColor(color);
}
