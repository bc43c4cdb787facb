#pragma once

#include <QWidget>
#include <vector>

#include "data/shot_table.h"

class QTableView;

namespace kyvern::ui {

class ShotTableModel;

// The "Shots" view: the shot table in a grid with the Plot column as a drop-down, rows selected
// whole (several at once, for "Delete Record"), column widths kept in GridSetup. The grid's
// selection is the table's: whatever the user selects is what DeleteSelected removes.
class ShotsView final : public QWidget {
    Q_OBJECT
public:
    explicit ShotsView(data::ShotTable& table, QWidget* parent = nullptr);
    ~ShotsView() override;

    QTableView* TableView() const { return view_; }
    ShotTableModel* Model() const { return model_; }

    // GridSetup's widths (twips) into the table and onto the columns; a column without one
    // gets the width its header and its usual texts need. Done once when the view is made.
    void LoadWidths();
    // The columns' widths as the user left them into the table and GridSetup.
    void SaveWidths();
    // The selected rows by table row number, ascending; group rows among them are never
    // deleted.
    std::vector<int> SelectedRows() const;

private:
    int ToPixels(int twips) const;
    int ToTwips(int pixels) const;
    int FittedWidth(int column) const;
    void ApplyWidths();
    void ApplyWidth(int column);
    void CopySelectionToTable();
    void CopySelectionFromTable();
    void ShowActiveRow(int tableRow);

    data::ShotTable& table_;
    ShotTableModel* model_;
    QTableView* view_;
    bool syncing_ = false;  // a change that the other side made: not copied back
};

}  // namespace kyvern::ui
