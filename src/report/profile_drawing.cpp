#include "report/profile_drawing.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <map>

#include "shot/units.h"

namespace kyvern::report {
namespace {

QColor ShotColour(const SessionShot& s, const ProfileOptions& options) {
    if (s.plotColour != 0) return PlotColour(s.plotColour);
    if (options.everyShot) return ItemColour(s.itemIndex);
    return kCurrentShotColour;
}

// The in-flight part of a trajectory, ending on the ground where the ball lands.
QPainterPath FlightPath(const flight::FlightResult& f, const ProfileFrame& frame) {
    QPainterPath path;
    const int landing = LandingIndex(f);
    path.moveTo(frame.Map(f.pointX[0], f.pointHeight[0]));
    for (int i = 1; i < landing; ++i)
        path.lineTo(frame.Map(f.pointX[i], std::max(0.0, f.pointHeight[i])));
    path.lineTo(frame.Map(LandingPoint(f).x(), 0.0));
    return path;
}

// The bounce and roll after the landing point.
QPainterPath RollPath(const flight::FlightResult& f, const ProfileFrame& frame) {
    QPainterPath path;
    const int landing = LandingIndex(f);
    path.moveTo(frame.Map(LandingPoint(f).x(), 0.0));
    for (int i = landing + 1; i < f.pointCount; ++i)
        path.lineTo(frame.Map(f.pointX[i], std::max(0.0, f.pointHeight[i])));
    return path;
}

}  // namespace

int LandingIndex(const flight::FlightResult& f) {
    for (int i = 1; i < f.pointCount; ++i) {
        if (f.pointHeight[i] <= 0.0) return i;
    }
    return std::max(0, f.pointCount - 1);
}

QPointF LandingPoint(const flight::FlightResult& f) {
    const int k = LandingIndex(f);
    if (k < 1) return QPointF(f.pointX[0], f.pointZ[0]);
    const double above = f.pointHeight[k - 1];
    const double below = f.pointHeight[k];
    const double t = above - below > 1e-12 ? above / (above - below) : 1.0;
    return QPointF(f.pointX[k - 1] + t * (f.pointX[k] - f.pointX[k - 1]),
                   f.pointZ[k - 1] + t * (f.pointZ[k] - f.pointZ[k - 1]));
}

QPointF ProfileFrame::Map(double downrangeFeet, double heightFeet) const {
    const double d = FeetToDisplay(downrangeFeet, distanceUnit);
    const double h = FeetToDisplay(heightFeet, distanceUnit);
    return QPointF(plot.left() + d / maxDownrange * plot.width(),
                   plot.bottom() - h / maxHeight * plot.height());
}

bool ProfileDraws(const SessionShot& s, const ProfileOptions& options) {
    return s.flight && (s.current || s.plotColour != 0 || options.everyShot);
}

ProfileFrame ProfileLayout(const QRectF& rect, const SessionPicture& session,
                           const ProfileOptions& options) {
    ProfileFrame frame;
    frame.distanceUnit = session.distanceUnit;
    double farthest = 0.0;
    double highest = 0.0;
    for (const SessionShot& s : session.shots) {
        if (!ProfileDraws(s, options)) continue;
        for (int i = 0; i < s.flight->pointCount; ++i) {
            farthest = std::max(farthest, s.flight->pointX[i]);
            highest = std::max(highest, s.flight->pointHeight[i]);
        }
    }
    // At least 50 yards by 10 yards, so that an empty session still shows a range.
    const double minimumRange = shot::ToDisplayDistance(50.0, frame.distanceUnit);
    const double minimumHeight = shot::ToDisplayDistance(10.0, frame.distanceUnit);
    const double range = std::max(FeetToDisplay(farthest, frame.distanceUnit), minimumRange);
    const double height = std::max(FeetToDisplay(highest, frame.distanceUnit), minimumHeight);
    frame.downrangeStep = NiceStep(range, 6);
    frame.maxDownrange = std::ceil(range * 1.04 / frame.downrangeStep) * frame.downrangeStep;
    frame.heightStep = NiceStep(height, 4);
    frame.maxHeight = std::ceil(height * 1.15 / frame.heightStep) * frame.heightStep;

    const double left = rect.width() * 0.08;
    const double right = rect.width() * 0.03;
    const double top = rect.height() * (options.title ? 0.14 : 0.06);
    const double bottom = rect.height() * 0.13;
    frame.plot = QRectF(rect.left() + left, rect.top() + top, rect.width() - left - right,
                        rect.height() - top - bottom);
    return frame;
}

void DrawProfile(QPainter& painter, const QRectF& rect, const SessionPicture& session,
                 const ProfileOptions& options) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setClipRect(rect);
    painter.fillRect(rect, Qt::white);
    const ProfileFrame frame = ProfileLayout(rect, session, options);
    const QRectF& plot = frame.plot;
    const auto [textSize, line] = ScaleOf(rect, 0.026);
    const QString label = QString::fromUtf8(shot::DistanceLabel(frame.distanceUnit));

    // Sky, grid and ground.
    QLinearGradient sky(plot.topLeft(), plot.bottomLeft());
    sky.setColorAt(0.0, QColor(214, 232, 248));
    sky.setColorAt(1.0, QColor(246, 250, 253));
    painter.fillRect(plot, sky);
    painter.setPen(QPen(QColor(190, 200, 210), line * 0.5));
    for (double d = frame.downrangeStep; d < frame.maxDownrange - 1e-9; d += frame.downrangeStep) {
        const double x = plot.left() + d / frame.maxDownrange * plot.width();
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    for (double h = frame.heightStep; h < frame.maxHeight - 1e-9; h += frame.heightStep) {
        const double y = plot.bottom() - h / frame.maxHeight * plot.height();
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    painter.setPen(QPen(QColor(150, 160, 170), line * 0.6));
    painter.drawLine(plot.topLeft(), plot.bottomLeft());
    painter.setPen(QPen(QColor(40, 130, 50), line * 2));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());

    // Axis labels: the ground's below the ground line, the heights beside the plot.
    painter.setFont(DrawingFont(textSize));
    painter.setPen(QColor(60, 60, 60));
    for (double d = 0.0; d <= frame.maxDownrange + 1e-9; d += frame.downrangeStep) {
        const double x = plot.left() + d / frame.maxDownrange * plot.width();
        DrawTextAt(painter, QPointF(x, plot.bottom() + textSize * 0.5),
                   Qt::AlignHCenter | Qt::AlignTop, QString::number(d, 'f', 0));
    }
    for (double h = 0.0; h <= frame.maxHeight + 1e-9; h += frame.heightStep) {
        const double y = plot.bottom() - h / frame.maxHeight * plot.height();
        DrawTextAt(painter, QPointF(plot.left() - textSize * 0.4, y),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(h, 'f', 0));
    }
    DrawTextAt(painter, QPointF(plot.center().x(), plot.bottom() + textSize * 2.0),
               Qt::AlignHCenter | Qt::AlignTop,
               TextOf(base::MessageId::kPlotDownrange).replace(QStringLiteral("%s"), label));
    DrawTextAt(painter, QPointF(plot.left(), plot.top() - textSize * 0.4),
               Qt::AlignLeft | Qt::AlignBottom,
               TextOf(base::MessageId::kPlotHeight).replace(QStringLiteral("%s"), label));

    if (options.title)
        DrawViewTitle(painter, rect, textSize, base::MessageId::kDrawProfileTitle, session);

    // Trajectories, clipped to the sky: nothing of a flight shows below the ground.
    painter.setClipRect(plot.adjusted(-line * 4, -line * 4, line * 4, 0.0));
    std::map<std::pair<int, int>, QColor> legend;  // (item, colour) shown in the legend
    for (const SessionShot& s : session.shots) {
        if (!ProfileDraws(s, options) || s.current) continue;
        const QColor colour = ShotColour(s, options);
        painter.setPen(QPen(colour, line * 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(FlightPath(*s.flight, frame));
        painter.setPen(QPen(colour, line * 0.8, Qt::DotLine));
        painter.drawPath(RollPath(*s.flight, frame));
        legend.emplace(std::make_pair(s.itemIndex, s.plotColour), colour);
    }
    const SessionShot* current = session.Current();
    if (current && current->flight) {
        const flight::FlightResult& f = *current->flight;
        const QColor colour = ShotColour(*current, options);
        painter.setPen(QPen(colour, line * 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(FlightPath(f, frame));
        painter.setPen(QPen(colour, line * 1.5, Qt::DashLine));
        painter.drawPath(RollPath(f, frame));

        // Apex: the highest point in flight, with a drop line to the ground.
        const int landing = LandingIndex(f);
        int apex = 0;
        for (int i = 1; i < landing; ++i) {
            if (f.pointHeight[i] > f.pointHeight[apex]) apex = i;
        }
        const QPointF top = frame.Map(f.pointX[apex], f.pointHeight[apex]);
        painter.setPen(QPen(QColor(80, 80, 80), line * 0.8, Qt::DashLine));
        painter.drawLine(top, QPointF(top.x(), frame.GroundY()));
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(top, line * 3.5, line * 3.5);
        painter.setFont(DrawingFont(textSize, true));
        painter.setPen(QColor(30, 30, 30));
        const double apexValue = shot::ToDisplayDistance(current->maxHeight, frame.distanceUnit);
        DrawTextAt(painter, QPointF(top.x(), top.y() - textSize * 0.5),
                   Qt::AlignHCenter | Qt::AlignBottom,
                   (TextOf(base::MessageId::kDrawApex) + QStringLiteral(" %1 %2"))
                       .arg(apexValue, 0, 'f', 1)
                       .arg(label));

        // Carry: a marker where the ball lands.
        const QPointF land = frame.Map(LandingPoint(f).x(), 0.0);
        QPolygonF marker;
        marker << QPointF(land.x(), land.y()) << QPointF(land.x() - line * 4, land.y() - line * 8)
               << QPointF(land.x() + line * 4, land.y() - line * 8);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawPolygon(marker);
        painter.setPen(QColor(30, 30, 30));
        const double carry = shot::ToDisplayDistance(current->carry, frame.distanceUnit);
        DrawTextAt(painter, QPointF(land.x() - line * 6, land.y() - line * 10),
                   Qt::AlignRight | Qt::AlignBottom,
                   (TextOf(base::MessageId::kColumnCarry) + QStringLiteral(" %1 %2"))
                       .arg(carry, 0, 'f', 1)
                       .arg(label));
        legend.emplace(std::make_pair(current->itemIndex, current->plotColour), colour);
    }
    if (!current && legend.empty()) {
        painter.setFont(DrawingFont(textSize * 1.2));
        painter.setPen(QColor(110, 110, 110));
        DrawTextAt(painter, plot.center(), Qt::AlignCenter, TextOf(base::MessageId::kDrawNoShot));
    }

    // Legend, top right inside the plot: item names in the colours drawn.
    painter.setClipRect(rect);
    painter.setFont(DrawingFont(textSize * 0.9));
    double y = plot.top() + textSize * 0.6;
    int shown = 0;
    for (const auto& [key, colour] : legend) {
        if (++shown > 8) break;
        const QString name = key.first < static_cast<int>(session.items.size())
                                 ? QString::fromStdString(session.items[key.first])
                                 : QString();
        const double x = plot.right() - textSize * 0.6;
        painter.setPen(QPen(colour, line * 2.5));
        painter.drawLine(QPointF(x - textSize * 1.6, y), QPointF(x, y));
        painter.setPen(QColor(40, 40, 40));
        DrawTextAt(painter, QPointF(x - textSize * 2.0, y), Qt::AlignRight | Qt::AlignVCenter,
                   name);
        y += textSize * 1.35;
    }
    painter.restore();
}

}  // namespace kyvern::report
