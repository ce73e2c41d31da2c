#pragma once

#include "widgets/MMCustomPanel.h"

// The placeable panel: face colour clBtnFace, centred caption, parent's font.
class TMMPanel : public TMMCustomPanel {
    Q_OBJECT
  public:
    explicit TMMPanel(QWidget *parent = nullptr);
};
