#pragma once

#include "widgets/MMGraphicControl.h"

// A bevelled frame or, one pixel thick and without bevel, a plain line in Color.
class TMMBorder : public TMMGraphicControl {
    Q_OBJECT
  public:
    explicit TMMBorder(QWidget *parent = nullptr);

  protected:
    void Paint(QPainter &canvas) override;
};
