#pragma once

// The console's two layouts as numbers: where the movable panels sit on the window in each.
// No widgets here; TMainForm::PlaceLayout applies a row.

#include <QPoint>
#include <QRect>

enum class TConsoleLayout {
    Lower, // the VU section below the phase section: the start layout
    Upper  // the VU section on top
};

struct TLayoutPlaces {
    QPoint PnlPhase;      // top-left on the window
    QPoint PnlVU;         // top-left on the window
    QPoint PanelSpectrum; // over the small window, wherever PnlPhase goes
    int VUPos;            // the setting that stands for this layout
};

// The small window (PanelGrph) inside PnlPhase. PanelSpectrum, a child of the window itself,
// covers exactly this rectangle.
inline constexpr QRect SmallWindowInPhase{511, 91, 278, 133};

TLayoutPlaces LayoutPlaces(TConsoleLayout layout);

// The layout a VUPos setting asks for: 1 is the VU section on top, any other value below.
TConsoleLayout LayoutOfVUPos(int vuPos);
