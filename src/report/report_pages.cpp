#include "report/report_pages.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "base/config_store.h"
#include "data/text_format.h"
#include "report/downrange_drawing.h"
#include "report/green_drawing.h"
#include "report/history_drawing.h"
#include "report/impact_drawing.h"
#include "report/panel_drawing.h"
#include "report/profile_drawing.h"
#include "report/shot_drawing.h"
#include "shot/text_formats.h"
#include "shot/units.h"

namespace kyvern::report {
namespace {

struct ReportInfo {
    ReportBit bit;
    const char* label;
    const char* name;
    base::MessageId text;
};
constexpr std::array<ReportInfo, 10> kReports{{
    {kPracticeRangeReport, "Practice Range Report", "practice-range",
     base::MessageId::kReportPracticeRange},
    {kShotAnalysisReport, "Shot Analysis Report", "shot-analysis",
     base::MessageId::kReportShotAnalysis},
    {kShotsReport, "Shots Report", "shots", base::MessageId::kReportShots},
    {kShotsSummaryReport, "Shots Summary Report", "shots-summary",
     base::MessageId::kReportShotsSummary},
    {kShotsProfileReport, "Shots Profile Report", "shots-profile",
     base::MessageId::kReportShotsProfile},
    {kImpactReport, "Club/Ball Impact Report", "impact", base::MessageId::kReportImpact},
    {kBallImageReport, "Ball Image Report", "ball-image", base::MessageId::kReportBallImage},
    {kBagTagReport, "Bag Tag Report", "bag-tag", base::MessageId::kReportBagTag},
    {kHistoryReport, "History Report", "history", base::MessageId::kReportHistory},
    {kPrinterReport, "Printer Report", "printer", base::MessageId::kReportPrinter},
}};

const QColor kGroupRowFill(255, 255, 128);

// Device pixels per millimetre of the page.
double PerMm(const QPaintDevice& device) { return device.logicalDpiY() / 25.4; }
double PerMm(const QPainter& painter) { return PerMm(*painter.device()); }

// One report as pages: how many it needs in the body rectangle and each page's drawing.
class Layout {
public:
    virtual ~Layout() = default;
    // The smallest body (mm) the report can be laid out in.
    virtual QSizeF MinimumMm() const = 0;
    virtual int Pages(const QPaintDevice& device, const QRectF& body) = 0;
    virtual void Draw(QPainter& painter, const QRectF& body, int page) = 0;
};

// The session's player, session and units, as the first shot row holds them.
QString SessionLine(const data::ShotTable* table) {
    if (!table) return {};
    for (int row = 1; row < table->RowCount(); ++row) {
        if (table->IsGroupRow(row)) continue;
        return QStringLiteral("Player: %1     Session: %2     Units: %3")
            .arg(QString::fromStdString(table->Cell(row, data::kUserColumn)))
            .arg(QString::fromStdString(table->Cell(row, data::kSessionColumn)))
            .arg(QString::fromStdString(table->Cell(row, data::kUnitsColumn)));
    }
    return QStringLiteral("No shots in this session");
}

// A report's title line over its body; returns the rest of the body.
QRectF Titled(QPainter& painter, const QRectF& body, const QString& title, const QString& line) {
    const double mm = PerMm(painter);
    painter.setPen(QColor(20, 20, 20));
    painter.setFont(DrawingFont(4.2 * mm, true));
    DrawTextAt(painter, body.topLeft(), Qt::AlignLeft | Qt::AlignTop, title);
    double top = body.top() + 6.5 * mm;
    if (!line.isEmpty()) {
        painter.setFont(DrawingFont(2.8 * mm));
        painter.setPen(QColor(70, 70, 70));
        DrawTextAt(painter, QPointF(body.left(), top), Qt::AlignLeft | Qt::AlignTop, line);
        top += 5.0 * mm;
    }
    return QRectF(body.left(), top, body.width(), body.bottom() - top);
}

// The shot table as pages: rows of the table (all, or the group rows only) in chosen columns,
// the header row repeated on every page, group rows in the table's light yellow.
class TableLayout : public Layout {
public:
    TableLayout(const data::ShotTable* table, bool groupsOnly, QString title)
        : table_(table), title_(std::move(title)) {
        if (groupsOnly) {
            columns_ = {data::kItemColumn,      data::kGroupCountColumn, data::kGroupScoreColumn,
                        data::kShotScoreColumn, data::kBallSpeedColumn,  data::kLaunchAngleColumn,
                        data::kBackSpinColumn,  data::kSideSpinColumn,   data::kClubSpeedColumn,
                        data::kCarryColumn,     data::kOfflineColumn,    data::kTotalColumn,
                        data::kMaxHeightColumn};
        } else {
            columns_ = {data::kItemColumn,      data::kShotColumn,         data::kGroupScoreColumn,
                        data::kShotScoreColumn, data::kBallSpeedColumn,    data::kLaunchAngleColumn,
                        data::kTotalSpinColumn, data::kBackSpinColumn,     data::kSideSpinColumn,
                        data::kSideAngleColumn, data::kClubSpeedColumn,    data::kCarryColumn,
                        data::kOfflineColumn,   data::kFlightTimeColumn,   data::kTotalColumn,
                        data::kMaxHeightColumn, data::kAttackColumn,       data::kPathAngleColumn,
                        data::kFaceAngleColumn, data::kEffectiveLoftColumn};
        }
        for (int row = 1; table_ && row < table_->RowCount(); ++row) {
            if (!groupsOnly || table_->IsGroupRow(row)) rows_.push_back(row);
        }
    }
    QSizeF MinimumMm() const override { return {120.0, 60.0}; }

    int Pages(const QPaintDevice& device, const QRectF& body) override {
        Measure(device, body);
        return std::max(1, static_cast<int>((rows_.size() + perPage_ - 1) / perPage_));
    }

    void Draw(QPainter& painter, const QRectF& body, int page) override {
        Measure(*painter.device(), body);
        QRectF area = Titled(painter, body, title_, SessionLine(table_));
        painter.setFont(DrawingFont(fontPx_, true));
        double x = area.left();
        const double headerHeight = rowHeight_ * 2.2;
        painter.fillRect(QRectF(area.left(), area.top(), tableWidth_, headerHeight),
                         QColor(225, 230, 238));
        painter.setPen(QColor(20, 20, 20));
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            painter.drawText(QRectF(x, area.top(), widths_[c], headerHeight),
                             Qt::AlignCenter | Qt::TextWordWrap, Header(columns_[c]));
            x += widths_[c];
        }
        double y = area.top() + headerHeight;
        painter.setFont(DrawingFont(fontPx_));
        const std::size_t first = static_cast<std::size_t>(page) * perPage_;
        for (std::size_t i = first; i < std::min(rows_.size(), first + perPage_); ++i) {
            const int row = rows_[i];
            const QRectF line(area.left(), y, tableWidth_, rowHeight_);
            if (table_->IsGroupRow(row)) {
                painter.fillRect(line, kGroupRowFill);
                painter.setFont(DrawingFont(fontPx_, true));
            } else {
                painter.setFont(DrawingFont(fontPx_));
            }
            x = area.left();
            for (std::size_t c = 0; c < columns_.size(); ++c) {
                const int align = columns_[c] == data::kItemColumn ? Qt::AlignLeft : Qt::AlignRight;
                painter.drawText(QRectF(x + pad_, y, widths_[c] - 2 * pad_, rowHeight_),
                                 align | Qt::AlignVCenter, Text(row, columns_[c]));
                x += widths_[c];
            }
            painter.setPen(QPen(QColor(200, 200, 200), 0));
            painter.drawLine(line.bottomLeft(), line.bottomRight());
            painter.setPen(QColor(20, 20, 20));
            y += rowHeight_;
        }
        if (rows_.empty()) {
            painter.setPen(QColor(110, 110, 110));
            DrawTextAt(painter, QPointF(area.left(), y + rowHeight_), Qt::AlignLeft | Qt::AlignTop,
                       QStringLiteral("No shots in this session"));
        }
        const bool doubtful = std::any_of(
            rows_.begin() + static_cast<std::ptrdiff_t>(first),
            rows_.begin() + static_cast<std::ptrdiff_t>(std::min(rows_.size(), first + perPage_)),
            [this](int row) { return table_->SpinDoubtful(row); });
        if (doubtful) {
            painter.setPen(QColor(70, 70, 70));
            DrawTextAt(painter, QPointF(area.left(), y + rowHeight_ * 0.4),
                       Qt::AlignLeft | Qt::AlignTop, TextOf(base::MessageId::kSpinDoubtfulNote));
        }
    }

private:
    QString Header(int column) const {
        if (column == data::kGroupCountColumn) return QStringLiteral("Shots");
        return QString::fromStdString(table_->Cell(0, column));
    }
    QString Text(int row, int column) const {
        // A group row's shot column holds the mean shot number; the report shows the count.
        if (column == data::kShotColumn && table_->IsGroupRow(row))
            return QString::fromStdString(table_->Cell(row, data::kGroupCountColumn)) +
                   QStringLiteral(" shots");
        QString text = QString::fromStdString(table_->Cell(row, column));
        if (table_->IsDoubtfulCell(row, column)) text += '?';
        return text;
    }

    // Column widths from the widest text at a reference size, then one scale to the body's width.
    void Measure(const QPaintDevice& device, const QRectF& body) {
        if (measured_ == body.size()) return;
        measured_ = body.size();
        const double mm = PerMm(device);
        const double reference = 2.6 * mm;
        const QFont font = DrawingFont(reference, true);
        const QFontMetricsF metrics(font, &device);
        widths_.assign(columns_.size(), 0.0);
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            for (const QString& word : Header(columns_[c]).split(' '))
                widths_[c] = std::max(widths_[c], metrics.horizontalAdvance(word));
            for (int row : rows_)
                widths_[c] =
                    std::max(widths_[c], metrics.horizontalAdvance(Text(row, columns_[c])));
            widths_[c] += reference * 1.3;
        }
        double total = 0.0;
        for (double w : widths_)
            total += w;
        const double scale = std::min(1.0, body.width() / total);
        for (double& w : widths_)
            w *= scale;
        tableWidth_ = total * scale;
        fontPx_ = reference * scale;
        pad_ = reference * 0.4 * scale;
        rowHeight_ = fontPx_ * 1.7;
        // Room for the line that explains a doubtful spin's mark.
        const bool doubtful = std::any_of(rows_.begin(), rows_.end(),
                                          [this](int row) { return table_->SpinDoubtful(row); });
        const double free =
            body.height() - 11.5 * mm - rowHeight_ * 2.2 - (doubtful ? rowHeight_ * 1.5 : 0.0);
        perPage_ = std::max<std::size_t>(1, static_cast<std::size_t>(free / rowHeight_));
    }

    const data::ShotTable* table_;
    QString title_;
    std::vector<int> columns_;
    std::vector<int> rows_;
    QSizeF measured_;
    std::vector<double> widths_;
    double tableWidth_ = 0.0;
    double fontPx_ = 1.0;
    double pad_ = 0.0;
    double rowHeight_ = 1.0;
    std::size_t perPage_ = 1;
};

// A page given to one picture under the report's title.
class PictureLayout : public Layout {
public:
    PictureLayout(QSizeF minimum, std::function<void(QPainter&, const QRectF&)> draw)
        : minimum_(minimum), draw_(std::move(draw)) {}
    QSizeF MinimumMm() const override { return minimum_; }
    int Pages(const QPaintDevice&, const QRectF&) override { return 1; }
    void Draw(QPainter& painter, const QRectF& body, int) override { draw_(painter, body); }

private:
    QSizeF minimum_;
    std::function<void(QPainter&, const QRectF&)> draw_;
};

// The mean carry and total of each item, on a card the size of a bag tag.
void DrawBagTag(QPainter& painter, const QRectF& body, const SessionPicture& session,
                const data::ShotTable* table) {
    const double mm = PerMm(painter);
    QSizeF card(90.0 * mm, 60.0 * mm);
    card.scale(body.size() - QSizeF(0, 2 * mm), Qt::KeepAspectRatio);
    if (card.width() > 90.0 * mm) card = QSizeF(90.0 * mm, 60.0 * mm);
    const QRectF tag(body.topLeft() + QPointF(0, 2 * mm), card);
    const double k = card.width() / (90.0 * mm);  // the card's own scale
    painter.setPen(QPen(QColor(120, 120, 120), 0.3 * mm, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(tag, 3 * mm * k, 3 * mm * k);
    const QRectF inner = tag.adjusted(4 * mm * k, 3.5 * mm * k, -4 * mm * k, -3 * mm * k);
    painter.setPen(QColor(20, 20, 20));
    painter.setFont(DrawingFont(3.6 * mm * k, true));
    DrawTextAt(painter, inner.topLeft(), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("My yardages"));
    QString player;
    QString footer;
    for (int row = 1; table && row < table->RowCount() && player.isEmpty(); ++row) {
        if (table->IsGroupRow(row)) continue;
        player = QString::fromStdString(table->Cell(row, data::kUserColumn));
        const std::string& when = table->Cell(row, data::kWhenColumn);
        footer = QString::fromStdString(table->Cell(row, data::kSessionColumn) + ", " +
                                        when.substr(0, when.find(' ')));
    }
    painter.setFont(DrawingFont(2.2 * mm * k));
    painter.setPen(QColor(90, 90, 90));
    DrawTextAt(painter, inner.bottomLeft(), Qt::AlignLeft | Qt::AlignBottom, footer);
    painter.setPen(QColor(20, 20, 20));
    painter.setFont(DrawingFont(2.6 * mm * k));
    DrawTextAt(painter, inner.topRight(), Qt::AlignRight | Qt::AlignTop, player);

    const QString unit = QString::fromUtf8(shot::DistanceLabel(session.distanceUnit));
    const double top = inner.top() + 7 * mm * k;
    const int items = std::max<int>(1, static_cast<int>(session.items.size()));
    const double rowHeight =
        std::min(5.5 * mm * k, (inner.bottom() - 4 * mm * k - top) / (items + 1));
    const double font = std::min(3.0 * mm * k, rowHeight * 0.62);
    const double carryX = inner.left() + inner.width() * 0.72;
    const double totalX = inner.right();
    painter.setFont(DrawingFont(font * 0.85, true));
    painter.setPen(QColor(80, 80, 80));
    double y = top + rowHeight / 2;
    DrawTextAt(painter, QPointF(inner.left(), y), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Club"));
    DrawTextAt(painter, QPointF(carryX, y), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Carry (%1)").arg(unit));
    DrawTextAt(painter, QPointF(totalX, y), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Total (%1)").arg(unit));
    painter.setPen(QPen(QColor(150, 150, 150), 0));
    painter.drawLine(QPointF(inner.left(), top + rowHeight),
                     QPointF(inner.right(), top + rowHeight));
    for (int item = 0; item < static_cast<int>(session.items.size()); ++item) {
        double carry = 0.0;
        double total = 0.0;
        int count = 0;
        for (const SessionShot& s : session.shots) {
            // A putt's roll is no yardage.
            if (s.itemIndex != item || s.launch.putt) continue;
            carry += s.carry;
            total += s.total;
            ++count;
        }
        if (count == 0) continue;
        y += rowHeight;
        if (y > inner.bottom()) break;
        painter.setPen(QColor(20, 20, 20));
        painter.setFont(DrawingFont(font, true));
        DrawTextAt(painter, QPointF(inner.left(), y), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(session.items[item]));
        painter.setFont(DrawingFont(font));
        DrawTextAt(
            painter, QPointF(carryX, y), Qt::AlignRight | Qt::AlignVCenter,
            QString::number(shot::ToDisplayDistance(carry / count, session.distanceUnit), 'f', 0));
        DrawTextAt(
            painter, QPointF(totalX, y), Qt::AlignRight | Qt::AlignVCenter,
            QString::number(shot::ToDisplayDistance(total / count, session.distanceUnit), 'f', 0));
    }
}

// The player's stored history: the gapping of every club, the trend of one value, and the
// sessions it comes from.
void DrawHistoryReport(QPainter& painter, const QRectF& body, const store::PlayerHistory& history) {
    const double mm = PerMm(painter);
    const QRectF area =
        Titled(painter, body, QStringLiteral("History Report"),
               QStringLiteral("Player: %1     Sessions: %2     Shots: %3     Units: %4")
                   .arg(QString::fromStdString(history.player))
                   .arg(history.sessions.size())
                   .arg(history.shots)
                   .arg(QString::fromUtf8(shot::DistanceLabel(history.distanceUnit))));
    const double gap = 4 * mm;
    const double gapping =
        std::min(area.height() * 0.42, std::max(50.0, 25.0 + 12.0 * history.gapping.size()) * mm);
    const double trend = std::min(area.height() * 0.3, area.width() * 0.45);
    DrawGapping(painter, QRectF(area.left(), area.top(), area.width(), gapping), history);
    const double below = area.top() + gapping + gap;
    DrawTrend(painter, QRectF(area.left(), below, area.width(), trend), history);
    const double list = below + trend + gap;
    DrawSessionList(painter, QRectF(area.left(), list, area.width(), area.bottom() - list),
                    history);
}

void DrawPrinterCheck(QPainter& painter, const QRectF& body) {
    const double mm = PerMm(painter);
    QRectF area = Titled(painter, body, QStringLiteral("Printer Report"),
                         QStringLiteral("Printable area %1 \u00d7 %2 mm")
                             .arg(body.width() / mm, 0, 'f', 0)
                             .arg(body.height() / mm, 0, 'f', 0));
    painter.setPen(QPen(QColor(20, 20, 20), 0.3 * mm));
    for (int i = 0; i * 10 * mm <= area.width(); ++i) {
        const double x = area.left() + i * 10 * mm;
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.top() + (i % 5 ? 3 : 6) * mm));
    }
    const QColor patches[] = {Qt::black,
                              QColor(128, 128, 128),
                              QColor(220, 220, 220),
                              Qt::red,
                              Qt::green,
                              Qt::blue,
                              Qt::cyan,
                              Qt::magenta,
                              Qt::yellow};
    double x = area.left();
    for (const QColor& c : patches) {
        painter.fillRect(QRectF(x, area.top() + 10 * mm, 12 * mm, 12 * mm), c);
        x += 14 * mm;
        if (x + 12 * mm > area.right()) break;
    }
}

void DrawBallImage(QPainter& painter, const QRectF& body, const ReportSource& source) {
    const QRectF area = Titled(painter, body, QStringLiteral("Ball Image Report"),
                               QString::fromStdString(source.ballImageCaption));
    QSizeF size = source.ballImage.size();
    size.scale(area.size(), Qt::KeepAspectRatio);
    painter.drawImage(QRectF(area.topLeft(), size), source.ballImage);
}

void DrawImpactReport(QPainter& painter, const QRectF& body, const shot::ShotRecord* shot,
                      const ReportSource& source) {
    const double mm = PerMm(painter);
    QString line;
    if (shot) {
        line = QStringLiteral("%1, shot %2     %3")
                   .arg(QString::fromStdString(shot->item))
                   .arg(shot->shotNumber)
                   .arg(QString::fromStdString(shot->when));
    }
    const QRectF area = Titled(painter, body, QStringLiteral("Club/Ball Impact Report"), line);
    ImpactOptions options = ReadImpactOptions(source.settings);
    options.showNumbers = true;
    options.title = false;
    const double pictureHeight = std::min(area.height() * 0.5, area.width() * 0.5);
    DrawImpact(painter, QRectF(area.left(), area.top(), area.width(), pictureHeight), shot,
               options);
    const auto panels = InfoPanels(shot, source.scoreLabel, source.settings);
    const double gap = 3 * mm;
    const double width = (area.width() - 2 * gap) / 3;
    const double top = area.top() + pictureHeight + gap;
    const double height = std::min(area.bottom() - top, 70 * mm);
    for (int i = 0; i < 3; ++i) {
        PanelText panel = panels[i];
        DrawInfoPanel(painter, QRectF(area.left() + i * (width + gap), top, width, height), panel);
    }
}

// The session's latest shots as a list, as many as fit, under the practice range.
void DrawShotList(QPainter& painter, const QRectF& rect, const data::ShotTable* table) {
    if (!table) return;
    const double mm = PerMm(painter);
    constexpr int kColumns[] = {data::kItemColumn,      data::kShotColumn,
                                data::kBallSpeedColumn, data::kLaunchAngleColumn,
                                data::kBackSpinColumn,  data::kSideSpinColumn,
                                data::kCarryColumn,     data::kOfflineColumn,
                                data::kTotalColumn,     data::kMaxHeightColumn};
    constexpr int kCount = static_cast<int>(std::size(kColumns));
    const double rowHeight = 4.5 * mm;
    const double width = rect.width() / kCount;
    std::vector<int> rows;
    for (int row = 1; row < table->RowCount(); ++row) {
        if (!table->IsGroupRow(row)) rows.push_back(row);
    }
    const int fit = std::max(0, static_cast<int>(rect.height() / rowHeight) - 1);
    const std::size_t first = rows.size() > static_cast<std::size_t>(fit) ? rows.size() - fit : 0;
    painter.fillRect(QRectF(rect.left(), rect.top(), rect.width(), rowHeight),
                     QColor(225, 230, 238));
    painter.setPen(QColor(20, 20, 20));
    painter.setFont(DrawingFont(2.4 * mm, true));
    for (int c = 0; c < kCount; ++c)
        painter.drawText(QRectF(rect.left() + c * width, rect.top(), width, rowHeight),
                         Qt::AlignCenter, QString::fromStdString(table->Cell(0, kColumns[c])));
    painter.setFont(DrawingFont(2.4 * mm));
    double y = rect.top() + rowHeight;
    for (std::size_t i = first; i < rows.size(); ++i) {
        for (int c = 0; c < kCount; ++c) {
            const std::string text = kColumns[c] == data::kItemColumn
                                         ? table->ItemOf(rows[i])
                                         : table->Cell(rows[i], kColumns[c]);
            painter.drawText(QRectF(rect.left() + c * width, y, width, rowHeight), Qt::AlignCenter,
                             QString::fromStdString(text));
        }
        y += rowHeight;
    }
}

// The pages of the whole job, and the decoration of each.
struct PlannedReport {
    ReportBit bit;
    std::unique_ptr<Layout> layout;
    int pages = 0;
};

void DecoratePage(QPainter& painter, const QRectF& page, double band, const QString& date,
                  int number, int count) {
    painter.save();
    painter.setPen(QColor(30, 30, 30));
    painter.setFont(DrawingFont(band * 0.38, true));
    DrawTextAt(painter, QPointF(page.left(), page.top() + band * 0.4),
               Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(kProductTitle));
    painter.setFont(DrawingFont(band * 0.34));
    DrawTextAt(painter, QPointF(page.right(), page.top() + band * 0.4),
               Qt::AlignRight | Qt::AlignVCenter, date);
    painter.setPen(QPen(QColor(150, 150, 150), 0));
    painter.drawLine(QPointF(page.left(), page.top() + band * 0.8),
                     QPointF(page.right(), page.top() + band * 0.8));
    painter.drawLine(QPointF(page.left(), page.bottom() - band * 0.8),
                     QPointF(page.right(), page.bottom() - band * 0.8));
    char text[64];
    std::snprintf(text, sizeof text, "Page %ld of %ld", static_cast<long>(number),
                  static_cast<long>(count));
    painter.setPen(QColor(30, 30, 30));
    DrawTextAt(painter, QPointF(page.center().x(), page.bottom() - band * 0.35),
               Qt::AlignHCenter | Qt::AlignVCenter, QString::fromLatin1(text));
    painter.restore();
}

}  // namespace

std::vector<ReportBit> ReportsInOrder(unsigned bits) {
    std::vector<ReportBit> order;
    for (ReportBit bit : kPrintOrder) {
        if (bits & bit) order.push_back(bit);
    }
    return order;
}

const char* ReportLabel(ReportBit report) {
    for (const ReportInfo& r : kReports) {
        if (r.bit == report) return r.label;
    }
    return "";
}

base::MessageId ReportText(ReportBit report) {
    for (const ReportInfo& r : kReports) {
        if (r.bit == report) return r.text;
    }
    return base::MessageId::kReportPrinter;
}

const char* ReportName(ReportBit report) {
    for (const ReportInfo& r : kReports) {
        if (r.bit == report) return r.name;
    }
    return "";
}

unsigned ReportOfName(std::string_view name) {
    for (const ReportInfo& r : kReports) {
        if (base::EqualsNoCase(name, r.name)) return r.bit;
    }
    return 0;
}

unsigned AvailableReports(const ReportSource& source) {
    unsigned bits = kShotsReport | kShotsSummaryReport | kShotsProfileReport | kImpactReport |
                    kBagTagReport | kPrinterReport;
    if (!source.ballImage.isNull()) bits |= kBallImageReport;
    if (source.practiceRange) bits |= kPracticeRangeReport;
    if (source.shotAnalysis) bits |= kShotAnalysisReport;
    if (source.history) bits |= kHistoryReport;
    return bits;
}

PrintOutcome PrintReports(QPagedPaintDevice& device, unsigned bits, const ReportSource& source,
                          base::UserPrompts& prompts) {
    PrintOutcome outcome;
    const unsigned available = AvailableReports(source);
    outcome.unavailable = bits & ~available &
                          (kPracticeRangeReport | kShotAnalysisReport | kShotsReport |
                           kShotsSummaryReport | kShotsProfileReport | kImpactReport |
                           kBallImageReport | kBagTagReport | kHistoryReport | kPrinterReport);

    // What every report draws from, made once for the job.
    const SessionPicture session =
        source.table ? CollectSession(*source.table, source.settings) : SessionPicture{};
    std::optional<shot::ShotRecord> current = source.currentShot;
    if (!current && source.table && source.table->CurrentRow() >= 1)
        current = ShotOfRow(*source.table, source.table->CurrentRow(), source.settings);
    const shot::ShotRecord* shot = current ? &*current : nullptr;
    const bool nothingPlotted = std::none_of(session.shots.begin(), session.shots.end(),
                                             [](const SessionShot& s) { return s.plotColour; });
    const SessionPicture everyFlight = nothingPlotted && source.table
                                           ? CollectSession(*source.table, source.settings, true)
                                           : SessionPicture{};

    std::vector<PlannedReport> plan;
    for (ReportBit bit : ReportsInOrder(bits & available)) {
        std::unique_ptr<Layout> layout;
        switch (bit) {
            case kBagTagReport:
                layout = std::make_unique<PictureLayout>(
                    QSizeF(60, 40), [&](QPainter& p, const QRectF& body) {
                        DrawBagTag(p, body, session, source.table);
                    });
                break;
            case kPracticeRangeReport:
                layout = std::make_unique<PictureLayout>(
                    QSizeF(120, 100), [&](QPainter& p, const QRectF& body) {
                        const QRectF area = Titled(p, body, QStringLiteral("Practice Range Report"),
                                                   SessionLine(source.table));
                        const double mm = PerMm(p);
                        const QRectF range(area.left(), area.top(), area.width(),
                                           std::min(area.height() * 0.55, area.width() * 0.7));
                        source.practiceRange(p, range);
                        DrawShotList(p,
                                     QRectF(area.left(), range.bottom() + 4 * mm, area.width(),
                                            area.bottom() - range.bottom() - 4 * mm),
                                     source.table);
                    });
                break;
            case kShotAnalysisReport:
                layout = std::make_unique<PictureLayout>(
                    QSizeF(120, 100), [&](QPainter& p, const QRectF& body) {
                        const QRectF area =
                            Titled(p, body, QStringLiteral("Shot Analysis Report"), QString());
                        source.shotAnalysis(p, area);
                    });
                break;
            case kShotsReport:
            case kShotsSummaryReport:
                layout = std::make_unique<TableLayout>(source.table, bit == kShotsSummaryReport,
                                                       QString::fromUtf8(ReportLabel(bit)));
                break;
            case kShotsProfileReport:
                layout = std::make_unique<PictureLayout>(
                    QSizeF(120, 120), [&](QPainter& p, const QRectF& body) {
                        const QRectF area = Titled(p, body, QStringLiteral("Shots Profile Report"),
                                                   SessionLine(source.table));
                        const double mm = PerMm(p);
                        // Putts are shown apart, on their green below the full shots.
                        const bool putts = HasPutts(session);
                        const double gap = 4 * mm;
                        const double split =
                            putts ? (area.height() - 2 * gap) / 3 : area.height() * 0.5;
                        ProfileOptions options;
                        options.everyShot = nothingPlotted;
                        SessionPicture spare;
                        DrawProfile(p, QRectF(area.left(), area.top(), area.width(), split),
                                    FullShotsOf(nothingPlotted ? everyFlight : session, spare),
                                    options);
                        const double below = area.top() + split + gap;
                        const double height = putts ? split : area.bottom() - below;
                        DrawDownRange(p, QRectF(area.left(), below, area.width(), height),
                                      FullShotsOf(session, spare));
                        if (putts)
                            DrawGreen(p,
                                      QRectF(area.left(), below + height + gap, area.width(),
                                             area.bottom() - below - height - gap),
                                      PuttsOf(nothingPlotted ? everyFlight : session, spare));
                    });
                break;
            case kHistoryReport:
                layout = std::make_unique<PictureLayout>(
                    QSizeF(120, 150), [&](QPainter& p, const QRectF& body) {
                        DrawHistoryReport(p, body, *source.history);
                    });
                break;
            case kImpactReport:
                layout = std::make_unique<PictureLayout>(
                    QSizeF(120, 100), [&](QPainter& p, const QRectF& body) {
                        DrawImpactReport(p, body, shot, source);
                    });
                break;
            case kBallImageReport:
                layout = std::make_unique<PictureLayout>(
                    QSizeF(80, 70),
                    [&](QPainter& p, const QRectF& body) { DrawBallImage(p, body, source); });
                break;
            case kPrinterReport:
                layout = std::make_unique<PictureLayout>(
                    QSizeF(50, 40),
                    [&](QPainter& p, const QRectF& body) { DrawPrinterCheck(p, body); });
                break;
        }
        plan.push_back(PlannedReport{bit, std::move(layout), 0});
    }
    if (plan.empty()) return outcome;

    // The plan is made on the device's metrics before anything is painted, so that a job with
    // nothing that fits leaves the device untouched.
    const double mm = PerMm(device);
    const QRectF page(0, 0, device.width(), device.height());
    const double band = std::min(10.0 * mm, page.height() * 0.08);
    const QRectF body = page.adjusted(0, band * 1.1, 0, -band * 1.1);
    int total = 0;
    for (PlannedReport& p : plan) {
        const QSizeF minimum = p.layout->MinimumMm() * mm;
        if (body.width() < minimum.width() || body.height() < minimum.height()) {
            outcome.tooSmall |= p.bit;
            continue;
        }
        p.pages = p.layout->Pages(device, body);
        total += p.pages;
    }
    if (outcome.tooSmall) prompts.Message(kPaperTooSmall);
    if (total == 0) return outcome;
    QPainter painter;
    if (!painter.begin(&device)) return outcome;
    const QString date = QString::fromStdString(
        shot::FormatTimeStamp(source.printedAt ? source.printedAt : std::time(nullptr)));
    int number = 0;
    for (PlannedReport& p : plan) {
        for (int i = 0; i < p.pages; ++i) {
            if (number > 0) device.newPage();
            ++number;
            DecoratePage(painter, page, band, date, number, total);
            painter.save();
            p.layout->Draw(painter, body, i);
            painter.restore();
        }
        if (p.pages > 0) outcome.printed |= p.bit;
    }
    painter.end();
    outcome.pages = number;
    return outcome;
}

}  // namespace kyvern::report
