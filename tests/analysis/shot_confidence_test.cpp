// The confidence of a shot from its measures: each check's limit, which doubts touch the spin
// alone, and the texts a user reads.
#include "analysis/shot_confidence.h"

#include <gtest/gtest.h>

namespace {

using kyvern::analysis::AssessShot;
using kyvern::analysis::ConfidenceMeasures;
using kyvern::analysis::Doubt;
using kyvern::analysis::LaunchValues;

ConfidenceMeasures Clean() {
    ConfidenceMeasures m;
    m.edgeFit = 0.96, m.ringLit = 0.0, m.flashRatio = 0.97, m.linePoints = 700, m.onPlane = 0.98;
    m.turn = 60.0;
    return m;
}

LaunchValues Drive() {
    LaunchValues v;
    v.ballSpeed = 220.0, v.ballSpeedMph = 150.0, v.launchAngle = 12.0, v.sideAngle = -1.5;
    v.backSpin = 3000.0, v.totalSpin = 3000.0;
    return v;
}

TEST(ShotConfidence, EachCheckLowersTheLaunchOrTheSpinAlone) {
    const auto clean = AssessShot(Clean(), Drive());
    EXPECT_TRUE(clean.checked);
    EXPECT_EQ(clean.doubts, 0u);
    EXPECT_EQ(clean.Value(), 1.0);
    EXPECT_EQ(clean.spin, 1.0);

    // The launch's checks: below 0.5 at these values, so refused at the default threshold; a
    // doubtful launch takes the spin down with it.
    struct LaunchCase {
        void (*spoil)(ConfidenceMeasures&);
        Doubt doubt;
    } launchCases[] = {
        {[](ConfidenceMeasures& m) { m.edgeFit = 0.75; }, Doubt::kNotRound},
        {[](ConfidenceMeasures& m) { m.ringLit = 0.42; }, Doubt::kLitBeside},
        {[](ConfidenceMeasures& m) { m.flashRatio = 0.78; }, Doubt::kUnevenFlashes},
        {[](ConfidenceMeasures& m) { m.outlineSeen = 0.55; }, Doubt::kOutlinesHidden},
    };
    for (const LaunchCase& c : launchCases) {
        ConfidenceMeasures m = Clean();
        c.spoil(m);
        const auto assessed = AssessShot(m, Drive());
        EXPECT_EQ(assessed.doubts, std::uint32_t(c.doubt));
        EXPECT_LT(assessed.Value(), 0.5);
        EXPECT_LE(assessed.spin, assessed.Value());
    }
    // Halfway between a check's limits is a confidence of one half.
    ConfidenceMeasures half = Clean();
    half.flashRatio = 0.80;
    EXPECT_NEAR(AssessShot(half, Drive()).Value(), 0.5, 1e-12);

    LaunchValues wild = Drive();
    wild.ballSpeedMph = 260.0;
    EXPECT_EQ(AssessShot(Clean(), wild).Value(), 0.0);
    EXPECT_TRUE(AssessShot(Clean(), wild).Has(Doubt::kImplausibleLaunch));

    // The spin's checks leave the launch whole.
    struct SpinCase {
        void (*spoil)(ConfidenceMeasures&);
        Doubt doubt;
    } spinCases[] = {
        {[](ConfidenceMeasures& m) { m.linePoints = 20; }, Doubt::kFewLinePoints},
        {[](ConfidenceMeasures& m) { m.onPlane = 0.30; }, Doubt::kLineOffPlane},
        {[](ConfidenceMeasures& m) { m.turn = 133.0; }, Doubt::kNearAliasing},
    };
    for (const SpinCase& c : spinCases) {
        ConfidenceMeasures m = Clean();
        c.spoil(m);
        const auto assessed = AssessShot(m, Drive());
        EXPECT_EQ(assessed.doubts, std::uint32_t(c.doubt));
        EXPECT_EQ(assessed.Value(), 1.0);
        EXPECT_LT(assessed.spin, 0.5);
        EXPECT_TRUE(kyvern::analysis::IsSpinDoubt(c.doubt));
    }
    // A turn well short of the aliasing turn is no doubt.
    ConfidenceMeasures turned = Clean();
    turned.turn = 126.0;
    EXPECT_EQ(AssessShot(turned, Drive()).doubts, 0u);
}

TEST(ShotConfidence, DoubtsReadInOrderAndTheSpinOnesApart) {
    const std::uint32_t doubts =
        std::uint32_t(Doubt::kLineOffPlane) | std::uint32_t(Doubt::kNotRound);
    EXPECT_EQ(kyvern::analysis::DoubtsText(doubts),
              "an image is not round; the line's points stray from its plane");
    EXPECT_EQ(kyvern::analysis::DoubtsText(doubts, true), "the line's points stray from its plane");
    EXPECT_EQ(kyvern::analysis::DoubtsText(0), "");
    EXPECT_STREQ(kyvern::analysis::DoubtText(Doubt::kNearAliasing),
                 "the ball turned close to half a turn between the flashes");
}

}  // namespace
