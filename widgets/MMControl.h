#pragma once

#include "core/MMComponent.h"
#include "widgets/MMBevel.h"

#include <QWidget>
#include <functional>

enum TAlign { alNone = 0, alTop, alBottom, alLeft, alRight, alClient };
enum TAlignment { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };

// Qt alignment flags for a horizontal alignment.
Qt::Alignment MMHorzAlignment(TAlignment alignment);

// Visible, and its window on the screen (mapped, not minimised): only then does
// drawing now reach anyone. The expose that brings a window back paints it whole.
bool OnScreen(const QWidget &widget);

// What the bevelled controls share: a bevel that repaints the control when
// it changes, a colour that may follow the parent's, alignment inside the
// parent, and the click and mouse events.
class TMMControl : public QWidget, public TMMComponent {
    Q_OBJECT
  public:
    using TMouseEvent = std::function<void(TObject *sender, Qt::MouseButton button,
                                           Qt::KeyboardModifiers shift, int x, int y)>;
    using TMouseMoveEvent = std::function<void(TObject *sender, Qt::KeyboardModifiers shift, int x, int y)>;

    // Joins the open loading bracket, if any.
    explicit TMMControl(QWidget *parent = nullptr);
    ~TMMControl() override;

    TMMBevel &Bevel() { return FBevel; }
    const TMMBevel &Bevel() const { return FBevel; }
    void SetBevel(const TMMBevel &bevel) { FBevel.Assign(bevel); }

    // The own colour, or the parent's while ParentColor is set.
    TColor Color() const;
    // Setting a colour switches ParentColor off.
    void SetColor(TColor value);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool value);

    // The font is inherited from the parent until one is set.
    QFont Font() const { return font(); }
    void SetFont(const QFont &value) { setFont(value); }
    bool ParentFont() const { return !testAttribute(Qt::WA_SetFont); }
    void SetParentFont(bool value);
    TColor FontColor() const { return FFontColor; }
    void SetFontColor(TColor value);

    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign value);

    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool value) { setEnabled(value); }
    bool Visible() const { return isVisibleTo(parentWidget()); }
    void SetVisible(bool value) { setVisible(value); }
    int Left() const { return x(); }
    int Top() const { return y(); }
    int Width() const { return width(); }
    int Height() const { return height(); }
    void SetWidth(int value) { SetBounds(x(), y(), value, height()); }
    void SetHeight(int value) { SetBounds(x(), y(), width(), value); }
    virtual void SetBounds(int left, int top, int width, int height);

    TRect ClientRect() const { return Rect(0, 0, width(), height()); }
    // The client rectangle inside the bevel.
    TRect InnerRect() const { return FBevel.InnerRect(ClientRect()); }

    void SetOnClick(TNotifyEvent handler) { FOnClick = std::move(handler); }
    void SetOnDblClick(TNotifyEvent handler) { FOnDblClick = std::move(handler); }
    void SetOnMouseDown(TMouseEvent handler) { FOnMouseDown = std::move(handler); }
    void SetOnMouseUp(TMouseEvent handler) { FOnMouseUp = std::move(handler); }
    void SetOnMouseMove(TMouseMoveEvent handler) { FOnMouseMove = std::move(handler); }
    void SetOnResize(TNotifyEvent handler) { FOnResize = std::move(handler); }

    // Lays out the aligned TMMControl children of `parent` in creation order
    // (top, bottom, left, right, then client) inside its alignment area.
    static void AlignControls(QWidget *parent);

    // Aligns what was deferred while loading.
    void Loaded() override;

  protected:
    // Draws the control; the default draws the bevel and fills the inner
    // rectangle with Color.
    virtual void Paint(QPainter &canvas);
    // Where aligned children go: the client rectangle, or for panels the inner one.
    virtual TRect AlignRect() const { return ClientRect(); }
    virtual void BevelChanged();
    virtual void ColorChanged();
    virtual void Click();
    virtual void DblClick();
    virtual void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    virtual void MouseMove(Qt::KeyboardModifiers shift, int x, int y);
    virtual void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);

    // The bevel drawn into the client rectangle; returns the inner rectangle.
    TRect PaintBevel(QPainter &canvas) const { return FBevel.PaintBevel(canvas, ClientRect()); }

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void NotifyChildrenColor();
    void WatchParent();

    TMMBevel FBevel;
    TColor FColor = clBtnFace;
    bool FParentColor = false;
    TColor FFontColor = clWindowText;
    TAlign FAlign = alNone;
    QWidget *FWatchedParent = nullptr;
    bool FClickPending = false;

    TNotifyEvent FOnClick;
    TNotifyEvent FOnDblClick;
    TMouseEvent FOnMouseDown;
    TMouseEvent FOnMouseUp;
    TMouseMoveEvent FOnMouseMove;
    TNotifyEvent FOnResize;
};
