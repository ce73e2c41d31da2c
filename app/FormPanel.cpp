#include "app/FormPanel.h"

#include "app/Application.h"
#include "app/FormHelpers.h"
#include "app/Forms.h"
#include "platform/MMError.h"

#include <QMainWindow>
#include <QMenuBar>

#include <memory>

namespace {

// A window that holds the panel cannot go inside it: Qt would be asked for a parent cycle.
void CheckAdoptable(const QWidget *panel, const QWidget *form) {
    if (form != nullptr && (form == panel || form->isAncestorOf(panel)))
        throw EMMError("TFormPanel: a window cannot be shown inside itself");
}

} // namespace

TFormPanel::TFormPanel(QWidget *parent) : TMMPanel(parent) {}

TFormPanel::~TFormPanel() {
    // No cover here: the window around the panel may be going too, and Qt cannot take a new
    // child into a window whose destruction has begun.
    if (QWidget *form = HostedForm()) Release(form);
}

QString TFormPanel::FormCaption() const {
    if (QWidget *form = HostedForm()) return form->windowTitle();
    return FCaption;
}

void TFormPanel::SetFormCaption(const QString &value) {
    QWidget *found = value.isEmpty() ? nullptr : FindFormByCaption(value);
    CheckAdoptable(this, found);
    FCaption = value;
    if (IsDesigning()) return;
    SetHostedForm(found);
    // Built before the window it names: look again once the panel is first painted.
    if (HostedForm() == nullptr && IsLoading()) {
        FPendingCaption = true;
        FCaption = value;
    }
}

QWidget *TFormPanel::HostedForm() const {
    QWidget *form = FHostedForm.data();
    return form != nullptr && ApplicationForms().contains(form) ? form : nullptr;
}

QWidget *TFormPanel::FindFormByCaption(const QString &caption) {
    const QList<QWidget *> forms = ApplicationForms();
    for (auto form = forms.crbegin(); form != forms.crend(); ++form)
        if ((*form)->windowTitle() == caption) return *form;
    return nullptr;
}

void TFormPanel::SetHostedForm(QWidget *form) {
    CheckAdoptable(this, form);
    // Hides the panel's face while the windows change places; gone again on every way out.
    auto cover = std::make_unique<QWidget>(this);
    cover->setGeometry(rect());
    SetBackground(cover.get(), Color());
    cover->show();
    cover->raise();

    if (QWidget *old = HostedForm()) Release(old);
    FHostedForm = form;
    QWidget *adopted = HostedForm();
    if (adopted == nullptr) {
        FHostedForm = nullptr;
        FCaption.clear();
        return;
    }
    Adopt(adopted);
}

void TFormPanel::Release(QWidget *form) {
    form->hide();
    UnmergeMenu();
    const TSavedFormState &saved = FSavedFormState;
    form->setParent(saved.Parent.data(), saved.Flags);
    form->resize(saved.Geometry.size());
    // A window the window system placed stays free to be placed again.
    if (saved.Moved) form->move(saved.Geometry.topLeft());
}

void TFormPanel::Adopt(QWidget *form) {
    auto *mainWindow = qobject_cast<QMainWindow *>(form);
    FSavedFormState = {};
    FSavedFormState.Menu =
        mainWindow != nullptr ? qobject_cast<QMenuBar *>(mainWindow->menuWidget()) : nullptr;
    FSavedFormState.Flags = form->windowFlags();
    FSavedFormState.Parent = form->parentWidget();
    FSavedFormState.Geometry = form->geometry();
    FSavedFormState.Moved = form->testAttribute(Qt::WA_Moved);

    // A plain child: no frame, no caption bar, no border icons.
    form->setParent(this, Qt::Widget);
    MergeMenu();
    Resize();
    form->show();
}

QMainWindow *TFormPanel::OwnerMainWindow() const {
    return qobject_cast<QMainWindow *>(window());
}

void TFormPanel::MergeMenu() {
    QMenuBar *menu = FSavedFormState.Menu.data();
    QMainWindow *owner = OwnerMainWindow();
    // An owner that cannot carry a menu leaves the window its own bar, inside the panel.
    if (menu == nullptr || menu->isHidden() || owner == nullptr) return;
    auto *ownerBar = qobject_cast<QMenuBar *>(owner->menuWidget());
    if (ownerBar == nullptr) {
        ownerBar = new QMenuBar(owner);
        owner->setMenuBar(ownerBar);
        FSavedFormState.OwnerMenuBar = ownerBar;
    }
    ownerBar->addActions(menu->actions());
    menu->hide();
    FSavedFormState.MenuMovedToOwner = true;
}

void TFormPanel::UnmergeMenu() {
    if (!FSavedFormState.MenuMovedToOwner) return;
    FSavedFormState.MenuMovedToOwner = false;
    QMenuBar *menu = FSavedFormState.Menu.data();
    if (QMainWindow *owner = OwnerMainWindow()) {
        QMenuBar *ownerBar = qobject_cast<QMenuBar *>(owner->menuWidget());
        if (ownerBar != nullptr && ownerBar == FSavedFormState.OwnerMenuBar.data())
            owner->setMenuWidget(nullptr); // the bar made for the window goes with it
        else if (ownerBar != nullptr && menu != nullptr)
            for (QAction *action : menu->actions())
                ownerBar->removeAction(action);
    }
    if (menu != nullptr) menu->show();
}

void TFormPanel::Resize() {
    QWidget *form = HostedForm();
    if (form == nullptr) return;
    form->setGeometry(InnerRect().ToQRect());
}

void TFormPanel::SetBounds(int left, int top, int width, int height) {
    TMMPanel::SetBounds(left, top, width, height);
    // A hidden panel hears of its new size only when shown.
    Resize();
}

void TFormPanel::Paint(QPainter &canvas) {
    if (FPendingCaption) {
        FPendingCaption = false;
        // A paint cannot raise: a caption naming the panel's own window just finds nothing.
        if (!RunQuietly([this] { SetFormCaption(FCaption); })) FCaption.clear();
    }
    TMMPanel::Paint(canvas);
}

void TFormPanel::resizeEvent(QResizeEvent *event) {
    TMMPanel::resizeEvent(event);
    Resize();
}

void TFormPanel::BevelChanged() {
    TMMPanel::BevelChanged();
    Resize();
}
