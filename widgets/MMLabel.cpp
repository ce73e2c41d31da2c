#include "widgets/MMLabel.h"

#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <algorithm>
#include <cmath>

TMMLabel::TMMLabel(QWidget *parent) : TMMGraphicControl(parent) {
    Bevel().SetBevelOuter(bvNone);
    SetTransparent(true);
    SetColor(clWindow);
    SetParentColor(true);
    QFont f(QStringLiteral("Times New Roman"));
    f.setPointSize(20);
    SetFont(f);
    SetFontColor(clBlack);
    resize(142, 33);
}

void TMMLabel::SetCaption(const QString &value) {
    if (value == FCaption) return;
    FCaption = value;
    update();
}

void TMMLabel::SetAlignment(TAlignment value) {
    if (value == FAlignment) return;
    FAlignment = value;
    update();
}

void TMMLabel::SetBitmap(const QImage &value) {
    FBitmap = value;
    update();
}

void TMMLabel::ApplyStyle(TMMLabelStyle value, bool resetHighlight) {
    FEffectStyle = value;
    if (resetHighlight) FColourHighlight = clWhite;
    if (const auto preset = MMLabelPreset(value)) {
        FEffect.DirectionHighlight = preset->DirectionHighlight;
        FEffect.DirectionShadow = preset->DirectionShadow;
        FEffect.DepthHighlight = preset->DepthHighlight;
        FEffect.DepthShadow = preset->DepthShadow;
        FColourHighlight = preset->ColourHighlight;
        if (preset->AsButtonOff) FAsButton = false;
    } else {
        FAsButton = false; // lsCustom
    }
    update();
}

void TMMLabel::SetEffectStyle(TMMLabelStyle value) {
    if (value == FEffectStyle) return;
    ApplyStyle(value, true);
}

// A hand-made change keeps the highlight colour the user may have chosen.
void TMMLabel::SwitchToCustom() {
    if (FEffectStyle != lsCustom)
        ApplyStyle(lsCustom, false);
    else
        update();
}

void TMMLabel::SetDepthHighlight(int value) {
    value = std::clamp(value, 0, 255);
    if (value == FEffect.DepthHighlight) return;
    FEffect.DepthHighlight = value;
    SwitchToCustom();
}

void TMMLabel::SetDepthShadow(int value) {
    value = std::clamp(value, 0, 255);
    if (value == FEffect.DepthShadow) return;
    FEffect.DepthShadow = value;
    SwitchToCustom();
}

void TMMLabel::SetDirectionHighlight(TMMLabelDirection value) {
    if (value == FEffect.DirectionHighlight) return;
    FEffect.DirectionHighlight = value;
    SwitchToCustom();
}

void TMMLabel::SetDirectionShadow(TMMLabelDirection value) {
    if (value == FEffect.DirectionShadow) return;
    FEffect.DirectionShadow = value;
    SwitchToCustom();
}

void TMMLabel::SetColourHighlight(TColor value) {
    if (value == FColourHighlight) return;
    FColourHighlight = value;
    update();
}

void TMMLabel::SetColourShadow(TColor value) {
    if (value == FColourShadow) return;
    FColourShadow = value;
    update();
}

void TMMLabel::SetStyleHighlight(TMMLabelOption value) {
    if (value == FEffect.StyleHighlight) return;
    FEffect.StyleHighlight = value;
    update();
}

void TMMLabel::SetStyleShadow(TMMLabelOption value) {
    if (value == FEffect.StyleShadow) return;
    FEffect.StyleShadow = value;
    update();
}

void TMMLabel::SetAsButton(bool value) {
    if (value == FAsButton) return;
    FAsButton = value;
    if (value) {
        if (FEffectStyle != lsRaised) ApplyStyle(lsRaised, true);
    } else {
        FButtonHeld = false;
    }
    update();
}

void TMMLabel::SetAngle(int value) {
    value = ((value % 360) + 360) % 360;
    if (value == FAngle) return;
    FAngle = value;
    FAlignment = taLeftJustify;
    update();
}

// Rotated text is placed so that its turned box starts at the client's
// top-left corner (a turn about the corner itself would move it off the label).
QPointF TMMLabel::RotatedOrigin() const {
    const QFontMetrics fm(font());
    const QRectF box(0, 0, fm.horizontalAdvance(FCaption), fm.height());
    QTransform turn;
    turn.rotate(-FAngle);
    const QRectF turned = turn.mapRect(box);
    return -turned.topLeft();
}

void TMMLabel::DrawText(QPainter &painter, int dx, int dy) {
    if (FAngle == 0) {
        const int flags = Qt::TextWordWrap | Qt::TextExpandTabs | Qt::AlignTop | MMHorzAlignment(FAlignment);
        painter.drawText(rect().translated(dx, dy), flags, FCaption);
        return;
    }
    painter.save();
    painter.translate(RotatedOrigin() + QPointF(dx, dy));
    painter.rotate(-FAngle);
    painter.drawText(QPointF(0, QFontMetrics(font()).ascent()), FCaption);
    painter.restore();
}

void TMMLabel::DrawLayer(QPainter &painter, int dx, int dy, const QColor &color, const QImage *pattern) {
    if (pattern == nullptr) {
        painter.setPen(color);
        DrawText(painter, dx, dy);
        return;
    }
    // The text as a mask, the pattern poured into it.
    QImage layer(size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter p(&layer);
        p.setFont(font());
        p.setPen(Qt::black);
        DrawText(p, dx, dy);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(layer.rect(), QBrush(*pattern));
    }
    painter.drawImage(0, 0, layer);
}

void TMMLabel::Paint(QPainter &canvas) {
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setFont(font());
    const QColor back = ToQColor(Color());
    const auto layers = MMLabelLayers(FEffect, FAngle == 0 ? int(FAlignment) : 0);
    if (!Transparent()) {
        if (FAngle == 0) {
            p.fillRect(rect(), back);
        } else if (!FCaption.isEmpty()) {
            const QFontMetrics fm(font());
            QTransform t;
            t.translate(RotatedOrigin().x() + layers.back().dx, RotatedOrigin().y() + layers.back().dy);
            t.rotate(-FAngle);
            p.fillPath(t.map([&] {
                QPainterPath path;
                path.addRect(0, 0, fm.horizontalAdvance(FCaption), fm.height());
                return path;
            }()),
                       back);
        }
    }
    if (!FCaption.isEmpty()) {
        for (const TMMLabelLayer &layer : layers) {
            if (layer.Kind == lkShadow)
                DrawLayer(p, layer.dx, layer.dy, ToQColor(FColourShadow), nullptr);
            else if (layer.Kind == lkHighlight)
                DrawLayer(p, layer.dx, layer.dy, ToQColor(FColourHighlight), nullptr);
            else
                DrawLayer(p, layer.dx, layer.dy, ToQColor(FontColor()),
                          FBitmap.isNull() ? nullptr : &FBitmap);
        }
    }
    Bevel().PaintBevel(p, ClientRect());
    p.end();
    canvas.drawImage(0, 0, image);
}

void TMMLabel::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    if (button == Qt::LeftButton && FAsButton && isEnabled()) {
        FButtonHeld = true;
        ApplyStyle(lsSunken, true);
    }
    TMMGraphicControl::MouseDown(button, shift, x, y);
}

void TMMLabel::MouseMove(Qt::KeyboardModifiers shift, int x, int y) {
    if (FButtonHeld && FAsButton) {
        const TMMLabelStyle want = rect().contains(x, y) ? lsSunken : lsRaised;
        if (want != FEffectStyle) ApplyStyle(want, true);
    }
    TMMGraphicControl::MouseMove(shift, x, y);
}

void TMMLabel::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    if (button == Qt::LeftButton && FButtonHeld) {
        FButtonHeld = false;
        if (FAsButton && FEffectStyle != lsRaised) ApplyStyle(lsRaised, true);
    }
    TMMGraphicControl::MouseUp(button, shift, x, y);
}
