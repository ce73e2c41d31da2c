// The first step of every setter: an unchanged value is no change.

#include "widgets/MMStore.h"

#include <gtest/gtest.h>

TEST(Store, TakesOnlyAChangedValueAndSaysWhetherItChanged) {
    int field = 3;
    EXPECT_FALSE(Store(field, 3));
    EXPECT_EQ(field, 3);
    EXPECT_TRUE(Store(field, -7));
    EXPECT_EQ(field, -7);
    EXPECT_FALSE(Store(field, -7));
    EXPECT_EQ(field, -7);
}
