#include <gtest/gtest.h>

#include <string>

#include "base/config_store.h"
#include "cli_runner.h"

using kyvern::base::ConfigStore;
using kyvern::testing::Contains;
using kyvern::testing::RunCli;
using kyvern::testing::TempDir;
using kyvern::testing::TempHome;

namespace {

constexpr const char* kNoCameras = "No Kyverns were detected\n\nCheck IEEE1394 interface";

}  // namespace

TEST(CamerasCli, ListsTheSimulatedCameras) {
    TempHome home;
    home.Set("Simulator", "Cameras", "2");
    auto r = RunCli({"cameras", "--simulate", "--json"}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "[{\"serial\": 9100001, \"slot\": 0, \"size\": \"1024x768\", \"width\": 1024, "
              "\"height\": 768, \"speedMode\": \"Medium\", \"gain\": 235, \"driver\": "
              "\"Simulated\"}, {\"serial\": 9100002, \"slot\": 1, \"size\": \"1024x768\", "
              "\"width\": 1024, \"height\": 768, \"speedMode\": \"Medium\", \"gain\": 235, "
              "\"driver\": \"Simulated\"}]\n");
    EXPECT_TRUE(r.err.empty()) << r.err;
    // Their calibration entries were written for the shot cycle to read.
    EXPECT_EQ(home.Get("Camera", "9100001"), "Sim 1,0.000,0.000,0.000,0.0,0.0,0.0,");

    // Chosen by the settings, in the 640 x 480 mode, the slowest speed and the brightest gain.
    home.Set("Camera", "Driver", "simulated");
    home.Set("Camera", "Speed", "superslow");
    home.Set("Camera", "Brightness", "15");
    home.Set("Simulator", "Resolution", "640x480");
    home.Set("Simulator", "Cameras", "1");
    r = RunCli({"cameras"}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "Simulated cameras: 1\n"
              "  slot 0: serial 9100001, 640 x 480, speed SuperSlow, gain 325\n");
}

TEST(CamerasCli, NoCameraIsSaidAndTheRunGoesOn) {
    TempHome home;
    home.Set("Simulator", "Cameras", "0");
    auto r = RunCli({"cameras", "--driver", "Simulated", "--json"}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "[]\n");
    EXPECT_TRUE(Contains(r.err, kNoCameras)) << r.err;

    r = RunCli({"cameras", "--driver", "Warp"}, home.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Contains(r.err, "unknown camera driver \"Warp\"")) << r.err;
    r = RunCli({"cameras", "extra"}, home.Path());
    EXPECT_EQ(r.exitCode, 2);
}
