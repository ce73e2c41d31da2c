#include "app/FormHelpers.h"

#include <QFileDialog>

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

TMMNumberEdit *AddNumberBox(QWidget *parent, const QString &name, QPoint at, int min, int max,
                            const QString &unit) {
    auto *edit = new TMMNumberEdit(parent);
    edit->setObjectName(name);
    edit->SetReadOnly(true);
    edit->SetBounds(at.x(), at.y(), 35, 20);
    edit->SetMinValue(min);
    edit->SetMaxValue(max);
    AddLabel(parent, name + "Unit", at + QPoint(39, 4), unit, clWhite, GothicFont(12));
    return edit;
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

// The caption of a page button: plain lime text (no relief) across the button's face.
TMMLabel *AddPageCaption(TMMPanel *button, const QString &name, const QString &caption, const QFont &font) {
    auto *label = new TMMLabel(button);
    label->setObjectName(name);
    label->SetEffectStyle(lsCustom);
    label->SetDepthHighlight(0);
    label->SetDepthShadow(0);
    // The relief layers lie under the text; in the face colour their smoothed edges stay unseen.
    label->SetColourHighlight(button->Color());
    label->SetColourShadow(button->Color());
    label->SetFont(font);
    label->SetFontColor(clLime);
    label->SetAlignment(taCenter);
    label->SetCaption(caption);
    const TRect inner = button->InnerRect();
    label->SetBounds(inner.Left, inner.Top + 1, inner.Width(), inner.Height() - 1);
    return label;
}

TFolderControls AddLogFolderControls(QWidget *parent, const QString &prefix, const QString &title,
                                     const QRect &button, const QRect &label, TAskFolder &ask,
                                     std::function<void(const QString &)> chosen) {
    ask = [parent, title](const QString &current) {
        return QFileDialog::getExistingDirectory(parent, title, current);
    };
    TFolderControls controls;
    controls.Button = AddPushButton(parent, prefix + "FolderBtn", "Log folder...", button);
    controls.Label =
        AddLabel(parent, prefix + "FolderLbl", label.topLeft(), QString(), clSilver, ArialFont(9, false));
    controls.Label->setWordWrap(true);
    controls.Label->setGeometry(label);
    controls.Label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QObject::connect(controls.Button, &QPushButton::clicked, parent,
                     [&ask, shown = controls.Label, chosen = std::move(chosen)] {
                         const QString folder = ask(shown->text());
                         if (!folder.isEmpty()) chosen(folder);
                     });
    return controls;
}
