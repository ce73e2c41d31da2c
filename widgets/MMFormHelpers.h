#pragma once

// What every window shares when it builds its controls: the faces of the type, the windows'
// colours, and makers for bevelled panels, labels and pictures placed at fixed coordinates.
// All of it runs on the GUI thread.

#include "widgets/MMColors.h"
#include "widgets/MMPanel.h"

#include <QFont>
#include <QLabel>
#include <QString>

constexpr TColor kWindowColor = 4869450; // the windows' dark grey
constexpr TColor kPanelFace = 2040095;   // the near-black face of the instrument panels

// The fixed-pitch Japanese Gothic, so read-outs keep their width as the digits change.
QFont GothicFont(int pixels, bool bold = false);
// The proportional cut of the same Gothic.
QFont ProportionalGothicFont(int pixels);
QFont ArialFont(int pixels, bool bold);

// Text colour, and a filled ground unless the background is clNone.
void SetColors(QWidget *w, TColor text, TColor background = clNone);
void SetBackground(QWidget *w, TColor background);

// A bevelled panel with the default lowered outer ring; clNone keeps clBtnFace.
TMMPanel *AddMMPanel(QWidget *parent, const QString &name, const QRect &geometry, TColor face = clNone);
// Both colours of a panel's outer ring, as one change.
void SetOuterRingColor(TMMPanel *panel, TColor color);

// An auto-sized label with a transparent ground, its top-left corner at `at`.
QLabel *AddLabel(QWidget *parent, const QString &name, QPoint at, const QString &text, TColor color,
                 const QFont &font);
// A picture control; the picture is read from `resource` when one is named.
QLabel *AddPicture(QWidget *parent, const QString &name, const QRect &geometry, const QString &resource = {});
