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
    if (value == fCaption) return;
    fCaption = value;
    update();
}

void TMMLabel::SetAlignment(TAlignment value) {
    if (value == fAlignment) return;
    fAlignment = value;
    update();
}

void TMMLabel::SetBitmap(const QImage &value) {
    fBitmap = value;
    update();
}

void TMMLabel::ApplyStyle(TMMLabelStyle value, bool resetHighlight) {
    fEffectStyle = value;
    if (resetHighlight) fColourHighlight = clWhite;
    if (const auto preset = MMLabelPreset(value)) {
        fEffect.DirectionHighlight = preset->DirectionHighlight;
        fEffect.DirectionShadow = preset->DirectionShadow;
        fEffect.DepthHighlight = preset->DepthHighlight;
        fEffect.DepthShadow = preset->DepthShadow;
        fColourHighlight = preset->ColourHighlight;
        if (preset->AsButtonOff) fAsButton = false;
    } else {
        fAsButton = false; // lsCustom
    }
    update();
}

void TMMLabel::SetEffectStyle(TMMLabelStyle value) {
    if (value == fEffectStyle) return;
    ApplyStyle(value, true);
}

// A hand-made change keeps the highlight colour the user may have chosen.
void TMMLabel::SwitchToCustom() {
    if (fEffectStyle != lsCustom)
        ApplyStyle(lsCustom, false);
    else
        update();
}

void TMMLabel::SetDepthHighlight(int value) {
    value = std::clamp(value, 0, 255);
    if (value == fEffect.DepthHighlight) return;
    fEffect.DepthHighlight = value;
    SwitchToCustom();
}

void TMMLabel::SetDepthShadow(int value) {
    value = std::clamp(value, 0, 255);
    if (value == fEffect.DepthShadow) return;
    fEffect.DepthShadow = value;
    SwitchToCustom();
}

void TMMLabel::SetDirectionHighlight(TMMLabelDirection value) {
    if (value == fEffect.DirectionHighlight) return;
    fEffect.DirectionHighlight = value;
    SwitchToCustom();
}

void TMMLabel::SetDirectionShadow(TMMLabelDirection value) {
    if (value == fEffect.DirectionShadow) return;
    fEffect.DirectionShadow = value;
    SwitchToCustom();
}

void TMMLabel::SetColourHighlight(TColor value) {
    if (value == fColourHighlight) return;
    fColourHighlight = value;
    update();
}

void TMMLabel::SetColourShadow(TColor value) {
    if (value == fColourShadow) return;
    fColourShadow = value;
    update();
}

void TMMLabel::SetStyleHighlight(TMMLabelOption value) {
    if (value == fEffect.StyleHighlight) return;
    fEffect.StyleHighlight = value;
    update();
}

void TMMLabel::SetStyleShadow(TMMLabelOption value) {
    if (value == fEffect.StyleShadow) return;
    fEffect.StyleShadow = value;
    update();
}

void TMMLabel::SetAsButton(bool value) {
    if (value == fAsButton) return;
    fAsButton = value;
    if (value) {
        if (fEffectStyle != lsRaised) ApplyStyle(lsRaised, true);
    } else {
        fButtonHeld = false;
    }
    update();
}

void TMMLabel::SetAngle(int value) {
    value = ((value % 360) + 360) % 360;
    if (value == fAngle) return;
    fAngle = value;
    fAlignment = taLeftJustify;
    update();
}

// Rotated text is placed so that its turned box starts at the client's
// top-left corner (a turn about the corner itself would move it off the label).
QPointF TMMLabel::RotatedOrigin() const {
    const QFontMetrics fm(font());
    const QRectF box(0, 0, fm.horizontalAdvance(fCaption), fm.height());
    QTransform turn;
    turn.rotate(-fAngle);
    const QRectF turned = turn.mapRect(box);
    return -turned.topLeft();
}

void TMMLabel::DrawText(QPainter &painter, int dx, int dy) {
    if (fAngle == 0) {
        const int flags = Qt::TextWordWrap | Qt::TextExpandTabs | Qt::AlignTop | MMHorzAlignment(fAlignment);
        painter.drawText(rect().translated(dx, dy), flags, fCaption);
        return;
    }
    painter.save();
    painter.translate(RotatedOrigin() + QPointF(dx, dy));
    painter.rotate(-fAngle);
    painter.drawText(QPointF(0, QFontMetrics(font()).ascent()), fCaption);
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
    const auto layers = MMLabelLayers(fEffect, fAngle == 0 ? int(fAlignment) : 0);
    if (!Transparent()) {
        if (fAngle == 0) {
            p.fillRect(rect(), back);
        } else if (!fCaption.isEmpty()) {
            const QFontMetrics fm(font());
            QTransform t;
            t.translate(RotatedOrigin().x() + layers.back().dx, RotatedOrigin().y() + layers.back().dy);
            t.rotate(-fAngle);
            p.fillPath(t.map([&] {
                QPainterPath path;
                path.addRect(0, 0, fm.horizontalAdvance(fCaption), fm.height());
                return path;
            }()),
                       back);
        }
    }
    if (!fCaption.isEmpty()) {
        for (const TMMLabelLayer &layer : layers) {
            if (layer.Kind == lkShadow)
                DrawLayer(p, layer.dx, layer.dy, ToQColor(fColourShadow), nullptr);
            else if (layer.Kind == lkHighlight)
                DrawLayer(p, layer.dx, layer.dy, ToQColor(fColourHighlight), nullptr);
            else
                DrawLayer(p, layer.dx, layer.dy, ToQColor(FontColor()),
                          fBitmap.isNull() ? nullptr : &fBitmap);
        }
    }
    Bevel().PaintBevel(p, ClientRect());
    p.end();
    canvas.drawImage(0, 0, image);
}

void TMMLabel::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    if (button == Qt::LeftButton && fAsButton && isEnabled()) {
        fButtonHeld = true;
        ApplyStyle(lsSunken, true);
    }
    TMMGraphicControl::MouseDown(button, shift, x, y);
}

void TMMLabel::MouseMove(Qt::KeyboardModifiers shift, int x, int y) {
    if (fButtonHeld && fAsButton) {
        const TMMLabelStyle want = rect().contains(x, y) ? lsSunken : lsRaised;
        if (want != fEffectStyle) ApplyStyle(want, true);
    }
    TMMGraphicControl::MouseMove(shift, x, y);
}

void TMMLabel::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    if (button == Qt::LeftButton && fButtonHeld) {
        fButtonHeld = false;
        if (fAsButton && fEffectStyle != lsRaised) ApplyStyle(lsRaised, true);
    }
    TMMGraphicControl::MouseUp(button, shift, x, y);
}
