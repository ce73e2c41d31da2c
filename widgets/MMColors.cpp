#include "widgets/MMColors.h"

#include <array>

namespace {

// The classic desktop scheme, fixed so the console looks the same on every machine.
constexpr std::array<TColor, 25> kSystemColors = {
    0xC8C8C8, // scroll bar
    0x000000, // background
    0x6A240A, // active caption
    0x808080, // inactive caption
    0xC0C0C0, // menu
    0xFFFFFF, // window
    0x000000, // window frame
    0x000000, // menu text
    0x000000, // window text
    0xFFFFFF, // caption text
    0xC0C0C0, // active border
    0xC0C0C0, // inactive border
    0x808080, // application workspace
    0x800000, // highlight
    0xFFFFFF, // highlight text
    0xC0C0C0, // button face
    0x808080, // button shadow
    0x808080, // grey text
    0x000000, // button text
    0xC0C0C0, // inactive caption text
    0xFFFFFF, // button highlight
    0x000000, // 3-D dark shadow
    0xDFDFDF, // 3-D light
    0x000000, // info text
    0xE1FFFF, // info background
};

} // namespace

TColor ColorToRGB(TColor color) {
    if ((static_cast<std::uint32_t>(color) & 0xFF000000u) == 0xFF000000u) {
        const auto index = static_cast<std::uint32_t>(color) & 0xFFu;
        return index < kSystemColors.size() ? kSystemColors[index] : clBlack;
    }
    return color & 0xFFFFFF;
}

QColor ToQColor(TColor color) {
    const TColor rgb = ColorToRGB(color);
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

TColor FromQColor(const QColor &color) {
    return static_cast<TColor>(color.red() | (color.green() << 8) | (color.blue() << 16));
}
