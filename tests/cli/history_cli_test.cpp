#include <gtest/gtest.h>

#include <string>

#include "cli_runner.h"
#include "data/sample_shots.h"
#include "data/session_file.h"

using namespace kyvern::testing;

// Session files go into the history once however often they are imported, and the history
// answers in the display units: gapping per club, a value's trend per session, the shots.
TEST(HistoryCli, ImportsOnceAndAnswersInTheDisplayUnits) {
    TempHome home;
    Rig rig;
    rig.table.AddShot(Drive("Driver", 230.0), false, true);
    rig.table.AddShot(Drive("Driver", 220.0), false, true);
    rig.table.AddShot(Drive("7 Iron", 170.0), false, true);
    const std::string good = home.File("good.txt"), bad = home.File("bad.txt");
    ASSERT_TRUE(kyvern::data::SaveSession(rig.table, good, "Ann", "Morning"));
    WriteFileText(bad, std::string("\x89PNG\r\n\x1a\n garbage", 16));

    auto r = RunCli({"history", "import", bad, good}, home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, bad)) << r.err;
    EXPECT_EQ(r.out, good + ": 3 shots read, 3 added, 0 skipped\n");
    r = RunCli({"history", "import", good}, home.Path());
    EXPECT_EQ(r.out, good + ": 3 shots read, 0 added, 3 skipped\n") << r.err;

    // The table's own group means are what the history's gapping gives; metres are yards
    // converted.
    auto gapping = [&](const char* unit) {
        home.Set("Setup", "DistanceDisplay", unit);
        auto r = RunCli({"history", "gapping", "--csv"}, home.Path());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    };
    const std::string yards = gapping("Yards"), metres = gapping("Meters");
    EXPECT_EQ(yards.substr(0, yards.find('\n')),
              "item,shots,carry (yd),carry sd,total (yd),total sd");
    EXPECT_EQ(metres.substr(0, metres.find('\n')),
              "item,shots,carry (m),carry sd,total (m),total sd");
    for (int row = 1; row < rig.table.RowCount(); ++row) {
        if (!rig.table.IsGroupRow(row)) continue;
        const std::string item = rig.table.Cell(row, kyvern::data::kItemColumn);
        const std::string carry = rig.table.Cell(row, kyvern::data::kCarryColumn);
        const std::string mean = carry.substr(0, carry.find(' '));
        const std::string head = "\n" + item + "," + (item == "Driver" ? "2" : "1") + ",";
        EXPECT_TRUE(Contains(yards, head + mean + ",")) << yards << carry;
        const std::size_t at = metres.find(head);
        ASSERT_NE(at, std::string::npos) << metres;
        EXPECT_NEAR(std::stod(metres.substr(at + head.size())), std::stod(mean) * 0.9144, 0.1);
    }
    home.Set("Setup", "DistanceDisplay", "Yards");
    auto trend =
        RunCli({"history", "trend", "ball_speed", "--json", "--item", "Driver"}, home.Path());
    ASSERT_EQ(trend.exitCode, 0) << trend.err;
    EXPECT_TRUE(Contains(trend.out, "\"session\": \"Morning\"")) << trend.out;
    EXPECT_TRUE(Contains(trend.out, "\"shots\": 2, \"mean\": 153.4, ")) << trend.out;
    EXPECT_TRUE(Contains(trend.out, "\"unit\": \"MPH\"")) << trend.out;
    auto shots = RunCli({"history", "shots", "--player", "Ann", "--limit", "2"}, home.Path());
    EXPECT_EQ(Count(shots.out, "\n"), 2) << shots.out;
    EXPECT_EQ(RunCli({"history", "shots", "--player", "Cid"}, home.Path()).out, "");

    // Bad requests: each a clear line and nothing changed.
    r = RunCli({"history", "trend", "speed"}, home.Path());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Contains(r.err, "Unknown trend value \"speed\"; known: ball_speed")) << r.err;
    EXPECT_EQ(RunCli({"history", "shots", "--from", "2024-13-01"}, home.Path()).exitCode, 2);
    r = RunCli({"history", "--store", "mysql://range/shots", "players"}, home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "names no store this program knows")) << r.err;
    r = RunCli({"history", "--store", bad, "players"}, home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(ReadFileText(bad), std::string("\x89PNG\r\n\x1a\n garbage", 16));
    EXPECT_EQ(RunCli({"history", "players"}, home.Path()).out, "Ann\n");
}
