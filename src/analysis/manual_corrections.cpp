#include "analysis/manual_corrections.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "analysis/image_analyzer.h"
#include "base/math_constants.h"
#include "frame/camera_model.h"

namespace kyvern::analysis {

namespace {

constexpr double kWideXScale = 1.6;
constexpr double kWideYScale = 1.6340425531914893;
constexpr double kNarrowXScale = 1.0;
constexpr double kNarrowYScale = 1.0212765957446808;
// Two line points whose directions are this close to parallel (sine of the angle) define no
// plane.
constexpr double kMinPlaneSine = 0.0001;

bool ValidSlot(int slot) { return slot >= 0 && slot < frame::kCameraSlots; }

// Ball 0 when the point lies within reach x its recorded radius of its recorded centre, else
// ball 1 by the same rule, else -1.
int ChooseBall(const frame::CapturedImage& frame, int x, int y, double reach) {
    for (int ball = 0; ball < 2; ++ball) {
        const frame::Xyz& pix = frame.result.balls[ball].pix;
        const double distance = std::hypot(x - pix.x, y - pix.y);
        if (distance < reach * (pix.z / 2.0)) return ball;
    }
    return -1;
}

}  // namespace

bool ManualCorrections::ScreenToFrame(const frame::CapturedImage& frame, ClickPoint& point) {
    if (!frame.valid) return false;
    if (point.x < kViewLeft || point.x >= kViewRight || point.y < kViewTop ||
        point.y >= kViewBottom) {
        return false;
    }
    const int x = point.x - kViewLeft;
    const int y = point.y - kViewOriginY;
    const bool wide = frame.width == 1024;
    point.x = static_cast<std::int32_t>(x * (wide ? kWideXScale : kNarrowXScale));
    point.y = static_cast<std::int32_t>(y * (wide ? kWideYScale : kNarrowYScale));
    return true;
}

void ManualCorrections::CorrectRecordView(const frame::CapturedImage& frame,
                                          frame::BallRecord& record) {
    record.viewNormal = frame::TurnIntoCameraView(record.viewNormal, record.pix.x, record.pix.y,
                                                  frame.width, frame.height);
    const double rho = std::hypot(record.pix.x - frame.width / 2, record.pix.y - frame.height / 2);
    record.pix.z = (rho * frame::kRadialShrink + 1.0) * record.pix.z;
}

bool ManualCorrections::MarkLinePoint(LaunchScene& scene, int slot, int x, int y,
                                      frame::CapturedImage* shown) {
    if (!ValidSlot(slot)) return false;
    frame::CapturedImage& frame = scene.Slot(slot);
    const int ball = ChooseBall(frame, x, y, 1.0);
    if (ball < 0) return false;
    frame::BallRecord& record = frame.result.balls[ball];
    LineClicks& clicks = lineClicks_[slot][ball];

    clicks.previous = clicks.current;
    const double r = record.pix.z / 2.0;
    const double dx = x - record.pix.x;
    const double dy = y - record.pix.y;
    // Inside the circle the root is positive; rounding at the very rim must not make it NaN.
    const double dz = std::sqrt(std::max(0.0, r * r - dx * dx - dy * dy));
    clicks.current.point = frame::Xyz(dx, dy, dz);
    clicks.current.point.Normalize();
    clicks.current.valid = true;
    if (!clicks.previous.valid) return false;

    frame::Xyz a = clicks.previous.point;
    frame::Xyz b = clicks.current.point;
    a.y = -a.y;  // y up
    b.y = -b.y;
    frame::Xyz n = b.Cross(a);
    clicks.previous.valid = false;
    clicks.current.valid = false;
    // The same point twice gives no plane; the ball keeps its normal.
    if (n.Length() < kMinPlaneSine) return false;
    n.Normalize();
    record.planeNormal = n;
    record.viewNormal = n;

    const double measured = record.pix.z;
    CorrectRecordView(frame, record);
    // A diameter this object already corrected stays as it is: the shrink is the lens's, and
    // correcting it twice would grow the ball at every correction.
    if (measured == correctedDiameter_[slot][ball]) record.pix.z = measured;
    correctedDiameter_[slot][ball] = record.pix.z;

    scene.AlignNormals(slot);
    if (shown) {
        shown->result.balls[0].CopyFrom(frame.result.balls[0]);
        shown->result.balls[1].CopyFrom(frame.result.balls[1]);
    }
    return scene.SolveLaunch();
}

bool ManualCorrections::MarkEdgePoint(LaunchScene& scene, int slot, int x, int y,
                                      frame::CapturedImage* shown) {
    if (!ValidSlot(slot)) return false;
    frame::CapturedImage& frame = scene.Slot(slot);
    const int ball = ChooseBall(frame, x, y, kEdgeClickReach);
    if (ball < 0) return false;

    edgeClicks_[edgeClickCount_++] = ClickPoint{x, y};
    if (edgeClickCount_ < kEdgeClickCount) return false;
    edgeClickCount_ = 0;

    const ClickPoint& p1 = edgeClicks_[0];
    const ClickPoint& p2 = edgeClicks_[1];
    const ClickPoint& p3 = edgeClicks_[2];
    double cx = 0.0;
    double cy = 0.0;
    double diameter = 0.0;
    if (!ImageAnalyzer::CircleThroughPoints(p1.x, p1.y, p2.x, p2.y, p3.x, p3.y, cx, cy, diameter)) {
        return false;
    }
    const double radius = diameter / 2.0;
    if (radius < kMinEdgeRadius || radius > kMaxEdgeRadius) return false;
    if (cx < radius || cx > kMaxEdgeCentreX) return false;
    if (cy < radius || cy > kMaxEdgeCentreY) return false;

    frame::BallRecord& record = frame.result.balls[ball];
    record.pix.x = cx;
    record.pix.y = cy;
    frame.result.balls[0].pix.z = diameter;
    frame.result.balls[1].pix.z = diameter;
    record.loc = frame::Locate(record.pix.x, record.pix.y, record.pix.z, scene.BallDiameter(),
                               frame.width, frame.height);
    if (shown) {
        shown->result.balls[0].CopyFrom(frame.result.balls[0]);
        shown->result.balls[1].CopyFrom(frame.result.balls[1]);
    }
    return scene.SolveLaunch();
}

const LineClicks& ManualCorrections::Clicks(int slot, int ball) const {
    if (!ValidSlot(slot) || ball < 0 || ball > 1) throw std::out_of_range("line clicks");
    return lineClicks_[slot][ball];
}

const ClickPoint& ManualCorrections::EdgeClick(int index) const {
    if (index < 0 || index >= edgeClickCount_) throw std::out_of_range("edge click");
    return edgeClicks_[index];
}

void ManualCorrections::Clear() {
    lineClicks_ = {};
    correctedDiameter_ = {};
    edgeClicks_ = {};
    edgeClickCount_ = 0;
}

}  // namespace kyvern::analysis
