#pragma once

#include "widgets/MMControl.h"

#include <QString>

// A container with a bevel: children aligned inside its inner rectangle, the
// inner rectangle filled with Color and an optional one-line caption.
class TMMCustomPanel : public TMMControl {
    Q_OBJECT
  public:
    explicit TMMCustomPanel(QWidget *parent = nullptr);

    QString Caption() const { return fCaption; }
    void SetCaption(const QString &value);
    TAlignment Alignment() const { return fAlignment; }
    void SetAlignment(TAlignment value);

    // Kept for the forms that set them; the look is always the 3-D one.
    bool Ctl3D() const { return fCtl3D; }
    void SetCtl3D(bool value);
    bool ParentCtl3D() const { return fParentCtl3D; }
    void SetParentCtl3D(bool value) { fParentCtl3D = value; }

    bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
    void SetTabStop(bool value) { setFocusPolicy(value ? Qt::StrongFocus : Qt::NoFocus); }
    int TabOrder() const { return fTabOrder; }
    // Moves the panel to position `value` among its focusable siblings.
    void SetTabOrder(int value);

    void SetOnEnter(TNotifyEvent handler) { fOnEnter = std::move(handler); }
    void SetOnExit(TNotifyEvent handler) { fOnExit = std::move(handler); }

  protected:
    void Paint(QPainter &canvas) override;
    TRect AlignRect() const override { return InnerRect(); }
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

  private:
    QString fCaption;
    TAlignment fAlignment = taCenter;
    bool fCtl3D = true;
    bool fParentCtl3D = true;
    int fTabOrder = -1;
    TNotifyEvent fOnEnter;
    TNotifyEvent fOnExit;
};
