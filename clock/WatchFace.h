#pragma once

#include "clock/WatchLaws.h"
#include "widgets/MMPanel.h"

// The clock's background panel, which the ring pulse is drawn on. The circles drawn so far
// are kept as a picture and painted under the panel's children (the dots and the seconds),
// so they stay as drawn until a larger circle covers them.
//
// Thread contract: GUI thread only.
class TWatchFace : public TMMPanel {
    Q_OBJECT
  public:
    explicit TWatchFace(QWidget *parent = nullptr);

    // The fill of the circles drawn from now on.
    TColor BrushColor() const { return FBrushColor; }
    void SetBrushColor(TColor value) { FBrushColor = value; }

    // A circle around the pulse's centre, outlined one pixel wide in `color` and filled with
    // the brush, on screen at once.
    void DrawRingCircle(TColor color, int radius);
    const TRingPicture &Ring() const { return FRing; }

  protected:
    void Paint(QPainter &canvas) override;

  private:
    TColor FBrushColor = clBlack;
    TRingPicture FRing;
};
