#include "data/session_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sample_shots.h"

using namespace kyvern::data;
using namespace kyvern::testing;
namespace d = kyvern::data;
using Table = kyvern::testing::Rig;

namespace {

// The column header line without its line end.
const std::string kHeader(d::kSessionHeaderLine.substr(0, d::kSessionHeaderLine.size() - 1));

// Every shot row sits under a group row and no group is empty.
bool WellFormed(const ShotTable& t) {
    for (int r = 1; r < t.RowCount(); ++r) {
        const bool group = t.IsGroupRow(r);
        if (r == 1 && !group) return false;
        if (group && (r + 1 == t.RowCount() || t.IsGroupRow(r + 1))) return false;
        if (!group && !t.Cell(r, 0).empty()) return false;
    }
    return true;
}

// Five shots in two groups, the third in meters and km/h, names with quotes and commas.
void Fill(ShotTable& t) {
    const struct {
        const char* item;
        double speed;
        int units;
    } shots[] = {{"Driver", 220, 0},
                 {"7 Iron", 170, 0},
                 {"Driver", 230, 2},
                 {"7 iron", 160, 0},
                 {"Driver", 210, 0}};
    for (const auto& shot : shots) {
        d::ShotEntry s = Drive(shot.item, shot.speed);
        if (shot.speed == 170) s.user = "Smith, \"J\"", s.session = "Evening, late";
        if (shot.speed == 230) s.score = 1.4567;
        if (shot.speed == 160) s.timeText = "06/Mar/2024 09:01:02";
        t.SetDistanceUnit(shot.units);
        t.SetSpeedUnit(shot.units);
        t.AddShot(s, false, true);
    }
}

}  // namespace

TEST(SessionFile, SavedTextLoadsBackCellForCellAndSavesAgainToTheByte) {
    TempHome home;
    Table first;
    Fill(first.table);
    const std::string path1 = home.File("one.txt");
    ASSERT_TRUE(SaveSession(first.table, path1, "Ann", "Morning"));
    EXPECT_FALSE(first.table.Unsaved());
    const std::string text = ReadFileText(path1);
    auto cell = [&](int column) { return first.table.Cell(2, column); };
    // The title block, the header and the first shot's line; no group row is written.
    EXPECT_EQ(text.substr(0, text.find("\"Ann\", \"Morning\", \"Driver\", 2")),
              "Kyvern Shot Data\r\nCreated: 05/Mar/2024 12:00:00\t\r\n\r\nUser: Ann\r\nSession: "
              "Morning\r\n\r\n" +
                  kHeader +
                  "\r\n\"Ann\", \"Morning\", \"Driver\", 1, 150.0, 12.0, 2830, 2800, -400, 1.5, "
                  "102.3, " +
                  cell(12) + ", " + cell(13) + ", " + cell(15) + ", " + cell(14) + ", " + cell(16) +
                  ", Yards, MPH, 05/Mar/2024, 14:22:05, 87.3, , -1.2, 2.3, 0.4, 13.5, 200.0, "
                  "10.5, \r\n");
    EXPECT_EQ(text.find("(0.0)"), std::string::npos);

    Table second;
    LoadReport report;
    ASSERT_TRUE(LoadSession(second.table, path1, report));
    EXPECT_TRUE(report.opened && report.headerFound && !report.earlierLayout);
    EXPECT_EQ(report.loaded, 5);
    EXPECT_EQ(report.skipped, 0);
    // The distances are the flight model's again from the ball speed as written (a tenth of a
    // display unit), so they may differ in the last digit.
    ASSERT_EQ(second.table.RowCount(), first.table.RowCount());
    for (int r = 0; r < first.table.RowCount(); ++r) {
        for (int c = 0; c < d::kColumnCount; ++c) {
            const std::string want = first.table.Cell(r, c), got = second.table.Cell(r, c);
            double wantMean = 0.0, wantSd = 0.0, gotMean = 0.0, gotSd = 0.0;
            const bool statistic =
                first.table.IsGroupRow(r) &&
                std::sscanf(want.c_str(), "%lf (%lf)", &wantMean, &wantSd) == 2 &&
                std::sscanf(got.c_str(), "%lf (%lf)", &gotMean, &gotSd) == 2;
            if (statistic) {
                // A group sums its shots' recorded values: the live table's unrounded ones, the
                // loaded table's as written, so the last digit may differ.
                const double reach =
                    c >= d::kTotalSpinColumn && c <= d::kSideSpinColumn ? 1.5 : 0.3;
                EXPECT_NEAR(gotMean, wantMean, reach) << r << "," << c;
                EXPECT_NEAR(gotSd, wantSd, reach) << r << "," << c;
            } else if (r > 0 && c >= d::kCarryColumn && c <= d::kMaxHeightColumn) {
                EXPECT_NEAR(std::stod(got), std::stod(want), 0.25) << r << "," << c;
            } else if (!(first.table.IsGroupRow(r) && c == d::kGroupScoreColumn)) {
                EXPECT_EQ(got, want) << r << "," << c;
            }
        }
    }
    EXPECT_TRUE(second.table.Unsaved());
    EXPECT_EQ(second.table.CurrentRow(), 7);                            // the last line of the file
    EXPECT_FALSE(std::filesystem::exists(home.File("logKyvern.txt")));  // loads are not logged

    // Loading again, from a read-only file, adds to every group and leaves the file alone.
    ::chmod(path1.c_str(), 0444);
    ASSERT_TRUE(LoadSession(second.table, path1));
    EXPECT_EQ(Layout(second.table), "[Driver 6] 1 2 3 4 5 6 [7 Iron 4] 1 2 3 4");
    EXPECT_EQ(ReadFileText(path1), text);
    EXPECT_TRUE(second.prompts.messages.empty());
}

// A doubtful spin keeps its doubt through a file: its shot flies with the predicted spin again,
// and a reader of the numbers alone still reads the spins as they were.
TEST(SessionFile, ADoubtfulSpinKeepsItsMarkThroughTheFile) {
    TempHome home;
    Table first;
    d::ShotEntry doubtful = Drive("Driver");
    doubtful.spinDoubtful = true;
    first.table.AddShot(Drive("Driver", 210.0), false, true);
    first.table.AddShot(doubtful, false, true);
    const std::string path = home.File("doubt.txt");
    ASSERT_TRUE(SaveSession(first.table, path, "Ann", "Morning"));
    const std::string text = ReadFileText(path);
    EXPECT_NE(text.find(", 1, 143.2, 12.0, 2830, 2800, -400, 1.5, "), std::string::npos) << text;
    EXPECT_NE(text.find(", 2, 150.0, 12.0, 2830?, 2800?, -400?, 1.5, "), std::string::npos);

    Table second;
    ASSERT_TRUE(LoadSession(second.table, path));
    ASSERT_EQ(second.table.RowCount(), 4);
    EXPECT_FALSE(second.table.SpinDoubtful(2));
    EXPECT_TRUE(second.table.SpinDoubtful(3));
    EXPECT_EQ(second.table.Cell(3, d::kBackSpinColumn), "2800");
    EXPECT_NEAR(second.table.Values(3)->flight.carry, first.table.Values(3)->flight.carry, 0.5);
    const std::string again = home.File("again.txt");
    ASSERT_TRUE(SaveSession(second.table, again, "Ann", "Morning"));
    // The doubtful shot's line, mark and flight, as it was written.
    const std::string line = text.substr(text.find("\"Driver\", 2, "));
    EXPECT_EQ(ReadFileText(again).substr(ReadFileText(again).find("\"Driver\", 2, ")), line);
}

TEST(SessionFile, EarlierLayout) {
    TempHome home;
    const std::string text =
        "Kyvern Shot Data\r\nCreated: 01/Jan/2019 10:00:00\t\r\n\r\n" +
        kHeader.substr(0, kHeader.find(", Score")) +
        "\r\n"
        "\"Bob\", \"Old\", \"Driver\", 1, 150.0, 12.0, 2830, 2800, -400, 1.5, 102.3, 250.0, "
        "-10.0, 270.0, 6.5, 30.0, Yards, MPH, 05/Mar/2024, 14:22:05 trailing, 99, 1\r\n"
        "\"Bob\", \"Old\", \"Driver\", 2, 241.4, 12.0, 2830, 2800, -400, 1.5, 164.6, 250.0, "
        "-10.0, 270.0, 6.5, 30.0, Meters, KMH, 05/Mar/2024,  9:01:02\r\n"
        "\"Bob\", \"Old\", \"Wedge\", 1, 100.0, 30.0, 8000, 8000, 0, 0.0, 0.0, 250.0, -10.0, "
        "270.0, 6.5, 30.0, Meters, KPH, 06/Mar/2024\r\n";
    Table t;
    const LoadReport report = LoadSessionText(t.table, text);
    EXPECT_TRUE(report.earlierLayout);
    EXPECT_EQ(report.loaded, 2);
    EXPECT_EQ(report.skipped, 1);  // the wedge has no comma after its date
    EXPECT_EQ(Layout(t.table), "[Driver 2] 1 2");
    // The club values and the score that layout lacks read as 0; the time stops at the
    // first blank after it.
    EXPECT_EQ(Row(t.table, 2, {12, 13, 14, 15, 16}),
              "|1|||0.00|150.0|12.0|2830|2800|-400|1.5|102.3|*|*|*|*|*|Old|Bob|Yards MPH|"
              "05/Mar/2024 14:22:05|0.0|0.0|0.0|0.0|0.0|0.0|");
    EXPECT_EQ(Row(t.table, 3, {12, 13, 14, 15, 16}),
              "|2|||0.00|241.4|12.0|2830|2800|-400|1.5|164.6|*|*|*|*|*|Old|Bob|Meters km/h|"
              "05/Mar/2024 9:01:02|0.0|0.0|0.0|0.0|0.0|0.0|");
}

TEST(SessionFile, NamesInTheTitleCannotForgeAHeaderLine) {
    // A forged header of the earlier layout would make every score and club value read 0.
    const std::string forged = kHeader.substr(0, kHeader.find(", Score"));
    for (const std::string& name : {"A\n" + forged, "A\r" + forged, "A " + forged}) {
        Table first;
        first.table.AddShot(Drive("Driver"), false, true);
        const std::string text = FormatSession(first.table, name, name);
        EXPECT_EQ(text.find("\n" + forged), text.find("\n" + kHeader));  // the real one only
        Table second;
        EXPECT_FALSE(LoadSessionText(second.table, text).earlierLayout);
        EXPECT_EQ(second.table.Cell(2, d::kShotScoreColumn), "87.3");
        EXPECT_EQ(second.table.Cell(2, d::kClubLoftColumn), "10.5");
    }
}

TEST(SessionFile, EachLineLoadsInItsOwnUnitsOrIsSkippedAndCounted) {
    TempHome home;
    auto line = [](const char* ball, const char* club = "102.3", const char* distance = "Yards",
                   const char* speed = "MPH") {
        char out[300];
        std::snprintf(out, sizeof out,
                      "\"A\", \"S\", \"Driver\", 1, %s, 12.0, 2830, 2800, -400, 1.5, %s, 0, 0, 0, "
                      "0, 0, %s, %s, 05/Mar/2024, 14:22:05, 87.3, , -1.2, 2.3, 0.4, 13.5, 200.0, "
                      "10.5, ",
                      ball, club, distance, speed);
        return std::string(out);
    };
    const std::string good = line("150.0");
    std::string text = "junk before the header\r\nshort, ShotNum\r\n" + kHeader + "\r\n" + good +
                       "\r\nabc\r\n\r\n   \r\n" +  // short; two blanks, not counted
                       kHeader + "\r\n" +          // another file's header: passed over
                       good.substr(0, good.find(", 87.3")) + "\r\n" +   // no comma before score
                       good.substr(0, good.find(", , -1.2")) + "\r\n";  // no comma after it
    for (const char* ball : {"1.0", "nan", "inf", "x1"})
        text += line(ball) + "\r\n";
    // In FPS, 1.0 is not above 1 ft/s; in km/h, 1.05 is 0.96 ft/s; 1.5 MPH is 2.2 ft/s.
    text += line("1.0", "0", "Yards", "FPS") + "\r\n" + line("1.05", "0", "Yards", "km/h") +
            "\r\n" + line("1.5") + "\r\n";
    text +=
        "\"A\", \"S\", \"Driver\", 1, 150.0, nan, 2830, 2800, -400, 1.5, 102.3, 0, 0, 0, 0, "
        "0, Yards, MPH, 05/Mar/2024, 14:22:05, 87.3, , \r\n";
    // Club values missing at the end read as 0; trailing text after them is ignored.
    text += good.substr(0, good.find(" -1.2")) + " -7.5\r\n" + good + "1, 2, 3\n";
    // Unit words without regard to case, "KPH" as well as "km/h"; an unknown word keeps the
    // unit, and "KMH" is a word of the earlier layout only. The units, ball and club speeds.
    const char* units[][5] = {{"220.0", "150.0", "feet", "fps", "Feet FPS"},
                              {"241.4", "164.6", "METERS", "KPH", "Meters km/h"},
                              {"67.1", "45.7", "Furlongs", "m/s", "Meters m/s"},
                              {"150.0", "102.3", "yards", "KMH", "Yards m/s"}};
    for (const auto& u : units)
        text += line(u[0], u[1], u[2], u[3]) + "\r\n";
    text += good.substr(0, 60);  // cut short at the end of the file

    Table t;
    LoadReport report = LoadSessionText(t.table, text);
    EXPECT_TRUE(report.headerFound);
    EXPECT_EQ(report.loaded, 8);
    EXPECT_EQ(report.skipped, 11);
    EXPECT_EQ(Layout(t.table), "[Driver 8] 1 2 3 4 5 6 7 8");
    EXPECT_EQ(t.table.Cell(3, d::kBallSpeedColumn), "1.5");
    EXPECT_EQ(Row(t.table, 4, {12, 13, 14, 15, 16}),
              "|3|||87.3|150.0|12.0|2830|2800|-400|1.5|102.3|*|*|*|*|*|S|A|Yards MPH|"
              "05/Mar/2024 14:22:05|-7.5|0.0|0.0|0.0|0.0|0.0|");
    EXPECT_EQ(t.table.Cell(5, d::kClubLoftColumn), "10.5");
    for (int i = 0; i < 4; ++i) {
        const int row = 6 + i;
        EXPECT_EQ(t.table.Cell(row, d::kUnitsColumn) + "|" +
                      t.table.Cell(row, d::kBallSpeedColumn) + "|" +
                      t.table.Cell(row, d::kClubSpeedColumn),
                  std::string(units[i][4]) + "|" + units[i][0] + "|" + units[i][1]);
    }
    EXPECT_EQ(t.table.UnitsLabel(), "Yards m/s");

    // No header: nothing is loaded.
    Table v;
    report = LoadSessionText(v.table, good + "\r\n" + good + "\r\n");
    EXPECT_FALSE(report.headerFound);
    EXPECT_EQ(report.loaded + v.table.RowCount(), 1);
    EXPECT_FALSE(v.table.Unsaved());
}

// Garbage is the session fuzz target's, whose corpus replays with the tests.
TEST(SessionFile, EveryTruncationLoadsWholeLinesOnly) {
    TempHome home;
    Table first;
    Fill(first.table);
    const std::string path = home.File("s.txt");
    ASSERT_TRUE(SaveSession(first.table, path, "Ann", "Morning"));
    const std::string text = ReadFileText(path);

    // Every prefix: the lines read are whole lines or are skipped.
    for (std::size_t n = 0; n <= text.size(); ++n) {
        Table t;
        LoadReport report = LoadSessionText(t.table, text.substr(0, n));
        ASSERT_LE(report.loaded + report.skipped, 5) << n;
        ASSERT_TRUE(WellFormed(t.table)) << n;
        EXPECT_TRUE(n < text.size() || report.loaded == 5);
    }
}

TEST(SessionFile, FilesThatCannotBeReadOrWritten) {
    TempHome home;
    Table t;
    LoadReport report;
    // Nothing that is not a regular file is read: a FIFO would hang the program and
    // /dev/zero would fill its memory.
    ASSERT_EQ(::mkfifo(home.File("fifo").c_str(), 0600), 0);
    for (const std::string& bad :
         {home.File("missing.txt"), home.Path(), home.File("fifo"), std::string("/dev/zero")}) {
        EXPECT_FALSE(kyvern::base::Show(LoadSession(t.table, bad, report), t.prompts)) << bad;
        EXPECT_FALSE(report.opened);
    }
    EXPECT_EQ(t.prompts.messages,
              (std::vector<std::string>{
                  "Can't open file (" + home.File("missing.txt") + ": no such file)",
                  "Can't open file (" + home.Path() + ": not a regular file)",
                  "Can't open file (" + home.File("fifo") + ": not a regular file)",
                  "Can't open file (/dev/zero: not a regular file)"}));
    EXPECT_EQ(t.table.RowCount(), 1);
    std::filesystem::remove(home.File("fifo"));
    // An empty file opens and holds nothing.
    WriteFileText(home.File("empty.txt"), "");
    EXPECT_TRUE(LoadSession(t.table, home.File("empty.txt"), report));
    EXPECT_TRUE(report.opened && !report.headerFound);
    EXPECT_EQ(t.table.RowCount(), 1);

    Fill(t.table);
    t.prompts.messages.clear();
    const std::string path = home.File("keep.txt");
    WriteFileText(path, "the old session");
    // No such folder; a folder in the way; no name.
    std::vector<std::string> reasons;
    for (const std::string& bad : {home.File("no/such/folder.txt"), home.Path(), std::string()}) {
        const kyvern::base::Status status = SaveSession(t.table, bad, "Ann", "Morning");
        EXPECT_FALSE(status) << bad;
        reasons.push_back(status.Reason());
    }
    // The disk fills up half-way through the write.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 300;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const kyvern::base::Status saved = SaveSession(t.table, path, "Ann", "Morning");
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved);
    reasons.push_back(saved.Reason());
    EXPECT_EQ(reasons, std::vector<std::string>(4, "Couldn't create the data file"));
    EXPECT_EQ(ReadFileText(path), "the old session");
    EXPECT_TRUE(t.table.Unsaved());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.Path()), {}), 2);

    // Save As remembers the path.
    ASSERT_TRUE(d::SaveSessionAs(t.table, path, "Ann", "Morning"));
    EXPECT_FALSE(t.table.Unsaved());
    EXPECT_EQ(home.Get("MRU", "MostRecentSession"), path);
}
