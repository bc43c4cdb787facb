#include "flight/weather.h"

#include <gtest/gtest.h>

#include <cmath>

#include "temp_home.h"

using kyvern::flight::AirProperties;
using kyvern::flight::ComputeAir;
using kyvern::flight::ReadWeather;
using kyvern::flight::StationPressure;
using kyvern::flight::Weather;
using kyvern::flight::WholeWindDirection;
using kyvern::flight::WindVector;
using kyvern::testing::TempHome;

TEST(Weather, DefaultsAndAirAtDefaults) {
    TempHome home;
    Weather w = ReadWeather();
    EXPECT_DOUBLE_EQ(w.altitude, 0.0);
    EXPECT_DOUBLE_EQ(w.temperature, 70.0);
    EXPECT_DOUBLE_EQ(w.humidity, 50.0);
    EXPECT_DOUBLE_EQ(w.barometer, 29.92);
    EXPECT_DOUBLE_EQ(w.windSpeed, 0.0);
    EXPECT_DOUBLE_EQ(w.windDir, 0.0);
    kyvern::analysis::Xyz wind = WindVector(w);
    EXPECT_EQ(wind, kyvern::analysis::Xyz(0, 0, 0));

    AirProperties air = ComputeAir(w);
    EXPECT_NEAR(air.density, 0.00231833, 5e-9);
    EXPECT_NEAR(air.viscosity, 1.6429e-4, 5e-9);
}

TEST(Weather, AirAt5000Feet) {
    TempHome home;
    ASSERT_TRUE(home.Set("Weather", "Altitude", "5000"));
    Weather w = ReadWeather(home.Settings());
    EXPECT_DOUBLE_EQ(w.altitude, 5000.0);
    EXPECT_NEAR(StationPressure(w), 24.894, 5e-4);
    EXPECT_NEAR(ComputeAir(w).density, 0.00192746, 5e-9);
}

TEST(Weather, ValuesAreClampedToTheirRanges) {
    TempHome home;
    home.Set("Weather", "Altitude", "-50");
    home.Set("Weather", "Temperature", "150");
    home.Set("Weather", "Humidity", "120");
    home.Set("Weather", "Barometer", "27");
    home.Set("Weather", "WindSpeed", "55");
    Weather w = ReadWeather();
    EXPECT_DOUBLE_EQ(w.altitude, 0.0);
    EXPECT_DOUBLE_EQ(w.temperature, 130.0);
    EXPECT_DOUBLE_EQ(w.humidity, 100.0);
    EXPECT_DOUBLE_EQ(w.barometer, 28.0);
    EXPECT_DOUBLE_EQ(w.windSpeed, 40.0);

    home.Set("Weather", "Altitude", "20000");
    home.Set("Weather", "Temperature", "-10");
    home.Set("Weather", "Humidity", "-3");
    home.Set("Weather", "Barometer", "40");
    home.Set("Weather", "WindSpeed", "-5");
    w = ReadWeather();
    EXPECT_DOUBLE_EQ(w.altitude, 12000.0);
    EXPECT_DOUBLE_EQ(w.temperature, 20.0);
    EXPECT_DOUBLE_EQ(w.humidity, 0.0);
    EXPECT_DOUBLE_EQ(w.barometer, 32.0);
    EXPECT_DOUBLE_EQ(w.windSpeed, 0.0);
    // Every clamped corner still gives a positive density and viscosity.
    for (double t : {20.0, 130.0}) {
        for (double a : {0.0, 12000.0}) {
            Weather corner;
            corner.temperature = t;
            corner.altitude = a;
            corner.humidity = 100.0;
            corner.barometer = 28.0;
            AirProperties air = ComputeAir(corner);
            EXPECT_GT(air.density, 0.0);
            EXPECT_GT(air.viscosity, 0.0);
        }
    }
}

TEST(Weather, UnreadableOrNonFiniteValuesTakeTheDefault) {
    TempHome home;
    home.Set("Weather", "Altitude", "nan");
    home.Set("Weather", "Temperature", "inf");
    home.Set("Weather", "Humidity", "-infinity");
    home.Set("Weather", "Barometer", "high");
    home.Set("Weather", "WindSpeed", "NAN(0x1)");
    home.Set("Weather", "WindDir", "west");
    Weather w = ReadWeather();
    EXPECT_DOUBLE_EQ(w.altitude, 0.0);
    EXPECT_DOUBLE_EQ(w.temperature, 70.0);
    EXPECT_DOUBLE_EQ(w.humidity, 50.0);
    EXPECT_DOUBLE_EQ(w.barometer, 29.92);
    EXPECT_DOUBLE_EQ(w.windSpeed, 0.0);
    EXPECT_DOUBLE_EQ(w.windDir, 0.0);
    home.Set("Weather", "WindDir", "1e400");  // overflows to infinity
    EXPECT_DOUBLE_EQ(ReadWeather().windDir, 0.0);
    // "%lf" takes the number at the start of a text.
    home.Set("Weather", "Temperature", "85F");
    EXPECT_DOUBLE_EQ(ReadWeather().temperature, 85.0);
}

TEST(Weather, WindDirectionRuleAndWindVector) {
    EXPECT_DOUBLE_EQ(WholeWindDirection(-90.0), 0.0);
    EXPECT_DOUBLE_EQ(WholeWindDirection(-10.0), 0.0);
    EXPECT_DOUBLE_EQ(WholeWindDirection(725.9), 5.0);
    EXPECT_DOUBLE_EQ(WholeWindDirection(450.0), 90.0);
    EXPECT_DOUBLE_EQ(WholeWindDirection(359.9), 359.0);
    EXPECT_DOUBLE_EQ(WholeWindDirection(360.0), 0.0);
    EXPECT_DOUBLE_EQ(WholeWindDirection(1e300), std::fmod(1e300, 360.0));
    EXPECT_FALSE(std::signbit(WholeWindDirection(-0.5)));

    TempHome home;
    home.Set("Weather", "WindSpeed", "15");
    home.Set("Weather", "WindDir", "450");
    Weather w = ReadWeather();
    EXPECT_DOUBLE_EQ(w.windDir, 90.0);
    kyvern::analysis::Xyz fromRight = WindVector(w);
    EXPECT_NEAR(fromRight.x, 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(fromRight.y, 0.0);
    EXPECT_NEAR(fromRight.z, 22.0, 1e-12);  // 15 mph = 22 ft/s

    w.windDir = 0.0;  // from the target: against the ball's downrange motion
    EXPECT_NEAR(WindVector(w).x, 22.0, 1e-12);
    w.windDir = 180.0;
    EXPECT_NEAR(WindVector(w).x, -22.0, 1e-12);
    w.windDir = 270.0;
    EXPECT_NEAR(WindVector(w).z, -22.0, 1e-12);
}
