#pragma once

#include "widgets/MMControl.h"

#include <QString>

// A container with a bevel: children aligned inside its inner rectangle, the
// inner rectangle filled with Color and an optional one-line caption.
class TMMCustomPanel : public TMMControl {
    Q_OBJECT
  public:
    explicit TMMCustomPanel(QWidget *parent = nullptr);

    QString Caption() const { return FCaption; }
    void SetCaption(const QString &value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);

    // Kept for the forms that set them; the look is always the 3-D one.
    bool Ctl3D() const { return FCtl3D; }
    void SetCtl3D(bool value);
    bool ParentCtl3D() const { return FParentCtl3D; }
    void SetParentCtl3D(bool value) { FParentCtl3D = value; }

    bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
    void SetTabStop(bool value) { setFocusPolicy(value ? Qt::StrongFocus : Qt::NoFocus); }
    int TabOrder() const { return FTabOrder; }
    // Moves the panel to position `value` among its focusable siblings.
    void SetTabOrder(int value);

    void SetOnEnter(TNotifyEvent handler) { FOnEnter = std::move(handler); }
    void SetOnExit(TNotifyEvent handler) { FOnExit = std::move(handler); }

  protected:
    void Paint(QPainter &canvas) override;
    TRect AlignRect() const override { return InnerRect(); }
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

  private:
    QString FCaption;
    TAlignment FAlignment = taCenter;
    bool FCtl3D = true;
    bool FParentCtl3D = true;
    int FTabOrder = -1;
    TNotifyEvent FOnEnter;
    TNotifyEvent FOnExit;
};
