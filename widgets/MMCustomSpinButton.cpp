#include "widgets/MMCustomSpinButton.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <algorithm>

TMMCustomSpinButton::TMMCustomSpinButton(QWidget *parent) : TMMCustomControl(parent) {
    SetColor(clBtnFace);
    setFocusPolicy(Qt::TabFocus);
    FRepeatTimer = new QTimer(this);
    FRepeatTimer->setObjectName(QStringLiteral("RepeatTimer"));
    connect(FRepeatTimer, &QTimer::timeout, this, [this] { RepeatTick(); });
}

void TMMCustomSpinButton::SetValue(int value) {
    value = std::clamp(value, std::min(FMinValue, FMaxValue), std::max(FMinValue, FMaxValue));
    if (value == FValue) return;
    FValue = value;
    if (FOnChange) FOnChange(this);
}

void TMMCustomSpinButton::SetMinValue(int value) {
    if (value == FMinValue) return;
    FMinValue = value;
    SetValue(FValue);
}

void TMMCustomSpinButton::SetMaxValue(int value) {
    if (value == FMaxValue) return;
    FMaxValue = value;
    SetValue(FValue);
}

void TMMCustomSpinButton::SetIncrement(int value) {
    FIncrement = value;
}

void TMMCustomSpinButton::SetOrientation(Qt::Orientation value) {
    if (value == FOrientation) return;
    FOrientation = value;
    update();
}

void TMMCustomSpinButton::SetUpGlyph(const QImage &value) {
    FUpGlyph = value;
    update();
}

void TMMCustomSpinButton::SetUpNumGlyphs(int value) {
    FUpNumGlyphs = std::clamp(value, 1, 4);
    update();
}

void TMMCustomSpinButton::SetDownGlyph(const QImage &value) {
    FDownGlyph = value;
    update();
}

void TMMCustomSpinButton::SetDownNumGlyphs(int value) {
    FDownNumGlyphs = std::clamp(value, 1, 4);
    update();
}

void TMMCustomSpinButton::SetButtonFace(bool value) {
    if (value == FButtonFace) return;
    FButtonFace = value;
    update();
}

void TMMCustomSpinButton::SetMiddleButton(bool value) {
    if (value == FMiddleButton) return;
    FMiddleButton = value;
    update();
}

void TMMCustomSpinButton::SetFocusColor(TColor value) {
    if (value == FFocusColor) return;
    FFocusColor = value;
    update();
}

TRect TMMCustomSpinButton::HalfRect(TMMSpinHalf half) const {
    const TRect r = InnerRect();
    const bool vertical = FOrientation == Qt::Vertical;
    const int length = vertical ? r.Height() : r.Width();
    const int middle = FMiddleButton ? std::max(2, length / 5) : 0;
    const int first = (length - middle) / 2;
    const int secondStart = first + middle;
    if (half == shNone) return {};
    // Vertical: up on top. Horizontal: down on the left, up on the right.
    const bool firstPart = vertical ? half == shUp : half == shDown;
    if (vertical)
        return firstPart ? Rect(r.Left, r.Top, r.Right, r.Top + first)
                         : Rect(r.Left, r.Top + secondStart, r.Right, r.Bottom);
    return firstPart ? Rect(r.Left, r.Top, r.Left + first, r.Bottom)
                     : Rect(r.Left + secondStart, r.Top, r.Right, r.Bottom);
}

TMMSpinHalf TMMCustomSpinButton::HalfAt(int x, int y) const {
    if (HalfRect(shUp).Contains(x, y)) return shUp;
    if (HalfRect(shDown).Contains(x, y)) return shDown;
    return shNone;
}

void TMMCustomSpinButton::ClickHalf(TMMSpinHalf half) {
    if (half == shNone) return;
    const long long step = half == shUp ? FIncrement : -static_cast<long long>(FIncrement);
    const long long target =
        std::clamp<long long>(FValue + step, std::min(FMinValue, FMaxValue), std::max(FMinValue, FMaxValue));
    SetValue(static_cast<int>(target));
    const TNotifyEvent &handler = half == shUp ? FOnUpClick : FOnDownClick;
    if (handler) handler(this);
}

void TMMCustomSpinButton::RepeatTick() {
    if (FPressed == shNone) {
        FRepeatTimer->stop();
        return;
    }
    FRepeatTimer->setInterval(kRepeatInterval);
    // Held but dragged off the half: wait until it comes back.
    if (FPressedInside) ClickHalf(FPressed);
}

void TMMCustomSpinButton::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    TMMCustomControl::MouseDown(button, shift, x, y);
    if (button != Qt::LeftButton || !isEnabled()) return;
    const TMMSpinHalf half = HalfAt(x, y);
    if (half == shNone) return;
    if (FFocusControl != nullptr && FFocusControl->isEnabled()) FFocusControl->setFocus(Qt::MouseFocusReason);
    FPressed = half;
    FPressedInside = true;
    update();
    FRepeatTimer->start(kRepeatDelay);
    ClickHalf(half);
}

void TMMCustomSpinButton::MouseMove(Qt::KeyboardModifiers shift, int x, int y) {
    TMMCustomControl::MouseMove(shift, x, y);
    if (FPressed == shNone) return;
    const bool inside = HalfRect(FPressed).Contains(x, y);
    if (inside != FPressedInside) {
        FPressedInside = inside;
        update();
    }
}

void TMMCustomSpinButton::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    if (button == Qt::LeftButton) Release();
    TMMCustomControl::MouseUp(button, shift, x, y);
}

void TMMCustomSpinButton::Release() {
    FRepeatTimer->stop();
    if (FPressed == shNone) return;
    FPressed = shNone;
    FPressedInside = false;
    update();
}

void TMMCustomSpinButton::changeEvent(QEvent *event) {
    // A disabled or hidden button must not keep stepping.
    if (event->type() == QEvent::EnabledChange && !isEnabled()) Release();
    TMMCustomControl::changeEvent(event);
}

void TMMCustomSpinButton::focusInEvent(QFocusEvent *event) {
    TMMCustomControl::focusInEvent(event);
    update();
}

void TMMCustomSpinButton::focusOutEvent(QFocusEvent *event) {
    TMMCustomControl::focusOutEvent(event);
    update();
}

void TMMCustomSpinButton::PaintHalf(QPainter &canvas, TMMSpinHalf half) {
    const TRect r = HalfRect(half);
    if (r.IsEmpty()) return;
    const bool down = FPressed == half && FPressedInside;
    canvas.fillRect(r.ToQRect(), ToQColor(Color()));
    if (FButtonFace) {
        MMPaintRing(canvas, down ? TMMBevelRing{r, 1, clBtnShadow, clBtnHighlight}
                                 : TMMBevelRing{r, 1, clBtnHighlight, cl3DDkShadow});
    }
    const int shift = down ? 1 : 0;
    const QImage &strip = half == shUp ? FUpGlyph : FDownGlyph;
    const int count = half == shUp ? FUpNumGlyphs : FDownNumGlyphs;
    if (!strip.isNull()) {
        int frame = 0;
        if (!isEnabled() && count > 1)
            frame = 1;
        else if (down && count > 2)
            frame = 2;
        const int fw = strip.width() / count;
        const QRect source(frame * fw, 0, fw, strip.height());
        const QPoint at(r.Left + (r.Width() - fw) / 2 + shift,
                        r.Top + (r.Height() - strip.height()) / 2 + shift);
        canvas.drawImage(at, strip, source);
        return;
    }
    // The built-in arrow: a small triangle pointing away from the other half.
    const bool vertical = FOrientation == Qt::Vertical;
    const double cx = r.Left + r.Width() / 2.0 + shift, cy = r.Top + r.Height() / 2.0 + shift;
    const double s = vertical ? std::max(2.0, std::min(r.Width() / 4.0, r.Height() / 2.5))
                              : std::max(2.0, std::min(r.Height() / 4.0, r.Width() / 2.5));
    QPainterPath arrow;
    const double dir = half == shUp ? -1.0 : 1.0;
    if (vertical) {
        arrow.moveTo(cx - s, cy - dir * s / 2);
        arrow.lineTo(cx + s, cy - dir * s / 2);
        arrow.lineTo(cx, cy + dir * s / 2);
    } else {
        arrow.moveTo(cx + dir * s / 2, cy - s);
        arrow.lineTo(cx + dir * s / 2, cy + s);
        arrow.lineTo(cx - dir * s / 2, cy);
    }
    arrow.closeSubpath();
    canvas.fillPath(arrow, ToQColor(isEnabled() ? clBtnText : clGrayText));
}

void TMMCustomSpinButton::Paint(QPainter &canvas) {
    const TRect inner = PaintBevel(canvas);
    canvas.fillRect(inner.ToQRect(), ToQColor(Color()));
    PaintHalf(canvas, shUp);
    PaintHalf(canvas, shDown);
    if (FMiddleButton) {
        const TRect a = HalfRect(FOrientation == Qt::Vertical ? shUp : shDown);
        const TRect b = HalfRect(FOrientation == Qt::Vertical ? shDown : shUp);
        const TRect middle = FOrientation == Qt::Vertical ? Rect(inner.Left, a.Bottom, inner.Right, b.Top)
                                                          : Rect(a.Right, inner.Top, b.Left, inner.Bottom);
        if (FButtonFace && !middle.IsEmpty())
            MMPaintRing(canvas, TMMBevelRing{middle, 1, clBtnHighlight, clBtnShadow});
    }
    if (hasFocus()) {
        canvas.setPen(QPen(ToQColor(FFocusColor), 1, Qt::DotLine));
        canvas.setBrush(Qt::NoBrush);
        canvas.drawRect(inner.Inset(1).ToQRect().adjusted(0, 0, -1, -1));
    }
}
