#pragma once

// The pictures of a player's history as the store keeps it: the carry gapping per club and one
// value followed session by session, for the window's History view and the History report.

#include <QRectF>
#include <QString>
#include <vector>

#include "store/player_history.h"

class QPainter;

namespace kyvern::report {

// Where the gapping chart puts its bars: one row per club, longest carry on top.
struct GappingFrame {
    QRectF plot;             // the bars' area; x from zero to maxDistance
    double maxDistance = 0;  // display unit
    double step = 50;        // display unit between the grid lines
    double rowHeight = 0;
    int distanceUnit = 0;

    double X(double yards) const;  // device x of a distance
    double RowY(int row) const;    // device y of a row's centre
};
GappingFrame GappingLayout(const QRectF& rect, const store::PlayerHistory& history);

// Each club's mean carry as a bar in its colour and its mean total beyond it, the carry's
// standard deviation as a whisker, the shot count, and the gap in carry to the next club.
void DrawGapping(QPainter& painter, const QRectF& rect, const store::PlayerHistory& history);

// Where the trend puts its sessions: evenly spaced in time order, the value upwards.
struct TrendFrame {
    QRectF plot;
    double low = 0;  // display unit at the bottom and the top of the plot
    double high = 1;
    double step = 1;
    double scale = 1;  // display unit per internal unit
    QString unit;
    int points = 0;

    QPointF Map(int index, double displayValue) const;
};
TrendFrame TrendLayout(const QRectF& rect, const store::PlayerHistory& history);

// The trend value's mean per session with its standard deviation, joined in time order and
// dated under the axis.
void DrawTrend(QPainter& painter, const QRectF& rect, const store::PlayerHistory& history);

// The player's sessions as a list (the latest last): date, name and shots. Those that do not fit
// are left out from the oldest, and a line says how many.
void DrawSessionList(QPainter& painter, const QRectF& rect, const store::PlayerHistory& history);

// "Ball Speed" for "ball_speed".
QString TrendTitle(const std::string& valueName);
// "05 Mar 2024" of UTC milliseconds, in local time.
QString SessionDate(std::int64_t timeMs);

}  // namespace kyvern::report
