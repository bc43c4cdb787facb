#include "data/shot_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/string_table.h"
#include "data/session_file.h"
#include "data/shot_log.h"
#include "flight/flight_model.h"
#include "sample_shots.h"

using kyvern::data::kColumnCount;
using kyvern::data::kGroupRowColour;
using kyvern::data::ShotEntry;
using kyvern::data::ShotTable;
using kyvern::data::ShotTableListener;
using kyvern::testing::Drive;
using kyvern::testing::Layout;
using kyvern::testing::ReadFileText;
using kyvern::testing::RecordingPrompts;
using kyvern::testing::Row;
using kyvern::testing::TempHome;
namespace d = kyvern::data;

namespace {

using Strings = std::vector<std::string>;

}  // namespace

TEST(ShotTable, HeaderRowAndTheHiddenCountColumn) {
    TempHome home;
    RecordingPrompts prompts;
    ShotTable table(prompts);
    table.SetupTable();
    ASSERT_EQ(table.RowCount(), 1);
    for (int c = 0; c < kColumnCount; ++c)
        EXPECT_EQ(table.IsColumnHidden(c), c == d::kGroupCountColumn) << c;
    EXPECT_EQ(table.Cell(5, 0), "");  // outside the table
    EXPECT_EQ(table.Cell(0, kColumnCount), "");
    // The headers follow the language in force as the table is set up.
    const std::string english = table.Cell(0, 0);
    kyvern::base::SetLanguage(kyvern::base::Language::kJapanese);
    table.SetupTable();
    EXPECT_NE(table.Cell(0, 0), english);
    kyvern::base::SetLanguage(kyvern::base::Language::kEnglish);
    table.SetupTable();
    EXPECT_EQ(table.Cell(0, 0), english);
}

TEST(ShotTable, AlternatingItemsGroupAndNumberPerItem) {
    TempHome home;
    RecordingPrompts prompts;
    ShotTable table(prompts);
    table.SetupTable();
    table.ReadDisplayUnits();
    const char* items[] = {"Driver", "7 Iron", "Driver", "7 Iron", "Driver"};
    const int expectedRows[] = {2, 4, 3, 6, 4};
    for (int i = 0; i < 5; ++i) {
        table.AddShot(Drive(items[i]), false, true);
        EXPECT_EQ(table.CurrentRow(), expectedRows[i]) << i;
        EXPECT_EQ(table.ActiveRow(), expectedRows[i]) << i;
    }
    EXPECT_EQ(Layout(table), (Strings{"[Driver 3]", "1", "2", "3", "[7 Iron 2]", "1", "2"}));
    EXPECT_TRUE(table.Unsaved());
    EXPECT_TRUE(table.DeleteLastShotEnabled());

    // Case does not split a group; the new shot still goes to the end of "Driver".
    table.AddShot(Drive("driver"), false, true);
    EXPECT_EQ(Layout(table), (Strings{"[Driver 4]", "1", "2", "3", "4", "[7 Iron 2]", "1", "2"}));
    EXPECT_EQ(table.CurrentRow(), 5);
    // A new item opens a group at the end; the first group still takes its own shots.
    table.AddShot(Drive("Wedge"), false, true);
    table.AddShot(Drive("7 IRON"), false, true);
    EXPECT_EQ(Layout(table), (Strings{"[Driver 4]", "1", "2", "3", "4", "[7 Iron 3]", "1", "2", "3",
                                      "[Wedge 1]", "1"}));
    EXPECT_EQ(table.CurrentRow(), 9);
    EXPECT_EQ(table.ItemOf(9), "7 Iron");
    EXPECT_EQ(table.ItemOf(11), "Wedge");

    // A re-measure overwrites the last shot's row and keeps its number.
    ShotEntry again = Drive("Driver", 180.0);
    table.AddShot(again, false, false);
    EXPECT_EQ(table.RowCount(), 12);
    EXPECT_EQ(table.CurrentRow(), 9);
    EXPECT_EQ(table.Cell(9, d::kShotColumn), "3");
    EXPECT_EQ(table.Cell(9, d::kBallSpeedColumn), "122.7");  // 180 ft/s in MPH
}

TEST(ShotTable, ItemsThatLookLikeOtherCellsGetGroupsOfTheirOwn) {
    TempHome home;
    RecordingPrompts prompts;
    ShotTable table(prompts);
    table.SetupTable();
    // "Item" is the header text and "" the first cell of every shot row: neither is a group.
    table.AddShot(Drive("Driver"), false, true);
    table.AddShot(Drive("Item"), false, true);
    table.AddShot(Drive(""), false, true);
    table.AddShot(Drive("item"), false, true);
    table.AddShot(Drive(""), false, true);
    EXPECT_EQ(Layout(table), (Strings{"[Driver 1]", "1", "[Item 2]", "1", "2", "[ 2]", "1", "2"}));
    EXPECT_EQ(table.Cell(0, 27), "Group Count");
}

TEST(ShotTable, ShotCellsInDisplayUnits) {
    TempHome home;
    home.Set("Setup", "SpeedDisplay", "KPH");
    home.Set("Setup", "DistanceDisplay", "Meters");
    RecordingPrompts prompts;
    ShotTable table(prompts);
    table.SetupTable();
    table.ReadDisplayUnits();
    EXPECT_EQ(table.UnitsLabel(), "Meters km/h");
    table.AddShot(Drive("Driver"), false, true);
    // 220 ft/s and 150 ft/s in km/h; the distances are the flight model's, in meters.
    kyvern::flight::FlightModel model;
    model.Compute(220.0, 12.0, 2800.0, -400.0, 1.5);
    char distances[128];
    std::snprintf(distances, sizeof distances, "%.1f|%.1f|%.1f|%.1f|%.1f", model.Carry() * 0.9144,
                  model.CarryOffline() * 0.9144, model.FlightTime(), model.Total() * 0.9144,
                  model.MaxHeight() * 0.9144);
    EXPECT_EQ(Row(table, 2), std::string("|1|||87.3|241.4|12.0|2830|2800|-400|1.5|164.6|") +
                                 distances +
                                 "|Morning|Ann|Meters km/h|05/Mar/2024 14:22:05|-1.2|2.3|0.4|13.5|"
                                 "200.0|10.5|");

    // The units of each shot as it was added, whatever came before.
    const struct {
        int distance, speed;
        const char *ball, *units;
    } units[] = {
        {1, 1, "220.0", "Feet FPS"}, {1, 3, "67.1", "Feet m/s"}, {0, 0, "150.0", "Yards MPH"}};
    for (const auto& u : units) {
        table.SetDistanceUnit(u.distance);
        table.SetSpeedUnit(u.speed);
        table.AddShot(Drive("Driver"), false, true);
        const int row = table.CurrentRow();
        EXPECT_EQ(table.Cell(row, d::kBallSpeedColumn), u.ball);
        EXPECT_EQ(table.Cell(row, d::kUnitsColumn), u.units);
    }
    char feet[32];
    std::snprintf(feet, sizeof feet, "%.1f", model.Carry() * 3.0);
    EXPECT_EQ(table.Cell(3, d::kCarryColumn), feet);
}

TEST(ShotTable, GroupStatisticsAndScores) {
    TempHome home;
    home.Set("Setup", "SpeedDisplay", "FPS");
    RecordingPrompts prompts;
    ShotTable table(prompts);
    table.SetupTable();
    table.ReadDisplayUnits();
    ShotEntry s = Drive("Driver", 200.0);
    s.backSpin = 2500.0;
    table.AddShot(s, false, true);
    EXPECT_EQ(table.Cell(1, d::kGroupScoreColumn), "---");  // one shot

    s.ballSpeed = 210.0;
    s.backSpin = 3000.0;
    s.attackAngle = -2.2;
    table.AddShot(s, false, true);
    EXPECT_EQ(table.Cell(1, d::kGroupScoreColumn), "---");  // two shots
    s.ballSpeed = 220.0;
    s.backSpin = 3500.0;
    s.attackAngle = -3.2;
    table.AddShot(s, false, true);
    table.AddShot(Drive("Putter", 20.0), false, true);

    // Mean (deviation) of each summarised cell; plot, names, time, club mass and loft are not
    // summarised. The distances and the score follow below.
    EXPECT_EQ(Row(table, 1, {3, 12, 13, 14, 15, 16}),
              "Driver|2.0 (1.0)|None|*|87.3 (0.0)|210.0 (10.0)|12.0 (0.0)|2830 (0)|3000 (500)|"
              "-400 (0)|1.5 (0.0)|150.0 (0.0)|*|*|*|*|*|||Yards FPS||-2.2 (1.0)|2.3 (0.0)|"
              "0.4 (0.0)|13.5 (0.0)|||3");

    // Group rows, and only they, are painted light yellow in every cell.
    for (int r = 1; r < table.RowCount(); ++r) {
        EXPECT_EQ(table.Background(r).has_value(), table.IsGroupRow(r)) << r;
        if (table.IsGroupRow(r)) {
            EXPECT_TRUE(*table.Background(r) == kGroupRowColour);
        }
    }

    // Carries and offlines set by hand: mean 150, deviations 9 and 8 score 84.6; a group
    // that never carried shows 0 rather than a division by zero.
    const struct {
        double carry[3], offline[3];
        const char *carryCell, *score;
    } groups[] = {{{141, 150, 159}, {-8, 0, 8}, "150.0 (9.0)", "84.6"},
                  {{0, 0, 0}, {-8, 0, 8}, "0.0 (0.0)", "0.0"}};
    for (const auto& g : groups) {
        for (int i = 0; i < 3; ++i) {
            table.SetCell(2 + i, d::kCarryColumn, std::to_string(g.carry[i]));
            table.SetCell(2 + i, d::kOfflineColumn, std::to_string(g.offline[i]));
        }
        table.UpdateGroups();
        EXPECT_EQ(table.Cell(1, d::kCarryColumn), g.carryCell);
        EXPECT_EQ(table.Cell(1, d::kOfflineColumn), "0.0 (8.0)");
        EXPECT_EQ(table.Cell(1, d::kGroupScoreColumn), g.score);
    }
}

TEST(ShotTable, DeleteRecordAndDeleteLastShot) {
    TempHome home;
    RecordingPrompts cancel(false);
    RecordingPrompts ok(true);
    ShotTable table(ok);
    table.SetupTable();
    // Nothing to delete: no question.
    table.DeleteSelected();
    EXPECT_TRUE(ok.questions.empty());

    for (const char* item : {"Driver", "7 Iron", "Driver", "7 Iron", "Driver", "Wedge"})
        table.AddShot(Drive(item), false, true);
    EXPECT_EQ(Layout(table),
              (Strings{"[Driver 3]", "1", "2", "3", "[7 Iron 2]", "1", "2", "[Wedge 1]", "1"}));

    // Delete Last Shot removes the current row; the count and the numbers stay.
    EXPECT_EQ(table.CurrentRow(), 9);
    table.DeleteLastShot();
    EXPECT_EQ(Layout(table), (Strings{"[Driver 3]", "1", "2", "3", "[7 Iron 2]", "1", "2"}));
    EXPECT_EQ(table.CurrentRow(), -1);
    EXPECT_FALSE(table.DeleteLastShotEnabled());
    table.DeleteLastShot();  // nothing more
    EXPECT_EQ(table.RowCount(), 8);

    // Delete the middle Driver shot: the others keep their numbers and the count stays 3.
    table.AddShot(Drive("Driver"), false, true);  // Driver 4 at row 5
    EXPECT_EQ(table.CurrentRow(), 5);
    table.Select(3, true);
    table.Select(1, true);  // group rows are never marked
    {
        // A cancelled question changes nothing.
        ShotTable other(cancel);
        other.SetupTable();
        other.AddShot(Drive("Driver"), false, true);
        other.Select(2, true);
        other.DeleteSelected();
        EXPECT_EQ(cancel.questions.size(), 1u);
        EXPECT_EQ(other.RowCount(), 3);
        EXPECT_EQ(other.Cell(2, 0), "");
    }
    table.DeleteSelected();
    EXPECT_EQ(ok.questions.size(), 1u);
    EXPECT_EQ(Layout(table), (Strings{"[Driver 4]", "1", "3", "4", "[7 Iron 2]", "1", "2"}));
    EXPECT_EQ(table.CurrentRow(), -1);
    // Delete Last Shot after Delete Record does nothing: the current row was cleared.
    table.DeleteLastShot();
    EXPECT_EQ(table.RowCount(), 8);

    // Every shot of a group: the group row goes too.
    table.ClearSelection();
    table.SelectRange(6, 7);
    table.DeleteSelected();
    EXPECT_EQ(Layout(table), (Strings{"[Driver 4]", "1", "3", "4"}));
    // The last remaining shots: only the header row is left.
    table.SelectRange(2, 4);
    table.DeleteSelected();
    EXPECT_EQ(table.RowCount(), 1);
    EXPECT_EQ(table.Cell(0, 0), "Item");

    // The last remaining shot through Delete Last Shot.
    table.AddShot(Drive("Driver"), false, true);
    EXPECT_EQ(table.RowCount(), 3);
    table.DeleteLastShot();
    EXPECT_EQ(table.RowCount(), 1);
}

TEST(ShotTable, AGroupCalledDeleteIsNotRemovedWithItsMarkedShots) {
    TempHome home;
    RecordingPrompts ok(true);
    ShotTable table(ok);
    table.SetupTable();
    table.AddShot(Drive("Driver"), false, true);
    table.AddShot(Drive("DELETE"), false, true);
    table.AddShot(Drive("DELETE"), false, true);
    EXPECT_EQ(Layout(table), (Strings{"[Driver 1]", "1", "[DELETE 2]", "1", "2"}));
    table.Select(5, true);
    table.DeleteSelected();
    EXPECT_EQ(Layout(table), (Strings{"[Driver 1]", "1", "[DELETE 2]", "1"}));
    EXPECT_EQ(table.Cell(2, d::kUserColumn), "Ann");
}

TEST(ShotTable, NewSessionAsksOnlyWhenUnsaved) {
    TempHome home;
    RecordingPrompts cancel(false);
    ShotTable table(cancel);
    table.SetupTable();
    table.NewSession();  // empty: nothing asked
    EXPECT_TRUE(cancel.questions.empty());
    table.AddShot(Drive("Driver"), false, true);
    table.NewSession();
    EXPECT_EQ(cancel.questions.size(), 1u);
    EXPECT_EQ(table.RowCount(), 3);
    EXPECT_TRUE(table.Unsaved());

    table.ClearUnsaved();  // as a save does
    table.NewSession();
    EXPECT_EQ(cancel.questions.size(), 1u);
    EXPECT_EQ(table.RowCount(), 1);
    EXPECT_EQ(table.CurrentRow(), -1);
    EXPECT_FALSE(table.DeleteLastShotEnabled());
    EXPECT_FALSE(table.Unsaved());

    RecordingPrompts ok(true);
    ShotTable other(ok);
    other.SetupTable();
    other.AddShot(Drive("Driver"), false, true);
    other.AddShot(Drive("Wedge"), false, true);
    other.NewSession();
    EXPECT_EQ(ok.questions.size(), 1u);
    EXPECT_EQ(other.RowCount(), 1);
    EXPECT_FALSE(other.Unsaved());
}

TEST(ShotTable, ColumnWidthsFromAndToTheSettings) {
    TempHome home;
    home.Set("GridSetup", "ItemWidth", "2000");
    home.Set("GridSetup", "ShotWidth", "abc");
    home.Set("GridSetup", "PlotWidth", "-5");
    home.Set("GridSetup", "BallSpeedWidth", " 1500xyz");
    home.Set("GridSetup", "drCarryWidth", "0");
    home.Set("GridSetup", "ClubLoftWidth", "777");
    RecordingPrompts prompts;
    ShotTable table(prompts);
    table.SetupTable();
    EXPECT_EQ(table.ColumnWidth(d::kItemColumn), 2000);
    EXPECT_EQ(table.ColumnWidth(d::kShotColumn), d::kDefaultColumnWidth);
    EXPECT_EQ(table.ColumnWidth(d::kPlotColumn), d::kDefaultColumnWidth);
    EXPECT_EQ(table.ColumnWidth(d::kBallSpeedColumn), 1500);
    EXPECT_EQ(table.ColumnWidth(d::kCarryColumn), d::kDefaultColumnWidth);
    EXPECT_EQ(table.ColumnWidth(d::kClubLoftColumn), 777);

    for (int c = 0; c < kColumnCount; ++c)
        table.SetColumnWidth(c, 100 + c);
    table.SaveColumnWidths();
    EXPECT_EQ(home.Get("GridSetup", "ClubLoftWidth"), "126");
    EXPECT_EQ(ReadFileText(home.Settings()).find("127"), std::string::npos);  // no key for 27

    ShotTable again(prompts);
    again.SetupTable();
    for (int c = 0; c < 27; ++c)
        EXPECT_EQ(again.ColumnWidth(c), 100 + c) << c;
}

TEST(ShotTable, EveryRecordedShotGoesToTheLog) {
    TempHome home;
    RecordingPrompts prompts;
    ShotTable table(prompts);
    table.SetupTable();
    table.ReadDisplayUnits();
    table.SetClock([] { return kyvern::testing::FixedNow(); });
    table.AddShot(Drive("Driver"), true, true);
    EXPECT_EQ(table.Cell(2, d::kWhenColumn), "05/Mar/2024 12:00:00");
    table.AddShot(Drive("Driver"), false, true);  // loaded shots are not logged
    // A re-measure logs with the item of the call.
    ShotEntry s = Drive("7 Iron");
    table.AddShot(s, true, false);
    const std::string log = ReadFileText(home.File("logKyvern.txt"));
    const std::string first = FormatShotLine(table, 2);
    ASSERT_EQ(first.back(), '\n');
    std::string expected = first.substr(0, first.size() - 1) + "\r\n";
    std::string second = FormatShotLine(table, 3, "7 Iron");
    expected += second.substr(0, second.size() - 1) + "\r\n";
    EXPECT_EQ(log, expected);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST(ShotTable, ALogThatCannotBeOpenedIsReportedAndTheRowStays) {
    TempHome home;
    // A folder where the log should be.
    std::filesystem::create_directory(home.File("logKyvern.txt"));
    RecordingPrompts prompts;
    ShotTable table(prompts);
    table.SetupTable();
    table.AddShot(Drive("Driver"), true, true);
    EXPECT_EQ(prompts.messages, (Strings{"Couldn't open the logKyvern.txt file"}));
    EXPECT_EQ(table.RowCount(), 3);
    EXPECT_FALSE(kyvern::data::AppendImageFailed("Driver", prompts));
    EXPECT_EQ(prompts.messages.size(), 2u);
}

namespace {

class RecordingListener final : public ShotTableListener {
public:
    void RowsAboutToBeInserted(int f, int l) override { Add("+?", f, l); }
    void RowsInserted(int f, int l) override { Add("+", f, l); }
    void RowsAboutToBeRemoved(int f, int l) override { Add("-?", f, l); }
    void RowsRemoved(int f, int l) override { Add("-", f, l); }
    void CellsChanged(int f, int l) override { Add("c", f, l); }
    void AboutToReset() override { events.push_back("reset?"); }
    void Reset() override { events.push_back("reset"); }
    void SelectionChanged() override { events.push_back("sel"); }
    void ActiveRowChanged(int row) override { events.push_back("active " + std::to_string(row)); }
    void DeleteLastShotEnabledChanged(bool on) override {
        events.push_back(on ? "dls on" : "dls off");
    }
    void ColumnWidthChanged(int c) override { events.push_back("w " + std::to_string(c)); }
    void SessionCleared() override { events.push_back("cleared"); }
    std::vector<std::string> events;

private:
    void Add(const char* what, int f, int l) {
        events.push_back(std::string(what) + " " + std::to_string(f) + "-" + std::to_string(l));
    }
};

}  // namespace

TEST(ShotTable, ViewsAreToldOfEveryChange) {
    TempHome home;
    RecordingPrompts prompts;
    ShotTable table(prompts);
    table.SetupTable();
    RecordingListener view;
    table.AddListener(&view);
    table.AddListener(&view);  // once only
    table.AddShot(Drive("Driver"), false, true);
    EXPECT_EQ(view.events, (Strings{"+? 1-1", "+ 1-1", "+? 2-2", "+ 2-2", "c 2-2", "c 1-2",
                                    "active 2", "dls on"}));
    view.events.clear();
    table.Select(2, true);
    table.Select(2, true);  // no change, no notice
    table.SetColumnWidth(3, 900);
    table.DeleteLastShot();
    EXPECT_EQ(view.events,
              (Strings{"sel", "w 3", "dls off", "-? 2-2", "- 2-2", "-? 1-1", "- 1-1"}));

    // A bulk add is one reset.
    view.events.clear();
    table.BeginBulkAdd();
    for (int i = 0; i < 5; ++i)
        table.AddShot(Drive(i % 2 ? "Wedge" : "Driver"), false, true);
    table.EndBulkAdd();
    EXPECT_EQ(view.events, (Strings{"reset?", "reset", "active 4", "dls on"}));
    EXPECT_EQ(Layout(table), (Strings{"[Driver 3]", "1", "2", "3", "[Wedge 2]", "1", "2"}));
    EXPECT_EQ(table.Cell(1, d::kGroupScoreColumn).empty(), false);  // groups computed at the end
    EXPECT_EQ(table.CurrentRow(), 4);

    view.events.clear();
    table.ClearUnsaved();
    table.NewSession();
    EXPECT_EQ(view.events, (Strings{"-? 1-7", "- 1-7", "cleared", "dls off"}));
    table.RemoveListener(&view);
    table.AddShot(Drive("Driver"), false, true);
    EXPECT_EQ(view.events.size(), 4u);
}
