#include "flight/ball_type.h"

#include <gtest/gtest.h>

#include "temp_home.h"

using kyvern::flight::BallType;
using kyvern::testing::TempHome;

TEST(BallType, DefaultsWithoutSettingsFile) {
    TempHome home;
    BallType ball;
    EXPECT_EQ(ball.TypeId(), 0);
    EXPECT_EQ(ball.Name(), "Golf Ball");
    EXPECT_EQ(ball.SportId(), 0);
    EXPECT_EQ(ball.SportName(), "Golf");
    EXPECT_DOUBLE_EQ(ball.Diameter(), 1.685);
    EXPECT_DOUBLE_EQ(ball.Weight(), 1.62);
    EXPECT_DOUBLE_EQ(ball.TeeHeight(), 0.8425);
}

TEST(BallType, EveryTypeFromItsName) {
    struct Row {
        const char* name;
        int typeId;
        int sportId;
        const char* sport;
        double diameter, weight, tee;
    };
    const Row rows[] = {
        {"Normal Trajectory Golf Ball", 0, 0, "Golf", 1.685, 1.62, 0.8425},
        {"Range Golf Ball", 1, 0, "Golf", 1.685, 1.62, 0.8425},
        {"High Trajectory Golf Ball", 2, 0, "Golf", 1.685, 1.62, 0.8425},
        {"Low Trajectory Golf Ball", 3, 0, "Golf", 1.685, 1.62, 0.8425},
        {"Baseball", 4, 1, "Baseball", 2.9, 5.12, 42.0},
        {"Rubber Baseball", 5, 1, "Baseball", 2.9, 4.4, 42.0},
        {"Cork Softball", 6, 2, "Softball", 3.8, 6.5, 42.0},
        {"Softball", 7, 2, "Softball", 3.8, 6.5, 42.0},
    };
    TempHome home;
    for (const Row& row : rows) {
        ASSERT_TRUE(home.Set("Setup", "Ball", row.name));
        BallType ball;
        EXPECT_EQ(ball.TypeId(), row.typeId) << row.name;
        EXPECT_EQ(ball.Name(), row.name);
        EXPECT_EQ(ball.SportId(), row.sportId) << row.name;
        EXPECT_EQ(ball.SportName(), row.sport) << row.name;
        EXPECT_DOUBLE_EQ(ball.Diameter(), row.diameter) << row.name;
        EXPECT_DOUBLE_EQ(ball.Weight(), row.weight) << row.name;
        EXPECT_DOUBLE_EQ(ball.TeeHeight(), row.tee) << row.name;
        // The explicit path reads the same file.
        EXPECT_EQ(BallType(home.Settings()).TypeId(), row.typeId);
    }
}

TEST(BallType, NamesMatchWithoutCaseAndUnknownIsTypeZero) {
    TempHome home;
    ASSERT_TRUE(home.Set("Setup", "Ball", "  cORK sOFTBALL  "));
    BallType cork;
    EXPECT_EQ(cork.TypeId(), 6);
    EXPECT_EQ(cork.Name(), "cORK sOFTBALL");
    EXPECT_EQ(cork.SportName(), "Softball");
    EXPECT_DOUBLE_EQ(cork.Diameter(), 3.8);
    EXPECT_DOUBLE_EQ(cork.Weight(), 6.5);
    EXPECT_DOUBLE_EQ(cork.TeeHeight(), 42.0);

    ASSERT_TRUE(home.Set("Setup", "Ball", "Tennis Ball"));
    BallType unknown;
    EXPECT_EQ(unknown.TypeId(), 0);
    EXPECT_EQ(unknown.Name(), "Tennis Ball");
    EXPECT_DOUBLE_EQ(unknown.Diameter(), 1.685);

    // The 80-character reader keeps 79 characters of a long name.
    ASSERT_TRUE(home.Set("Setup", "Ball", std::string(100, 'x')));
    EXPECT_EQ(BallType().Name().size(), 79u);
}

TEST(BallType, HeightAboveGroundReplacesTeeHeightWhenPositive) {
    TempHome home;
    ASSERT_TRUE(home.Set("Setup", "HeightAboveGround", "36"));
    EXPECT_DOUBLE_EQ(BallType().TeeHeight(), 36.0);
    ASSERT_TRUE(home.Set("Setup", "Ball", "Softball"));
    EXPECT_DOUBLE_EQ(BallType().TeeHeight(), 36.0);
    ASSERT_TRUE(home.Set("Setup", "HeightAboveGround", "0"));
    EXPECT_DOUBLE_EQ(BallType().TeeHeight(), 42.0);
    ASSERT_TRUE(home.Set("Setup", "HeightAboveGround", "-1"));
    EXPECT_DOUBLE_EQ(BallType().TeeHeight(), 42.0);
    ASSERT_TRUE(home.Set("Setup", "Ball", "Golf Ball"));
    EXPECT_DOUBLE_EQ(BallType().TeeHeight(), 0.8425);
    // "%d" reads the whole part of "12.7" and nothing of a word.
    ASSERT_TRUE(home.Set("Setup", "HeightAboveGround", "12.7"));
    EXPECT_DOUBLE_EQ(BallType().TeeHeight(), 12.0);
    ASSERT_TRUE(home.Set("Setup", "HeightAboveGround", "high"));
    EXPECT_DOUBLE_EQ(BallType().TeeHeight(), 0.8425);
}

TEST(BallType, NameListGivesTheFourGolfBallsThenEmpty) {
    TempHome home;
    BallType ball;
    EXPECT_EQ(ball.NameCount(), 4);
    EXPECT_EQ(ball.NextName(), "Normal Trajectory Golf Ball");
    EXPECT_EQ(ball.NextName(), "High Trajectory Golf Ball");
    EXPECT_EQ(ball.NextName(), "Low Trajectory Golf Ball");
    EXPECT_EQ(ball.NextName(), "Range Golf Ball");
    EXPECT_EQ(ball.NextName(), "");
    EXPECT_EQ(ball.NextName(), "");
    ball.ResetNames();
    EXPECT_EQ(ball.NextName(), "Normal Trajectory Golf Ball");
}
