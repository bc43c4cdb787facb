#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"
#include "analysis/test_frames.h"

namespace {

using kyvern::analysis::CapturedImage;
using kyvern::analysis::ImageAnalyzer;
using kyvern::analysis::ProfileSample;
using kyvern::analysis::RadialProfile;
namespace an = kyvern::analysis;
namespace kt = kyvern::testing;

bool Load(ImageAnalyzer& a, const CapturedImage& image) {
    return a.SetFrame(image.Pixels(), image.width, image.height) && a.PixelStats();
}

TEST(DiscScore, CountsBrightPositionsAndMovesToTheirCentroid) {
    ImageAnalyzer a(1.68);
    std::vector<std::uint8_t> frame(1024 * 768, 255);
    ASSERT_TRUE(a.SetFrame(frame.data(), 1024, 768));
    int x = 500, y = 400;
    a.SetBackgroundLevel(4);
    EXPECT_EQ(a.DiscScore(x, y, 100), -1);  // background below 5
    a.SetBackgroundLevel(20);
    EXPECT_EQ(a.DiscScore(x, y, 100), 100);
    // The grid runs from x - h to x + h - 2, so the centroid sits one pixel up and left.
    EXPECT_EQ(x, 499);
    EXPECT_EQ(y, 399);
    x = 500;
    y = -200;  // wholly outside the frame's linear range
    EXPECT_EQ(a.DiscScore(x, y, 100), -1);
    // Nothing bright: score 0 and no centroid to move to.
    std::fill(frame.begin(), frame.end(), 0);
    ASSERT_TRUE(a.SetFrame(frame.data(), 1024, 768));
    a.SetBackgroundLevel(20);
    x = 500;
    y = 400;
    EXPECT_EQ(a.DiscScore(x, y, 100), 0);
    EXPECT_EQ(x, 500);
}

TEST(FindDiscs, FailureCodes) {
    ImageAnalyzer a(1.68);
    EXPECT_FALSE(a.FindDiscs());  // no frame: the code is untouched
    EXPECT_EQ(a.ErrorCode(), 0);
    CapturedImage image;
    kt::DrawnFrame oneBall = kt::TwoBalls();
    oneBall.balls.pop_back();
    // A second ball closer than 0.8 of the winning template (128) is suppressed.
    kt::DrawnFrame tooClose = kt::TwoBalls();
    tooClose.balls[1].centreX = tooClose.balls[0].centreX + 95;
    tooClose.balls[1].centreY = tooClose.balls[0].centreY;
    tooClose.balls[0].diameter = tooClose.balls[1].diameter = 90;
    const struct {
        const char* what;
        kt::DrawnFrame frame;
        int code;
    } cases[] = {{"blank", kt::DrawnFrame{}, an::kNoBallsFound},
                 {"one ball", oneBall, an::kOnlyOneBallFound},
                 {"two too close", tooClose, an::kOnlyOneBallFound}};
    for (const auto& c : cases) {
        kt::Draw(c.frame, image);
        ASSERT_TRUE(Load(a, image));
        EXPECT_FALSE(a.FindDiscs()) << c.what;
        EXPECT_EQ(a.ErrorCode(), c.code) << c.what;
    }
    // Below 22 columns the position step truncates to 0: the search must still end.
    std::vector<std::uint8_t> narrow(31 * 20, 200);
    for (int width : {1, 10, 21, 31}) {
        ASSERT_TRUE(a.SetFrame(narrow.data(), width, 20));
        a.SetBackgroundLevel(20);
        EXPECT_FALSE(a.FindDiscs());
        EXPECT_EQ(a.ErrorCode(), an::kNoBallsFound);
    }
}

TEST(FindDiscs, BallZeroIsTheLeftBall) {
    ImageAnalyzer a(1.68);
    CapturedImage image;
    kt::DrawnFrame f = kt::TwoBalls();
    for (auto& b : f.balls)
        b.bandNormal = {};
    // As drawn and mirrored: whichever disc scores higher, ball 0 is the left one.
    for (bool mirrored : {false, true}) {
        if (mirrored) {
            const double x0 = f.balls[0].centreX;
            f.balls[0].centreX = 1024 - f.balls[1].centreX;
            f.balls[1].centreX = 1024 - x0;
        }
        kt::Draw(f, image);
        ASSERT_TRUE(Load(a, image));
        ASSERT_TRUE(a.FindDiscs());
        EXPECT_NEAR(a.Ball(0).centreX, f.balls[0].centreX, 12) << mirrored;
        EXPECT_NEAR(a.Ball(1).centreX, f.balls[1].centreX, 12) << mirrored;
        // The winning size is the smallest template, 128; the estimate is 0.75 of it.
        EXPECT_EQ(a.Ball(0).diameterEstimate, 96.0);
    }
}

RadialProfile& MakeProfile(RadialProfile& p, const std::vector<int>& values, int background) {
    p.Clear();
    for (int v : values) {
        ProfileSample& s = p.samples[p.sampleCount++];
        s.value = std::uint8_t(v);
        s.bright = v > background ? 10 : 0;
        s.x = p.sampleCount;
        s.y = 10;
    }
    return p;
}

TEST(RadialProfiles, CoarseAndRefinedEdges) {
    static RadialProfile p;
    // Coarse: the first 20-sample window with fewer than four bright samples, tried while
    // i < count - 20.
    std::vector<int> values(60, 10);
    std::fill_n(values.begin(), 30, 200);
    for (const auto& [count, edge] : {std::pair{60, 27}, {46, 0}, {48, 27}}) {
        values.resize(std::size_t(count), 10);
        EXPECT_EQ(ImageAnalyzer::CoarseEdge(MakeProfile(p, values, 50)), edge) << count;
    }

    // Refined: bright 200 to sample 29, a ramp 150, 100, 60, then 20 flat. The mean before k
    // falls until k = 37 (a = (60 + 20 * 4) / 5 = 28, b = 20, 28 - 10 < 20): index 32.
    values.assign(80, 20);
    std::fill_n(values.begin(), 30, 200);
    values[30] = 150;
    values[31] = 100;
    values[32] = 60;
    MakeProfile(p, values, 120);
    p.coarseEdge = ImageAnalyzer::CoarseEdge(p);
    ASSERT_EQ(p.coarseEdge, 28);
    ASSERT_TRUE(ImageAnalyzer::RefinedEdge(p, 120));
    EXPECT_EQ(p.refinedEdge, 32);
    EXPECT_EQ(p.edgeQuality, (28 - 20 - 5) * 50);
    EXPECT_EQ(p.windowFirst, 28);
    EXPECT_EQ(p.windowEnd, 63);
    // A window that would read past the last sample is not found; k = 37 reads 37..41.
    for (const auto& [count, found] : {std::pair{40, false}, {42, true}}) {
        values.resize(std::size_t(count), 20);
        MakeProfile(p, values, 120);
        p.coarseEdge = 28;
        EXPECT_EQ(ImageAnalyzer::RefinedEdge(p, 120), found) << count;
        EXPECT_EQ(p.refinedEdge, found ? 32 : 0);
    }
    // A coarse edge below 5 has no samples before it.
    MakeProfile(p, std::vector<int>(60, 20), 50);
    for (int coarse : {0, 4, 5}) {
        p.coarseEdge = coarse;
        EXPECT_EQ(ImageAnalyzer::RefinedEdge(p, 50), coarse == 5);
        EXPECT_EQ(p.refinedEdge, 0);  // at k = 5 found at index 0, which reads as none
    }
}

TEST(EdgePoints, ToggleBoxAndLimits) {
    ImageAnalyzer a(1.68);
    a.AddEdgePoint(10, 10);  // no frame: nothing
    EXPECT_EQ(a.EdgePointCount(), 0);
    std::vector<std::uint8_t> frame(640 * 480, 0);
    ASSERT_TRUE(a.SetFrame(frame.data(), 640, 480));
    // The box runs from x - 2 inclusive to x + 2 exclusive; a point in a live point's box
    // deletes it, a new one takes the first deleted slot; rows within 3 of the edge are left.
    const struct {
        int x, y, live;
    } steps[] = {{100, 100, 1}, {100, 100, 0}, {100, 100, 1}, {98, 100, 2}, {102, 102, 1},
                 {300, 2, 1},   {300, 478, 1}, {300, 3, 2},   {300, 477, 3}};
    for (const auto& s : steps) {
        a.AddEdgePoint(s.x, s.y);
        EXPECT_EQ(a.LiveEdgePointCount(), s.live) << s.x << "," << s.y;
    }
    EXPECT_EQ(a.EdgePointCount(), 3);
    EXPECT_EQ(a.EdgePointAt(0).y, 3);
    EXPECT_EQ(a.EdgePointAt(1).x, 98);
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

TEST(RefineEdges, DrawnBallsAreMeasuredClosely) {
    ImageAnalyzer a(1.68);
    CapturedImage image;
    const kt::DrawnFrame f = kt::TwoBalls();
    kt::Draw(f, image);
    ASSERT_TRUE(Load(a, image));
    ASSERT_TRUE(a.FindDiscs());
    for (int ball = 0; ball < 2; ++ball)
        ASSERT_TRUE(a.RefineDiscEdges(ball));
    for (int ball = 0; ball < 2; ++ball)
        ASSERT_TRUE(a.RefineBallEdges(ball));
    for (int ball = 0; ball < 2; ++ball) {
        const auto& b = a.Ball(ball);
        // Pixel (x, y) covers x .. x + 1, so the drawn centre sits half a pixel further.
        EXPECT_NEAR(b.centreX, f.balls[std::size_t(ball)].centreX - 0.5, 0.5);
        EXPECT_NEAR(b.centreY, f.balls[std::size_t(ball)].centreY - 0.5, 0.5);
        EXPECT_NEAR(b.diameter, 130, 4);
    }
}

TEST(RefineEdges, BallsTooLargeForTheFitFailWithCode3) {
    // Two flat discs 240 pixels across: every circle through their edge is too large.
    CapturedImage image;
    image.width = 1024;
    image.height = 768;
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
