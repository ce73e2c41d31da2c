#pragma once

#include "widgets/MMCustomControl.h"

#include <QImage>
#include <QPointer>

class QTimer;

enum TMMSpinHalf { shNone = 0, shUp, shDown };

// A pair of step buttons. A click on a half steps Value by Increment within
// MinValue..MaxValue (OnChange when it moves), then fires OnUpClick or
// OnDownClick; holding a half repeats the click after 400 ms, then every 50 ms.
class TMMCustomSpinButton : public TMMCustomControl {
    Q_OBJECT
  public:
    static constexpr int kRepeatDelay = 400;
    static constexpr int kRepeatInterval = 50;

    explicit TMMCustomSpinButton(QWidget *parent = nullptr);

    int Value() const { return FValue; }
    // Clamped to MinValue..MaxValue; OnChange when it changes.
    void SetValue(int value);
    int MinValue() const { return FMinValue; }
    void SetMinValue(int value);
    int MaxValue() const { return FMaxValue; }
    void SetMaxValue(int value);
    int Increment() const { return FIncrement; }
    void SetIncrement(int value);

    // Vertical: up half on top; horizontal: up half on the right.
    Qt::Orientation Orientation() const { return FOrientation; }
    void SetOrientation(Qt::Orientation value);

    // Glyph strips of NumGlyphs equal frames side by side: normal, disabled, pressed.
    const QImage &UpGlyph() const { return FUpGlyph; }
    void SetUpGlyph(const QImage &value);
    int UpNumGlyphs() const { return FUpNumGlyphs; }
    void SetUpNumGlyphs(int value);
    const QImage &DownGlyph() const { return FDownGlyph; }
    void SetDownGlyph(const QImage &value);
    int DownNumGlyphs() const { return FDownNumGlyphs; }
    void SetDownNumGlyphs(int value);

    // Draw each half as a raised button (sunken while pressed), or flat.
    bool ButtonFace() const { return FButtonFace; }
    void SetButtonFace(bool value);
    // A divider strip between the halves that takes no clicks.
    bool MiddleButton() const { return FMiddleButton; }
    void SetMiddleButton(bool value);
    // Colour of the focus frame while the control has the keyboard focus.
    TColor FocusColor() const { return FFocusColor; }
    void SetFocusColor(TColor value);
    // Receives the keyboard focus when a half is pressed.
    QWidget *FocusControl() const { return FFocusControl; }
    void SetFocusControl(QWidget *value) { FFocusControl = value; }

    void SetOnUpClick(TNotifyEvent handler) { FOnUpClick = std::move(handler); }
    void SetOnDownClick(TNotifyEvent handler) { FOnDownClick = std::move(handler); }
    void SetOnChange(TNotifyEvent handler) { FOnChange = std::move(handler); }

    // The half under a point of the client area.
    TMMSpinHalf HalfAt(int x, int y) const;
    TRect HalfRect(TMMSpinHalf half) const;
    TMMSpinHalf PressedHalf() const { return FPressed; }

    // One click on a half, as the mouse gives it.
    void ClickHalf(TMMSpinHalf half);

  protected:
    // What the repeat timer runs.
    void RepeatTick();

    void Paint(QPainter &canvas) override;
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
    void MouseMove(Qt::KeyboardModifiers shift, int x, int y) override;
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

  private:
    void Release();
    void PaintHalf(QPainter &canvas, TMMSpinHalf half);

    int FValue = 0;
    int FMinValue = 0;
    int FMaxValue = 100;
    int FIncrement = 1;
    Qt::Orientation FOrientation = Qt::Vertical;
    QImage FUpGlyph;
    int FUpNumGlyphs = 1;
    QImage FDownGlyph;
    int FDownNumGlyphs = 1;
    bool FButtonFace = true;
    bool FMiddleButton = false;
    TColor FFocusColor = clBlack;
    QPointer<QWidget> FFocusControl;

    TMMSpinHalf FPressed = shNone;
    bool FPressedInside = false;
    QTimer *FRepeatTimer = nullptr;

    TNotifyEvent FOnUpClick;
    TNotifyEvent FOnDownClick;
    TNotifyEvent FOnChange;
};
