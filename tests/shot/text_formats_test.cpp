#include "shot/text_formats.h"

#include <gtest/gtest.h>

#include "shot/shot_record.h"

using namespace kyvern::shot;

TEST(TextFormats, OfflineSidesScoresAndTheDeviationOfASample) {
    // Under a tenth either way is the centre line.
    const struct {
        double value;
        char unit;
        const char* text;
    } offline[] = {{-0.05, 0, "center"},  {-0.1, 0, "0.1 L"},    {0.09, 0, "center"},
                   {-0.09, 0, "center"},  {0.1, 0, "0.1 R"},     {12.34, 0, "12.3 R"},
                   {-7.0, 'y', "7.0y L"}, {3.25, 'm', "3.2m R"}, {0.0, 'm', "center"}};
    for (const auto& c : offline)
        EXPECT_EQ(c.unit ? FormatOffline(c.value, c.unit) : FormatOffline(c.value), c.text)
            << c.value;
    // Two decimals below 10, one from 10 up, decided before rounding.
    EXPECT_EQ(FormatShotScore(1.4567), "1.46");
    EXPECT_EQ(FormatShotScore(10.0), "10.0");
    EXPECT_EQ(FormatShotScore(9.999), "10.00");

    const double carries[] = {150.0, 160.0, 170.0};
    const struct {
        int count;
        double mean, sd;
    } groups[] = {{3, 160.0, 10.0}, {1, 150.0, 0.0}, {0, 0.0, 0.0}};
    for (const auto& g : groups) {
        double mean = -1.0, sd = -1.0;
        MeanAndDeviation(carries, g.count, mean, sd);
        EXPECT_DOUBLE_EQ(mean, g.mean) << g.count;
        EXPECT_DOUBLE_EQ(sd, g.sd) << g.count;
    }
    EXPECT_EQ(FormatGroupSummary(160.0, 10.0), "160.0 (10.0)");

    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 5;
    when.tm_hour = 14;
    when.tm_min = 7;
    when.tm_sec = 9;
    EXPECT_EQ(FormatTimeStamp(when), "05/Mar/2024 14:07:09");
}

TEST(ShotRecord, LaunchHoldingRulesAndClubFlags) {
    // A side angle of (nearly) nought is held at 0.01.
    const double sides[][2] = {{0.0, 0.01}, {-0.005, 0.01}, {-2.5, -2.5}};
    for (const auto& s : sides) {
        LaunchConditions launch;
        launch.Set(220.0, 12.0, s[0], 2800.0, 2750.0, -300.0);
        EXPECT_DOUBLE_EQ(launch.sideAngle, s[1]) << s[0];
        EXPECT_DOUBLE_EQ(launch.ballSpeedMph, 150.0);
    }

    ClubData club;
    club.clubSpeed.Overwrite(150.0);  // an unfilled value still reads as 0
    EXPECT_FALSE(club.clubSpeed.Present());
    EXPECT_EQ(club.clubSpeed.Value(), 0.0);
    club.clubSpeed.Set(150.0);
    club.tempo.Set(1.2);
    club.clubLoft.Set(10.0);
    club.loftMismatch = true;
    club.Clear();
    EXPECT_FALSE(club.clubSpeed.Present());
    EXPECT_EQ(club.tempo.Value(), 0.0);
    EXPECT_FALSE(club.loftMismatch);
    EXPECT_EQ(club.clubLoft.Value(), 10.0);  // the club's own setting stays
}
