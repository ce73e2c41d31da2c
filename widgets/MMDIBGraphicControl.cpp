#include "widgets/MMDIBGraphicControl.h"

#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QThread>
#include <QWindow>
#include <mutex>

TMMDIBGraphicControl::TMMDIBGraphicControl(QWidget *parent) : TMMGraphicControl(parent), FDIBCanvas(this) {}

void TMMDIBGraphicControl::SetBackGroundDIB(const QImage &bitmap) {
    FBackGroundDIB = bitmap;
    UpdateCanvasBackGround();
    BackGroundChanged();
}

void TMMDIBGraphicControl::SetUseBackGroundDIB(bool value) {
    if (value && FBackGroundDIB.isNull()) return;
    if (value == FUseBackGroundDIB) return;
    FUseBackGroundDIB = value;
    FDIBCanvas.SetPaletteRealize(value);
    UpdateCanvasBackGround();
    BackGroundChanged();
}

void TMMDIBGraphicControl::UpdateCanvasBackGround() {
    FDIBCanvas.SetBackGroundBitmap(FUseBackGroundDIB ? FBackGroundDIB : QImage());
}

void TMMDIBGraphicControl::SetPaletteRealize(bool value) {
    if (value == FDIBCanvas.PaletteRealize()) return;
    FDIBCanvas.SetPaletteRealize(value);
    update();
}

void TMMDIBGraphicControl::SetPaletteMapped(bool value) {
    if (value == FDIBCanvas.PaletteMapped()) return;
    FDIBCanvas.SetPaletteMapped(value);
    update();
}

void TMMDIBGraphicControl::SetBitsPerPixel(int bits) {
    if (bits == FDIBCanvas.BitsPerPixel()) return;
    FDIBCanvas.SetBitsPerPixel(bits); // raises on a depth it cannot hold
    BitsPerPixelChanged();
}

void TMMDIBGraphicControl::BitsPerPixelChanged() {
    update();
}

void TMMDIBGraphicControl::BackGroundChanged() {
    update();
}

bool TMMDIBGraphicControl::DrawAtOnce(const TDrawRoutine &routine) {
    if (!isVisible() || parentWidget() == nullptr || FAtOnce != nullptr) return false;
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) return false;
    // Covered, or its window not on the screen (yet): nothing to draw on.
    const QWindow *handle = window()->windowHandle();
    if (handle == nullptr || !handle->isExposed() || visibleRegion().isEmpty()) return false;
    std::lock_guard<TMMDIBCanvas> lock(FDIBCanvas);
    FAtOnce = &routine;
    repaint();
    const bool ran = FAtOnce == nullptr;
    FAtOnce = nullptr;
    return ran;
}

void TMMDIBGraphicControl::paintEvent(QPaintEvent *event) {
    if (FAtOnce == nullptr) {
        TMMGraphicControl::paintEvent(event);
        return;
    }
    QPainter painter(this);
    // A paint that was pending anyway is served in the same pass: keep the
    // frame; the routine covers the inner rectangle.
    if (!InnerRect().ToQRect().contains(event->rect())) PaintBevel(painter);
    const TDrawRoutine *routine = FAtOnce;
    FAtOnce = nullptr; // marks the routine as run
    (*routine)(painter);
}

void TMMDIBGraphicControl::Paint(QPainter &canvas) {
    const TRect inner = PaintBevel(canvas);
    std::lock_guard<TMMDIBCanvas> lock(FDIBCanvas);
    FDIBCanvas.CopyToDevice(canvas, inner.Left, inner.Top, inner.Width(), inner.Height());
}
