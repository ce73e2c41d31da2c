#include "widgets/MMCustomPanel.h"

#include <QPainter>

TMMCustomPanel::TMMCustomPanel(QWidget *parent) : TMMControl(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    setFocusPolicy(Qt::NoFocus);
    SetFontColor(clBtnText);
}

void TMMCustomPanel::SetCaption(const QString &value) {
    if (value == FCaption) return;
    FCaption = value;
    update();
}

void TMMCustomPanel::SetAlignment(TAlignment value) {
    if (value == FAlignment) return;
    FAlignment = value;
    update();
}

void TMMCustomPanel::SetCtl3D(bool value) {
    if (value == FCtl3D) return;
    FCtl3D = value;
    FParentCtl3D = false;
    update();
}

void TMMCustomPanel::SetTabOrder(int value) {
    FTabOrder = value;
    QWidget *parent = parentWidget();
    if (parent == nullptr || value < 0) return;
    // Rebuild the chain of focusable siblings with this panel at `value`.
    QList<QWidget *> chain;
    for (QObject *child : parent->children())
        if (auto *w = qobject_cast<QWidget *>(child);
            w != nullptr && w != this && w->focusPolicy() != Qt::NoFocus)
            chain.append(w);
    chain.insert(std::min<qsizetype>(value, chain.size()), this);
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void TMMCustomPanel::Paint(QPainter &canvas) {
    const TRect inner = PaintBevel(canvas);
    canvas.fillRect(inner.ToQRect(), ToQColor(Color()));
    if (FCaption.isEmpty()) return;
    canvas.setFont(font());
    canvas.setPen(ToQColor(FontColor()));
    canvas.setClipRect(inner.ToQRect());
    // One line, tabs expanded, centred vertically.
    QString line = FCaption;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).remove(QLatin1Char('\r'));
    canvas.drawText(inner.ToQRect(), MMHorzAlignment(FAlignment) | Qt::AlignVCenter | Qt::TextExpandTabs,
                    line);
}

void TMMCustomPanel::focusInEvent(QFocusEvent *event) {
    TMMControl::focusInEvent(event);
    if (FOnEnter) FOnEnter(this);
}

void TMMCustomPanel::focusOutEvent(QFocusEvent *event) {
    TMMControl::focusOutEvent(event);
    if (FOnExit) FOnExit(this);
}
