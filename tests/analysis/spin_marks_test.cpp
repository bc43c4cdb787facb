#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"
#include "analysis/test_frames.h"

namespace {

using kyvern::analysis::BallImage;
using kyvern::analysis::CapturedImage;
using kyvern::analysis::ImageAnalyzer;
namespace kt = kyvern::testing;

// An analyzer with a loaded uniform frame and ball 0 placed by hand.
struct Placed {
    explicit Placed(double diameter, std::uint8_t level = 200) : frame(1024 * 768, level), a(1.68) {
        a.SetFrame(frame.data(), 1024, 768);
        BallImage& b = a.Ball(0);
        b.found = true;
        b.centreX = 512;
        b.centreY = 384;
        b.diameter = diameter;
    }
    void AddMark(int x, int y) {
        BallImage& b = a.Ball(0);
        auto& m = b.marks[b.markCount++];
        m.pixelX = x;
        m.pixelY = y;
        m.group = -1;
        m.visited = false;
    }
    std::vector<std::uint8_t> frame;
    ImageAnalyzer a;
};

TEST(FindMarks, OnlyPixelsWithMoreThanFiveDarkerNeighbours) {
    Placed p(200);
    // A dark band three rows high across the ball.
    for (int y = 383; y <= 385; ++y) {
        for (int x = 0; x < 1024; ++x)
            p.frame[std::size_t(y) * 1024 + x] = 0;
    }
    ASSERT_TRUE(p.a.SetFrame(p.frame.data(), 1024, 768));
    BallImage& b = p.a.Ball(0);
    b.found = true;
    b.centreX = 512;
    b.centreY = 384;
    b.diameter = 200;
    ASSERT_TRUE(p.a.FindMarks(0));
    // Only the middle row has all eight neighbours dark (the outer rows have five), and only
    // within r - 10 = 90 of the centre.
    ASSERT_EQ(b.markCount, 181);
    EXPECT_EQ(b.marks[0].pixelX, 512 - 90);
    EXPECT_EQ(b.marks[0].pixelY, 384);
    EXPECT_DOUBLE_EQ(b.marks[0].point.x, -90);
    EXPECT_DOUBLE_EQ(b.marks[0].point.z, std::sqrt(100.0 * 100 - 90 * 90));
    EXPECT_DOUBLE_EQ(b.marks[0].polar, std::acos(0.0));
    EXPECT_DOUBLE_EQ(b.marks[0].azimuth, std::asin(-0.9));
    EXPECT_EQ(b.marks[0].group, -1);
}

TEST(FindMarks, RefusesWithoutFrameBallOrInsidePixel) {
    ImageAnalyzer a(1.68);
    EXPECT_FALSE(a.FindMarks(0));
    Placed p(200);
    p.a.Ball(1).found = false;
    EXPECT_FALSE(p.a.FindMarks(1));
    // A uniform ball has no marks, and then no plane: warning 7.
    ASSERT_TRUE(p.a.FindMarks(0));
    EXPECT_EQ(p.a.Ball(0).markCount, 0);
    EXPECT_FALSE(p.a.FindPlane(0));
    ASSERT_EQ(p.a.WarningCount(), 1);
    EXPECT_EQ(p.a.Warning(0), kyvern::analysis::kNoValidMarks);
}

TEST(GroupMarks, EightConnectedNeighboursOnly) {
    Placed p(2);  // a tiny disc: the 1 % rule removes nothing
    p.AddMark(10, 10);
    p.AddMark(11, 12);  // knight's move away: sqrt(5), not a neighbour
    p.AddMark(30, 30);
    p.AddMark(31, 31);  // diagonal: sqrt(2), a neighbour
    ASSERT_TRUE(p.a.GroupMarks(0));
    const BallImage& b = p.a.Ball(0);
    EXPECT_EQ(b.groupCount, 3);
    EXPECT_EQ(b.marks[0].group, 0);
    EXPECT_EQ(b.marks[1].group, 1);
    EXPECT_EQ(b.marks[2].group, 2);
    EXPECT_EQ(b.marks[3].group, 2);
    EXPECT_EQ(b.groups[2].count, 2);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(b.marks[i].visited);
}

TEST(GroupMarks, GrowsThroughChainsInAnyOrder) {
    Placed p(2);
    // A chain whose members are listed out of order still ends in one group.
    p.AddMark(14, 10);
    p.AddMark(10, 10);
    p.AddMark(12, 10);
    p.AddMark(11, 11);
    p.AddMark(13, 11);
    ASSERT_TRUE(p.a.GroupMarks(0));
    const BallImage& b = p.a.Ball(0);
    ASSERT_EQ(b.groupCount, 1);
    EXPECT_EQ(b.groups[0].count, 5);
}

TEST(GroupMarks, GroupsOfOnePercentOfTheDiscAreRemoved) {
    // r = 65: area 13273.2..., truncated 13273, / 100 = 132.
    Placed p(130);
    for (int x = 0; x < 132; ++x)
        p.AddMark(x, 50);
    for (int x = 0; x < 133; ++x)
        p.AddMark(x, 60);
    ASSERT_TRUE(p.a.GroupMarks(0));
    const BallImage& b = p.a.Ball(0);
    ASSERT_EQ(b.groupCount, 1);
    EXPECT_EQ(b.groups[0].number, 1);  // moved down; the marks keep their numbers
    EXPECT_EQ(b.groups[0].count, 133);
    EXPECT_EQ(b.marks[0].group, 0);
    EXPECT_EQ(b.marks[132].group, 1);
}

TEST(GroupMarks, LabellingStopsAt200Groups) {
    Placed p(2);
    for (int i = 0; i < 201; ++i)
        p.AddMark(3 * i, 10);
    ASSERT_TRUE(p.a.GroupMarks(0));
    const BallImage& b = p.a.Ball(0);
    EXPECT_EQ(b.groupCount, 200);
    EXPECT_EQ(b.marks[199].group, 199);
    EXPECT_EQ(b.marks[200].group, -1);
}

// Mark 0 on the x axis, then `count` marks near the top of the great circle z = 0: every
// pair with mark 0 lies more than 20 apart and gives the normal (0, 0, -1); the others lie
// closer than 20.
void TopOfCircle(Placed& p, int count) {
    BallImage& b = p.a.Ball(0);
    b.markCount = 0;
    b.marks[b.markCount++].point.Set(65, 0, 0);
    for (int i = 0; i < count; ++i) {
        const double t = (90.0 - 8.0 + 16.0 * i / count) * M_PI / 180.0;
        b.marks[b.markCount++].point.Set(65 * std::cos(t), -65 * std::sin(t), 0);
    }
}

TEST(FindPlane, SeventyFiveConsistentNormalsAreNeeded) {
    Placed p(130);
    TopOfCircle(p, 74);
    EXPECT_FALSE(p.a.FindPlane(0));
    EXPECT_EQ(p.a.AxisCandidateCount(), 74);
    ASSERT_EQ(p.a.WarningCount(), 1);
    EXPECT_EQ(p.a.Warning(0), kyvern::analysis::kMarksTooSmall);
    EXPECT_FALSE(p.a.Ball(0).planeFound);

    TopOfCircle(p, 75);
    ASSERT_TRUE(p.a.FindPlane(0));
    EXPECT_EQ(p.a.AxisCandidateCount(), 75);
    EXPECT_TRUE(p.a.Ball(0).planeFound);
    EXPECT_EQ(p.a.Ball(0).planeNormal, kyvern::analysis::Xyz(0, 0, -1));
    EXPECT_EQ(p.a.WarningCount(), 1);
}

TEST(FindPlane, ModeFilterKeepsTheCommonestBin) {
    Placed p(130);
    TopOfCircle(p, 80);
    // Reversed order for a few pairs: normal (0, 0, +1) falls in bin 100, never counted.
    BallImage& b = p.a.Ball(0);
    b.marks[b.markCount++].point.Set(65, 0, 0);  // pairs with marks 1..80 reversed: +z
    ASSERT_TRUE(p.a.FindPlane(0));
    EXPECT_EQ(p.a.AxisCandidateCount(), 80);
    EXPECT_EQ(b.planeNormal, kyvern::analysis::Xyz(0, 0, -1));
}

TEST(FindPlane, MarksAllClosePairsGiveNoCandidate) {
    Placed p(130);
    BallImage& b = p.a.Ball(0);
    for (int i = 0; i < 10; ++i)
        b.marks[b.markCount++].point.Set(i, i, 60);
    EXPECT_FALSE(p.a.FindPlane(0));
    EXPECT_EQ(p.a.Warning(0), kyvern::analysis::kNoValidMarks);
}

TEST(FindPlane, DrawnBandGivesItsGreatCircle) {
    ImageAnalyzer a(1.68);
    CapturedImage image;
    const kt::DrawnFrame f = kt::TwoBalls();
    kt::Draw(f, image);
    ASSERT_TRUE(a.SetFrame(image.Pixels(), 1024, 768));
    ASSERT_TRUE(a.PixelStats());
    ASSERT_TRUE(a.FindDiscs());
    for (int ball = 0; ball < 2; ++ball)
        ASSERT_TRUE(a.RefineDiscEdges(ball));
    for (int ball = 0; ball < 2; ++ball)
        ASSERT_TRUE(a.RefineBallEdges(ball));
    for (int ball = 0; ball < 2; ++ball) {
        ASSERT_TRUE(a.FindMarks(ball));
        ASSERT_TRUE(a.GroupMarks(ball));
        ASSERT_TRUE(a.FindPlane(ball));
        const BallImage& b = a.Ball(ball);
        EXPECT_GT(b.markCount, 300);
        EXPECT_GE(b.groupCount, 1);
        // The drawn normal has y down; the plane's has y up. Either sign is the plane.
        const auto& n = f.balls[std::size_t(ball)].bandNormal;
        const double dot = b.planeNormal.x * n.x - b.planeNormal.y * n.y + b.planeNormal.z * n.z;
        EXPECT_GT(std::fabs(dot), 0.99) << ball;
        EXPECT_NEAR(b.planeNormal.Length(), 1.0, 1e-9);
    }
    EXPECT_EQ(a.WarningCount(), 0);
}

}  // namespace
