#include "report/green_drawing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <vector>

#include "report/downrange_drawing.h"
#include "report/panel_drawing.h"
#include "report/profile_drawing.h"
#include "shot/text_formats.h"
#include "shot/units.h"

namespace kyvern::report {
namespace {

constexpr double kPi = 3.14159265358979323846;
const QColor kFringe(112, 168, 92);
const QColor kSurface(146, 200, 120);
const QColor kStripe(136, 192, 110);

// A green is read in feet, or in metres by those who read the course so.
int GreenUnit(int distanceUnit) {
    return distanceUnit == shot::kMeters ? shot::kMeters : shot::kFeet;
}

const SessionPicture& Filtered(const SessionPicture& session, SessionPicture& spare, bool putts) {
    const bool mixed = std::any_of(session.shots.begin(), session.shots.end(),
                                   [&](const SessionShot& s) { return s.launch.putt != putts; });
    if (!mixed) return session;
    spare.items = session.items;
    spare.distanceUnit = session.distanceUnit;
    spare.speedUnit = session.speedUnit;
    spare.green = session.green;
    spare.shots.clear();
    spare.current = -1;
    for (const SessionShot& s : session.shots) {
        if (s.launch.putt != putts) continue;
        if (s.current) spare.current = static_cast<int>(spare.shots.size());
        spare.shots.push_back(s);
    }
    return spare;
}

// The distance a putt rolled along its path, in yards.
double RolledYards(const SessionShot& s) {
    return s.flight && s.flight->roll > 0.0 ? s.flight->roll : s.total;
}

// The path a putt took on the green (feet, x downrange, z right): the kept one, or straight
// out to its resting point.
std::vector<QPointF> PathOf(const SessionShot& s) {
    std::vector<QPointF> path;
    if (s.flight && s.flight->pointCount >= 2) {
        for (int i = 0; i < s.flight->pointCount; ++i)
            path.emplace_back(s.flight->pointX[i], s.flight->pointZ[i]);
        return path;
    }
    const QPointF rest = TotalPoint(s) * 3.0;
    path = {QPointF(0.0, 0.0), rest};
    return path;
}

// A ball on the green: white with a ring.
void DrawBall(QPainter& painter, const QPointF& at, double radius, const QColor& ring,
              double line) {
    painter.setPen(QPen(ring, line));
    painter.setBrush(Qt::white);
    painter.drawEllipse(at, radius, radius);
}

// The text of a distance on the green: "12.3 ft".
QString Distance(double yards, int unit) {
    return QStringLiteral("%1 %2")
        .arg(shot::ToDisplayDistance(yards, unit), 0, 'f', 1)
        .arg(QString::fromUtf8(shot::DistanceLabel(unit)));
}

QString Offline(double yards, int unit) {
    return QString::fromStdString(
        OfflineWithUnit(shot::ToDisplayDistance(yards, unit), shot::DistanceLabel(unit)));
}

}  // namespace

QPointF GreenFrame::Map(double downrangeFeet, double offlineFeet) const {
    return QPointF(start.x() + FeetToDisplay(offlineFeet, unit) * sideScale,
                   start.y() - FeetToDisplay(downrangeFeet, unit) * scale);
}

GreenFrame GreenLayout(const QRectF& rect, const SessionPicture& session) {
    GreenFrame frame;
    frame.unit = GreenUnit(session.distanceUnit);
    // At least 10 ft long and 2 ft either side, so that a tap-in still shows a green.
    double farthest = FeetToDisplay(10.0, frame.unit);
    double widest = FeetToDisplay(2.0, frame.unit);
    for (const SessionShot& s : session.shots) {
        for (const QPointF& p : PathOf(s)) {
            farthest = std::max(farthest, FeetToDisplay(p.x(), frame.unit));
            widest = std::max(widest, FeetToDisplay(std::fabs(p.y()), frame.unit) * 1.3);
        }
    }
    // The sideways scale is wider, so that a break shows, but not so wide that a straight putt
    // looks crooked.
    widest = std::max(widest, farthest / 8.0);
    const double left = rect.width() * 0.07;
    const double right = rect.width() * 0.02;
    const double top = rect.height() * 0.1;
    const double bottom = rect.height() * 0.11;
    frame.plot = QRectF(rect.left() + left, rect.top() + top, rect.width() - left - right,
                        rect.height() - top - bottom);
    frame.step = NiceStep(farthest, 5);
    frame.maxDownrange = std::ceil(farthest * 1.12 / frame.step) * frame.step;
    frame.scale = frame.plot.height() / frame.maxDownrange;
    frame.sideStep = NiceStep(widest, 3);
    frame.halfWidth = std::ceil(widest / frame.sideStep) * frame.sideStep;
    frame.sideScale = frame.plot.width() / 2 / frame.halfWidth;
    frame.start =
        QPointF(frame.plot.center().x(), frame.plot.bottom() - frame.plot.height() * 0.03);
    return frame;
}

bool CurrentIsPutt(const SessionPicture& session) {
    const SessionShot* c = session.Current();
    return c && c->launch.putt;
}

bool HasPutts(const SessionPicture& session) {
    return std::any_of(session.shots.begin(), session.shots.end(),
                       [](const SessionShot& s) { return s.launch.putt; });
}

const SessionPicture& FullShotsOf(const SessionPicture& session, SessionPicture& spare) {
    return Filtered(session, spare, false);
}

const SessionPicture& PuttsOf(const SessionPicture& session, SessionPicture& spare) {
    return Filtered(session, spare, true);
}

double PuttBreak(double totalYards, double totalOfflineYards, double sideAngle) {
    const double downrange =
        std::sqrt(std::max(0.0, totalYards * totalYards - totalOfflineYards * totalOfflineYards));
    const double line = sideAngle * kPi / 180.0;
    return totalOfflineYards * std::cos(line) - downrange * std::sin(line);
}

void DrawGreen(QPainter& painter, const QRectF& rect, const SessionPicture& session, bool title) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setClipRect(rect);
    painter.fillRect(rect, Qt::white);
    const GreenFrame frame = GreenLayout(rect, session);
    const QRectF& plot = frame.plot;
    const auto [textSize, line] = ScaleOf(rect, 0.024);
    const QString label = QString::fromUtf8(shot::DistanceLabel(frame.unit));
    auto toFeet = [&](double display) {
        return shot::FromDisplayDistance(display, frame.unit) * 3.0;
    };

    // The fringe, the putting surface in mown stripes, and a line at every step.
    painter.fillRect(plot, kFringe);
    const QRectF surface = plot.adjusted(textSize * 0.6, textSize * 0.6, -textSize * 0.6, 0.0);
    painter.fillRect(surface, kSurface);
    painter.setFont(DrawingFont(textSize));
    for (double d = 0.0; d < frame.maxDownrange; d += frame.step) {
        const double y0 = frame.Map(toFeet(d), 0.0).y();
        const double y1 = frame.Map(toFeet(d + frame.step), 0.0).y();
        if (static_cast<int>(std::lround(d / frame.step)) % 2 == 1)
            painter.fillRect(QRectF(QPointF(surface.left(), std::max(y1, surface.top())),
                                    QPointF(surface.right(), std::min(y0, surface.bottom()))),
                             kStripe);
    }
    for (double d = frame.step; d < frame.maxDownrange; d += frame.step) {
        const double y = frame.Map(toFeet(d), 0.0).y();
        painter.setPen(QPen(QColor(255, 255, 255, 150), line));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(QColor(60, 60, 60));
        DrawTextAt(painter, QPointF(plot.left() - textSize * 0.3, y),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(d, 'g', 4));
    }
    painter.setPen(QPen(QColor(255, 255, 255, 170), line, Qt::DashLine));
    painter.drawLine(frame.start, QPointF(frame.start.x(), plot.top()));
    painter.setPen(QColor(60, 60, 60));
    DrawOfflineTicks(
        painter, frame.halfWidth, frame.sideStep,
        [&](double o) { return frame.Map(0.0, toFeet(o)).x(); }, plot.bottom() + textSize * 0.4);
    DrawTextAt(painter, QPointF(plot.center().x(), plot.bottom() + textSize * 1.9),
               Qt::AlignHCenter | Qt::AlignTop,
               TextOf(base::MessageId::kDrawOfflineAxis).arg(label).arg(frame.step, 0, 'g', 4));
    if (title) DrawViewTitle(painter, rect, textSize, base::MessageId::kDrawGreenTitle, session);

    painter.setClipRect(plot);
    // The way the green falls: an arrow in the top right corner, and its slope.
    const flight::Green& green = session.green;
    if (green.slopePercent > 0.0) {
        const double a = green.slopeDirection * kPi / 180.0;
        const QPointF centre(plot.right() - textSize * 3.2, plot.top() + textSize * 3.0);
        const QPointF towards(std::sin(a), -std::cos(a));  // 0 points up the screen
        const double arm = textSize * 1.6;
        const QPointF tip = centre + towards * arm;
        const QPointF tail = centre - towards * arm;
        const QPointF across(-towards.y(), towards.x());
        painter.setPen(QPen(Qt::white, line * 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(tail, tip);
        painter.setBrush(Qt::white);
        painter.drawPolygon(QPolygonF{tip, tip - towards * textSize * 0.7 + across * textSize * 0.4,
                                      tip - towards * textSize * 0.7 - across * textSize * 0.4});
        painter.setFont(DrawingFont(textSize * 0.9, true));
        DrawTextAt(painter, centre + QPointF(0, arm + textSize * 0.5),
                   Qt::AlignHCenter | Qt::AlignTop,
                   TextOf(base::MessageId::kDrawGreenSlope).arg(green.slopePercent, 0, 'f', 1));
    }

    // Every putt's path and resting point, the current one last and on top.
    const double ball = std::max(2.5, line * 3.0);
    auto pathOf = [&](const SessionShot& s) {
        QPainterPath path;
        const std::vector<QPointF> points = PathOf(s);
        path.moveTo(frame.Map(points[0].x(), points[0].y()));
        for (std::size_t i = 1; i < points.size(); ++i)
            path.lineTo(frame.Map(points[i].x(), points[i].y()));
        return path;
    };
    for (const SessionShot& s : session.shots) {
        if (s.current) continue;
        const QColor colour = ItemColour(s.itemIndex);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(colour.lighter(140), line * 0.8));
        painter.drawPath(pathOf(s));
        const QPointF rest = TotalPoint(s) * 3.0;
        DrawBall(painter, frame.Map(rest.x(), rest.y()), ball, colour.darker(120), line);
    }
    if (const SessionShot* c = session.Current()) {
        const QPointF rest = TotalPoint(*c) * 3.0;
        const QPointF restAt = frame.Map(rest.x(), rest.y());
        // The start line, as far as the putt rolled.
        const double along = RolledYards(*c) * 3.0;
        const double a = c->launch.sideAngle * kPi / 180.0;
        painter.setPen(QPen(QColor(255, 255, 255, 220), line * 1.2, Qt::DashLine));
        painter.drawLine(frame.start, frame.Map(along * std::cos(a), along * std::sin(a)));
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(kCurrentShotColour, line * 2.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawPath(pathOf(*c));
        DrawBall(painter, restAt, ball * 1.4, kCurrentShotColour, line * 1.5);

        // Its roll and break in a box beside the resting point.
        painter.setFont(DrawingFont(textSize, true));
        const QString text =
            QStringLiteral("%1, %2 %3")
                .arg(Distance(RolledYards(*c), frame.unit))
                .arg(TextOf(base::MessageId::kPanelBreak))
                .arg(
                    Offline(PuttBreak(c->total, c->totalOffline, c->launch.sideAngle), frame.unit));
        const QFontMetricsF metrics(painter.font(), painter.device());
        const double width = metrics.horizontalAdvance(text) + textSize;
        const double height = metrics.height() + textSize * 0.4;
        const bool leftSide = restAt.x() > plot.center().x();
        const double x = leftSide ? restAt.x() - ball * 3 - width : restAt.x() + ball * 3;
        const double y = std::clamp(restAt.y() - height / 2, plot.top() + textSize * 0.3,
                                    plot.bottom() - height - textSize * 0.3);
        const QRectF box(std::clamp(x, plot.left() + 2.0, plot.right() - width - 2.0), y, width,
                         height);
        painter.setPen(QPen(kCurrentShotColour, line));
        painter.setBrush(QColor(255, 255, 255, 230));
        painter.drawRoundedRect(box, textSize * 0.3, textSize * 0.3);
        painter.setPen(QColor(20, 20, 20));
        painter.drawText(box, Qt::AlignCenter, text);
    } else if (session.shots.empty()) {
        painter.setFont(DrawingFont(textSize * 1.2));
        painter.setPen(QColor(40, 60, 40));
        DrawTextAt(painter, plot.center(), Qt::AlignCenter, TextOf(base::MessageId::kDrawNoPutt));
    }
    DrawBall(painter, frame.start, ball, QColor(60, 60, 60), line);

    // Legend: each item's putts, mean roll and sideways spread of the resting points.
    painter.setFont(DrawingFont(textSize * 0.9));
    std::vector<int> listed;
    for (int item = 0; item < static_cast<int>(session.items.size()); ++item) {
        if (std::any_of(session.shots.begin(), session.shots.end(),
                        [&](const SessionShot& s) { return s.itemIndex == item; }))
            listed.push_back(item);
    }
    double y = plot.bottom() - textSize * (0.9 + 1.35 * (static_cast<int>(listed.size()) - 1));
    for (int item : listed) {
        int count = 0;
        double roll = 0.0;
        double offline = 0.0;
        for (const SessionShot& s : session.shots) {
            if (s.itemIndex != item) continue;
            ++count;
            roll += RolledYards(s);
            offline += s.totalOffline;
        }
        roll /= count;
        offline /= count;
        double spread = 0.0;
        for (const SessionShot& s : session.shots) {
            if (s.itemIndex == item)
                spread += (s.totalOffline - offline) * (s.totalOffline - offline);
        }
        spread = count > 1 ? std::sqrt(spread / (count - 1)) : 0.0;
        const QPointF swatch(plot.left() + textSize * 0.9, y);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ItemColour(item));
        painter.drawEllipse(swatch, ball, ball);
        painter.setPen(QColor(20, 20, 20));
        DrawTextAt(painter, swatch + QPointF(textSize * 0.8, 0), Qt::AlignLeft | Qt::AlignVCenter,
                   TextOf(base::MessageId::kDrawPuttSummary)
                       .arg(QString::fromStdString(session.items[item]))
                       .arg(count)
                       .arg(shot::ToDisplayDistance(roll, frame.unit), 0, 'f', 1)
                       .arg(label)
                       .arg(shot::ToDisplayDistance(spread, frame.unit), 0, 'f', 1));
        y += textSize * 1.35;
    }
    painter.restore();
}

void DrawGreenProfile(QPainter& painter, const QRectF& rect, const SessionPicture& session,
                      bool title) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setClipRect(rect);
    painter.fillRect(rect, Qt::white);
    const int unit = GreenUnit(session.distanceUnit);
    const bool metric = unit == shot::kMeters;
    // Heights on a green are read in inches (centimetres).
    const double perFoot = metric ? 30.48 : 12.0;
    const QString heightLabel = metric ? QStringLiteral("cm") : QStringLiteral("in");
    const QString label = QString::fromUtf8(shot::DistanceLabel(unit));
    const auto [textSize, line] = ScaleOf(rect, 0.026);

    // The current putt's path as distance along it and the green's height there (feet).
    const SessionShot* c = session.Current();
    std::vector<QPointF> profile;
    if (c && c->launch.putt) {
        const flight::Green& green = session.green;
        const double fall = green.slopeDirection * kPi / 180.0;
        const double grade = green.slopePercent / 100.0;
        double along = 0.0;
        const std::vector<QPointF> path = PathOf(*c);
        for (std::size_t i = 0; i < path.size(); ++i) {
            if (i > 0)
                along += std::hypot(path[i].x() - path[i - 1].x(), path[i].y() - path[i - 1].y());
            const double rise =
                -grade * (path[i].x() * std::cos(fall) + path[i].y() * std::sin(fall));
            profile.emplace_back(along, rise);
        }
    }
    double farthest = FeetToDisplay(10.0, unit);
    double tallest = 2.0;  // in or cm
    for (const QPointF& p : profile) {
        farthest = std::max(farthest, FeetToDisplay(p.x(), unit));
        tallest = std::max(tallest, std::fabs(p.y()) * perFoot * 1.3);
    }
    const double step = NiceStep(farthest, 6);
    const double maxAlong = std::ceil(farthest * 1.06 / step) * step;
    const double heightStep = NiceStep(tallest, 2);
    const double maxHeight = std::ceil(tallest / heightStep) * heightStep;
    const double left = rect.width() * 0.08;
    const double right = rect.width() * 0.03;
    const double top = rect.height() * (title ? 0.14 : 0.06);
    const double bottom = rect.height() * 0.13;
    const QRectF plot(rect.left() + left, rect.top() + top, rect.width() - left - right,
                      rect.height() - top - bottom);
    auto map = [&](double alongFeet, double riseFeet) {
        return QPointF(plot.left() + FeetToDisplay(alongFeet, unit) / maxAlong * plot.width(),
                       plot.center().y() - riseFeet * perFoot / maxHeight * plot.height() / 2);
    };

    // Sky above the green's surface, the surface in its own green, heights and distances.
    painter.fillRect(plot, QColor(236, 244, 250));
    QPainterPath ground;
    const double endFeet = shot::FromDisplayDistance(maxAlong, unit) * 3.0;
    const double endRise = profile.empty() ? 0.0 : profile.back().y();
    ground.moveTo(plot.bottomLeft());
    ground.lineTo(map(0.0, 0.0));
    for (const QPointF& p : profile)
        ground.lineTo(map(p.x(), p.y()));
    ground.lineTo(map(endFeet, endRise));
    ground.lineTo(plot.bottomRight());
    ground.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(kSurface);
    painter.drawPath(ground);
    painter.setFont(DrawingFont(textSize));
    painter.setPen(QColor(60, 60, 60));
    for (double d = 0.0; d <= maxAlong + 1e-9; d += step) {
        const double x = plot.left() + d / maxAlong * plot.width();
        DrawTextAt(painter, QPointF(x, plot.bottom() + textSize * 0.5),
                   Qt::AlignHCenter | Qt::AlignTop, QString::number(d, 'g', 4));
    }
    for (double h = -maxHeight; h <= maxHeight + 1e-9; h += heightStep) {
        const double y = plot.center().y() - h / maxHeight * plot.height() / 2;
        painter.setPen(QPen(QColor(190, 200, 210, 160), line * 0.5));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(QColor(60, 60, 60));
        DrawTextAt(painter, QPointF(plot.left() - textSize * 0.4, y),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(h, 'g', 4));
    }
    DrawTextAt(painter, QPointF(plot.center().x(), plot.bottom() + textSize * 2.0),
               Qt::AlignHCenter | Qt::AlignTop,
               TextOf(base::MessageId::kPlotDownrange).replace(QStringLiteral("%s"), label));
    DrawTextAt(painter, QPointF(plot.left(), plot.top() - textSize * 0.4),
               Qt::AlignLeft | Qt::AlignBottom,
               TextOf(base::MessageId::kPlotHeight).replace(QStringLiteral("%s"), heightLabel));
    if (title) DrawViewTitle(painter, rect, textSize, base::MessageId::kDrawGreenTitle, session);

    painter.setClipRect(plot);
    if (profile.empty()) {
        painter.setFont(DrawingFont(textSize * 1.2));
        painter.setPen(QColor(40, 60, 40));
        DrawTextAt(painter, plot.center(), Qt::AlignCenter, TextOf(base::MessageId::kDrawNoPutt));
        painter.restore();
        return;
    }
    QPainterPath roll;
    roll.moveTo(map(profile[0].x(), profile[0].y()));
    for (const QPointF& p : profile)
        roll.lineTo(map(p.x(), p.y()));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kCurrentShotColour, line * 3.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(roll);
    const double ball = std::max(3.0, line * 3.5);
    const QPointF restAt = map(profile.back().x(), profile.back().y());
    DrawBall(painter, map(0.0, 0.0) - QPointF(0, ball), ball, QColor(60, 60, 60), line);
    DrawBall(painter, restAt - QPointF(0, ball * 1.3), ball * 1.3, kCurrentShotColour, line * 1.5);
    painter.setFont(DrawingFont(textSize, true));
    painter.setPen(QColor(20, 20, 20));
    const double change = profile.back().y() * perFoot;
    const QString text = QStringLiteral("%1 %2 \u00b7 %3 s \u00b7 ")
                             .arg(TextOf(base::MessageId::kPanelRoll))
                             .arg(Distance(RolledYards(*c), unit))
                             .arg(c->flight ? c->flight->flightTime : 0.0, 0, 'f', 1) +
                         TextOf(base::MessageId::kDrawHeightChange)
                             .arg((change >= 0.05 ? QStringLiteral("+") : QString()) +
                                  QString::number(change, 'f', 1))
                             .arg(heightLabel);
    DrawTextAt(painter, plot.topLeft() + QPointF(textSize * 0.8, textSize * 0.8),
               Qt::AlignLeft | Qt::AlignTop, text);
    painter.restore();
}

void DrawSideView(QPainter& painter, const QRectF& rect, const SessionPicture& session) {
    if (CurrentIsPutt(session)) return DrawGreenProfile(painter, rect, session);
    SessionPicture spare;
    DrawProfile(painter, rect, FullShotsOf(session, spare));
}

void DrawTopView(QPainter& painter, const QRectF& rect, const SessionPicture& session) {
    SessionPicture spare;
    if (CurrentIsPutt(session)) return DrawGreen(painter, rect, PuttsOf(session, spare));
    DrawDownRange(painter, rect, FullShotsOf(session, spare));
}

}  // namespace kyvern::report
