#include "ui/shots_view.h"

#include <QComboBox>
#include <QHeaderView>
#include <QItemSelection>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/shot_table_model.h"

namespace kyvern::ui {

namespace {

// The Plot column's drop-down: the table's own list; a choice is written at once.
class PlotDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* combo = new QComboBox(parent);
        combo->addItems(QString::fromStdString(data::ShotTable::PlotColourList()).split('|'));
        auto* self = const_cast<PlotDelegate*>(this);
        connect(combo, &QComboBox::activated, self, [self, combo] {
            emit self->commitData(combo);
            emit self->closeEditor(combo);
        });
        return combo;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* combo = static_cast<QComboBox*>(editor);
        const QString text = index.data(Qt::EditRole).toString().trimmed();
        int found = combo->findText(text);
        // A group row starts with the bare colour name ("None").
        for (int i = 0; found < 0 && i < combo->count(); ++i) {
            if (combo->itemText(i).section(" (", 0, 0).compare(text, Qt::CaseInsensitive) == 0) {
                found = i;
            }
        }
        combo->setCurrentIndex(found);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        auto* combo = static_cast<QComboBox*>(editor);
        if (combo->currentIndex() >= 0) model->setData(index, combo->currentText());
    }
};

constexpr int kTwipsPerInch = 1440;

}  // namespace

ShotsView::ShotsView(data::ShotTable& table, QWidget* parent)
    : QWidget(parent),
      table_(table),
      model_(new ShotTableModel(table, this)),
      view_(new QTableView(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    view_->setModel(model_);
    view_->setItemDelegateForColumn(data::kPlotColumn, new PlotDelegate(view_));
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                           QAbstractItemView::EditKeyPressed);
    view_->setWordWrap(false);
    view_->setCornerButtonEnabled(false);
    view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // One height for every row: scrolling ten thousand rows never measures a row.
    QHeaderView* rows = view_->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    rows->hide();
    QHeaderView* columns = view_->horizontalHeader();
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignCenter);
    LoadWidths();

    connect(columns, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (syncing_ || size <= 0) return;
        syncing_ = true;
        table_.SetColumnWidth(column, ToTwips(size));
        syncing_ = false;
    });
    connect(model_, &ShotTableModel::TableColumnWidthChanged, this, [this](int column) {
        if (!syncing_) ApplyWidth(column);
    });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ShotsView::CopySelectionToTable);
    connect(model_, &ShotTableModel::TableSelectionChanged, this,
            &ShotsView::CopySelectionFromTable);
    // A reset (a session loaded) empties the grid's selection without a word; the rows the
    // table still holds selected are shown so again, so Delete Record never takes a row the
    // user cannot see selected.
    connect(model_, &QAbstractItemModel::modelReset, this, &ShotsView::CopySelectionFromTable);
    connect(model_, &ShotTableModel::TableActiveRowChanged, this, &ShotsView::ShowActiveRow);
}

ShotsView::~ShotsView() = default;

int ShotsView::ToPixels(int twips) const {
    return static_cast<int>((static_cast<long long>(twips) * logicalDpiX() + kTwipsPerInch / 2) /
                            kTwipsPerInch);
}

int ShotsView::ToTwips(int pixels) const {
    const int dpi = std::max(logicalDpiX(), 1);
    return static_cast<int>((static_cast<long long>(pixels) * kTwipsPerInch + dpi / 2) / dpi);
}

void ShotsView::ApplyWidth(int column) {
    if (column < 0 || column >= data::kColumnCount) return;
    const bool was = syncing_;
    syncing_ = true;
    view_->setColumnHidden(column, table_.IsColumnHidden(column));
    if (!table_.IsColumnHidden(column)) {
        view_->setColumnWidth(column, std::max(ToPixels(table_.ColumnWidth(column)), 1));
    }
    syncing_ = was;
}

void ShotsView::ApplyWidths() {
    for (int c = 0; c < data::kColumnCount; ++c)
        ApplyWidth(c);
}

// What a cell of the column typically holds: a group row's mean and deviation where it has
// them.
const char* SampleText(int column) {
    switch (column) {
        case data::kItemColumn:
            return "Sand Wedge";
        case data::kPlotColumn:
            return "Yellow (4)";
        case data::kGroupScoreColumn:
        case data::kClubMassColumn:
        case data::kClubLoftColumn:
            return "888.8";
        case data::kSessionColumn:
        case data::kUserColumn:
            return "Morning";
        case data::kUnitsColumn:
            return "Meters MPH";
        case data::kWhenColumn:
            return "05/Mar/2024 14:22:05";
        default:
            return "-888.8 (88.8)";
    }
}

int ShotsView::FittedWidth(int column) const {
    const int header = view_->horizontalHeader()->fontMetrics().horizontalAdvance(
        model_->headerData(column, Qt::Horizontal).toString());
    const int cell =
        view_->fontMetrics().horizontalAdvance(QString::fromLatin1(SampleText(column)));
    return std::max(header, cell) + 16;
}

void ShotsView::LoadWidths() {
    syncing_ = true;
    for (int c = 0; c < data::kColumnCount; ++c)
        table_.SetColumnWidth(c, 0);
    syncing_ = false;
    table_.LoadColumnWidths();
    for (int c = 0; c < data::kColumnCount; ++c) {
        if (table_.ColumnWidth(c) <= 0) table_.SetColumnWidth(c, ToTwips(FittedWidth(c)));
    }
    ApplyWidths();
}

void ShotsView::SaveWidths() {
    syncing_ = true;
    for (int c = 0; c < data::kColumnCount; ++c) {
        if (!view_->isColumnHidden(c)) table_.SetColumnWidth(c, ToTwips(view_->columnWidth(c)));
    }
    syncing_ = false;
    table_.SaveColumnWidths();
}

std::vector<int> ShotsView::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows())
        rows.push_back(ShotTableModel::TableRow(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ShotsView::CopySelectionToTable() {
    if (syncing_) return;
    syncing_ = true;
    table_.ClearSelection();
    for (const QItemSelectionRange& range : view_->selectionModel()->selection()) {
        table_.SelectRange(ShotTableModel::TableRow(range.top()),
                           ShotTableModel::TableRow(range.bottom()));
    }
    syncing_ = false;
}

void ShotsView::CopySelectionFromTable() {
    if (syncing_) return;
    syncing_ = true;
    QItemSelection selection;
    const int last = data::kColumnCount - 1;
    for (int r = 1; r < table_.RowCount(); ++r) {
        if (!table_.IsSelected(r)) continue;
        int end = r;
        while (end + 1 < table_.RowCount() && table_.IsSelected(end + 1))
            ++end;
        selection.select(model_->index(ShotTableModel::ModelRow(r), 0),
                         model_->index(ShotTableModel::ModelRow(end), last));
        r = end;
    }
    view_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    syncing_ = false;
}

void ShotsView::ShowActiveRow(int tableRow) {
    if (tableRow < 1 || tableRow >= table_.RowCount()) return;
    const QModelIndex index = model_->index(ShotTableModel::ModelRow(tableRow), 0);
    view_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view_->scrollTo(index);
}

}  // namespace kyvern::ui
