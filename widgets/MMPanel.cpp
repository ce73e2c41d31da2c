#include "widgets/MMPanel.h"

TMMPanel::TMMPanel(QWidget *parent) : TMMCustomPanel(parent) {
    SetColor(clBtnFace);
    SetAlignment(taCenter);
    resize(185, 41);
}
