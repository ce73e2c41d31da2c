#pragma once

#include <QWidget>

// The studio clock window. For now the bare window the console creates hidden at start:
// its caption, size and background.
class TWatchFrm : public QWidget {
    Q_OBJECT
  public:
    explicit TWatchFrm(QWidget *parent = nullptr);
};
