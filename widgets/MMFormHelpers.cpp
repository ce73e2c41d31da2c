#include "widgets/MMFormHelpers.h"

namespace {

QFont Face(const char *family, int pixels, bool bold) {
    QFont f(family);
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

} // namespace

QFont GothicFont(int pixels, bool bold) {
    return Face("IPAGothic", pixels, bold);
}

QFont ProportionalGothicFont(int pixels) {
    return Face("IPAPGothic", pixels, false);
}

QFont ArialFont(int pixels, bool bold) {
    return Face("Liberation Sans", pixels, bold);
}

void SetColors(QWidget *w, TColor text, TColor background) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, ToQColor(text));
    w->setPalette(p);
    if (background != clNone) SetBackground(w, background);
}

void SetBackground(QWidget *w, TColor background) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, ToQColor(background));
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

TMMPanel *AddMMPanel(QWidget *parent, const QString &name, const QRect &geometry, TColor face) {
    auto *panel = new TMMPanel(parent);
    panel->setObjectName(name);
    panel->SetBounds(geometry.x(), geometry.y(), geometry.width(), geometry.height());
    if (face != clNone) panel->SetColor(face);
    return panel;
}

void SetOuterRingColor(TMMPanel *panel, TColor color) {
    TMMBevel &bevel = panel->Bevel();
    bevel.BeginUpdate();
    bevel.SetOuterLightColor(color);
    bevel.SetOuterShadowColor(color);
    bevel.EndUpdate();
}

QLabel *AddLabel(QWidget *parent, const QString &name, QPoint at, const QString &text, TColor color,
                 const QFont &font) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(font);
    SetColors(label, color);
    label->move(at);
    label->adjustSize();
    return label;
}

QLabel *AddPicture(QWidget *parent, const QString &name, const QRect &geometry, const QString &resource) {
    auto *picture = new QLabel(parent);
    picture->setObjectName(name);
    picture->setGeometry(geometry);
    if (!resource.isEmpty()) picture->setPixmap(QPixmap(resource));
    return picture;
}
