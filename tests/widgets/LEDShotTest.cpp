#include "widgets/MMDigitCache.h"
#include "widgets/MMLEDDigit.h"
#include "widgets/MMLEDPanel.h"
#include "widgets/MMPanel.h"

#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

namespace {

TMMLEDDigit *Digit(QWidget *parent, TMMLEDSize size, int x, int y, TMMLEDType type, int value, bool enabled) {
    auto *d = new TMMLEDDigit(parent);
    d->SetDigitSize(size);
    d->SetDisplayType(type);
    d->SetValue(value);
    d->SetEnabled(enabled);
    d->move(x, y);
    return d;
}

} // namespace

// Every size of digit strip and sign strip through the real digits: lit
// digits 0 to 9, the unlit cells, the signs, and panels in the clock's colours
// with and without the unlit segments. With VELMORA_SHOT_DIR set the sheet is
// saved there as leds.png, and three times enlarged as leds-x3.png.
TEST(LEDShot, EverySizeLitAndUnlit) {
    QWidget window;
    window.resize(620, 400);
    auto *face = new TMMPanel(&window);
    face->Bevel().SetBevelOuter(bvNone);
    face->SetColor(clBlack);
    face->SetBounds(0, 0, 620, 400);
    int y = 4;
    std::vector<std::pair<int, int>> rows; // top and height of each size's row
    for (int s = 0; s < kMMLEDSizeCount; ++s) {
        const auto size = TMMLEDSize(s);
        const QSize cell = MMLEDCellSize(size);
        const int pitch = cell.width() + 2;
        int x = 4;
        for (int v = 0; v <= 9; ++v, x += pitch)
            Digit(face, size, x, y, ltDigit, v, true);
        Digit(face, size, x, y, ltDigit, 8, false); // all unlit
        x += pitch + 6;
        Digit(face, size, x, y, ltColon, 0, false);
        x += pitch;
        for (TMMLEDType type : {ltPeriod, ltColon, ltMinus}) {
            Digit(face, size, x, y, type, 0, true);
            x += pitch;
        }
        x += 6;
        for (bool inactive : {true, false}) {
            auto *panel = new TMMLEDPanel(face);
            panel->Bevel().SetBevelOuter(bvNone);
            panel->SetDigitSize(size);
            panel->SetNumDigits(4);
            panel->SetLEDSpace(2);
            panel->SetMinValue(-999);
            panel->SetZeroBlank(true);
            panel->SetLEDColor(16732497);
            panel->SetInactiveColor(6172416);
            panel->SetDrawInactive(inactive);
            panel->SetValue(-42);
            panel->move(x, y);
            x += panel->width() + 8;
        }
        rows.emplace_back(y, cell.height());
        y += cell.height() + 4;
    }
    EXPECT_EQ(TDigitCache::Count(), kMMLEDSizeCount * 6) << "digits and signs in three looks per size";
    window.show();
    QApplication::processEvents();
    const QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (const auto &[top, height] : rows) {
        int lit = 0, clock = 0;
        for (int yy = top; yy < top + height; ++yy)
            for (int xx = 0; xx < shot.width(); ++xx) {
                lit += shot.pixel(xx, yy) == ToQColor(clLime).rgb();
                clock += shot.pixel(xx, yy) == ToQColor(16732497).rgb();
            }
        EXPECT_GT(lit, 0) << "row at " << top;
        EXPECT_GT(clock, 0) << "row at " << top;
    }
    if (const char *dir = std::getenv("VELMORA_SHOT_DIR")) {
        const QDir out(QString::fromLocal8Bit(dir));
        QDir().mkpath(out.path());
        const QImage used = shot.copy(0, 0, shot.width(), y);
        EXPECT_TRUE(used.save(out.filePath(QStringLiteral("leds.png"))));
        EXPECT_TRUE(used.scaled(used.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                        .save(out.filePath(QStringLiteral("leds-x3.png"))));
    }
}
