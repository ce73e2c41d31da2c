#include "analysis/MMSpectrumBlock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

std::vector<std::int32_t> Rectangular(int n) {
    return std::vector<std::int32_t>(n, 32767);
}

std::vector<float> Prepare(const void *pcm, TMMBlockFormat format, int n, int *overflows = nullptr) {
    std::vector<float> out(n, -999.0f);
    const auto window = Rectangular(n);
    std::function<void()> onOverflow;
    if (overflows != nullptr) onOverflow = [overflows] { ++*overflows; };
    PrepareFFTBlock(pcm, format, window.data(), n, out.data(), onOverflow);
    return out;
}

// 32767/32768 of v, truncated toward zero: what a rectangular window does to a 16-bit value.
float Rect16(std::int64_t v) {
    return static_cast<float>(v * 32767 / 32768);
}

} // namespace

TEST(FFTLength, ClampedAndRoundedDownToAPowerOfTwo) {
    EXPECT_EQ(FFTLengthFor(1000, 4096), 512);
    EXPECT_EQ(FFTLengthFor(100000, 4096), 4096);
    EXPECT_EQ(FFTLengthFor(0, 4096), 8);
    EXPECT_EQ(FFTLengthFor(-5, 4096), 8);
    EXPECT_EQ(FFTLengthFor(3000, 4096), 2048);
    EXPECT_EQ(FFTLengthFor(5000, 4096), 4096);
    EXPECT_EQ(FFTLengthFor(5, 4096), 8);
    EXPECT_EQ(FFTLengthFor(2048, 4096), 2048);
    EXPECT_EQ(FFTLengthFor(100000, 16384), 16384);
    EXPECT_EQ(FFTLengthFor(100, 16384), 64);
    EXPECT_EQ(FFTLog2(2048), 11);
}

TEST(FFTSetup, RebuildsOnlyOnAChange) {
    TMMFFTSetup setup;
    EXPECT_EQ(setup.FFTLength(), 8);
    EXPECT_EQ(setup.Window(), fwHamming);
    EXPECT_EQ(setup.Plan()->Length, 8);
    EXPECT_EQ(setup.WindowTable()[0], 2621);

    EXPECT_TRUE(setup.SetFFTLength(1000));
    EXPECT_EQ(setup.FFTLength(), 512);
    const TMMFFTPlan *plan = setup.Plan();
    EXPECT_EQ(plan->Length, 512);
    EXPECT_EQ(setup.WindowTable()[256], 32767); // refilled for the new length
    EXPECT_FALSE(setup.SetFFTLength(600));      // also 512
    EXPECT_EQ(setup.Plan(), plan);

    setup.SetWindow(fwHanning);
    EXPECT_EQ(setup.Plan(), plan);
    EXPECT_EQ(setup.WindowTable()[0], 0);
    EXPECT_EQ(setup.WindowTable()[128], 16384);

    setup.SetFFTLength(8);
    EXPECT_EQ(std::vector<std::int32_t>(setup.WindowTable(), setup.WindowTable() + 8),
              (std::vector<std::int32_t>{0, 4799, 16384, 27968, 32767, 27968, 16384, 4799}));
    EXPECT_TRUE(setup.SetFFTLength(100000));
    EXPECT_EQ(setup.FFTLength(), 4096);

    TMMFFTSetup big(16384);
    big.SetFFTLength(100000);
    EXPECT_EQ(big.FFTLength(), 16384);
    EXPECT_EQ(big.Plan()->Length, 16384);
}

TEST(PrepareFFTBlock, SixteenBitSelectionAndMix) {
    const std::int16_t mono[8] = {32767, -32768, -1, 1, 100, -100, 0, 12345};
    auto x = Prepare(mono, {b16Bit, mMono, chBoth, 0}, 8);
    EXPECT_EQ(x[0], 32766);
    EXPECT_EQ(x[1], -32767);
    EXPECT_EQ(x[2], 0); // -32767/32768 truncates toward zero
    EXPECT_EQ(x[7], Rect16(12345));

    const std::int16_t stereo[8] = {1000, -2000, -3, 0, 32767, 32767, -32768, -32767};
    x = Prepare(stereo, {b16Bit, mStereo, chLeft, 0}, 4);
    EXPECT_EQ(x, (std::vector<float>{Rect16(1000), Rect16(-3), Rect16(32767), Rect16(-32768)}));
    x = Prepare(stereo, {b16Bit, mStereo, chRight, 0}, 4);
    EXPECT_EQ(x, (std::vector<float>{Rect16(-2000), 0, Rect16(32767), Rect16(-32767)}));
    x = Prepare(stereo, {b16Bit, mStereo, chBoth, 0}, 4);
    // (L + R) div 2 truncates toward zero: -3 / 2 = -1, -65535 / 2 = -32767.
    EXPECT_EQ(x, (std::vector<float>{Rect16(-500), Rect16(-1), Rect16(32767), Rect16(-32767)}));
}

TEST(PrepareFFTBlock, EightBitLandsOnTheSixteenBitScale) {
    const std::uint8_t mono[4] = {128, 0, 255, 129};
    auto x = Prepare(mono, {b8Bit, mMono, chBoth, 0}, 4);
    EXPECT_EQ(x, (std::vector<float>{0, -32767, 127 * 32767 / 128, 255}));

    const std::uint8_t stereo[6] = {0, 255, 10, 20, 255, 254};
    x = Prepare(stereo, {b8Bit, mStereo, chBoth, 0}, 3);
    // (L + R) shr 1: 127, 15, 254; minus 128.
    EXPECT_EQ(x, (std::vector<float>{-255, -113 * 32767 / 128, 126 * 32767 / 128}));
    x = Prepare(stereo, {b8Bit, mStereo, chRight, 0}, 3);
    EXPECT_EQ(x, (std::vector<float>{127 * 32767 / 128, -108 * 32767 / 128, 126 * 32767 / 128}));
    x = Prepare(stereo, {b8Bit, mStereo, chLeft, 0}, 3);
    EXPECT_EQ(x[0], -32767);
}

TEST(PrepareFFTBlock, WindowIsAppliedInSixtyFourBits) {
    // Second-order tilt of an alternating full-scale signal reaches 4 x full scale.
    const std::int16_t pcm[4] = {32767, -32768, 32767, -32768};
    const std::int32_t window[4] = {32767, 32767, 16384, 1};
    std::vector<float> out(4);
    PrepareFFTBlock(pcm, {b16Bit, mMono, chBoth, 2}, window, 4, out.data(), {});
    // v = 0, -65535 (s1 + s0 - 2 s0), 131070, -131070
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], static_cast<float>(-65535LL * 32767 / 32768));
    EXPECT_EQ(out[2], static_cast<float>(131070LL * 16384 / 32768));
    EXPECT_EQ(out[3], static_cast<float>(-131070LL / 32768)); // -3.99 truncates to -3
}

TEST(PrepareFFTBlock, TiltOrdersStartFromZero) {
    const std::int16_t pcm[5] = {1000, 1300, 900, 900, -100};
    auto x = Prepare(pcm, {b16Bit, mMono, chBoth, 1}, 5);
    EXPECT_EQ(x, (std::vector<float>{0, Rect16(300), Rect16(-400), 0, Rect16(-1000)}));
    x = Prepare(pcm, {b16Bit, mMono, chBoth, 2}, 5);
    EXPECT_EQ(x, (std::vector<float>{0, Rect16(300), Rect16(-700), Rect16(400), Rect16(-1000)}));
    // 8-bit differences carry no bias.
    const std::uint8_t bytes[3] = {200, 210, 190};
    x = Prepare(bytes, {b8Bit, mMono, chBoth, 1}, 3);
    EXPECT_EQ(x, (std::vector<float>{0, 10 * 32767 / 128, -20 * 32767 / 128}));
    x = Prepare(bytes, {b8Bit, mMono, chBoth, 2}, 3);
    EXPECT_EQ(x[0], 0);
    EXPECT_EQ(x[1], 10 * 32767 / 128);
    // Stereo: the first value of the selected stream is the history.
    const std::int16_t stereo[4] = {5000, -7000, 5100, -7000};
    x = Prepare(stereo, {b16Bit, mStereo, chRight, 2}, 2);
    EXPECT_EQ(x, (std::vector<float>{0, 0}));
}

TEST(PrepareFFTBlock, OverflowLimitsPerFormat) {
    int count = 0;
    const std::int16_t mono[4] = {32767, 32766, 32767, -32768};
    Prepare(mono, {b16Bit, mMono, chBoth, 0}, 4, &count);
    EXPECT_EQ(count, 2);

    count = 0;
    const std::int16_t stereo[6] = {32766, 32766, 32767, 32764, 32767, -5};
    Prepare(stereo, {b16Bit, mStereo, chBoth, 0}, 3, &count); // mixes 32766, 32765, 16381
    EXPECT_EQ(count, 1);
    count = 0;
    Prepare(stereo, {b16Bit, mStereo, chLeft, 0}, 3, &count);
    EXPECT_EQ(count, 2);
    count = 0;
    Prepare(stereo, {b16Bit, mStereo, chRight, 1}, 3, &count); // the tilt does not hide it
    EXPECT_EQ(count, 0);

    count = 0;
    const std::uint8_t bytes[4] = {255, 254, 255, 255};
    Prepare(bytes, {b8Bit, mMono, chBoth, 0}, 4, &count);
    EXPECT_EQ(count, 3);
    count = 0;
    Prepare(bytes, {b8Bit, mStereo, chBoth, 0}, 2, &count); // 254, 255
    EXPECT_EQ(count, 1);

    // No handler: processing simply continues.
    EXPECT_EQ(Prepare(mono, {b16Bit, mMono, chBoth, 0}, 4)[0], 32766);
}

TEST(BinScaling, TruncatesAndSaturates) {
    const float x[8] = {100000.0f,    0.0f,       -7.9f * 4, 7.9f * 4,
                        65532.0f * 4, -200000.0f, 131068.0f, -131076.0f};
    std::int16_t bins[8];
    ScaleFFTBins(x, 8, bins);
    EXPECT_EQ(bins[0], 25000);
    EXPECT_EQ(bins[1], 0);
    EXPECT_EQ(bins[2], -7);
    EXPECT_EQ(bins[3], 7);
    EXPECT_EQ(bins[4], 32767); // would wrap to negative without saturation
    EXPECT_EQ(bins[5], -32768);
    EXPECT_EQ(bins[6], 32767);
    EXPECT_EQ(bins[7], -32768);
}

TEST(BinMagnitudes, LinearAndLogarithmicForms) {
    const std::int16_t bins[8] = {3, 4, 0, 0, -32768, -32768, 256, 0};
    std::int32_t levels[4];
    BinMagnitudes(bins, 8, TMMBinForm::Linear, nullptr, levels);
    EXPECT_EQ(levels[0], 80);
    EXPECT_EQ(levels[1], 0);
    EXPECT_EQ(levels[2], 741455); // p = 2^31 does not wrap
    EXPECT_EQ(levels[3], 4096);

    const std::int32_t offsets[4] = {0, 0, 100, 1000};
    BinMagnitudes(bins, 8, TMMBinForm::Logarithmic, offsets, levels);
    EXPECT_EQ(levels[0], static_cast<std::int32_t>(std::log(25.0) * kBinLogFactor));
    EXPECT_EQ(levels[1], 0); // p < 1
    EXPECT_NEAR(levels[2], 8192 * 31 - 100, 2);
    EXPECT_NEAR(levels[3], 8192 * 16 - 1000, 2);
    const std::int16_t one[2] = {1, 0};
    const std::int32_t big[1] = {5};
    BinMagnitudes(one, 2, TMMBinForm::Logarithmic, big, levels);
    EXPECT_EQ(levels[0], 0); // negative results become 0

    EXPECT_EQ(BinMagnitudeForm(dmNone, true), TMMBinForm::Logarithmic);
    EXPECT_EQ(BinMagnitudeForm(dmStepUp, true), TMMBinForm::Linear);
    EXPECT_EQ(BinMagnitudeForm(dmNone, false), TMMBinForm::Linear);
}

namespace {

std::vector<std::int16_t> StereoSine(int frames, double bin, double amplitude, int n) {
    std::vector<std::int16_t> pcm(2 * frames);
    for (int i = 0; i < frames; ++i) {
        pcm[2 * i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * M_PI * bin * i / n)));
        pcm[2 * i + 1] = static_cast<std::int16_t>(i % 7 * 1000); // something else on the right
    }
    return pcm;
}

double BinMagnitude(const TMMSpectrumBlock &block, int k) {
    return std::hypot(block.Bins()[2 * k], block.Bins()[2 * k + 1]);
}

} // namespace

TEST(SpectrumBlock, FullScaleSineReadsFullScaleInItsBin) {
    TMMSpectrumBlock block;
    EXPECT_EQ(block.FFTLength(), 128);
    block.Setup().SetFFTLength(2048);
    block.SetFormat({b16Bit, mStereo, chLeft, 0});
    EXPECT_EQ(block.BlockBytes(), 8192);
    const auto pcm = StereoSine(2048, 100, 32767, 2048);

    block.Setup().SetWindow(fwRectangular);
    block.Transform(pcm.data());
    EXPECT_NEAR(BinMagnitude(block, 100), 32767, 3);
    EXPECT_LT(BinMagnitude(block, 99), 3);
    EXPECT_LT(BinMagnitude(block, 101), 3);

    block.Setup().SetWindow(fwHamming);
    block.Transform(pcm.data());
    EXPECT_NEAR(BinMagnitude(block, 100), 0.54 * 32767, 5);
    EXPECT_NEAR(BinMagnitude(block, 101), 0.23 * 32767, 5);

    std::vector<std::int32_t> levels(1024);
    block.Magnitudes(TMMBinForm::Linear, nullptr, levels.data());
    EXPECT_NEAR(levels[100], 16 * 0.54 * 32767, 16 * 5);
}

TEST(SpectrumBlock, DcAndSilence) {
    TMMSpectrumBlock block(kSpectrumMaxFFTLength, 64);
    block.Setup().SetWindow(fwRectangular);
    block.SetFormat({b16Bit, mMono, chBoth, 0});
    std::vector<std::int16_t> pcm(64, 1000);
    block.Transform(pcm.data());
    EXPECT_EQ(block.Bins()[0], 2 * 999);
    block.Transform(nullptr); // keeps the last result
    EXPECT_EQ(block.Bins()[0], 2 * 999);
    for (int r = 1; r < 64; ++r)
        ASSERT_EQ(block.Bins()[r], 0) << r;

    std::fill(pcm.begin(), pcm.end(), std::int16_t{32767});
    block.Transform(pcm.data());
    EXPECT_EQ(block.Bins()[0], 32767); // 2 x full scale, saturated
    EXPECT_EQ(block.Bins()[1], 0);

    std::fill(pcm.begin(), pcm.end(), std::int16_t{0});
    block.Transform(pcm.data());
    std::vector<std::int32_t> levels(32, -1), offsets(32, 0);
    block.Magnitudes(TMMBinForm::Logarithmic, offsets.data(), levels.data());
    EXPECT_EQ(levels, std::vector<std::int32_t>(32, 0));
    block.Magnitudes(TMMBinForm::Linear, nullptr, levels.data());
    EXPECT_EQ(levels, std::vector<std::int32_t>(32, 0));
}

TEST(SpectrumBlock, OverflowEventNamesTheBlock) {
    TMMSpectrumBlock block(kSpectrumMaxFFTLength, 8);
    block.SetFormat({b8Bit, mStereo, chRight, 7});
    EXPECT_EQ(block.Format().Tilt, 2);
    EXPECT_EQ(block.BlockBytes(), 16);
    int count = 0;
    block.SetOnPcmOverflow([&](TMMSpectrumBlock &sender) {
        EXPECT_EQ(&sender, &block);
        ++count;
    });
    std::uint8_t pcm[16];
    std::memset(pcm, 128, sizeof pcm);
    pcm[3] = 255;
    pcm[9] = 255;
    block.Transform(pcm);
    EXPECT_EQ(count, 2);
    block.ClearBins();
    EXPECT_EQ(block.Bins()[0], 0);
}
