#include "analysis/MMPhaseLaws.h"

#include <charconv>

double PhaseRangeFactor(double request) {
    // NaN fails both comparisons and so lands here too.
    if (!(request >= 0.5 && request <= 2.0)) return 1.0;
    // Formatted and read back, so the stored value is exactly what a text shows.
    char text[16];
    const auto written = std::to_chars(text, text + sizeof text, request, std::chars_format::fixed, 1);
    double value = 1.0;
    std::from_chars(text, written.ptr, value);
    return value;
}
