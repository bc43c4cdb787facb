#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/analysis_codes.h"
#include "analysis/camera_model.h"
#include "analysis/image_analyzer.h"
#include "base/math_constants.h"

namespace {

using kyvern::analysis::BallImage;
using kyvern::analysis::ImageAnalyzer;
using kyvern::analysis::Xyz;
namespace an = kyvern::analysis;

constexpr double kBall = 1.68;

struct Scene {
    Scene() : frame(1024 * 768, 0), a(kBall) {
        a.SetFrame(frame.data(), 1024, 768);
        a.SetBackgroundLevel(40);
        Place(0, 312, 384, 130, 200, 100);
        Place(1, 712, 384, 130, 200, 100);
    }
    void Place(int ball, double x, double y, double d, int lum, int edgeQuality) {
        BallImage& b = a.Ball(ball);
        b.found = true;
        b.centreX = x;
        b.centreY = y;
        b.diameter = d;
        b.lum = lum;
        b.edgeQuality = edgeQuality;
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

TEST(ProcessScene, NeedsBothBalls) {
    Scene s;
    s.a.Ball(1).found = false;
    EXPECT_FALSE(s.a.ProcessScene());
    EXPECT_EQ(s.a.ErrorCode(), 0);
}

TEST(ProcessScene, ScaleWeighsTheBallNearerTheMiddle) {
    Scene s;
    s.Place(0, 412, 384, 120, 200, 100);  // 100 from the middle
    s.Place(1, 812, 384, 140, 200, 100);  // 300 from the middle
    ASSERT_TRUE(s.a.ProcessScene());
    EXPECT_DOUBLE_EQ(s.a.pixelsPerInch(), (0.75 * 120 + 0.25 * 140) / kBall);
    // Radial correction after the scale, then the location from the corrected diameter.
    const BallImage& b1 = s.a.Ball(1);
    EXPECT_DOUBLE_EQ(b1.diameter, Corrected(812, 384, 140));
    const Xyz loc = an::Locate(812, 384, b1.diameter, kBall, 1024, 768);
    EXPECT_EQ(b1.location.x, loc.x);
    EXPECT_EQ(b1.location.y, loc.y);
    EXPECT_TRUE(b1.locationValid);
}

TEST(ProcessScene, BothBallsOnTheMiddleColumnWeighEqually) {
    Scene s;
    s.Place(0, 512, 300, 120, 200, 100);
    s.Place(1, 512, 500, 140, 200, 100);
    ASSERT_TRUE(s.a.ProcessScene());
    EXPECT_DOUBLE_EQ(s.a.pixelsPerInch(), (0.5 * 120 + 0.5 * 140) / kBall);
    EXPECT_TRUE(std::isfinite(s.a.Ball(0).location.z));
}

TEST(ProcessScene, ViewCorrectionTurnsTheNormal) {
    Scene s;
    s.Place(0, 512, 384, 130, 200, 100);  // on the axis: no turn
    s.a.Ball(0).planeNormal = Xyz(0, 0, 1);
    s.Place(1, 812, 184, 130, 200, 100);
    s.a.Ball(1).planeNormal = Xyz(0, 1, 0);
    ASSERT_TRUE(s.a.ProcessScene());
    EXPECT_EQ(s.a.Ball(0).viewNormal, Xyz(0, 0, 1));
    const double field = 1024 / s.a.pixelsPerInch() * 2;
    const double a = (0.75 * field * kyvern::base::kDegreesToRadians) / 384 * (384 - 184.0);
    const double b = (field * kyvern::base::kDegreesToRadians) / 512 * (512 - 812.0);
    const Xyz v(0, std::cos(a), std::sin(a));
    Xyz expected(std::cos(b) * v.x + std::sin(b) * v.z, v.y, std::cos(b) * v.z - std::sin(b) * v.x);
    expected.Normalize();
    EXPECT_NEAR(s.a.Ball(1).viewNormal.x, expected.x, 1e-12);
    EXPECT_NEAR(s.a.Ball(1).viewNormal.y, expected.y, 1e-12);
    EXPECT_NEAR(s.a.Ball(1).viewNormal.z, expected.z, 1e-12);
    // A missing plane stays (0, 0, 0).
    EXPECT_EQ(s.a.Ball(0).planeNormal.Length() > 0, true);
    Scene t;
    ASSERT_TRUE(t.a.ProcessScene());
    EXPECT_EQ(t.a.Ball(1).viewNormal, Xyz(0, 0, 0));
}

TEST(ProcessScene, DistanceWarnings) {
    Scene far;  // 130 pixels at 1024: about 23.7 in away, both balls: warning 6 once
    ASSERT_TRUE(far.a.ProcessScene());
    EXPECT_EQ(far.Warnings(), std::vector<int>{an::kBallTooFar});
    Scene close;
    close.Place(0, 312, 384, 300, 200, 100);
    close.Place(1, 712, 384, 300, 200, 100);
    ASSERT_TRUE(close.a.ProcessScene());
    EXPECT_EQ(close.Warnings(), std::vector<int>{an::kBallTooClose});
    Scene both;
    both.Place(0, 312, 384, 300, 200, 100);
    ASSERT_TRUE(both.a.ProcessScene());
    EXPECT_EQ(both.Warnings(), (std::vector<int>{an::kBallTooFar, an::kBallTooClose}));
}

TEST(ProcessScene, LowContrastFlattensAndEndsTheJudgement) {
    Scene s;
    // T = 3 * 40 / 2 = 60: lum 59 is low.
    s.Place(1, 712, 384, 100, 59, 100);
    ASSERT_TRUE(s.a.ProcessScene());
    EXPECT_EQ(s.a.Ball(1).location.z, s.a.Ball(0).location.z + 0.001);
    EXPECT_EQ(s.Warnings(), (std::vector<int>{an::kBallTooFar, an::kLowContrast}));
    Scene edge;
    edge.Place(1, 712, 384, 130, 60, 100);
    edge.Place(0, 312, 384, 130, 100, 100);
    ASSERT_TRUE(edge.a.ProcessScene());
    EXPECT_EQ(edge.Warnings(), (std::vector<int>{an::kBallTooFar}));  // 60 is not below T
}

TEST(ProcessScene, UnevenIllumination) {
    Scene s;
    s.Place(1, 712, 384, 130, 159, 100);  // 200 - 159 = 41 > 40
    ASSERT_TRUE(s.a.ProcessScene());
    EXPECT_EQ(s.a.Ball(1).location.z, s.a.Ball(0).location.z + 0.001);
    EXPECT_EQ(s.Warnings(), (std::vector<int>{an::kBallTooFar, an::kUnevenIllumination}));
}

TEST(ProcessScene, SmallBallMovesTheFarDepthTowardsTheNearOne) {
    // Ball 0 at the centre (no radial correction) of exactly 120 pixels: "too small".
    Scene s;
    s.Place(0, 512, 384, 120, 200, 100);
    s.Place(1, 812, 384, 80, 200, 100);
    ASSERT_TRUE(s.a.ProcessScene());
    const double d1 = Corrected(812, 384, 80);
    const double z0 = an::Locate(512, 384, 120, kBall, 1024, 768).z;
    const double z1 = an::Locate(812, 384, d1, kBall, 1024, 768).z;
    ASSERT_LT(z1, z0);
    const double c = std::pow((205 - d1) / 45 * 0.2, 2);
    EXPECT_DOUBLE_EQ(s.a.Ball(1).location.z, z1 + c);
    EXPECT_EQ(s.Warnings(),
              (std::vector<int>{an::kBallTooFar, an::kBallTooSmall, an::kBallEdgeQualityLow}));

    // Edge quality above 120: halfway between.
    Scene half;
    half.Place(0, 512, 384, 120, 200, 121);
    half.Place(1, 812, 384, 80, 200, 100);
    ASSERT_TRUE(half.a.ProcessScene());
    EXPECT_DOUBLE_EQ(half.a.Ball(1).location.z, (z0 + (z1 + c)) / 2);
    EXPECT_EQ(half.Warnings(), (std::vector<int>{an::kBallTooFar, an::kBallTooSmall}));

    // Above 150: flattened.
    Scene flat;
    flat.Place(0, 512, 384, 120, 200, 100);
    flat.Place(1, 812, 384, 80, 200, 151);
    ASSERT_TRUE(flat.a.ProcessScene());
    EXPECT_EQ(flat.a.Ball(1).location.z, z0 + 0.001);

    // Over 120 pixels: the depths stand.
    Scene big;
    big.Place(0, 512, 384, 120.5, 200, 100);
    big.Place(1, 812, 384, 80, 200, 100);
    ASSERT_TRUE(big.a.ProcessScene());
    EXPECT_EQ(big.a.Ball(1).location.z, z1);
    EXPECT_EQ(big.Warnings(), std::vector<int>{an::kBallTooFar});
}

TEST(ProcessScene, SmallBallCorrectionNeverPassesTheNearDepth) {
    // Nearly equal depths 0.02 in apart; the correction (about 0.14 in) would carry z1 past
    // z0 and flip the flight's side: it stops at z0.
    Scene s;
    s.Place(0, 512, 384, 120, 200, 100);
    s.Place(1, 522, 384, 120, 200, 100);
    ASSERT_TRUE(s.a.ProcessScene());
    const double z0 = s.a.Ball(0).location.z;
    const double d1 = Corrected(522, 384, 120);
    const double z1 = an::Locate(522, 384, d1, kBall, 1024, 768).z;
    ASSERT_GT(z1, z0);
    ASSERT_GT(std::pow((205 - d1) / 45 * 0.2, 2), z1 - z0);
    EXPECT_EQ(s.a.Ball(1).location.z, z0);

    // The other side likewise.
    Scene t;
    t.Place(0, 512, 384, 120, 200, 100);
    t.Place(1, 522, 384, 119.9, 200, 100);
    ASSERT_TRUE(t.a.ProcessScene());
    ASSERT_LT(an::Locate(522, 384, Corrected(522, 384, 119.9), kBall, 1024, 768).z,
              t.a.Ball(0).location.z);
    EXPECT_EQ(t.a.Ball(1).location.z, t.a.Ball(0).location.z);
}

}  // namespace
