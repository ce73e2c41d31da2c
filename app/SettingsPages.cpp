#include "app/SettingsPages.h"

#include "app/Application.h"
#include "app/FormHelpers.h"

#include <QEvent>

namespace {

constexpr int kButtonWidth = 84, kButtonGap = 2;

} // namespace

TSettingsPages::TSettingsPages(QWidget *parent, QWidget *menu) : QWidget(parent) {
    setObjectName("SettingsPages");
    setGeometry(8, 452, Width, Height);
    setVisible(menu->isVisible());
    menu->installEventFilter(this);
}

void TSettingsPages::AddPage(const QString &caption, QWidget *group, const std::vector<TBand> &bands) {
    const int index = PageCount();
    auto *holder = new QWidget(this);
    holder->setObjectName(group->objectName() + "Page");
    holder->setGeometry(0, 0, Width, Height);
    holder->hide();
    // The group's own showing and hiding with the menu goes on inside its holder.
    const bool shown = !group->isHidden();
    group->setParent(holder);
    group->setGeometry(0, 0, Width, Height);
    group->setVisible(shown);
    for (QWidget *child : group->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        for (const TBand &band : bands)
            if (child->y() >= band.From && child->y() < band.To) {
                child->move(child->x() + band.Dx, child->y() + band.Dy);
                break;
            }

    // Right-aligned in the title row, the first page's button leftmost.
    auto *button = AddMMPanel(this, group->objectName() + "PageBtn", {0, 0, kButtonWidth, 17}, kPanelFace);
    TMMLabel *label = AddPageCaption(button, group->objectName() + "PageLbl", caption, ArialFont(10, true));
    FPages.push_back({holder, group, button, label});
    for (int i = 0; i <= index; ++i)
        FPages[static_cast<std::size_t>(i)].Button->move(
            Width - (index + 1 - i) * (kButtonWidth + kButtonGap), 0);
    const auto click = [this, index](TObject *) { RunAction([this, index] { ShowPage(index); }); };
    button->SetOnClick(click);
    label->SetOnClick(click);
    button->raise();
    if (FCurrent < 0)
        ShowPage(0);
    else
        SetOuterRingColor(button, kWindowColor);
}

void TSettingsPages::ShowPage(int index) {
    if (index < 0 || index >= PageCount()) return;
    FCurrent = index;
    for (int i = 0; i < PageCount(); ++i) {
        const TPage &page = FPages[static_cast<std::size_t>(i)];
        page.Holder->setVisible(i == index);
        SetOuterRingColor(page.Button, i == index ? clRed : kWindowColor);
        page.Button->raise();
    }
}

bool TSettingsPages::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Show) show();
    if (event->type() == QEvent::Hide) hide();
    return QWidget::eventFilter(watched, event);
}
