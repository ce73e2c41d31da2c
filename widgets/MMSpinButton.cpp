#include "widgets/MMSpinButton.h"

TMMSpinButton::TMMSpinButton(QWidget *parent) : TMMCustomSpinButton(parent) {
    resize(20, 25);
}
