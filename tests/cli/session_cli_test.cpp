#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cli_runner.h"
#include "data/sample_shots.h"
#include "data/session_file.h"

using namespace kyvern::testing;

namespace {

// Two session files: two drives; a drive, a wedge and one damaged line.
void WriteSessions(const TempHome& home) {
    Rig one, two;
    one.Add({"Driver", "Driver"});
    ASSERT_TRUE(kyvern::data::SaveSession(one.table, home.File("one.txt"), "Ann", "Morning"));
    kyvern::data::ShotEntry wedge = Drive("Wedge");
    wedge.user = "Ann \"A\"";
    two.Add({"driver"});
    two.table.AddShot(wedge, false, true);
    ASSERT_TRUE(kyvern::data::SaveSession(two.table, home.File("two.txt"), "Ann", "Morning"));
    WriteFileText(home.File("two.txt"),
                  ReadFileText(home.File("two.txt")) + "\"Ann\", \"Morning\", broken line\r\n");
}

}  // namespace

TEST(SessionCli, ShowAndMergeMakeOneTableOfAllFiles) {
    TempHome home;
    WriteSessions(home);
    const std::string one = home.File("one.txt"), two = home.File("two.txt");
    auto both = RunCli({"session", "show", one, two, "--json"}, home.Path());
    ASSERT_EQ(both.exitCode, 0) << both.err;
    EXPECT_EQ(
        both.out.rfind("{\"rows\": [{\"group\": true, \"cells\": [\"Driver\", \"2.0 (1.0)\"", 0),
        0u)
        << both.out;
    EXPECT_TRUE(Contains(both.out, "{\"group\": true, \"cells\": [\"Wedge\", \"1.0 (0.0)\""));
    // The last row: a quoted name, then its hidden count cell (the cells' texts are the table's).
    EXPECT_TRUE(Contains(both.out, "\"Morning\", \"Ann \\\"A\\\"\", \"Yards MPH\"")) << both.out;
    EXPECT_TRUE(Contains(both.out, "\"10.5\", \"\"]}], \"skipped\": 1}\n")) << both.out;
    // As text: the table without its hidden column, then the skipped lines.
    auto text = RunCli({"session", "show", one, two}, home.Path());
    EXPECT_EQ(text.out.rfind("Item ", 0), 0u);
    EXPECT_FALSE(Contains(text.out, "Group Count"));
    EXPECT_TRUE(Contains(text.out, "\nWedge   1.0 (0.0)  None  ---")) << text.out;
    EXPECT_TRUE(Contains(text.out, "\nSkipped lines: 1\n"));

    // Merged into one file, it shows as the two did.
    const std::string out = home.File("merged.txt");
    auto r = RunCli({"session", "merge", "--out", out, one, two}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Merged 4 shots from 2 files into " + out + " (skipped lines: 1)\n");
    EXPECT_TRUE(Contains(ReadFileText(out), "\r\nUser: Ann\r\nSession: Morning\r\n\r\n"));
    auto shown = RunCli({"session", "show", "--json", out}, home.Path());
    EXPECT_EQ(shown.out.substr(0, shown.out.rfind("\"skipped\"")),
              both.out.substr(0, both.out.rfind("\"skipped\"")));
    r = RunCli({"session", "merge", "--out", out, "--user", "Cid", "--session", "Late", one},
               home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(ReadFileText(out), "\r\nUser: Cid\r\nSession: Late\r\n"));

    // Exported as CSV: a row per shot.
    const std::string csv = home.File("shots.csv");
    r = RunCli({"session", "export", "--csv", csv, one, two}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "4 shots exported to " + csv + "\n");
    const std::string exported = ReadFileText(csv);
    EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), 6);
}

TEST(SessionCli, FailuresLeaveTheOutputAndShowTheRest) {
    TempHome home;
    WriteSessions(home);
    const std::string out = home.File("merged.txt");
    WriteFileText(out, "kept");
    auto r = RunCli({"session", "merge", "--out", out, home.File("one.txt"), home.File("missing")},
                    home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "Can't open file"));
    EXPECT_EQ(ReadFileText(out), "kept");
    r = RunCli({"session", "export", "--csv", out, home.File("one.txt"), home.File("missing")},
               home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(ReadFileText(out), "kept");
    r = RunCli({"session", "merge", "--out", home.File("no/such/dir.txt"), home.File("one.txt")},
               home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "Couldn't create the data file"));
    r = RunCli({"session", "show", home.File("missing.txt"), home.File("one.txt")}, home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.out, "\nDriver"));  // the rest is still shown
}

TEST(SessionCli, JsonIsValidUtf8WhateverTheNamesHold) {
    TempHome home;
    Rig rig;
    kyvern::data::ShotEntry shot = Drive("Driver");
    // A stray byte, a cut-short pair, an overlong slash, a surrogate; then é, a 4-byte sign and
    // a 3-byte sign cut short (one replacement for the sequence, as Unicode recommends).
    shot.user = "B\xff\xc3(\xc0\xaf\xed\xa0\x80\xc3\xa9\xf0\x9f\x8f\x8c\xe2\x82";
    rig.table.AddShot(shot, false, true);
    ASSERT_TRUE(kyvern::data::SaveSession(rig.table, home.File("s.txt"), "Ann", "Morning"));
    auto r = RunCli({"session", "show", "--json", home.File("s.txt")}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string bad = "\xef\xbf\xbd";
    EXPECT_TRUE(Contains(r.out, "\"B" + bad + bad + "(" + bad + bad + bad + bad + bad +
                                    "\xc3\xa9\xf0\x9f\x8f\x8c" + bad + "\""))
        << r.out;
}
