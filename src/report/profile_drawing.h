#pragma once

#include <QPointF>
#include <QRectF>

#include "report/shot_drawing.h"

class QPainter;

namespace kyvern::report {

struct ProfileOptions {
    // Every shot in its item's colour instead of only the plotted ones (a report of a session
    // in which nothing is plotted).
    bool everyShot = false;
    bool title = true;
};

// Where the profile puts things: the plot area, whose bottom edge is the ground, and its scale
// in the display distance unit.
struct ProfileFrame {
    QRectF plot;
    double maxDownrange = 0.0;  // display unit at the right edge
    double maxHeight = 0.0;     // display unit at the top edge
    double downrangeStep = 0.0;
    double heightStep = 0.0;
    int distanceUnit = 0;

    // A trajectory point (feet) in device coordinates.
    QPointF Map(double downrangeFeet, double heightFeet) const;
    double GroundY() const { return plot.bottom(); }
};

// The shots a profile draws: the plotted ones and the current one (or every one).
bool ProfileDraws(const SessionShot& shot, const ProfileOptions& options);
ProfileFrame ProfileLayout(const QRectF& rect, const SessionPicture& session,
                           const ProfileOptions& options = {});

// The side view of the current shot's trajectory and of the session's plotted shots, each in
// its Plot colour, the current one thicker with its apex and carry marked. Nothing is drawn
// below the ground line but the axis labels.
void DrawProfile(QPainter& painter, const QRectF& rect, const SessionPicture& session,
                 const ProfileOptions& options = {});

// The index of the last in-flight point of a trajectory (the first at or below the ground, or
// the last point when none is), and where the ball lands by interpolation at height zero.
int LandingIndex(const flight::FlightResult& flight);
QPointF LandingPoint(const flight::FlightResult& flight);  // (downrange, offline) in feet

}  // namespace kyvern::report
