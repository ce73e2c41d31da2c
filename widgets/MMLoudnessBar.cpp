#include "widgets/MMLoudnessBar.h"

#include "analysis/LoudnessMeter.h"

#include <QResizeEvent>

namespace {

constexpr TColor kDarkLime = 0x003000, kDarkYellow = 0x003030, kDarkRed = 0x000030, kTargetColor = clWhite;

} // namespace

TMMLoudnessBar::TMMLoudnessBar(QWidget *parent) : TMMDIBGraphicControl(parent), FValue(kNoLoudness) {
    SetColor(clBlack);
}

void TMMLoudnessBar::SetScale(const TLoudnessRange &range, int target) {
    if (range.Bottom == FRange.Bottom && range.Top == FRange.Top && target == FTarget) return;
    FRange = range;
    FTarget = target;
    FWorkValid = false;
    Redraw();
}

void TMMLoudnessBar::SetValue(double lufs) {
    FValue = lufs;
    Redraw();
}

void TMMLoudnessBar::resizeEvent(QResizeEvent *event) {
    TMMDIBGraphicControl::resizeEvent(event);
    FWorkValid = false;
}

// Row 0 is the top one. The tolerance is the target's ±1 LU.
TColor TMMLoudnessBar::RowColor(int row, bool lit) const {
    const int rows = Rows();
    if (row == LoudnessRowOf(FTarget, FRange, rows)) return kTargetColor;
    if (row < LoudnessRowOf(FTarget + 1, FRange, rows)) return lit ? clRed : kDarkRed;
    if (row <= LoudnessRowOf(FTarget - 1, FRange, rows)) return lit ? clYellow : kDarkYellow;
    return lit ? clLime : kDarkLime;
}

void TMMLoudnessBar::Redraw() {
    const int lit = LoudnessBarRows(FValue, FRange, Rows());
    if (FWorkValid && lit == FLit) return;
    FLit = lit;
    FWorkValid = DrawAtOnce([this](TMMDIBCanvas &work) { DrawWhole(work); });
}

void TMMLoudnessBar::DrawWhole(TMMDIBCanvas &work) {
    const TRect inner = CanvasRect();
    work.Resize(inner.Width(), inner.Height());
    const TMMDrawing drawing(work);
    work.SetColor(Color());
    work.Clear();
    const int rows = Rows();
    for (int row = 0; row < rows; ++row) {
        work.SetColor(RowColor(row, rows - row <= FLit));
        work.FillRect(Rect(0, row * RowPitch, inner.Width(), row * RowPitch + RowPitch - 1));
    }
}

void TMMLoudnessBar::Paint(QPainter &canvas) {
    if (!FWorkValid) {
        // What the readings would have drawn while the bar was off the screen.
        FLit = LoudnessBarRows(FValue, FRange, Rows());
        std::lock_guard<TMMDIBCanvas> lock(DIBCanvas());
        DrawWhole(DIBCanvas());
        FWorkValid = true;
    }
    TMMDIBGraphicControl::Paint(canvas);
}
