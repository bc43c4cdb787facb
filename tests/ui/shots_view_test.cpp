#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTableView>

#include "base/config_store.h"
#include "data/sample_shots.h"
#include "ui/shot_table_model.h"
#include "ui/shots_view.h"

namespace kyvern::ui {
namespace {

using testing::Drive;
using testing::Rig;
using testing::TempHome;

// Every cell of the model is the table's cell one row further down (row 0 is the header).
void ExpectMirrors(const ShotTableModel& model, const data::ShotTable& table) {
    ASSERT_EQ(model.rowCount(), table.RowCount() - 1);
    for (int r = 0; r < model.rowCount(); ++r) {
        for (int c = 0; c < data::kColumnCount; ++c) {
            ASSERT_EQ(model.index(r, c).data().toString().toStdString(), table.Cell(r + 1, c))
                << r << "," << c;
        }
    }
}

// The model follows the table's own notices: a shot is one or two inserted rows and changed
// cells, never a reset; a session load is one reset; the model stays consistent throughout.
TEST(ShotTableModel, FollowsInsertsChangesDeletesAndResets) {
    TempHome home;
    Rig t;
    ShotTableModel model(t.table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    auto firstLast = [](const QSignalSpy& spy, int i) {
        return std::pair(spy.at(i).at(1).toInt(), spy.at(i).at(2).toInt());
    };

    t.Add({"Driver", "7 Iron", "Driver"});
    // Group and shot rows of Driver, of 7 Iron, then Driver's second shot inside its group.
    ASSERT_EQ(inserted.count(), 5);
    EXPECT_EQ(firstLast(inserted, 4), std::pair(2, 2));
    EXPECT_GE(changed.count(), 3);
    EXPECT_EQ(resets.count(), 0);
    ExpectMirrors(model, t.table);

    // The group rows, and only they, are light yellow.
    EXPECT_EQ(model.index(0, 5).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 255, 128));
    EXPECT_FALSE(model.index(1, 5).data(Qt::BackgroundRole).isValid());
    EXPECT_EQ(model.headerData(data::kCarryColumn, Qt::Horizontal).toString(), "Carry");

    // An edit of the plot cell goes through the table and comes back as a change of that row.
    changed.clear();
    EXPECT_TRUE(model.setData(model.index(1, data::kPlotColumn), "Red (2)"));
    EXPECT_FALSE(model.setData(model.index(1, data::kCarryColumn), "1.0"));
    EXPECT_EQ(t.table.Cell(2, data::kPlotColumn), "Red (2)");
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toModelIndex().row(), 1);

    t.table.DeleteLastShot();  // Driver's second shot, model row 2
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(firstLast(removed, 0), std::pair(2, 2));
    ExpectMirrors(model, t.table);

    t.table.BeginBulkAdd();
    for (const char* item : {"Wedge", "Driver", "Wedge"})
        t.table.AddShot(Drive(item), false, true);
    t.table.EndBulkAdd();
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(inserted.count(), 5);
    ExpectMirrors(model, t.table);

    removed.clear();
    t.table.NewSession();
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(firstLast(removed, 0), std::pair(0, 7));
    EXPECT_EQ(model.rowCount(), 0);
}

// Widths come from GridSetup in twips, follow the user's resizing back there, and outlive a
// session load (a reset of the model); the hidden count column stays hidden.
TEST(ShotsView, ColumnWidthsRoundTripThroughGridSetup) {
    TempHome home;
    base::ConfigStore::WriteSettings(home.Settings(), {{"GridSetup", "ItemWidth", "1500"},
                                                       {"GridSetup", "BallSpeedWidth", "junk"},
                                                       {"GridSetup", "drCarryWidth", "-5"}});
    Rig t;
    ShotsView view(t.table);
    QTableView& grid = *view.TableView();
    const int dpi = grid.logicalDpiX();
    EXPECT_EQ(grid.columnWidth(data::kItemColumn), (1500 * dpi + 720) / 1440);
    // Without a usable width a column fits its group statistics.
    const int statistics = grid.fontMetrics().horizontalAdvance("-888.8 (88.8)");
    EXPECT_GT(grid.columnWidth(data::kBallSpeedColumn), statistics);
    EXPECT_GT(grid.columnWidth(data::kCarryColumn), statistics);
    EXPECT_TRUE(grid.isColumnHidden(data::kGroupCountColumn));

    grid.horizontalHeader()->resizeSection(data::kBallSpeedColumn, 150);
    t.Add({"Driver", "Driver"});
    t.table.BeginBulkAdd();
    t.table.AddShot(Drive("Wedge"), false, true);
    t.table.EndBulkAdd();
    EXPECT_EQ(grid.columnWidth(data::kBallSpeedColumn), 150);
    EXPECT_TRUE(grid.isColumnHidden(data::kGroupCountColumn));
    view.SaveWidths();
    EXPECT_EQ(home.Get("GridSetup", "BallSpeedWidth"),
              std::to_string((150 * 1440 + dpi / 2) / dpi));
    EXPECT_EQ(home.Get("GridSetup", "CarryWidth"), "<missing>");
    EXPECT_EQ(home.Get("GridSetup", "drCarryWidth"),
              std::to_string((grid.columnWidth(data::kCarryColumn) * 1440 + dpi / 2) / dpi));

    Rig fresh;
    ShotsView again(fresh.table);
    EXPECT_EQ(again.TableView()->columnWidth(data::kBallSpeedColumn), 150);
    EXPECT_EQ(again.TableView()->columnWidth(data::kItemColumn), grid.columnWidth(0));
}

// Rows selected in the grid are the rows "Delete Record" removes; the plot drop-down writes
// the chosen entry into the cell.
TEST(ShotsView, SelectionDeletesAndPlotDropDownWrites) {
    TempHome home;
    Rig t;
    ShotsView view(t.table);
    t.Add({"Driver", "Driver", "Driver", "Wedge", "Wedge"});
    QTableView& grid = *view.TableView();
    // The last shot is the active, selected row.
    EXPECT_EQ(view.SelectedRows(), std::vector<int>{7});

    QItemSelection rows;
    for (int modelRow : {1, 3, 4, 6})
        rows.select(view.Model()->index(modelRow, 0), view.Model()->index(modelRow, 27));
    grid.selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(view.SelectedRows(), (std::vector<int>{2, 4, 5, 7}));
    t.table.DeleteSelected();
    EXPECT_EQ(testing::Layout(t.table), "[Driver 3] 2 [Wedge 2] 1");
    // The group row stays, selected as it was, also through a reset of the grid (an empty
    // bulk add) that leaves no active row to select.
    EXPECT_EQ(view.SelectedRows(), std::vector<int>{3});
    t.table.BeginBulkAdd();
    t.table.EndBulkAdd();
    EXPECT_EQ(view.SelectedRows(), std::vector<int>{3});

    const QModelIndex plot = view.Model()->index(1, data::kPlotColumn);
    grid.edit(plot);
    auto* combo = qobject_cast<QComboBox*>(grid.indexWidget(plot));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->count(), 6);
    combo->setCurrentIndex(3);
    emit combo->activated(3);
    EXPECT_EQ(t.table.Cell(2, data::kPlotColumn), "Green (3)");
    // A group row's bare "None" is the list's "None (0)".
    const QModelIndex groupPlot = view.Model()->index(0, data::kPlotColumn);
    grid.edit(groupPlot);
    combo = qobject_cast<QComboBox*>(grid.indexWidget(groupPlot));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentText(), "None (0)");
}

}  // namespace
}  // namespace kyvern::ui
