// The commands that compute a shot: flight, render and analyze.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "cli_runner.h"

using kyvern::testing::Contains;
using kyvern::testing::ReadFileText;
using kyvern::testing::RunCli;
using kyvern::testing::TempHome;
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
    if (at == std::string::npos) return -1e300;
    return std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

Args Render(const std::string& out, Args more) {
    Args args = {"render", "--out",  out,    "--launch",    "12",  "--side",
                 "-2",     "--back", "3500", "--side-spin", "-600"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace

TEST(FlightCli, JsonHoldsExactlyTheDocumentedKeys) {
    TempHome home;
    auto r = RunCli({"flight", "--speed", "150", "--speed-unit", "mph", "--launch", "12", "--back",
                     "2800", "--side-spin", "-400", "--club-speed", "102", "--json"},
                    home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The keys a script reads, each once and nothing else.
    for (const char* key :
         {"carry", "carryOffline", "total", "totalOffline", "roll", "maxHeight", "flightTime",
          "points", "club", "clubSpeed", "effectiveLoft", "angleOfAttack", "faceAngle", "pathAngle",
          "loftMismatch", "launchEfficiency", "powerTransferIndex"})
        EXPECT_EQ(Count(r.out, "\"" + std::string(key) + "\": "), 1u) << key;
    EXPECT_EQ(Count(r.out, "\": "), 17u);
    // 220 ft/s typed as 150 mph: the same flight as the drive the flight tests know.
    EXPECT_EQ(r.out.rfind("{\"carry\": 249.", 0), 0u) << r.out;
    EXPECT_FALSE(Contains(r.out, "\"powerTransferIndex\": null"));
    // Twenty points without spin: the origin and the nineteen roll points and the rest.
    EXPECT_EQ(Count(r.out, ", null]"), 21u);

    r = RunCli({"flight", "--speed", "220", "--launch", "12", "--back", "2800", "--json"},
               home.Path());
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Contains(r.out, "\"powerTransferIndex\": null}"));
}

TEST(FlightCli, TextInDisplayUnitsTheTrajectoryFileAndABadClub) {
    TempHome home;
    home.Set("Setup", "DistanceDisplay", "Meters");
    home.Set("Setup", "SpeedDisplay", "KPH");
    const Args drive = {"flight", "--speed", "220", "--launch", "12", "--back", "2800"};
    Args args = drive;
    args.insert(args.end(), {"--club-speed", "150"});
    auto r = RunCli(args, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "Carry            229.2 m")) << r.out;
    EXPECT_TRUE(Contains(r.out, " km/h\n"));
    EXPECT_TRUE(Contains(r.out, "PTI              1.47\n"));

    home.Set("Setup", "ClubMass", "99");
    r = RunCli(drive, home.Path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Contains(r.err, "Invalid ClubMass in Kyvern.ini"));
    EXPECT_FALSE(Contains(r.out, "PTI"));

    const std::string path = home.File("flightKyvern.txt");
    args = drive;
    args.insert(args.end(), {"--trajectory", path});
    ASSERT_EQ(RunCli(args, home.Path()).exitCode, 0);
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "    dr\t    ol\t   alt");
    int lines = 1;
    while (std::getline(in, line))
        ++lines;
    EXPECT_GT(lines, 22);
    args.back() = home.File("no/such/folder.txt");
    r = RunCli(args, home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "Couldn't open the flightKyvern.txt file"));
}

TEST(RenderCli, SpeedUnitsSeedsIntervalsAndAnUnwritableFile) {
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
            Render(home.File("u.bmp"), {"--speed", c.speed, "--speed-unit", c.unit, "--json"}),
            home.Path());
        ASSERT_EQ(r.exitCode, 0) << c.unit << r.err;
        EXPECT_TRUE(Contains(r.out, c.fps)) << c.unit << ": " << r.out;
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

    // The longest interval the shot cycle keeps is accepted; text in display units.
    auto r = RunCli(Render(home.File("t.bmp"), {"--speed", "100", "--speed-unit", "mph", "--width",
                                                "640", "--interval", "0.004"}),
                    home.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "t.bmp: 640 x 480, serial number 0")) << r.out;
    EXPECT_TRUE(Contains(r.out, "ball speed 146.67 ft/s (100.00 mph)"));
    EXPECT_TRUE(Contains(r.out, "strobe interval 0.004000 s"));

    // A file that cannot be written: the system's message, status 1.
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
    // 5 in at 220 ft/s, in whole microseconds; the file holds one frame with those flashes.
    EXPECT_TRUE(Contains(r.out, "\"t2\": 0.002892999")) << r.out;
    auto f = RunCli({"frames", "--json", file}, home.Path());
    ASSERT_EQ(f.exitCode, 0) << f.err;
    EXPECT_TRUE(Contains(f.out, "\"slot\": 0, \"width\": 1024, \"height\": 768")) << f.out;
    EXPECT_TRUE(Contains(f.out, "\"t1\": 0.001, \"t2\": 0.002893")) << f.out;

    r = RunCli({"analyze", "--json", file}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string& j = r.out;
    EXPECT_EQ(j.rfind("{\"file\": \"" + file +
                          "\", \"frames\": [{\"slot\": 0, \"error\": 0, \"errorText\": \"no "
                          "error\", \"warnings\": [], \"pixelsPerInch\": ",
                      0),
              0u)
        << j;
    EXPECT_TRUE(Contains(j, "\"balls\": [{\"pix\": ["));
    std::size_t launch = j.find("\"launch\": {\"ok\": true, \"error\": 0, \"warnings\": [], ");
    ASSERT_NE(launch, std::string::npos) << j;
    EXPECT_NEAR(NumberAfter(j, "ballSpeedMph", launch), 150 * 0.977, 2.5);
    EXPECT_NEAR(NumberAfter(j, "launchAngle", launch), 14, 0.2);
    EXPECT_NEAR(NumberAfter(j, "sideAngle", launch), 3, 0.8);
    EXPECT_NEAR(NumberAfter(j, "backSpin", launch), 3200, 160);
    EXPECT_GT(NumberAfter(j, "pixelsPerInch"), 100.0);

    // Left-handed: the side angle turns over.
    ASSERT_TRUE(home.Set("Setup", "Handed", "Left-handed"));
    auto left = RunCli({"analyze", "--json", file}, home.Path());
    ASSERT_EQ(left.exitCode, 0) << left.err;
    EXPECT_NEAR(NumberAfter(left.out, "sideAngle", left.out.find("\"launch\": ")), -3, 0.8);

    // Text: the message-list lines, then the launch conditions in display units.
    ASSERT_TRUE(home.Set("Setup", "ShowTiming", "YES"));
    auto text = RunCli({"analyze", file}, home.Path());
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out.rfind("Processing image\n   PixelStats: ", 0), 0u) << text.out;
    EXPECT_LT(text.out.find("Analysis complete: "), text.out.find("Ball speed    14"));
    EXPECT_TRUE(Contains(text.out, " MPH\nLaunch angle  14."));

    // A missing file gives no frames and no launch; the good one still does.
    r = RunCli({"analyze", "--json", home.File("missing.bmp"), file}, home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "Couldn't open image file"));
    EXPECT_TRUE(Contains(r.out,
                         "\"frames\": [], \"launch\": {\"ok\": false, \"error\": 0, "
                         "\"warnings\": [], \"ballSpeed\": 0,"))
        << r.out;
    EXPECT_TRUE(Contains(r.out, "\"launch\": {\"ok\": true"));
}
