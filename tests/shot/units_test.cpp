#include "shot/units.h"

#include <gtest/gtest.h>

#include "support/temp_home.h"
#include "shot/text_formats.h"

using namespace kyvern::shot;
using kyvern::testing::TempHome;

TEST(Units, DistanceConversionsBothWays) {
    EXPECT_DOUBLE_EQ(ToDisplayDistance(100.0, kYards), 100.0);
    EXPECT_DOUBLE_EQ(ToDisplayDistance(100.0, kFeet), 300.0);
    EXPECT_DOUBLE_EQ(ToDisplayDistance(100.0, kMeters), 91.44);
    EXPECT_EQ(FormatValue(ToDisplayDistance(100.0, kMeters)), "91.4");
    EXPECT_EQ(FormatValue(ToDisplayDistance(100.0, kFeet)), "300.0");
    EXPECT_DOUBLE_EQ(FromDisplayDistance(300.0, kFeet), 100.0);
    EXPECT_DOUBLE_EQ(FromDisplayDistance(91.44, kMeters), 100.0);
    EXPECT_DOUBLE_EQ(FromDisplayDistance(42.0, kYards), 42.0);
    EXPECT_DOUBLE_EQ(ToDisplayDistance(10.0, 7), 10.0);  // outside the table: as yards
}

TEST(Units, SpeedConversionsUseTheExactFactors) {
    EXPECT_DOUBLE_EQ(ToDisplaySpeed(220.0, kMph), 220.0 * 3600.0 / 5280.0);
    EXPECT_DOUBLE_EQ(ToDisplaySpeed(220.0, kFps), 220.0);
    EXPECT_DOUBLE_EQ(ToDisplaySpeed(220.0, kKph), 220.0 * 1.09728);
    EXPECT_EQ(FormatValue(ToDisplaySpeed(220.0, kKph)), "241.4");
    EXPECT_DOUBLE_EQ(ToDisplaySpeed(100.0, kMps), 30.48);
    // Typed input: the stated factors, KPH not the exact reciprocal.
    EXPECT_EQ(FromDisplaySpeed(1.0, kMph), 1.4666666666666666);
    EXPECT_EQ(FromDisplaySpeed(1.0, kFps), 1.0);
    EXPECT_EQ(FromDisplaySpeed(1.0, kKph), 0.9113333333333333);
    EXPECT_NE(FromDisplaySpeed(1.0, kKph), 1.0 / 1.09728);
    EXPECT_EQ(FromDisplaySpeed(1.0, kMps), 3.280839895);
    EXPECT_DOUBLE_EQ(FromDisplaySpeed(150.0, kMph), 220.0);
}

TEST(Units, LabelsFollowTheTable) {
    EXPECT_STREQ(DistanceLabel(kYards), "yd");
    EXPECT_STREQ(DistanceLabel(kFeet), "ft");
    EXPECT_STREQ(DistanceLabel(kMeters), "m");
    EXPECT_STREQ(SpeedLabel(kMph), "MPH");
    EXPECT_STREQ(SpeedLabel(kFps), "FPS");
    EXPECT_STREQ(SpeedLabel(kKph), "km/h");
    EXPECT_STREQ(SpeedLabel(kMps), "m/s");
}

TEST(Units, WordsMatchWithoutCaseAndUnknownKeepsThePrevious) {
    EXPECT_EQ(DistanceUnitIndex("meters", 0), kMeters);
    EXPECT_EQ(DistanceUnitIndex("FEET", 0), kFeet);
    EXPECT_EQ(DistanceUnitIndex("furlongs", 2), 2);
    EXPECT_EQ(SpeedUnitIndex("kph", 0), kKph);
    EXPECT_EQ(SpeedUnitIndex("Knots", 3), 3);
    EXPECT_EQ(SpeedUnitIndex("Knots", 0), 0);
}

TEST(Units, ReadUnitsAtTheMomentOfUse) {
    TempHome home;
    // An unrecognised word read first after start behaves as the first unit.
    home.Set("Setup", "SpeedDisplay", "Knots");
    home.Set("Setup", "DistanceDisplay", "Furlongs");
    EXPECT_EQ(ReadSpeedUnit(), kMph);
    EXPECT_EQ(ReadDistanceUnit(), kYards);
    // A change applies to the next read.
    home.Set("Setup", "SpeedDisplay", "KPH");
    home.Set("Setup", "DistanceDisplay", "Meters");
    EXPECT_EQ(ReadSpeedUnit(), kKph);
    EXPECT_EQ(ReadDistanceUnit(), kMeters);
    // An unknown word now keeps what the last read gave.
    home.Set("Setup", "SpeedDisplay", "Knots");
    home.Set("Setup", "DistanceDisplay", "Furlongs");
    EXPECT_EQ(ReadSpeedUnit(), kKph);
    EXPECT_EQ(ReadDistanceUnit(home.Settings()), kMeters);
    home.Set("Setup", "SpeedDisplay", "mps");
    home.Set("Setup", "DistanceDisplay", "feet");
    EXPECT_EQ(ReadSpeedUnit(home.Settings()), kMps);
    EXPECT_EQ(ReadDistanceUnit(), kFeet);
}
