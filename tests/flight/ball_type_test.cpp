#include "flight/ball_type.h"

#include <gtest/gtest.h>

#include "support/temp_home.h"

using kyvern::flight::BallType;
using kyvern::testing::TempHome;

TEST(BallType, EveryTypeFromItsNameAndTheDefault) {
    struct Row {
        const char* name;  // nullptr: no settings file
        int typeId;
        int sportId;
        const char* sport;
        double diameter, weight, tee;
    };
    const Row rows[] = {
        {nullptr, 0, 0, "Golf", 1.685, 1.62, 0.8425},
        {"Range Golf Ball", 1, 0, "Golf", 1.685, 1.62, 0.8425},
        {"Rubber Baseball", 5, 1, "Baseball", 2.9, 4.4, 42.0},
        {"Softball", 7, 2, "Softball", 3.8, 6.5, 42.0},
        {"  cORK sOFTBALL  ", 6, 2, "Softball", 3.8, 6.5, 42.0},  // trimmed, any case
        {"Tennis Ball", 0, 0, "Golf", 1.685, 1.62, 0.8425},       // unknown
    };
    TempHome home;
    for (const Row& row : rows) {
        if (row.name) {
            ASSERT_TRUE(home.Set("Setup", "Ball", row.name));
        }
        BallType ball;
        const char* label = row.name ? row.name : "(none)";
        EXPECT_EQ(ball.TypeId(), row.typeId) << label;
        EXPECT_EQ(ball.SportId(), row.sportId) << label;
        EXPECT_EQ(ball.SportName(), row.sport) << label;
        EXPECT_DOUBLE_EQ(ball.Diameter(), row.diameter) << label;
        EXPECT_DOUBLE_EQ(ball.Weight(), row.weight) << label;
        EXPECT_DOUBLE_EQ(ball.TeeHeight(), row.tee) << label;
        // The explicit path reads the same file.
        EXPECT_EQ(BallType(home.Settings()).TypeId(), row.typeId) << label;
    }
    EXPECT_EQ(BallType().Name(), "Tennis Ball");
    ASSERT_TRUE(home.Set("Setup", "Ball", "  cORK sOFTBALL  "));
    EXPECT_EQ(BallType().Name(), "cORK sOFTBALL");
    // The 80-character reader keeps 79 characters of a long name.
    ASSERT_TRUE(home.Set("Setup", "Ball", std::string(100, 'x')));
    EXPECT_EQ(BallType().Name().size(), 79u);
    TempHome empty;
    EXPECT_EQ(BallType().Name(), "Golf Ball");
}

TEST(BallType, HeightAboveGroundReplacesTeeHeightWhenPositive) {
    struct Row {
        const char* ball;
        const char* height;
        double tee;
    };
    const Row rows[] = {
        {"Golf Ball", "36", 36.0},     {"Softball", "36", 36.0},
        {"Softball", "0", 42.0},       {"Softball", "-1", 42.0},
        {"Golf Ball", "-1", 0.8425},   {"Golf Ball", "12.7", 12.0},  // "%d" reads the whole part
        {"Golf Ball", "high", 0.8425},
    };
    TempHome home;
    for (const Row& row : rows) {
        ASSERT_TRUE(home.Set("Setup", "Ball", row.ball));
        ASSERT_TRUE(home.Set("Setup", "HeightAboveGround", row.height));
        EXPECT_DOUBLE_EQ(BallType().TeeHeight(), row.tee) << row.ball << " " << row.height;
    }
}
