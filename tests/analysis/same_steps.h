// Running every analysis step on a frame, and comparing two analyzers' results bit for bit:
// the fast paths must give exactly what the plain loops give.
#pragma once

#include <gtest/gtest.h>

#include "analysis/captured_image.h"
#include "analysis/image_analyzer.h"

namespace kyvern::testing {

inline void RunSteps(analysis::ImageAnalyzer& a, const analysis::CapturedImage& image) {
    a.SetFrame(image.Pixels(), image.width, image.height);
    a.PixelStats();
    if (!a.FindDiscs()) return;
    // With one thread the calls for both balls are the calls for each in turn.
    if (!a.RefineBothDiscEdges()) return;
    if (!a.RefineBothBallEdges()) return;
    for (int ball = 0; ball < 2; ++ball) {
        a.FindMarks(ball);
        a.GroupMarks(ball);
    }
    a.FindBothPlanes();
    a.ProcessScene();
}

inline void ExpectSame(const analysis::ImageAnalyzer& fast, const analysis::ImageAnalyzer& plain,
                       int frame) {
    SCOPED_TRACE(frame);
    ASSERT_EQ(fast.DiscCandidateCount(), plain.DiscCandidateCount());
    for (int i = 0; i < fast.DiscCandidateCount(); ++i) {
        EXPECT_EQ(fast.Candidate(i).x, plain.Candidate(i).x);
        EXPECT_EQ(fast.Candidate(i).y, plain.Candidate(i).y);
        EXPECT_EQ(fast.Candidate(i).size, plain.Candidate(i).size);
        EXPECT_EQ(fast.Candidate(i).score, plain.Candidate(i).score);
    }
    EXPECT_EQ(fast.ErrorCode(), plain.ErrorCode());
    EXPECT_EQ(fast.CircleCandidateCount(), plain.CircleCandidateCount());
    ASSERT_EQ(fast.EdgePointCount(), plain.EdgePointCount());
    for (int i = 0; i < fast.EdgePointCount(); ++i) {
        EXPECT_EQ(fast.EdgePointAt(i).x, plain.EdgePointAt(i).x);
        EXPECT_EQ(fast.EdgePointAt(i).y, plain.EdgePointAt(i).y);
    }
    EXPECT_EQ(fast.AxisCandidateCount(), plain.AxisCandidateCount());
    ASSERT_EQ(fast.WarningCount(), plain.WarningCount());
    for (int ball = 0; ball < 2; ++ball) {
        const analysis::BallImage& f = fast.Ball(ball);
        const analysis::BallImage& p = plain.Ball(ball);
        EXPECT_EQ(f.pix, p.pix);
        EXPECT_EQ(f.centreX, p.centreX);
        EXPECT_EQ(f.centreY, p.centreY);
        EXPECT_EQ(f.diameterEstimate, p.diameterEstimate);
        EXPECT_EQ(f.diameter, p.diameter);
        EXPECT_EQ(f.edgeQuality, p.edgeQuality);
        EXPECT_EQ(f.lum, p.lum);
        EXPECT_EQ(f.location, p.location);
        ASSERT_EQ(f.markCount, p.markCount);
        for (int i = 0; i < f.markCount; ++i) {
            EXPECT_EQ(f.marks[i].pixelX, p.marks[i].pixelX);
            EXPECT_EQ(f.marks[i].pixelY, p.marks[i].pixelY);
            EXPECT_EQ(f.marks[i].group, p.marks[i].group);
            EXPECT_EQ(f.marks[i].visited, p.marks[i].visited);
        }
        ASSERT_EQ(f.groupCount, p.groupCount);
        for (int k = 0; k < f.groupCount; ++k) {
            EXPECT_EQ(f.groups[k].number, p.groups[k].number);
            EXPECT_EQ(f.groups[k].count, p.groups[k].count);
        }
        EXPECT_EQ(f.planeNormal, p.planeNormal);
        EXPECT_EQ(f.planeFound, p.planeFound);
        EXPECT_EQ(f.viewNormal, p.viewNormal);
    }
}

}  // namespace kyvern::testing
