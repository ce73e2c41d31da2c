#pragma once

#include <QSize>
#include <array>
#include <string>
#include <vector>

// The rules of the LED digits and panels as numbers: which cell of a strip a
// digit shows, the strips' names and cell sizes, the panel's layout and its
// leading-zero blanking. No drawing here.

enum TMMLEDSize {
    ls06x07 = 0,
    ls07x11,
    ls08x13,
    ls11x19,
    ls13x20,
    ls13x21,
    ls15x24,
    ls15x25,
    ls17x29,
    ls18x25,
    ls19x33,
    ls21x37,
    ls23x41
};
constexpr int kMMLEDSizeCount = 13;

enum TMMLEDType { ltDigit = 0, ltPeriod = 1, ltColon = 2, ltMinus = 3 };

// A digit strip has the unlit cell and the digits 0 to 9; a sign strip the
// unlit cell, period, colon and minus.
constexpr int kMMDigitCells = 11;
constexpr int kMMSignCells = 4;

// One row of the size table. The resource names follow the nominal size,
// which is not always the cell's (ls18x25 has 15 × 23 cells).
struct TMMLEDSizeInfo {
    const char *DigitStrip; // resource name of the digit strip
    const char *SignStrip;  // resource name of the sign strip
    int CellWidth;
    int CellHeight;
};

const std::array<TMMLEDSizeInfo, kMMLEDSizeCount> &MMLEDSizeTable();
// False for an ordinal outside the table.
bool MMLEDSizeValid(int size);
// The cell of a strip; an invalid size has an empty cell.
QSize MMLEDCellSize(TMMLEDSize size);
// Digit strips are 11 cells wide, sign strips 4.
QSize MMLEDStripSize(TMMLEDSize size, bool sign);
// "LCD_13X21" or "LCDS_13X21"; empty for an invalid size.
std::string MMLEDStripName(TMMLEDSize size, bool sign);
// The strip a digit of this type draws from.
inline bool MMLEDUsesSignStrip(TMMLEDType type) {
    return type != ltDigit;
}

// The cell a digit shows: 0 is the all-dark cell. A digit shows value + 1
// unless disabled or a blanked zero; a sign shows its own cell while enabled.
int MMLEDDigitCell(TMMLEDType type, int value, bool enabled, bool zeroBlank);

// A digit set to `value` keeps its last decimal place when that lies in
// minValue..maxValue; otherwise the set is ignored (-1). Negative values keep
// their sign through the remainder and so are never taken.
int MMLEDDigitTakes(int value, int minValue, int maxValue);

// Where a panel puts its digits and how large it is forced to be.
struct TMMLEDPanelLayout {
    QSize PanelSize;
    // Left edges of digits 1 (the units, rightmost) to NumDigits; all at top Bevel.
    std::vector<int> DigitLeft;
    int DigitTop = 0;
};

// `bevel` is the panel's total bevel width, `ledSpace` the gap between digits.
TMMLEDPanelLayout MMLEDPanelLayoutFor(int numDigits, TMMLEDSize size, int ledSpace, int bevel);

// The ZeroBlank flag of digits 1..numDigits (index 0 is digit 1) for a panel
// showing `value`: with blanking on, digit 1 never blanks and digit k ≥ 2
// stops showing its zero from the first k where 10^(k-1) < |value| fails or
// k reaches numDigits.
std::vector<bool> MMLEDPanelZeroBlanks(int numDigits, int value, bool zeroBlank);
