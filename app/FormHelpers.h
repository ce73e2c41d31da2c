#pragma once

// What the console's windows share when they build their controls: the faces of the type, the
// console's colours, and makers for the plain controls placed at fixed coordinates. All of it
// runs on the GUI thread.

#include "app/Placeholder.h"
#include "widgets/MMBorder.h"
#include "widgets/MMColors.h"
#include "widgets/MMPanel.h"
#include "widgets/MMSpinButton.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QString>

constexpr TColor kWindowColor = 4869450; // the windows' dark grey
constexpr TColor kPanelFace = 2040095;   // the near-black face of the instrument panels
constexpr TColor kLedOrange = 33023;

// The fixed-pitch Japanese Gothic, so read-outs keep their width as the digits change.
QFont GothicFont(int pixels, bool bold = false);
// The proportional cut of the same Gothic.
QFont ProportionalGothicFont(int pixels);
QFont ArialFont(int pixels, bool bold);

// Text colour, and a filled ground unless the background is clNone.
void SetColors(QWidget *w, TColor text, TColor background = clNone);
void SetBackground(QWidget *w, TColor background);

// Where an instrument goes until it arrives: its size and face, a frame when it has a bevel.
TPlaceholder *AddPanel(QWidget *parent, const QString &name, const QRect &geometry, TColor face,
                       const QColor &frame = QColor());
// A panel without bevel: only a face.
QWidget *AddPlainPanel(QWidget *parent, const QString &name, const QRect &geometry, TColor face);
// A bevelled panel with the default lowered outer ring; clNone keeps clBtnFace.
TMMPanel *AddMMPanel(QWidget *parent, const QString &name, const QRect &geometry, TColor face = clNone);
// A border without bevel: a plain line in `color`.
TMMBorder *AddLine(QWidget *parent, const QString &name, const QRect &geometry, TColor color);
TMMSpinButton *AddSpinButton(QWidget *parent, const QString &name, QPoint at);
// Both colours of a panel's outer ring, as one change.
void SetOuterRingColor(TMMPanel *panel, TColor color);

// An auto-sized label with a transparent ground, its top-left corner at `at`.
QLabel *AddLabel(QWidget *parent, const QString &name, QPoint at, const QString &text, TColor color,
                 const QFont &font);
QLabel *AddPicture(QWidget *parent, const QString &name, const QRect &geometry, const QString &resource = {});
// A lamp with a black body and its caption in bold 11-pixel type, drawn in the lamp colour.
QLabel *AddLed(QWidget *parent, const QString &name, const QRect &geometry, TColor ledColor,
               const QString &caption);

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
