#include "audio/MMPCMConverter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

TWaveFormatEx Source(std::uint16_t tag, std::uint16_t bits, std::uint16_t channels = 2) {
    TWaveFormatEx f;
    f.wFormatTag = tag;
    f.nChannels = channels;
    f.nSamplesPerSec = 48000;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * 48000u;
    return f;
}

std::vector<std::int16_t> Convert(const TWaveFormatEx &source, const std::vector<char> &input) {
    TWaveFormatEx pcm;
    EXPECT_TRUE(TMMPCMConverter::SuggestPCMFormat(&source, pcm));
    auto conv = TMMPCMConverter::Create(&source, pcm, input.data(), static_cast<int>(input.size()));
    EXPECT_NE(conv, nullptr);
    if (!conv) return {};
    const int n = conv->Convert(static_cast<int>(input.size()));
    std::vector<std::int16_t> out(n / 2);
    std::memcpy(out.data(), conv->Output(), n);
    return out;
}

template <typename T> std::vector<char> Bytes(std::initializer_list<T> values) {
    std::vector<char> b(values.size() * sizeof(T));
    std::memcpy(b.data(), values.begin(), b.size());
    return b;
}

TEST(ConnectorConvert, SuggestsSixteenBitPCMOfTheSameShape) {
    TWaveFormatEx pcm;
    const TWaveFormatEx f = Source(WAVE_FORMAT_IEEE_FLOAT, 32, 1);
    ASSERT_TRUE(TMMPCMConverter::SuggestPCMFormat(&f, pcm));
    EXPECT_EQ(pcm.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(pcm.nChannels, 1);
    EXPECT_EQ(pcm.nSamplesPerSec, 48000u);
    EXPECT_EQ(pcm.wBitsPerSample, 16);
    EXPECT_EQ(pcm.nBlockAlign, 2);
    EXPECT_EQ(pcm.nAvgBytesPerSec, 96000u);

    // Nothing for formats it cannot read, or shapes no display can show.
    const TWaveFormatEx adpcm = Source(2, 4);
    EXPECT_FALSE(TMMPCMConverter::SuggestPCMFormat(&adpcm, pcm));
    const TWaveFormatEx threeChannels = Source(WAVE_FORMAT_IEEE_FLOAT, 32, 3);
    EXPECT_FALSE(TMMPCMConverter::SuggestPCMFormat(&threeChannels, pcm));
    EXPECT_FALSE(TMMPCMConverter::SuggestPCMFormat(nullptr, pcm));
}

TEST(ConnectorConvert, FloatIsScaledAndClippedAtFullScale) {
    const auto out = Convert(Source(WAVE_FORMAT_IEEE_FLOAT, 32),
                             Bytes<float>({0.5f, -0.5f, 1.0f, -1.0f, 3.0f, -3.0f, 0.0f, 0.0f}));
    EXPECT_EQ(out, (std::vector<std::int16_t>{16384, -16384, 32767, -32768, 32767, -32768, 0, 0}));
    const auto wide = Convert(Source(WAVE_FORMAT_IEEE_FLOAT, 64), Bytes<double>({0.25, -0.25}));
    EXPECT_EQ(wide, (std::vector<std::int16_t>{8192, -8192}));
}

TEST(ConnectorConvert, WideIntegersKeepTheirTopSixteenBits) {
    // 24-bit little-endian: 0x123456 and -0x123456 (0xEDCBAA).
    const std::vector<char> in = {0x56, 0x34, 0x12, char(0xAA), char(0xCB), char(0xED)};
    EXPECT_EQ(Convert(Source(WAVE_FORMAT_PCM, 24), in), (std::vector<std::int16_t>{0x1234, -0x1235}));
    const auto out32 = Convert(Source(WAVE_FORMAT_PCM, 32), Bytes<std::int32_t>({INT32_MAX, INT32_MIN}));
    EXPECT_EQ(out32, (std::vector<std::int16_t>{32767, -32768}));
}

TEST(ConnectorConvert, CompandedSamplesDecodeToTheirLinearValues) {
    // A-law 0xD5 and mu-law 0xFF are the smallest positive steps; 0xAA / 0x80 the loudest.
    const auto a = Convert(Source(WAVE_FORMAT_ALAW, 8, 1), {char(0xD5), char(0x55), char(0xAA)});
    EXPECT_EQ(a, (std::vector<std::int16_t>{8, -8, 32256}));
    const auto u = Convert(Source(WAVE_FORMAT_MULAW, 8, 1), {char(0xFF), char(0x7F), char(0x80)});
    EXPECT_EQ(u, (std::vector<std::int16_t>{0, 0, 32124}));
}

TEST(ConnectorConvert, OnlyWholeFramesAreConverted) {
    const TWaveFormatEx f = Source(WAVE_FORMAT_IEEE_FLOAT, 32);
    TWaveFormatEx pcm;
    ASSERT_TRUE(TMMPCMConverter::SuggestPCMFormat(&f, pcm));
    std::vector<char> in(8 * 10);
    auto conv = TMMPCMConverter::Create(&f, pcm, in.data(), static_cast<int>(in.size()));
    ASSERT_NE(conv, nullptr);
    EXPECT_EQ(conv->OutputSize(), 40);
    EXPECT_EQ(conv->Convert(7), 0);
    EXPECT_EQ(conv->Convert(20), 8);
    EXPECT_EQ(conv->Convert(1000), 40); // never past the input
}

TEST(ConnectorConvert, TheExtensibleRecordIsReadThroughItsSubFormat) {
    std::vector<unsigned char> record(18 + 22, 0);
    TWaveFormatEx head = Source(WAVE_FORMAT_EXTENSIBLE, 32);
    head.cbSize = 22;
    std::memcpy(record.data(), &head, 18);
    record[18 + 6] = WAVE_FORMAT_IEEE_FLOAT; // first bytes of the sub-format identifier
    const auto *f = reinterpret_cast<const TWaveFormatEx *>(record.data());
    TWaveFormatEx pcm;
    ASSERT_TRUE(TMMPCMConverter::SuggestPCMFormat(f, pcm));
    const std::vector<char> in = Bytes<float>({0.5f, 0.5f});
    auto conv = TMMPCMConverter::Create(f, pcm, in.data(), 8);
    ASSERT_NE(conv, nullptr);
    ASSERT_EQ(conv->Convert(8), 4);
    std::int16_t first;
    std::memcpy(&first, conv->Output(), 2);
    EXPECT_EQ(first, 16384);

    // A record too short for its extension is refused.
    head.cbSize = 4;
    std::memcpy(record.data(), &head, 18);
    EXPECT_FALSE(TMMPCMConverter::SuggestPCMFormat(f, pcm));
}

TEST(ConnectorConvert, AMismatchedBlockAlignIsRefused) {
    TWaveFormatEx f = Source(WAVE_FORMAT_IEEE_FLOAT, 32);
    f.nBlockAlign = 6;
    TWaveFormatEx pcm;
    ASSERT_TRUE(TMMPCMConverter::SuggestPCMFormat(&f, pcm));
    std::vector<char> in(64);
    EXPECT_EQ(TMMPCMConverter::Create(&f, pcm, in.data(), 64), nullptr);
}

} // namespace
