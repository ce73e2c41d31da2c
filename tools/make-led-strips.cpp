// Writes the LED digit and sign strips of every size, and the mode strip, as
// 16-colour bitmaps into resources/led/, and the resource list resources/led.qrc.
// Run through tools/make-led-strips.sh; the output is committed.

#include "tools/led/LEDStripArt.h"
#include "widgets/MMLEDLaws.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// The 16 colours of the classic palette; the strips use black (0), silver (7) and white (15).
constexpr std::uint32_t kPalette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                        0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                        0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF}; // 0xRRGGBB
constexpr std::uint8_t kIndex[3] = {0, 15, 7};                                   // by TLEDKey

void Put16(std::string &out, unsigned v) {
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}

void Put32(std::string &out, unsigned v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A 4-bit bitmap file: rows bottom-up, two pixels a byte, rows padded to 4 bytes.
bool WriteBitmap(const std::string &path, const TLEDStrip &strip) {
    const unsigned stride = ((unsigned(strip.Width) * 4 + 31) / 32) * 4;
    const unsigned offset = 14 + 40 + 16 * 4, size = stride * unsigned(strip.Height);
    std::string out;
    out += "BM";
    Put32(out, offset + size);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, unsigned(strip.Width));
    Put32(out, unsigned(strip.Height));
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, 0); // no compression
    Put32(out, size);
    Put32(out, 2835); // 72 dpi
    Put32(out, 2835);
    Put32(out, 16);
    Put32(out, 0);
    for (std::uint32_t rgb : kPalette) {
        out += char(rgb & 0xFF); // blue, green, red, 0
        out += char((rgb >> 8) & 0xFF);
        out += char((rgb >> 16) & 0xFF);
        out += char(0);
    }
    for (int y = strip.Height - 1; y >= 0; --y) {
        std::string row(stride, '\0');
        for (int x = 0; x < strip.Width; ++x) {
            const std::uint8_t index = kIndex[strip.At(x, y)];
            row[std::size_t(x / 2)] =
                char(std::uint8_t(row[std::size_t(x / 2)]) | (x % 2 ? index : index << 4));
        }
        out += row;
    }
    std::ofstream file(path, std::ios::binary);
    file << out;
    return bool(file);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s RESOURCES-DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string top = argv[1];
    std::string qrc = "<RCC>\n  <qresource prefix=\"/led\">\n";
    auto add = [&](const std::string &name, const TLEDStrip &strip) {
        const std::string file = "led/" + name + ".bmp";
        if (!WriteBitmap(top + "/" + file, strip)) {
            std::fprintf(stderr, "cannot write %s/%s\n", top.c_str(), file.c_str());
            std::exit(1);
        }
        qrc += "    <file alias=\"" + name + "\">" + file + "</file>\n";
    };
    for (int size = 0; size < kMMLEDSizeCount; ++size) {
        const QSize cell = MMLEDCellSize(TMMLEDSize(size));
        add(MMLEDStripName(TMMLEDSize(size), false), LEDDigitStrip(cell.width(), cell.height()));
        add(MMLEDStripName(TMMLEDSize(size), true), LEDSignStrip(cell.width(), cell.height()));
    }
    add("LCD_MODE", LEDModeStrip());
    qrc += "  </qresource>\n</RCC>\n";
    std::ofstream(top + "/led.qrc") << qrc;
    return 0;
}
