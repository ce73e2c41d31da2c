#include "widgets/MMDIBGraphicControl.h"

#include "core/MainThread.h"
#include "widgets/MMFrameClock.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QWindow>

#include <mutex>
#include <span>
#include <vector>

TMMDIBGraphicControl::TMMDIBGraphicControl(QWidget *parent) : TMMGraphicControl(parent), FDIBCanvas(this) {}

TMMDIBGraphicControl::~TMMDIBGraphicControl() {
    if (TMMFrameClock *clock = TMMFrameClock::ExistingScreen()) clock->Cancel(this);
}

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
    return Draw(routine, nullptr, nullptr);
}

bool TMMDIBGraphicControl::DrawAtOnce(const TDrawRoutine &routine, const TRect &changed) {
    return Draw(routine, &changed, nullptr);
}

bool TMMDIBGraphicControl::DrawAtOnce(const TDrawRoutine &routine, const std::vector<TRect> &changed) {
    return Draw(routine, nullptr, &changed);
}

bool TMMDIBGraphicControl::Draw(const TDrawRoutine &routine, const TRect *one,
                                const std::vector<TRect> *many) {
    if (!CheckMainThread() || parentWidget() == nullptr || FInRoutine) return false;
    if (!OnScreen(*this)) {
        // Nothing is drawn off the screen; the toolkit keeps a marked area until the
        // expose that brings the window back, whose paint draws the control whole.
        if (isVisible() && !FPaintOwed) {
            FPaintOwed = true;
            update();
        }
        return false;
    }
    {
        std::lock_guard<TMMDIBCanvas> lock(FDIBCanvas);
        FInRoutine = true;
        const auto done = qScopeGuard([this] { FInRoutine = false; });
        routine(FDIBCanvas);
    }
    // Read only now: the routine may have set them.
    const bool whole = one == nullptr && many == nullptr;
    const std::span<const TRect> changed = one != nullptr    ? std::span<const TRect>(one, 1)
                                           : many != nullptr ? std::span<const TRect>(*many)
                                                             : std::span<const TRect>();
    const TRect canvas = Rect(0, 0, FDIBCanvas.Width(), FDIBCanvas.Height());
    const TRect inner = CanvasRect();
    const auto onScreen = [&](const TRect &part) {
        return part.Intersected(canvas).Translated(inner.Left, inner.Top).Intersected(inner).ToQRect();
    };
    // One rectangle, what most blocks draw, stays clear of the region's heap.
    if (whole || changed.size() == 1) {
        TMMFrameClock::Screen().Schedule(this, onScreen(whole ? canvas : changed.front()));
        return true;
    }
    // A needle's bands come as rows top to bottom, one rectangle each. Joined where a row
    // continues the one above at its width, they are the region as it keeps them, made in one
    // go; a union per band would reallocate it every time.
    std::vector<QRect> parts;
    parts.reserve(changed.size());
    bool rows = true;
    for (const TRect &part : changed) {
        const QRect r = onScreen(part);
        if (r.isEmpty()) continue;
        if (!parts.empty()) {
            QRect &last = parts.back();
            rows = rows && r.top() > last.bottom();
            if (last.left() == r.left() && last.right() == r.right() && last.bottom() + 1 == r.top()) {
                last.setBottom(r.bottom());
                continue;
            }
        }
        parts.push_back(r);
    }
    QRegion region;
    if (rows) {
        region.setRects(parts.data(), static_cast<int>(parts.size()));
    } else {
        for (const QRect &part : parts)
            region += part;
    }
    TMMFrameClock::Screen().Schedule(this, region);
    return true;
}

bool TMMDIBGraphicControl::Presentable(const QRect &part) const {
    return !Transparent() && CanvasRect().ToQRect().contains(part);
}

void TMMDIBGraphicControl::CopyPicture(const QRect &part, std::uint8_t *bits, int stride) {
    const TRect inner = CanvasRect();
    std::lock_guard<TMMDIBCanvas> lock(FDIBCanvas);
    FDIBCanvas.CopyTo(bits, stride, TRect::FromQRect(part).Translated(-inner.Left, -inner.Top));
}

void TMMDIBGraphicControl::paintEvent(QPaintEvent *event) {
    FPaintOwed = false;
    FExposed = event->region();
    const auto done = qScopeGuard([this] { FExposed = QRegion(); });
    TMMGraphicControl::paintEvent(event);
}

void TMMDIBGraphicControl::Paint(QPainter &canvas) {
    const TRect inner = CanvasRect();
    const QRegion exposed = FExposed.isEmpty() ? QRegion(ClientRect().ToQRect()) : FExposed;
    if (!exposed.subtracted(inner.ToQRect()).isEmpty()) PaintBevel(canvas);
    std::lock_guard<TMMDIBCanvas> lock(FDIBCanvas);
    for (const QRect &part : exposed)
        FDIBCanvas.CopyToDevice(
            canvas, inner.Left, inner.Top,
            TRect::FromQRect(part).Intersected(inner).Translated(-inner.Left, -inner.Top));
}
