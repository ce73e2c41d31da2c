#include "app/MeterPnl.h"

#include "app/FormHelpers.h"

TMeterPanel::TMeterPanel(QWidget *parent) : QWidget(parent, Qt::Window) {
    setObjectName("MeterPanel");
    setWindowTitle("MeterPanel");
    resize(148, 417);
    SetBackground(this, kWindowColor);
}
