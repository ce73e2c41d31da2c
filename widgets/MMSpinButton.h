#pragma once

#include "widgets/MMCustomSpinButton.h"

// The placeable spin button: 20 × 25, vertical, value 0 in 0..100, step 1.
class TMMSpinButton : public TMMCustomSpinButton {
    Q_OBJECT
  public:
    explicit TMMSpinButton(QWidget *parent = nullptr);
};
