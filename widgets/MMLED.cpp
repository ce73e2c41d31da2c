#include "widgets/MMLED.h"

#include <QEvent>
#include <QPainter>

TMMLED::TMMLED(QWidget *parent) : TMMGraphicControl(parent) {
    SetColor(clGreen);
    resize(16, 8);
}

void TMMLED::SetLEDColor(TColor value) {
    if (value == FLEDColor) return;
    FLEDColor = value;
    if (Enabled()) update(LampRect().ToQRect());
}

void TMMLED::SetCaption(const QString &value) {
    if (value == FCaption) return;
    FCaption = value;
    update();
}

void TMMLED::SetOnPaint(TMMPaintEvent handler) {
    FOnPaint = std::move(handler);
    update();
}

void TMMLED::Paint(QPainter &canvas) {
    TMMGraphicControl::Paint(canvas);
    if (FOnPaint) {
        FOnPaint(this, canvas, ClientRect());
        return;
    }
    const QRect lamp = LampRect().ToQRect();
    canvas.fillRect(lamp, ToQColor(Enabled() ? FLEDColor : Color()));
    if (FCaption.isEmpty()) return;
    QString line = FCaption;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).remove(QLatin1Char('\r'));
    canvas.setFont(font());
    canvas.setPen(ToQColor(FontColor()));
    canvas.setBackgroundMode(Qt::TransparentMode);
    canvas.drawText(lamp, Qt::AlignCenter | Qt::TextExpandTabs | Qt::TextSingleLine, line);
}

void TMMLED::changeEvent(QEvent *event) {
    if (event->type() != QEvent::EnabledChange) {
        TMMGraphicControl::changeEvent(event);
        return;
    }
    if (OnScreen(*this)) {
        if (FCaption.isEmpty() && !FOnPaint)
            repaint(LampRect().ToQRect());
        else
            repaint();
    }
    QWidget::changeEvent(event);
}
