#include "clock/WatchFace.h"

#include <QPainter>

TWatchFace::TWatchFace(QWidget *parent) : TMMPanel(parent) {}

void TWatchFace::DrawRingCircle(TColor color, int radius) {
    const TRingCircle circle{color, FBrushColor, radius};
    FRing.Draw(circle);
    // The outline reaches one pixel past the box.
    if (OnScreen(*this)) repaint(circle.Box().adjusted(-1, -1, 1, 1));
}

void TWatchFace::Paint(QPainter &canvas) {
    TMMPanel::Paint(canvas);
    canvas.setRenderHint(QPainter::Antialiasing, false);
    for (const TRingCircle &c : FRing.Circles()) {
        canvas.setPen(QPen(ToQColor(c.Pen), 1));
        canvas.setBrush(ToQColor(c.Brush));
        canvas.drawEllipse(c.Box());
    }
}
