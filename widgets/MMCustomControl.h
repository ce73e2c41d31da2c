#pragma once

#include "widgets/MMControl.h"

// A windowed control with a bevel: it can take the keyboard focus and always
// paints its whole area.
class TMMCustomControl : public TMMControl {
    Q_OBJECT
  public:
    explicit TMMCustomControl(QWidget *parent = nullptr);
};
