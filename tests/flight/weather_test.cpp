#include "flight/weather.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace kyvern::flight;

namespace {

// The weather of a settings file's text, as a pass reads it, and what the pass had to change.
Weather WeatherOf(const std::string& text,
                  std::vector<kyvern::base::SettingProblem>* problems = nullptr) {
    const kyvern::base::SettingsSnapshot snapshot(text);
    kyvern::base::OptionsReader reader(snapshot);
    const Weather w = ReadWeather(reader);
    if (problems) *problems = reader.Problems();
    return w;
}

}  // namespace

TEST(Weather, AirAtSeaLevelAnd5000Feet) {
    // The defaults (70 F, 50 %, 29.92 in, no wind) give the standard air.
    Weather w = WeatherOf("");
    EXPECT_EQ(WindVector(w), kyvern::frame::Xyz(0, 0, 0));
    AirProperties air = ComputeAir(w);
    EXPECT_NEAR(air.density, 0.00231833, 5e-9);
    EXPECT_NEAR(air.viscosity, 1.6429e-4, 5e-9);

    w = WeatherOf("[Weather]\nAltitude=5000\n");
    EXPECT_DOUBLE_EQ(w.altitude, 5000.0);
    EXPECT_NEAR(StationPressure(w), 24.894, 5e-4);  // the density there is the settings command's
}

TEST(Weather, ValuesAreClampedAndUnreadableOnesTakeTheDefault) {
    const char* keys[] = {"Altitude",  "Temperature", "Humidity",
                          "Barometer", "WindSpeed",   "WindDir"};
    double Weather::*fields[] = {&Weather::altitude,  &Weather::temperature, &Weather::humidity,
                                 &Weather::barometer, &Weather::windSpeed,   &Weather::windDir};
    // "%lf" takes a leading number (85F); 1e400 overflows to infinity.
    const struct {
        int key;
        const char* text;
        double expected;
    } rows[] = {{0, "-50", 0},  {0, "20000", 12000}, {1, "150", 130},    {1, "-10", 20},
                {1, "inf", 70}, {1, "85F", 85},      {2, "120", 100},    {2, "-3", 0},
                {3, "27", 28},  {3, "40", 32},       {3, "high", 29.92}, {4, "55", 40},
                {4, "-5", 0},   {5, "1e400", 0}};
    for (const auto& row : rows) {
        std::vector<kyvern::base::SettingProblem> problems;
        const Weather w = WeatherOf(
            std::string("[Weather]\n") + keys[row.key] + "=" + row.text + "\n", &problems);
        EXPECT_DOUBLE_EQ(w.*fields[row.key], row.expected) << keys[row.key] << "=" << row.text;
        // A value taken as it stood is no problem; one moved or unreadable is told once. The wind
        // direction has its own rule and is never out of range.
        const bool moved = row.key != 5 && std::string(row.text) != "85F";
        EXPECT_EQ(problems.size(), moved ? 1u : 0u) << keys[row.key] << "=" << row.text;
    }
    std::vector<kyvern::base::SettingProblem> problems;
    WeatherOf("[Weather]\nTemperature=150\n", &problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(kyvern::base::DescribeProblem(problems[0]),
              "Weather/Temperature is \"150\", out of 20 to 130: 130 is used instead.");
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

    Weather w;
    w.windSpeed = 15.0;
    // 15 mph = 22 ft/s; from the target it blows against the ball's downrange motion.
    const double vectors[][4] = {{90, 0, 0, 22}, {0, 22, 0, 0}};
    for (const auto& v : vectors) {
        w.windDir = v[0];
        const kyvern::frame::Xyz wind = WindVector(w);
        EXPECT_NEAR(wind.x, v[1], 1e-12) << v[0];
        EXPECT_EQ(wind.y, v[2]) << v[0];
        EXPECT_NEAR(wind.z, v[3], 1e-12) << v[0];
    }
}
