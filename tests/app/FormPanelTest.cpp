#include "AppTestSupport.h"

#include "app/FormPanel.h"
#include "app/Forms.h"
#include "app/MeterPnl.h"
#include "platform/MMError.h"
#include "widgets/MMLoadingBracket.h"

#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <gtest/gtest.h>

#include <memory>

namespace {

// A top-level window of the application, registered as the program registers its forms.
std::unique_ptr<QWidget> Form(const QString &caption, Qt::WindowFlags flags = Qt::Window) {
    auto form = std::make_unique<QWidget>(nullptr, flags);
    form->setWindowTitle(caption);
    form->resize(148, 417);
    RegisterForm(form.get());
    return form;
}

} // namespace

TEST(FormPanelTest, TheLastWindowWithExactlyTheCaptionIsAdopted) {
    auto first = Form("FP twins");
    auto second = Form("FP twins");
    TFormPanel panel;
    panel.SetBounds(0, 0, 108, 326);
    panel.SetFormCaption("FP twins");
    EXPECT_EQ(panel.HostedForm(), second.get());
    EXPECT_EQ(second->parentWidget(), &panel);
    EXPECT_FALSE(second->isWindow());
    EXPECT_TRUE(first->isWindow());
    EXPECT_EQ(panel.FormCaption(), "FP twins");
    // The cover is gone again: the window is the panel's only child.
    EXPECT_EQ(panel.findChildren<QWidget *>(Qt::FindDirectChildrenOnly), QList<QWidget *>{second.get()});
    EXPECT_EQ(TFormPanel::FindFormByCaption("fp twins"), nullptr);

    // A caption naming no window lets go of the hosted one and forgets the text.
    panel.SetFormCaption("FP nobody");
    EXPECT_EQ(panel.HostedForm(), nullptr);
    EXPECT_EQ(panel.FormCaption(), "");
    EXPECT_TRUE(second->isWindow());
    EXPECT_TRUE(second->isHidden());
}

TEST(FormPanelTest, TheSameCaptionTwiceReleasesAndAdoptsAgainKeepingTheWindowsOwnState) {
    auto form = Form("FP again", Qt::Tool);
    const Qt::WindowFlags own = form->windowFlags();
    TFormPanel panel;
    panel.SetBounds(0, 0, 110, 328);
    panel.show();
    panel.SetFormCaption("FP again");
    const QRect bounds = form->geometry();
    EXPECT_EQ(bounds, QRect(1, 1, 108, 326)); // inside the default lowered ring
    // Given back and taken again: visible in the panel where it was.
    panel.SetFormCaption("FP again");
    EXPECT_EQ(form->parentWidget(), &panel);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->geometry(), bounds);

    // What was saved the second time is the window's own state, not the adopted one.
    panel.SetHostedForm(nullptr);
    EXPECT_TRUE(form->isWindow());
    EXPECT_EQ(form->windowFlags(), own);
}

TEST(FormPanelTest, DestroyingThePanelHandsTheWindowBackHiddenWithItsOwnBorder) {
    QWidget owner;
    auto *form = new QWidget(&owner, Qt::Tool | Qt::WindowStaysOnTopHint);
    form->setWindowTitle("FP returned");
    form->setGeometry(50, 60, 148, 417);
    RegisterForm(form);
    const Qt::WindowFlags own = form->windowFlags();
    form->show();
    {
        TFormPanel panel;
        panel.SetBounds(0, 0, 108, 326);
        panel.SetFormCaption("FP returned");
        ASSERT_EQ(form->parentWidget(), &panel);
        EXPECT_EQ(form->windowFlags() & Qt::WindowType_Mask, Qt::Widget);
    }
    EXPECT_EQ(form->parentWidget(), &owner);
    EXPECT_TRUE(form->isWindow());
    EXPECT_EQ(form->windowFlags(), own);
    EXPECT_TRUE(form->isHidden());
    EXPECT_EQ(form->geometry(), QRect(50, 60, 148, 417));
}

TEST(FormPanelTest, TheWindowIsInsetByTheBorderAndBevelsAndFollowsThePanel) {
    auto form = Form("FP inset");
    TFormPanel panel;
    panel.SetBounds(0, 0, 100, 80);
    TMMBevel &bevel = panel.Bevel();
    bevel.BeginUpdate();
    bevel.SetBorderStyle(bsSingle);
    bevel.SetBorderWidth(2);
    bevel.SetBevelOuter(bvLowered);
    bevel.SetBevelOuterWidth(1);
    bevel.EndUpdate();
    panel.SetFormCaption("FP inset");
    EXPECT_EQ(form->geometry(), QRect(4, 4, 92, 72));
    panel.SetBounds(0, 0, 120, 90);
    EXPECT_EQ(form->geometry(), QRect(4, 4, 112, 82));
    bevel.SetBevelInner(bvRaised);
    EXPECT_EQ(form->geometry(), QRect(5, 5, 110, 80));
}

TEST(FormPanelTest, OnlyLiveApplicationWindowsAreHosted) {
    TFormPanel panel;
    QWidget stranger; // not one of the application's windows
    panel.SetHostedForm(&stranger);
    EXPECT_TRUE(stranger.isWindow());

    auto *gone = Form("FP gone").release();
    panel.SetFormCaption("FP gone");
    ASSERT_EQ(panel.HostedForm(), gone);
    delete gone; // destroyed elsewhere: simply absent
    EXPECT_EQ(panel.HostedForm(), nullptr);
}

TEST(FormPanelTest, AMissWhileLoadingIsLookedUpAgainAtTheFirstPaintAndOnlyThen) {
    TMMLoadingBracket loading;
    TFormPanel panel, late;
    panel.SetFormCaption("FP later");
    EXPECT_EQ(panel.FormCaption(), "FP later");
    loading.Done();
    late.SetFormCaption("FP later"); // outside loading a miss is final
    auto form = Form("FP later");
    EXPECT_EQ(panel.HostedForm(), nullptr);
    late.grab();
    panel.grab();
    EXPECT_EQ(panel.HostedForm(), form.get());
    EXPECT_EQ(late.HostedForm(), nullptr);
}

TEST(FormPanelTest, AWindowCannotBeShownInsideItself) {
    QWidget owner;
    owner.setWindowTitle("FP host");
    RegisterForm(&owner);
    auto *panel = new TFormPanel(&owner);
    EXPECT_THROW(panel->SetFormCaption("FP host"), EMMError);
    EXPECT_TRUE(owner.isWindow());
    EXPECT_EQ(panel->HostedForm(), nullptr);
}

TEST(FormPanelTest, TheHostedMenuGoesToTheOwnerWindowAndComesBack) {
    QMainWindow owner;
    auto *panel = new TFormPanel;
    owner.setCentralWidget(panel);
    auto hosted = std::make_unique<QMainWindow>();
    hosted->setWindowTitle("FP menu");
    QMenu *edit = hosted->menuBar()->addMenu("Edit");
    RegisterForm(hosted.get());

    // An owner without a menu carries the window's.
    panel->SetFormCaption("FP menu");
    auto *ownerBar = qobject_cast<QMenuBar *>(owner.menuWidget());
    ASSERT_NE(ownerBar, nullptr);
    EXPECT_EQ(ownerBar->actions(), QList<QAction *>{edit->menuAction()});
    EXPECT_TRUE(hosted->menuBar()->isHidden());
    panel->SetHostedForm(nullptr);
    EXPECT_EQ(owner.menuWidget(), nullptr);
    EXPECT_FALSE(hosted->menuBar()->isHidden());

    // An owner with a menu of its own has the window's merged in, and out again.
    QMenu *file = owner.menuBar()->addMenu("File");
    panel->SetFormCaption("FP menu");
    EXPECT_EQ(owner.menuBar()->actions(), (QList<QAction *>{file->menuAction(), edit->menuAction()}));
    panel->SetFormCaption("");
    EXPECT_EQ(owner.menuBar()->actions(), QList<QAction *>{file->menuAction()});
    EXPECT_FALSE(hosted->menuBar()->isHidden());
}

TEST(MeterPanelTest, WindowPanelLabelsAndInstrumentPlaces) {
    TMeterPanel meter;
    EXPECT_EQ(meter.windowTitle(), "MeterPanel");
    EXPECT_EQ(meter.size(), QSize(148, 417));
    EXPECT_EQ(FromQColor(meter.palette().color(QPalette::Window)), 4869450);
    EXPECT_EQ(meter.MMPanel1->geometry(), QRect(0, 0, 108, 326));
    EXPECT_EQ(meter.MMPanel1->Color(), 2040095);
    EXPECT_EQ(meter.MMPanel1->Bevel().OuterShadowColor(), clBtnShadow);
    EXPECT_EQ(meter.MMLevel2->geometry(), QRect(76, 18, 20, 288));
    EXPECT_EQ(meter.MMLevelScale2->geometry(), QRect(36, 18, 36, 288));
    struct TRow {
        QLabel *label;
        QPoint at;
        const char *text;
        TColor color;
        int pixels;
    };
    for (const TRow &row :
         {TRow{meter.Label2, {38, 2}, "PEAK", clLime, 12}, TRow{meter.ClipL, {9, 3}, "CLIP", clMaroon, 9},
          TRow{meter.ClipR, {76, 4}, "CLIP", clMaroon, 9}, TRow{meter.Label1, {48, 305}, "dB", clSilver, 11},
          TRow{meter.Label7, {17, 310}, "L", clYellow, 9}, TRow{meter.Label3, {83, 309}, "R", clYellow, 9}}) {
        EXPECT_EQ(row.label->pos(), row.at) << row.text;
        EXPECT_EQ(row.label->text(), row.text);
        EXPECT_EQ(FromQColor(row.label->palette().color(QPalette::WindowText)), row.color) << row.text;
        EXPECT_EQ(row.label->font().pixelSize(), row.pixels) << row.text;
    }
}

TEST(MeterPanelTest, TheConsoleTakesTheMeterPanelEachTimeItsShowingChanges) {
    TMeterPanel meter;
    RegisterForm(&meter);
    {
        TSimConsole form;
        EXPECT_EQ(form.PhaseSectPnl->HostedForm(), nullptr);
        form.show();
        ASSERT_EQ(form.PhaseSectPnl->HostedForm(), &meter);
        EXPECT_EQ(meter.geometry(), QRect(0, 0, 108, 326)); // no bevel: the whole panel
        EXPECT_TRUE(meter.isVisible());
        // Hiding is a change of the showing state too: the panel adopts it afresh.
        meter.setGeometry(5, 5, 10, 10);
        form.hide();
        EXPECT_EQ(meter.parentWidget(), form.PhaseSectPnl);
        EXPECT_EQ(meter.geometry(), QRect(0, 0, 108, 326));
        form.show();
        EXPECT_TRUE(meter.isVisible());
        form.hide();
    }
    // The console gone, the meter panel is a hidden window of its own again.
    EXPECT_TRUE(meter.isWindow());
    EXPECT_TRUE(meter.isHidden());
    EXPECT_EQ(meter.size(), QSize(148, 417));
}
