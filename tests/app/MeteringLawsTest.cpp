#include "app/MeteringLaws.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Colour and caption as one printable value; "=" stands for a caption left as it was.
std::string Look(double db, int level1 = -5, int level2 = -10, int level3 = -20) {
    const TMarginLook look = MarginLook(db, level1, level2, level3);
    return std::to_string(look.Color) + " " + (look.Caption ? look.Caption->toStdString() : "=");
}

} // namespace

// Each row's edges with the default thresholds, the whole-dB rounding with halves to even,
// and silence.
TEST(MarginLook, DefaultThresholdsCountDecibelsAboveMinus20) {
    EXPECT_EQ(Look(-21), "0 =");
    EXPECT_EQ(Look(-110), "0 =");
    EXPECT_EQ(Look(-20), "65280 ±0");
    EXPECT_EQ(Look(-11), "65280 +9");
    EXPECT_EQ(Look(-10), "4622075 +10");
    EXPECT_EQ(Look(-5), "255 +15");
    EXPECT_EQ(Look(0), "255 +20");
    // Halves go to the even neighbour, not away from zero.
    EXPECT_EQ(Look(-10.5), "4622075 +10");
    EXPECT_EQ(Look(-20.5), "65280 ±0");
    EXPECT_EQ(Look(-11.5), "65280 +8");
    EXPECT_EQ(Look(-20.51), "0 =");
}

// The thresholds as the operator leaves them: unordered, or the lowest moved down.
TEST(MarginLook, FirstMatchingRowDecidesWhateverTheOrder) {
    EXPECT_EQ(Look(-25, -5, -10, -25), "65280 ±0");
    EXPECT_EQ(Look(-23, -5, -10, -25), "65280 +-3");
    // The lowest threshold above the middle one: below it dark, then straight to orange.
    EXPECT_EQ(Look(-9, -5, -10, -8), "0 =");
    EXPECT_EQ(Look(-8, -5, -10, -8), "65280 ±0");
    EXPECT_EQ(Look(-7, -5, -10, -8), "4622075 +13");
}

TEST(TrendReading, LouderChannelTruncatedTowardZeroPlus50) {
    const auto reading = [](const char *l, const char *r, const char *separator = ".") {
        const TTrendReading t = TrendReading(QString::fromUtf8(l), QString::fromUtf8(r), QString(separator));
        return std::to_string(t.SignalL) + std::to_string(t.SignalR) + " " + std::to_string(t.Value);
    };
    // Silence counts as -60; the graph itself clamps the -10 to its floor.
    EXPECT_EQ(reading("-Inf", "-Inf"), "00 -10");
    EXPECT_EQ(reading("-12.70", "-12.70"), "11 38");
    EXPECT_EQ(reading("-3.50", "-Inf"), "10 47");
    EXPECT_EQ(reading("-Inf", "-61.00"), "01 -10");
    EXPECT_EQ(reading("-40.00", "-0.50"), "11 50");
    EXPECT_EQ(reading(" 6.02", "-6.02"), "11 56");
    // Read back with the separator they were written with.
    EXPECT_EQ(reading("-12,70", "-40,00", ","), "11 38");
    EXPECT_THROW(reading("-12,70", "-40.00"), std::invalid_argument);
}
