#include "ui/info_panel.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "report/panel_drawing.h"

namespace kyvern::ui {

InfoPanel::InfoPanel(const QString& title, QWidget* parent)
    : QFrame(parent), title_(new QLabel(title, this)), grid_(new QGridLayout) {
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    layout->addWidget(title_);
    layout->addLayout(grid_);
    layout->addStretch(1);
    grid_->setHorizontalSpacing(12);
    grid_->setVerticalSpacing(1);
    SetColour(Qt::black);
}

void InfoPanel::SetTitle(const QString& title) { title_->setText(title); }

QString InfoPanel::Title() const { return title_->text(); }

void InfoPanel::SetRows(const std::vector<std::pair<QString, QString>>& rows) {
    while (rows_.size() < rows.size()) {
        const int r = static_cast<int>(rows_.size());
        auto* name = new QLabel(this);
        auto* figure = new QLabel(this);
        figure->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid_->addWidget(name, r, 0);
        grid_->addWidget(figure, r, 1);
        rows_.emplace_back(name, figure);
    }
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        rows_[r].first->setText(r < rows.size() ? rows[r].first : QString());
        rows_[r].second->setText(r < rows.size() ? rows[r].second : QString());
    }
}

void InfoPanel::SetColour(const QColor& colour) {
    colour_ = colour;
    QPalette p = palette();
    p.setColor(QPalette::Window, report::PanelBackground(colour_));
    p.setColor(QPalette::WindowText, colour_);
    setPalette(p);
}

QString InfoPanel::Figure(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
    return rows_[static_cast<std::size_t>(row)].second->text();
}

}  // namespace kyvern::ui
