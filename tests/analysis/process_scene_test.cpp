#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"
#include "analysis/manual_corrections.h"
#include "frame/camera_model.h"

namespace {

using namespace kyvern::analysis;
using namespace kyvern::frame;
namespace an = kyvern::analysis;

constexpr double kBall = 1.68;

struct Placement {
    double x, y, d;
    int lum = 200, edgeQuality = 100;
};

// Two found balls on a 1024 x 768 frame with background level 40.
struct Scene {
    Scene(Placement b0 = {312, 384, 130}, Placement b1 = {712, 384, 130})
        : frame(1024 * 768, 0), a(kBall) {
        a.SetFrame(frame.data(), 1024, 768);
        a.SetBackgroundLevel(40);
        Place(0, b0);
        Place(1, b1);
    }
    void Place(int ball, const Placement& p) {
        BallImage& b = a.Ball(ball);
        b.found = true, b.centreX = p.x, b.centreY = p.y, b.diameter = p.d;
        b.lum = p.lum, b.edgeQuality = p.edgeQuality;
    }
    std::vector<int> Warnings() const {
        std::vector<int> w;
        for (int i = 0; i < a.WarningCount(); ++i)
            w.push_back(a.Warning(i));
        return w;
    }
    std::vector<std::uint8_t> frame;
    ImageAnalyzer a;
};

double Corrected(double x, double y, double d) {
    return (std::hypot(x - 512, y - 384) * 6.7e-05 + 1.0) * d;
}

// The weights themselves are for the rendered correction test to show.
TEST(ProcessScene, ScaleWithoutBothBallsOrWithEqualWeights) {
    Scene missing;
    missing.a.Ball(1).found = false;
    EXPECT_FALSE(missing.a.ProcessScene());

    Scene column({512, 300, 120}, {512, 500, 140});  // equally far: equal weights, no NaN
    ASSERT_TRUE(column.a.ProcessScene());
    EXPECT_DOUBLE_EQ(column.a.pixelsPerInch(), (0.5 * 120 + 0.5 * 140) / kBall);
    EXPECT_TRUE(std::isfinite(column.a.Ball(0).location.z));
}

// The warnings of the scene and what they do to ball 1's depth.
TEST(ProcessScene, WarningsAndTheDepthOfBallOne) {
    enum Depth { kStands, kFlattened, kCorrected, kHalfway, kAtBallZero, kUnchecked };
    const int far = an::kBallTooFar, close = an::kBallTooClose, small = an::kBallTooSmall;
    const int uneven = an::kUnevenIllumination, edgeLow = an::kBallEdgeQualityLow;
    const struct Case {
        const char* what;
        Placement b0, b1;
        std::vector<int> warnings;  // empty: not checked
        Depth depth;
    } cases[] = {
        {"close", {312, 384, 300}, {712, 384, 300}, {close}, kUnchecked},
        {"far and close", {312, 384, 300}, {712, 384, 130}, {far, close}, kUnchecked},
        // Contrast threshold 3 x 40 / 2 = 60: 59 is low, 60 is not.
        {"low contrast", {312, 384, 130}, {712, 384, 100, 59}, {far, an::kLowContrast}, kFlattened},
        // 130 pixels at 1024 is about 23.7 in away: "too far" once for both balls.
        {"contrast at the threshold", {312, 384, 130, 100}, {712, 384, 130, 60}, {far}, kUnchecked},
        // 200 - 159 = 41 > 40: uneven.
        {"uneven", {312, 384, 130}, {712, 384, 130, 159}, {far, uneven}, kFlattened},
        // Ball 0 of exactly 120 pixels is too small: ball 1's depth moves towards it...
        {"small", {512, 384, 120}, {812, 384, 80}, {far, small, edgeLow}, kCorrected},
        // ...halfway with an edge quality above 120, flattened above 150...
        {"small, edges fair", {512, 384, 120, 200, 121}, {812, 384, 80}, {far, small}, kHalfway},
        {"small, edges poor", {512, 384, 120}, {812, 384, 80, 200, 151}, {}, kFlattened},
        // ...and not at all over 120 pixels.
        {"not small", {512, 384, 120.5}, {812, 384, 80}, {far}, kStands},
        // Depths 0.02 in apart: the correction would carry ball 1 past ball 0 and flip the
        // flight's side; it stops at ball 0, from either side.
        {"correction stops behind", {512, 384, 120}, {522, 384, 120}, {}, kAtBallZero},
        {"correction stops in front", {512, 384, 120}, {522, 384, 119.9}, {}, kAtBallZero},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scene s(c.b0, c.b1);
        ASSERT_TRUE(s.a.ProcessScene());
        if (!c.warnings.empty()) {
            EXPECT_EQ(s.Warnings(), c.warnings);
        }
        const double z0 = s.a.Ball(0).location.z;
        const double d1 = Corrected(c.b1.x, c.b1.y, c.b1.d);
        const double z1 = Locate(c.b1.x, c.b1.y, d1, kBall, 1024, 768).z;
        const double shift = std::pow((205 - d1) / 45 * 0.2, 2);
        // Indexed by Depth.
        const double expected[] = {z1, z0 + 0.001, z1 + shift, (z0 + z1 + shift) / 2, z0};
        if (c.depth != kUnchecked) {
            EXPECT_DOUBLE_EQ(s.a.Ball(1).location.z, expected[c.depth]);
        }
    }
}

// Seen off the lens's axis, a normal along the line of sight comes out pointing from the ball
// to the lens, whatever the ball's size: the turn is the direction in which the camera model
// sees the image centre (it used to grow with the field that the ball's size implied).
TEST(ProcessScene, ViewCorrectionTurnsTheLineOfSightTowardsTheLens) {
    const struct {
        int width;
        double x, y;
    } cases[] = {{1024, 150, 600}, {1024, 900, 100}, {640, 60, 400}, {640, 600, 30}};
    auto frame = std::make_unique<CapturedImage>();
    for (const auto& c : cases) {
        for (const double d : {90.0, 180.0}) {
            SCOPED_TRACE(::testing::Message()
                         << c.width << ": " << c.x << ", " << c.y << ", " << d);
            frame->width = c.width;
            frame->height = c.width * 3 / 4;
            Xyz toLens = Locate(c.x, c.y, d, kBall, frame->width, frame->height).Negated();
            toLens.Normalize();
            BallRecord corrected;
            corrected.pix = Xyz(c.x, c.y, d), corrected.viewNormal = Xyz(0, 0, 1);
            ManualCorrections::CorrectRecordView(*frame, corrected);
            EXPECT_LT(corrected.viewNormal.Minus(toLens).Length(), 1e-12);
            if (c.width != 1024) continue;
            Scene s({c.x, c.y, d});
            s.a.Ball(0).planeNormal = Xyz(0, 0, 1);
            ASSERT_TRUE(s.a.ProcessScene());
            EXPECT_LT(s.a.Ball(0).viewNormal.Minus(toLens).Length(), 1e-12);
        }
    }
}

}  // namespace
