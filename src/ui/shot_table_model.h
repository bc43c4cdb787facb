#pragma once

#include <QAbstractTableModel>

#include "data/shot_table.h"

namespace kyvern::ui {

// The shot table as Qt sees it: model row r is table row r + 1 (the table's row 0 is the
// header). It follows the table through its listener, row by row and cell by cell, so a new
// shot costs the view one inserted row and never a rebuild.
class ShotTableModel final : public QAbstractTableModel, private data::ShotTableListener {
    Q_OBJECT
public:
    explicit ShotTableModel(data::ShotTable& table, QObject* parent = nullptr);
    ~ShotTableModel() override;

    data::ShotTable& Table() const { return table_; }
    static int TableRow(int modelRow) { return modelRow + 1; }
    static int ModelRow(int tableRow) { return tableRow - 1; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Only the plot column takes an edit, and through the table's own cell operation.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    // What the table tells beside its rows and cells; row numbers are the table's.
    void TableActiveRowChanged(int tableRow);
    void TableSelectionChanged();
    void TableColumnWidthChanged(int column);
    void TableDeleteLastShotEnabledChanged(bool enabled);
    void TableSessionCleared();

private:
    void RowsAboutToBeInserted(int first, int last) override;
    void RowsInserted(int first, int last) override;
    void RowsAboutToBeRemoved(int first, int last) override;
    void RowsRemoved(int first, int last) override;
    void CellsChanged(int firstRow, int lastRow) override;
    void AboutToReset() override;
    void Reset() override;
    void SelectionChanged() override;
    void ActiveRowChanged(int row) override;
    void DeleteLastShotEnabledChanged(bool enabled) override;
    void ColumnWidthChanged(int column) override;
    void SessionCleared() override;

    data::ShotTable& table_;
};

}  // namespace kyvern::ui
