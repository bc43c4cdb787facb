#pragma once

#include <QPointF>
#include <QRectF>

#include "report/shot_drawing.h"

class QPainter;

namespace kyvern::report {

// Whether the session's current shot is a putt, and whether it holds any putt at all.
bool CurrentIsPutt(const SessionPicture& session);
bool HasPutts(const SessionPicture& session);

// The session with its putts or its full shots only, the current shot kept when it stays. A
// putt neither flies nor carries, so a fairway picture leaves it out and a green shows nothing
// else. Returns session itself when nothing is left out, else spare filled.
const SessionPicture& FullShotsOf(const SessionPicture& session, SessionPicture& spare);
const SessionPicture& PuttsOf(const SessionPicture& session, SessionPicture& spare);

// A putt's break: its rest point's distance from its start line, positive right, in yards.
double PuttBreak(double totalYards, double totalOfflineYards, double sideAngle);

// Where the top view of the green puts things: the ball's start at the bottom centre.
struct GreenFrame {
    QRectF plot;
    QPointF start;
    int unit = 1;               // shot::kFeet or shot::kMeters
    double maxDownrange = 0.0;  // display unit
    double halfWidth = 0.0;     // display unit
    double step = 5.0;          // display unit between the distance lines
    double sideStep = 1.0;
    double scale = 1.0;  // device pixels per display unit
    double sideScale = 1.0;

    // A point on the green (feet downrange, and offline positive right) in device
    // coordinates.
    QPointF Map(double downrangeFeet, double offlineFeet) const;
};

GreenFrame GreenLayout(const QRectF& rect, const SessionPicture& session);

// The top view of the session's putts on the green, in feet (metres where distances show in
// metres): each putt's path and resting point, the current one highlighted with its start line,
// the roll and break beside it, the way the green falls, and each item's mean roll.
void DrawGreen(QPainter& painter, const QRectF& rect, const SessionPicture& session,
               bool title = true);

// The side view of the current putt: the green's surface along its path, risen or fallen by the
// green's slope, in inches (centimetres), the ball's roll on it to its resting point.
void DrawGreenProfile(QPainter& painter, const QRectF& rect, const SessionPicture& session,
                      bool title = true);

// The views of the window and of the command line: a green when the current shot is a putt, the
// fairway of the full shots otherwise.
void DrawSideView(QPainter& painter, const QRectF& rect, const SessionPicture& session);
void DrawTopView(QPainter& painter, const QRectF& rect, const SessionPicture& session);

}  // namespace kyvern::report
