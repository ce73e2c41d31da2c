#pragma once

#include "widgets/MMPanel.h"

#include <QPointer>
#include <QRect>
#include <QString>

class QMainWindow;
class QMenuBar;

// A panel that shows another of the application's top-level windows inside itself: it finds
// the window by its caption, makes it a borderless child filling the panel's inner rectangle,
// and gives the window its own settings back when it lets go of it. The window is only
// borrowed: the panel never owns or frees it. Everything runs on the GUI thread.
class TFormPanel : public TMMPanel {
    Q_OBJECT
  public:
    explicit TFormPanel(QWidget *parent = nullptr);
    // Hands the hosted window back (hidden, with its own settings) before the panel goes.
    ~TFormPanel() override;

    // The hosted window's caption while one is hosted, else the text last written.
    QString FormCaption() const;
    // Adopts the window FindFormByCaption names (again, if it is the hosted one); an empty
    // text or no match leaves the panel empty. A miss while the panel is still loading is
    // retried once at the next paint. Refuses a window that contains the panel.
    void SetFormCaption(const QString &value);

    // The adopted window while it is still one of the application's windows, else none; every
    // use of the window goes through here, so one destroyed elsewhere is simply absent.
    QWidget *HostedForm() const;
    // Gives the hosted window back and adopts `form` (none leaves the panel empty). Throws
    // EMMError, changing nothing, when `form` is the panel's own window or one around it.
    void SetHostedForm(QWidget *form);

    // The last of the application's windows, in creation order, captioned exactly `caption`.
    static QWidget *FindFormByCaption(const QString &caption);

    void SetBounds(int left, int top, int width, int height) override;

  protected:
    // Fits the hosted window into the inner rectangle.
    void Resize();
    // Runs a pending caption lookup, then paints as a panel.
    void Paint(QPainter &canvas) override;
    void resizeEvent(QResizeEvent *event) override;
    void BevelChanged() override;

  private:
    // The hosted window as it was before it was adopted.
    struct TSavedFormState {
        QPointer<QMenuBar> Menu;         // its main menu, if it is a main window with one
        Qt::WindowFlags Flags;           // border, border icons, staying on top: the whole style
        QPointer<QWidget> Parent;        // the window it belongs to, if any
        QRect Geometry;                  // where it stood and its size
        bool Moved = false;              // placed by the program, not by the window system
        bool MenuMovedToOwner = false;   // its menu was hidden and shown by the owner window
        QPointer<QMenuBar> OwnerMenuBar; // the owner's bar this panel made for it, if any
    };

    void Release(QWidget *form);
    void Adopt(QWidget *form);
    // The main window this panel sits on, if it can carry a menu.
    QMainWindow *OwnerMainWindow() const;
    void MergeMenu();
    void UnmergeMenu();

    QPointer<QWidget> FHostedForm;
    QString FCaption;
    bool FPendingCaption = false;
    TSavedFormState FSavedFormState;
};
