#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

// Fills a plain widget with one colour, so a test sees what lies over it.
inline void SetSolidBackground(QWidget &widget, const QColor &color) {
    widget.setAutoFillBackground(true);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, color);
    widget.setPalette(palette);
}
