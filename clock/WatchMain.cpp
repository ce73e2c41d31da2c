#include "clock/WatchMain.h"

#include "widgets/MMColors.h"

TWatchFrm::TWatchFrm(QWidget *parent) : QWidget(parent, Qt::Window) {
    setObjectName("WatchFrm");
    setWindowTitle("WatchFrm");
    resize(268, 288);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(4869450));
    setPalette(pal);
    setAutoFillBackground(true);
}
