// The analysis's accuracy on a small grid of rendered shots over the field of view, both
// widths and the four strobe speeds, held to the bounds the monitor promises in each precision.
#include "app/accuracy_report.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using kyvern::app::AccuracyValue;
using kyvern::app::ErrorFigures;

struct Bounds {
    const char* precision;
    double speedBiasLow, speedBiasHigh, speedSd;  // percent
    double launchWorst, sideWorst;                // degrees
    double backSpinSd;                            // percent
    double sideSpinBias, sideSpinSd;              // rpm
};

TEST(AccuracyReport, EachPrecisionHoldsItsBoundsOverTheView) {
    kyvern::app::AccuracyOptions options;
    options.shots = 32;  // the default grid's first shots: four of each width and speed mode
    const kyvern::app::AccuracySummary summary = kyvern::app::RunAccuracy(options);
    ASSERT_EQ(summary.shots, 32);
    // Standard's back spin spreads 2.6 % here (3.5 % over 300 shots): a quarter of the grid
    // strobes at the fastest interval, where a low spin turns the ball only 10 to 20 degrees.
    // Refined's worst side angle is 0.41 degrees here; it was 0.86 while the rim was read
    // against the face well inside it, whose shading differs from side to side, and 0.63 while
    // the rim was fitted as a circle, not as the ellipse an off-axis ball images as. Its speed
    // spreads 0.07 % here; it was 0.14 % while its mean size came from the edges' circles alone.
    const Bounds bounds[] = {
        {"Standard", -1.5, 0.0, 0.6, 0.3, 4.0, 3.0, 60.0, 200.0},
        {"Refined", -0.7, 0.5, 0.1, 0.3, 0.5, 2.5, 60.0, 150.0},
    };
    for (int m = 0; m < 2; ++m) {
        const Bounds& b = bounds[m];
        const kyvern::app::PrecisionFigures& figures = summary.modes[m];
        SCOPED_TRACE(b.precision);
        const auto value = [&](AccuracyValue v) -> const ErrorFigures& {
            return figures.values[int(v)];
        };
        EXPECT_EQ(figures.failures, 0);
        EXPECT_EQ(figures.spinless, 0);
        EXPECT_TRUE(figures.refusals.empty());
        // Every shot that does not alias is measured, in every value.
        for (const ErrorFigures& f : figures.values)
            EXPECT_EQ(f.count, summary.shots - summary.aliased);
        const ErrorFigures& speed = value(AccuracyValue::kBallSpeed);
        EXPECT_GE(speed.bias, b.speedBiasLow);
        EXPECT_LE(speed.bias, b.speedBiasHigh);
        EXPECT_LE(speed.sd, b.speedSd);
        EXPECT_LE(std::fabs(value(AccuracyValue::kLaunchAngle).worst), b.launchWorst);
        EXPECT_LE(std::fabs(value(AccuracyValue::kSideAngle).worst), b.sideWorst);
        EXPECT_LE(value(AccuracyValue::kBackSpin).sd, b.backSpinSd);
        EXPECT_LE(std::fabs(value(AccuracyValue::kSideSpin).bias), b.sideSpinBias);
        EXPECT_LE(value(AccuracyValue::kSideSpin).sd, b.sideSpinSd);
    }
}

// The bounds beyond which a user would call a shot wrong, each just inside and just beyond.
TEST(AccuracyReport, AWrongShotIsOneBeyondAUsersBounds) {
    using kyvern::app::IsWrongShot;
    using Errors = std::array<double, kyvern::app::kAccuracyValues>;
    EXPECT_FALSE(IsWrongShot({-5.0, 2.0, -2.0, 25.0, -1000.0}, 3000.0, true));
    EXPECT_TRUE(IsWrongShot({5.01, 0, 0, 0, 0}, 3000.0, true));
    EXPECT_TRUE(IsWrongShot({0, -2.01, 0, 0, 0}, 3000.0, true));
    EXPECT_TRUE(IsWrongShot({0, 0, 2.01, 0, 0}, 3000.0, true));
    EXPECT_TRUE(IsWrongShot({0, 0, 0, -25.1, 0}, 3000.0, true));
    EXPECT_TRUE(IsWrongShot({0, 0, 0, 0, 1000.5}, 3000.0, true));
    // 12.5 % of 8,000 rpm is 1,000 rpm: just inside; 12.6 % is beyond.
    EXPECT_FALSE(IsWrongShot({0, 0, 0, 12.5, 0}, 8000.0, true));
    EXPECT_TRUE(IsWrongShot(Errors{0, 0, 0, 12.6, 0}, 8000.0, true));
    // Spin that was not measured cannot be wrong.
    EXPECT_FALSE(IsWrongShot({0, 0, 0, 90.0, 5000.0}, 3000.0, false));
}

}  // namespace

// A real scene holds more than two balls: the club head beside ball 0 and the mat under it must
// not be taken for a ball, and a ball lying on the mat is measured by its edges above it. Before
// the second look, 7 of these 24 frames were refused and 2 measured the club head.
TEST(AccuracyReport, NeitherTheClubHeadNorTheMatIsTakenForABall) {
    kyvern::app::AccuracyOptions options;
    options.shots = 24;
    options.realism.background = true;
    int clubs = 0;
    int mats = 0;
    const auto count = [&](const kyvern::app::ShotOutcome& o) {
        clubs += o.truth.clubDrawn ? 1 : 0;
        mats += o.truth.drawn.mat && o.truth.groundRow >= 0 ? 1 : 0;
    };
    const kyvern::app::AccuracySummary summary = kyvern::app::RunAccuracy(options, count);
    EXPECT_GE(clubs, 6);
    EXPECT_GE(mats, 6);
    for (const kyvern::app::PrecisionFigures& figures : summary.modes) {
        EXPECT_EQ(figures.failures, 0);
        EXPECT_LE(std::fabs(figures.values[int(AccuracyValue::kBallSpeed)].worst), 2.0);
        EXPECT_LE(std::fabs(figures.values[int(AccuracyValue::kLaunchAngle)].worst), 1.0);
    }
    EXPECT_EQ(summary.modes[1].wrong, 0);
}

// A rim ray whose scene is the club head or the tee crosses that thing's ramp, not the ball's: it
// is left out, and the refined side angles of these shots (2.7, 1.8 and 2.1 degrees off while
// such rays counted) hold to what the grid's spread allows.
TEST(AccuracyReport, TheRimLeavesOutRaysEndingOnSomethingElse) {
    kyvern::app::AccuracyOptions options;
    options.shots = 1;
    options.realism.background = true;
    for (const int shot : {177, 136, 225}) {
        options.first = shot;
        int seen = 0;
        kyvern::app::RunAccuracy(options, [&](const kyvern::app::ShotOutcome& o) {
            ++seen;
            EXPECT_EQ(o.index, shot);
            ASSERT_TRUE(o.measured[1]) << o.refusal[1];
            EXPECT_LE(std::fabs(o.errors[1][int(AccuracyValue::kSideAngle)]), 0.6) << shot;
        });
        EXPECT_EQ(seen, 1);
    }
}

// A smear narrows the rim along the flight. A tee across ball 0's trailing side cuts away the
// rays that narrowed most, so the arc that is left read that image larger than the other and
// the side angle 2.2 degrees off; its rims are now fitted again with the smear undone.
TEST(AccuracyReport, ASmearedImageCutByATeeKeepsItsSize) {
    kyvern::app::AccuracyOptions options;
    options.shots = 1;
    options.first = 169;
    options.realism = kyvern::sim::Realism::Full();
    int seen = 0;
    kyvern::app::RunAccuracy(options, [&](const kyvern::app::ShotOutcome& o) {
        ++seen;
        ASSERT_FALSE(o.truth.drawn.mat);  // the tee
        ASSERT_GT(o.truth.drawn.flashDuration, 0.0);
        ASSERT_TRUE(o.measured[1]) << o.refusal[1];
        EXPECT_FALSE(o.wrong[1]);
        EXPECT_LE(std::fabs(o.errors[1][int(AccuracyValue::kSideAngle)]), 2.0);
    });
    EXPECT_EQ(seen, 1);
}

// A mat brighter than the scene fills the coarse search's template as a ball would, and lies in
// the ring just outside a ball resting over it: these shots' images were taken for not round
// and refused, though they measure well. Where both images lie across the mat's edge, the rims
// on the arcs above it hold the depth because they are fitted as the ellipses an off-axis ball
// images as (4.9 degrees off while they were fitted as circles).
TEST(AccuracyReport, AMatInViewIsNeitherABallNorSomethingLitBesideOne) {
    kyvern::app::AccuracyOptions options;
    options.shots = 1;
    options.realism = kyvern::sim::Realism::Full();
    for (const int shot : {95, 193, 178}) {
        options.first = shot;
        int seen = 0;
        kyvern::app::RunAccuracy(options, [&](const kyvern::app::ShotOutcome& o) {
            ++seen;
            ASSERT_TRUE(o.truth.drawn.mat) << shot;
            if (shot == 178) {
                ASSERT_TRUE(o.measured[1]) << o.refusal[1];
                EXPECT_LE(std::fabs(o.errors[1][int(AccuracyValue::kSideAngle)]), 0.5);
                return;
            }
            for (int m = 0; m < 2; ++m) {
                ASSERT_TRUE(o.measured[m]) << shot << " " << o.refusal[m];
                EXPECT_EQ(o.confidence[m].doubts, 0u) << shot;
            }
            EXPECT_LE(std::fabs(o.errors[0][int(AccuracyValue::kSideAngle)]), 1.5) << shot;
            EXPECT_LE(std::fabs(o.errors[1][int(AccuracyValue::kSideAngle)]), 0.5) << shot;
        });
        EXPECT_EQ(seen, 1);
    }
}

// Every effect of real cameras at once: both precisions measure every shot of this grid (the
// standard one takes its depth from the rims where the flashes lit the images unequally: shot
// 11 is refused without), the refined one none wrongly; a refusal would say why, and no shot of
// either is published with a wrong ball speed or launch (a wrong pair of images would be).
TEST(AccuracyReport, AtFullRealismNoShotIsPublishedWithAWrongSpeedOrLaunch) {
    kyvern::app::AccuracyOptions options;
    options.shots = 24;
    options.realism = kyvern::sim::Realism::Full();
    int doubtfulSpins = 0;
    const auto count = [&](const kyvern::app::ShotOutcome& o) {
        for (int m = 0; m < 2; ++m) {
            if (!o.measured[m]) continue;
            EXPECT_LE(std::fabs(o.errors[m][int(AccuracyValue::kBallSpeed)]), 5.0) << o.index;
            EXPECT_LE(std::fabs(o.errors[m][int(AccuracyValue::kLaunchAngle)]), 2.0) << o.index;
            doubtfulSpins += o.confidence[m].spin < options.minConfidence ? 1 : 0;
        }
    };
    const kyvern::app::AccuracySummary summary = kyvern::app::RunAccuracy(options, count);
    const kyvern::app::PrecisionFigures& standard = summary.modes[0];
    const kyvern::app::PrecisionFigures& refined = summary.modes[1];
    EXPECT_EQ(standard.failures, 0);
    for (const auto& [reason, n] : standard.refusals)
        EXPECT_FALSE(reason.empty());
    EXPECT_EQ(refined.failures, 0);
    EXPECT_EQ(refined.wrong, 0);
    EXPECT_LE(std::fabs(refined.values[int(AccuracyValue::kSideAngle)].worst), 1.5);
    // 0.12 % here, 0.20 % while the mean size came from the edges' circles alone: they move with
    // the light and the sensor's noise, the rims do not.
    EXPECT_LE(refined.values[int(AccuracyValue::kBallSpeed)].sd, 0.16);
    // The prints drawn beside the line make some spins doubtful: they are marked, not published.
    EXPECT_GE(doubtfulSpins, 2);
    EXPECT_EQ(refined.spinDoubtful + standard.spinDoubtful, doubtfulSpins);
}

// Putts strobed by the putting mode are measured whatever the precision (a putt frame always
// takes the rims), to the putting bounds in speed; their spin is never judged. At full realism
// none is published wrongly.
TEST(AccuracyReport, PuttsAreMeasuredOnThePuttingStrobe) {
    kyvern::app::AccuracyOptions options;
    options.shots = 24;
    options.putts = true;
    for (const bool full : {false, true}) {
        SCOPED_TRACE(full ? "full" : "clean");
        options.realism = full ? kyvern::sim::Realism::Full() : kyvern::sim::Realism{};
        int strobes[3] = {0, 0, 0};  // 40, 70 and 17.5 ms
        const auto look = [&](const kyvern::app::ShotOutcome& o) {
            EXPECT_EQ(o.shot.speedMode, 4);
            const double interval = o.shot.setup.t2 - o.shot.setup.t1;
            strobes[interval > 0.05 ? 1 : (interval > 0.03 ? 0 : 2)] += 1;
            // Both columns measure the same frame in the same precision.
            EXPECT_EQ(o.measured[0], o.measured[1]) << o.index;
        };
        const kyvern::app::AccuracySummary summary = kyvern::app::RunAccuracy(options, look);
        EXPECT_EQ(summary.aliased, 0);
        EXPECT_GT(strobes[0], 0);
        EXPECT_GT(strobes[1] + strobes[2], 0);
        const kyvern::app::PrecisionFigures& refined = summary.modes[1];
        EXPECT_LE(refined.failures, full ? 2 : 0);
        EXPECT_EQ(refined.wrong, 0);
        EXPECT_EQ(refined.spinless, summary.shots - refined.failures);
        EXPECT_EQ(refined.values[int(AccuracyValue::kBackSpin)].count, 0);
        EXPECT_LE(std::fabs(refined.values[int(AccuracyValue::kBallSpeed)].worst), 1.0);
        EXPECT_LE(std::fabs(refined.values[int(AccuracyValue::kLaunchAngle)].worst), 0.3);
        EXPECT_LE(std::fabs(refined.values[int(AccuracyValue::kSideAngle)].worst), 1.5);
    }
}
