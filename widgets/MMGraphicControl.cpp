#include "widgets/MMGraphicControl.h"

#include <QPainter>

TMMGraphicControl::TMMGraphicControl(QWidget *parent) : TMMControl(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void TMMGraphicControl::SetTransparent(bool value) {
    if (value == FTransparent) return;
    FTransparent = value;
    setAttribute(Qt::WA_OpaquePaintEvent, !value);
    // At once, so the parent's picture appears (or disappears) behind it.
    if (isVisible()) repaint();
}

void TMMGraphicControl::Paint(QPainter &canvas) {
    const TRect inner = PaintBevel(canvas);
    if (!FTransparent)
        canvas.fillRect(inner.ToQRect(), ToQColor(Color()));
    else if (IsDesigning() && Bevel().TotalWidth() == 0) {
        // Otherwise invisible at design time: outline it.
        canvas.setPen(QPen(Qt::black, 1, Qt::DashLine));
        canvas.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
