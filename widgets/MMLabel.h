#pragma once

#include "widgets/MMGraphicControl.h"
#include "widgets/MMLabelEffects.h"

#include <QImage>
#include <QString>

// A caption with optional 3-D effects: shadow and highlight copies of the
// text (extruded if asked), text filled with a bitmap, rotated text, and a
// label that behaves like a button.
class TMMLabel : public TMMGraphicControl {
    Q_OBJECT
  public:
    explicit TMMLabel(QWidget *parent = nullptr);

    QString Caption() const { return fCaption; }
    void SetCaption(const QString &value);
    TAlignment Alignment() const { return fAlignment; }
    void SetAlignment(TAlignment value);

    // When set, the caption's pixels show this bitmap (tiled) instead of the font colour.
    const QImage &Bitmap() const { return fBitmap; }
    void SetBitmap(const QImage &value);

    // Presets first reset ColourHighlight to white.
    TMMLabelStyle EffectStyle() const { return fEffectStyle; }
    void SetEffectStyle(TMMLabelStyle value);

    // Changing a depth or a direction by hand switches to lsCustom.
    int DepthHighlight() const { return fEffect.DepthHighlight; }
    void SetDepthHighlight(int value);
    int DepthShadow() const { return fEffect.DepthShadow; }
    void SetDepthShadow(int value);
    TMMLabelDirection DirectionHighlight() const { return fEffect.DirectionHighlight; }
    void SetDirectionHighlight(TMMLabelDirection value);
    TMMLabelDirection DirectionShadow() const { return fEffect.DirectionShadow; }
    void SetDirectionShadow(TMMLabelDirection value);
    TColor ColourHighlight() const { return fColourHighlight; }
    void SetColourHighlight(TColor value);
    TColor ColourShadow() const { return fColourShadow; }
    void SetColourShadow(TColor value);
    TMMLabelOption StyleHighlight() const { return fEffect.StyleHighlight; }
    void SetStyleHighlight(TMMLabelOption value);
    TMMLabelOption StyleShadow() const { return fEffect.StyleShadow; }
    void SetStyleShadow(TMMLabelOption value);

    // True sets lsRaised; the label then sinks while the left button holds it.
    bool AsButton() const { return fAsButton; }
    void SetAsButton(bool value);

    // Degrees counter-clockwise; non-zero forces left alignment.
    int Angle() const { return fAngle; }
    void SetAngle(int value);

  protected:
    void Paint(QPainter &canvas) override;
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
    void MouseMove(Qt::KeyboardModifiers shift, int x, int y) override;
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;

  private:
    void ApplyStyle(TMMLabelStyle value, bool resetHighlight);
    void SwitchToCustom();
    void DrawLayer(QPainter &painter, int dx, int dy, const QColor &color, const QImage *pattern);
    void DrawText(QPainter &painter, int dx, int dy);
    QPointF RotatedOrigin() const;

    QString fCaption;
    TAlignment fAlignment = taLeftJustify;
    QImage fBitmap;
    TMMLabelStyle fEffectStyle = lsRaised;
    TMMLabelEffect fEffect;
    TColor fColourHighlight = clWhite;
    TColor fColourShadow = 8421504;
    bool fAsButton = false;
    bool fButtonHeld = false;
    int fAngle = 0;
};
