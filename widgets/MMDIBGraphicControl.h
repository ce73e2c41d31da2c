#pragma once

#include "widgets/MMDIBCanvas.h"
#include "widgets/MMFrameClock.h"
#include "widgets/MMGraphicControl.h"

#include <QImage>
#include <QRegion>
#include <functional>
#include <vector>

// A graphic control that draws through an off-screen work canvas.
//
// Meters draw "at once": DrawAtOnce() runs a routine that draws into the work
// canvas, so the new picture is in the canvas when the call returns, and
// schedules the changed rectangle with the process-wide frame clock, which
// puts it on the screen with the next display frame (at most once per frame,
// never later than one frame after the drawing). Paints copy only the exposed
// part of the canvas, which is opaque: the clock may put it on the window directly.
//
// Rules of DrawAtOnce: nothing is drawn while the control is hidden, its window
// is not on the screen (unmapped, minimised, covered where the window system
// says so), it has no parent, outside the main thread, nor from within a
// routine of its own. A control that was refused keeps its laws running and
// draws itself whole from its state on the paint that shows it again.
//
// Thread contract: main thread only, every method; the canvas lock is held
// while a routine runs and while the canvas is copied to the screen.
class TMMDIBGraphicControl : public TMMGraphicControl, public TMMDirectPresent {
    Q_OBJECT
  public:
    // Draws into the work canvas, opening its own drawing bracket.
    using TDrawRoutine = std::function<void(TMMDIBCanvas &canvas)>;

    explicit TMMDIBGraphicControl(QWidget *parent = nullptr);
    ~TMMDIBGraphicControl() override;

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

    // Runs `routine` at once (see above); false when skipped. The whole canvas
    // counts as changed, or only `changed` (canvas coordinates) when given.
    bool DrawAtOnce(const TDrawRoutine &routine);
    // `changed` is read once the routine has run, so the routine may set it.
    bool DrawAtOnce(const TDrawRoutine &routine, const TRect &changed);
    // Only the rectangles of `changed` count as changed; read once the routine has run.
    bool DrawAtOnce(const TDrawRoutine &routine, const std::vector<TRect> &changed);

    // The canvas, unless transparent: what a paint copies there.
    bool Presentable(const QRect &part) const override;
    void CopyPicture(const QRect &part, std::uint8_t *bits, int stride) override;

  protected:
    // Where the work canvas lies in the control (default: the inner rectangle).
    virtual TRect CanvasRect() const { return InnerRect(); }
    // After the depth changed: rebuild what depends on it (default: repaint).
    virtual void BitsPerPixelChanged();
    // After the background bitmap changed (default: repaint).
    virtual void BackGroundChanged();
    // Bevel, then the work canvas at the inner rectangle; within a paint
    // event only what the event exposes.
    void Paint(QPainter &canvas) override;
    void paintEvent(QPaintEvent *event) override;

  private:
    void UpdateCanvasBackGround();
    // Schedules the whole canvas, or only the rectangles of `changed`.
    // The changed parts: `one`, or `many`, or the whole canvas when neither is given.
    bool Draw(const TDrawRoutine &routine, const TRect *one, const std::vector<TRect> *many);

    TMMDIBCanvas FDIBCanvas;
    QImage FBackGroundDIB;
    bool FUseBackGroundDIB = false;
    bool FInRoutine = false;
    bool FPaintOwed = false; // refused off the screen since the last paint
    QRegion FExposed;        // what the paint event exposes while one is served
};
