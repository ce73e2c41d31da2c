#include "app/MeteringLaws.h"

#include "widgets/MMLevelLaws.h"

#include <cmath>
#include <stdexcept>

namespace {

constexpr int kCaptionReference = 20; // the caption counts dB above -20 dBFS
constexpr int kTrendOffset = 50;      // 0 dBFS is the top of the 0 ... 50 graph
const QString kSilenceText = QStringLiteral("-Inf");
constexpr double kSilenceDB = -60;

QString Above(int e) {
    return QStringLiteral("+") + QString::number(e + kCaptionReference);
}

// A dB text back to its number, read with the separator it was written with.
double DBTextValue(const QString &text, QStringView separator) {
    QString plain = text.trimmed();
    if (!separator.isEmpty() && separator != u".") plain.replace(separator.toString(), QStringLiteral("."));
    bool ok = false;
    const double value = plain.toDouble(&ok);
    if (!ok) throw std::invalid_argument("not a dB reading: " + text.toStdString());
    return value;
}

} // namespace

TMarginLook MarginLook(double db, int level1, int level2, int level3) {
    const auto e = static_cast<int>(RoundHalfEven(db));
    if (e < level3) return {kMarginDark, std::nullopt};
    if (e == level3) return {kMarginGreen, QStringLiteral("±0")};
    if (e < level2) return {kMarginGreen, Above(e)};
    if (e < level1) return {kMarginOrange, Above(e)};
    return {kMarginRed, Above(e)};
}

TTrendReading TrendReading(const QString &textL, const QString &textR, QStringView separator) {
    const bool signalL = textL != kSilenceText;
    const bool signalR = textR != kSilenceText;
    const double left = signalL ? DBTextValue(textL, separator) : kSilenceDB;
    const double right = signalR ? DBTextValue(textR, separator) : kSilenceDB;
    const double louder = left > right ? left : right;
    return {signalL, signalR, static_cast<int>(std::trunc(louder)) + kTrendOffset};
}
