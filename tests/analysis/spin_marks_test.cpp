#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"

namespace {

using namespace kyvern::analysis;
using namespace kyvern::frame;
namespace an = kyvern::analysis;

// An analyzer with a loaded frame and ball 0 placed by hand in its middle.
struct Placed {
    explicit Placed(double diameter,
                    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(1024 * 768, 200))
        : frame(std::move(pixels)), a(1.68) {
        a.SetFrame(frame.data(), 1024, 768);
        BallImage& b = a.Ball(0);
        b.found = true, b.centreX = 512, b.centreY = 384, b.diameter = diameter;
    }
    void AddMark(int x, int y) {
        BallImage& b = a.Ball(0);
        auto& m = b.marks[b.markCount++];
        m.pixelX = x, m.pixelY = y, m.group = -1, m.visited = false;
    }
    std::vector<std::uint8_t> frame;
    ImageAnalyzer a;
};

TEST(FindMarks, OnlyPixelsWithMoreThanFiveDarkerNeighbours) {
    // A dark band three rows high across the ball.
    std::vector<std::uint8_t> band(1024 * 768, 200);
    std::fill(band.begin() + 383 * 1024, band.begin() + 386 * 1024, 0);
    Placed p(200, band);
    ASSERT_TRUE(p.a.FindMarks(0));
    // Only the middle row has all eight neighbours dark (the outer rows have five), and only
    // within r - 10 = 90 of the centre.
    const BallImage& b = p.a.Ball(0);
    ASSERT_EQ(b.markCount, 181);
    EXPECT_EQ(b.marks[0].pixelX, 512 - 90);
    EXPECT_EQ(b.marks[0].pixelY, 384);
    EXPECT_DOUBLE_EQ(b.marks[0].point.z, std::sqrt(100.0 * 100 - 90 * 90));
    EXPECT_DOUBLE_EQ(b.marks[0].azimuth, std::asin(-0.9));

    // A uniform ball has no marks; a ball not found, no search.
    Placed uniform(200);
    EXPECT_FALSE(uniform.a.FindMarks(1));
    ASSERT_TRUE(uniform.a.FindMarks(0));
    EXPECT_EQ(uniform.a.Ball(0).markCount, 0);
}

TEST(GroupMarks, EightConnectedGroupsAboveOnePercentOfTheDisc) {
    using Pairs = std::vector<std::pair<int, int>>;
    Pairs rows, spaced;
    for (int x = 0; x < 132; ++x)
        rows.push_back({x, 50});
    for (int x = 0; x < 133; ++x)
        rows.push_back({x, 60});
    for (int i = 0; i < 201; ++i)
        spaced.push_back({3 * i, 10});
    const Pairs knight = {{10, 10}, {11, 12}, {30, 30}, {31, 31}};
    const Pairs chain = {{14, 10}, {10, 10}, {12, 10}, {11, 11}, {13, 11}};
    const struct Case {
        const char* what;
        double diameter;  // 2: a tiny disc, whose 1 % rule removes nothing
        Pairs marks;
        Pairs groupOfMark;  // mark index, group (-1: none)
        Pairs groups;       // number, count of the groups kept
        int groupCount;
    } cases[] = {
        // A knight's move is no neighbour, a diagonal step is.
        {"neighbours", 2, knight, {{0, 0}, {1, 1}, {2, 2}, {3, 2}}, {{0, 1}, {1, 1}, {2, 2}}, 3},
        {"chain out of order", 2, chain, {}, {{0, 5}}, 1},
        // r = 65: area 13273.2, truncated, / 100 = 132: a group of 132 goes; the marks keep
        // their numbers and the kept group its own.
        {"one percent", 130, rows, {{0, 0}, {132, 1}}, {{1, 133}}, 1},
        {"200 groups at most", 2, spaced, {{199, 199}, {200, -1}}, {}, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Placed p(c.diameter);
        for (const auto& [x, y] : c.marks)
            p.AddMark(x, y);
        ASSERT_TRUE(p.a.GroupMarks(0));
        const BallImage& b = p.a.Ball(0);
        ASSERT_EQ(b.groupCount, c.groupCount);
        for (const auto& [mark, group] : c.groupOfMark)
            EXPECT_EQ(b.marks[mark].group, group) << mark;
        for (std::size_t k = 0; k < c.groups.size(); ++k) {
            EXPECT_EQ(b.groups[k].number, c.groups[k].first) << k;
            EXPECT_EQ(b.groups[k].count, c.groups[k].second) << k;
        }
    }
}

// Mark 0 on the x axis, then count marks near the top of the great circle z = 0: every pair
// with mark 0 lies more than 20 apart and gives the normal (0, 0, -1); the others lie closer.
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
    EXPECT_EQ(p.a.Warning(0), an::kMarksTooSmall);
    EXPECT_FALSE(p.a.Ball(0).planeFound);
    TopOfCircle(p, 75);
    ASSERT_TRUE(p.a.FindPlane(0));
    EXPECT_EQ(p.a.AxisCandidateCount(), 75);
    EXPECT_EQ(p.a.Ball(0).planeNormal, Xyz(0, 0, -1));
    // Mark 0 again at the end: its pairs come reversed, (0, 0, +1), in bin 100, never counted.
    TopOfCircle(p, 80);
    BallImage& b = p.a.Ball(0);
    b.marks[b.markCount++].point.Set(65, 0, 0);
    ASSERT_TRUE(p.a.FindPlane(0));
    EXPECT_EQ(p.a.AxisCandidateCount(), 80);
    EXPECT_EQ(b.planeNormal, Xyz(0, 0, -1));
    // All pairs closer than 20: no candidate at all.
    b.markCount = 0;
    for (int i = 0; i < 10; ++i)
        b.marks[b.markCount++].point.Set(i, i, 60);
    EXPECT_FALSE(p.a.FindPlane(0));
    EXPECT_EQ(p.a.Warning(p.a.WarningCount() - 1), an::kNoValidMarks);
}

}  // namespace
