#include "data/session_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "sample_shots.h"

using kyvern::data::LoadReport;
using kyvern::data::LoadSession;
using kyvern::data::LoadSessionText;
using kyvern::data::SaveSession;
using kyvern::data::ShotEntry;
using kyvern::data::ShotTable;
using kyvern::testing::Drive;
using kyvern::testing::FixedNow;
using kyvern::testing::Layout;
using kyvern::testing::ReadFileText;
using kyvern::testing::RecordingPrompts;
using kyvern::testing::Row;
using kyvern::testing::TempHome;
using kyvern::testing::WriteFileText;
namespace d = kyvern::data;
using Strings = std::vector<std::string>;

namespace {

const std::string kHeader =
    "User, Session, Item, ShotNum, Ball Speed MPH, Vertical, Total Spin, Back Spin, Side Spin, "
    "Side Angle, Club Speed, Downrange, Offline, Total, Flight Time, Max Altitude, Dx Units, "
    "Speed Units, Date, Time, Score, Group Score, Angle of Attack, Path Angle, Face Angle, "
    "Effective Loft, Club Mass, Club Loft";
// The layout before the score and club columns.
const std::string kEarlierHeader = kHeader.substr(0, kHeader.find(", Score"));

// A table as the main window sets it up, with a fixed clock.
struct Table {
    explicit Table(bool answerOk = true) : prompts(answerOk), table(prompts) {
        table.SetupTable();
        table.ReadDisplayUnits();
        table.SetClock(FixedNow);
    }
    RecordingPrompts prompts;
    ShotTable table;
};

// Every shot row sits under a group row and no group is empty.
bool WellFormed(const ShotTable& t) {
    if (t.RowCount() == 1) return true;
    if (!t.IsGroupRow(1)) return false;
    for (int r = 1; r < t.RowCount(); ++r) {
        if (t.IsGroupRow(r) && (r + 1 == t.RowCount() || t.IsGroupRow(r + 1))) return false;
        if (!t.IsGroupRow(r) && !t.Cell(r, 0).empty()) return false;
    }
    return true;
}

// A session of five shots in two groups, the third in meters and km/h.
void Fill(ShotTable& t) {
    t.AddShot(Drive("Driver", 220.0), false, true);
    ShotEntry s = Drive("7 Iron", 170.0);
    s.user = "Smith, \"J\"";
    s.session = "Evening, late";
    t.AddShot(s, false, true);
    t.SetDistanceUnit(2);
    t.SetSpeedUnit(2);
    s = Drive("Driver", 230.0);
    s.score = 1.4567;
    t.AddShot(s, false, true);
    t.SetDistanceUnit(0);
    t.SetSpeedUnit(0);
    s = Drive("7 iron", 160.0);
    s.timeText = "06/Mar/2024 09:01:02";
    t.AddShot(s, false, true);
    t.AddShot(Drive("Driver", 210.0), false, true);
}

}  // namespace

TEST(SessionFile, SavedTextLineByLine) {
    TempHome home;
    Table t;
    t.table.AddShot(Drive("Driver"), false, true);
    t.table.AddShot(Drive("Wedge", 120.0), false, true);
    const std::string path = home.File("session.txt");
    ASSERT_TRUE(SaveSession(t.table, path, "Ann", "Morning"));
    EXPECT_FALSE(t.table.Unsaved());
    const std::string text = ReadFileText(path);

    auto cell = [&](int row, int column) { return t.table.Cell(row, column); };
    std::string expected =
        "Kyvern Shot Data\r\nCreated: 05/Mar/2024 12:00:00\t\r\n\r\nUser: Ann\r\nSession: "
        "Morning\r\n\r\n" +
        kHeader + "\r\n";
    expected += "\"Ann\", \"Morning\", \"Driver\", 1, 150.0, 12.0, 2830, 2800, -400, 1.5, 102.3, " +
                cell(2, 12) + ", " + cell(2, 13) + ", " + cell(2, 15) + ", " + cell(2, 14) + ", " +
                cell(2, 16) +
                ", Yards, MPH, 05/Mar/2024, 14:22:05, 87.3, , -1.2, 2.3, 0.4, 13.5, 200.0, 10.5, "
                "\r\n";
    expected += "\"Ann\", \"Morning\", \"Wedge\", 1, 81.8, 12.0, 2830, 2800, -400, 1.5, 102.3, " +
                cell(4, 12) + ", " + cell(4, 13) + ", " + cell(4, 15) + ", " + cell(4, 14) + ", " +
                cell(4, 16) +
                ", Yards, MPH, 05/Mar/2024, 14:22:05, 87.3, , -1.2, 2.3, 0.4, 13.5, 200.0, 10.5, "
                "\r\n";
    EXPECT_EQ(text, expected);
    // No group row, no group statistics.
    EXPECT_EQ(text.find("(0.0)"), std::string::npos);
    EXPECT_EQ(d::FormatShotLine(t.table, 0), kHeader + "\n");
}

TEST(SessionFile, SaveLoadSaveKeepsEveryField) {
    TempHome home;
    Table first;
    Fill(first.table);
    EXPECT_EQ(Layout(first.table), (Strings{"[Driver 3]", "1", "2", "3", "[7 Iron 2]", "1", "2"}));
    const std::string path1 = home.File("one.txt");
    ASSERT_TRUE(SaveSession(first.table, path1, "Ann", "Morning"));

    Table second;
    LoadReport report;
    ASSERT_TRUE(LoadSession(second.table, path1, report));
    EXPECT_TRUE(report.opened && report.headerFound && !report.earlierLayout);
    EXPECT_EQ(report.loaded, 5);
    EXPECT_EQ(report.skipped, 0);
    // Every cell in place (names with quotes and commas, units, scores and times included); the
    // distances are the flight model's again, from the ball speed as the file had it (a tenth of a
    // display unit), so they may differ in the last digit.
    ASSERT_EQ(second.table.RowCount(), first.table.RowCount());
    auto isDistance = [](int c) { return c >= d::kCarryColumn && c <= d::kMaxHeightColumn; };
    for (int r = 0; r < first.table.RowCount(); ++r) {
        for (int c = 0; c < d::kColumnCount; ++c) {
            const bool groupScore = first.table.IsGroupRow(r) && c == d::kGroupScoreColumn;
            if (r > 0 && (isDistance(c) || groupScore)) continue;
            EXPECT_EQ(second.table.Cell(r, c), first.table.Cell(r, c)) << r << "," << c;
        }
    }
    EXPECT_TRUE(second.table.Unsaved());
    EXPECT_EQ(first.table.CurrentRow(), 4);
    EXPECT_EQ(second.table.CurrentRow(), 7);  // the last line of the file
    // Loaded shots are not logged.
    EXPECT_FALSE(std::filesystem::exists(home.File("logKyvern.txt")));

    // Saved again, loaded and saved once more: the same text to the byte.
    const std::string path2 = home.File("two.txt");
    ASSERT_TRUE(SaveSession(second.table, path2, "Ann", "Morning"));
    Table fourth;
    ASSERT_TRUE(LoadSession(fourth.table, path2));
    const std::string path3 = home.File("three.txt");
    ASSERT_TRUE(SaveSession(fourth.table, path3, "Ann", "Morning"));
    EXPECT_EQ(ReadFileText(path3), ReadFileText(path2));

    // Line ends of either kind read the same.
    Table third;
    std::string lfOnly = ReadFileText(path1);
    std::erase(lfOnly, '\r');
    LoadReport lf = LoadSessionText(third.table, lfOnly);
    EXPECT_EQ(lf.loaded, 5);
    EXPECT_EQ(Layout(third.table), Layout(first.table));
    EXPECT_EQ(third.table.Cell(7, d::kCarryColumn), first.table.Cell(7, d::kCarryColumn));
}

TEST(SessionFile, LoadingNeverTouchesTheFileAndTwiceDoublesEveryGroup) {
    TempHome home;
    Table first;
    Fill(first.table);
    const std::string path = home.File("s.txt");
    ASSERT_TRUE(SaveSession(first.table, path, "Ann", "Morning"));
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ::chmod(path.c_str(), 0444);
    const std::string bytes = ReadFileText(path);

    Table t;
    ASSERT_TRUE(LoadSession(t.table, path));
    ASSERT_TRUE(LoadSession(t.table, path));
    EXPECT_EQ(Layout(t.table), (Strings{"[Driver 6]", "1", "2", "3", "4", "5", "6", "[7 Iron 4]",
                                        "1", "2", "3", "4"}));
    EXPECT_EQ(t.table.Cell(1, d::kShotColumn), "3.5 (1.9)");
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(ReadFileText(path), bytes);
    EXPECT_TRUE(after.st_mtim.tv_sec == before.st_mtim.tv_sec &&
                after.st_mtim.tv_nsec == before.st_mtim.tv_nsec && after.st_ino == before.st_ino);
    EXPECT_TRUE(t.prompts.messages.empty());
}

TEST(SessionFile, UnitsSwitchOnLoad) {
    TempHome home;
    Table meters;
    meters.table.SetDistanceUnit(2);
    meters.table.SetSpeedUnit(2);
    meters.table.AddShot(Drive("Driver", 220.0), false, true);
    const std::string path = home.File("m.txt");
    ASSERT_TRUE(SaveSession(meters.table, path, "Ann", "Morning"));
    EXPECT_NE(ReadFileText(path).find(", Meters, km/h, "), std::string::npos);

    Table t;  // yards and MPH from the settings
    EXPECT_EQ(t.table.UnitsLabel(), "Yards MPH");
    ASSERT_TRUE(LoadSession(t.table, path));
    EXPECT_EQ(t.table.DistanceUnit(), 2);
    EXPECT_EQ(t.table.SpeedUnit(), 2);
    EXPECT_EQ(t.table.UnitsLabel(), "Meters km/h");
    EXPECT_EQ(t.table.Cell(2, d::kBallSpeedColumn), "241.4");
    EXPECT_EQ(t.table.Cell(2, d::kClubSpeedColumn), "164.6");
    EXPECT_EQ(t.table.Cell(2, d::kCarryColumn), meters.table.Cell(2, d::kCarryColumn));

    // Words without regard to case; "KPH" as well as "km/h"; unknown words keep the unit.
    const std::string line =
        "\"A\", \"S\", \"Driver\", 1, %s, 12.0, 2830, 2800, -400, 1.5, "
        "%s, 0, 0, 0, 0, 0, %s, %s, 05/Mar/2024, 14:22:05, 87.3, , 0, 0, "
        "0, 0, 0, 0, \r\n";
    auto text = [&](const char* ball, const char* club, const char* dist, const char* speed) {
        char out[512];
        std::snprintf(out, sizeof out, line.c_str(), ball, club, dist, speed);
        return kHeader + "\r\n" + out;
    };
    // Ball and club speed as written, the unit words; the units then in force.
    const struct {
        const char *ball, *club, *distance, *speed, *units;
    } lines[] = {{"220.0", "150.0", "feet", "fps", "Feet FPS"},
                 {"241.4", "164.6", "METERS", "KPH", "Meters km/h"},
                 {"67.1", "45.7", "Furlongs", "m/s", "Meters m/s"},
                 {"150.0", "102.3", "yards", "Knots", "Yards m/s"},
                 {"150.0", "102.3", "yards", "mph", "Yards MPH"},
                 {"150.0", "102.3", "yards", "KMH", "Yards MPH"}};  // earlier layout only
    Table u;
    for (const auto& l : lines) {
        SCOPED_TRACE(l.speed);
        LoadSessionText(u.table, text(l.ball, l.club, l.distance, l.speed));
        EXPECT_EQ(u.table.UnitsLabel(), l.units);
        const int row = u.table.CurrentRow();
        EXPECT_EQ(u.table.Cell(row, d::kUnitsColumn), l.units);
        EXPECT_EQ(u.table.Cell(row, d::kBallSpeedColumn), l.ball);
        EXPECT_EQ(u.table.Cell(row, d::kClubSpeedColumn), l.club);
    }
}

TEST(SessionFile, EarlierLayout) {
    TempHome home;
    const std::string text =
        "Kyvern Shot Data\r\nCreated: 01/Jan/2019 10:00:00\t\r\n\r\nUser: Bob\r\nSession: "
        "Old\r\n\r\n" +
        kEarlierHeader +
        "\r\n"
        "\"Bob\", \"Old\", \"Driver\", 1, 150.0, 12.0, 2830, 2800, -400, 1.5, 102.3, 250.0, "
        "-10.0, 270.0, 6.5, 30.0, Yards, MPH, 05/Mar/2024, 14:22:05 trailing, 99, 1\r\n"
        "\"Bob\", \"Old\", \"Driver\", 2, 241.4, 12.0, 2830, 2800, -400, 1.5, 164.6, 250.0, "
        "-10.0, 270.0, 6.5, 30.0, Meters, KMH, 05/Mar/2024,  9:01:02\r\n"
        "\"Bob\", \"Old\", \"Wedge\", 1, 100.0, 30.0, 8000, 8000, 0, 0.0, 0.0, 250.0, -10.0, "
        "270.0, 6.5, 30.0, Meters, KPH, 06/Mar/2024\r\n";
    const std::string path = home.File("old.txt");
    WriteFileText(path, text);
    Table t;
    LoadReport report;
    ASSERT_TRUE(LoadSession(t.table, path, report));
    EXPECT_TRUE(report.earlierLayout);
    EXPECT_EQ(report.loaded, 2);
    EXPECT_EQ(report.skipped, 1);  // the wedge has no comma after its date
    EXPECT_EQ(Layout(t.table), (Strings{"[Driver 2]", "1", "2"}));
    // The club values and the score that layout lacks read as 0; the time stops at the
    // first blank after it.
    EXPECT_EQ(Row(t.table, 2, {12, 13, 14, 15, 16}),
              "|1|||0.00|150.0|12.0|2830|2800|-400|1.5|102.3|*|*|*|*|*|Old|Bob|Yards MPH|"
              "05/Mar/2024 14:22:05|0.0|0.0|0.0|0.0|0.0|0.0|");
    EXPECT_EQ(Row(t.table, 3, {12, 13, 14, 15, 16}),
              "|2|||0.00|241.4|12.0|2830|2800|-400|1.5|164.6|*|*|*|*|*|Old|Bob|Meters km/h|"
              "05/Mar/2024 9:01:02|0.0|0.0|0.0|0.0|0.0|0.0|");
    // Saved again, it has the current layout.
    const std::string again = home.File("new.txt");
    ASSERT_TRUE(SaveSession(t.table, again, "Bob", "Old"));
    Table u;
    ASSERT_TRUE(LoadSession(u.table, again, report));
    EXPECT_FALSE(report.earlierLayout);
    EXPECT_EQ(report.loaded, 2);
    EXPECT_EQ(u.table.Cell(3, d::kUnitsColumn), "Meters km/h");
}

TEST(SessionFile, MalformedLinesAreSkippedAndCounted) {
    TempHome home;
    const std::string good =
        "\"A\", \"S\", \"Driver\", 1, 150.0, 12.0, 2830, 2800, -400, 1.5, 102.3, 0, 0, 0, 0, 0, "
        "Yards, MPH, 05/Mar/2024, 14:22:05, 87.3, , -1.2, 2.3, 0.4, 13.5, 200.0, 10.5, ";
    auto withBall = [&](const char* ball) {
        std::string line = good;
        line.replace(line.find("150.0"), 5, ball);
        return line;
    };
    const std::string text =
        "junk before the header\r\n"
        "short, ShotNum\r\n" +  // too short to be the header
        kHeader +
        "\r\n" + good + "\r\n" +
        "abc\r\n"    // short
        "\r\n"       // blank: not counted
        "   \r\n" +  // blank
        kHeader +
        "\r\n" +                                          // another file's header: passed over
        good.substr(0, good.find(", 87.3")) +             // no comma before the score
        "\r\n" + good.substr(0, good.find(", , -1.2")) +  // no comma after the score
        "\r\n" + withBall("0") + "\r\n" + withBall("1") + "\r\n" + withBall("1.0") + "\r\n" +
        withBall("nan") + "\r\n" + withBall("inf") + "\r\n" + withBall("1.5") + "\r\n" +
        withBall("x1") + "\r\n" +
        "\"A\", \"S\", \"Driver\", 1, 150.0, nan, 2830, 2800, -400, 1.5, 102.3, 0, 0, 0, 0, 0, "
        "Yards, MPH, 05/Mar/2024, 14:22:05, 87.3, , \r\n" +
        // Club values missing at the end read as 0; trailing text after them is ignored.
        good.substr(0, good.find(" -1.2")) + " -7.5\r\n" + good + "1, 2, 3\n" +
        "\"A\", \"S\", \"Driver\", 1, 150.0, 12.0, 2830, 2800, -400, 1.5, 102.3, 0, 0, 0, 0";
    Table t;
    LoadReport report = LoadSessionText(t.table, text);
    EXPECT_TRUE(report.headerFound);
    EXPECT_EQ(report.loaded, 4);
    EXPECT_EQ(report.skipped, 11);
    EXPECT_EQ(Layout(t.table), (Strings{"[Driver 4]", "1", "2", "3", "4"}));
    EXPECT_EQ(t.table.Cell(3, d::kBallSpeedColumn), "1.5");  // 2.2 ft/s
    EXPECT_EQ(t.table.Cell(4, d::kAttackColumn), "-7.5");
    EXPECT_EQ(t.table.Cell(4, d::kPathAngleColumn), "0.0");
    EXPECT_EQ(t.table.Cell(4, d::kClubLoftColumn), "0.0");
    EXPECT_EQ(t.table.Cell(5, d::kClubLoftColumn), "10.5");

    // In FPS, 1.0 is not above 1 ft/s; in km/h, 1.05 is 0.96 ft/s.
    std::string fps = withBall("1.0");
    fps.replace(fps.find("MPH"), 3, "FPS");
    std::string kph = withBall("1.05");
    kph.replace(kph.find("MPH"), 3, "km/h");
    Table u;
    report = LoadSessionText(u.table, kHeader + "\n" + fps + "\n" + kph + "\n");
    EXPECT_EQ(report.loaded, 0);
    EXPECT_EQ(report.skipped, 2);
    EXPECT_EQ(u.table.RowCount(), 1);
    EXPECT_FALSE(u.table.Unsaved());

    // No header: nothing is loaded.
    Table v;
    report = LoadSessionText(v.table, good + "\r\n" + good + "\r\n");
    EXPECT_FALSE(report.headerFound);
    EXPECT_EQ(report.loaded, 0);
    EXPECT_EQ(v.table.RowCount(), 1);
}

TEST(SessionFile, TruncatedAndGarbageFilesNeverCrash) {
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
        if (n == text.size()) {
            EXPECT_EQ(report.loaded, 5);
        }
    }

    // Random bytes, and random damage to a good file.
    std::mt19937 random(12345);
    for (int round = 0; round < 120; ++round) {
        std::string bytes = round % 2 ? text : kHeader + "\n";
        const int changes = 1 + static_cast<int>(random() % 40);
        for (int i = 0; i < changes; ++i) {
            const char c = static_cast<char>(random() % 256);
            const std::size_t at = random() % (bytes.size() + 1);
            if (random() % 3 == 0 && at < bytes.size()) {
                bytes[at] = c;
            } else if (random() % 2) {
                bytes.insert(at, 1, c);
            } else if (at < bytes.size()) {
                bytes.erase(at, 1 + random() % 20);
            }
        }
        Table t;
        LoadReport report = LoadSessionText(t.table, bytes);
        ASSERT_TRUE(WellFormed(t.table)) << round;
        ASSERT_GE(report.skipped, 0);
        // Whatever was loaded saves and loads again.
        const std::string out = home.File("out.txt");
        ASSERT_TRUE(SaveSession(t.table, out, "x", "y"));
        Table u;
        ASSERT_TRUE(LoadSession(u.table, out));
        ASSERT_TRUE(WellFormed(u.table));
    }
}

TEST(SessionFile, FilesThatCannotBeRead) {
    TempHome home;
    Table t;
    EXPECT_FALSE(LoadSession(t.table, home.File("missing.txt")));
    EXPECT_EQ(t.prompts.messages, (Strings{"Can't open file"}));
    LoadReport report;
    EXPECT_FALSE(LoadSession(t.table, home.Path(), report));  // a folder
    EXPECT_FALSE(report.opened);
    EXPECT_EQ(t.prompts.messages.size(), 2u);
    EXPECT_EQ(t.table.RowCount(), 1);
    // An empty file opens and holds nothing.
    WriteFileText(home.File("empty.txt"), "");
    EXPECT_TRUE(LoadSession(t.table, home.File("empty.txt"), report));
    EXPECT_TRUE(report.opened);
    EXPECT_FALSE(report.headerFound);
}

TEST(SessionFile, AFailedSaveLeavesTheOldFile) {
    TempHome home;
    Table t;
    Fill(t.table);
    const std::string path = home.File("keep.txt");
    WriteFileText(path, "the old session");

    // No such folder; a folder in the way.
    EXPECT_FALSE(SaveSession(t.table, home.File("no/such/folder.txt"), "Ann", "Morning"));
    EXPECT_FALSE(SaveSession(t.table, home.Path(), "Ann", "Morning"));
    EXPECT_FALSE(SaveSession(t.table, "", "Ann", "Morning"));
    EXPECT_EQ(t.prompts.messages,
              (Strings{"Couldn't create the data file", "Couldn't create the data file",
                       "Couldn't create the data file"}));
    EXPECT_TRUE(t.table.Unsaved());

    // The disk fills up half-way through the write.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 300;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = SaveSession(t.table, path, "Ann", "Morning");
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadFileText(path), "the old session");
    EXPECT_EQ(t.prompts.messages.size(), 4u);
    EXPECT_TRUE(t.table.Unsaved());
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(home.Path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);  // no temporary file left behind

    // Then it works, keeping the file's permissions.
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(SaveSession(t.table, path, "Ann", "Morning"));
    EXPECT_FALSE(t.table.Unsaved());
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadFileText(path).rfind("Kyvern Shot Data\r\n", 0), 0u);
}

TEST(SessionFile, SaveSessionAsRemembersThePath) {
    TempHome home;
    Table t;
    t.table.AddShot(Drive("Driver"), false, true);
    const std::string path = home.File("s.txt");
    ASSERT_TRUE(d::SaveSessionAs(t.table, path, "Ann", "Morning"));
    EXPECT_EQ(home.Get("MRU", "MostRecentSession"), path);
    // Saving through a link replaces the file it points at, not the link.
    const std::string link = home.File("link.txt");
    std::filesystem::create_symlink(path, link);
    t.table.AddShot(Drive("Wedge"), false, true);
    ASSERT_TRUE(SaveSession(t.table, link, "Ann", "Morning"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(ReadFileText(path).find("\"Wedge\""), std::string::npos);
}
