#include "widgets/MMLEDLaws.h"

#include <algorithm>
#include <cstdlib>

const std::array<TMMLEDSizeInfo, kMMLEDSizeCount> &MMLEDSizeTable() {
    static const std::array<TMMLEDSizeInfo, kMMLEDSizeCount> table = {{
        {"LCD_06X07", "LCDS_06X07", 4, 7},
        {"LCD_07X11", "LCDS_07X11", 5, 9},
        {"LCD_08X13", "LCDS_08X13", 7, 13},
        {"LCD_11X19", "LCDS_11X19", 9, 19},
        {"LCD_13X20", "LCDS_13X20", 11, 20},
        {"LCD_13X21", "LCDS_13X21", 11, 21},
        {"LCD_15X24", "LCDS_15X24", 13, 24},
        {"LCD_15X25", "LCDS_15X25", 13, 25},
        {"LCD_17X29", "LCDS_17X29", 15, 29},
        {"LCD_18X25", "LCDS_18X25", 15, 23},
        {"LCD_19X33", "LCDS_19X33", 17, 33},
        {"LCD_21X37", "LCDS_21X37", 19, 37},
        {"LCD_23X41", "LCDS_23X41", 21, 41},
    }};
    return table;
}

bool MMLEDSizeValid(int size) {
    return size >= 0 && size < kMMLEDSizeCount;
}

QSize MMLEDCellSize(TMMLEDSize size) {
    if (!MMLEDSizeValid(size)) return QSize(0, 0);
    const TMMLEDSizeInfo &info = MMLEDSizeTable()[size];
    return QSize(info.CellWidth, info.CellHeight);
}

QSize MMLEDStripSize(TMMLEDSize size, bool sign) {
    const QSize cell = MMLEDCellSize(size);
    return QSize(cell.width() * (sign ? kMMSignCells : kMMDigitCells), cell.height());
}

std::string MMLEDStripName(TMMLEDSize size, bool sign) {
    if (!MMLEDSizeValid(size)) return {};
    const TMMLEDSizeInfo &info = MMLEDSizeTable()[size];
    return sign ? info.SignStrip : info.DigitStrip;
}

int MMLEDDigitCell(TMMLEDType type, int value, bool enabled, bool zeroBlank) {
    if (type != ltDigit) return enabled ? static_cast<int>(type) : 0;
    if (!enabled || (zeroBlank && value == 0)) return 0;
    return value + 1;
}

int MMLEDDigitTakes(int value, int minValue, int maxValue) {
    const int digit = value % 10;
    return digit >= minValue && digit <= maxValue ? digit : -1;
}

TMMLEDPanelLayout MMLEDPanelLayoutFor(int numDigits, TMMLEDSize size, int ledSpace, int bevel) {
    const QSize cell = MMLEDCellSize(size);
    const int pitch = cell.width() + ledSpace;
    TMMLEDPanelLayout layout;
    layout.PanelSize = QSize(2 * bevel + numDigits * pitch - ledSpace, 2 * bevel + cell.height());
    layout.DigitTop = bevel;
    for (int k = 1; k <= numDigits; ++k)
        layout.DigitLeft.push_back(bevel + (numDigits - k) * pitch);
    return layout;
}

std::vector<bool> MMLEDPanelZeroBlanks(int numDigits, int value, bool zeroBlank) {
    std::vector<bool> blanks(static_cast<std::size_t>(std::max(numDigits, 0)), false);
    if (!zeroBlank) return blanks;
    const long long magnitude = std::llabs(static_cast<long long>(value));
    long long power = 1; // 10^(k-1)
    bool blanking = false;
    for (int k = 2; k <= numDigits; ++k) {
        power *= 10;
        if (!blanking && !(power < magnitude && k < numDigits)) blanking = true;
        blanks[k - 1] = blanking;
    }
    return blanks;
}
