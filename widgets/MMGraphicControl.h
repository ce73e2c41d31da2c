#pragma once

#include "widgets/MMControl.h"

// A windowless control with a bevel: opaque unless Transparent, when only the
// bevel is drawn and the parent shows through.
class TMMGraphicControl : public TMMControl {
    Q_OBJECT
  public:
    explicit TMMGraphicControl(QWidget *parent = nullptr);

    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);

  protected:
    void Paint(QPainter &canvas) override;

  private:
    bool FTransparent = false;
};
