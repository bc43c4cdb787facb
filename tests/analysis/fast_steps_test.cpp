// The fast disc search and mark threshold must give exactly what the plain loops give.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/image_analyzer.h"
#include "analysis/same_steps.h"
#include "analysis/test_frames.h"

namespace {

using kyvern::analysis::BallImage;
using kyvern::analysis::CapturedImage;
using kyvern::analysis::ImageAnalyzer;
using kyvern::analysis::Xyz;
namespace kt = kyvern::testing;
using kt::ExpectSame;
using kt::RunSteps;

TEST(FastSteps, SameResultsAsThePlainLoops) {
    ImageAnalyzer fast(1.68);
    ImageAnalyzer plain(1.68);
    plain.UseFastSteps(false);
    CapturedImage image;
    int successes = 0;
    for (int k = 0; k < 24; ++k) {
        kt::DrawnFrame f = kt::TwoBalls(k % 3 == 0 ? 640 : 1024, k % 3 == 0 ? 480 : 768,
                                        k % 3 == 0 ? 110 + k : 100 + 3 * k);
        f.seed = unsigned(k + 1);
        f.noise = k % 4 * 4;
        const double shift = (k * 37) % 200 - 100;
        f.balls[0].centreX += shift;
        f.balls[1].centreY -= shift / 2;
        f.balls[1].bandNormal = Xyz(std::sin(k * 0.7), std::cos(k * 0.7), 0.3);
        f.balls[1].bandNormal.Normalize();
        if (k % 5 == 4) f.balls[0].centreX = 40;  // over the left border: wrapped reads
        if (k % 7 == 6) f.balls[1].centreY = f.height - 30.0;
        kt::Draw(f, image);
        RunSteps(plain, image);
        for (const int lanes : {8, 4, 1}) {  // every lane width this machine has
            fast.LimitLanes(lanes);
            RunSteps(fast, image);
            ExpectSame(fast, plain, k * 10 + lanes);
        }
        successes += fast.Ball(0).locationValid ? 1 : 0;
    }
    EXPECT_GE(successes, 12);
}

TEST(FastSteps, SameResultsOnNoise) {
    ImageAnalyzer fast(1.68);
    ImageAnalyzer plain(1.68);
    plain.UseFastSteps(false);
    CapturedImage image;
    std::uint32_t state = 7;
    const int sizes[][2] = {{640, 480}, {1024, 768}, {300, 200}, {100, 700}, {777, 333}};
    for (int k = 0; k < 10; ++k) {
        image.width = sizes[k % 5][0];
        image.height = sizes[k % 5][1];
        for (int i = 0; i < image.width * image.height; ++i) {
            state = state * 1664525u + 1013904223u;
            // Sparse bright speckle on a dark scene, denser in blobs.
            const int x = i % image.width;
            const int y = i / image.width;
            const bool blob = ((x / 90) + (y / 70) + k) % 3 == 0;
            image.Pixels()[i] = std::uint8_t((state >> 24) % (blob ? 256 : 30));
        }
        RunSteps(fast, image);
        RunSteps(plain, image);
        ExpectSame(fast, plain, k);
    }
}

// The plane's pair loop spells out the triple operations; compare it with them.
TEST(FastSteps, PlaneLoopMatchesTheTripleOperations) {
    ImageAnalyzer a(1.68);
    CapturedImage image;
    for (int k = 0; k < 6; ++k) {
        kt::DrawnFrame f = kt::TwoBalls();
        f.balls[0].bandNormal = Xyz(std::cos(k * 1.1), 0.5, std::sin(k * 1.1));
        f.balls[0].bandNormal.Normalize();
        f.balls[0].bandHalfWidth = 0.04 + 0.02 * k;
        kt::Draw(f, image);
        RunSteps(a, image);
        a.FindPlane(0);  // its candidates are the ones left in the analyzer
        const BallImage& b = a.Ball(0);
        ASSERT_GT(b.markCount, 0);
        std::vector<Xyz> axes;
        for (int i = 0; i < b.markCount && axes.size() < 500000; ++i) {
            for (int j = i + 1; j < b.markCount && axes.size() < 500000; ++j) {
                Xyz p = b.marks[i].point;
                Xyz q = b.marks[j].point;
                if (!(p.Minus(q).Length() > 20.0)) continue;
                p.y = -p.y;
                q.y = -q.y;
                axes.push_back(q.Cross(p).Normalize());
            }
        }
        for (int axis = 0; axis < 3; ++axis) {
            auto component = [axis](const Xyz& v) {
                return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
            };
            int counts[100] = {};
            for (const Xyz& v : axes) {
                const int bin = int(component(v) * 50 + 50);
                if (bin <= 99) ++counts[bin];
            }
            int mode = 0;
            for (int bin = 1; bin < 100; ++bin)
                mode = counts[bin] > counts[mode] ? bin : mode;
            std::vector<Xyz> kept;
            for (const Xyz& v : axes) {
                if (int(component(v) * 50 + 50) == mode) kept.push_back(v);
            }
            axes = kept;
        }
        ASSERT_GE(axes.size(), 75u);
        Xyz sum;
        for (const Xyz& v : axes)
            sum.Add(v);
        sum.Divide(double(axes.size()));
        sum.Normalize();
        EXPECT_EQ(b.planeNormal, sum) << k;
        EXPECT_EQ(a.AxisCandidateCount(), int(axes.size()));
    }
}

}  // namespace
