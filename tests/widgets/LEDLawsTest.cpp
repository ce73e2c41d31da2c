#include "widgets/MMLEDLaws.h"

#include <gtest/gtest.h>

TEST(LEDLaws, DigitCellByTypeEnabledAndZeroBlank) {
    // Digits: value + 1, or the dark cell when disabled or a blanked zero.
    EXPECT_EQ(MMLEDDigitCell(ltDigit, 0, true, false), 1);
    EXPECT_EQ(MMLEDDigitCell(ltDigit, 9, true, false), 10);
    EXPECT_EQ(MMLEDDigitCell(ltDigit, 0, true, true), 0);
    EXPECT_EQ(MMLEDDigitCell(ltDigit, 7, true, true), 8) << "only a zero blanks";
    EXPECT_EQ(MMLEDDigitCell(ltDigit, 7, false, false), 0);
    // Signs: their own cell while enabled; value and ZeroBlank do not matter.
    EXPECT_EQ(MMLEDDigitCell(ltPeriod, 0, true, true), 1);
    EXPECT_EQ(MMLEDDigitCell(ltColon, 5, true, false), 2);
    EXPECT_EQ(MMLEDDigitCell(ltMinus, 0, true, true), 3);
    EXPECT_EQ(MMLEDDigitCell(ltColon, 5, false, false), 0);
    EXPECT_FALSE(MMLEDUsesSignStrip(ltDigit));
    EXPECT_TRUE(MMLEDUsesSignStrip(ltMinus));
}

TEST(LEDLaws, DigitTakesItsLastPlaceWithinItsRange) {
    EXPECT_EQ(MMLEDDigitTakes(47, 0, 9), 7);
    EXPECT_EQ(MMLEDDigitTakes(47, 0, 5), -1);
    EXPECT_EQ(MMLEDDigitTakes(40, 1, 9), -1);
    EXPECT_EQ(MMLEDDigitTakes(-7, 0, 9), -1) << "a negative remainder is out of range";
}

TEST(LEDLaws, SizeTableNamesAndStrips) {
    EXPECT_EQ(MMLEDStripName(ls06x07, false), "LCD_06X07");
    EXPECT_EQ(MMLEDStripName(ls23x41, true), "LCDS_23X41");
    // The nominal sizes of the names are not the cells.
    EXPECT_EQ(MMLEDStripName(ls18x25, false), "LCD_18X25");
    EXPECT_EQ(MMLEDStripSize(ls18x25, false), QSize(165, 23));
    EXPECT_EQ(MMLEDStripSize(ls07x11, false), QSize(55, 9));
    EXPECT_EQ(MMLEDStripSize(ls07x11, true), QSize(20, 9));
    EXPECT_EQ(MMLEDStripSize(ls23x41, false), QSize(231, 41));
    EXPECT_EQ(MMLEDStripSize(ls23x41, true), QSize(84, 41));
    EXPECT_EQ(MMLEDCellSize(ls13x21), QSize(11, 21));
    EXPECT_FALSE(MMLEDSizeValid(13));
    EXPECT_FALSE(MMLEDSizeValid(-1));
    EXPECT_TRUE(MMLEDStripName(TMMLEDSize(13), false).empty());
}

TEST(LEDLaws, PanelLayoutAndForcedSize) {
    // Three ls13x21 digits (11 × 21), LEDSpace 2, bevel 3: units rightmost.
    const TMMLEDPanelLayout l = MMLEDPanelLayoutFor(3, ls13x21, 2, 3);
    EXPECT_EQ(l.PanelSize, QSize(2 * 3 + 3 * 13 - 2, 2 * 3 + 21));
    EXPECT_EQ(l.DigitLeft, (std::vector<int>{3 + 2 * 13, 3 + 13, 3}));
    EXPECT_EQ(l.DigitTop, 3);
    // The clock's panels have no bevel: 29 × 25 and 33 × 29 as placed.
    EXPECT_EQ(MMLEDPanelLayoutFor(2, ls15x25, 3, 0).PanelSize, QSize(29, 25));
    EXPECT_EQ(MMLEDPanelLayoutFor(2, ls17x29, 3, 0).PanelSize, QSize(33, 29));
    // One digit: no spacing at all.
    EXPECT_EQ(MMLEDPanelLayoutFor(1, ls06x07, 5, 1).PanelSize, QSize(2 + 4, 2 + 7));
}

TEST(LEDLaws, ZeroBlankingDarkensLeadingZerosOnly) {
    using B = std::vector<bool>;
    EXPECT_EQ(MMLEDPanelZeroBlanks(2, 5, true), (B{false, true}));
    EXPECT_EQ(MMLEDPanelZeroBlanks(2, 5, false), (B{false, false}));
    EXPECT_EQ(MMLEDPanelZeroBlanks(3, -7, true), (B{false, true, true}));
    // 105: the inner zero stays lit (digit 2 keeps ZeroBlank false).
    EXPECT_EQ(MMLEDPanelZeroBlanks(4, 105, true), (B{false, false, false, true}));
    // Exactly 10: digit 2 blanks, but it shows 1, not a zero.
    EXPECT_EQ(MMLEDPanelZeroBlanks(3, 10, true), (B{false, true, true}));
    // Zero itself is one lit 0.
    EXPECT_EQ(MMLEDPanelZeroBlanks(4, 0, true), (B{false, true, true, true}));
    EXPECT_EQ(MMLEDPanelZeroBlanks(9, -2147483647 - 1, true).size(), 9u);
}
