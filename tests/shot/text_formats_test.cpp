#include "shot/text_formats.h"

#include <gtest/gtest.h>

#include "shot/shot_record.h"

using namespace kyvern::shot;

TEST(TextFormats, OfflineSidesAndScores) {
    // Under a tenth either way is the centre line.
    const struct {
        double value;
        char unit;
        const char* text;
    } offline[] = {{-0.09, 0, "center"}, {-0.1, 0, "0.1 L"},    {0.09, 0, "center"},
                   {0.1, 0, "0.1 R"},    {-7.0, 'y', "7.0y L"}, {3.25, 'm', "3.2m R"}};
    for (const auto& c : offline)
        EXPECT_EQ(c.unit ? FormatOffline(c.value, c.unit) : FormatOffline(c.value), c.text)
            << c.value;
    // Two decimals below 10, one from 10 up, decided before rounding.
    for (auto [score, text] : {std::pair{1.4567, "1.46"}, {10.0, "10.0"}, {9.999, "10.00"}})
        EXPECT_EQ(FormatShotScore(score), text);
}

TEST(ShotRecord, LaunchHoldingRulesAndClubFlags) {
    // A side angle of (nearly) nought is held at 0.01.
    for (auto [side, held] : {std::pair{0.0, 0.01}, {-0.005, 0.01}, {-2.5, -2.5}}) {
        LaunchConditions launch;
        launch.Set(220.0, 12.0, side, 2800.0, 2750.0, -300.0);
        EXPECT_EQ(launch.sideAngle, held) << side;
        EXPECT_DOUBLE_EQ(launch.ballSpeedMph, 150.0);
    }
    // Clearing keeps the club's own setting.
    ClubData club;
    club.clubSpeed.Set(150.0);
    club.clubLoft.Set(10.0);
    club.Clear();
    EXPECT_FALSE(club.clubSpeed.Present());
    EXPECT_EQ(club.clubLoft.Value(), 10.0);
}
