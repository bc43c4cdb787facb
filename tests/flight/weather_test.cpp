#include "flight/weather.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/temp_home.h"

using kyvern::flight::AirProperties;
using kyvern::flight::ComputeAir;
using kyvern::flight::ReadWeather;
using kyvern::flight::StationPressure;
using kyvern::flight::Weather;
using kyvern::flight::WholeWindDirection;
using kyvern::flight::WindVector;
using kyvern::testing::TempHome;

TEST(Weather, AirAtSeaLevelAnd5000Feet) {
    TempHome home;
    // The defaults (70 F, 50 %, 29.92 in, no wind) give the standard air.
    Weather w = ReadWeather();
    EXPECT_EQ(WindVector(w), kyvern::analysis::Xyz(0, 0, 0));
    AirProperties air = ComputeAir(w);
    EXPECT_NEAR(air.density, 0.00231833, 5e-9);
    EXPECT_NEAR(air.viscosity, 1.6429e-4, 5e-9);

    ASSERT_TRUE(home.Set("Weather", "Altitude", "5000"));
    w = ReadWeather(home.Settings());
    EXPECT_DOUBLE_EQ(w.altitude, 5000.0);
    EXPECT_NEAR(StationPressure(w), 24.894, 5e-4);
    EXPECT_NEAR(ComputeAir(w).density, 0.00192746, 5e-9);
}

TEST(Weather, ValuesAreClampedAndUnreadableOnesTakeTheDefault) {
    struct Row {
        const char* key;
        const char* text;
        double expected;
        double Weather::*field;
    };
    const Row rows[] = {
        {"Altitude", "-50", 0.0, &Weather::altitude},
        {"Altitude", "20000", 12000.0, &Weather::altitude},
        {"Temperature", "150", 130.0, &Weather::temperature},
        {"Temperature", "-10", 20.0, &Weather::temperature},
        {"Temperature", "inf", 70.0, &Weather::temperature},
        {"Temperature", "85F", 85.0, &Weather::temperature},  // "%lf" takes the leading number
        {"Humidity", "120", 100.0, &Weather::humidity},
        {"Humidity", "-3", 0.0, &Weather::humidity},
        {"Barometer", "27", 28.0, &Weather::barometer},
        {"Barometer", "40", 32.0, &Weather::barometer},
        {"Barometer", "high", 29.92, &Weather::barometer},
        {"WindSpeed", "55", 40.0, &Weather::windSpeed},
        {"WindSpeed", "-5", 0.0, &Weather::windSpeed},
        {"WindDir", "1e400", 0.0, &Weather::windDir},  // overflows to infinity
    };
    for (const Row& row : rows) {
        TempHome home;
        ASSERT_TRUE(home.Set("Weather", row.key, row.text));
        EXPECT_DOUBLE_EQ(ReadWeather().*row.field, row.expected) << row.key << "=" << row.text;
    }
    // Every clamped corner still gives a positive density and viscosity.
    for (double t : {20.0, 130.0}) {
        for (double a : {0.0, 12000.0}) {
            const AirProperties air = ComputeAir(Weather{a, t, 100.0, 28.0});
            EXPECT_GT(air.density, 0.0);
            EXPECT_GT(air.viscosity, 0.0);
        }
    }
}

TEST(Weather, WindDirectionRuleAndWindVector) {
    const double rows[][2] = {
        {-10.0, 0.0}, {725.9, 5.0}, {359.9, 359.0}, {360.0, 0.0}, {1e300, std::fmod(1e300, 360.0)}};
    for (const auto& row : rows)
        EXPECT_DOUBLE_EQ(WholeWindDirection(row[0]), row[1]) << row[0];
    EXPECT_FALSE(std::signbit(WholeWindDirection(-0.5)));

    TempHome home;
    home.Set("Weather", "WindSpeed", "15");
    home.Set("Weather", "WindDir", "450");
    Weather w = ReadWeather();
    EXPECT_DOUBLE_EQ(w.windDir, 90.0);
    // 15 mph = 22 ft/s; from the target it blows against the ball's downrange motion.
    const double vectors[][4] = {{90, 0, 0, 22}, {0, 22, 0, 0}, {180, -22, 0, 0}, {270, 0, 0, -22}};
    for (const auto& v : vectors) {
        w.windDir = v[0];
        const kyvern::analysis::Xyz wind = WindVector(w);
        EXPECT_NEAR(wind.x, v[1], 1e-12) << v[0];
        EXPECT_EQ(wind.y, v[2]) << v[0];
        EXPECT_NEAR(wind.z, v[3], 1e-12) << v[0];
    }
}
