#include "widgets/MMPhaseDraw.h"

#include <algorithm>

namespace {

// One colour's pixels clipped to a rectangle; no per-pixel checks beyond the clip.
class TPixelWriter {
  public:
    TPixelWriter(const TMMDIBPixels &pixels, const TRect &clip) : FPixels(pixels), FClip(clip) {}

    void SetColor(TColor color) {
        if (FPixels.BitsPerPixel == 8) {
            FColor[0] = TMMDIBCanvas::NearestIndex(color);
            return;
        }
        const TColor rgb = ColorToRGB(color);
        FColor[0] = static_cast<std::uint8_t>((rgb >> 16) & 0xFF);
        FColor[1] = static_cast<std::uint8_t>((rgb >> 8) & 0xFF);
        FColor[2] = static_cast<std::uint8_t>(rgb & 0xFF);
    }

    void Plot(int x, int y) {
        if (!FClip.Contains(x, y)) return;
        std::uint8_t *row = FPixels.Bits + std::size_t(y) * FPixels.Stride;
        if (FPixels.BitsPerPixel == 8) {
            row[x] = FColor[0];
            return;
        }
        std::uint8_t *p = row + std::size_t(x) * 3;
        p[0] = FColor[0];
        p[1] = FColor[1];
        p[2] = FColor[2];
    }

  private:
    TMMDIBPixels FPixels;
    TRect FClip;
    std::uint8_t FColor[3] = {0, 0, 0};
};

} // namespace

TRect DrawPhasePicture(TMMDIBCanvas &canvas, const QRect &area, TPhaseMode mode, const TPhaseGeometry &g,
                       TColor phaseColor, TColor axisColor, const std::int16_t *left,
                       const std::int16_t *right, int n) {
    const TRect clip = canvas.ClipRect();
    canvas.SetClipRect(clip); // changes nothing; raises unless the caller holds the drawing bracket
    const TRect box = TRect::FromQRect(area);
    TPixelWriter writer(canvas.Pixels(), box.Intersected(clip));
    const int cx = box.Left + g.CenterX, cy = box.Top + g.CenterY;

    writer.SetColor(phaseColor);
    int minX = cx, maxX = cx, minY = cy, maxY = cy;
    if (left != nullptr && right != nullptr) {
        const TPhaseScale scale = PhaseScale(mode, g.RadiusX, g.RadiusY);
        for (int i = 0; i < n; ++i) {
            const TPhaseOffset d = PhaseDotOffset(mode, scale, left[i], right[i]);
            writer.Plot(cx + d.X, cy + d.Y);
            minX = std::min(minX, cx + d.X);
            maxX = std::max(maxX, cx + d.X);
            minY = std::min(minY, cy + d.Y);
            maxY = std::max(maxY, cy + d.Y);
        }
    }
    const TRect dots =
        n > 0 ? Rect(minX, minY, maxX + 1, maxY + 1).Intersected(box.Intersected(clip)) : TRect{};

    writer.SetColor(axisColor);
    const int step = mode == pmStereo ? 4 : 3;
    if (mode == pmStereo) {
        // Dotted diagonals, a dot every 8 pixels out to the area's bottom edge.
        const int rings = (box.Height() - g.CenterY) / 8;
        for (int k = 0; k <= rings; ++k) {
            const int d = 8 * k;
            writer.Plot(cx + d, cy + d);
            writer.Plot(cx - d, cy - d);
            writer.Plot(cx + d, cy - d);
            writer.Plot(cx - d, cy + d);
        }
    }
    // The axis dots are counted from the area's edges, not from the centre.
    for (int x = box.Left; x < box.Right; x += step)
        writer.Plot(x, cy);
    for (int y = box.Top; y < box.Bottom; y += step)
        writer.Plot(cx, y);
    return dots;
}
