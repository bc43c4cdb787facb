#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/config_store.h"
#include "base/user_prompts.h"
#include "cli_runner.h"
#include "data/sample_shots.h"
#include "data/session_file.h"
#include "data/shot_table.h"
#include "support/recording_prompts.h"

using kyvern::data::ShotEntry;
using kyvern::data::ShotTable;
using kyvern::testing::ReadFileText;
using kyvern::testing::RecordingPrompts;
using kyvern::testing::RunCli;
using kyvern::testing::TempDir;
using kyvern::testing::TempHome;
using kyvern::testing::WriteFileText;

namespace {

// The sample drive, with a score of its own and no club delivery.
ShotEntry Shot(const std::string& item, double ballSpeed) {
    ShotEntry s = kyvern::testing::Drive(item, ballSpeed);
    s.score = 1.25;
    s.attackAngle = s.pathAngle = s.faceAngle = s.effectiveLoft = 0.0;
    return s;
}

// Two session files in the folder: two drives; a drive, a wedge and one damaged line.
void WriteSessions(const TempHome& home) {
    RecordingPrompts prompts;
    ShotTable one(prompts);
    one.SetupTable();
    one.AddShot(Shot("Driver", 220.0), false, true);
    one.AddShot(Shot("Driver", 210.0), false, true);
    ASSERT_TRUE(kyvern::data::SaveSession(one, home.File("one.txt"), "Ann", "Morning"));
    ShotTable two(prompts);
    two.SetupTable();
    two.AddShot(Shot("driver", 230.0), false, true);
    two.AddShot(Shot("Wedge", 120.0), false, true);
    ASSERT_TRUE(kyvern::data::SaveSession(two, home.File("two.txt"), "Ann", "Morning"));
    WriteFileText(home.File("two.txt"),
                  ReadFileText(home.File("two.txt")) + "\"Ann\", \"Morning\", broken line\r\n");
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The JSON the command should print for this table.
std::string ExpectedJson(const ShotTable& t, int skipped) {
    std::string out = "{\"rows\": [";
    for (int r = 1; r < t.RowCount(); ++r) {
        if (r > 1) out += ", ";
        out +=
            std::string("{\"group\": ") + (t.IsGroupRow(r) ? "true" : "false") + ", \"cells\": [";
        for (int c = 0; c < 28; ++c)
            out += (c ? ", " : "") + Json(t.Cell(r, c));
        out += "]}";
    }
    return out + "], \"skipped\": " + std::to_string(skipped) + "}\n";
}

}  // namespace

TEST(SessionCli, ShowPrintsOneTableOfAllFiles) {
    TempHome home;
    WriteSessions(home);

    RecordingPrompts prompts;
    ShotTable expected(prompts);
    expected.SetupTable();
    expected.ReadDisplayUnits();
    ASSERT_TRUE(kyvern::data::LoadSession(expected, home.File("one.txt")));
    ASSERT_TRUE(kyvern::data::LoadSession(expected, home.File("two.txt")));
    ASSERT_EQ(expected.RowCount(), 7);  // Driver with three shots, Wedge with one

    auto r = RunCli({"session", "show", home.File("one.txt"), home.File("two.txt"), "--json"},
                    home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, ExpectedJson(expected, 1));

    // As text: the table without its hidden column, then the skipped lines.
    r = RunCli({"session", "show", home.File("one.txt"), home.File("two.txt")}, home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Item ", 0), 0u);
    EXPECT_EQ(r.out.find("Group Count"), std::string::npos);
    EXPECT_NE(r.out.find("\nWedge   1.0 (0.0)  None  ---"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nSkipped lines: 1\n"), std::string::npos);
}

TEST(SessionCli, MergeWritesOneSession) {
    TempHome home;
    WriteSessions(home);
    const std::string out = home.File("merged.txt");
    auto r = RunCli({"session", "merge", "--out", out, home.File("one.txt"), home.File("two.txt")},
                    home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Merged 4 shots from 2 files into " + out + " (skipped lines: 1)\n");
    const std::string text = ReadFileText(out);
    EXPECT_NE(text.find("\r\nUser: Ann\r\nSession: Morning\r\n\r\n"), std::string::npos);

    auto shown = RunCli({"session", "show", "--json", out}, home.Path());
    auto both = RunCli({"session", "show", "--json", home.File("one.txt"), home.File("two.txt")},
                       home.Path());
    ASSERT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.out.substr(0, shown.out.rfind("\"skipped\"")),
              both.out.substr(0, both.out.rfind("\"skipped\"")));

    r = RunCli({"session", "merge", "--out", out, "--user", "Cid", "--session", "Late",
                home.File("one.txt")},
               home.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(ReadFileText(out).find("\r\nUser: Cid\r\nSession: Late\r\n"), std::string::npos);
}

TEST(SessionCli, FailuresLeaveTheOutputAndShowTheRest) {
    TempHome home;
    WriteSessions(home);
    const std::string out = home.File("merged.txt");
    WriteFileText(out, "kept");
    auto r =
        RunCli({"session", "merge", "--out", out, home.File("one.txt"), home.File("missing.txt")},
               home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Can't open file"), std::string::npos);
    EXPECT_EQ(ReadFileText(out), "kept");

    r = RunCli({"session", "merge", "--out", home.File("no/such/dir.txt"), home.File("one.txt")},
               home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Couldn't create the data file"), std::string::npos);

    r = RunCli({"session", "show", home.File("missing.txt"), home.File("one.txt")}, home.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("\nDriver"), std::string::npos);  // the rest is still shown
}
