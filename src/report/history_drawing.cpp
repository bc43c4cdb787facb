#include "report/history_drawing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <ctime>

#include "report/shot_drawing.h"
#include "shot/units.h"

namespace kyvern::report {
namespace {

const QColor kInk(30, 30, 30);
const QColor kGrid(215, 215, 215);
const QColor kQuiet(110, 110, 110);

void DrawEmpty(QPainter& painter, const QRectF& rect, double textSize, const QString& text) {
    painter.setFont(DrawingFont(textSize * 1.1));
    painter.setPen(kQuiet);
    DrawTextAt(painter, rect.center(), Qt::AlignCenter, text);
}

QString PlayerOrAnyone(const store::PlayerHistory& history) {
    return history.player.empty() ? QStringLiteral("this player")
                                  : QString::fromStdString(history.player);
}

QString Number(double value, int decimals) { return QString::number(value, 'f', decimals); }

}  // namespace

QString TrendTitle(const std::string& valueName) {
    QString title;
    bool start = true;
    for (char c : valueName) {
        if (c == '_') {
            title += ' ';
            start = true;
            continue;
        }
        title += start ? QChar(c).toUpper() : QChar(c);
        start = false;
    }
    return title;
}

QString SessionDate(std::int64_t timeMs) {
    const std::time_t t = static_cast<std::time_t>(timeMs / 1000);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%d %b %Y", &local);
    return QString::fromLatin1(text);
}

double GappingFrame::X(double yards) const {
    return plot.left() + shot::ToDisplayDistance(yards, distanceUnit) / maxDistance * plot.width();
}

double GappingFrame::RowY(int row) const { return plot.top() + (row + 0.5) * rowHeight; }

GappingFrame GappingLayout(const QRectF& rect, const store::PlayerHistory& history) {
    GappingFrame frame;
    frame.distanceUnit = history.distanceUnit;
    double farthest = shot::ToDisplayDistance(50.0, history.distanceUnit);
    for (const store::GappingRow& row : history.gapping)
        farthest = std::max(farthest, shot::ToDisplayDistance(
                                          std::max(row.total.mean, row.carry.mean + row.carry.sd),
                                          history.distanceUnit));
    frame.step = NiceStep(farthest, 6);
    // Room beyond the longest bar for its figures.
    frame.maxDistance = std::ceil(farthest * 1.18 / frame.step) * frame.step;
    const double left = rect.width() * 0.2;
    const double top = rect.height() * 0.13;
    const double bottom = rect.height() * 0.1;
    frame.plot = QRectF(rect.left() + left, rect.top() + top,
                        rect.width() - left - rect.width() * 0.03, rect.height() - top - bottom);
    const int rows = std::max<int>(1, static_cast<int>(history.gapping.size()));
    frame.rowHeight = frame.plot.height() / rows;
    return frame;
}

void DrawGapping(QPainter& painter, const QRectF& rect, const store::PlayerHistory& history) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect, Qt::white);
    // A chart of few clubs is wide and low: its text follows the width.
    const ViewScale view = ScaleOf(
        QRectF(rect.topLeft(), QSizeF(rect.width(), std::max(rect.height(), rect.width() / 2))),
        0.022);
    const QString unit = QString::fromUtf8(shot::DistanceLabel(history.distanceUnit));
    DrawViewTitle(painter, rect, view.textSize,
                  QStringLiteral("Gapping: carry and total (%1)").arg(unit));
    if (history.gapping.empty()) {
        DrawEmpty(painter, rect, view.textSize,
                  QStringLiteral("No full shots stored for %1").arg(PlayerOrAnyone(history)));
        painter.restore();
        return;
    }
    const GappingFrame frame = GappingLayout(rect, history);
    const double u = frame.maxDistance / frame.plot.width();  // display unit per pixel

    painter.setFont(DrawingFont(view.textSize));
    for (double d = 0; d <= frame.maxDistance + 1e-9; d += frame.step) {
        const double x = frame.plot.left() + d / u;
        painter.setPen(QPen(kGrid, view.line));
        painter.drawLine(QPointF(x, frame.plot.top()), QPointF(x, frame.plot.bottom()));
        painter.setPen(kQuiet);
        DrawTextAt(painter, QPointF(x, frame.plot.bottom() + view.textSize * 0.4),
                   Qt::AlignHCenter | Qt::AlignTop, Number(d, 0));
    }

    const double bar = std::min(frame.rowHeight * 0.55, view.textSize * 2.2);
    for (int i = 0; i < static_cast<int>(history.gapping.size()); ++i) {
        const store::GappingRow& row = history.gapping[static_cast<std::size_t>(i)];
        const double y = frame.RowY(i);
        const QColor colour = ItemColour(i);
        const double x0 = frame.X(0);
        const double xCarry = frame.X(row.carry.mean);
        const double xTotal = frame.X(std::max(row.total.mean, row.carry.mean));
        QColor roll = colour;
        roll.setAlphaF(0.3);
        painter.setPen(Qt::NoPen);
        painter.setBrush(roll);
        painter.drawRect(QRectF(xCarry, y - bar / 2, xTotal - xCarry, bar));
        painter.setBrush(colour);
        painter.drawRect(QRectF(x0, y - bar / 2, xCarry - x0, bar));
        // The spread of the carry: one standard deviation each way.
        if (row.count > 1) {
            const double a = frame.X(row.carry.mean - row.carry.sd);
            const double b = frame.X(row.carry.mean + row.carry.sd);
            painter.setPen(QPen(kInk, view.line * 1.3));
            painter.drawLine(QPointF(a, y), QPointF(b, y));
            painter.drawLine(QPointF(a, y - bar * 0.35), QPointF(a, y + bar * 0.35));
            painter.drawLine(QPointF(b, y - bar * 0.35), QPointF(b, y + bar * 0.35));
        }
        painter.setPen(kInk);
        painter.setFont(DrawingFont(view.textSize, true));
        DrawTextAt(painter,
                   QPointF(frame.plot.left() - view.textSize * 0.6, y - view.textSize * 0.1),
                   Qt::AlignRight | Qt::AlignBottom, QString::fromStdString(row.item));
        painter.setFont(DrawingFont(view.textSize * 0.85));
        painter.setPen(kQuiet);
        DrawTextAt(painter,
                   QPointF(frame.plot.left() - view.textSize * 0.6, y + view.textSize * 0.1),
                   Qt::AlignRight | Qt::AlignTop,
                   QStringLiteral("%1 shot%2").arg(row.count).arg(row.count == 1 ? "" : "s"));
        painter.setPen(kInk);
        painter.setFont(DrawingFont(view.textSize));
        const double carry = shot::ToDisplayDistance(row.carry.mean, history.distanceUnit);
        const double total = shot::ToDisplayDistance(row.total.mean, history.distanceUnit);
        const double sd = shot::ToDisplayDistance(row.carry.sd, history.distanceUnit);
        DrawTextAt(
            painter,
            QPointF(std::max(xTotal, frame.X(row.carry.mean + row.carry.sd)) + view.textSize * 0.5,
                    y),
            Qt::AlignLeft | Qt::AlignVCenter,
            QStringLiteral("%1 / %2  \u00b1%3")
                .arg(Number(carry, 0), Number(total, 0), Number(sd, 0)));
        // What a fitter looks for: the step in carry from the club above.
        if (i > 0) {
            const double gap = shot::ToDisplayDistance(
                history.gapping[static_cast<std::size_t>(i - 1)].carry.mean - row.carry.mean,
                history.distanceUnit);
            painter.setPen(kQuiet);
            painter.setFont(DrawingFont(view.textSize * 0.8));
            DrawTextAt(painter, QPointF(xCarry, y - frame.rowHeight / 2),
                       Qt::AlignHCenter | Qt::AlignVCenter,
                       QStringLiteral("\u2212%1").arg(Number(gap, 0)));
        }
    }
    painter.setPen(QPen(kQuiet, view.line));
    painter.drawLine(frame.plot.bottomLeft(), frame.plot.bottomRight());
    painter.drawLine(frame.plot.bottomLeft(), frame.plot.topLeft());
    painter.restore();
}

QPointF TrendFrame::Map(int index, double displayValue) const {
    const double x =
        points <= 1 ? plot.center().x() : plot.left() + plot.width() * index / (points - 1);
    return QPointF(x, plot.bottom() - (displayValue - low) / (high - low) * plot.height());
}

TrendFrame TrendLayout(const QRectF& rect, const store::PlayerHistory& history) {
    TrendFrame frame;
    const store::TrendValue* value = store::FindTrendValue(history.trendValue);
    if (value) {
        const store::TrendDisplay display =
            store::DisplayOf(*value, history.distanceUnit, history.speedUnit);
        frame.scale = display.scale;
        frame.unit = QString::fromStdString(display.unit);
    }
    frame.points = static_cast<int>(history.trend.size());
    double low = 0, high = 0;
    bool first = true;
    for (const store::TrendPoint& p : history.trend) {
        const double a = (p.value.mean - p.value.sd) * frame.scale;
        const double b = (p.value.mean + p.value.sd) * frame.scale;
        low = first ? a : std::min(low, a);
        high = first ? b : std::max(high, b);
        first = false;
    }
    if (high - low < 1e-9) low -= 1, high += 1;
    frame.step = NiceStep(high - low, 5);
    frame.low = std::floor(low / frame.step) * frame.step;
    frame.high = std::ceil(high / frame.step) * frame.step;
    if (frame.high - frame.low < frame.step) frame.high = frame.low + frame.step;
    const double left = rect.width() * 0.1;
    const double right = rect.width() * 0.07;  // room for the last date
    const double top = rect.height() * 0.16;
    const double bottom = rect.height() * 0.16;
    frame.plot = QRectF(rect.left() + left, rect.top() + top, rect.width() - left - right,
                        rect.height() - top - bottom);
    return frame;
}

void DrawTrend(QPainter& painter, const QRectF& rect, const store::PlayerHistory& history) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect, Qt::white);
    const ViewScale view = ScaleOf(rect, 0.025);
    const TrendFrame frame = TrendLayout(rect, history);
    QString title = TrendTitle(history.trendValue);
    if (!frame.unit.isEmpty()) title += QStringLiteral(" (%1)").arg(frame.unit);
    title +=
        history.trendItem.empty()
            ? QStringLiteral(" per session, every club")
            : QStringLiteral(" per session, %1").arg(QString::fromStdString(history.trendItem));
    DrawViewTitle(painter, rect, view.textSize, title);
    if (history.trend.empty()) {
        DrawEmpty(painter, rect, view.textSize,
                  QStringLiteral("No shots with a %1 stored for %2")
                      .arg(TrendTitle(history.trendValue).toLower(), PlayerOrAnyone(history)));
        painter.restore();
        return;
    }
    const int decimals = frame.step < 0.1 ? 2 : frame.step < 1 ? 1 : 0;
    painter.setFont(DrawingFont(view.textSize));
    for (double v = frame.low; v <= frame.high + frame.step * 1e-6; v += frame.step) {
        const double y = frame.Map(0, v).y();
        painter.setPen(QPen(kGrid, view.line));
        painter.drawLine(QPointF(frame.plot.left(), y), QPointF(frame.plot.right(), y));
        painter.setPen(kQuiet);
        DrawTextAt(painter, QPointF(frame.plot.left() - view.textSize * 0.5, y),
                   Qt::AlignRight | Qt::AlignVCenter, Number(v, decimals));
    }
    // Dates under the axis, as many as have room.
    const double labelWidth =
        QFontMetricsF(DrawingFont(view.textSize)).horizontalAdvance(QStringLiteral("00 Mar 0000 "));
    const int every = std::max(
        1, static_cast<int>(std::ceil(
               labelWidth / std::max(1.0, frame.plot.width() / std::max(1, frame.points)))));
    QPolygonF line;
    for (int i = 0; i < frame.points; ++i) {
        const store::TrendPoint& p = history.trend[static_cast<std::size_t>(i)];
        line << frame.Map(i, p.value.mean * frame.scale);
        if ((frame.points - 1 - i) % every == 0) {
            painter.setPen(kQuiet);
            DrawTextAt(painter, QPointF(line.back().x(), frame.plot.bottom() + view.textSize * 0.4),
                       Qt::AlignHCenter | Qt::AlignTop, SessionDate(p.firstMs));
        }
    }
    const QColor colour = ItemColour(0);
    painter.setPen(QPen(colour, view.line * 1.5));
    painter.drawPolyline(line);
    const double cap = view.textSize * 0.4;
    for (int i = 0; i < frame.points; ++i) {
        const store::TrendPoint& p = history.trend[static_cast<std::size_t>(i)];
        if (p.count > 1) {
            const QPointF a = frame.Map(i, (p.value.mean - p.value.sd) * frame.scale);
            const QPointF b = frame.Map(i, (p.value.mean + p.value.sd) * frame.scale);
            painter.setPen(QPen(kInk, view.line));
            painter.drawLine(a, b);
            painter.drawLine(a - QPointF(cap, 0), a + QPointF(cap, 0));
            painter.drawLine(b - QPointF(cap, 0), b + QPointF(cap, 0));
        }
        painter.setPen(QPen(Qt::white, view.line));
        painter.setBrush(colour);
        painter.drawEllipse(line[i], view.textSize * 0.45, view.textSize * 0.45);
    }
    painter.setPen(QPen(kQuiet, view.line));
    painter.drawLine(frame.plot.bottomLeft(), frame.plot.bottomRight());
    painter.drawLine(frame.plot.bottomLeft(), frame.plot.topLeft());
    painter.restore();
}

void DrawSessionList(QPainter& painter, const QRectF& rect, const store::PlayerHistory& history) {
    painter.save();
    const ViewScale view =
        ScaleOf(QRectF(rect.topLeft(), QSizeF(rect.width(), rect.width() * 0.6)), 0.02);
    const double rowHeight = view.textSize * 1.6;
    const double dateX = rect.left();
    const double nameX = rect.left() + rect.width() * 0.22;
    const double shotsX = rect.right();
    painter.setFont(DrawingFont(view.textSize, true));
    painter.setPen(kInk);
    double y = rect.top() + rowHeight / 2;
    DrawTextAt(painter, QPointF(dateX, y), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Date"));
    DrawTextAt(painter, QPointF(nameX, y), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Session"));
    DrawTextAt(painter, QPointF(shotsX, y), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Shots"));
    painter.setPen(QPen(kQuiet, view.line));
    painter.drawLine(QPointF(rect.left(), y + rowHeight / 2),
                     QPointF(rect.right(), y + rowHeight / 2));
    const int room = std::max(1, static_cast<int>((rect.height() - rowHeight) / rowHeight) - 1);
    const int count = static_cast<int>(history.sessions.size());
    const int first = std::max(0, count - room);
    painter.setFont(DrawingFont(view.textSize));
    painter.setPen(kInk);
    if (first > 0) {
        y += rowHeight;
        painter.setPen(kQuiet);
        DrawTextAt(painter, QPointF(dateX, y), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("\u2026 and %1 earlier session%2")
                       .arg(first)
                       .arg(first == 1 ? "" : "s"));
        painter.setPen(kInk);
    }
    if (count == 0) {
        y += rowHeight;
        painter.setPen(kQuiet);
        DrawTextAt(painter, QPointF(dateX, y), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("No sessions stored for %1").arg(PlayerOrAnyone(history)));
    }
    for (int i = first; i < count; ++i) {
        const store::SessionSummary& s = history.sessions[static_cast<std::size_t>(i)];
        y += rowHeight;
        DrawTextAt(painter, QPointF(dateX, y), Qt::AlignLeft | Qt::AlignVCenter,
                   SessionDate(s.firstMs));
        DrawTextAt(painter, QPointF(nameX, y), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(s.session));
        DrawTextAt(painter, QPointF(shotsX, y), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(s.shots));
    }
    painter.restore();
}

}  // namespace kyvern::report
