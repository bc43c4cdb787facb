#include "shot/text_formats.h"

#include <gtest/gtest.h>

#include "shot/shot_record.h"

using namespace kyvern::shot;

TEST(TextFormats, OfflineSideLetters) {
    EXPECT_EQ(FormatOffline(-0.05), "center");
    EXPECT_EQ(FormatOffline(-0.1), "0.1 L");
    EXPECT_EQ(FormatOffline(0.09), "center");
    EXPECT_EQ(FormatOffline(-0.09), "center");
    EXPECT_EQ(FormatOffline(0.1), "0.1 R");
    EXPECT_EQ(FormatOffline(12.34), "12.3 R");
    EXPECT_EQ(FormatOffline(-7.0, 'y'), "7.0y L");
    EXPECT_EQ(FormatOffline(3.25, 'm'), "3.2m R");
    EXPECT_EQ(FormatOffline(0.0, 'm'), "center");
}

TEST(TextFormats, ValuesScoresAndSpins) {
    EXPECT_EQ(FormatValue(241.4016), "241.4");
    EXPECT_EQ(std::string(kNoFigure), "--.-");
    EXPECT_EQ(FormatNoFigure('y'), "--.-y");
    EXPECT_EQ(FormatTableSpin(2749.6), "2750");
    EXPECT_EQ(FormatViewSpin(-312.4), "-312");
    EXPECT_EQ(std::string(kNoSpinFigure), "----");
    EXPECT_EQ(FormatShotScore(1.4567), "1.46");
    EXPECT_EQ(FormatShotScore(87.26), "87.3");
    EXPECT_EQ(FormatShotScore(10.0), "10.0");
    EXPECT_EQ(FormatShotScore(9.999), "10.00");
    EXPECT_EQ(FormatShotScore(0.0), "0.00");
}

TEST(TextFormats, GroupSummaryAndDeviation) {
    const double carries[] = {150.0, 160.0, 170.0};
    double mean = 0.0;
    double sd = 0.0;
    MeanAndDeviation(carries, 3, mean, sd);
    EXPECT_DOUBLE_EQ(mean, 160.0);
    EXPECT_DOUBLE_EQ(sd, 10.0);
    EXPECT_EQ(FormatGroupSummary(mean, sd), "160.0 (10.0)");
    const double spins[] = {2500.0, 3100.0};
    MeanAndDeviation(spins, 2, mean, sd);
    EXPECT_EQ(FormatGroupSpinSummary(mean, sd), "2800 (424)");
    MeanAndDeviation(carries, 1, mean, sd);
    EXPECT_DOUBLE_EQ(mean, 150.0);
    EXPECT_DOUBLE_EQ(sd, 0.0);  // a single shot has no spread
    MeanAndDeviation(carries, 0, mean, sd);
    EXPECT_DOUBLE_EQ(mean, 0.0);
    EXPECT_DOUBLE_EQ(sd, 0.0);
}

TEST(TextFormats, TimeStamp) {
    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 5;
    when.tm_hour = 14;
    when.tm_min = 7;
    when.tm_sec = 9;
    EXPECT_EQ(FormatTimeStamp(when), "05/Mar/2024 14:07:09");
    EXPECT_EQ(FormatTimeStamp(std::time_t{0}).size(), std::string("01/Jan/1970 00:00:00").size());
}

TEST(ShotRecord, LaunchHoldingRulesAndClubFlags) {
    LaunchConditions launch;
    launch.Set(220.0, 12.0, 0.0, 2800.0, 2750.0, -300.0);
    EXPECT_DOUBLE_EQ(launch.ballSpeedMph, 150.0);
    EXPECT_DOUBLE_EQ(launch.sideAngle, 0.01);
    launch.Set(220.0, 12.0, -0.005, 2800.0, 2750.0, -300.0);
    EXPECT_DOUBLE_EQ(launch.sideAngle, 0.01);
    launch.Set(220.0, 12.0, -2.5, 2800.0, 2750.0, -300.0);
    EXPECT_DOUBLE_EQ(launch.sideAngle, -2.5);

    ClubData club;
    EXPECT_EQ(club.clubSpeed.Value(), 0.0);
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
    EXPECT_EQ(club.clubLoft.Value(), 10.0);

    ShotRecord record;
    EXPECT_STREQ(kPlotColourNames[record.plotColour], "None");
    EXPECT_STREQ(kPlotColourNames[5], "Yellow");
}
