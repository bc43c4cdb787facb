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

TEST(Xyz, OperationsInPlaceAndCopying) {
    Xyz a(1, 0, 0);
    EXPECT_EQ(a.Cross(0, 1, 0), Xyz(0, 0, 1));
    EXPECT_EQ(Xyz(0, 1, 0).Cross(a), Xyz(0, 0, -1));
    EXPECT_EQ(a, Xyz(1, 0, 0));  // copying operations leave the triple alone
    EXPECT_EQ(Xyz(1, 2, 3).Plus(1, 1, 1), Xyz(2, 3, 4));
    EXPECT_EQ(Xyz(1, 2, 3).Minus(1, 1, 1), Xyz(0, 1, 2));
    EXPECT_EQ(Xyz(1, 2, 3).Scaled(2), Xyz(2, 4, 6));
    EXPECT_EQ(Xyz(2, 4, 6).Divided(2), Xyz(1, 2, 3));
    EXPECT_EQ(Xyz(1, -2, 3).Negated(), Xyz(-1, 2, -3));
    EXPECT_DOUBLE_EQ(Xyz(1, 2, 3).Dot(4, 5, 6), 32.0);
    EXPECT_DOUBLE_EQ(Xyz(2, 3, 6).Length(), 7.0);

    Xyz b(1, 2, 3);
    b.Add(1, 1, 1).Subtract(0, 1, 0).Scale(2).Divide(4).Negate();
    EXPECT_EQ(b, Xyz(-1, -1, -2));
    EXPECT_EQ(b.Zero(), Xyz());
    EXPECT_EQ(b.Set(7, 8, 9), Xyz(7, 8, 9));
    EXPECT_EQ(Xyz(), Xyz(0, 0, 0));
}

TEST(Xyz, IntegerPowerBySquaring) {
    using kyvern::analysis::IntegerPower;
    EXPECT_DOUBLE_EQ(IntegerPower(3.0, 2), 9.0);
    EXPECT_DOUBLE_EQ(IntegerPower(2.0, 10), 1024.0);
    EXPECT_DOUBLE_EQ(IntegerPower(2.0, -2), 0.25);
    EXPECT_DOUBLE_EQ(IntegerPower(5.0, 0), 1.0);
    EXPECT_DOUBLE_EQ(IntegerPower(-1.5, 3), -3.375);
    EXPECT_EQ(IntegerPower(1.0, -2147483647 - 1), 1.0);
}
