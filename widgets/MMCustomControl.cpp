#include "widgets/MMCustomControl.h"

TMMCustomControl::TMMCustomControl(QWidget *parent) : TMMControl(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    setFocusPolicy(Qt::StrongFocus);
}
