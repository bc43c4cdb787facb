#include "flight/ball_type.h"

#include <gtest/gtest.h>

#include "support/temp_home.h"

using kyvern::flight::BallType;
using kyvern::testing::TempHome;

TEST(BallType, TypeFromNameAndTeeFromHeightAboveGround) {
    // The sizes and weights per type are the code's own table; what is pinned is the choice.
    const struct {
        const char* name;  // nullptr: no settings file
        const char* height;
        int typeId;
        double tee;
    } rows[] = {
        {nullptr, "", 0, 0.8425},           {"Rubber Baseball", "", 5, 42.0},
        {"  cORK sOFTBALL  ", "", 6, 42.0},  // trimmed, any case
        {"Softball", "36", 7, 36.0},        {"Softball", "0", 7, 42.0},
        {"Tennis Ball", "12.7", 0, 12.0},  // unknown; "%d" of the height
        {"Golf Ball", "high", 0, 0.8425},
    };
    TempHome home;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name ? row.name : "(none)");
        if (row.name) {
            ASSERT_TRUE(home.Set("Setup", "Ball", row.name));
            ASSERT_TRUE(home.Set("Setup", "HeightAboveGround", row.height));
        }
        BallType ball;
        EXPECT_EQ(ball.TypeId(), row.typeId);
        EXPECT_DOUBLE_EQ(ball.TeeHeight(), row.tee);
        EXPECT_EQ(BallType(home.Settings()).TypeId(), row.typeId);
    }
    ASSERT_TRUE(home.Set("Setup", "Ball", "  cORK sOFTBALL  "));
    EXPECT_EQ(BallType().Name(), "cORK sOFTBALL");
    // The 80-character reader keeps 79 characters of a long name.
    ASSERT_TRUE(home.Set("Setup", "Ball", std::string(100, 'x')));
    EXPECT_EQ(BallType().Name().size(), 79u);
    TempHome empty;
    EXPECT_EQ(BallType().Name(), "Golf Ball");
}
