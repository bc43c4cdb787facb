#include "shot/units.h"

#include <gtest/gtest.h>

#include "shot/shot_record.h"
#include "shot/text_formats.h"

using namespace kyvern::shot;

TEST(Units, Conversions) {
    // 100 yards shown in each unit; outside the table it is shown as yards.
    const std::pair<int, double> distances[] = {{kYards, 100.0}, {kFeet, 300.0}, {kMeters, 91.44}};
    for (const auto& [unit, display] : distances) {
        EXPECT_DOUBLE_EQ(ToDisplayDistance(100.0, unit), display) << unit;
        EXPECT_DOUBLE_EQ(FromDisplayDistance(display, unit), 100.0) << unit;
    }
    EXPECT_DOUBLE_EQ(ToDisplayDistance(10.0, 7), 10.0);

    // 220 ft/s shown, with the exact factors; the ft/s of 1 typed unit, with the stated ones
    // (KPH not the exact reciprocal).
    const struct {
        int unit;
        double display, typed;
    } speeds[] = {{kMph, 150.0, 1.4666666666666666},
                  {kFps, 220.0, 1.0},
                  {kKph, 220.0 * 1.09728, 0.9113333333333333},
                  {kMps, 67.056, 3.280839895}};
    for (const auto& s : speeds) {
        EXPECT_DOUBLE_EQ(ToDisplaySpeed(220.0, s.unit), s.display) << s.unit;
        EXPECT_EQ(FromDisplaySpeed(1.0, s.unit), s.typed) << s.unit;
    }
}

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
