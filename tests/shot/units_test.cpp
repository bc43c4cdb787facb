#include "shot/units.h"

#include <gtest/gtest.h>

#include "shot/text_formats.h"
#include "support/temp_home.h"

using namespace kyvern::shot;
using kyvern::testing::TempHome;

TEST(Units, ConversionsLabelsAndWords) {
    const struct {
        int unit;
        double display;  // 100 yards shown in the unit
        const char* label;
    } distances[] = {{kYards, 100.0, "yd"}, {kFeet, 300.0, "ft"}, {kMeters, 91.44, "m"}};
    for (const auto& d : distances) {
        EXPECT_DOUBLE_EQ(ToDisplayDistance(100.0, d.unit), d.display) << d.label;
        EXPECT_DOUBLE_EQ(FromDisplayDistance(d.display, d.unit), 100.0) << d.label;
        EXPECT_STREQ(DistanceLabel(d.unit), d.label);
    }
    EXPECT_EQ(FormatValue(ToDisplayDistance(100.0, kMeters)), "91.4");
    EXPECT_DOUBLE_EQ(ToDisplayDistance(10.0, 7), 10.0);  // outside the table: as yards

    // Shown with the exact factors; typed input with the stated ones, KPH not the exact
    // reciprocal.
    const struct {
        int unit;
        double display;  // 220 ft/s shown in the unit
        double typed;    // ft/s for 1 typed unit
        const char* label;
    } speeds[] = {{kMph, 150.0, 1.4666666666666666, "MPH"},
                  {kFps, 220.0, 1.0, "FPS"},
                  {kKph, 220.0 * 1.09728, 0.9113333333333333, "km/h"},
                  {kMps, 67.056, 3.280839895, "m/s"}};
    for (const auto& s : speeds) {
        EXPECT_DOUBLE_EQ(ToDisplaySpeed(220.0, s.unit), s.display) << s.label;
        EXPECT_EQ(FromDisplaySpeed(1.0, s.unit), s.typed) << s.label;
        EXPECT_STREQ(SpeedLabel(s.unit), s.label);
    }
    EXPECT_NE(FromDisplaySpeed(1.0, kKph), 1.0 / 1.09728);
    EXPECT_EQ(FormatValue(ToDisplaySpeed(220.0, kKph)), "241.4");

    EXPECT_EQ(DistanceUnitIndex("meters", 0), kMeters);
    EXPECT_EQ(DistanceUnitIndex("FEET", 0), kFeet);
    EXPECT_EQ(DistanceUnitIndex("furlongs", 2), 2);
    EXPECT_EQ(SpeedUnitIndex("kph", 0), kKph);
    EXPECT_EQ(SpeedUnitIndex("Knots", 3), 3);
    EXPECT_EQ(SpeedUnitIndex("Knots", 0), 0);
}

TEST(Units, ReadUnitsAtTheMomentOfUse) {
    TempHome home;
    // An unknown word keeps the index the caller holds: the first unit when it holds none.
    home.Set("Setup", "SpeedDisplay", "Knots");
    home.Set("Setup", "DistanceDisplay", "Furlongs");
    EXPECT_EQ(ReadSpeedUnit(), kMph);
    EXPECT_EQ(ReadDistanceUnit(), kYards);
    EXPECT_EQ(ReadSpeedUnit({}, kKph), kKph);
    EXPECT_EQ(ReadDistanceUnit(home.Settings(), kMeters), kMeters);
    // A change applies to the next read.
    home.Set("Setup", "SpeedDisplay", "mps");
    home.Set("Setup", "DistanceDisplay", "feet");
    EXPECT_EQ(ReadSpeedUnit(home.Settings(), kKph), kMps);
    EXPECT_EQ(ReadDistanceUnit({}, kMeters), kFeet);
}
