#include "data/shot_table.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "base/string_table.h"
#include "data/session_file.h"
#include "data/shot_log.h"
#include "flight/flight_model.h"
#include "sample_shots.h"
#include "shot/units.h"

using namespace kyvern::data;
using namespace kyvern::testing;
namespace d = kyvern::data;
namespace s = kyvern::shot;
using Strings = std::vector<std::string>;

// "Item" is the header text and "" the first cell of every shot row: neither is a group. A
// re-measure overwrites the last shot's row, whatever its item, and keeps its number. Grouping
// without case and numbering per item are the session file's round trip.
TEST(ShotTable, ShotsGroupByItemAndARemeasureKeepsTheRow) {
    TempHome home;
    Rig t;
    t.Add({"Driver", "Item", "", "item", ""});
    const std::string layout = "[Driver 1] 1 [Item 2] 1 2 [ 2] 1 2";
    EXPECT_EQ(Layout(t.table), layout);
    EXPECT_EQ(t.table.CurrentRow(), 8);
    EXPECT_EQ(t.table.ActiveRow(), 8);
    EXPECT_TRUE(t.table.Unsaved() && t.table.DeleteLastShotEnabled());
    t.table.AddShot(Drive("Driver", 180.0), false, false);
    EXPECT_EQ(Layout(t.table), layout);
    EXPECT_EQ(t.table.ItemOf(8), "");
    EXPECT_EQ(t.table.CurrentRow(), 8);
    EXPECT_EQ(t.table.Cell(8, d::kShotColumn), "2");
    EXPECT_EQ(t.table.Cell(8, d::kBallSpeedColumn), "122.7");  // 180 ft/s in MPH
}

TEST(ShotTable, ABulkAddLeavesTheTableAsSingleCallsDo) {
    // Shuffled items of mixed case onto a table that has groups already; a re-measure and a
    // logged shot in the middle of the bulk need the rows in place. The many rows after them
    // are flown on two threads at the end.
    std::vector<std::string> items;
    for (int i = 0; i < 600; ++i)
        items.push_back(std::vector<std::string>{"Driver", "wedge", "7 Iron", "DRIVER", "", "Item",
                                                 "Putter", "7 iron"}[i % 8]);
    std::mt19937 random(7);
    std::shuffle(items.begin(), items.end(), random);
    TempHome home;
    Rig single, bulk;
    for (Rig* rig : {&single, &bulk}) {
        rig->Add({"Wedge", "Driver", "Wedge", "Hybrid"});
        if (rig == &bulk) rig->table.BeginBulkAdd();
        for (std::size_t i = 0; i < items.size(); ++i) {
            rig->table.AddShot(Drive(items[i], 150.0 + i), i == 40, i != 20);
            if (i == 30) rig->table.SetDistanceUnit(2);
        }
        if (rig == &bulk) rig->table.EndBulkAdd();
    }
    ASSERT_EQ(bulk.table.RowCount(), single.table.RowCount());
    for (int r = 0; r < single.table.RowCount(); ++r) {
        EXPECT_EQ(bulk.table.IsGroupRow(r), single.table.IsGroupRow(r)) << r;
        EXPECT_EQ(bulk.table.Background(r), single.table.Background(r)) << r;
        for (int c = 0; c < d::kColumnCount; ++c)
            EXPECT_EQ(bulk.table.Cell(r, c), single.table.Cell(r, c)) << r << "," << c;
        const d::ShotValues* b = bulk.table.Values(r);
        const d::ShotValues* s = single.table.Values(r);
        ASSERT_EQ(b == nullptr, s == nullptr) << r;
        if (b == nullptr) continue;
        EXPECT_EQ(b->entry.ballSpeed, s->entry.ballSpeed) << r;
        EXPECT_EQ(b->flight.totalOffline, s->flight.totalOffline) << r;
        EXPECT_EQ(b->flight.maxHeight, s->flight.maxHeight) << r;
    }
    EXPECT_EQ(bulk.table.CurrentRow(), single.table.CurrentRow());
    EXPECT_EQ(bulk.table.ActiveRow(), single.table.ActiveRow());
    EXPECT_EQ(Layout(bulk.table), Layout(single.table));
}

TEST(ShotTable, ShotCellsInTheDisplayUnitsOfTheirTime) {
    TempHome home;
    home.Set("Setup", "SpeedDisplay", "KPH");
    home.Set("Setup", "DistanceDisplay", "Meters");
    Rig t;
    EXPECT_EQ(t.table.UnitsLabel(), "Meters km/h");
    for (int c = 0; c < d::kColumnCount; ++c)
        EXPECT_EQ(t.table.IsColumnHidden(c), c == d::kGroupCountColumn) << c;
    t.Add({"Driver"});
    // 220 ft/s and 150 ft/s in km/h; the distances are the flight model's, in meters.
    kyvern::flight::FlightModel model;
    model.Compute(220.0, 12.0, 2800.0, -400.0, 1.5);
    char distances[128];
    std::snprintf(distances, sizeof distances, "%.1f|%.1f|%.1f|%.1f|%.1f", model.Carry() * 0.9144,
                  model.CarryOffline() * 0.9144, model.FlightTime(), model.Total() * 0.9144,
                  model.MaxHeight() * 0.9144);
    EXPECT_EQ(Row(t.table, 2), std::string("|1|||87.3|241.4|12.0|2830|2800|-400|1.5|164.6|") +
                                   distances +
                                   "|Morning|Ann|Meters km/h|05/Mar/2024 14:22:05|-1.2|2.3|0.4|"
                                   "13.5|200.0|10.5|");

    // The headers follow the language in force as the table is set up.
    const std::string english = t.table.Cell(0, 0);
    kyvern::base::SetLanguage(kyvern::base::Language::kJapanese);
    t.table.SetupTable();
    const std::string japanese = t.table.Cell(0, 0);
    kyvern::base::SetLanguage(kyvern::base::Language::kEnglish);
    EXPECT_NE(japanese, english);
}

TEST(ShotTable, GroupStatisticsAndScores) {
    TempHome home;
    home.Set("Setup", "SpeedDisplay", "FPS");
    Rig t;
    ShotEntry s = Drive("Driver", 200.0);
    for (int i = 0; i < 3; ++i) {
        s.ballSpeed = 200.0 + 10 * i;
        s.backSpin = 2500.0 + 500 * i;
        s.attackAngle = -1.2 - i;
        t.table.AddShot(s, false, true);
        EXPECT_TRUE(i == 2 || t.table.Cell(1, d::kGroupScoreColumn) == "---") << i;  // too few
    }
    t.table.AddShot(Drive("Putter", 20.0), false, true);

    // Mean (deviation) of each summarised cell; plot, names, time, club mass and loft are not
    // summarised. The distances and the score follow below.
    EXPECT_EQ(Row(t.table, 1, {3, 12, 13, 14, 15, 16}),
              "Driver|2.0 (1.0)|None|*|87.3 (0.0)|210.0 (10.0)|12.0 (0.0)|2830 (0)|3000 (500)|"
              "-400 (0)|1.5 (0.0)|150.0 (0.0)|*|*|*|*|*|||Yards FPS||-2.2 (1.0)|2.3 (0.0)|"
              "0.4 (0.0)|13.5 (0.0)|||3");
    // Group rows, and only they, are painted light yellow.
    for (int r = 1; r < t.table.RowCount(); ++r)
        EXPECT_EQ(t.table.Background(r).has_value(), t.table.IsGroupRow(r)) << r;
    EXPECT_TRUE(*t.table.Background(1) == d::kGroupRowColour);

    // A group sums its shots' recorded values, whatever a view writes into a cell; rows never
    // given a shot are read from their cells. Carries and offlines so written: mean 150,
    // deviations 9 and 8 score 84.6.
    const std::string recorded = t.table.Cell(1, d::kCarryColumn);
    t.table.SetCell(2, d::kCarryColumn, "999");
    t.table.UpdateGroups();
    EXPECT_EQ(t.table.Cell(1, d::kCarryColumn), recorded);
    for (int i = 0; i < 3; ++i) {
        const int row = t.table.FindOrInsertShotRow("Scored");
        t.table.SetCell(row, d::kCarryColumn, std::to_string(141 + 9 * i));
        t.table.SetCell(row, d::kOfflineColumn, std::to_string(-8 + 8 * i));
    }
    t.table.UpdateGroups();
    const int scored = t.table.RowCount() - 4;
    ASSERT_EQ(t.table.Cell(scored, d::kItemColumn), "Scored");
    EXPECT_EQ(t.table.Cell(scored, d::kCarryColumn) + " " +
                  t.table.Cell(scored, d::kOfflineColumn) + " " +
                  t.table.Cell(scored, d::kGroupScoreColumn),
              "150.0 (9.0) 0.0 (8.0) 84.6");
}

// A group whose shots were written in different display units: each statistic is the first
// shot's value, give or take the rounding of the second.
TEST(ShotTable, GroupStatisticsBringEveryRowToTheGroupsUnits) {
    TempHome home;
    RecordingPrompts prompts;
    const struct {
        int firstDistance, firstSpeed, laterDistance, laterSpeed;
        const char* label;
    } cases[] = {{s::kYards, s::kMph, s::kMeters, s::kKph, "Yards MPH"},
                 {s::kFeet, s::kFps, s::kYards, s::kMps, "Feet FPS"},
                 {s::kMeters, s::kMps, s::kFeet, s::kMph, "Meters m/s"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ShotTable table({}, kyvern::base::Settings());
        table.SetupTable();
        for (const auto& [distance, speed] :
             {std::pair{c.firstDistance, c.firstSpeed}, {c.laterDistance, c.laterSpeed}}) {
            table.SetDistanceUnit(distance);
            table.SetSpeedUnit(speed);
            table.AddShot(Drive("Driver"), false, true);
        }
        EXPECT_EQ(table.Cell(1, d::kUnitsColumn), c.label);
        for (int column : {d::kBallSpeedColumn, d::kClubSpeedColumn, d::kCarryColumn,
                           d::kOfflineColumn, d::kTotalColumn, d::kMaxHeightColumn}) {
            double mean = 0.0, deviation = 0.0;
            ASSERT_EQ(std::sscanf(table.Cell(1, column).c_str(), "%lf (%lf)", &mean, &deviation),
                      2);
            EXPECT_NEAR(mean, std::stod(table.Cell(2, column)), 0.1) << column;
            EXPECT_LE(deviation, 0.1) << column;
        }
    }
}

TEST(ShotTable, DeleteRecordAndDeleteLastShot) {
    TempHome home;
    Rig t;
    t.table.DeleteSelected();  // nothing to delete
    EXPECT_EQ(t.table.RowCount(), 1);
    t.Add({"Driver", "7 Iron", "Driver", "7 Iron", "Driver", "Wedge"});

    // Delete Last Shot removes the current row; the count and the numbers stay.
    t.table.DeleteLastShot();
    EXPECT_EQ(Layout(t.table), "[Driver 3] 1 2 3 [7 Iron 2] 1 2");
    EXPECT_EQ(t.table.CurrentRow(), -1);
    EXPECT_FALSE(t.table.DeleteLastShotEnabled());
    t.table.DeleteLastShot();  // nothing more
    EXPECT_EQ(t.table.RowCount(), 8);

    // Delete the middle Driver shot: the others keep their numbers and the count stays.
    t.Add({"Driver"});
    t.table.Select(3, true);
    t.table.Select(1, true);  // group rows are never marked
    t.table.DeleteSelected();
    EXPECT_TRUE(t.prompts.questions.empty());  // asking is the front door's
    EXPECT_EQ(Layout(t.table), "[Driver 4] 1 3 4 [7 Iron 2] 1 2");
    EXPECT_EQ(t.table.CurrentRow(), -1);

    // Every shot of a group: the group row goes too; then every shot left.
    t.table.ClearSelection();
    t.table.SelectRange(6, 7);
    t.table.DeleteSelected();
    EXPECT_EQ(Layout(t.table), "[Driver 4] 1 3 4");
    t.table.SelectRange(2, 4);
    t.table.DeleteSelected();
    EXPECT_EQ(t.table.RowCount(), 1);
    EXPECT_EQ(t.table.Cell(0, 0), "Item");

    // A group called DELETE is not taken for a marked row.
    t.Add({"Driver", "DELETE", "DELETE"});
    t.table.Select(5, true);
    t.table.DeleteSelected();
    EXPECT_EQ(Layout(t.table), "[Driver 1] 1 [DELETE 2] 1");
    EXPECT_EQ(t.table.Cell(2, d::kUserColumn), "Ann");
}

TEST(ShotTable, ColumnWidthsFromAndToTheSettings) {
    TempHome home;
    const struct {
        const char* key;
        const char* value;
        int column, width;
    } widths[] = {{"BallSpeedWidth", " 1500xyz", d::kBallSpeedColumn, 1500},
                  {"drCarryWidth", "0", d::kCarryColumn, d::kDefaultColumnWidth},
                  {"ClubLoftWidth", "1", d::kClubLoftColumn, 1}};
    for (const auto& w : widths)
        home.Set("GridSetup", w.key, w.value);
    Rig t;
    for (const auto& w : widths)
        EXPECT_EQ(t.table.ColumnWidth(w.column), w.width) << w.key;

    for (int c = 0; c < d::kColumnCount; ++c)
        t.table.SetColumnWidth(c, 100 + c);
    t.table.SaveColumnWidths();
    EXPECT_EQ(ReadFileText(home.Settings()).find("127"), std::string::npos);  // no key for 27
    Rig again;
    for (int c = 0; c < 27; ++c)
        EXPECT_EQ(again.table.ColumnWidth(c), 100 + c) << c;
}

TEST(ShotTable, RecordedShotsGoToTheLog) {
    TempHome home;
    Rig t;
    t.table.AddShot(Drive("Driver"), true, true);
    EXPECT_EQ(t.table.Cell(2, d::kWhenColumn), "05/Mar/2024 12:00:00");
    t.table.AddShot(Drive("Driver"), false, true);  // loaded shots are not logged
    t.table.AddShot(Drive("7 Iron"), true, false);  // a re-measure logs the item of the call
    std::string expected = FormatShotLine(t.table, 2) + FormatShotLine(t.table, 3, "7 Iron");
    for (std::size_t at = expected.find('\n'); at != std::string::npos;
         at = expected.find('\n', at + 2))
        expected.insert(at, "\r");
    EXPECT_EQ(ReadFileText(home.File("logKyvern.txt")), expected);
    EXPECT_TRUE(t.prompts.messages.empty());

    // A folder where the log should be: said, and the row stays.
    TempHome other;
    std::filesystem::create_directory(other.File("logKyvern.txt"));
    Rig u;
    const kyvern::base::Status logged = u.table.AddShot(Drive("Driver"), true, true);
    EXPECT_EQ(logged.Reason(), "Couldn't open the logKyvern.txt file");
    EXPECT_EQ(u.table.RowCount(), 3);
    EXPECT_EQ(kyvern::data::AppendImageFailed("Driver").Reason(), logged.Reason());
    EXPECT_TRUE(u.prompts.messages.empty());  // the table shows nothing itself

    // A disk that fills at the write is said with its reason, not passed over.
    TempHome full;
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 8;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const kyvern::base::Status cut = kyvern::data::AppendImageFailed("Driver");
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(cut.Reason(), "Couldn't open the logKyvern.txt file (" + full.File("logKyvern.txt") +
                                ": File too large)");
}
