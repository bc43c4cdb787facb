#pragma once

#include <QFrame>
#include <QString>
#include <string>
#include <utility>
#include <vector>

class QLabel;
class QGridLayout;

namespace kyvern::ui {

// One of the three information panels under the views (ball, club, flight): a title and rows
// of a name and a figure, in the font colour the settings give as a number.
class InfoPanel final : public QFrame {
    Q_OBJECT
public:
    explicit InfoPanel(const QString& title, QWidget* parent = nullptr);

    // A putt's flight panel is its roll.
    void SetTitle(const QString& title);
    QString Title() const;
    // Names and figures, row by row; rows beyond the list are emptied.
    void SetRows(const std::vector<std::pair<QString, QString>>& rows);
    // The text colour; the background is the printed panels' one behind it.
    void SetColour(const QColor& colour);
    QString Figure(int row) const;
    QColor TextColour() const { return colour_; }

private:
    QLabel* title_;
    QGridLayout* grid_;
    std::vector<std::pair<QLabel*, QLabel*>> rows_;
    QColor colour_;
};

}  // namespace kyvern::ui
