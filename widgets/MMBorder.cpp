#include "widgets/MMBorder.h"

#include <QPainter>

TMMBorder::TMMBorder(QWidget *parent) : TMMGraphicControl(parent) {
    SetColor(clWindow);
    SetParentColor(true);
    resize(185, 41);
}

void TMMBorder::Paint(QPainter &canvas) {
    // A line stays visible even when transparent: it has no bevel to show.
    if ((width() == 1 || height() == 1) && Bevel().TotalWidth() == 0) {
        canvas.fillRect(rect(), ToQColor(Color()));
        return;
    }
    TMMGraphicControl::Paint(canvas);
}
