// The fast disc search, mark threshold and plane search must give exactly what the plain loops
// give, in both precisions.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/image_analyzer.h"
#include "analysis/same_steps.h"
#include "analysis/test_frames.h"

namespace {

using namespace kyvern::analysis;
using namespace kyvern::frame;
namespace kt = kyvern::testing;
using kt::ExpectSame;
using kt::RunSteps;

class FastSteps : public ::testing::Test {
protected:
    FastSteps() { plain.UseFastSteps(false); }
    ImageAnalyzer fast{1.68}, plain{1.68};
    CapturedImage image;
};

TEST_F(FastSteps, SameResultsAsThePlainLoops) {
    int successes = 0;
    for (int k = 0; k < 24; ++k) {
        kt::DrawnFrame f = kt::TwoBalls(k % 3 == 0 ? 640 : 1024, k % 3 == 0 ? 480 : 768,
                                        k % 3 == 0 ? 110 + k : 100 + 3 * k);
        f.seed = unsigned(k + 1);
        f.noise = k % 4 * 4;
        const double shift = (k * 37) % 200 - 100;
        f.balls[0].centreX += shift;
        f.balls[1].centreY -= shift / 2;
        f.balls[1].bandNormal = Xyz(std::sin(k * 0.7), std::cos(k * 0.7), 0.3).Normalize();
        if (k % 5 == 4) f.balls[0].centreX = 40;  // over the left border: wrapped reads
        if (k % 7 == 6) f.balls[1].centreY = f.height - 30.0;
        kt::Draw(f, image);
        const auto precision = k % 2 == 1 ? Precision::kRefined : Precision::kStandard;
        plain.SetPrecision(precision);
        fast.SetPrecision(precision);
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

TEST_F(FastSteps, SameResultsOnNoise) {
    std::uint32_t state = 7;
    const int sizes[][2] = {{640, 480}, {1024, 768}, {300, 200}, {100, 700}, {777, 333}};
    for (int k = 0; k < 10; ++k) {
        image.width = sizes[k % 5][0], image.height = sizes[k % 5][1];
        for (int i = 0; i < image.width * image.height; ++i) {
            state = state * 1664525u + 1013904223u;
            // Sparse bright speckle on a dark scene, denser in blobs.
            const bool blob = ((i % image.width / 90) + (i / image.width / 70) + k) % 3 == 0;
            image.Pixels()[i] = std::uint8_t((state >> 24) % (blob ? 256 : 30));
        }
        fast.SetThreads(1 + k % 2);  // the second thread's merge after failed steps too
        RunSteps(fast, image);
        RunSteps(plain, image);
        ExpectSame(fast, plain, k);
    }
}

}  // namespace
