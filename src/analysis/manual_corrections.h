#pragma once

#include <array>
#include <cstdint>

#include "analysis/launch_scene.h"
#include "frame/captured_image.h"
#include "frame/xyz.h"

namespace kyvern::analysis {

// The image view of the main window: the frame is shown scaled to 640 x 470 inside this
// rectangle (left and top inclusive, right and bottom exclusive), with its first row at
// kViewOriginY.
inline constexpr int kViewLeft = 13;
inline constexpr int kViewTop = 81;
inline constexpr int kViewRight = 653;
inline constexpr int kViewBottom = 541;
inline constexpr int kViewOriginY = 96;

inline constexpr int kEdgeClickCount = 3;
// An edge click belongs to a ball when it lies less than this many recorded radii from the
// ball's recorded centre.
inline constexpr double kEdgeClickReach = 1.25;
// The circle the edge tool accepts, in frame pixels.
inline constexpr double kMinEdgeRadius = 25.0;
inline constexpr double kMaxEdgeRadius = 75.0;
inline constexpr double kMaxEdgeCentreX = 600.0;
inline constexpr double kMaxEdgeCentreY = 440.0;

// An integer position, in the main window or in a frame.
struct ClickPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// A clicked point of the printed line, lifted onto the ball's sphere: a unit vector, x right,
// y down, z towards the camera.
struct LineClick {
    frame::Xyz point;
    bool valid = false;
};

// The two line clicks kept for one ball record.
struct LineClicks {
    LineClick previous;
    LineClick current;
};

// The operator's corrections of a misread ball. Two line points on one ball replace its plane
// normal; three edge points replace a ball's circle. After each completed correction the
// scene's launch conditions are solved again. The corrected records are the scene's copies of
// the frames (those the solve reads); a caller that shows its own copy of the frame passes it
// as `shown` to have the corrected records copied there too.
class ManualCorrections {
public:
    // Converts a click position in the main window into frame coordinates of frame, in place.
    // False, with the point untouched, for a frame that is not valid or a point outside the
    // image view.
    static bool ScreenToFrame(const frame::CapturedImage& frame, ClickPoint& point);

    // Marks a point of the printed line on a ball of the scene's frame in slot, in frame
    // coordinates. True when it was the second point on that ball, the ball's normal was
    // replaced and the launch conditions were solved again without error.
    bool MarkLinePoint(LaunchScene& scene, int slot, int x, int y,
                       frame::CapturedImage* shown = nullptr);

    // Marks a point of a ball's edge, in frame coordinates. True when it was the third
    // pending point, the circle through the three was accepted, the ball was located again and
    // the launch conditions were solved again without error.
    bool MarkEdgePoint(LaunchScene& scene, int slot, int x, int y,
                       frame::CapturedImage* shown = nullptr);

    // Turns record's view normal for the direction in which the camera sees the ball's centre
    // and corrects the record's diameter for the lens's radial shrink. record is one of
    // frame's ball records (or a copy of one).
    static void CorrectRecordView(const frame::CapturedImage& frame, frame::BallRecord& record);

    // The line clicks kept for a ball of a slot; throws std::out_of_range for a bad index.
    const LineClicks& Clicks(int slot, int ball) const;
    int EdgeClickCount() const { return edgeClickCount_; }
    const ClickPoint& EdgeClick(int index) const;
    // Forgets every pending click.
    void Clear();

private:
    std::array<std::array<LineClicks, 2>, frame::kCameraSlots> lineClicks_{};
    // The diameter each record was given by its last line correction, to keep the radial
    // correction from compounding over repeated corrections of the same measurement.
    std::array<std::array<double, 2>, frame::kCameraSlots> correctedDiameter_{};
    std::array<ClickPoint, kEdgeClickCount> edgeClicks_{};
    int edgeClickCount_ = 0;
};

}  // namespace kyvern::analysis
