#include "core/PCM.h"
#include "platform/MicrosecondClock.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

TWaveFormatEx Format(std::uint16_t bits, std::uint16_t channels, std::uint32_t rate) {
    TWaveFormatEx f;
    BuildPCMFormat(f, bits, channels, rate);
    return f;
}

// The separator the read-outs use, so the expectations hold in any user locale.
QString Dec(const char *text) {
    return QString::fromLatin1(text).replace(u'.', DBDecimalSeparator());
}

} // namespace

TEST(PCMFormat, RecordIsThePackedLittleEndianLayout) {
    TWaveFormatEx f = Format(16, 2, 48000);
    unsigned char bytes[18];
    std::memcpy(bytes, &f, sizeof bytes);
    const unsigned char expected[18] = {1, 0, 2, 0, 0x80, 0xBB, 0, 0, 0x00, 0xEE, 0x02, 0, 4, 0, 16, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof bytes));
    EXPECT_EQ(4u * 48000u, f.nAvgBytesPerSec);
}

TEST(PCMFormat, BuilderKeepsBlockAlignTo16Bits) {
    // 4096 channels of 128 bits would be 65536 bytes per frame: the field wraps to 0.
    TWaveFormatEx f = Format(128, 4096, 1000);
    EXPECT_EQ(0, f.nBlockAlign);
    EXPECT_EQ(0u, f.nAvgBytesPerSec);
    f = Format(8, 1, 22050);
    EXPECT_EQ(1, f.nBlockAlign);
    EXPECT_EQ(22050u, f.nAvgBytesPerSec);
}

TEST(PCMFormat, ValidityLimits) {
    EXPECT_FALSE(IsValidPCMFormat(nullptr));
    EXPECT_TRUE(IsValidPCMFormat(&static_cast<const TWaveFormatEx &>(Format(16, 2, 48000))));
    auto valid = [](std::uint16_t bits, std::uint16_t ch, std::uint32_t rate) {
        const TWaveFormatEx f = Format(bits, ch, rate);
        return IsValidPCMFormat(&f);
    };
    EXPECT_TRUE(valid(8, 1, 4000));
    EXPECT_TRUE(valid(16, 4, 100000));
    EXPECT_FALSE(valid(24, 2, 48000));
    EXPECT_FALSE(valid(16, 3, 48000));
    EXPECT_FALSE(valid(16, 0, 48000));
    EXPECT_FALSE(valid(16, 2, 3999));
    EXPECT_FALSE(valid(16, 2, 100001));
    TWaveFormatEx f = Format(16, 2, 48000);
    f.wFormatTag = 2;
    EXPECT_FALSE(IsValidPCMFormat(&f));
}

TEST(PCMFormat, SizeAndOwnedCopies) {
    EXPECT_EQ(0, WaveFormatSize(nullptr));
    EXPECT_EQ(nullptr, CopyWaveFormat(nullptr));

    TWaveFormatEx pcm = Format(16, 2, 44100);
    pcm.cbSize = 22; // stray extra size on a PCM record: not copied, cleared in the copy
    EXPECT_EQ(18, WaveFormatSize(&pcm));
    TWaveFormatPtr copy = CopyWaveFormat(&pcm);
    ASSERT_NE(nullptr, copy);
    EXPECT_NE(&pcm, copy.get());
    EXPECT_EQ(0, copy->cbSize);
    EXPECT_EQ(44100u, copy->nSamplesPerSec);
    EXPECT_EQ(22, pcm.cbSize) << "the borrowed record stays as it was";

    // A compressed format carries its extra bytes along.
    struct {
        TWaveFormatEx head;
        unsigned char extra[4];
    } adpcm{};
    adpcm.head.wFormatTag = 2;
    adpcm.head.cbSize = 4;
    std::memcpy(adpcm.extra, "\x01\x02\x03\x04", 4);
    EXPECT_EQ(22, WaveFormatSize(&adpcm.head));
    TWaveFormatPtr c2 = CopyWaveFormat(&adpcm.head);
    ASSERT_NE(nullptr, c2);
    EXPECT_EQ(4, c2->cbSize);
    EXPECT_EQ(0, std::memcmp(reinterpret_cast<const unsigned char *>(c2.get()) + 18, "\x01\x02\x03\x04", 4));
}

TEST(PCMArithmetic, MulDivRoundRoundsHalvesAwayFromZero) {
    EXPECT_EQ(3, MulDivRound(5, 1, 2));
    EXPECT_EQ(-3, MulDivRound(-5, 1, 2));
    EXPECT_EQ(-3, MulDivRound(5, 1, -2));
    EXPECT_EQ(3, MulDivRound(-5, -1, 2));
    EXPECT_EQ(1, MulDivRound(4, 1, 3));
    EXPECT_EQ(-1, MulDivRound(-4, 1, 3));
    EXPECT_EQ(2, MulDivRound(5, 1, 3));
    EXPECT_EQ(-2, MulDivRound(-5, 1, 3));
    // The product needs 64 bits.
    EXPECT_EQ(2000000000, MulDivRound(2000000000, 48000, 48000));
    EXPECT_EQ(1500000000, MulDivRound(1000000000, 3, 2));
}

TEST(PCMArithmetic, MulDivRoundDegenerateCases) {
    EXPECT_EQ(0, MulDivRound(1234, 5, 0));
    EXPECT_EQ(INT32_MAX, MulDivRound(INT32_MAX, INT32_MAX, 1));
    EXPECT_EQ(INT32_MIN, MulDivRound(INT32_MIN, INT32_MAX, 1));
    EXPECT_EQ(INT32_MAX, MulDivRound(INT32_MIN, 1, -1));
}

TEST(PCMArithmetic, ConversionsRoundAndKeepWholeFrames) {
    const TWaveFormatEx cd = Format(16, 2, 44100);
    EXPECT_EQ(176, MsToBytes(cd, 1)); // 176.4 -> 176, already whole frames
    EXPECT_EQ(44, MsToSamples(cd, 1));
    EXPECT_EQ(1000, BytesToMs(cd, 176400));
    EXPECT_EQ(2048, BytesToSamples(cd, 8192));
    EXPECT_EQ(46, BytesToMs(cd, 8192));   // 46.44
    EXPECT_EQ(23, SamplesToMs(cd, 1000)); // 22.68

    const TWaveFormatEx low = Format(8, 1, 22050);
    EXPECT_EQ(22, MsToBytes(low, 1)); // 22.05 -> 22 with 1-byte frames

    // 3 ms at 44100 Hz stereo 16-bit is 529.2 bytes: 529 is no whole frame, 532 is.
    EXPECT_EQ(532, MsToBytes(cd, 3));
    EXPECT_EQ(0, MsToBytes(cd, 3) % cd.nBlockAlign);
    EXPECT_EQ(-528, MsToBytes(cd, -3)) << "rounding up goes towards +infinity";
    EXPECT_EQ(-44, MsToSamples(cd, -1)) << "-44.1";
    EXPECT_EQ(-3, SamplesToMs(Format(16, 2, 2000), -5)) << "-2.5 rounds away from zero";

    // A record whose average rate is not frames x rate still yields whole frames.
    TWaveFormatEx odd = Format(16, 2, 3);
    odd.nAvgBytesPerSec = 10;
    EXPECT_EQ(4, SamplesToBytes(odd, 1)); // 3.33 -> 3 -> 4
    EXPECT_EQ(8, SamplesToBytes(cd, 2));

    // A zeroed record converts to 0 instead of dividing by zero.
    const TWaveFormatEx empty{};
    EXPECT_EQ(0, BytesToSamples(empty, 8192));
    EXPECT_EQ(0, SamplesToMs(empty, 100));
    EXPECT_EQ(0, MsToBytes(empty, 100));
}

TEST(PCMArithmetic, ClampsAndClock) {
    EXPECT_EQ(3, Min(3, 7));
    EXPECT_EQ(7, Max(3, 7));
    EXPECT_EQ(0, MinMax(-5, 0, 10));
    EXPECT_EQ(10, MinMax(15, 0, 10));
    EXPECT_EQ(4, MinMax(4, 0, 10));
    EXPECT_EQ(std::int64_t{1} << 40, MinMax<std::int64_t>(std::int64_t{1} << 40, 0, std::int64_t{1} << 41));

    const std::int64_t a = MicrosecondClock();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::int64_t b = MicrosecondClock();
    EXPECT_GE(b - a, 5000);
    EXPECT_LT(b - a, 5000000);
}

TEST(PCMDecibels, SampleToDB) {
    EXPECT_FLOAT_EQ(-110.0f, SampleToDB(0, 32768));
    EXPECT_FLOAT_EQ(-110.0f, SampleToDB(0, 0));
    EXPECT_FLOAT_EQ(0.0f, SampleToDB(-32768, 32768)) << "the magnitude counts";
    EXPECT_FLOAT_EQ(0.0f, SampleToDB(1, 0)) << "full scale below 1 is taken as 1";
    EXPECT_FLOAT_EQ(0.0f, SampleToDB(-1, -50));
    EXPECT_NEAR(-6.0206, SampleToDB(16384, 32768), 1e-4);
    EXPECT_NEAR(6.0206, SampleToDB(65536, 32768), 1e-4);
    EXPECT_NEAR(186.64, SampleToDB(INT32_MIN, 1), 1e-2) << "no overflow taking |INT32_MIN|";
    // The result is the single-precision rounding of the exact figure.
    EXPECT_EQ(static_cast<float>(20.0L * std::log10(1.0L / 32768.0L)), SampleToDB(1, 32768));
}

TEST(PCMDecibels, TextUsesPrintfWidthAndPrecision) {
    EXPECT_EQ(QString("-Inf"), SampleToDBText(0, 32768, 2));
    EXPECT_EQ(QString("-Inf"), SampleToDBText(0, 32768, 0));
    EXPECT_EQ(Dec("-6.02"), SampleToDBText(16384, 32768, 2));
    EXPECT_EQ(QString("-6"), SampleToDBText(16384, 32768, 0));
    EXPECT_EQ(Dec("0.00"), SampleToDBText(32768, 32768, 2));
    EXPECT_EQ(QString(" 0"), SampleToDBText(32768, 32768, 0)) << "at least two characters";
    EXPECT_EQ(Dec("6.02"), SampleToDBText(65536, 32768, 2));
    EXPECT_EQ(Dec("-12.04"), SampleToDBText(8192, 32768, 2));
    EXPECT_EQ(Dec("-90.3"), SampleToDBText(1, 32768, 1));
    EXPECT_EQ(Dec("-6.020600"), SampleToDBText(16384, 32768, -1)) << "negative precision means six";
}

TEST(PCMDecibels, FormatFixedFollowsPrintf) {
    EXPECT_EQ(QString("-6,02"), FormatFixed(-6.0206, 2, u","));
    EXPECT_EQ(QString("0.5"), FormatFixed(0.45, 1, u".")) << "0.45 is stored just above the half";
    EXPECT_EQ(QString("-0.00"), FormatFixed(-0.001, 2, u"."));
    EXPECT_EQ(QString(" 4"), FormatFixed(4.5, 0, u".")) << "an exact tie rounds to even, as printf does";
    EXPECT_EQ(QString("100.0"), FormatFixed(99.96, 1, u"."));
    // Against the C library itself, its own separator swapped for the point.
    const std::string cPoint = std::localeconv()->decimal_point;
    for (double v : {-110.0, -96.33, -6.0206, -0.004, 0.0, 0.125, 3.0, 12.345678, 186.64})
        for (int d : {0, 1, 2, 3, 6}) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%2.*f", d, v);
            QString expected = QString::fromLatin1(buf).replace(QString::fromStdString(cPoint), ".");
            EXPECT_EQ(expected, FormatFixed(v, d, u".")) << v << " " << d;
        }
}

TEST(PCMDecibels, LabelsHaveConstantWidth) {
    EXPECT_EQ(QString("  ") + Dec("0.00") + " dB", SampleToDBLabel(32768, 32768, 2));
    EXPECT_EQ(QString("- ") + Dec("6.02") + " dB", SampleToDBLabel(16384, 32768, 2));
    EXPECT_EQ(Dec("-12.04") + " dB", SampleToDBLabel(8192, 32768, 2));
    EXPECT_EQ(QString("  -Inf dB"), SampleToDBLabel(0, 32768, 2));
    EXPECT_EQ(QString("  ") + Dec("6.02") + " dB", SampleToDBLabel(65536, 32768, 2));
    // Above +10 dB the reading keeps its leading digit.
    EXPECT_EQ(QString(" ") + Dec("12.04") + " dB", SampleToDBLabel(131072, 32768, 2));
    for (std::int32_t v : {0, 1, 100, 8192, 16384, 32767, 32768, 65536, 131072})
        EXPECT_EQ(9, SampleToDBLabel(v, 32768, 2).size()) << v;
    EXPECT_EQ(QString("-6 dB"), SampleToDBLabel(16384, 32768, 0)) << "other lengths just get the unit";
}
