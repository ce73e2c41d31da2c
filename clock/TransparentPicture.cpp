#include "clock/TransparentPicture.h"

#include <cstdlib>

QImage TransparentPicture(const QImage &picture, int tolerance) {
    if (picture.isNull()) return {};
    QImage out = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = out.pixel(0, out.height() - 1);
    const auto near = [&](int a, int b) { return std::abs(a - b) <= tolerance; };
    for (int y = 0; y < out.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = row[x];
            if (near(qRed(p), qRed(key)) && near(qGreen(p), qGreen(key)) && near(qBlue(p), qBlue(key)))
                row[x] = qRgba(0, 0, 0, 0);
        }
    }
    return out;
}
