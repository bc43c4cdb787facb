#pragma once

#include <QPointF>
#include <QRectF>

#include "report/shot_drawing.h"

class QPainter;

namespace kyvern::report {

// Where the top view puts things: the tee at the bottom centre of the plot, the target line
// straight up. The sideways scale is wider than the downrange one, so that a group's spread
// shows.
struct DownRangeFrame {
    QRectF plot;
    QPointF tee;
    double scale = 1.0;         // device pixels per display unit downrange
    double sideScale = 1.0;     // device pixels per display unit sideways
    double maxDownrange = 0.0;  // display unit at the top edge
    double halfWidth = 0.0;     // display unit from the target line to either side
    double sideStep = 10.0;     // display unit between the sideways ticks
    double targetStep = 50.0;   // display unit between target lines
    int distanceUnit = 0;

    // A point downrange and offline (yards, offline positive to the right) in device
    // coordinates.
    QPointF Map(double downrangeYards, double offlineYards) const;
};

DownRangeFrame DownRangeLayout(const QRectF& rect, const SessionPicture& session);

// Where a shot comes to the ground and where it rests, on the plane (yards): the distance from
// the tee is the carry (total) the table shows, the sideways position its offline.
QPointF CarryPoint(const SessionShot& shot);
QPointF TotalPoint(const SessionShot& shot);

// The top view: every shot's carry (filled) and resting point (open), the current one
// highlighted, each item's mean carry point and a one-standard-deviation dispersion ellipse,
// target lines every 50 yards (or metres).
void DrawDownRange(QPainter& painter, const QRectF& rect, const SessionPicture& session,
                   bool title = true);

}  // namespace kyvern::report
