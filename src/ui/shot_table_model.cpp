#include "ui/shot_table_model.h"

#include <QColor>
#include <QFont>
#include <algorithm>

#include "base/string_table.h"

namespace kyvern::ui {

namespace {

bool Numeric(int column) {
    return column == data::kShotColumn ||
           (column >= data::kGroupScoreColumn && column <= data::kMaxHeightColumn) ||
           column >= data::kAttackColumn;
}

QString Text(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

ShotTableModel::ShotTableModel(data::ShotTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {
    table_.AddListener(this);
}

ShotTableModel::~ShotTableModel() { table_.RemoveListener(this); }

int ShotTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max(table_.RowCount() - 1, 0);
}

int ShotTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : data::kColumnCount;
}

QVariant ShotTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const int row = TableRow(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return Text(table_.Cell(row, index.column()));
        case Qt::BackgroundRole:
            if (const std::optional<data::Rgb> paint = table_.Background(row)) {
                return QColor(paint->red, paint->green, paint->blue);
            }
            return {};
        // A spin too doubtful to pass on shows as such, its figure kept for the record.
        case Qt::ForegroundRole:
            if (table_.IsDoubtfulCell(row, index.column())) return QColor(150, 150, 150);
            return {};
        case Qt::FontRole:
            if (table_.IsDoubtfulCell(row, index.column())) {
                QFont italic;
                italic.setItalic(true);
                return italic;
            }
            return {};
        case Qt::ToolTipRole:
            if (table_.IsDoubtfulCell(row, index.column()))
                return QString::fromUtf8(base::Text(base::MessageId::kSpinDoubtfulNote).substr(2));
            return {};
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignVCenter) |
                                       (Numeric(index.column()) ? Qt::AlignRight : Qt::AlignLeft));
        default:
            return {};
    }
}

QVariant ShotTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < data::kColumnCount) {
        return Text(table_.Cell(0, section));
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags ShotTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == data::kPlotColumn) flags |= Qt::ItemIsEditable;
    return flags;
}

bool ShotTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || index.column() != data::kPlotColumn) {
        return false;
    }
    // The table tells the change back through CellsChanged.
    table_.SetCell(TableRow(index.row()), index.column(), value.toString().toStdString());
    return true;
}

void ShotTableModel::RowsAboutToBeInserted(int first, int last) {
    beginInsertRows(QModelIndex(), ModelRow(first), ModelRow(last));
}

void ShotTableModel::RowsInserted(int, int) { endInsertRows(); }

void ShotTableModel::RowsAboutToBeRemoved(int first, int last) {
    beginRemoveRows(QModelIndex(), ModelRow(first), ModelRow(last));
}

void ShotTableModel::RowsRemoved(int, int) { endRemoveRows(); }

void ShotTableModel::CellsChanged(int firstRow, int lastRow) {
    if (firstRow <= 0) {
        emit headerDataChanged(Qt::Horizontal, 0, data::kColumnCount - 1);
        firstRow = 1;
    }
    lastRow = std::min(lastRow, table_.RowCount() - 1);
    if (firstRow > lastRow) return;
    emit dataChanged(index(ModelRow(firstRow), 0),
                     index(ModelRow(lastRow), data::kColumnCount - 1));
}

void ShotTableModel::AboutToReset() { beginResetModel(); }

void ShotTableModel::Reset() { endResetModel(); }

void ShotTableModel::SelectionChanged() { emit TableSelectionChanged(); }

void ShotTableModel::ActiveRowChanged(int row) { emit TableActiveRowChanged(row); }

void ShotTableModel::DeleteLastShotEnabledChanged(bool enabled) {
    emit TableDeleteLastShotEnabledChanged(enabled);
}

void ShotTableModel::ColumnWidthChanged(int column) { emit TableColumnWidthChanged(column); }

void ShotTableModel::SessionCleared() { emit TableSessionCleared(); }

}  // namespace kyvern::ui
