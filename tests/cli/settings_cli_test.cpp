#include <gtest/gtest.h>

#include <string>

#include "base/config_store.h"
#include "cli_runner.h"

using kyvern::base::ConfigStore;
using kyvern::testing::RunCli;
using kyvern::testing::TempDir;
using kyvern::testing::TempHome;

TEST(SettingsCli, ShowsTheBallAndWeatherInForce) {
    TempHome home;
    auto defaults = RunCli({"settings", "--json"}, home.Path());
    ASSERT_EQ(defaults.exitCode, 0) << defaults.err;
    EXPECT_NE(defaults.out.find("\"handed\": \"Right-handed\", \"speedLabel\": \"MPH\", "
                                "\"distanceLabel\": \"yd\", \"ball\": {\"name\": \"Golf Ball\", "
                                "\"typeId\": 0, \"sport\": \"Golf\", \"diameter\": 1.685, "
                                "\"weight\": 1.62, \"teeHeight\": 0.8425}"),
              std::string::npos)
        << defaults.out;
    EXPECT_NE(defaults.out.find("\"altitude\": 0, \"temperature\": 70, \"humidity\": 50, "
                                "\"barometer\": 29.92, \"windSpeed\": 0, \"windDir\": 0"),
              std::string::npos)
        << defaults.out;

    ASSERT_TRUE(home.Set("Setup", "Ball", "cork SOFTBALL"));
    ASSERT_TRUE(home.Set("Setup", "Handed", "left-handed"));
    ASSERT_TRUE(home.Set("Setup", "SpeedDisplay", "kph"));
    ASSERT_TRUE(home.Set("Weather", "Altitude", "5000"));
    ASSERT_TRUE(home.Set("Weather", "WindDir", "450"));
    auto text = RunCli({"settings"}, home.Path());
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("player          Left-handed; speeds in km/h, distances in yd"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("ball            \"cork SOFTBALL\": type 6, Softball, 3.800 in, "
                            "6.50 oz, tee height 42.0000 in"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("wind            0.0 mph from 90 deg"), std::string::npos);
    EXPECT_NE(text.out.find("density 0.00192746 slug/ft3"), std::string::npos) << text.out;
}
