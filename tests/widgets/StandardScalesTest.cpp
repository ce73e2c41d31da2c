#include "widgets/MMStandardScales.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

namespace {

// Each mark's dBFS level by its text ("" is DIN's bare alignment tick).
std::map<std::string, double> MarkLevels(TMMScaleFamily family, int align) {
    std::map<std::string, double> out;
    for (const TMMScaleMark &m : ScaleMarks({family, align}))
        out[m.Text] = m.Dbfs;
    return out;
}

std::string AlignmentText(TMMScaleFamily family, int align) {
    std::string text = "(none)";
    for (const TMMScaleMark &m : ScaleMarks({family, align}))
        if (m.Alignment) text = m.Text;
    return text;
}

// Length along the bar between two dBFS levels, in bar lengths.
double Span(const TMMStandardScale &s, double from, double to) {
    return ScaleFraction(s, to) - ScaleFraction(s, from);
}

} // namespace

TEST(StandardScales, BBCMarksAtBothAlignmentsAndEvenlySpaced) {
    for (int align : {-18, -20}) {
        SCOPED_TRACE(align);
        const auto m = MarkLevels(sfBBC, align);
        ASSERT_EQ(m.size(), 7U);
        const double want[] = {-14, -8, -4, 0, 4, 8, 12};
        for (int i = 0; i < 7; ++i)
            EXPECT_DOUBLE_EQ(m.at(std::to_string(i + 1)), align + want[i]);
        EXPECT_EQ(AlignmentText(sfBBC, align), "4");
        // The face's marks stand evenly whatever dB lie between them.
        const TMMStandardScale s{sfBBC, align};
        const double step = Span(s, m.at("1"), m.at("2"));
        for (int i = 2; i < 7; ++i)
            EXPECT_NEAR(Span(s, m.at(std::to_string(i)), m.at(std::to_string(i + 1))), step, 1e-12);
        EXPECT_GT(ScaleFraction(s, m.at("1")), 0.0);
        EXPECT_LT(ScaleFraction(s, m.at("7")), 1.0);
    }
}

TEST(StandardScales, EBUAndNordicAreLinearInDBAboutTest) {
    for (int align : {-18, -20}) {
        SCOPED_TRACE(align);
        const auto ebu = MarkLevels(sfEBU, align);
        EXPECT_EQ(ebu.size(), 13U);
        EXPECT_DOUBLE_EQ(ebu.at("TEST"), align);
        EXPECT_DOUBLE_EQ(ebu.at("-12"), align - 12.0);
        EXPECT_DOUBLE_EQ(ebu.at("+12"), align + 12.0);
        EXPECT_EQ(AlignmentText(sfEBU, align), "TEST");

        const auto nordic = MarkLevels(sfNordic, align);
        EXPECT_EQ(nordic.size(), 10U);
        EXPECT_DOUBLE_EQ(nordic.at("TEST"), align);
        EXPECT_DOUBLE_EQ(nordic.at("-36"), align - 36.0);
        EXPECT_DOUBLE_EQ(nordic.at("+9"), align + 9.0);
        EXPECT_DOUBLE_EQ(nordic.at("+12"), align + 12.0);

        for (TMMScaleFamily f : {sfEBU, sfNordic}) {
            const TMMStandardScale s{f, align};
            EXPECT_NEAR(Span(s, align - 12, align - 6), Span(s, align + 6, align + 12), 1e-12);
            EXPECT_GT(ScaleFraction(s, align - 36.0 * (f == sfNordic) - 12.0 * (f == sfEBU)), 0.0);
            EXPECT_LT(ScaleFraction(s, align + 12.0), 1.0);
        }
    }
}

TEST(StandardScales, DINZeroIsNineAboveAlignmentAndCompressedBelowMinusTen) {
    for (int align : {-18, -20}) {
        SCOPED_TRACE(align);
        const auto m = MarkLevels(sfDIN, align);
        EXPECT_DOUBLE_EQ(m.at("0"), align + 9.0);
        EXPECT_DOUBLE_EQ(m.at("-50"), align - 41.0);
        EXPECT_DOUBLE_EQ(m.at("+5"), align + 14.0);
        EXPECT_DOUBLE_EQ(m.at(""), align);
        EXPECT_EQ(AlignmentText(sfDIN, align), "");
        const TMMStandardScale s{sfDIN, align};
        // Linear above -10; each 10 dB below takes the length of 5 dB above.
        EXPECT_NEAR(Span(s, m.at("-10"), m.at("-5")), Span(s, m.at("-5"), m.at("0")), 1e-12);
        for (const char *a : {"-50", "-40", "-30", "-20"})
            EXPECT_NEAR(Span(s, m.at(a), m.at(a) + 10.0), Span(s, m.at("-5"), m.at("0")), 1e-12) << a;
        EXPECT_GT(ScaleFraction(s, m.at("-50")), 0.0);
        EXPECT_LT(ScaleFraction(s, m.at("+5")), 1.0);
    }
}

TEST(StandardScales, KSystemZeroAtItsOwnLevelAndFullScaleAtTheTop) {
    for (auto [family, top] : {std::pair{sfK20, 20}, {sfK14, 14}, {sfK12, 12}}) {
        SCOPED_TRACE(top);
        // The alignment does not move a K scale.
        EXPECT_EQ(ScaleMarks({family, -18}), ScaleMarks({family, -24}));
        const auto m = MarkLevels(family, -18);
        EXPECT_DOUBLE_EQ(m.at("0"), -top);
        EXPECT_DOUBLE_EQ(m.at("+" + std::to_string(top)), 0.0);
        EXPECT_DOUBLE_EQ(ScaleFraction({family, -18}, 0.0), 1.0);
        EXPECT_NEAR(ScaleFraction({family, -18}, -top - 30.0), 0.0, 1e-12);
    }
}

TEST(StandardScales, DbfsScaleIsTheBarsOwnAndPositionsFollowTheFraction) {
    const TMMStandardScale dbfs{sfDbfs, -18};
    EXPECT_DOUBLE_EQ(ScaleFraction(dbfs, -60.0), 0.0);
    EXPECT_DOUBLE_EQ(ScaleFraction(dbfs, -30.0), 0.5);
    EXPECT_EQ(ScaleMarks(dbfs).size(), 13U);
    // The -18 dBFS line-up tone on a 71-spot bar: spot 50 on dBFS, a little below the middle of EBU's.
    const double tone = 32767.0 * std::pow(10.0, -18.0 / 20.0);
    EXPECT_EQ(ScalePosition(dbfs, tone, 32767.0, 71), 50);
    EXPECT_EQ(ScalePosition({sfEBU, -18}, tone, 32767.0, 71), 34);
    EXPECT_EQ(ScalePosition({sfEBU, -18}, 0.0, 32767.0, 71), 0);
    // Full scale is 18 dB above TEST, past the bar's +15 top: an overflow.
    EXPECT_EQ(ScalePosition({sfEBU, -18}, 32767.0, 32767.0, 71), 78);
    // The read-outs go back from a bar position to dBFS through the inverse.
    for (TMMScaleFamily f : {sfDbfs, sfBBC, sfEBU, sfNordic, sfDIN, sfK14})
        for (double dbfs : {-50.0, -31.0, -20.0, -9.5, 0.0})
            EXPECT_NEAR(ScaleDbfsAt({f, -20}, ScaleFraction({f, -20}, dbfs)), dbfs, 1e-9) << f << " " << dbfs;
    // Out-of-range alignments are kept to -24..-12.
    EXPECT_EQ(ScaleMarks({sfEBU, -40}), ScaleMarks({sfEBU, -24}));
    EXPECT_EQ(ScaleMarks({sfEBU, 0}), ScaleMarks({sfEBU, -12}));
}
