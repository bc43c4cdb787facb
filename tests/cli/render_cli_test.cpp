#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli_runner.h"

using kyvern::testing::Contains;
using kyvern::testing::RunCli;
using kyvern::testing::TempDir;
using kyvern::testing::TempHome;

namespace {

std::vector<std::string> Shot(const std::string& out) {
    return {"render", "--out",  out,    "--launch",    "12",  "--side",
            "-2",     "--back", "3500", "--side-spin", "-600"};
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace

TEST(RenderCli, WritesAFrameAndPrintsItsTruth) {
    TempHome home;
    const std::string file = home.File("shot.bmp");
    auto r = RunCli(With(Shot(file), {"--speed", "150", "--json"}), home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "\"width\": 1024, \"height\": 768")) << r.out;
    EXPECT_TRUE(Contains(r.out, "\"ballSpeed\": 150,"));
    EXPECT_TRUE(Contains(r.out, "\"launchAngle\": 12,"));
    EXPECT_TRUE(Contains(r.out, "\"sideAngle\": -2,"));
    EXPECT_TRUE(Contains(r.out, "\"backSpin\": 3500,"));
    EXPECT_TRUE(Contains(r.out, "\"sideSpin\": -600,"));
    EXPECT_TRUE(Contains(r.out, "\"rifleSpin\": 0,"));
    EXPECT_TRUE(Contains(r.out, "\"t1\": 0.001,"));
    // 5 in at 150 ft/s, in whole microseconds.
    EXPECT_TRUE(Contains(r.out, "\"t2\": 0.003777"));
    EXPECT_TRUE(Contains(r.out, "\"balls\": [{\"loc\": ["));
    EXPECT_TRUE(r.err.empty()) << r.err;

    // The file is a saved-image file with one frame of the rendered size and flashes.
    auto f = RunCli({"frames", "--json", file}, home.Path());
    ASSERT_EQ(f.exitCode, 0) << f.err;
    EXPECT_TRUE(Contains(f.out, "\"slot\": 0, \"width\": 1024, \"height\": 768")) << f.out;
    EXPECT_TRUE(Contains(f.out, "\"t1\": 0.001, \"t2\": 0.0037")) << f.out;

    // Text output: the truth in display units.
    auto t = RunCli(With(Shot(home.File("text.bmp")),
                         {"--speed", "100", "--speed-unit", "mph", "--width", "640"}),
                    home.Path());
    ASSERT_EQ(t.exitCode, 0) << t.err;
    EXPECT_TRUE(Contains(t.out, "text.bmp: 640 x 480, serial number 0")) << t.out;
    EXPECT_TRUE(Contains(t.out,
                         "ball speed 146.67 ft/s (100.00 mph), launch 12.00 deg, side "
                         "-2.00 deg"));
    EXPECT_TRUE(Contains(t.out, "back 3500 rpm, side -600 rpm, rifle 0 rpm"));
    EXPECT_TRUE(Contains(t.out, "  ball 0: loc="));
    EXPECT_TRUE(Contains(t.out, "  ball 1: loc="));
}

TEST(RenderCli, SpeedUnits) {
    TempHome home;
    const struct {
        const char* unit;
        const char* speed;
        const char* fps;
    } cases[] = {{"fps", "120", "\"ballSpeed\": 120,"},
                 {"mph", "150", "\"ballSpeed\": 219.99999999999997,"},
                 {"kph", "100", "\"ballSpeed\": 91.13333333333"},
                 {"mps", "50", "\"ballSpeed\": 164.04199475"}};
    for (const auto& c : cases) {
        auto r = RunCli(
            With(Shot(home.File("u.bmp")), {"--speed", c.speed, "--speed-unit", c.unit, "--json"}),
            home.Path());
        ASSERT_EQ(r.exitCode, 0) << c.unit << r.err;
        EXPECT_TRUE(Contains(r.out, c.fps)) << c.unit << ": " << r.out;
    }
}

TEST(RenderCli, SeedDecidesTheNoise) {
    TempHome home;
    auto render = [&](const std::string& name, const char* seed) {
        auto r =
            RunCli(With(Shot(home.File(name)), {"--speed", "200", "--seed", seed}), home.Path());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        // Past the colour table and the capture header (which carries the saving time).
        std::string bytes = kyvern::testing::ReadFileText(home.File(name));
        return bytes.size() > 1078 + 1000 ? bytes.substr(1078 + 1000) : std::string();
    };
    const std::string a = render("a.bmp", "7");
    const std::string b = render("b.bmp", "7");
    const std::string c = render("c.bmp", "8");
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(RenderCli, RefusesBadArguments) {
    TempHome home;
    const std::string file = home.File("bad.bmp");
    const std::vector<std::vector<std::string>> bad = {
        {"render", "--speed", "150", "--launch", "10", "--side", "0", "--back", "3000",
         "--side-spin", "0"},                   // no --out
        With(Shot(file), {}),                   // no --speed
        With(Shot(file), {"--speed", "fast"}),  // not a number
        With(Shot(file), {"--speed", "150", "--speed-unit", "knots"}),
        With(Shot(file), {"--speed", "150", "--width", "800"}),
        With(Shot(file), {"--speed", "0"}),
        With(Shot(file), {"--speed", "150", "--interval", "0.005"}),
        With(Shot(file), {"--speed", "150", "--interval", "0"}),
        With(Shot(file), {"--speed", "150", "--distance", "2"}),
        With(Shot(file), {"--speed", "150", "--seed", "1.5"}),
        {"render", "--out", file, "--speed", "150", "--side", "0", "--back", "3000", "--side-spin",
         "0"},  // no --launch
    };
    for (const auto& args : bad) {
        auto r = RunCli(args, home.Path());
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_TRUE(Contains(r.err, "usage: kyvern-cli render")) << r.err;
    }
    EXPECT_TRUE(kyvern::testing::ReadFileText(file).empty());

    // The longest interval the shot cycle keeps is accepted.
    auto r = RunCli(With(Shot(file), {"--speed", "150", "--interval", "0.004"}), home.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "strobe interval 0.004000 s")) << r.out;

    // A file that cannot be written: the system's message, status 1.
    auto w = RunCli(With(Shot(home.File("no/such/folder/x.bmp")), {"--speed", "150"}), home.Path());
    EXPECT_EQ(w.exitCode, 1);
    EXPECT_FALSE(w.err.empty());
}
