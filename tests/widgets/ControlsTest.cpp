#include "widgets/MMBorder.h"
#include "widgets/MMDIBGraphicControl.h"
#include "widgets/MMLoadingBracket.h"
#include "widgets/MMPanel.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

QImage Grab(QWidget &w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRgb Rgb(TColor c) {
    return ToQColor(c).rgb();
}

// Records Loaded() calls in creation order.
class LoadProbe : public TMMComponent {
  public:
    explicit LoadProbe(std::vector<int> &log, int id) : FLog(log), FId(id) {}
    void Loaded() override {
        TMMComponent::Loaded();
        FLog.push_back(FId);
    }

  private:
    std::vector<int> &FLog;
    int FId;
};

} // namespace

TEST(LoadingBracket, ComponentsLoadOnceInCreationOrder) {
    std::vector<int> log;
    LoadProbe outside(log, 0);
    {
        TMMLoadingBracket bracket;
        LoadProbe a(log, 1);
        bracket.Add(&a);
        TMMPanel panel; // controls join by themselves
        EXPECT_TRUE(panel.IsLoading());
        auto *gone = new LoadProbe(log, 9);
        bracket.Add(gone);
        {
            TMMLoadingBracket inner; // nested: handed to the outer bracket
            LoadProbe b(log, 2);
            inner.Add(&b);
            inner.Done();
            EXPECT_TRUE(b.IsLoading());
            TMMLoadingBracket::Leave(gone); // freed before the end: never loaded
            delete gone;
            LoadProbe c(log, 3);
            bracket.Add(&c);
            bracket.Done();
            EXPECT_FALSE(a.IsLoading());
            EXPECT_FALSE(panel.IsLoading());
        }
        EXPECT_EQ(log, (std::vector<int>{1, 2, 3}));
    }
    EXPECT_FALSE(outside.IsLoading());
}

TEST(Panel, DefaultsAndCaption) {
    TMMPanel panel;
    EXPECT_EQ(panel.Color(), clBtnFace);
    EXPECT_FALSE(panel.ParentColor());
    EXPECT_TRUE(panel.ParentFont());
    EXPECT_EQ(panel.Alignment(), taCenter);
    EXPECT_EQ(panel.Width(), 185);
    EXPECT_EQ(panel.Height(), 41);
    panel.SetColor(2040095);
    panel.SetBounds(0, 0, 40, 20);
    QImage img = Grab(panel);
    EXPECT_EQ(img.pixel(0, 0), Rgb(clBtnShadow));
    EXPECT_EQ(img.pixel(39, 19), Rgb(clBtnHighlight));
    EXPECT_EQ(img.pixel(20, 10), Rgb(2040095));
    panel.SetCaption(QStringLiteral("VU METER"));
    panel.SetFontColor(clLime);
    img = Grab(panel);
    int lime = 0;
    for (int y = 1; y < 19; ++y)
        for (int x = 1; x < 39; ++x)
            lime += qGreen(img.pixel(x, y)) > 200 && qRed(img.pixel(x, y)) < 100;
    EXPECT_GT(lime, 5) << "no caption drawn";
}

TEST(Panel, ChildrenAlignInsideTheBevel) {
    TMMPanel panel;
    panel.Bevel().SetBorderWidth(2);
    panel.SetBounds(0, 0, 100, 60); // total bevel 3
    auto *top = new TMMPanel(&panel);
    top->SetHeight(10);
    top->SetAlign(alTop);
    auto *rest = new TMMPanel(&panel);
    rest->SetAlign(alClient);
    EXPECT_EQ(top->geometry(), QRect(3, 3, 94, 10));
    EXPECT_EQ(rest->geometry(), QRect(3, 13, 94, 44));
    panel.Bevel().SetBevelOuter(bvNone); // bevel change realigns
    EXPECT_EQ(rest->geometry(), QRect(2, 12, 96, 46));
    panel.SetBounds(0, 0, 50, 40);
    EXPECT_EQ(rest->geometry(), QRect(2, 12, 46, 26));
}

TEST(Panel, ParentColorFollowsTheParent) {
    TMMPanel parent;
    auto *child = new TMMBorder(&parent);
    EXPECT_TRUE(child->ParentColor());
    parent.SetColor(4869450);
    EXPECT_EQ(child->Color(), 4869450);
    child->SetColor(clRed);
    EXPECT_FALSE(child->ParentColor());
    parent.SetColor(clBlack);
    EXPECT_EQ(child->Color(), clRed);
}

TEST(Border, OnePixelWithoutBevelIsALineEvenWhenTransparent) {
    TMMBorder border;
    EXPECT_EQ(border.Width(), 185);
    EXPECT_EQ(border.Height(), 41);
    EXPECT_FALSE(border.Transparent());
    border.Bevel().SetBevelOuter(bvNone);
    border.SetColor(clRed);
    border.SetBounds(0, 0, 276, 1);
    border.SetTransparent(true);
    const QImage img = Grab(border);
    for (int x : {0, 100, 275})
        EXPECT_EQ(img.pixel(x, 0), Rgb(clRed));
}

TEST(Border, TransparentDrawsOnlyTheBevel) {
    QWidget parent;
    parent.resize(30, 30);
    parent.setAutoFillBackground(true);
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(0, 0, 255));
    parent.setPalette(pal);
    auto *border = new TMMBorder(&parent);
    border->SetBounds(5, 5, 20, 20);
    border->SetColor(clRed);
    QImage img = Grab(parent);
    EXPECT_EQ(img.pixel(15, 15), Rgb(clRed));
    border->SetTransparent(true);
    img = Grab(parent);
    EXPECT_EQ(img.pixel(15, 15), qRgb(0, 0, 255)) << "the parent must show through";
    EXPECT_EQ(img.pixel(5, 5), Rgb(clBtnShadow));
    EXPECT_EQ(img.pixel(24, 24), Rgb(clBtnHighlight));
}

TEST(DIBGraphicControl, SixteenBitsAreRefusedAndTheOldDepthKept) {
    TMMDIBGraphicControl control;
    EXPECT_EQ(control.BitsPerPixel(), 24);
    control.SetBitsPerPixel(8);
    try {
        control.SetBitsPerPixel(16);
        FAIL() << "16 bits accepted";
    } catch (const EMMDIBError &e) {
        EXPECT_STREQ(e.what(), "Bitlength not supported yet");
    }
    EXPECT_EQ(control.BitsPerPixel(), 8);
    EXPECT_EQ(control.DIBCanvas().BitsPerPixel(), 8);
}

TEST(DIBGraphicControl, CanvasErrorsNameTheOwner) {
    TMMDIBGraphicControl control;
    control.DIBCanvas().BeginDrawing();
    try {
        control.DIBCanvas().Resize(50, 50);
        FAIL();
    } catch (const EMMDIBError &e) {
        EXPECT_STREQ(e.what(),
                     "TMMDIBGraphicControl: Attempt to create new DIB while initialized for drawing");
    }
    control.DIBCanvas().EndDrawing();
}

TEST(DIBGraphicControl, BackgroundBitmapOnlyWithABitmap) {
    TMMDIBGraphicControl control;
    control.SetUseBackGroundDIB(true);
    EXPECT_FALSE(control.UseBackGroundDIB()) << "no bitmap yet";
    EXPECT_FALSE(control.PaletteRealize());
    QImage face(4, 4, QImage::Format_RGB32);
    face.fill(qRgb(0, 0, 255));
    control.SetBackGroundDIB(face);
    EXPECT_TRUE(control.DIBCanvas().BackGroundBitmap().isNull());
    control.SetUseBackGroundDIB(true);
    EXPECT_TRUE(control.UseBackGroundDIB());
    EXPECT_TRUE(control.PaletteRealize());
    EXPECT_FALSE(control.DIBCanvas().BackGroundBitmap().isNull());
    face.fill(qRgb(255, 0, 0));
    control.SetBackGroundDIB(face); // every change reaches the canvas
    EXPECT_EQ(control.DIBCanvas().BackGroundBitmap().pixel(0, 0), qRgb(255, 0, 0));
    control.SetUseBackGroundDIB(false);
    EXPECT_FALSE(control.PaletteRealize());
    EXPECT_TRUE(control.DIBCanvas().BackGroundBitmap().isNull());
}

TEST(DIBGraphicControl, DrawsAtOnceOnlyWhenShownInAParent) {
    QWidget window;
    window.resize(60, 60);
    auto *control = new TMMDIBGraphicControl(&window);
    control->SetBounds(10, 10, 20, 30);
    int runs = 0;
    auto routine = [&](TMMDIBCanvas &dib) {
        ++runs;
        const TRect inner = control->InnerRect();
        dib.Resize(inner.Width(), inner.Height());
        dib.BeginDrawing();
        dib.SetColor(clLime);
        dib.Clear();
        dib.EndDrawing();
    };
    EXPECT_FALSE(control->DrawAtOnce(routine)) << "hidden window";
    EXPECT_EQ(runs, 0);
    window.show();
    QApplication::processEvents(); // exposed
    EXPECT_TRUE(control->DrawAtOnce(routine));
    EXPECT_EQ(runs, 1);
    // The picture is in the control's work bitmap when the call returns, and
    // any paint of the control shows it inside the bevel.
    const QImage img = Grab(window);
    EXPECT_EQ(img.pixel(11, 11), Rgb(clLime));
    EXPECT_EQ(img.pixel(28, 38), Rgb(clLime));
    EXPECT_EQ(img.pixel(10, 10), Rgb(clBtnShadow));
    control->hide();
    EXPECT_FALSE(control->DrawAtOnce(routine));
    EXPECT_EQ(runs, 1);
    TMMDIBGraphicControl orphan;
    orphan.show();
    EXPECT_FALSE(orphan.DrawAtOnce(routine)) << "no parent window";
}

TEST(Panel, AlignmentWaitsForTheEndOfLoading) {
    TMMPanel *panel = nullptr;
    TMMPanel *child = nullptr;
    {
        TMMLoadingBracket loading;
        panel = new TMMPanel;
        panel->SetBounds(0, 0, 100, 50);
        child = new TMMPanel(panel);
        child->SetBounds(7, 7, 10, 10);
        child->SetAlign(alClient);
        EXPECT_EQ(child->geometry(), QRect(7, 7, 10, 10)) << "aligned while loading";
    }
    EXPECT_EQ(child->geometry(), QRect(1, 1, 98, 48));
    delete panel;
}

TEST(GraphicControl, AnInvisibleControlIsOutlinedOnlyAtDesignTime) {
    QWidget parent;
    parent.resize(30, 30);
    parent.setAutoFillBackground(true);
    QPalette pal;
    pal.setColor(QPalette::Window, Qt::white);
    parent.setPalette(pal);
    auto *border = new TMMBorder(&parent);
    border->Bevel().SetBevelOuter(bvNone);
    border->SetTransparent(true);
    border->SetBounds(5, 5, 20, 20);
    EXPECT_EQ(Grab(parent).pixel(5, 5), qRgb(255, 255, 255));
    border->SetDesigning(true);
    EXPECT_EQ(Grab(parent).pixel(5, 5), qRgb(0, 0, 0));
}
