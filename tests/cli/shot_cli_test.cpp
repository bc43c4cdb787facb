// The commands that compute a shot: flight, render and analyze.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cli_runner.h"

using namespace kyvern::testing;
using Args = std::vector<std::string>;

namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The number after "key": in a JSON text, from the given position on.
double NumberAfter(const std::string& json, const std::string& key, std::size_t from = 0) {
    std::size_t at = json.find("\"" + key + "\": ", from);
    return at == std::string::npos ? -1e300 : std::strtod(json.c_str() + at + key.size() + 4, 0);
}

Args Render(const std::string& out, Args more) {
    Args args = {"render", "--out",  out,    "--launch",    "12",  "--side",
                 "-2",     "--back", "3500", "--side-spin", "-600"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace

TEST(FlightCli, JsonTextTrajectoryAndABadClub) {
    TempHome home;
    auto r = RunCli({"flight", "--speed", "150", "--speed-unit", "mph", "--launch", "12", "--back",
                     "2800", "--side-spin", "-400", "--club-speed", "102", "--json"},
                    home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // 220 ft/s typed as 150 mph: the same flight as the drive the flight tests know; twenty
    // points without spin (the origin, the nineteen roll points and the rest).
    EXPECT_EQ(r.out.rfind("{\"carry\": 249.", 0), 0u) << r.out;
    EXPECT_EQ(Count(r.out, ", null]"), 21u);
    EXPECT_FALSE(Contains(r.out, "\"powerTransferIndex\": null"));
    // Without a club speed there is no transfer index.
    const Args drive = {"flight", "--speed", "220", "--launch", "12", "--back", "2800"};
    Args json = drive;
    json.push_back("--json");
    EXPECT_TRUE(Contains(RunCli(json, home.Path()).out, "\"powerTransferIndex\": null}"));

    // Text in the display units; a bad club setting is said.
    home.Set("Setup", "DistanceDisplay", "Meters");
    home.Set("Setup", "SpeedDisplay", "KPH");
    Args club = drive;
    club.insert(club.end(), {"--club-speed", "150"});
    r = RunCli(club, home.Path());
    EXPECT_TRUE(Contains(r.out, "Carry            229.2 m")) << r.out;
    EXPECT_TRUE(Contains(r.out, " km/h\nEffective loft") &&
                Contains(r.out, "PTI              1.47"));
    home.Set("Setup", "ClubMass", "99");
    r = RunCli(club, home.Path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Contains(r.err, "Invalid ClubMass in Kyvern.ini"));

    // The trajectory file: a header and a line per point; an unwritable one is status 1.
    Args trajectory = drive;
    trajectory.insert(trajectory.end(), {"--trajectory", home.File("flightKyvern.txt")});
    ASSERT_EQ(RunCli(trajectory, home.Path()).exitCode, 0);
    EXPECT_GT(Count(ReadFileText(home.File("flightKyvern.txt")), "\n"), 22u);
    trajectory.back() = home.File("no/such/folder.txt");
    r = RunCli(trajectory, home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "Couldn't open the flightKyvern.txt file"));
}

TEST(RenderCli, SpeedUnitsSeedsIntervalsAndAnUnwritableFile) {
    TempHome home;
    const char* cases[][3] = {{"fps", "120", "\"ballSpeed\": 120,"},
                              {"mph", "150", "\"ballSpeed\": 219.99999999999997,"},
                              {"kph", "100", "\"ballSpeed\": 91.13333333333"},
                              {"mps", "50", "\"ballSpeed\": 164.04199475"}};
    for (const auto& c : cases) {
        auto r =
            RunCli(Render(home.File("u.bmp"), {"--speed", c[1], "--speed-unit", c[0], "--json"}),
                   home.Path());
        ASSERT_EQ(r.exitCode, 0) << c[0] << r.err;
        EXPECT_TRUE(Contains(r.out, c[2])) << c[0] << ": " << r.out;
    }

    // The seed decides the noise: compared past the colour table and the capture header
    // (which carries the saving time).
    auto noise = [&](const std::string& name, const char* seed) {
        auto r = RunCli(Render(home.File(name), {"--speed", "200", "--seed", seed}), home.Path());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::string bytes = ReadFileText(home.File(name));
        return bytes.size() > 1078 + 1000 ? bytes.substr(1078 + 1000) : std::string();
    };
    const std::string a = noise("a.bmp", "7");
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, noise("b.bmp", "7"));
    EXPECT_NE(a, noise("c.bmp", "8"));

    // The longest interval the shot cycle keeps is accepted.
    auto r = RunCli(
        Render(home.File("t.bmp"), {"--speed", "100", "--width", "640", "--interval", "0.004"}),
        home.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "t.bmp: 640 x 480") && Contains(r.out, "interval 0.004000 s"));
    r = RunCli(Render(home.File("no/such/folder/x.bmp"), {"--speed", "150"}), home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.empty());
}

TEST(AnalyzeCli, RenderedFramesGiveTheirLaunchConditions) {
    TempHome home;
    const std::string file = home.File("a.bmp");
    auto r =
        RunCli({"render", "--out", file, "--speed", "150", "--speed-unit", "mph", "--launch", "14",
                "--side", "3", "--back", "3200", "--side-spin", "0", "--distance", "17", "--json"},
               home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // 5 in at 220 ft/s, in whole microseconds.
    EXPECT_TRUE(Contains(r.out, "\"t2\": 0.002892999")) << r.out;

    r = RunCli({"analyze", "--json", file}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string& j = r.out;
    std::size_t launch = j.find("\"launch\": {\"ok\": true, \"error\": 0, \"warnings\": [], ");
    ASSERT_NE(launch, std::string::npos) << j;
    // The rendered lens shrinks the balls as the analysis assumes: the speed reads about 1 % low.
    EXPECT_NEAR(NumberAfter(j, "ballSpeedMph", launch), 150 * 0.99, 1.5);
    EXPECT_NEAR(NumberAfter(j, "sideAngle", launch), 3, 0.8);
    EXPECT_NEAR(NumberAfter(j, "backSpin", launch), 3200, 160);

    // Left-handed: the side angle turns over. Text: the message list, then the launch.
    ASSERT_TRUE(home.Set("Setup", "Handed", "Left-handed"));
    ASSERT_TRUE(home.Set("Setup", "ShowTiming", "YES"));
    auto left = RunCli({"analyze", "--json", file}, home.Path());
    EXPECT_NEAR(NumberAfter(left.out, "sideAngle", left.out.find("\"launch\": ")), -3, 0.8);
    auto text = RunCli({"analyze", file}, home.Path());
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out.rfind("Processing image\n   PixelStats: ", 0), 0u) << text.out;
    EXPECT_LT(text.out.find("Analysis complete: "), text.out.find("Ball speed    14"));

    // A missing file gives no frames and no launch; the good one still does.
    r = RunCli({"analyze", "--json", home.File("missing.bmp"), file}, home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "Couldn't open image file"));
    EXPECT_TRUE(Contains(r.out, "\"frames\": [], \"launch\": {\"ok\": false, ")) << r.out;
    EXPECT_TRUE(Contains(r.out, "\"launch\": {\"ok\": true"));
}
