#include "analysis/manual_corrections.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "frame/camera_model.h"
#include "support/temp_dir.h"

namespace {

using namespace kyvern::analysis;
using namespace kyvern::frame;

constexpr double kDeg = 0.017453292519943278;

void ExpectXyz(const Xyz& actual, const Xyz& expected, double tolerance) {
    EXPECT_LE(actual.Minus(expected).Length(), tolerance)
        << actual.x << ", " << actual.y << ", " << actual.z;
}

class Corrections : public ::testing::Test {
protected:
    kyvern::testing::TempDir home;
    LaunchScene scene{1.685, {}};
    ManualCorrections corrections;

    // An analysed 640 x 480 frame in slot 0 with ball 0 at (200, 240) and ball 1 at
    // (440, 200), both 100 pixels wide, 0.001 s apart.
    CapturedImage& Frame() {
        CapturedImage& f = scene.Slot(0);
        f.Reset();
        f.valid = f.analyzed = true;
        f.width = 640, f.height = 480, f.bytesPerPixel = 1, f.t1 = 0.001, f.t2 = 0.002;
        for (int i = 0; i < 2; ++i) {
            BallRecord& b = f.result.balls[i];
            b.pix = i == 0 ? Xyz(200, 240, 100) : Xyz(440, 200, 100);
            b.loc = Locate(b.pix.x, b.pix.y, b.pix.z, 1.685, 640, 480);
            b.planeNormal = b.viewNormal = Xyz(1, 0, 0);
        }
        f.result.balls[1].viewNormal = Xyz(std::cos(10 * kDeg), std::sin(10 * kDeg), 0);
        LaunchScene::AlignNormals(f);
        return f;
    }
};

TEST_F(Corrections, ScreenToFrameScalesTheImageView) {
    CapturedImage& f = Frame();
    const struct {
        int width;
        ClickPoint click;
        bool inside;
        ClickPoint frame;
    } cases[] = {
        // The top-left corner is inside; rows above the frame's first row come out negative,
        // truncated towards zero.
        {1024, {13, 81}, true, {0, -24}},
        {1024, {652, 540}, true, {1022, 725}},
        // Any other width: x as it is, y stretched from 470 to 480 rows.
        {640, {333, 396}, true, {320, 306}},
        // Outside the view (right and bottom exclusive): untouched.
        {640, {12, 300}, false, {12, 300}},
        {640, {653, 300}, false, {653, 300}},
        {640, {300, 80}, false, {300, 80}},
        {640, {300, 541}, false, {300, 541}},
    };
    for (const auto& c : cases) {
        f.width = c.width;
        f.height = c.width == 1024 ? 768 : 480;
        ClickPoint p = c.click;
        EXPECT_EQ(ManualCorrections::ScreenToFrame(f, p), c.inside)
            << c.click.x << "," << c.click.y;
        EXPECT_EQ(p.x, c.frame.x);
        EXPECT_EQ(p.y, c.frame.y);
    }
    f.valid = false;
    ClickPoint p{333, 396};
    EXPECT_FALSE(ManualCorrections::ScreenToFrame(f, p));
    EXPECT_EQ(p.x, 333);
}

// The new normal, and the spin solved again from it, are for the rendered correction test to
// show.
TEST_F(Corrections, TwoLinePointsReplaceTheNormalOnce) {
    CapturedImage& f = Frame();
    const double diameter = f.result.balls[0].pix.z;
    EXPECT_FALSE(corrections.MarkLinePoint(scene, 0, 200, 210));
    EXPECT_TRUE(corrections.MarkLinePoint(scene, 0, 200, 270));
    const BallRecord& ball0 = f.result.balls[0];
    EXPECT_DOUBLE_EQ(ball0.displayNormal.y, 1.0);                     // aligned again
    EXPECT_DOUBLE_EQ(ball0.pix.z, (120 * 6.7e-05 + 1.0) * diameter);  // 120 from the middle
    // A second correction turns the normal again but does not grow the ball: its diameter
    // already carries the lens correction.
    const double corrected = ball0.pix.z;
    EXPECT_FALSE(corrections.MarkLinePoint(scene, 0, 190, 210));
    EXPECT_TRUE(corrections.MarkLinePoint(scene, 0, 210, 270));
    EXPECT_DOUBLE_EQ(ball0.pix.z, corrected);
}

TEST_F(Corrections, LinePointsWaitForASecondPointOnTheSameBall) {
    CapturedImage& f = Frame();
    const Xyz normal0 = f.result.balls[0].viewNormal;
    const Xyz normal1 = f.result.balls[1].viewNormal;

    // Ball 0, then ball 1: ball 1's previous slot is empty, nothing is corrected.
    EXPECT_FALSE(corrections.MarkLinePoint(scene, 0, 200, 220));
    EXPECT_FALSE(corrections.MarkLinePoint(scene, 0, 440, 180));
    EXPECT_EQ(f.result.balls[0].viewNormal, normal0);
    EXPECT_EQ(f.result.balls[1].viewNormal, normal1);

    // Away from both balls, just outside ball 0's circle, a bad slot: ignored, clicks kept.
    EXPECT_FALSE(corrections.MarkLinePoint(scene, 0, 320, 400));
    EXPECT_FALSE(corrections.MarkLinePoint(scene, 0, 250, 240));
    EXPECT_FALSE(corrections.MarkLinePoint(scene, 4, 200, 240));
    EXPECT_THROW(corrections.Clicks(4, 0), std::out_of_range);

    // The second point on ball 1 completes ball 1's correction (a vertical line: normal along x).
    EXPECT_TRUE(corrections.MarkLinePoint(scene, 0, 440, 220));
    EXPECT_FALSE(corrections.Clicks(0, 1).current.valid);
    EXPECT_TRUE(corrections.Clicks(0, 0).current.valid);
    EXPECT_NEAR(std::fabs(f.result.balls[1].planeNormal.x), 1.0, 1e-12);

    // A new analysis of the frame does not clear the clicks; Clear does.
    Frame();
    EXPECT_TRUE(corrections.Clicks(0, 0).current.valid);
    corrections.Clear();
    EXPECT_FALSE(corrections.Clicks(0, 0).current.valid);
}

TEST_F(Corrections, DegenerateLinePointsLeaveTheBallAlone) {
    CapturedImage& f = Frame();
    const Xyz normal0 = f.result.balls[0].viewNormal;
    const double diameter = f.result.balls[0].pix.z;

    // The same point twice defines no plane: false, the normal stays, both clicks are gone.
    EXPECT_FALSE(corrections.MarkLinePoint(scene, 0, 210, 230));
    EXPECT_FALSE(corrections.MarkLinePoint(scene, 0, 210, 230));
    EXPECT_EQ(f.result.balls[0].viewNormal, normal0);
    EXPECT_EQ(f.result.balls[0].pix.z, diameter);
    EXPECT_FALSE(corrections.Clicks(0, 0).previous.valid);
    EXPECT_FALSE(corrections.Clicks(0, 0).current.valid);

    // A point just inside the rim lifts to just above the sphere's equator.
    f.result.balls[0].pix = Xyz(199.99, 240.0, 98.0);
    EXPECT_FALSE(corrections.MarkLinePoint(scene, 0, 151, 240));
    ASSERT_TRUE(corrections.Clicks(0, 0).current.valid);
    const Xyz& p = corrections.Clicks(0, 0).current.point;
    EXPECT_NEAR(p.z, std::sqrt(49.0 * 49.0 - 48.99 * 48.99) / 49.0, 1e-9);
    EXPECT_NEAR(p.Length(), 1.0, 1e-12);
    EXPECT_TRUE(corrections.MarkLinePoint(scene, 0, 200, 240));
    EXPECT_TRUE(std::isfinite(f.result.balls[0].viewNormal.x));
    EXPECT_NEAR(std::fabs(f.result.balls[0].planeNormal.y), 1.0, 1e-3);

    // A frame slot that holds nothing: its records are zero, no ball to choose.
    EXPECT_FALSE(corrections.MarkLinePoint(scene, 2, 0, 0));
}

TEST_F(Corrections, ThreeEdgePointsReplaceTheCircle) {
    CapturedImage& f = Frame();
    // A circle of radius 50 around (205, 238): ball 0 recorded 5 pixels off and 10 % small.
    f.result.balls[0].pix = Xyz(200, 240, 90);
    EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, 255, 238));
    EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, 155, 238));
    EXPECT_EQ(corrections.EdgeClickCount(), 2);
    EXPECT_TRUE(corrections.MarkEdgePoint(scene, 0, 205, 288));
    EXPECT_EQ(corrections.EdgeClickCount(), 0);
    const BallRecord& ball0 = f.result.balls[0];
    ExpectXyz(ball0.pix, Xyz(205, 238, 100), 1e-12);
    EXPECT_DOUBLE_EQ(f.result.balls[1].pix.z, 100.0);  // both balls take the diameter
    ExpectXyz(ball0.loc, Locate(205, 238, 100, 1.685, 640, 480), 1e-12);
    EXPECT_GT(scene.BallSpeed(), 0.0);

    // The edge clicks are shared: two on ball 0 and a third on ball 1 correct ball 1.
    // The circle of radius 45 around (255, 238) through (210, 238), (228, 274), (300, 238).
    f.result.balls[1].pix = Xyz(300, 238, 100);
    CapturedImage shown;
    EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, 210, 238));
    EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, 228, 274));
    corrections.MarkEdgePoint(scene, 0, 300, 238, &shown);
    EXPECT_EQ(corrections.EdgeClickCount(), 0);
    ExpectXyz(f.result.balls[1].pix, Xyz(255, 238, 90), 1e-12);
    ExpectXyz(f.result.balls[0].pix, Xyz(205, 238, 90), 1e-12);
    EXPECT_EQ(shown.result.balls[1].loc, f.result.balls[1].loc);  // the frame shown follows
}

TEST_F(Corrections, EdgeCirclesOutsideTheToolsBoundsAreDiscarded) {
    CapturedImage& f = Frame();
    const Xyz before = f.result.balls[0].pix;
    // Three points on a line: no circle.
    EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, 150, 240));
    EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, 200, 240));
    EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, 250, 240));
    EXPECT_EQ(corrections.EdgeClickCount(), 0);
    EXPECT_EQ(f.result.balls[0].pix, before);

    // The bounds are inclusive: radius 75 and 25, centre x 600, centre y 440, centre at R.
    struct Case {
        double cx, cy, r;
        bool accepted;
    };
    for (const Case c :
         {Case{200, 240, 75, true}, Case{200, 240, 25, true}, Case{200, 240, 76, false},
          Case{200, 240, 24, false}, Case{600, 240, 50, true}, Case{601, 240, 50, false},
          Case{300, 440, 50, true}, Case{300, 441, 50, false}, Case{50, 240, 50, true},
          Case{49, 240, 50, false}, Case{300, 50, 50, true}, Case{300, 49, 50, false}}) {
        SCOPED_TRACE(::testing::Message() << c.cx << ", " << c.cy << " r " << c.r);
        Frame();
        // Recorded 3 pixels to the right of the clicked circle; the solve after an accepted
        // circle may fail on these made-up balls, so the circle itself tells.
        f.result.balls[0].pix = Xyz(c.cx + 3, c.cy, 2 * c.r);
        f.result.balls[1].pix.z = 120;
        const int r = int(c.r), x = int(c.cx), y = int(c.cy);
        EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, x + r, y));
        EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, x - r, y));
        const bool solved = corrections.MarkEdgePoint(scene, 0, x, y + r);
        if (!c.accepted) {
            EXPECT_FALSE(solved);
        }
        EXPECT_EQ(f.result.balls[0].pix.x == c.cx, c.accepted);
        EXPECT_EQ(f.result.balls[1].pix.z == 2 * c.r, c.accepted);
        EXPECT_EQ(corrections.EdgeClickCount(), 0);
    }
}

TEST_F(Corrections, EdgeClicksReachAQuarterRadiusBeyondTheRecordedCircle) {
    CapturedImage& f = Frame();
    f.result.balls[0].pix = Xyz(200, 240, 80);  // radius 40: reach 50
    EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, 251, 240));
    EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, 250, 240));  // not less than the reach
    EXPECT_EQ(corrections.EdgeClickCount(), 0);
    EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, 249, 240));
    EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, 200, 240));  // the centre counts too
    EXPECT_EQ(corrections.EdgeClickCount(), 2);
    // Nowhere near either ball, or a bad slot: ignored.
    EXPECT_FALSE(corrections.MarkEdgePoint(scene, 0, 320, 420));
    EXPECT_FALSE(corrections.MarkEdgePoint(scene, 5, 200, 240));
    EXPECT_EQ(corrections.EdgeClickCount(), 2);
}

}  // namespace
