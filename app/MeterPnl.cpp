#include "app/MeterPnl.h"

#include "widgets/MMColors.h"

TMeterPanel::TMeterPanel(QWidget *parent) : QWidget(parent, Qt::Window) {
    setObjectName("MeterPanel");
    setWindowTitle("MeterPanel");
    resize(148, 417);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(4869450));
    setPalette(pal);
    setAutoFillBackground(true);
}
