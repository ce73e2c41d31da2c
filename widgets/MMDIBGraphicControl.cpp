#include "widgets/MMDIBGraphicControl.h"

#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QThread>
#include <QWindow>
#include <mutex>

TMMDIBGraphicControl::TMMDIBGraphicControl(QWidget *parent) : TMMGraphicControl(parent), fDIBCanvas(this) {}

void TMMDIBGraphicControl::SetBackGroundDIB(const QImage &bitmap) {
    fBackGroundDIB = bitmap;
    UpdateCanvasBackGround();
    BackGroundChanged();
}

void TMMDIBGraphicControl::SetUseBackGroundDIB(bool value) {
    if (value && fBackGroundDIB.isNull()) return;
    if (value == fUseBackGroundDIB) return;
    fUseBackGroundDIB = value;
    fDIBCanvas.SetPaletteRealize(value);
    UpdateCanvasBackGround();
    BackGroundChanged();
}

void TMMDIBGraphicControl::UpdateCanvasBackGround() {
    fDIBCanvas.SetBackGroundBitmap(fUseBackGroundDIB ? fBackGroundDIB : QImage());
}

void TMMDIBGraphicControl::SetPaletteRealize(bool value) {
    if (value == fDIBCanvas.PaletteRealize()) return;
    fDIBCanvas.SetPaletteRealize(value);
    update();
}

void TMMDIBGraphicControl::SetPaletteMapped(bool value) {
    if (value == fDIBCanvas.PaletteMapped()) return;
    fDIBCanvas.SetPaletteMapped(value);
    update();
}

void TMMDIBGraphicControl::SetBitsPerPixel(int bits) {
    if (bits == fDIBCanvas.BitsPerPixel()) return;
    fDIBCanvas.SetBitsPerPixel(bits); // raises on a depth it cannot hold
    BitsPerPixelChanged();
}

void TMMDIBGraphicControl::BitsPerPixelChanged() {
    update();
}

void TMMDIBGraphicControl::BackGroundChanged() {
    update();
}

bool TMMDIBGraphicControl::DrawAtOnce(const TDrawRoutine &routine) {
    if (!isVisible() || parentWidget() == nullptr || fAtOnce != nullptr) return false;
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) return false;
    // Covered, or its window not on the screen (yet): nothing to draw on.
    const QWindow *handle = window()->windowHandle();
    if (handle == nullptr || !handle->isExposed() || visibleRegion().isEmpty()) return false;
    std::lock_guard<TMMDIBCanvas> lock(fDIBCanvas);
    fAtOnce = &routine;
    repaint();
    const bool ran = fAtOnce == nullptr;
    fAtOnce = nullptr;
    return ran;
}

void TMMDIBGraphicControl::paintEvent(QPaintEvent *event) {
    if (fAtOnce == nullptr) {
        TMMGraphicControl::paintEvent(event);
        return;
    }
    QPainter painter(this);
    // A paint that was pending anyway is served in the same pass: keep the
    // frame; the routine covers the inner rectangle.
    if (!InnerRect().ToQRect().contains(event->rect())) PaintBevel(painter);
    const TDrawRoutine *routine = fAtOnce;
    fAtOnce = nullptr; // marks the routine as run
    (*routine)(painter);
}

void TMMDIBGraphicControl::Paint(QPainter &canvas) {
    const TRect inner = PaintBevel(canvas);
    std::lock_guard<TMMDIBCanvas> lock(fDIBCanvas);
    fDIBCanvas.CopyToDevice(canvas, inner.Left, inner.Top, inner.Width(), inner.Height());
}
