#include "widgets/MMBorder.h"
#include "widgets/MMDIBGraphicControl.h"
#include "widgets/MMLabel.h"
#include "widgets/MMLoadingBracket.h"
#include "widgets/MMNumberEdit.h"
#include "widgets/MMPanel.h"
#include "widgets/MMSpinButton.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

TMMLabel *Caption(QWidget *parent, int x, int y, const QString &text, TMMLabelStyle style, TColor color) {
    auto *l = new TMMLabel(parent);
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(16);
    f.setBold(true);
    l->SetFont(f);
    l->SetFontColor(color);
    l->SetCaption(text);
    l->SetEffectStyle(style);
    l->SetBounds(x, y, 120, 30);
    return l;
}

} // namespace

// Renders one of every widget of the drawing ground; with VELMORA_SHOT_DIR set
// the picture is saved there as widgets.png for a person to look at.
TEST(SampleShot, EveryWidgetRendersTogether) {
    QWidget window;
    window.resize(420, 250);
    window.setAutoFillBackground(true);
    QPalette pal;
    pal.setColor(QPalette::Window, ToQColor(4869450));
    window.setPalette(pal);

    TMMLoadingBracket loading;
    auto *panel = new TMMPanel(&window);
    panel->SetBounds(4, 4, 412, 242);
    panel->SetColor(2040095);

    auto *phase = Caption(panel, 8, 4, QStringLiteral("PHASE"), lsCustom, clLime);
    phase->SetDepthHighlight(0);
    phase->SetDepthShadow(0);
    phase->SetFont([] {
        QFont f(QStringLiteral("Arial"));
        f.setPointSize(10);
        f.setBold(true);
        return f;
    }());
    Caption(panel, 8, 28, QStringLiteral("Raised"), lsRaised, clSilver);
    Caption(panel, 8, 60, QStringLiteral("Sunken"), lsSunken, clSilver);
    Caption(panel, 8, 92, QStringLiteral("Shadow"), lsShadow, clYellow);
    Caption(panel, 8, 124, QStringLiteral("Flying"), lsFlying, clAqua);
    auto *extruded = Caption(panel, 8, 160, QStringLiteral("Extrude"), lsCustom, clWhite);
    extruded->SetDirectionShadow(ldDownRight);
    extruded->SetDepthShadow(4);
    extruded->SetStyleShadow(loExtrude);
    extruded->SetColourShadow(clMaroon);
    extruded->SetDepthHighlight(0);
    auto *filled = Caption(panel, 8, 196, QStringLiteral("Bitmap"), lsNone, clBlack);
    QImage stripes(6, 6, QImage::Format_RGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            stripes.setPixel(x, y, (x + y) % 6 < 3 ? qRgb(255, 80, 0) : qRgb(255, 230, 0));
    filled->SetBitmap(stripes);
    auto *turned = Caption(panel, 140, 20, QStringLiteral("Angle 90"), lsShadow, clLime);
    turned->SetAngle(90);
    turned->SetBounds(140, 20, 34, 130);

    auto *framed = new TMMPanel(panel);
    framed->SetBounds(190, 20, 210, 90);
    framed->SetColor(clBlack);
    framed->Bevel().SetBorderStyle(bsSingle);
    framed->Bevel().SetBevelOuter(bvRaised);
    framed->Bevel().SetBevelOuterWidth(2);
    framed->Bevel().SetBorderWidth(3);
    framed->Bevel().SetBevelInner(bvLowered);
    framed->Bevel().SetBorderSpace(1);
    framed->Bevel().SetBorderSpaceColor(clGray);
    framed->SetCaption(QStringLiteral("panel with every ring"));
    framed->SetFontColor(clWhite);

    auto *line = new TMMBorder(panel);
    line->Bevel().SetBevelOuter(bvNone);
    line->SetColor(clRed);
    line->SetBounds(190, 118, 210, 1);

    auto *bar = new TMMDIBGraphicControl(panel);
    bar->SetBounds(190, 128, 210, 24);
    bar->Bevel().SetBevelInner(bvRaised);

    auto *value = new TMMNumberEdit(panel);
    value->SetBounds(190, 170, 35, 20);
    value->SetReadOnly(true);
    value->SetMinValue(-30);
    value->SetMaxValue(-10);
    value->SetValue(-20);
    auto *spin = new TMMSpinButton(panel);
    spin->move(228, 168);
    spin->SetOnUpClick([value](TObject *) { value->SetValue(value->Value() + 1); });
    spin->SetOnDownClick([value](TObject *) { value->SetValue(value->Value() - 1); });
    spin->ClickHalf(shUp);
    spin->ClickHalf(shUp);
    loading.Done();

    window.show();
    QApplication::processEvents();
    // A bar meter's way of drawing: dotted unlit spots, solid lit ones, at once.
    const bool drawn = bar->DrawAtOnce([bar](TMMDIBCanvas &dib) {
        const TRect inner = bar->InnerRect();
        dib.Resize(inner.Width(), inner.Height());
        dib.BeginDrawing();
        dib.SetColor(clBlack);
        dib.Clear();
        for (int k = 0; k < inner.Width() / 4; ++k) {
            const bool lit = k < 30;
            dib.SetColor(!lit ? clGreen : k < 25 ? clLime : clYellow);
            dib.FillRect(Rect(k * 4 + 1, 1, k * 4 + 4, inner.Height() - 1), !lit);
        }
        dib.EndDrawing();
    });
    EXPECT_TRUE(drawn);

    const QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(value->text(), QStringLiteral("-18"));
    // Window coordinates: the outer panel sits at (4, 4).
    EXPECT_EQ(shot.pixel(304, 122), ToQColor(clRed).rgb());
    EXPECT_EQ(shot.pixel(194, 24), ToQColor(clWindowFrame).rgb());
    EXPECT_EQ(shot.pixel(206, 142), ToQColor(clLime).rgb());
    EXPECT_EQ(shot.pixel(2, 2), ToQColor(4869450).rgb());
    if (const char *dir = std::getenv("VELMORA_SHOT_DIR")) {
        QDir().mkpath(QString::fromLocal8Bit(dir));
        EXPECT_TRUE(shot.save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("widgets.png"))));
    }
}
