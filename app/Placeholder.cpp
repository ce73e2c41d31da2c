#include "app/Placeholder.h"

#include <QPainter>

TPlaceholder::TPlaceholder(QWidget *parent, const QString &name, const QRect &geometry, const QColor &face,
                           const QColor &frame)
    : QWidget(parent), FFace(face), FFrame(frame) {
    setObjectName(name);
    setGeometry(geometry);
}

void TPlaceholder::SetFrame(const QColor &frame) {
    if (frame == FFrame) return;
    FFrame = frame;
    update();
}

void TPlaceholder::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), FFace);
    if (FFrame.isValid()) {
        p.setPen(FFrame);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
