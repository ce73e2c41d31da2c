#pragma once

#include "widgets/MMDIBCanvas.h"
#include "widgets/MMGraphicControl.h"

#include <QImage>
#include <functional>

// A graphic control that draws through an off-screen work canvas.
//
// Meters draw "at once": DrawAtOnce() runs a routine that draws into the
// canvas and paints onto the control within one synchronous repaint, so the
// picture is on the screen when it returns; nothing happens while the
// control is hidden, has no parent or is covered. Main thread only.
class TMMDIBGraphicControl : public TMMGraphicControl {
    Q_OBJECT
  public:
    using TDrawRoutine = std::function<void(QPainter &canvas)>;

    explicit TMMDIBGraphicControl(QWidget *parent = nullptr);

    TMMDIBCanvas &DIBCanvas() { return FDIBCanvas; }

    const QImage &BackGroundDIB() const { return FBackGroundDIB; }
    void SetBackGroundDIB(const QImage &bitmap);
    // Takes effect only with a BackGroundDIB; switches PaletteRealize alike.
    bool UseBackGroundDIB() const { return FUseBackGroundDIB; }
    void SetUseBackGroundDIB(bool value);
    bool PaletteRealize() const { return FDIBCanvas.PaletteRealize(); }
    void SetPaletteRealize(bool value);
    bool PaletteMapped() const { return FDIBCanvas.PaletteMapped(); }
    void SetPaletteMapped(bool value);

    // 8 or 24; anything else raises EMMDIBError "Bitlength not supported yet"
    // and keeps the old depth.
    int BitsPerPixel() const { return FDIBCanvas.BitsPerPixel(); }
    void SetBitsPerPixel(int bits);

    // Runs `routine` on the control at once (see above); false when skipped.
    bool DrawAtOnce(const TDrawRoutine &routine);

  protected:
    // After the depth changed: rebuild what depends on it (default: repaint).
    virtual void BitsPerPixelChanged();
    // After the background bitmap changed (default: repaint).
    virtual void BackGroundChanged();
    // Bevel, then the work canvas at the inner rectangle.
    void Paint(QPainter &canvas) override;
    void paintEvent(QPaintEvent *event) override;

  private:
    void UpdateCanvasBackGround();

    TMMDIBCanvas FDIBCanvas;
    QImage FBackGroundDIB;
    bool FUseBackGroundDIB = false;
    const TDrawRoutine *FAtOnce = nullptr;
};
