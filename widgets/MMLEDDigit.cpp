#include "widgets/MMLEDDigit.h"

#include "widgets/MMDigitCache.h"

#include <QPainter>
#include <algorithm>

TMMCustomLEDDigit::TMMCustomLEDDigit(QWidget *parent) : TMMGraphicControl(parent) {
    // Without a strip nothing is drawn and the parent shows.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    resize(11, 21);
    SetParentColor(true); // takes the strip unless loading
}

TMMCustomLEDDigit::~TMMCustomLEDDigit() {
    for (TMMCustomLEDDigit *digit : FConnectedBy)
        digit->FConnect = nullptr;
    SetConnect(nullptr);
    TDigitCache::Release(FStrip);
}

void TMMCustomLEDDigit::SetDigitSize(TMMLEDSize value) {
    if (value == FDigitSize || !MMLEDSizeValid(value)) return;
    FDigitSize = value;
    ReloadStrip();
}

void TMMCustomLEDDigit::SetDisplayType(TMMLEDType value) {
    if (value == FDisplayType || value < ltDigit || value > ltMinus) return;
    FDisplayType = value;
    ReloadStrip();
}

void TMMCustomLEDDigit::SetValue(int value) {
    if (FCascadeValues && FConnect != nullptr) FConnect->SetValue(value / 10);
    const int digit = MMLEDDigitTakes(value, FMinValue, FMaxValue);
    if (digit < 0 || digit == FValue) return;
    FValue = digit;
    RepaintNow();
}

void TMMCustomLEDDigit::SetMinValue(int value) {
    if (value == FMinValue || value < 0 || value > 9 || value > FMaxValue) return;
    FMinValue = value;
    if (FValue < FMinValue) {
        FValue = FMinValue;
        RepaintNow();
    }
}

void TMMCustomLEDDigit::SetMaxValue(int value) {
    if (value == FMaxValue || value < 0 || value > 9 || value < FMinValue) return;
    FMaxValue = value;
    if (FValue > FMaxValue) {
        FValue = FMaxValue;
        RepaintNow();
    }
}

void TMMCustomLEDDigit::SetZeroBlank(bool value) {
    if (value == FZeroBlank) return;
    FZeroBlank = value;
    update();
}

void TMMCustomLEDDigit::SetDrawInactive(bool value) {
    if (value == FDrawInactive) return;
    FDrawInactive = value;
    ReloadStrip();
}

void TMMCustomLEDDigit::SetLEDColor(TColor value) {
    if (value == FLEDColor) return;
    FLEDColor = value;
    ReloadStrip();
}

void TMMCustomLEDDigit::SetInactiveColor(TColor value) {
    if (value == FInactiveColor) return;
    FInactiveColor = value;
    ReloadStrip();
}

void TMMCustomLEDDigit::SetConnect(TMMCustomLEDDigit *value) {
    if (value == FConnect || value == this) return;
    for (const TMMCustomLEDDigit *d = value; d != nullptr; d = d->FConnect)
        if (d == this) return; // would close a ring
    if (FConnect != nullptr) std::erase(FConnect->FConnectedBy, this);
    FConnect = value;
    if (FConnect != nullptr) FConnect->FConnectedBy.push_back(this);
}

int TMMCustomLEDDigit::CellIndex() const {
    return MMLEDDigitCell(FDisplayType, FValue, Enabled(), FZeroBlank);
}

void TMMCustomLEDDigit::Loaded() {
    TMMGraphicControl::Loaded();
    ReloadStrip();
}

void TMMCustomLEDDigit::ColorChanged() {
    ReloadStrip();
    TMMGraphicControl::ColorChanged();
}

void TMMCustomLEDDigit::ReloadStrip() {
    if (IsLoading()) return;
    // The new look first, so a strip this digit alone holds is not freed and
    // loaded again when the look comes back to it.
    const QImage *strip = TDigitCache::Acquire(MMLEDUsesSignStrip(FDisplayType), FDigitSize, Color(),
                                               FInactiveColor, FLEDColor, FDrawInactive);
    TDigitCache::Release(FStrip);
    FStrip = strip;
    setAttribute(Qt::WA_OpaquePaintEvent, FStrip != nullptr);
    if (FStrip != nullptr) {
        const int cells = MMLEDUsesSignStrip(FDisplayType) ? kMMSignCells : kMMDigitCells;
        setFixedSize(FStrip->width() / cells, FStrip->height());
    } else {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    update();
}

void TMMCustomLEDDigit::RepaintNow() {
    if (OnScreen(*this))
        repaint();
    else
        update();
}

void TMMCustomLEDDigit::Paint(QPainter &canvas) {
    if (FStrip == nullptr) return;
    const int cells = MMLEDUsesSignStrip(FDisplayType) ? kMMSignCells : kMMDigitCells;
    const int cw = FStrip->width() / cells;
    canvas.drawImage(QPoint(0, 0), *FStrip, QRect(CellIndex() * cw, 0, cw, FStrip->height()));
}
