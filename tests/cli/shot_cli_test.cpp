// The commands that compute a shot: flight, render and analyze.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "cli_runner.h"

using namespace kyvern::testing;
using Args = std::vector<std::string>;

namespace {

// The number after "key": in a JSON text, from the given position on.
double NumberAfter(const std::string& json, const std::string& key, std::size_t from = 0) {
    std::size_t at = json.find("\"" + key + "\": ", from);
    return at == std::string::npos ? -1e300 : std::strtod(json.c_str() + at + key.size() + 4, 0);
}

// A ball's centre as render's text gives it ("ball 1: loc=x, y, z in"); NaN when missing.
std::array<double, 3> Loc(const std::string& out, int ball) {
    std::array<double, 3> v{NAN, NAN, NAN};
    const std::string key = "ball " + std::to_string(ball) + ": loc=";
    const std::size_t at = out.find(key);
    if (at != std::string::npos)
        std::sscanf(out.c_str() + at + key.size(), "%lf, %lf, %lf", &v[0], &v[1], &v[2]);
    return v;
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
    EXPECT_EQ(Count(r.out, ", null]"), 21);
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
    EXPECT_GT(Count(ReadFileText(home.File("flightKyvern.txt")), "\n"), 22);
    trajectory.back() = home.File("no/such/folder.txt");
    r = RunCli(trajectory, home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "Couldn't open the flightKyvern.txt file (" +
                                    home.File("no/such/folder.txt") +
                                    ": No such file or directory)"))
        << r.err;
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
        Render(home.File("t.bmp"), {"--speed", "10", "--width", "640", "--interval", "0.07"}),
        home.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "t.bmp: 640 x 480") && Contains(r.out, "interval 0.070000 s"));
    r = RunCli(Render(home.File("no/such/folder/x.bmp"), {"--speed", "150"}), home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.empty());
}

// The speed modes strobe as the cameras do, and the truth says when the ball turns too
// far between the flashes for its spin to be measured.
TEST(RenderCli, SpeedModes) {
    TempHome home;
    const struct {
        const char* mode;
        const char* back;
        bool aliased;
        const char* json;
    } cases[] = {
        {"fast", "3500", false, "\"t2\": 0.00195, \"speedMode\": \"Fast\", \"turn\": 19.95, "},
        {"SuperSlow", "7627", false, "\"turn\": 134.9"},
        {"SuperSlow", "7628", true, "\"turn\": 135.0"},
        {"Putt", "-1000", true, "\"t2\": 0.041, \"speedMode\": \"Putt\""},
    };
    for (const auto& c : cases) {
        Args args = {"render",  "--out",        home.File("m.bmp"),
                     "--speed", "200",          "--launch",
                     "10",      "--side",       "0",
                     "--back",  c.back,         "--side-spin",
                     "0",       "--speed-mode", c.mode};
        auto r = RunCli(args, home.Path());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Contains(r.out, "(aliased: the spin cannot be measured)"), c.aliased) << r.out;
        args.push_back("--json");
        r = RunCli(args, home.Path());
        EXPECT_TRUE(Contains(r.out, c.json)) << r.out;
        EXPECT_TRUE(Contains(r.out, c.aliased ? "\"aliased\": true" : "\"aliased\": false"));
    }
    for (const Args& bad :
         {Args{"--speed-mode", "Quick"}, Args{"--speed-mode", "Slow", "--interval", "0.002"}}) {
        Args args = Render(home.File("m.bmp"), {"--speed", "200"});
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(RunCli(args, home.Path()).exitCode, 2) << bad[1];
    }
}

// By default the middle of the flight lies straight ahead at the simulated cameras' distance;
// the offsets move it across the view.
TEST(RenderCli, DistanceAndOffsets) {
    TempHome home;
    for (const auto& [width, distance] : {std::pair("640", 15.0), std::pair("1024", 16.5)}) {
        const Args plain = Render(home.File("d.bmp"), {"--speed", "150", "--width", width});
        Args moved = plain;
        moved.insert(moved.end(), {"--offset-x", "1.25", "--offset-y", "-0.5"});
        const auto a = RunCli(plain, home.Path());
        const auto b = RunCli(moved, home.Path());
        ASSERT_EQ(a.exitCode + b.exitCode, 0) << a.err << b.err;
        const std::array<double, 3> a0 = Loc(a.out, 0), a1 = Loc(a.out, 1), b0 = Loc(b.out, 0);
        const double middle[] = {0.0, 0.0, -distance}, offset[] = {1.25, -0.5, 0.0};
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR((a0[k] + a1[k]) / 2, middle[k], 0.001) << width << " " << k;
            EXPECT_NEAR(b0[k] - a0[k], offset[k], 0.002) << width << " " << k;
        }
    }
}

TEST(AnalyzeCli, RenderedFramesGiveTheirLaunchConditions) {
    TempHome home;
    const std::string file = home.File("a.bmp");
    auto r = RunCli({"render", "--out", file, "--speed", "150", "--speed-unit", "mph", "--launch",
                     "14", "--side", "3", "--back", "3200", "--side-spin", "0", "--json"},
                    home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // 5 in at 220 ft/s, in whole microseconds.
    EXPECT_TRUE(Contains(r.out, "\"t2\": 0.002892999")) << r.out;

    r = RunCli({"analyze", "--json", file}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string& j = r.out;
    // At the default distance the balls lie within the analysis's depth window: no warning.
    std::size_t launch = j.find("\"launch\": {\"ok\": true, \"error\": 0, \"warnings\": [], ");
    ASSERT_NE(launch, std::string::npos) << j;
    // The rendered lens shrinks the balls as the analysis assumes: the speed reads about 1 % low.
    EXPECT_NEAR(NumberAfter(j, "ballSpeedMph", launch), 150 * 0.99, 1.5);
    EXPECT_NEAR(NumberAfter(j, "sideAngle", launch), 3, 0.8);
    EXPECT_NEAR(NumberAfter(j, "backSpin", launch), 3200, 160);
    // Each frame says how its run went, step by step.
    EXPECT_TRUE(Contains(j, "\"analysis\": {\"ok\": true, \"precision\": \"Standard\", ")) << j;
    EXPECT_TRUE(Contains(j, "{\"step\": \"ProcessScene\", \"ms\": ")) << j;

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

// The accuracy report reads no settings: a left-handed, refined set-up changes no figure.
TEST(AccuracyCli, ListsEachShotAndIgnoresTheSettings) {
    TempHome home;
    const Args args = {"accuracy", "--shots", "2", "--list", "--json"};
    const auto plain = RunCli(args, home.Path());
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(Count(plain.out, "\n"), 3) << plain.out;  // two shots, then the summary
    const std::size_t summary = plain.out.find("{\"shots\": 2, \"seed\": 1, ");
    ASSERT_NE(summary, std::string::npos) << plain.out;
    EXPECT_TRUE(
        Contains(plain.out, "\"precision\": \"Standard\", \"measured\": 2, \"failures\": 0"));
    EXPECT_TRUE(
        Contains(plain.out, "\"precision\": \"Refined\", \"measured\": 2, \"failures\": 0"));
    EXPECT_EQ(NumberAfter(plain.out, "shot"), 0);
    EXPECT_NEAR(NumberAfter(plain.out, "ballSpeed", summary), -0.5, 1.0);  // a bias, percent

    ASSERT_TRUE(home.Set("Setup", "Handed", "Left-handed"));
    ASSERT_TRUE(home.Set("Analysis", "Precision", "Refined"));
    const auto set = RunCli(args, home.Path());
    ASSERT_EQ(set.exitCode, 0) << set.err;
    // Every figure but the timings agrees.
    const auto untimed = [](std::string json) {
        for (std::size_t at = 0; (at = json.find("\"milliseconds\": ", at)) != std::string::npos;)
            json.erase(at, json.find(',', at) - at);
        return json;
    };
    EXPECT_EQ(untimed(set.out), untimed(plain.out));
}

// A putt's roll from the command line: the green of the settings unless the flags name one, the
// figure worked by hand (5 mph on stimp 10: a 2.05 ft skid, 9.67 ft in all), and a green out of
// range refused with its reason.
TEST(PuttCli, RollsOnTheGreenOfTheSettingsOrOfTheFlags) {
    TempHome home;
    auto r = RunCli({"putt", "--speed", "5", "--json"}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NEAR(NumberAfter(r.out, "total"), 9.668, 0.005);
    EXPECT_NEAR(NumberAfter(r.out, "skid"), 2.047, 0.005);
    ASSERT_TRUE(home.Set("Putting", "Stimp", "13"));
    ASSERT_TRUE(home.Set("Putting", "SlopePercent", "2"));
    ASSERT_TRUE(home.Set("Putting", "SlopeDirection", "-90"));
    r = RunCli({"putt", "--speed", "5", "--json"}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GT(NumberAfter(r.out, "total"), 11.0);  // a faster green rolls farther
    EXPECT_LT(NumberAfter(r.out, "break"), -0.5);  // and the slope falls to the left
    r = RunCli({"putt", "--speed", "5", "--stimp", "10", "--slope", "0", "--json"}, home.Path());
    EXPECT_NEAR(NumberAfter(r.out, "total"), 9.668, 0.005);
    r = RunCli({"putt", "--speed", "5", "--stimp", "16"}, home.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Contains(r.err, "green speed must be 6 to 15 ft")) << r.err;
    EXPECT_EQ(RunCli({"putt", "--line", "3"}, home.Path()).exitCode, 2);  // no speed
}
