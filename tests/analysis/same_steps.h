// Running every analysis step on a frame, and comparing two analyzers' results bit for bit:
// the fast paths must give exactly what the plain loops give.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <tuple>
#include <utility>

#include "analysis/image_analyzer.h"
#include "frame/captured_image.h"

namespace kyvern::testing {

inline void RunSteps(analysis::ImageAnalyzer& a, const frame::CapturedImage& image) {
    a.SetFrame(image.Pixels(), image.width, image.height);
    a.PixelStats();
    if (!a.FindDiscs()) return;
    // With one thread the calls for both balls are the calls for each in turn.
    if (!a.RefineBothDiscEdges()) return;
    if (!a.RefineBothBallEdges()) return;
    a.FindBothMarks();
    a.GroupMarks(0);
    a.GroupMarks(1);
    a.FindBothPlanes();
    a.ProcessScene();
}

inline void ExpectSame(const analysis::ImageAnalyzer& fast, const analysis::ImageAnalyzer& plain,
                       int frame) {
    SCOPED_TRACE(frame);
    std::array<std::uint32_t, 256> histograms[2];
    std::uint8_t levels[2][2];
    fast.GetHistogram(histograms[0], levels[0][0], levels[0][1]);
    plain.GetHistogram(histograms[1], levels[1][0], levels[1][1]);
    EXPECT_EQ(histograms[0], histograms[1]);
    ASSERT_EQ(fast.DiscCandidateCount(), plain.DiscCandidateCount());
    const auto candidate = [](const analysis::ImageAnalyzer& a, int i) {
        return std::tuple(a.Candidate(i).x, a.Candidate(i).y, a.Candidate(i).size,
                          a.Candidate(i).score);
    };
    for (int i = 0; i < fast.DiscCandidateCount(); ++i)
        EXPECT_EQ(candidate(fast, i), candidate(plain, i)) << "candidate " << i;
    EXPECT_EQ(fast.ErrorCode(), plain.ErrorCode());
    EXPECT_EQ(fast.CircleCandidateCount(), plain.CircleCandidateCount());
    ASSERT_EQ(fast.EdgePointCount(), plain.EdgePointCount());
    for (int i = 0; i < fast.EdgePointCount(); ++i)
        EXPECT_EQ(std::pair(fast.EdgePointAt(i).x, fast.EdgePointAt(i).y),
                  std::pair(plain.EdgePointAt(i).x, plain.EdgePointAt(i).y));
    EXPECT_EQ(fast.AxisCandidateCount(), plain.AxisCandidateCount());
    ASSERT_EQ(fast.WarningCount(), plain.WarningCount());
    for (int ball = 0; ball < 2; ++ball) {
        const analysis::BallImage& f = fast.Ball(ball);
        const analysis::BallImage& p = plain.Ball(ball);
        SCOPED_TRACE(ball);
        const auto scalars = [](const analysis::BallImage& b) {
            return std::tuple(b.centreX, b.centreY, b.diameterEstimate, b.diameter, b.edgeQuality,
                              b.lum, b.planeFound);
        };
        EXPECT_EQ(scalars(f), scalars(p));
        EXPECT_EQ(f.pix, p.pix);
        EXPECT_EQ(f.location, p.location);
        ASSERT_EQ(f.markCount, p.markCount);
        for (int i = 0; i < f.markCount; ++i) {
            const auto &a = f.marks[i], &b = p.marks[i];
            EXPECT_EQ(std::tuple(a.pixelX, a.pixelY, a.group, a.visited),
                      std::tuple(b.pixelX, b.pixelY, b.group, b.visited))
                << "mark " << i;
        }
        ASSERT_EQ(f.groupCount, p.groupCount);
        for (int k = 0; k < f.groupCount; ++k)
            EXPECT_EQ(std::pair(f.groups[k].number, f.groups[k].count),
                      std::pair(p.groups[k].number, p.groups[k].count))
                << "group " << k;
        EXPECT_EQ(f.planeNormal, p.planeNormal);
        EXPECT_EQ(f.viewNormal, p.viewNormal);
    }
}

}  // namespace kyvern::testing
