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

    QString Caption() const { return FCaption; }
    void SetCaption(const QString &value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);

    // When set, the caption's pixels show this bitmap (tiled) instead of the font colour.
    const QImage &Bitmap() const { return FBitmap; }
    void SetBitmap(const QImage &value);

    // Presets first reset ColourHighlight to white.
    TMMLabelStyle EffectStyle() const { return FEffectStyle; }
    void SetEffectStyle(TMMLabelStyle value);

    // Changing a depth or a direction by hand switches to lsCustom.
    int DepthHighlight() const { return FEffect.DepthHighlight; }
    void SetDepthHighlight(int value);
    int DepthShadow() const { return FEffect.DepthShadow; }
    void SetDepthShadow(int value);
    TMMLabelDirection DirectionHighlight() const { return FEffect.DirectionHighlight; }
    void SetDirectionHighlight(TMMLabelDirection value);
    TMMLabelDirection DirectionShadow() const { return FEffect.DirectionShadow; }
    void SetDirectionShadow(TMMLabelDirection value);
    TColor ColourHighlight() const { return FColourHighlight; }
    void SetColourHighlight(TColor value);
    TColor ColourShadow() const { return FColourShadow; }
    void SetColourShadow(TColor value);
    TMMLabelOption StyleHighlight() const { return FEffect.StyleHighlight; }
    void SetStyleHighlight(TMMLabelOption value);
    TMMLabelOption StyleShadow() const { return FEffect.StyleShadow; }
    void SetStyleShadow(TMMLabelOption value);

    // True sets lsRaised; the label then sinks while the left button holds it.
    bool AsButton() const { return FAsButton; }
    void SetAsButton(bool value);

    // Degrees counter-clockwise; non-zero forces left alignment.
    int Angle() const { return FAngle; }
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

    QString FCaption;
    TAlignment FAlignment = taLeftJustify;
    QImage FBitmap;
    TMMLabelStyle FEffectStyle = lsRaised;
    TMMLabelEffect FEffect;
    TColor FColourHighlight = clWhite;
    TColor FColourShadow = 8421504;
    bool FAsButton = false;
    bool FButtonHeld = false;
    int FAngle = 0;
};
