#pragma once

// Stand-in for the phase laws and the phase picture until their own files
// arrive; with those present it only includes them.

#if __has_include("widgets/MMPhaseDraw.h") && __has_include("analysis/MMPhaseLaws.h")

#include "analysis/MMPhaseLaws.h"
#include "widgets/MMPhaseDraw.h"

#else

#include "widgets/MMDIBCanvas.h"

#include <QRect>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

enum TSpectrumMode { smNormal = 0, smPhase = 1 };
enum TPhaseMode { pmOscillo = 0, pmStereo = 1 };

// 0.5..2.0 rounded to one decimal; anything else (NaN included) gives 1.0.
inline double PhaseRangeFactor(double request) {
    if (!(request >= 0.5 && request <= 2.0)) return 1.0;
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", request);
    return std::strtod(text, nullptr);
}

struct TPhaseGeometry {
    int CenterX, CenterY, RadiusX, RadiusY;
};

// Dots, then the two axes through the centre.
inline void DrawPhasePicture(TMMDIBCanvas &canvas, const QRect &area, TPhaseMode mode,
                             const TPhaseGeometry &g, TColor phaseColor, TColor axisColor,
                             const std::int16_t *left, const std::int16_t *right, int n) {
    (void)area;
    canvas.SetColor(phaseColor);
    for (int i = 0; i < n; ++i) {
        const double l = left[i] / 32767.0, r = right[i] / 32767.0;
        const double dx = mode == pmStereo ? 0.70711 * (r - l) : r;
        const double dy = mode == pmStereo ? 0.70711 * (l + r) : l;
        canvas.SetPixel(g.CenterX + static_cast<int>(std::nearbyint(g.RadiusX * dx)),
                        g.CenterY - static_cast<int>(std::nearbyint(g.RadiusY * dy)));
    }
    canvas.SetColor(axisColor);
    canvas.HLine(0, canvas.Width() - 1, g.CenterY, 4);
    canvas.VLine(g.CenterX, 0, canvas.Height() - 1, 4);
}

#endif
