#include "widgets/MMDigitCache.h"
#include "widgets/MMLED.h"
#include "widgets/MMLEDDigit.h"
#include "widgets/MMLEDPanel.h"
#include "widgets/MMLoadingBracket.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

QImage Grab(QWidget &w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRgb Rgb(TColor c) {
    return ToQColor(c).rgb();
}

// Which cell of its strip a digit shows on the screen: -1 when none matches.
int ShownCell(TMMLEDDigit &digit) {
    const QImage *strip = digit.Strip();
    if (strip == nullptr) return -1;
    const QImage shown = Grab(digit);
    const int cells = strip->width() / shown.width();
    for (int c = 0; c < cells; ++c)
        if (strip->copy(c * shown.width(), 0, shown.width(), shown.height())
                .convertToFormat(QImage::Format_RGB32) == shown)
            return c;
    return -1;
}

// The digits of a panel as text, leftmost first: '0'..'9', ' ' for the dark
// cell, '-', ':' and '.' for the signs.
std::string Shown(TMMLEDPanel &panel) {
    std::string s;
    for (int k = panel.NumDigits(); k >= 1; --k) {
        TMMLEDDigit &d = *panel.Digit(k);
        const int cell = ShownCell(d);
        if (cell == 0)
            s += ' ';
        else if (d.DisplayType() == ltDigit)
            s += char('0' + cell - 1);
        else
            s += " .:-"[cell];
    }
    return s;
}

} // namespace

TEST(LED, DefaultsAndLampLitOrDark) {
    TMMLED led;
    EXPECT_EQ(led.Width(), 16);
    EXPECT_EQ(led.Height(), 8);
    EXPECT_EQ(led.LEDColor(), 65280);
    EXPECT_EQ(led.Color(), 32768);
    EXPECT_TRUE(led.Caption().isEmpty());
    EXPECT_EQ(led.LampRect(), Rect(1, 1, 15, 7));
    QImage img = Grab(led);
    EXPECT_EQ(img.pixel(0, 0), Rgb(clBtnShadow)) << "the bevel frames the lamp";
    EXPECT_EQ(img.pixel(8, 4), Rgb(clLime));
    led.SetEnabled(false);
    EXPECT_EQ(Grab(led).pixel(8, 4), Rgb(clGreen));
    led.SetLEDColor(clRed); // dark: stays dark
    EXPECT_EQ(Grab(led).pixel(8, 4), Rgb(clGreen));
    led.SetEnabled(true);
    EXPECT_EQ(Grab(led).pixel(8, 4), Rgb(clRed));
}

TEST(LED, CaptionIsCentredOverTheLamp) {
    TMMLED led;
    led.SetBounds(0, 0, 32, 22);
    led.SetColor(clBlack);
    led.SetLEDColor(clBlack);
    led.SetFontColor(clWhite);
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(11);
    f.setBold(true);
    led.SetFont(f);
    led.SetCaption(QStringLiteral("+16"));
    const QImage img = Grab(led);
    int left = 32, right = -1, top = 22, bottom = -1;
    for (int y = 0; y < 22; ++y)
        for (int x = 0; x < 32; ++x)
            if (qRed(img.pixel(x, y)) > 128 && qGreen(img.pixel(x, y)) > 128 &&
                qBlue(img.pixel(x, y)) > 128) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, 0) << "no caption drawn";
    EXPECT_NEAR(left + right, 31, 3) << "centred horizontally";
    EXPECT_NEAR(top + bottom, 21, 4) << "centred vertically";
}

TEST(LED, OnPaintReplacesTheLamp) {
    TMMLED led;
    TRect given;
    led.SetOnPaint([&given](TObject *, QPainter &canvas, const TRect &rect) {
        given = rect;
        canvas.fillRect(3, 3, 2, 2, Qt::blue);
    });
    const QImage img = Grab(led);
    EXPECT_EQ(given, Rect(0, 0, 16, 8));
    EXPECT_EQ(img.pixel(3, 3), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(10, 4), Rgb(clGreen)) << "the background, not the lit lamp";
}

TEST(LEDDigit, SizeIsForcedToOneCellOfItsStrip) {
    TMMLEDDigit digit;
    EXPECT_EQ(digit.size(), QSize(11, 21));
    EXPECT_TRUE(digit.ParentColor());
    digit.SetBounds(5, 5, 50, 50);
    EXPECT_EQ(digit.geometry(), QRect(5, 5, 11, 21));
    digit.SetDigitSize(ls23x41);
    EXPECT_EQ(digit.size(), QSize(21, 41));
    digit.SetDisplayType(ltColon); // sign cells are as large as digit cells
    EXPECT_EQ(digit.size(), QSize(21, 41));
    EXPECT_EQ(digit.Strip()->width(), 84);
    digit.SetDigitSize(TMMLEDSize(13)); // ignored
    EXPECT_EQ(digit.DigitSize(), ls23x41);
}

TEST(LEDDigit, ShowsTheCellForTypeValueEnabledAndZeroBlank) {
    TMMLEDDigit digit;
    digit.SetColor(clBlack);
    EXPECT_EQ(ShownCell(digit), 1); // 0
    digit.SetValue(7);
    EXPECT_EQ(ShownCell(digit), 8);
    digit.SetValue(123); // the last place
    EXPECT_EQ(digit.Value(), 3);
    digit.SetValue(-4); // ignored
    EXPECT_EQ(digit.Value(), 3);
    digit.SetZeroBlank(true);
    EXPECT_EQ(ShownCell(digit), 4);
    digit.SetValue(0);
    EXPECT_EQ(ShownCell(digit), 0);
    digit.SetZeroBlank(false);
    digit.SetEnabled(false);
    EXPECT_EQ(ShownCell(digit), 0);
    digit.SetDisplayType(ltColon);
    EXPECT_EQ(ShownCell(digit), 0) << "a disabled colon shows the dark sign cell";
    digit.SetEnabled(true);
    EXPECT_EQ(ShownCell(digit), 2);
    digit.SetDisplayType(ltPeriod);
    EXPECT_EQ(ShownCell(digit), 1);
    digit.SetDisplayType(ltMinus);
    EXPECT_EQ(ShownCell(digit), 3);
}

TEST(LEDDigit, ColoursReachThePixels) {
    TMMLEDDigit digit;
    digit.SetColor(clBlack);
    digit.SetLEDColor(clRed);
    digit.SetInactiveColor(clBlue);
    digit.SetValue(1); // 1 lights b and c only
    auto count = [&digit](TColor c) {
        const QImage img = Grab(digit);
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += img.pixel(x, y) == Rgb(c);
        return n;
    };
    EXPECT_GT(count(clRed), 0);
    EXPECT_GT(count(clBlue), 0) << "unlit segments a, d, e, f, g in InactiveColor";
    digit.SetDrawInactive(false);
    EXPECT_EQ(count(clBlue), 0) << "unlit segments vanish into the background";
    EXPECT_GT(count(clRed), 0);
}

TEST(LEDDigit, RangeRulesIgnoreInvalidBounds) {
    TMMLEDDigit digit;
    digit.SetValue(8);
    digit.SetMaxValue(10);
    digit.SetMinValue(-1);
    EXPECT_EQ(digit.MaxValue(), 9);
    EXPECT_EQ(digit.MinValue(), 0);
    digit.SetMaxValue(5); // Value pulled into range
    EXPECT_EQ(digit.Value(), 5);
    digit.SetMinValue(6); // past MaxValue: ignored
    EXPECT_EQ(digit.MinValue(), 0);
    digit.SetMinValue(3);
    digit.SetValue(2);
    EXPECT_EQ(digit.Value(), 5);
    digit.SetValue(17);
    EXPECT_EQ(digit.Value(), 5) << "7 is past MaxValue";
}

TEST(LEDDigit, ConnectCascadesTensAndRefusesRings) {
    auto *units = new TMMLEDDigit;
    auto *tens = new TMMLEDDigit;
    auto *hundreds = new TMMLEDDigit;
    units->SetConnect(units);
    EXPECT_EQ(units->Connect(), nullptr);
    units->SetConnect(tens);
    tens->SetConnect(hundreds);
    hundreds->SetConnect(units); // would close a ring
    EXPECT_EQ(hundreds->Connect(), nullptr);
    units->SetValue(472);
    EXPECT_EQ(tens->Value(), 0) << "without CascadeValues nothing is passed on";
    units->SetCascadeValues(true);
    tens->SetCascadeValues(true);
    units->SetValue(472);
    EXPECT_EQ(units->Value(), 2);
    EXPECT_EQ(tens->Value(), 7);
    EXPECT_EQ(hundreds->Value(), 4);
    delete tens;
    EXPECT_EQ(units->Connect(), nullptr) << "cleared when the connected digit goes";
    units->SetValue(5);
    EXPECT_EQ(units->Value(), 5);
    delete hundreds;
    delete units;
    EXPECT_FALSE(TDigitCache::Exists());
}

TEST(LEDPanel, ShowsNumbersWithZeroBlankAndSign) {
    TMMLEDPanel panel;
    EXPECT_EQ(panel.NumDigits(), 2);
    EXPECT_EQ(panel.Color(), clBlack);
    panel.SetValue(5);
    EXPECT_EQ(Shown(panel), "05");
    panel.SetZeroBlank(true);
    EXPECT_EQ(Shown(panel), " 5");
    panel.SetNumDigits(3);
    panel.SetMinValue(-99);
    panel.SetValue(-7);
    EXPECT_EQ(Shown(panel), "- 7");
    panel.SetZeroBlank(false);
    EXPECT_EQ(Shown(panel), "-07");
    panel.SetValue(105);
    EXPECT_EQ(panel.Value(), 100) << "clamped to MaxValue";
    EXPECT_EQ(Shown(panel), "100");
    panel.SetZeroBlank(true);
    EXPECT_EQ(Shown(panel), "100") << "inner zeros stay lit";
    panel.SetValue(0);
    EXPECT_EQ(Shown(panel), "  0");
    panel.SetEnabled(false);
    EXPECT_EQ(Shown(panel), "   ");
}

TEST(LEDPanel, OnChangeOnlyWhenTheStoredValueChanges) {
    TMMLEDPanel panel;
    int changes = 0;
    panel.SetOnChange([&changes](TObject *) { ++changes; });
    panel.SetValue(150); // stores 100
    panel.SetValue(120); // still 100
    EXPECT_EQ(changes, 1);
    panel.SetMaxValue(50); // re-clamps to 50
    EXPECT_EQ(panel.Value(), 50);
    EXPECT_EQ(changes, 2);
    panel.SetMinValue(60); // past MaxValue: ignored
    EXPECT_EQ(panel.MinValue(), 0);
    {
        TMMLoadingBracket loading;
        TMMLEDPanel loaded;
        int loadedChanges = 0;
        loaded.SetOnChange([&loadedChanges](TObject *) { ++loadedChanges; });
        loaded.SetValue(42);
        loading.Done();
        EXPECT_EQ(loadedChanges, 0) << "no OnChange while loading";
        EXPECT_EQ(Shown(loaded), "42");
    }
}

TEST(LEDPanel, ForcedSizeForBevelAndSpacing) {
    TMMLEDPanel panel; // default bevel: lowered, 1 pixel
    EXPECT_EQ(panel.size(), QSize(2 + 2 * 11 + 1, 2 + 21));
    panel.SetLEDSpace(3);
    panel.Bevel().SetBorderWidth(2); // total bevel 3
    EXPECT_EQ(panel.size(), QSize(6 + 2 * 14 - 3, 6 + 21));
    EXPECT_EQ(panel.Digit(2)->pos(), QPoint(3, 3));
    EXPECT_EQ(panel.Digit(1)->pos(), QPoint(3 + 14, 3));
    panel.SetBounds(10, 10, 200, 200);
    EXPECT_EQ(panel.geometry(), QRect(10, 10, 6 + 2 * 14 - 3, 6 + 21));
    // Invalid settings are ignored.
    panel.SetLEDSpace(0);
    panel.SetNumDigits(10);
    panel.SetNumDigits(0);
    EXPECT_EQ(panel.LEDSpace(), 3);
    EXPECT_EQ(panel.NumDigits(), 2);
    panel.SetDigitSize(ls06x07);
    panel.SetNumDigits(4);
    EXPECT_EQ(panel.size(), QSize(6 + 4 * 7 - 3, 6 + 7));
    EXPECT_EQ(panel.Digit(4)->size(), QSize(4, 7));
}

TEST(LEDPanel, LoadedFromAFormTakesItsSizeOnlyAtTheEnd) {
    TMMLoadingBracket loading;
    TMMLEDPanel panel;
    panel.SetBounds(112, 56, 33, 29);
    panel.Bevel().SetBevelOuter(bvNone);
    panel.SetDigitSize(ls17x29);
    panel.SetLEDSpace(3);
    panel.SetLEDColor(16732497);
    panel.SetInactiveColor(6172416);
    EXPECT_EQ(panel.Digit(1)->Strip(), nullptr) << "nothing loaded while the form is read";
    loading.Done();
    EXPECT_EQ(panel.geometry(), QRect(112, 56, 33, 29));
    EXPECT_EQ(panel.Digit(1)->geometry(), QRect(18, 0, 15, 29));
    ASSERT_NE(panel.Digit(1)->Strip(), nullptr);
    EXPECT_EQ(panel.Digit(1)->Strip()->pixel(0, 0), Rgb(clBlack));
}

TEST(LEDPanel, MouseOnADigitIsThePanels) {
    TMMLEDPanel panel;
    EXPECT_EQ(panel.childAt(panel.Digit(1)->geometry().center()), nullptr) << "digits let the mouse through";
}
