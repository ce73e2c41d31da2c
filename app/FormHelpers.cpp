#include "app/FormHelpers.h"

TPlaceholder *AddPanel(QWidget *parent, const QString &name, const QRect &geometry, TColor face,
                       const QColor &frame) {
    return new TPlaceholder(parent, name, geometry, ToQColor(face), frame);
}

QWidget *AddPlainPanel(QWidget *parent, const QString &name, const QRect &geometry, TColor face) {
    auto *panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->setGeometry(geometry);
    SetBackground(panel, face);
    return panel;
}

TMMBorder *AddLine(QWidget *parent, const QString &name, const QRect &geometry, TColor color) {
    auto *line = new TMMBorder(parent);
    line->setObjectName(name);
    line->Bevel().SetBevelOuter(bvNone);
    line->SetColor(color);
    line->SetBounds(geometry.x(), geometry.y(), geometry.width(), geometry.height());
    return line;
}

TMMSpinButton *AddSpinButton(QWidget *parent, const QString &name, QPoint at) {
    auto *spin = new TMMSpinButton(parent);
    spin->setObjectName(name);
    spin->move(at);
    return spin;
}

TMMLED *AddLed(QWidget *parent, const QString &name, const QRect &geometry, TColor ledColor,
               const QString &caption) {
    auto *led = new TMMLED(parent);
    led->setObjectName(name);
    led->SetName(name.toStdString());
    led->SetBounds(geometry.x(), geometry.y(), geometry.width(), geometry.height());
    led->SetColor(clBlack);
    led->SetLEDColor(ledColor);
    led->SetFont(ArialFont(11, true));
    led->SetCaption(caption);
    return led;
}

QPushButton *AddPushButton(QWidget *parent, const QString &name, const QString &caption,
                           const QRect &geometry) {
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setFont(ProportionalGothicFont(12));
    button->setGeometry(geometry);
    return button;
}
