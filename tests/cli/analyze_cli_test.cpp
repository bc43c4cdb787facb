#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/config_store.h"
#include "cli_runner.h"

using kyvern::base::ConfigStore;
using kyvern::testing::Contains;
using kyvern::testing::RunCli;
using kyvern::testing::TempDir;
using kyvern::testing::TempHome;

namespace {

// The number after "key": in a JSON text, from the given position on.
double NumberAfter(const std::string& json, const std::string& key, std::size_t from = 0) {
    std::size_t at = json.find("\"" + key + "\": ", from);
    if (at == std::string::npos) return -1e300;
    return std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

void Render(const TempHome& home, const std::string& file, const std::string& side) {
    auto r =
        RunCli({"render", "--out", file, "--speed", "150", "--speed-unit", "mph", "--launch", "14",
                "--side", side, "--back", "3200", "--side-spin", "0", "--distance", "17"},
               home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
}

}  // namespace

TEST(AnalyzeCli, RenderedFramesGiveTheirLaunchConditions) {
    TempHome home;
    Render(home, home.File("a.bmp"), "3");
    auto r = RunCli({"analyze", "--json", home.File("a.bmp")}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string& j = r.out;
    EXPECT_EQ(j.rfind("{\"file\": \"" + home.File("a.bmp") +
                          "\", \"frames\": [{\"slot\": 0, "
                          "\"error\": 0, \"errorText\": \"no error\", \"warnings\": [], "
                          "\"pixelsPerInch\": ",
                      0),
              0u)
        << j;
    EXPECT_TRUE(Contains(j, "\"balls\": [{\"pix\": ["));
    EXPECT_TRUE(Contains(j, "\"loc\": ["));
    EXPECT_TRUE(Contains(j, "\"planeNormal\": ["));
    EXPECT_TRUE(Contains(j, "\"viewNormal\": ["));
    EXPECT_TRUE(Contains(j, "\"lum\": "));
    EXPECT_TRUE(Contains(j, "\"marks\": "));
    std::size_t launch = j.find("\"launch\": {\"ok\": true, \"error\": 0, \"warnings\": [], ");
    ASSERT_NE(launch, std::string::npos) << j;
    EXPECT_NEAR(NumberAfter(j, "ballSpeedMph", launch), 150 * 0.977, 2.5);
    EXPECT_NEAR(NumberAfter(j, "launchAngle", launch), 14, 0.2);
    EXPECT_NEAR(NumberAfter(j, "sideAngle", launch), 3, 0.8);
    EXPECT_NEAR(NumberAfter(j, "backSpin", launch), 3200, 160);
    EXPECT_GT(NumberAfter(j, "pixelsPerInch"), 100.0);

    // Left-handed: the side angle turns over.
    ASSERT_TRUE(home.Set("Setup", "Handed", "Left-handed"));
    auto left = RunCli({"analyze", "--json", home.File("a.bmp")}, home.Path());
    ASSERT_EQ(left.exitCode, 0) << left.err;
    launch = left.out.find("\"launch\": ");
    EXPECT_NEAR(NumberAfter(left.out, "sideAngle", launch), -3, 0.8);

    // Text: the message-list lines, then the launch conditions in display units.
    ASSERT_TRUE(home.Set("Setup", "ShowTiming", "YES"));
    auto text = RunCli({"analyze", home.File("a.bmp")}, home.Path());
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out.rfind("Processing image\n   PixelStats: ", 0), 0u) << text.out;
    EXPECT_TRUE(Contains(text.out, "   ProcessScene: "));
    EXPECT_TRUE(Contains(text.out, "Analysis complete: "));
    EXPECT_LT(text.out.find("Analysis complete: "), text.out.find("Ball speed    14"));
    EXPECT_TRUE(Contains(text.out, " MPH\nLaunch angle  14."));
}

TEST(AnalyzeCli, FailuresSayWhyAndExit1) {
    TempHome home;
    Render(home, home.File("good.bmp"), "0");
    auto r =
        RunCli({"analyze", "--json", home.File("missing.bmp"), home.File("good.bmp")}, home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "Couldn't open image file"));
    // The missing file gives no frames and no launch; the good one still does.
    EXPECT_TRUE(Contains(r.out,
                         "\"frames\": [], \"launch\": {\"ok\": false, \"error\": 0, "
                         "\"warnings\": [], \"ballSpeed\": 0,"))
        << r.out;
    EXPECT_TRUE(Contains(r.out, "\"launch\": {\"ok\": true"));

    auto usage = RunCli({"analyze"}, home.Path());
    EXPECT_EQ(usage.exitCode, 2);
    auto badFlag = RunCli({"analyze", "--frobnicate", home.File("good.bmp")}, home.Path());
    EXPECT_EQ(badFlag.exitCode, 2);
}
