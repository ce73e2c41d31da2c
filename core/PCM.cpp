#include "core/PCM.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr int PCMFormatSize = static_cast<int>(sizeof(TWaveFormatEx));

std::int32_t Saturate(std::int64_t v) {
    return static_cast<std::int32_t>(MinMax<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                          std::numeric_limits<std::int32_t>::max()));
}

// Ceiling to a whole number of frames; a format without a frame size leaves bytes alone.
std::int32_t WholeFrames(std::int32_t bytes, std::uint16_t blockAlign) {
    if (blockAlign == 0) return bytes;
    const std::int64_t rem = bytes % blockAlign;
    if (rem == 0) return bytes;
    const std::int64_t up = rem > 0 ? std::int64_t{bytes} + blockAlign - rem : std::int64_t{bytes} - rem;
    return Saturate(up);
}

std::int32_t AsInt32(std::uint32_t v) {
    return static_cast<std::int32_t>(v);
}

} // namespace

void TWaveFormatDeleter::operator()(TWaveFormatEx *p) const noexcept {
    delete[] reinterpret_cast<unsigned char *>(p);
}

void BuildPCMFormat(TWaveFormatEx &format, std::uint16_t bits, std::uint16_t channels, std::uint32_t rate) {
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<std::uint16_t>((std::uint32_t{channels} * bits) >> 3);
    format.nAvgBytesPerSec = format.nBlockAlign * rate;
    format.cbSize = 0;
}

bool IsValidPCMFormat(const TWaveFormatEx *format) {
    if (format == nullptr || format->wFormatTag != WAVE_FORMAT_PCM) return false;
    if (format->wBitsPerSample != 8 && format->wBitsPerSample != 16) return false;
    if (format->nChannels != 1 && format->nChannels != 2 && format->nChannels != 4) return false;
    return format->nSamplesPerSec >= 4000 && format->nSamplesPerSec <= 100000;
}

int WaveFormatSize(const TWaveFormatEx *format) {
    if (format == nullptr) return 0;
    if (format->wFormatTag == WAVE_FORMAT_PCM) return PCMFormatSize;
    return PCMFormatSize + format->cbSize;
}

TWaveFormatPtr CopyWaveFormat(const TWaveFormatEx *format) {
    const int size = WaveFormatSize(format);
    if (size <= 0) return nullptr;
    auto *block = new unsigned char[static_cast<std::size_t>(size)]();
    std::memcpy(block, format, static_cast<std::size_t>(size));
    TWaveFormatPtr copy(reinterpret_cast<TWaveFormatEx *>(block));
    if (copy->wFormatTag == WAVE_FORMAT_PCM) copy->cbSize = 0;
    return copy;
}

std::int32_t MulDivRound(std::int32_t a, std::int32_t b, std::int32_t c) {
    if (c == 0) return 0;
    const std::int64_t product = std::int64_t{a} * b;
    // C++ division truncates and the remainder takes the dividend's sign, so
    // 2r / c is -1, 0 or 1: the half-away-from-zero correction.
    const std::int64_t q = product / c;
    const std::int64_t r = product % c;
    return Saturate(q + (2 * r) / c);
}

std::int32_t BytesToSamples(const TWaveFormatEx &format, std::int32_t bytes) {
    return MulDivRound(bytes, AsInt32(format.nSamplesPerSec), AsInt32(format.nAvgBytesPerSec));
}

std::int32_t BytesToMs(const TWaveFormatEx &format, std::int32_t bytes) {
    return MulDivRound(bytes, 1000, AsInt32(format.nAvgBytesPerSec));
}

std::int32_t SamplesToBytes(const TWaveFormatEx &format, std::int32_t frames) {
    return WholeFrames(MulDivRound(frames, AsInt32(format.nAvgBytesPerSec), AsInt32(format.nSamplesPerSec)),
                       format.nBlockAlign);
}

std::int32_t SamplesToMs(const TWaveFormatEx &format, std::int32_t frames) {
    return MulDivRound(frames, 1000, AsInt32(format.nSamplesPerSec));
}

std::int32_t MsToSamples(const TWaveFormatEx &format, std::int32_t ms) {
    return MulDivRound(ms, AsInt32(format.nSamplesPerSec), 1000);
}

std::int32_t MsToBytes(const TWaveFormatEx &format, std::int32_t ms) {
    return WholeFrames(MulDivRound(ms, AsInt32(format.nAvgBytesPerSec), 1000), format.nBlockAlign);
}

float SampleToDB(std::int32_t value, std::int32_t fullScale) {
    if (value == 0) return -110.0f;
    const long double magnitude = std::fabs(static_cast<long double>(value));
    const long double scale = Max(fullScale, 1);
    return static_cast<float>(20.0L * std::log10(magnitude / scale));
}

QString DBDecimalSeparator() {
    // The read-outs refresh every 20 ms; the locale does not change under a running console.
    static const QString separator = QLocale::system().decimalPoint();
    return separator;
}

QString FormatFixed(double value, int decimals, QStringView separator) {
    constexpr int MaxDecimals = 1000;
    const int precision = decimals < 0 ? 6 : Min(decimals, MaxDecimals);
    // Room for the integer digits of any double, the sign and the point.
    std::string buf(static_cast<std::size_t>(precision) + 320, '\0');
    const auto res =
        std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed, precision);
    buf.resize(static_cast<std::size_t>(res.ptr - buf.data()));
    QString text = QString::fromLatin1(buf.data(), static_cast<qsizetype>(buf.size()));
    const qsizetype point = text.indexOf(u'.');
    if (point >= 0) text.replace(point, 1, separator.toString());
    if (text.size() < 2) text.prepend(QString(2 - text.size(), u' '));
    return text;
}

QString SampleToDBText(std::int32_t value, std::int32_t fullScale, int decimals) {
    if (value == 0) return QStringLiteral("-Inf");
    return FormatFixed(SampleToDB(value, fullScale), decimals, DBDecimalSeparator());
}

QString SampleToDBLabel(std::int32_t value, std::int32_t fullScale, int decimals) {
    const QString text = SampleToDBText(value, fullScale, decimals);
    if (text.size() == 4) return QStringLiteral("  ") + text + QStringLiteral(" dB");
    if (text.size() == 5) {
        // Only a minus moves to column one; a positive five-character reading
        // (above +10 dB) keeps all its digits and is padded to the same width.
        if (text.startsWith(u'-')) return QStringLiteral("- ") + text.mid(1) + QStringLiteral(" dB");
        return QStringLiteral(" ") + text + QStringLiteral(" dB");
    }
    return text + QStringLiteral(" dB");
}
