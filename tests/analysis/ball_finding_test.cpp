#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"
#include "analysis/test_frames.h"

namespace {

using kyvern::analysis::ImageAnalyzer;
using kyvern::frame::CapturedImage;
namespace an = kyvern::analysis;
namespace kt = kyvern::testing;

bool Load(ImageAnalyzer& a, const CapturedImage& image) {
    return a.SetFrame(image.Pixels(), image.width, image.height) && a.PixelStats();
}

TEST(FindDiscs, FailureCodes) {
    ImageAnalyzer a(1.68);
    EXPECT_FALSE(a.FindDiscs());  // no frame: the code is untouched
    EXPECT_EQ(a.ErrorCode(), 0);
    // A second ball closer than 0.8 of the winning template (128) is suppressed. (A blank frame
    // and a frame of one ball go through the whole analysis in the pipeline's test.)
    kt::DrawnFrame tooClose = kt::TwoBalls();
    tooClose.balls[1].centreX = tooClose.balls[0].centreX + 95;
    tooClose.balls[1].centreY = tooClose.balls[0].centreY;
    tooClose.balls[0].diameter = tooClose.balls[1].diameter = 90;
    CapturedImage image;
    kt::Draw(tooClose, image);
    ASSERT_TRUE(Load(a, image));
    EXPECT_FALSE(a.FindDiscs());
    EXPECT_EQ(a.ErrorCode(), an::kOnlyOneBallFound);
    // Below 22 columns the position step truncates to 0: the search must still end.
    std::vector<std::uint8_t> narrow(31 * 20, 200);
    for (int width : {1, 10, 21, 31}) {
        ASSERT_TRUE(a.SetFrame(narrow.data(), width, 20));
        a.SetBackgroundLevel(20);
        EXPECT_FALSE(a.FindDiscs());
        EXPECT_EQ(a.ErrorCode(), an::kNoBallsFound);
    }
}

TEST(CircleFit, ConsensusOfTriples) {
    ImageAnalyzer a(1.68);
    std::vector<std::uint8_t> frame(640 * 480, 0);
    ASSERT_TRUE(a.SetFrame(frame.data(), 640, 480));
    double cx = 0, cy = 0, d = 0;
    auto ring = [&](int count, double radius) {
        a.ClearEdgePoints();
        for (int i = 0; i < count; ++i) {
            const double t = 2 * M_PI * i / count;
            a.AddEdgePoint(int(std::lround(320 + radius * std::cos(t))),
                           int(std::lround(240 + radius * std::sin(t))));
        }
    };
    ring(9, 60);
    EXPECT_FALSE(a.FitCircle(320, 240, 120, cx, cy, d));  // fewer than 10 points
    ring(10, 60);
    ASSERT_TRUE(a.FitCircle(320, 240, 120, cx, cy, d));
    EXPECT_EQ(a.CircleCandidateCount(), 120);
    EXPECT_NEAR(cx, 320, 0.5);
    EXPECT_NEAR(cy, 240, 0.5);
    EXPECT_NEAR(d, 120, 1.0);
    // The prior must lie within 0.5 to 1.5 of a candidate's diameter.
    EXPECT_FALSE(a.FitCircle(320, 240, 59, cx, cy, d));
    EXPECT_FALSE(a.FitCircle(320, 240, 181, cx, cy, d));
    ring(40, 110);  // circles over 200 pixels are no ball
    EXPECT_FALSE(a.FitCircle(320, 240, 220, cx, cy, d));
    EXPECT_EQ(a.CircleCandidateCount(), 0);
}

TEST(RefineEdges, BallsTooLargeForTheFitFailWithCode3) {
    // Two flat discs 240 pixels across: every circle through their edge is too large.
    CapturedImage image;
    image.width = 1024, image.height = 768;
    for (int y = 0; y < 768; ++y) {
        for (int x = 0; x < 1024; ++x) {
            const bool disc =
                std::hypot(x - 260.0, y - 384.0) < 120 || std::hypot(x - 760.0, y - 384.0) < 120;
            image.Pixels()[y * 1024 + x] = y < 10 ? std::uint8_t(11 + (y * 1024 + x) % 190)
                                           : disc ? 220
                                                  : 0;
        }
    }
    ImageAnalyzer a(1.68);
    ASSERT_TRUE(Load(a, image));
    ASSERT_TRUE(a.FindDiscs());
    const double before = a.Ball(0).centreX;
    EXPECT_FALSE(a.RefineDiscEdges(0));
    EXPECT_EQ(a.ErrorCode(), an::kDiscEdgeFitFirst);
    EXPECT_EQ(a.Ball(0).centreX, before);  // state kept on failure
}

}  // namespace

// The mat is a step up within a few rows across the whole frame; stray light that brightens the
// frame towards its bottom is not ground, and neither is a ball low in the frame.
TEST(GroundRow, AStepAcrossTheFrameAndNotAGradient) {
    constexpr int kWidth = 640;
    constexpr int kHeight = 480;
    std::vector<std::uint8_t> pixels(kWidth * kHeight);
    kyvern::analysis::ImageAnalyzer analyzer(1.68);
    const auto groundOf = [&](auto level) {
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x)
                pixels[y * kWidth + x] = std::uint8_t(level(x, y));
        }
        EXPECT_TRUE(analyzer.SetFrame(pixels.data(), kWidth, kHeight));
        return analyzer.GroundRow();
    };
    const auto gradient = [](int, int y) { return 20 + 40 * y / kHeight; };
    const auto ball = [](int x, int y) {
        return (x - 200) * (x - 200) + (y - 430) * (y - 430) < 60 * 60 ? 230 : 20;
    };
    EXPECT_EQ(groundOf(gradient), kHeight);
    EXPECT_EQ(groundOf(ball), kHeight);
    EXPECT_EQ(groundOf([&](int x, int y) { return y >= 400 ? 90 : gradient(x, y); }), 400);
    // A mat that lies aslant: the row where most of it has begun.
    const int row = groundOf([&](int x, int y) { return y >= 380 + x / 64 ? 90 : 20; });
    EXPECT_GE(row, 380);
    EXPECT_LE(row, 390);
}
