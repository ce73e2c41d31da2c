#pragma once

// Laws of the correlation meter: where a coefficient stands on a bar from -1 at its left end
// through 0 in its middle to +1 at its right end, its colour, and its text. Pure numbers.

#include "widgets/MMColors.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <optional>

// The pixel column of `value` on a bar `width` pixels wide.
inline int CorrelationX(double value, int width) {
    const double v = std::clamp(value, -1.0, 1.0);
    return static_cast<int>(std::lround((v + 1.0) / 2.0 * (width - 1)));
}

// Red below 0, where mono listeners lose part of the programme; lime from 0 up.
inline TColor CorrelationColor(double value) {
    return value < 0 && std::lround(value * 100) < 0 ? clRed : clLime;
}

// The value as the text shows it, in hundredths; nothing for no value.
inline std::optional<long> CorrelationHundredths(std::optional<double> value) {
    if (!value) return std::nullopt;
    return std::lround(std::clamp(*value, -1.0, 1.0) * 100);
}

// "+0.87", "-1.00", "0.00"; "--" for no value (silence).
inline QString CorrelationText(std::optional<double> value) {
    if (!value) return QStringLiteral("--");
    const long hundredths = *CorrelationHundredths(value);
    if (hundredths == 0) return QStringLiteral("0.00");
    return (hundredths > 0 ? "+" : "-") + QString::number(std::labs(hundredths) / 100.0, 'f', 2);
}
