#include "analysis/xyz.h"

#include <gtest/gtest.h>

using kyvern::analysis::Xyz;

TEST(Xyz, NormalizeFloorsTinyComponents) {
    Xyz tiny(0.00005, 0, 0);
    EXPECT_EQ(tiny.Normalize(), Xyz(0, 0, 0));
    Xyz v(3, 4, 0);
    v.Normalize();
    EXPECT_DOUBLE_EQ(v.x, 0.6);
    EXPECT_DOUBLE_EQ(v.y, 0.8);
    EXPECT_EQ(Xyz(1, 0.00001, 0).Normalize(), Xyz(1, 0, 0));
}
