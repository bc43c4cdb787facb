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
    Xyz nearlyX(1, 0.00001, 0);
    nearlyX.Normalize();
    EXPECT_NEAR(nearlyX.x, 1.0, 1e-9);
    EXPECT_EQ(nearlyX.y, 0.0);  // floored exactly
    EXPECT_EQ(nearlyX.z, 0.0);
}
