#pragma once

// The groups of settings beyond the set-up menu (metering standards, loudness, operator aids,
// network) as pages of one panel under the menu, chosen with page buttons in its title row as
// the lower section's "VU METER" and "SPECTRUM" are. It shows and hides with the menu; each
// group keeps its own controls and handlers, laid out anew for the panel's width where they
// were a column beside the menu.
//
// Thread contract: main thread only.

#include "widgets/MMLabel.h"
#include "widgets/MMPanel.h"

#include <QWidget>

#include <vector>

class TSettingsPages : public QWidget {
    Q_OBJECT
  public:
    static constexpr int Width = 757, Height = 152;

    // Follows `menu`'s showing and hiding.
    TSettingsPages(QWidget *parent, QWidget *menu);

    // A horizontal band of a group's controls (their top at From <= y < To) moved by (Dx, Dy).
    struct TBand {
        int From, To, Dx, Dy;
    };
    // Takes `group` as the next page, its button captioned `caption`; `bands` lay a column-shaped
    // group out across the page. The first page added is the one shown.
    void AddPage(const QString &caption, QWidget *group, const std::vector<TBand> &bands = {});
    void ShowPage(int index);
    int CurrentPage() const { return FCurrent; }
    int PageCount() const { return static_cast<int>(FPages.size()); }
    TMMPanel *PageButton(int index) const { return FPages.at(static_cast<std::size_t>(index)).Button; }
    QWidget *PageGroup(int index) const { return FPages.at(static_cast<std::size_t>(index)).Group; }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    struct TPage {
        QWidget *Holder; // shown while the page is the current one
        QWidget *Group;
        TMMPanel *Button;
        TMMLabel *Caption;
    };
    std::vector<TPage> FPages;
    int FCurrent = -1;
};
