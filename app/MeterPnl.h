#pragma once

#include <QWidget>

// The window of the two PEAK bar meters, adopted by the main window's host panel by its
// caption. For now the bare window: caption, size and background.
class TMeterPanel : public QWidget {
    Q_OBJECT
  public:
    explicit TMeterPanel(QWidget *parent = nullptr);
};
