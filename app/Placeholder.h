#pragma once

#include <QColor>
#include <QWidget>

// Stands where an instrument of its own class goes (panels with bevels, meters, spectra,
// the trend graph, borders): the control's size and face colour, and a one-pixel frame
// when the instrument has a bevel, so the layout reads right until the instrument arrives.
class TPlaceholder : public QWidget {
    Q_OBJECT
  public:
    TPlaceholder(QWidget *parent, const QString &name, const QRect &geometry, const QColor &face,
                 const QColor &frame = QColor());

    QColor Face() const { return FFace; }
    QColor Frame() const { return FFrame; }
    void SetFrame(const QColor &frame);

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    QColor FFace;
    QColor FFrame;
};
