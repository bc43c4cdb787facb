#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"
#include "analysis/test_frames.h"

namespace {

using kyvern::analysis::CapturedImage;
using kyvern::analysis::ImageAnalyzer;
using kyvern::analysis::ProfileSample;
using kyvern::analysis::RadialProfile;
namespace kt = kyvern::testing;

bool Load(ImageAnalyzer& a, const CapturedImage& image) {
    return a.SetFrame(image.Pixels(), image.width, image.height) && a.PixelStats();
}

TEST(DiscScore, CountsInsideAndBrightPositions) {
    ImageAnalyzer a(1.68);
    std::vector<std::uint8_t> frame(1024 * 768, 255);
    ASSERT_TRUE(a.SetFrame(frame.data(), 1024, 768));
    a.SetBackgroundLevel(4);
    int x = 500;
    int y = 400;
    EXPECT_EQ(a.DiscScore(x, y, 100), -1);  // background below 5
    EXPECT_EQ(x, 500);
    a.SetBackgroundLevel(20);
    EXPECT_EQ(a.DiscScore(x, y, 100), 100);
    // The grid runs from x - h to x + h - 2, so the centroid sits one pixel up and left.
    EXPECT_EQ(x, 499);
    EXPECT_EQ(y, 399);
    // Nothing bright: score 0, the centre stays.
    std::vector<std::uint8_t> dark(1024 * 768, 0);
    ASSERT_TRUE(a.SetFrame(dark.data(), 1024, 768));
    a.SetBackgroundLevel(20);
    x = 500;
    y = 400;
    EXPECT_EQ(a.DiscScore(x, y, 100), 0);
    EXPECT_EQ(x, 500);
    // A template wholly outside the frame's linear range has nothing inside.
    x = 500;
    y = -200;
    EXPECT_EQ(a.DiscScore(x, y, 100), -1);
}

TEST(DiscScore, HalfBrightDisc) {
    // Left half of the frame bright: a template centred on the border is about half bright.
    ImageAnalyzer a(1.68);
    std::vector<std::uint8_t> frame(640 * 480, 0);
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 320; ++x)
            frame[std::size_t(y) * 640 + x] = 200;
    }
    ASSERT_TRUE(a.SetFrame(frame.data(), 640, 480));
    a.SetBackgroundLevel(20);
    int x = 320;
    int y = 240;
    const int score = a.DiscScore(x, y, 120);
    EXPECT_GE(score, 48);
    EXPECT_LE(score, 52);
    EXPECT_LT(x, 320);  // moved onto the bright half
}

TEST(FindDiscs, BlankFrameFindsNoBall) {
    ImageAnalyzer a(1.68);
    EXPECT_FALSE(a.FindDiscs());  // no frame: error code untouched
    EXPECT_EQ(a.ErrorCode(), 0);
    CapturedImage image;
    kt::DrawnFrame f;
    kt::Draw(f, image);
    ASSERT_TRUE(Load(a, image));
    EXPECT_FALSE(a.FindDiscs());
    EXPECT_EQ(a.ErrorCode(), kyvern::analysis::kNoBallsFound);
    EXPECT_EQ(a.DiscCandidateCount(), 0);
}

TEST(FindDiscs, OneBallOrTwoTooCloseIsOnlyOne) {
    ImageAnalyzer a(1.68);
    CapturedImage image;
    kt::DrawnFrame f = kt::TwoBalls();
    f.balls.pop_back();
    kt::Draw(f, image);
    ASSERT_TRUE(Load(a, image));
    EXPECT_FALSE(a.FindDiscs());
    EXPECT_EQ(a.ErrorCode(), kyvern::analysis::kOnlyOneBallFound);

    // Second ball closer than 0.8 x the winning template (128): suppressed.
    f = kt::TwoBalls();
    f.balls[1].centreX = f.balls[0].centreX + 95;
    f.balls[1].centreY = f.balls[0].centreY;
    f.balls[0].diameter = f.balls[1].diameter = 90;
    kt::Draw(f, image);
    ASSERT_TRUE(Load(a, image));
    EXPECT_FALSE(a.FindDiscs());
    EXPECT_EQ(a.ErrorCode(), kyvern::analysis::kOnlyOneBallFound);
    EXPECT_GE(a.DiscCandidateCount(), 2);
    EXPECT_EQ(a.Candidate(1).score, 0);
}

TEST(FindDiscs, BallZeroIsTheLeftBall) {
    ImageAnalyzer a(1.68);
    CapturedImage image;
    // Two equal discs: the one found first in scan order ranks first; either way ball 0 is
    // the left one.
    kt::DrawnFrame f = kt::TwoBalls();
    for (auto& b : f.balls)
        b.bandNormal = {};
    kt::Draw(f, image);
    ASSERT_TRUE(Load(a, image));
    ASSERT_TRUE(a.FindDiscs());
    EXPECT_LT(a.Ball(0).centreX, a.Ball(1).centreX);
    EXPECT_NEAR(a.Ball(0).centreX, 300, 12);
    EXPECT_NEAR(a.Ball(1).centreX, 700, 12);
    // Scores sorted highest first from position 1 on.
    for (int i = 2; i < a.DiscCandidateCount(); ++i) {
        EXPECT_GE(a.Candidate(i - 1).score, a.Candidate(i).score);
    }
    // The winning size is the smallest template, 128; the estimate is 0.75 of it.
    EXPECT_EQ(a.Ball(0).diameterEstimate, 96.0);
    // Mirror the frame: the brighter-scoring disc is now on the right, still ball 1.
    kt::DrawnFrame m = f;
    m.balls[0].centreX = 1024 - f.balls[1].centreX;
    m.balls[1].centreX = 1024 - f.balls[0].centreX;
    kt::Draw(m, image);
    ASSERT_TRUE(Load(a, image));
    ASSERT_TRUE(a.FindDiscs());
    EXPECT_LT(a.Ball(0).centreX, a.Ball(1).centreX);
}

TEST(FindDiscs, NarrowFramesEndWithoutSearching) {
    // Below 22 columns the position step truncates to 0; the search must not spin forever.
    ImageAnalyzer a(1.68);
    std::vector<std::uint8_t> frame(21 * 40, 200);
    for (int width : {1, 10, 21, 31}) {
        ASSERT_TRUE(a.SetFrame(frame.data(), width, 20));
        a.SetBackgroundLevel(20);
        EXPECT_FALSE(a.FindDiscs());
        EXPECT_EQ(a.ErrorCode(), kyvern::analysis::kNoBallsFound);
    }
}

TEST(RadialProfiles, NinetyRaysFromTheCoarseCentre) {
    ImageAnalyzer a(1.68);
    CapturedImage image;
    kt::Draw(kt::TwoBalls(), image);
    ASSERT_TRUE(Load(a, image));
    ASSERT_TRUE(a.FindDiscs());
    for (int ball = 0; ball < 2; ++ball) {
        const auto& b = a.Ball(ball);
        ASSERT_EQ(b.profileCount, 90);
        EXPECT_DOUBLE_EQ(b.profiles[0].angle, 0.0);
        EXPECT_NEAR(b.profiles[89].angle, 89 * 0.06981317007977311, 1e-12);
        const RadialProfile& p = b.profiles[0];
        // Radii from 0.35 to 1.5 of the estimate (96): 33.6 ... 143.6, 111 samples.
        EXPECT_EQ(p.sampleCount, 111);
        EXPECT_DOUBLE_EQ(p.samples[0].radius, 0.35 * 96);
        EXPECT_EQ(p.samples[0].x, int(b.centreX) + int(0.35 * 96));
        EXPECT_EQ(p.samples[0].bright, 10);
        EXPECT_EQ(p.samples[110].bright, 0);
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

TEST(RadialProfiles, CoarseEdgeIsTheFirstWindowWithFewerThanFourBright) {
    static RadialProfile p;
    std::vector<int> values(60, 10);
    for (int i = 0; i < 30; ++i)
        values[std::size_t(i)] = 200;
    MakeProfile(p, values, 50);
    // Window 26..45 holds four bright samples (26..29), window 27..46 three.
    EXPECT_EQ(ImageAnalyzer::CoarseEdge(p), 27);
    // Windows are tried while i < count - 20: with 46 samples the last is 25..44, so none.
    values.resize(46);
    MakeProfile(p, values, 50);
    EXPECT_EQ(ImageAnalyzer::CoarseEdge(p), 0);
    values.resize(48);
    MakeProfile(p, values, 50);
    EXPECT_EQ(ImageAnalyzer::CoarseEdge(p), 27);
}

TEST(RadialProfiles, RefinedEdgeWhereTheFallEnds) {
    static RadialProfile p;
    // Bright 200 up to sample 29, a ramp 150, 100, 60, then 20 flat.
    std::vector<int> values(80, 20);
    for (int i = 0; i < 30; ++i)
        values[std::size_t(i)] = 200;
    values[30] = 150;
    values[31] = 100;
    values[32] = 60;
    MakeProfile(p, values, 120);
    p.coarseEdge = ImageAnalyzer::CoarseEdge(p);
    ASSERT_EQ(p.coarseEdge, 28);  // bright through 30
    ASSERT_TRUE(ImageAnalyzer::RefinedEdge(p, 120));
    // From k = 31 the samples are dark, but the mean before still falls until k = 37
    // (a = (60 + 20 * 4) / 5 = 28, b = 20, 28 - 10 < 20): refined index 32.
    EXPECT_EQ(p.refinedEdge, 32);
    EXPECT_EQ(p.edgeQuality, (28 - 20 - 5) * 50);
    EXPECT_EQ(p.windowFirst, 28);
    EXPECT_EQ(p.windowEnd, 63);

    // A window that would read past the last sample ends as not found.
    values.resize(40);
    MakeProfile(p, values, 120);
    p.coarseEdge = 28;
    EXPECT_FALSE(ImageAnalyzer::RefinedEdge(p, 120));
    EXPECT_EQ(p.refinedEdge, 0);
    EXPECT_EQ(p.edgeQuality, 0);
    values.resize(42, 20);  // k = 37 reads 37..41: just fits
    MakeProfile(p, values, 120);
    p.coarseEdge = 28;
    EXPECT_TRUE(ImageAnalyzer::RefinedEdge(p, 120));
    EXPECT_EQ(p.refinedEdge, 32);

    // A coarse edge below 5 (none included) gives no refined edge: no samples before it.
    std::vector<int> early(60, 20);
    MakeProfile(p, early, 50);
    for (int coarse : {0, 1, 4}) {
        p.coarseEdge = coarse;
        EXPECT_FALSE(ImageAnalyzer::RefinedEdge(p, 50));
        EXPECT_EQ(p.refinedEdge, 0);
        EXPECT_EQ(p.edgeQuality, 0);
    }
    p.coarseEdge = 5;
    EXPECT_TRUE(ImageAnalyzer::RefinedEdge(p, 50));
    EXPECT_EQ(p.refinedEdge, 0);  // k = 5: found at index 0, which reads as none
}

TEST(EdgePoints, ToggleBoxAndLimits) {
    ImageAnalyzer a(1.68);
    a.AddEdgePoint(10, 10);  // no frame: nothing
    EXPECT_EQ(a.EdgePointCount(), 0);
    std::vector<std::uint8_t> frame(640 * 480, 0);
    ASSERT_TRUE(a.SetFrame(frame.data(), 640, 480));
    a.AddEdgePoint(100, 100);
    EXPECT_EQ(a.LiveEdgePointCount(), 1);
    a.AddEdgePoint(100, 100);  // the same place again: toggled away
    EXPECT_EQ(a.LiveEdgePointCount(), 0);
    a.AddEdgePoint(100, 100);  // reuses the deleted slot
    EXPECT_EQ(a.EdgePointCount(), 1);
    EXPECT_EQ(a.LiveEdgePointCount(), 1);
    // The box runs from x - 2 inclusive to x + 2 exclusive.
    a.AddEdgePoint(98, 100);  // 100 < 98 + 2 fails: a new point
    EXPECT_EQ(a.LiveEdgePointCount(), 2);
    a.AddEdgePoint(102, 102);  // 100 >= 100 and 100 < 104: deletes (100, 100)
    EXPECT_EQ(a.LiveEdgePointCount(), 1);
    EXPECT_EQ(a.EdgePointAt(0).x, -1);
    EXPECT_EQ(a.EdgePointAt(1).x, 98);
    // Rows below 3 or above H - 3 are ignored.
    a.AddEdgePoint(300, 2);
    a.AddEdgePoint(300, 478);
    EXPECT_EQ(a.LiveEdgePointCount(), 1);
    a.AddEdgePoint(300, 3);
    a.AddEdgePoint(300, 477);
    EXPECT_EQ(a.LiveEdgePointCount(), 3);
    EXPECT_EQ(a.EdgePointAt(0).y, 3);  // into the first deleted slot
}

TEST(CircleFit, CircleThroughThreePoints) {
    double cx = 0;
    double cy = 0;
    double d = 0;
    ASSERT_TRUE(ImageAnalyzer::CircleThroughPoints(0, 0, 10, 0, 0, 10, cx, cy, d));
    EXPECT_DOUBLE_EQ(cx, 5.0);
    EXPECT_DOUBLE_EQ(cy, 5.0);
    EXPECT_DOUBLE_EQ(d, 2 * std::sqrt(50.0));
    EXPECT_FALSE(ImageAnalyzer::CircleThroughPoints(0, 0, 10, 10, 20, 20, cx, cy, d));
    ASSERT_TRUE(ImageAnalyzer::CircleThroughPoints(150, 100, 100, 150, 50, 100, cx, cy, d));
    EXPECT_DOUBLE_EQ(cx, 100.0);
    EXPECT_DOUBLE_EQ(cy, 100.0);
    EXPECT_DOUBLE_EQ(d, 100.0);
}

TEST(CircleFit, ConsensusOfTriples) {
    ImageAnalyzer a(1.68);
    std::vector<std::uint8_t> frame(640 * 480, 0);
    ASSERT_TRUE(a.SetFrame(frame.data(), 640, 480));
    double cx = 0;
    double cy = 0;
    double d = 0;
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
    // Circles over 200 pixels are no ball.
    ring(40, 110);
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
        EXPECT_TRUE(b.edgesRefined);
        EXPECT_EQ(b.pix.x, b.centreX);
        EXPECT_EQ(b.pix.z, b.diameter);
        EXPECT_GE(b.edgeQuality, 0);
        // lum: integer mean within 0.45 of the diameter.
        std::int64_t sum = 0;
        std::int64_t n = 0;
        const int half = int(b.diameter / 2);
        for (int y = int(b.centreY) - half; y <= b.centreY + half; ++y) {
            for (int x = int(b.centreX) - half; x <= b.centreX + half; ++x) {
                if (std::hypot(x - b.centreX, y - b.centreY) > 0.45 * b.diameter) continue;
                sum += image.Pixels()[std::size_t(y) * 1024 + x];
                ++n;
            }
        }
        EXPECT_EQ(b.lum, sum / n);
    }
}

TEST(RefineEdges, BallsTooLargeForTheFitFailWithCode3) {
    // Two flat discs 240 pixels across: every circle through their edge is too large.
    CapturedImage image;
    image.width = 1024;
    image.height = 768;
    std::uint8_t* px = image.Pixels();
    for (int y = 0; y < 768; ++y) {
        for (int x = 0; x < 1024; ++x) {
            std::uint8_t v = 0;
            if (std::hypot(x - 260.0, y - 384.0) < 120 || std::hypot(x - 760.0, y - 384.0) < 120) {
                v = 220;
            }
            if (y < 10) v = std::uint8_t(11 + (y * 1024 + x) % 190);  // sparse levels
            px[y * 1024 + x] = v;
        }
    }
    ImageAnalyzer a(1.68);
    ASSERT_TRUE(Load(a, image));
    ASSERT_TRUE(a.FindDiscs());
    const double before = a.Ball(0).centreX;
    EXPECT_FALSE(a.RefineDiscEdges(0));
    EXPECT_EQ(a.ErrorCode(), kyvern::analysis::kDiscEdgeFitFirst);
    EXPECT_EQ(a.Ball(0).centreX, before);  // state kept on failure
}

}  // namespace
