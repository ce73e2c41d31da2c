#pragma once

#include "widgets/MMGraphicControl.h"

#include <QString>
#include <functional>

// Replaces a control's own drawing: the control's canvas and its client rectangle.
using TMMPaintEvent = std::function<void(TObject *sender, QPainter &canvas, const TRect &rect)>;

// A rectangular lamp, lit (Enabled) in LEDColor or dark in Color, with an
// optional caption centred over it.
//
// Thread contract: main thread only.
class TMMLED : public TMMGraphicControl {
    Q_OBJECT
  public:
    explicit TMMLED(QWidget *parent = nullptr);

    TColor LEDColor() const { return FLEDColor; }
    void SetLEDColor(TColor value);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString &value);

    // Draws instead of the lamp (and its caption) when assigned.
    void SetOnPaint(TMMPaintEvent handler);

    // The lamp: the inner rectangle.
    TRect LampRect() const { return InnerRect(); }

  protected:
    void Paint(QPainter &canvas) override;
    // Enabled switches the lamp at once: only the lamp is refilled when
    // there is no caption to redraw.
    void changeEvent(QEvent *event) override;

  private:
    TColor FLEDColor = clLime;
    QString FCaption;
    TMMPaintEvent FOnPaint;
};
