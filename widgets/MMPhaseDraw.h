#pragma once

// The phase picture: one dot per sample pair, then the axes over them, written
// straight into a canvas's pixel memory. The laws live in analysis/MMPhaseLaws.h.

#include "analysis/MMPhaseLaws.h"
#include "widgets/MMColors.h"
#include "widgets/MMDIBCanvas.h"

#include <QRect>
#include <cstdint>

// Centre relative to the drawing area's origin; radii are the pixels a full-scale sample spans.
struct TPhaseGeometry {
    int CenterX, CenterY, RadiusX, RadiusY;
};

// Draws n dots in phaseColor, then the axes in axisColor, inside `area` (canvas
// coordinates); nothing outside it is touched and nothing is cleared. Runs inside
// the caller's drawing bracket on the canvas (raises the canvas's error otherwise),
// on whichever thread draws. Returns the bounds of the dots inside the area (empty
// when none): only there does the picture differ from one of silence.
TRect DrawPhasePicture(TMMDIBCanvas &canvas, const QRect &area, TPhaseMode mode, const TPhaseGeometry &g,
                       TColor phaseColor, TColor axisColor, const std::int16_t *left,
                       const std::int16_t *right, int n);
