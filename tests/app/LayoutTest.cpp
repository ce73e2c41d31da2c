// The two layouts as numbers, and the console placing them.

#include "AppTestSupport.h"

#include "app/Layout.h"

#include <QRadioButton>
#include <gtest/gtest.h>

TEST(LayoutTableTest, BothLayoutsAsDrawn) {
    const TLayoutPlaces lower = LayoutPlaces(TConsoleLayout::Lower);
    EXPECT_EQ(lower.PnlPhase, QPoint(4, 6));
    EXPECT_EQ(lower.PnlVU, QPoint(4, 337));
    EXPECT_EQ(lower.PanelSpectrum, QPoint(515, 97));
    EXPECT_EQ(lower.VUPos, 0);

    const TLayoutPlaces upper = LayoutPlaces(TConsoleLayout::Upper);
    EXPECT_EQ(upper.PnlPhase, QPoint(4, 264));
    EXPECT_EQ(upper.PnlVU, QPoint(4, 6));
    EXPECT_EQ(upper.PanelSpectrum, QPoint(515, 355));
    EXPECT_EQ(upper.VUPos, 1);
}

TEST(LayoutTableTest, OnlyOneIsTheVuSectionOnTop) {
    EXPECT_EQ(LayoutOfVUPos(1), TConsoleLayout::Upper);
    for (int other : {0, 2, -1, 100})
        EXPECT_EQ(LayoutOfVUPos(other), TConsoleLayout::Lower) << other;
    // Each layout's VUPos asks for that layout again, so a saved layout comes back as it was.
    for (TConsoleLayout layout : {TConsoleLayout::Lower, TConsoleLayout::Upper})
        EXPECT_EQ(LayoutOfVUPos(LayoutPlaces(layout).VUPos), layout);
}

TEST(LayoutOnTheConsoleTest, EachLayoutPutsThePanelsWhereTheTableSays) {
    TSimConsole form;
    const auto expectPlaced = [&](TConsoleLayout layout) {
        const TLayoutPlaces places = LayoutPlaces(layout);
        EXPECT_EQ(form.PnlPhase->pos(), places.PnlPhase);
        EXPECT_EQ(form.PnlVU->pos(), places.PnlVU);
        EXPECT_EQ(form.PanelSpectrum->pos(), places.PanelSpectrum);
        EXPECT_EQ(form.Settings.VUPos, places.VUPos);
        // The simple spectrum lies exactly over the small window it stands in for.
        EXPECT_EQ(QRect(form.PanelGrph->mapTo(&form, QPoint(0, 0)), form.PanelGrph->size()),
                  form.PanelSpectrum->geometry());
    };
    expectPlaced(TConsoleLayout::Lower);
    form.RbUpper->click();
    expectPlaced(TConsoleLayout::Upper);
    form.RbLower->click();
    expectPlaced(TConsoleLayout::Lower);
}
