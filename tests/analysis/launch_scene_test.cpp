#include "analysis/launch_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "base/math_constants.h"
#include "frame/camera_model.h"
#include "support/temp_home.h"

namespace {

using namespace kyvern::analysis;
using namespace kyvern::frame;

constexpr double kDeg = kyvern::base::kDegreesToRadians;
constexpr double kToDeg = 1 / kDeg;

// An analysed frame of a straight camera with the two balls at loc0 and loc1.
std::unique_ptr<CapturedImage> Frame(Xyz loc0, Xyz loc1, double t1 = 0.001, double t2 = 0.003) {
    auto f = std::make_unique<CapturedImage>();
    f->valid = f->analyzed = true;
    f->width = 640, f->height = 480, f->bytesPerPixel = 1, f->t1 = t1, f->t2 = t2;
    f->result.balls[0].loc = loc0, f->result.balls[1].loc = loc1;
    return f;
}

void SetNormals(CapturedImage& f, Xyz n, Xyz m) {
    f.result.balls[0].viewNormal = n, f.result.balls[1].viewNormal = m;
}

FrameSet One(const CapturedImage& f) { return {&f, nullptr, nullptr, nullptr}; }

// Rotation of v about the unit axis u by angle (radians), right-handed.
Xyz Rotate(Xyz v, Xyz u, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return v.Scaled(c).Plus(u.Cross(v).Scaled(s)).Plus(u.Scaled(u.Dot(v) * (1 - c)));
}

// The normal (-1, 0, 0) turned as a ball spinning by spin (rifle, side, back rpm) for dt.
Xyz Turned(Xyz spin, double dt) {
    return Rotate({-1, 0, 0}, spin.Divided(spin.Length()), spin.Length() * dt * 6.0 * kDeg);
}

// A frame whose balls show the flight at image heading alpha (degrees, up positive).
std::unique_ptr<CapturedImage> Heading(double alpha, double phiDegrees) {
    auto f = Frame({0, 0, -16}, {5, 1, -16});
    f->cameraRotation.x = phiDegrees * kDeg;
    f->result.balls[0].pix = Xyz(200, 300, 120);
    f->result.balls[1].pix =
        Xyz(200 + 250 * std::cos(alpha * kDeg), 300 - 250 * std::sin(alpha * kDeg), 120);
    return f;
}

class LaunchSceneTest : public ::testing::Test {
protected:
    kyvern::testing::TempHome settings;
    LaunchScene scene{1.685, {}};

    // The hand of a pass: written to the file and read back as a pass would.
    void SetHand(const char* hand) {
        ASSERT_TRUE(settings.Set("Setup", "Handed", hand));
        scene.SetOptions(
            ReadSceneOptions(kyvern::base::SettingsSnapshot::Read(settings.Settings())));
    }
};

// Rendered shots check forward spin from a straight camera; these are what they never show.
TEST_F(LaunchSceneTest, SpinFollowsTheTurnOfTheNormal) {
    // A negative back spin makes the total negative.
    auto f = Frame({0, 0, -20}, {4, 0, -20}, 0.001, 0.0025);
    SetNormals(*f, {-1, 0, 0}, Turned({0, 300, -2000}, 0.0015));
    scene.ComputeSpin(*f);
    EXPECT_NEAR(scene.TotalSpin(), -std::hypot(300, 2000), 1e-3);
    EXPECT_NEAR(scene.BackSpin(), -2000, 1e-3);
    EXPECT_NEAR(scene.SideSpin(), 300, 1e-3);

    // The camera's angle turns back into side spin.
    const double phi = 30.0 * kDeg;
    f = Frame({0, 0, -20}, {4, 0, -20}, 0.0, 0.005);
    f->cameraRotation = Xyz(phi, 0, 0);
    SetNormals(*f, {-1, 0, 0}, Turned({0, 500, 1500}, 0.005));
    scene.ComputeSpin(*f);
    EXPECT_NEAR(scene.BackSpin(), std::cos(phi) * 1500 - std::sin(phi) * 500, 1e-6);
    EXPECT_NEAR(scene.SideSpin(), std::sin(phi) * 1500 + std::cos(phi) * 500, 1e-6);

    SetNormals(*f, {-1, 0, 0}, {0, 0.09, 0});  // without both normals, no spin
    scene.ComputeSpin(*f);
    EXPECT_EQ(scene.TotalSpin(), 0.0);
}

TEST_F(LaunchSceneTest, EqualNormalsGiveZeroSpinNeverNaN) {
    // Unit vectors whose dot product with themselves rounds above 1 must not reach acos
    // unclamped.
    int roundedAbove = 0;
    auto f = Frame({0, 0, -20}, {4, 0, -20});
    for (int i = 1; i < 400; ++i) {
        const double a = i * 0.0157;
        const Xyz n(-std::cos(a) * 0.9, std::sin(a) * 0.3, std::sin(a * 3.1) * 0.5);
        Xyz unit = n;
        unit.Normalize();
        roundedAbove += unit.Dot(unit) > 1.0;
        SetNormals(*f, n, n);
        scene.ComputeSpin(*f);
        // acos of a cosine that rounds to 1 - 1e-16 leaves a trace of 1e-4 rpm at most; the
        // axis of two equal normals is empty, so the components are exactly 0.
        ASSERT_LT(std::fabs(scene.TotalSpin()), 1e-3) << i;  // false for NaN too
        ASSERT_EQ(scene.BackSpin(), 0.0) << i;
        ASSERT_EQ(scene.SideSpin(), 0.0);
        LaunchScene::AlignNormals(*f);
        ASSERT_NEAR(f->result.balls[1].displayNormal.y, 1.0, 1e-9) << i;
    }
    EXPECT_GT(roundedAbove, 0);  // the set does exercise the clamp
}

TEST_F(LaunchSceneTest, GolfLimitsAreInclusive) {
    // dt = 2/1024 s and these distances are exact in binary, so the speeds are exact.
    constexpr double kT1 = 1.0 / 1024, kT2 = 3.0 / 1024;
    double at80 = std::tan(80.0 * kDeg);  // the height the solver reads as exactly 80 degrees
    for (int i = 0; i < 64 && std::atan2(at80, 1.0) * kToDeg != 80.0; ++i)
        at80 = std::nextafter(at80, std::atan2(at80, 1.0) * kToDeg < 80.0 ? 100.0 : 0.0);
    ASSERT_EQ(std::atan2(at80, 1.0) * kToDeg, 80.0);
    double above80 = at80;
    while (std::atan2(above80, 1.0) * kToDeg <= 80.0)
        above80 = std::nextafter(above80, 100.0);

    const double golf = 1.685, other = 2.9;  // a ball over 2 in is not held to golf limits
    const struct Case {
        const char* what;
        Xyz to;
        double ball;
        bool ok;
        int error;
        double speed;  // 0: not checked
        int warning;   // 0: none
    } cases[] = {
        {"30 ft/s", {0.703125, 0, 0}, golf, true, 0, 30.0, 0},
        {"350 ft/s", {8.203125, 0, 0}, golf, true, 0, 350.0, 0},
        {"below 30", {std::nextafter(0.703125, 0.0), 0, 0}, golf, false, 7, 0, 0},
        {"above 350", {std::nextafter(8.203125, 9.0), 0, 0}, golf, false, 7, 0, 0},
        {"above 350, other ball", {std::nextafter(8.203125, 9.0), 0, 0}, other, true, 0, 0, 0},
        {"80 degrees", {1, at80, 0}, golf, true, 0, 0, 0},
        {"above 80", {1, above80, 0}, golf, false, 8, 0, 0},
        {"down", {5, -1e-9, 0}, golf, false, 8, 0, 0},
        {"slow and down: the launch check comes second", {0.5, -0.2, 0}, golf, false, 8, 0, 0},
        {"down, other ball: a warning", {5, -1e-9, 0}, other, true, 0, 0, 12},
        {"the next solve clears it", {1, at80, 0}, other, true, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        scene.SetBallDiameter(c.ball);
        auto f = Frame({0, 0, 0}, c.to, kT1, kT2);
        EXPECT_EQ(scene.SolveLaunch(One(*f)), c.ok);
        EXPECT_EQ(scene.ErrorCode(), c.error);
        if (c.speed != 0) {
            EXPECT_EQ(scene.BallSpeed(), c.speed);
        }
        if (c.ok && c.to.y == at80) {
            EXPECT_EQ(scene.LaunchAngle(), 80.0);
        }
        ASSERT_EQ(scene.WarningCount(), c.warning ? 1 : 0);
        if (c.warning) {
            EXPECT_EQ(scene.WarningCode(0), c.warning);
        }
    }
}

TEST_F(LaunchSceneTest, SideAngleNeverZeroClampedAndFlippedForLeftHanders) {
    // The flip comes after the never-zero rule and before the clamp.
    const struct {
        const char* hand;
        double degrees;
        double side;
    } cases[] = {{"Right-handed", -0.004, 0.01},
                 {"Right-handed", 0, 0.01},
                 {"Right-handed", -15, -12},
                 {"Left-handed", 15, -12},
                 {"Left-handed", 0, -0.01}};
    for (const auto& c : cases) {
        SetHand(c.hand);
        auto f = Frame({0, 0, -16}, {5, 0, -16 + 5 * std::tan(c.degrees * kDeg)});
        ASSERT_TRUE(scene.SolveLaunch(One(*f)));
        EXPECT_NEAR(scene.SideAngle(), c.side, 1e-12) << c.hand << " " << c.degrees;
    }

    // A left-hander's side spin turns over with the side angle; the rest stays.
    auto f = Frame({0, 0, -16}, {5, 1, -16 + 5 * std::tan(4 * kDeg)});
    SetNormals(*f, {-1, 0, 0}, Turned({0, 700, 3000}, 0.002));
    SetHand("Right-handed");
    ASSERT_TRUE(scene.SolveLaunch(One(*f)));
    const kyvern::analysis::LaunchValues right = scene.Values();
    EXPECT_NEAR(right.sideSpin, 700.0, 1e-6);
    SetHand("Left-handed");
    ASSERT_TRUE(scene.SolveLaunch(One(*f)));
    EXPECT_EQ(scene.SideSpin(), -right.sideSpin);
    EXPECT_EQ(scene.BackSpin(), right.backSpin);
}

// A frame strobed longer apart than the slowest swing mode is a putt: no spin, a putt's bounds,
// and a start line out of bounds refused rather than held at the bound.
TEST_F(LaunchSceneTest, PuttingStrobeFramesAreSolvedAsPutts) {
    constexpr double kInterval = 0.040;
    const double inchesPerMph = 88.0 / 60.0 * 12.0 * kInterval;
    const struct {
        const char* what;
        double mph, launch, side;
        int error;
    } cases[] = {
        {"a 5 mph putt", 5.0, 0.0, 2.0, 0},
        {"a skid slightly down, no warning", 5.0, -3.0, 0.0, 0},
        {"slowest", 0.51, 0.0, 0.0, 0},
        {"too slow", 0.49, 0.0, 0.0, 7},
        {"faster than the strobe allows", 25.1, 0.0, 0.0, 7},
        {"a chip", 5.0, 9.0, 0.0, 8},
        {"start line beyond 12 degrees", 5.0, 0.0, -12.5, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Xyz heading(1, std::tan(c.launch * kDeg), std::tan(c.side * kDeg));
        heading.Normalize();
        auto f = Frame({0, 0, -16}, Xyz(0, 0, -16).Plus(heading.Scaled(c.mph * inchesPerMph)),
                       0.001, 0.001 + kInterval);
        SetNormals(*f, {-1, 0, 0}, Turned({0, 0, -1500}, 0.01));
        ASSERT_EQ(scene.SolveLaunch(One(*f)), c.error == 0);
        EXPECT_EQ(scene.ErrorCode(), c.error);
        if (c.error != 0) continue;
        EXPECT_TRUE(scene.Values().putt);
        EXPECT_NEAR(scene.BallSpeedMph(), c.mph, 1e-9);
        EXPECT_NEAR(scene.SideAngle(), c.side == 0.0 ? 0.01 : c.side, 1e-9);
        EXPECT_EQ(scene.TotalSpin(), 0.0);
        EXPECT_EQ(scene.BackSpin(), 0.0);
        EXPECT_EQ(scene.WarningCount(), 0);
    }
    SetHand("Left-handed");
    auto f = Frame({0, 0, -16}, {3, 0, -16 + 3 * std::tan(2 * kDeg)}, 0.001, 0.001 + kInterval);
    ASSERT_TRUE(scene.SolveLaunch(One(*f)));
    EXPECT_NEAR(scene.SideAngle(), -2.0, 1e-9);
    // The longest interval a full-swing frame carries is a full shot: 5 mph is no golf shot.
    SetHand("Right-handed");
    f = Frame({0, 0, -16}, {5 * 88.0 / 60.0 * 12.0 * 0.004, 0, -16}, 0.001, 0.005);
    EXPECT_FALSE(scene.SolveLaunch(One(*f)));
    EXPECT_EQ(scene.ErrorCode(), 7);
    EXPECT_FALSE(scene.Values().putt);
}

TEST_F(LaunchSceneTest, WhichFramesAreSolved) {
    EXPECT_FALSE(scene.SolveLaunch(FrameSet{}));
    auto a = Frame({0, 0, -16}, {5, 1, -16});
    auto b = Frame({0, 0, -16}, {5, 1, -16});
    auto c = Frame({0, 0, -16}, {5, 1, -16});
    EXPECT_FALSE(scene.SolveLaunch({a.get(), b.get(), c.get(), nullptr}));  // three frames
    EXPECT_EQ(scene.ErrorCode(), 0);

    // A camera turned by 10 degrees or more does not face the flight line.
    a->cameraRotation.x = 10 * kDeg;
    EXPECT_FALSE(scene.SolveLaunch(One(*a)));
    EXPECT_EQ(scene.ErrorCode(), 0);
    a->cameraRotation.x = std::nextafter(10 * kDeg, 0.0);
    EXPECT_TRUE(scene.SolveLaunch(One(*a)));

    // A frame not analysed, or not valid, does not count, even last among the straight
    // cameras where it would read as straight up.
    auto good = Frame({0, 0, -16}, {5, 1, -16});
    auto failed = Frame({0, 0, -16}, {0, 5, -16});
    for (bool analyzed : {false, true}) {
        failed->analyzed = analyzed;
        failed->valid = !analyzed;
        ASSERT_TRUE(scene.SolveLaunch({good.get(), failed.get(), nullptr, nullptr}));
        EXPECT_DOUBLE_EQ(scene.LaunchAngle(), std::atan2(1.0, 5.0) * kToDeg);
    }
    auto side = Heading(5.0, 90.0);
    a->cameraRotation.x = 0.2;  // two cameras, neither facing the flight line
    EXPECT_FALSE(scene.SolveLaunch({a.get(), side.get(), nullptr, nullptr}));
    EXPECT_EQ(scene.ErrorCode(), 0);
    auto badTurned = Heading(60.0, 0.0);
    badTurned->analyzed = false;
    auto straight = Heading(20.0, 0.0);
    ASSERT_TRUE(scene.SolveLaunch({side.get(), badTurned.get(), straight.get(), nullptr}));
    EXPECT_NEAR(scene.LaunchAngle(), 20.0, 1e-9);
}

TEST_F(LaunchSceneTest, NoUsableFlashIntervalIsRefused) {
    auto good = Frame({0, 0, -16}, {5, 1, -16});
    SetNormals(*good, {-1, 0, 0}, {0, 1, 0});
    for (double t2 : {0.001, 0.0005}) {
        auto bad = Frame({0, 0, -16}, {5, 1, -16}, 0.001, t2);
        SetNormals(*bad, {-1, 0, 0}, {0, 1, 0});
        auto side = Heading(5.0, 90.0);  // the side frame's own interval plays no part
        auto badStraight = Heading(20.0, 0.0);
        badStraight->t2 = t2;
        for (const FrameSet& frames : {One(*bad), FrameSet{badStraight.get(), side.get()}}) {
            SCOPED_TRACE(::testing::Message() << "t2 " << t2 << ", " << (frames[1] ? 2 : 1));
            ASSERT_TRUE(scene.SolveLaunch(One(*good)));  // values from a good shot first
            EXPECT_FALSE(scene.SolveLaunch(frames));
            EXPECT_EQ(scene.ErrorCode(), 0);
            const kyvern::analysis::LaunchValues& v = scene.Values();
            for (double value : {v.ballSpeed, v.launchAngle, v.sideAngle, v.totalSpin, v.backSpin})
                EXPECT_EQ(value, 0.0);
        }
        scene.ComputeSpin(*bad);
        EXPECT_EQ(scene.TotalSpin(), 0.0);
    }
}

TEST_F(LaunchSceneTest, AlignNormalsTurnsBallZeroUp) {
    auto f = Frame({0, 0, -16}, {5, 1, -16});
    const Xyz n = Xyz(0.3, -0.8, 0.52).Normalize();
    const Xyz axis = n.Cross(Xyz(0, 0, 1)).Normalize();
    SetNormals(*f, n, Rotate(n, axis, 40 * kDeg));
    scene.SetSlot(1, *f);
    const Xyz d0 = scene.Slot(1).result.balls[0].displayNormal;
    EXPECT_NEAR(d0.Minus(Xyz(0, 1, 0)).Length(), 0.0, 1e-12);
    EXPECT_NEAR(std::acos(d0.Dot(scene.Slot(1).result.balls[1].displayNormal)) * kToDeg, 40, 1e-6);
    EXPECT_EQ(scene.Slot(1).result.balls[0].viewNormal, n);  // the measured ones stay

    // More than 100 degrees apart: ball 1's is turned over.
    SetNormals(*f, n, Rotate(n, axis, 130 * kDeg));
    LaunchScene::AlignNormals(*f);
    const auto& balls = f->result.balls;
    EXPECT_NEAR(std::acos(balls[0].displayNormal.Dot(balls[1].displayNormal)) * kToDeg, 50.0, 1e-6);

    // A missing normal leaves the display normals alone.
    auto missing = Frame({0, 0, -16}, {5, 1, -16});
    SetNormals(*missing, {0, 0.05, 0}, {0, 1, 0});
    scene.SetSlot(0, *missing);
    EXPECT_EQ(scene.Slot(0).result.balls[0].displayNormal, Xyz(0, 0, 0));
    EXPECT_EQ(scene.Slot(0).result.balls[1].displayNormal, Xyz(0, 0, 0));
}

}  // namespace
