#include "flight/putt_roll.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

using namespace kyvern::flight;

namespace {

constexpr double kG = 32.174048;
constexpr double kMu = 0.2;
constexpr double kDeg = std::numbers::pi / 180.0;

PuttResult Roll(double mph, double side, PuttStart start, double stimp, double slope = 0.0,
                double direction = 0.0) {
    PuttResult r;
    EXPECT_TRUE(PuttRoll::Compute({mph, side, start}, {stimp, slope, direction}, r)) << r.error;
    return r;
}

// The stimpmeter's ball, rolling as it reaches the green.
constexpr double kStimpMph = 6.0 * 60.0 / 88.0;

}  // namespace

TEST(PuttRoll, StimpmeterBallRollsTheReading) {
    EXPECT_DOUBLE_EQ(PuttRoll::RollingDeceleration(10.0), 1.8);  // 36 / 20 ft/s²
    for (double stimp : {6.0, 10.0, 13.0}) {
        const PuttResult r = Roll(kStimpMph, 0.0, PuttStart::kRolling, stimp);
        EXPECT_NEAR(r.total, stimp, 1e-3);
        EXPECT_NEAR(r.downrange, stimp, 1e-3);
        EXPECT_NEAR(r.time, stimp / 3.0, 1e-3);  // at the mean speed, 3 ft/s
        EXPECT_TRUE(r.stopped && r.skid == 0.0 && r.offline == 0.0);
        // The path runs from the origin to the rest point in the fixed store.
        ASSERT_TRUE(r.pointCount > 20 && r.pointCount <= PuttResult::kMaxPoints);
        EXPECT_EQ(r.pointX[r.pointCount - 1], r.downrange);
    }
}

TEST(PuttRoll, StruckPuttSkidsThenRollsAtFiveSevenths) {
    // 5 mph on stimp 10: v = 7.3333 ft/s, μg = 6.4348 ft/s². Skid 12 · 53.778 / (49 · 6.4348)
    // = 2.047 ft, leaving 5.2381 ft/s to roll 27.438 / 3.6 = 7.622 ft: 9.668 ft in all, in
    // 2v / (7μg) = 0.3256 s sliding and 5.2381 / 1.8 = 2.9101 s rolling.
    const PuttResult five = Roll(5.0, 0.0, PuttStart::kStruck, 10.0);
    EXPECT_NEAR(five.skid, 2.047, 0.001);
    EXPECT_NEAR(five.total, 9.668, 0.001);
    EXPECT_NEAR(five.time, 3.2357, 0.0005);

    for (double mph : {2.0, 8.0, 20.0}) {
        for (double stimp : {7.0, 12.0}) {
            const double v = mph * 88.0 / 60.0;
            const double skid = 12.0 * v * v / (49.0 * kMu * kG);
            const double roll = std::pow(5.0 * v / 7.0, 2) / (2.0 * 18.0 / stimp);
            const PuttResult r = Roll(mph, 0.0, PuttStart::kStruck, stimp);
            EXPECT_NEAR(r.skid, skid, 0.005 * skid) << mph << " mph, stimp " << stimp;
            EXPECT_NEAR(r.total, skid + roll, 0.005 * (skid + roll)) << mph << " mph";
        }
    }
}

TEST(PuttRoll, UphillShorterDownhillLongerByTheSlopeFormula) {
    // The stimpmeter's ball on stimp 10 and 2 %: resistance 1.8 cos θ = 1.79964, pull
    // 5/7 g sin θ = 0.45956 ft/s². Up, 36 / (2 · 2.2592) = 7.968 ft; down, 36 / (2 · 1.3401)
    // = 13.432 ft, against 10 on the flat.
    EXPECT_NEAR(Roll(kStimpMph, 0.0, PuttStart::kRolling, 10.0, 2.0, 180.0).total, 7.968, 0.001);
    EXPECT_NEAR(Roll(kStimpMph, 0.0, PuttStart::kRolling, 10.0, 2.0, 0.0).total, 13.432, 0.001);

    // Struck at 6 mph on stimp 11 and 4 %: the slide feels all of g sin θ, the roll 5/7 of it.
    const double v = 6.0 * 88.0 / 60.0;
    const double theta = std::atan(0.04);
    for (double sign : {-1.0, 1.0}) {  // uphill, downhill
        const double pull = sign * kG * std::sin(theta);
        const double friction = kMu * kG * std::cos(theta);
        const double slideTime = v / (3.5 * friction - pull);
        const double rolling = v + (pull - friction) * slideTime;
        const double skid = v * slideTime + 0.5 * (pull - friction) * slideTime * slideTime;
        const double resistance = 36.0 / 22.0 * std::cos(theta) - 5.0 / 7.0 * pull;
        const PuttResult r = Roll(6.0, 0.0, PuttStart::kStruck, 11.0, 4.0, sign > 0 ? 0.0 : 180.0);
        EXPECT_NEAR(r.skid, skid, 1e-4) << sign;
        EXPECT_NEAR(r.total, skid + rolling * rolling / (2.0 * resistance), 1e-3) << sign;
        EXPECT_NEAR(r.offline, 0.0, 1e-9);
    }
}

TEST(PuttRoll, SideSlopeBreaksDownhillAndTheLineTurnsTheRestPoint) {
    // On the flat a putt stays on its start line, however that is turned.
    const PuttResult straight = Roll(4.0, 0.0, PuttStart::kStruck, 10.0);
    const PuttResult turned = Roll(4.0, -7.0, PuttStart::kStruck, 10.0);
    EXPECT_EQ(straight.breakFromLine, 0.0);
    EXPECT_NEAR(turned.breakFromLine, 0.0, 1e-9);
    EXPECT_NEAR(turned.downrange, straight.total * std::cos(7.0 * kDeg), 1e-9);
    EXPECT_NEAR(turned.offline, -straight.total * std::sin(7.0 * kDeg), 1e-9);

    // A gentle slope falling right: to first order the break is D · (5/7 g sin θ) / (2a),
    // 10.000 · 0.057453 / 3.6 = 0.1596 ft for the stimpmeter's ball at 0.25 % on stimp 10.
    const PuttResult right = Roll(kStimpMph, 0.0, PuttStart::kRolling, 10.0, 0.25, 90.0);
    EXPECT_NEAR(right.breakFromLine, 0.1596, 0.0008);
    const PuttResult left = Roll(kStimpMph, 0.0, PuttStart::kRolling, 10.0, 0.25, 270.0);
    EXPECT_NEAR(left.breakFromLine, -right.breakFromLine, 1e-9);

    // Turning the line and the slope together turns the whole putt.
    const PuttResult a = Roll(5.0, 0.0, PuttStart::kStruck, 9.0, 3.0, 60.0);
    const PuttResult b = Roll(5.0, 12.0, PuttStart::kStruck, 9.0, 3.0, 72.0);
    EXPECT_GT(a.breakFromLine, 0.5);
    EXPECT_NEAR(b.breakFromLine, a.breakFromLine, 1e-6);
    EXPECT_NEAR(b.distance, a.distance, 1e-6);
    EXPECT_NEAR(b.total, a.total, 1e-6);

    // Stimp 10 holds a ball up to 7/5 · 1.8 / g = 7.83 %; beyond, it never comes to rest.
    EXPECT_NEAR(PuttRoll::HoldingSlope(10.0), 7.832, 0.001);
    EXPECT_TRUE(Roll(5.0, 0.0, PuttStart::kStruck, 10.0, 7.0, -90.0).stopped);
    const PuttResult steep = Roll(5.0, 0.0, PuttStart::kStruck, 10.0, 9.0, 180.0);
    EXPECT_FALSE(steep.stopped);
    EXPECT_NEAR(steep.time, PuttRoll::kTimeLimit, 0.01);
    EXPECT_LT(steep.downrange, -50.0);  // back past the player
}

TEST(PuttRoll, RefusesBadInputs) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const char* speed = "ball speed must be above 0 and at most 30 mph";
    const char* stimp = "green speed must be 6 to 15 ft";
    const char* slope = "slope must be 0 to 10 %";
    const struct {
        PuttLaunch launch;
        Green green;
        const char* error;
    } rows[] = {
        {{0.0, 0.0}, {}, speed},
        {{30.01, 0.0}, {}, speed},
        {{nan, 0.0}, {}, speed},
        {{3.0, -91.0}, {}, "start line must be -90 to 90 degrees"},
        {{3.0, 0.0}, {5.9}, stimp},
        {{3.0, 0.0}, {15.1}, stimp},
        {{3.0, 0.0}, {nan}, stimp},
        {{3.0, 0.0}, {10.0, -0.5}, slope},
        {{3.0, 0.0}, {10.0, 10.5}, slope},
        {{3.0, 0.0}, {10.0, 2.0, inf}, "slope direction must be a number of degrees"},
    };
    for (const auto& row : rows) {
        PuttResult r;
        r.total = 5.0;  // a previous putt's, cleared
        EXPECT_FALSE(PuttRoll::Compute(row.launch, row.green, r)) << row.error;
        EXPECT_EQ(r.error, row.error);
        EXPECT_TRUE(r.total == 0.0 && r.pointCount == 0) << row.error;
    }
    // The ends of each range are allowed.
    PuttResult r;
    EXPECT_TRUE(PuttRoll::Compute({30.0, -90.0}, {15.0, 0.0, 0.0}, r));
    EXPECT_TRUE(PuttRoll::Compute({0.1, 0.0}, {6.0, 10.0, -400.0}, r));
    EXPECT_TRUE(r.error.empty());
}
