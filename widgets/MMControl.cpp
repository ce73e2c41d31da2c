#include "widgets/MMControl.h"

#include "widgets/MMLoadingBracket.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

bool OnScreen(const QWidget &widget) {
    if (!widget.isVisible()) return false;
    const QWindow *handle = widget.window()->windowHandle();
    return handle != nullptr && handle->isExposed();
}

Qt::Alignment MMHorzAlignment(TAlignment alignment) {
    switch (alignment) {
    case taRightJustify:
        return Qt::AlignRight;
    case taCenter:
        return Qt::AlignHCenter;
    default:
        return Qt::AlignLeft;
    }
}

TMMControl::TMMControl(QWidget *parent) : QWidget(parent) {
    FBevel.SetOnChange([this](TObject *) { BevelChanged(); });
    TMMLoadingBracket::Join(this);
}

TMMControl::~TMMControl() {
    TMMLoadingBracket::Leave(this);
}

TColor TMMControl::Color() const {
    if (!FParentColor) return FColor;
    const QWidget *parent = parentWidget();
    if (parent == nullptr) return FColor;
    if (auto *control = qobject_cast<const TMMControl *>(parent)) return control->Color();
    return FromQColor(parent->palette().color(parent->backgroundRole()));
}

void TMMControl::SetColor(TColor value) {
    if (value == FColor && !FParentColor) return;
    FColor = value;
    FParentColor = false;
    ColorChanged();
}

void TMMControl::SetParentColor(bool value) {
    if (value == FParentColor) return;
    FParentColor = value;
    ColorChanged();
}

void TMMControl::SetParentFont(bool value) {
    if (value == ParentFont()) return;
    // An empty font resolves everything from the parent again.
    setFont(value ? QFont() : font());
    if (!value) setAttribute(Qt::WA_SetFont, true);
}

void TMMControl::SetFontColor(TColor value) {
    if (value == FFontColor) return;
    FFontColor = value;
    update();
}

void TMMControl::ColorChanged() {
    update();
    NotifyChildrenColor();
}

void TMMControl::NotifyChildrenColor() {
    for (QObject *child : children())
        if (auto *control = qobject_cast<TMMControl *>(child); control != nullptr && control->FParentColor)
            control->ColorChanged();
}

void TMMControl::BevelChanged() {
    // Aligned children sit inside the bevel of a panel.
    AlignControls(this);
    update();
}

void TMMControl::SetBounds(int left, int top, int width, int height) {
    setGeometry(left, top, std::max(0, width), std::max(0, height));
    // A hidden control gets its resize event only when shown; align now.
    if (!isVisible()) AlignControls(this);
}

void TMMControl::SetAlign(TAlign value) {
    if (value == FAlign) return;
    FAlign = value;
    WatchParent();
    if (!IsLoading()) AlignControls(parentWidget());
}

void TMMControl::Loaded() {
    TMMComponent::Loaded();
    if (FAlign != alNone) AlignControls(parentWidget());
    AlignControls(this);
}

void TMMControl::WatchParent() {
    QWidget *parent = FAlign == alNone ? nullptr : parentWidget();
    if (parent == FWatchedParent) return;
    if (FWatchedParent != nullptr) FWatchedParent->removeEventFilter(this);
    FWatchedParent = parent;
    // TMMControl parents realign their children themselves.
    if (parent != nullptr && qobject_cast<TMMControl *>(parent) == nullptr) parent->installEventFilter(this);
}

bool TMMControl::eventFilter(QObject *watched, QEvent *event) {
    if (watched == FWatchedParent && event->type() == QEvent::Resize) AlignControls(FWatchedParent);
    return QWidget::eventFilter(watched, event);
}

void TMMControl::AlignControls(QWidget *parent) {
    if (parent == nullptr) return;
    auto *owner = qobject_cast<TMMControl *>(parent);
    if (owner != nullptr && owner->IsLoading()) return;
    TRect area = owner != nullptr ? owner->AlignRect() : TRect::FromQRect(parent->rect());
    const TAlign order[] = {alTop, alBottom, alLeft, alRight, alClient};
    for (TAlign pass : order) {
        for (QObject *child : parent->children()) {
            auto *c = qobject_cast<TMMControl *>(child);
            if (c == nullptr || c->FAlign != pass || !c->isVisibleTo(parent)) continue;
            const int w = c->width(), h = c->height();
            switch (pass) {
            case alTop:
                c->setGeometry(area.Left, area.Top, area.Width(), h);
                area.Top = std::min(area.Bottom, area.Top + h);
                break;
            case alBottom:
                c->setGeometry(area.Left, area.Bottom - h, area.Width(), h);
                area.Bottom = std::max(area.Top, area.Bottom - h);
                break;
            case alLeft:
                c->setGeometry(area.Left, area.Top, w, area.Height());
                area.Left = std::min(area.Right, area.Left + w);
                break;
            case alRight:
                c->setGeometry(area.Right - w, area.Top, w, area.Height());
                area.Right = std::max(area.Left, area.Right - w);
                break;
            default:
                c->setGeometry(area.ToQRect());
                break;
            }
        }
    }
}

void TMMControl::Paint(QPainter &canvas) {
    const TRect inner = PaintBevel(canvas);
    canvas.fillRect(inner.ToQRect(), ToQColor(Color()));
}

void TMMControl::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    Paint(painter);
}

void TMMControl::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    AlignControls(this);
    if (FOnResize) FOnResize(this);
}

void TMMControl::Click() {
    if (FOnClick) FOnClick(this);
}

void TMMControl::DblClick() {
    if (FOnDblClick) FOnDblClick(this);
}

void TMMControl::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    if (FOnMouseDown) FOnMouseDown(this, button, shift, x, y);
}

void TMMControl::MouseMove(Qt::KeyboardModifiers shift, int x, int y) {
    if (FOnMouseMove) FOnMouseMove(this, shift, x, y);
}

void TMMControl::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    if (FOnMouseUp) FOnMouseUp(this, button, shift, x, y);
}

void TMMControl::mousePressEvent(QMouseEvent *event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) FClickPending = true;
    MouseDown(event->button(), event->modifiers(), p.x(), p.y());
}

void TMMControl::mouseMoveEvent(QMouseEvent *event) {
    const QPoint p = event->position().toPoint();
    MouseMove(event->modifiers(), p.x(), p.y());
}

void TMMControl::mouseReleaseEvent(QMouseEvent *event) {
    const QPoint p = event->position().toPoint();
    // A click is a left press and release over the control.
    const bool click = event->button() == Qt::LeftButton && FClickPending && rect().contains(p);
    if (event->button() == Qt::LeftButton) FClickPending = false;
    MouseUp(event->button(), event->modifiers(), p.x(), p.y());
    if (click) Click();
}

void TMMControl::mouseDoubleClickEvent(QMouseEvent *event) {
    mousePressEvent(event);
    if (event->button() == Qt::LeftButton) DblClick();
}

void TMMControl::changeEvent(QEvent *event) {
    switch (event->type()) {
    case QEvent::ParentChange:
        WatchParent();
        if (FParentColor) ColorChanged();
        break;
    case QEvent::PaletteChange:
        if (FParentColor) ColorChanged();
        break;
    case QEvent::EnabledChange:
    case QEvent::FontChange:
        update();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}
