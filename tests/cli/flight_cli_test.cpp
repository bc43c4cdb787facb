#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "base/config_store.h"
#include "cli_runner.h"

using kyvern::testing::RunCli;
using kyvern::testing::TempDir;
using kyvern::testing::TempHome;

namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

}  // namespace

TEST(FlightCli, JsonHoldsExactlyTheDocumentedKeys) {
    TempHome home;
    auto r = RunCli({"flight", "--speed", "150", "--speed-unit", "mph", "--launch", "12", "--back",
                     "2800", "--side-spin", "-400", "--club-speed", "102", "--json"},
                    home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const char* keys[] = {"\"carry\": ",
                          "\"carryOffline\": ",
                          "\"total\": ",
                          "\"totalOffline\": ",
                          "\"roll\": ",
                          "\"maxHeight\": ",
                          "\"flightTime\": ",
                          "\"points\": [[0, 0, 0, null], [",
                          "\"club\": {\"clubSpeed\": ",
                          "\"effectiveLoft\": ",
                          "\"angleOfAttack\": ",
                          "\"faceAngle\": ",
                          "\"pathAngle\": ",
                          "\"loftMismatch\": false}",
                          "\"launchEfficiency\": ",
                          "\"powerTransferIndex\": "};
    for (const char* key : keys)
        EXPECT_EQ(Count(r.out, key), 1u) << key;
    EXPECT_EQ(Count(r.out, "\": "), 17u);  // nothing else
    EXPECT_EQ(r.out.rfind("{\"carry\": 2", 0), 0u);
    // 220 ft/s typed as 150 mph: the same flight as the drive the flight tests know.
    EXPECT_NE(r.out.find("\"carry\": 249."), std::string::npos);
    EXPECT_EQ(r.out.find("\"powerTransferIndex\": null"), std::string::npos);
    // Twenty points without spin: the origin and the nineteen roll points and the rest.
    EXPECT_EQ(Count(r.out, ", null]"), 21u);

    r = RunCli({"flight", "--speed", "220", "--launch", "12", "--back", "2800", "--json"},
               home.Path());
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("\"powerTransferIndex\": null}"), std::string::npos);
}

TEST(FlightCli, TextUsesTheDisplayUnitsOfTheSettings) {
    TempHome home;
    home.Set("Setup", "DistanceDisplay", "Meters");
    home.Set("Setup", "SpeedDisplay", "KPH");
    auto r = RunCli(
        {"flight", "--speed", "220", "--launch", "12", "--back", "2800", "--club-speed", "150"},
        home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Carry            229.2 m"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Carry offline    center (m)"), std::string::npos);
    EXPECT_NE(r.out.find(" km/h\n"), std::string::npos);
    EXPECT_NE(r.out.find("PTI              1.47\n"), std::string::npos);
    EXPECT_NE(r.out.find("LE               "), std::string::npos);

    home.Set("Setup", "ClubMass", "99");
    r = RunCli({"flight", "--speed", "220", "--launch", "12", "--back", "2800"}, home.Path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("Invalid ClubMass in Kyvern.ini"), std::string::npos);
    EXPECT_EQ(r.out.find("PTI"), std::string::npos);
}

TEST(FlightCli, WritesTheTrajectoryFile) {
    TempHome home;
    std::string path = home.File("flightKyvern.txt");
    auto r = RunCli(
        {"flight", "--speed", "220", "--launch", "12", "--back", "2800", "--trajectory", path},
        home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "    dr\t    ol\t   alt");
    int lines = 1;
    while (std::getline(in, line))
        ++lines;
    EXPECT_GT(lines, 22);

    r = RunCli({"flight", "--speed", "220", "--launch", "12", "--back", "2800", "--trajectory",
                home.File("no/such/folder.txt")},
               home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Couldn't open the flightKyvern.txt file"), std::string::npos);
}

TEST(FlightCli, BadArgumentsPrintTheUsage) {
    TempHome home;
    const std::vector<std::vector<std::string>> bad = {
        {"flight"},
        {"flight", "--speed", "220", "--launch", "12"},
        {"flight", "--speed", "fast", "--launch", "12", "--back", "2800"},
        {"flight", "--speed", "220", "--launch", "12", "--back", "2800", "--speed-unit", "knots"},
        {"flight", "--speed", "220", "--launch", "12", "--back", "2800", "--wind", "3"},
        {"flight", "--speed", "220", "--launch", "12", "--back", "2800", "extra"},
        {"flight", "--speed", "220", "--launch", "12", "--back"},
        {"flight", "--speed", "nan", "--launch", "12", "--back", "2800"},
        {"flight", "--speed", "220", "--launch", "12", "--back", "2800", "--side-spin", "1e999"},
        {"flight", "--speed", "220", "--speed", "230", "--launch", "12", "--back", "2800"},
    };
    for (const auto& args : bad) {
        auto r = RunCli(args, home.Path());
        EXPECT_EQ(r.exitCode, 2) << args.size();
        EXPECT_NE(r.err.find("usage: kyvern-cli flight"), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
}
