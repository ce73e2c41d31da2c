#pragma once

// What the console's windows share when they build their controls, beyond the makers every
// window shares (widgets/MMFormHelpers.h): the stand-ins for instruments still to come, and
// makers for the plain controls placed at fixed coordinates. All of it runs on the GUI thread.

#include "app/Placeholder.h"
#include "widgets/MMBorder.h"
#include "widgets/MMFormHelpers.h"
#include "widgets/MMLED.h"
#include "widgets/MMLabel.h"
#include "widgets/MMNumberEdit.h"
#include "widgets/MMPanel.h"
#include "widgets/MMSpinButton.h"

#include <QLabel>
#include <QPushButton>

#include <functional>

constexpr TColor kLedOrange = 33023;

// Where an instrument goes until it arrives: its size and face, a frame when it has a bevel.
TPlaceholder *AddPanel(QWidget *parent, const QString &name, const QRect &geometry, TColor face,
                       const QColor &frame = QColor());
// A panel without bevel: only a face.
QWidget *AddPlainPanel(QWidget *parent, const QString &name, const QRect &geometry, TColor face);
// A border without bevel: a plain line in `color`.
TMMBorder *AddLine(QWidget *parent, const QString &name, const QRect &geometry, TColor color);
TMMSpinButton *AddSpinButton(QWidget *parent, const QString &name, QPoint at);
// A number box 35 x 20 at `at`, driven by a spin button rather than typed into, kept to
// min .. max, its unit in white at its right.
TMMNumberEdit *AddNumberBox(QWidget *parent, const QString &name, QPoint at, int min, int max,
                            const QString &unit);

// A lamp with a black body, lit in `ledColor`, its caption in bold 11-pixel type.
TMMLED *AddLed(QWidget *parent, const QString &name, const QRect &geometry, TColor ledColor,
               const QString &caption);

// The caption of a page button: plain lime text (no relief) across the button's face.
TMMLabel *AddPageCaption(TMMPanel *button, const QString &name, const QString &caption, const QFont &font);

// A check box or radio button, sized to its caption.
template <class Button>
Button *AddButton(QWidget *parent, const QString &name, const QString &caption, QPoint at) {
    auto *button = new Button(caption, parent);
    button->setObjectName(name);
    button->move(at);
    button->adjustSize();
    return button;
}

// A push button of fixed size in the proportional Gothic, so the longest caption fits.
QPushButton *AddPushButton(QWidget *parent, const QString &name, const QString &caption,
                           const QRect &geometry);

// A "Log folder..." button and the label showing the folder (silver, wrapped), named
// PREFIXFolderBtn and PREFIXFolderLbl. `ask` becomes the folder dialog titled `title`; a click
// asks through it (read at the click, so tests may replace it) and hands a folder chosen to
// `chosen`. `ask` must outlive the button.
struct TFolderControls {
    QPushButton *Button;
    QLabel *Label;
};
using TAskFolder = std::function<QString(const QString &current)>;
TFolderControls AddLogFolderControls(QWidget *parent, const QString &prefix, const QString &title,
                                     const QRect &button, const QRect &label, TAskFolder &ask,
                                     std::function<void(const QString &)> chosen);
