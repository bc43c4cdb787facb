#include "analysis/launch_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "base/config_store.h"
#include "support/temp_home.h"

namespace {

using kyvern::analysis::CapturedImage;
using kyvern::analysis::FrameSet;
using kyvern::analysis::LaunchScene;
using kyvern::analysis::Xyz;
using kyvern::testing::TempHome;

constexpr double kDeg = 0.017453292519943278;
constexpr double kToDeg = 57.29577951308238;

// An analysed frame of a straight camera with the two balls at loc0 and loc1.
std::unique_ptr<CapturedImage> Frame(Xyz loc0, Xyz loc1, double t1 = 0.001, double t2 = 0.003) {
    auto f = std::make_unique<CapturedImage>();
    f->valid = true;
    f->analyzed = true;
    f->width = 640;
    f->height = 480;
    f->bytesPerPixel = 1;
    f->t1 = t1;
    f->t2 = t2;
    f->result.balls[0].loc = loc0;
    f->result.balls[1].loc = loc1;
    f->result.balls[0].time = t1;
    f->result.balls[1].time = t2;
    return f;
}

void SetNormals(CapturedImage& f, Xyz n, Xyz m) {
    f.result.balls[0].viewNormal = n;
    f.result.balls[1].viewNormal = m;
}

FrameSet One(const CapturedImage& f) { return {&f, nullptr, nullptr, nullptr}; }

// Rotation of v about the unit axis u by angle (radians), right-handed.
Xyz Rotate(Xyz v, Xyz u, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    Xyz r = v.Scaled(c).Plus(u.Cross(v).Scaled(s)).Plus(u.Scaled(u.Dot(v) * (1 - c)));
    return r;
}

TEST(LaunchScene, StartsEmpty) {
    LaunchScene scene;
    EXPECT_DOUBLE_EQ(scene.BallDiameter(), 1.685);
    EXPECT_EQ(scene.ErrorCode(), 0);
    EXPECT_EQ(scene.WarningCount(), 0);
    EXPECT_EQ(scene.BallSpeed(), 0.0);
    EXPECT_EQ(scene.LaunchAngle(), 0.0);
    EXPECT_EQ(scene.TotalSpin(), 0.0);
    for (int i = 0; i < kyvern::analysis::kCameraSlots; ++i)
        EXPECT_FALSE(scene.Slot(i).valid);
    EXPECT_THROW(scene.Slot(4), std::out_of_range);
    EXPECT_THROW(scene.WarningCode(0), std::out_of_range);
}

TEST(LaunchScene, SpinExampleQuarterTurnIsBackSpin) {
    LaunchScene scene;
    auto f = Frame({0, 0, -20}, {4, 0, -20}, 0.0, 0.01);
    SetNormals(*f, {-1, 0, 0}, {0, 1, 0});
    scene.ComputeSpin(*f);
    EXPECT_NEAR(scene.TotalSpin(), 1500.0, 1e-9);
    EXPECT_NEAR(scene.BackSpin(), 1500.0, 1e-9);
    EXPECT_EQ(scene.SideSpin(), 0.0);
    EXPECT_EQ(scene.RifleSpin(), 0.0);

    // The same through a slot of the scene.
    scene.SetSlot(2, *f);
    scene.ComputeSpin(2);
    EXPECT_NEAR(scene.BackSpin(), 1500.0, 1e-9);
}

TEST(LaunchScene, SpinFollowsTheTurnOfTheNormal) {
    // A normal turned about an axis perpendicular to it by |spin| * dt * 6 degrees gives back
    // the spin vector (back about z, side about y, rifle about x).
    const double dt = 0.0015;
    const struct {
        double back, side, rifle;
    } cases[] = {{3000, 0, 0}, {6000, 800, 0}, {2500, -1200, 0}, {9000, 1500, 0}, {-2000, 300, 0}};
    for (const auto& c : cases) {
        Xyz spin(c.rifle, c.side, c.back);
        const double rpm = spin.Length();
        Xyz axis = spin.Divided(rpm);
        Xyz n0(-1, 0, 0);  // perpendicular to every axis without rifle spin
        Xyz n1 = Rotate(n0, axis, rpm * dt * 6.0 * kDeg);
        LaunchScene scene;
        auto f = Frame({0, 0, -20}, {4, 0, -20}, 0.001, 0.001 + dt);
        SetNormals(*f, n0, n1);
        scene.ComputeSpin(*f);
        const double sign = c.back < 0 ? -1.0 : 1.0;
        EXPECT_NEAR(scene.TotalSpin(), sign * rpm, 1e-6 * rpm) << c.back;
        EXPECT_NEAR(scene.BackSpin(), c.back, 1e-6 * rpm);
        EXPECT_NEAR(scene.SideSpin(), c.side, 1e-6 * rpm);
        EXPECT_NEAR(scene.RifleSpin(), c.rifle, 1e-6 * rpm);
    }
}

TEST(LaunchScene, SpinIsTurnedByTheCameraAngle) {
    const double phi = 30.0 * kDeg;
    LaunchScene scene;
    auto f = Frame({0, 0, -20}, {4, 0, -20}, 0.0, 0.005);
    f->cameraRotation = Xyz(phi, 0, 0);
    // 1500 rpm about z and 500 rpm about y in the camera's own frame.
    Xyz spin(0, 500, 1500);
    Xyz n1 = Rotate({-1, 0, 0}, spin.Divided(spin.Length()), spin.Length() * 0.005 * 6 * kDeg);
    SetNormals(*f, {-1, 0, 0}, n1);
    scene.ComputeSpin(*f);
    EXPECT_NEAR(scene.BackSpin(), std::cos(phi) * 1500 - std::sin(phi) * 500, 1e-6);
    EXPECT_NEAR(scene.SideSpin(), std::sin(phi) * 1500 + std::cos(phi) * 500, 1e-6);
    EXPECT_NEAR(scene.TotalSpin(), spin.Length(), 1e-6);
}

TEST(LaunchScene, NoSpinWithoutBothNormals) {
    LaunchScene scene;
    auto f = Frame({0, 0, -20}, {4, 0, -20});
    SetNormals(*f, {-1, 0, 0}, {0, 0.09, 0});
    scene.ComputeSpin(*f);
    EXPECT_EQ(scene.TotalSpin(), 0.0);
    EXPECT_EQ(scene.BackSpin(), 0.0);
    SetNormals(*f, {0, 0, 0}, {0, 1, 0});
    scene.ComputeSpin(*f);
    EXPECT_EQ(scene.TotalSpin(), 0.0);
}

TEST(LaunchScene, EqualNormalsGiveZeroSpinNeverNaN) {
    // Unit vectors whose dot product with themselves rounds above 1 must not reach acos
    // unclamped.
    int roundedAbove = 0;
    LaunchScene scene;
    auto f = Frame({0, 0, -20}, {4, 0, -20});
    for (int i = 1; i < 400; ++i) {
        const double a = i * 0.0157;
        Xyz n(-std::cos(a) * 0.9, std::sin(a) * 0.3, std::sin(a * 3.1) * 0.5);
        Xyz unit = n;
        unit.Normalize();
        if (unit.Dot(unit) > 1.0) ++roundedAbove;
        SetNormals(*f, n, n);
        scene.ComputeSpin(*f);
        // acos of a cosine that rounds to 1 - 1e-16 leaves a trace of 1e-4 rpm at most; the
        // axis of two equal normals is empty, so the components are exactly 0.
        ASSERT_TRUE(std::isfinite(scene.TotalSpin())) << i;
        ASSERT_LT(std::fabs(scene.TotalSpin()), 1e-3) << i;
        ASSERT_EQ(scene.BackSpin(), 0.0) << i;
        ASSERT_EQ(scene.SideSpin(), 0.0);
        ASSERT_EQ(scene.RifleSpin(), 0.0);
        LaunchScene::AlignNormals(*f);
        ASSERT_TRUE(std::isfinite(f->result.balls[1].displayNormal.x));
        ASSERT_NEAR(f->result.balls[1].displayNormal.y, 1.0, 1e-9) << i;
    }
    EXPECT_GT(roundedAbove, 0);  // the set does exercise the clamp
}

TEST(LaunchScene, OneCameraGeometryAndSpeed) {
    TempHome settings;
    LaunchScene scene(1.685, settings.Settings());
    // 5 in along x, 1 in up, 0.5 in towards the camera, in 0.002 s.
    auto f = Frame({-2, 0, -16}, {3, 1, -15.5}, 0.001, 0.003);
    SetNormals(*f, {-1, 0, 0}, {0, 1, 0});
    ASSERT_TRUE(scene.SolveLaunch(One(*f)));
    const double distance = std::sqrt(25 + 1 + 0.25);
    EXPECT_DOUBLE_EQ(scene.BallSpeed(), distance / 12 / 0.002);
    EXPECT_DOUBLE_EQ(scene.BallSpeedMph(), scene.BallSpeed() * 3600 / 5280);
    EXPECT_DOUBLE_EQ(scene.LaunchAngle(), std::atan2(1.0, 5.0) * kToDeg);
    EXPECT_DOUBLE_EQ(scene.SideAngle(), std::atan2(0.5, 5.0) * kToDeg);
    EXPECT_NEAR(scene.BackSpin(), 90.0 / 0.002 / 6.0, 1e-6);
    EXPECT_EQ(scene.ErrorCode(), 0);
    EXPECT_EQ(scene.WarningCount(), 0);
}

// dt = 2/1024 s and the distances below are exact in binary, so the speeds are exact.
constexpr double kT1 = 1.0 / 1024, kT2 = 3.0 / 1024;

TEST(LaunchScene, GolfSpeedLimitsAreInclusive) {
    TempHome settings;
    LaunchScene scene(1.685, settings.Settings());
    auto slow = Frame({0, 0, 0}, {0.703125, 0, 0}, kT1, kT2);  // 30 ft/s
    ASSERT_TRUE(scene.SolveLaunch(One(*slow)));
    EXPECT_EQ(scene.BallSpeed(), 30.0);
    EXPECT_EQ(scene.LaunchAngle(), 0.0);

    auto fast = Frame({0, 0, 0}, {8.203125, 0, 0}, kT1, kT2);  // 350 ft/s
    ASSERT_TRUE(scene.SolveLaunch(One(*fast)));
    EXPECT_EQ(scene.BallSpeed(), 350.0);

    auto tooSlow = Frame({0, 0, 0}, {std::nextafter(0.703125, 0.0), 0, 0}, kT1, kT2);
    EXPECT_FALSE(scene.SolveLaunch(One(*tooSlow)));
    EXPECT_EQ(scene.ErrorCode(), 7);

    auto tooFast = Frame({0, 0, 0}, {std::nextafter(8.203125, 9.0), 0, 0}, kT1, kT2);
    EXPECT_FALSE(scene.SolveLaunch(One(*tooFast)));
    EXPECT_EQ(scene.ErrorCode(), 7);

    // A ball larger than 2 in is not held to the golf limits.
    scene.SetBallDiameter(2.9);
    EXPECT_TRUE(scene.SolveLaunch(One(*tooFast)));
    EXPECT_EQ(scene.ErrorCode(), 0);
}

TEST(LaunchScene, GolfLaunchLimitsAreInclusive) {
    TempHome settings;
    LaunchScene scene(1.685, settings.Settings());
    // Find the height that the solver's own formula reads as exactly 80 degrees.
    const double x = 1.0;
    double y = std::tan(80.0 * kDeg) * x;
    for (int i = 0; i < 64 && std::atan2(y, x) * kToDeg != 80.0; ++i) {
        y = std::nextafter(y, std::atan2(y, x) * kToDeg < 80.0 ? 100.0 : 0.0);
    }
    ASSERT_EQ(std::atan2(y, x) * kToDeg, 80.0);
    auto steep = Frame({0, 0, 0}, {x, y, 0}, 0.001, 0.003);
    ASSERT_TRUE(scene.SolveLaunch(One(*steep)));
    EXPECT_EQ(scene.LaunchAngle(), 80.0);

    double above = y;
    while (std::atan2(above, x) * kToDeg <= 80.0)
        above = std::nextafter(above, 100.0);
    auto tooSteep = Frame({0, 0, 0}, {x, above, 0}, 0.001, 0.003);
    EXPECT_FALSE(scene.SolveLaunch(One(*tooSteep)));
    EXPECT_EQ(scene.ErrorCode(), 8);

    auto down = Frame({0, 0, 0}, {5, -1e-9, 0}, 0.001, 0.003);
    EXPECT_FALSE(scene.SolveLaunch(One(*down)));
    EXPECT_EQ(scene.ErrorCode(), 8);
    EXPECT_EQ(scene.WarningCount(), 0);

    // Both limits broken: the launch check comes second and its code stays.
    auto slowDown = Frame({0, 0, 0}, {0.5, -0.2, 0}, 0.001, 0.003);
    EXPECT_FALSE(scene.SolveLaunch(One(*slowDown)));
    EXPECT_EQ(scene.ErrorCode(), 8);

    // Another ball going down: a warning, not an error.
    scene.SetBallDiameter(2.9);
    ASSERT_TRUE(scene.SolveLaunch(One(*down)));
    EXPECT_EQ(scene.ErrorCode(), 0);
    ASSERT_EQ(scene.WarningCount(), 1);
    EXPECT_EQ(scene.WarningCode(0), 12);
    // The list is cleared by the next solve.
    ASSERT_TRUE(scene.SolveLaunch(One(*steep)));
    EXPECT_EQ(scene.WarningCount(), 0);
}

TEST(LaunchScene, SideAngleNeverZeroAndClamped) {
    TempHome settings;
    LaunchScene scene(1.685, settings.Settings());
    auto almostStraight = Frame({0, 0, -16}, {5, 0, -16 + 5 * std::tan(-0.004 * kDeg)});
    ASSERT_TRUE(scene.SolveLaunch(One(*almostStraight)));
    EXPECT_EQ(scene.SideAngle(), 0.01);
    auto straight = Frame({0, 0, -16}, {5, 0, -16});
    ASSERT_TRUE(scene.SolveLaunch(One(*straight)));
    EXPECT_EQ(scene.SideAngle(), 0.01);

    auto wide = Frame({0, 0, -16}, {5, 0, -16 + 5 * std::tan(15 * kDeg)});
    ASSERT_TRUE(scene.SolveLaunch(One(*wide)));
    EXPECT_EQ(scene.SideAngle(), 12.0);
    auto wideLeft = Frame({0, 0, -16}, {5, 0, -16 - 5 * std::tan(15 * kDeg)});
    ASSERT_TRUE(scene.SolveLaunch(One(*wideLeft)));
    EXPECT_EQ(scene.SideAngle(), -12.0);
    auto inside = Frame({0, 0, -16}, {5, 0, -16 + 5 * std::tan(11.5 * kDeg)});
    ASSERT_TRUE(scene.SolveLaunch(One(*inside)));
    EXPECT_NEAR(scene.SideAngle(), 11.5, 1e-12);
}

TEST(LaunchScene, LeftHandedFlipsSideAngleAndSideSpin) {
    TempHome settings;
    auto f = Frame({0, 0, -16}, {5, 1, -16 + 5 * std::tan(4 * kDeg)}, 0.001, 0.003);
    Xyz spin(0, 700, 3000);
    SetNormals(*f, {-1, 0, 0},
               Rotate({-1, 0, 0}, spin.Divided(spin.Length()), spin.Length() * 0.002 * 6 * kDeg));
    LaunchScene scene(1.685, settings.Settings());
    ASSERT_TRUE(scene.SolveLaunch(One(*f)));
    const double side = scene.SideAngle(), sideSpin = scene.SideSpin();
    const double back = scene.BackSpin(), launch = scene.LaunchAngle();
    EXPECT_NEAR(side, 4.0, 1e-9);
    EXPECT_NEAR(sideSpin, 700.0, 1e-6);

    for (const char* hand : {"Left-handed", "LEFT-HANDED", "left-Handed"}) {
        ASSERT_TRUE(settings.Set("Setup", "Handed", hand));
        ASSERT_TRUE(scene.SolveLaunch(One(*f)));
        EXPECT_EQ(scene.SideAngle(), -side) << hand;
        EXPECT_EQ(scene.SideSpin(), -sideSpin);
        EXPECT_EQ(scene.BackSpin(), back);
        EXPECT_EQ(scene.LaunchAngle(), launch);
    }
    ASSERT_TRUE(settings.Set("Setup", "Handed", "Left"));
    ASSERT_TRUE(scene.SolveLaunch(One(*f)));
    EXPECT_EQ(scene.SideAngle(), side);

    // The flip comes before the clamp and after the never-zero rule.
    ASSERT_TRUE(settings.Set("Setup", "Handed", "Left-handed"));
    auto wide = Frame({0, 0, -16}, {5, 0, -16 + 5 * std::tan(15 * kDeg)});
    ASSERT_TRUE(scene.SolveLaunch(One(*wide)));
    EXPECT_EQ(scene.SideAngle(), -12.0);
    auto straight = Frame({0, 0, -16}, {5, 0, -16});
    ASSERT_TRUE(scene.SolveLaunch(One(*straight)));
    EXPECT_EQ(scene.SideAngle(), -0.01);
}

TEST(LaunchScene, FrameCountAndStraightCamera) {
    TempHome settings;
    LaunchScene scene(1.685, settings.Settings());
    FrameSet none{};
    EXPECT_FALSE(scene.SolveLaunch(none));
    EXPECT_EQ(scene.ErrorCode(), 0);

    auto a = Frame({0, 0, -16}, {5, 1, -16});
    auto b = Frame({0, 0, -16}, {5, 1, -16});
    auto c = Frame({0, 0, -16}, {5, 1, -16});
    EXPECT_FALSE(scene.SolveLaunch({a.get(), b.get(), c.get(), nullptr}));  // three frames
    EXPECT_EQ(scene.ErrorCode(), 0);

    // A camera turned by 10 degrees or more does not face the flight line.
    a->cameraRotation.x = 0.17453292519943278;
    EXPECT_FALSE(scene.SolveLaunch(One(*a)));
    EXPECT_EQ(scene.ErrorCode(), 0);
    EXPECT_EQ(scene.BallSpeed(), 0.0);
    a->cameraRotation.x = std::nextafter(0.17453292519943278, 0.0);
    EXPECT_TRUE(scene.SolveLaunch(One(*a)));
    a->cameraRotation.x = -0.5;
    EXPECT_TRUE(scene.SolveLaunch(One(*a)));

    // A frame that is captured but not analysed does not count.
    b->analyzed = false;
    EXPECT_TRUE(scene.SolveLaunch({b.get(), a.get(), nullptr, nullptr}));
}

TEST(LaunchScene, SolversPickOnlyAnalysedFrames) {
    TempHome settings;
    LaunchScene scene(1.685, settings.Settings());
    auto good = Frame({0, 0, -16}, {5, 1, -16});
    auto failed = Frame({0, 0, -16}, {0, 5, -16});  // would read as straight up
    failed->analyzed = false;
    // The failed frame comes last among the straight cameras, yet the good one is solved.
    ASSERT_TRUE(scene.SolveLaunch({good.get(), failed.get(), nullptr, nullptr}));
    EXPECT_DOUBLE_EQ(scene.LaunchAngle(), std::atan2(1.0, 5.0) * kToDeg);
    ASSERT_TRUE(scene.SolveOneCamera({good.get(), failed.get(), nullptr, nullptr}));
    EXPECT_DOUBLE_EQ(scene.LaunchAngle(), std::atan2(1.0, 5.0) * kToDeg);
    // Not valid at all: also ignored.
    failed->analyzed = true;
    failed->valid = false;
    ASSERT_TRUE(scene.SolveLaunch({good.get(), failed.get(), nullptr, nullptr}));
    EXPECT_DOUBLE_EQ(scene.LaunchAngle(), std::atan2(1.0, 5.0) * kToDeg);
}

// A frame whose balls show the flight at image heading alpha (degrees, up positive).
std::unique_ptr<CapturedImage> Heading(double alpha, double phiDegrees) {
    auto f = Frame({0, 0, -16}, {5, 1, -16}, 0.001, 0.003);
    f->cameraRotation.x = phiDegrees * kDeg;
    f->result.balls[0].pix = Xyz(200, 300, 120);
    f->result.balls[1].pix =
        Xyz(200 + 250 * std::cos(alpha * kDeg), 300 - 250 * std::sin(alpha * kDeg), 120);
    return f;
}

TEST(LaunchScene, TwoCamerasIntersectTheirPlanes) {
    TempHome settings;
    LaunchScene scene(1.685, settings.Settings());
    auto straight = Heading(20.0, 0.0);
    SetNormals(*straight, {-1, 0, 0}, {0, 1, 0});
    straight->t2 = 0.011;
    auto side = Heading(5.0, 90.0);
    // The straight camera in either slot.
    for (const FrameSet& frames : {FrameSet{straight.get(), side.get(), nullptr, nullptr},
                                   FrameSet{side.get(), straight.get(), nullptr, nullptr}}) {
        ASSERT_TRUE(scene.SolveLaunch(frames));
        EXPECT_NEAR(scene.LaunchAngle(), 20.0, 1e-9);
        EXPECT_NEAR(scene.SideAngle(), -5.0, 1e-9);
        EXPECT_DOUBLE_EQ(scene.BallSpeed(), std::sqrt(26.0) / 12 / 0.01);
        EXPECT_NEAR(scene.BackSpin(), 1500.0, 1e-9);  // spin from the straight camera
    }
    // Two cameras but none facing the flight line.
    straight->cameraRotation.x = 0.2;
    EXPECT_FALSE(scene.SolveLaunch({straight.get(), side.get(), nullptr, nullptr}));
    EXPECT_EQ(scene.ErrorCode(), 0);
}

TEST(LaunchScene, TwoCamerasSkipAFailedFrame) {
    TempHome settings;
    LaunchScene scene(1.685, settings.Settings());
    auto side = Heading(5.0, 90.0);
    auto failed = Heading(60.0, 0.0);
    failed->analyzed = false;
    auto straight = Heading(20.0, 0.0);
    ASSERT_TRUE(scene.SolveLaunch({side.get(), failed.get(), straight.get(), nullptr}));
    EXPECT_NEAR(scene.LaunchAngle(), 20.0, 1e-9);
    EXPECT_NEAR(scene.SideAngle(), -5.0, 1e-9);
}

TEST(LaunchScene, NoUsableFlashIntervalIsRefused) {
    TempHome settings;
    LaunchScene scene(1.685, settings.Settings());
    auto good = Frame({0, 0, -16}, {5, 1, -16}, 0.001, 0.003);
    SetNormals(*good, {-1, 0, 0}, {0, 1, 0});
    for (double t2 : {0.001, 0.0005, -0.999}) {
        ASSERT_TRUE(scene.SolveLaunch(One(*good)));  // values from a good shot first
        auto bad = Frame({0, 0, -16}, {5, 1, -16}, 0.001, t2);
        SetNormals(*bad, {-1, 0, 0}, {0, 1, 0});
        EXPECT_FALSE(scene.SolveLaunch(One(*bad))) << t2;
        EXPECT_EQ(scene.ErrorCode(), 0);
        EXPECT_EQ(scene.BallSpeed(), 0.0);
        EXPECT_EQ(scene.BallSpeedMph(), 0.0);
        EXPECT_EQ(scene.LaunchAngle(), 0.0);
        EXPECT_EQ(scene.SideAngle(), 0.0);
        EXPECT_EQ(scene.TotalSpin(), 0.0);
        EXPECT_EQ(scene.BackSpin(), 0.0);

        ASSERT_TRUE(scene.SolveLaunch(One(*good)));
        EXPECT_FALSE(scene.SolveOneCamera(One(*bad)));
        EXPECT_EQ(scene.BallSpeed(), 0.0);
        EXPECT_EQ(scene.BackSpin(), 0.0);

        auto side = Heading(5.0, 90.0);
        side->t1 = 0.001;
        side->t2 = t2;  // the side frame's own interval plays no part
        auto badStraight = Heading(20.0, 0.0);
        badStraight->t2 = t2;
        EXPECT_FALSE(scene.SolveLaunch({badStraight.get(), side.get(), nullptr, nullptr}));
        EXPECT_EQ(scene.BallSpeed(), 0.0);
        EXPECT_FALSE(scene.SolveTwoCameras({badStraight.get(), side.get(), nullptr, nullptr}));
        EXPECT_EQ(scene.LaunchAngle(), 0.0);

        scene.ComputeSpin(*bad);
        EXPECT_EQ(scene.TotalSpin(), 0.0);
    }
}

TEST(LaunchScene, AlignNormalsTurnsBallZeroUp) {
    LaunchScene scene;
    auto f = Frame({0, 0, -16}, {5, 1, -16});
    Xyz n(0.3, -0.8, 0.52);
    n.Normalize();
    Xyz axis = n.Cross(Xyz(0, 0, 1));
    axis.Divide(axis.Length());
    Xyz m = Rotate(n, axis, 40 * kDeg);
    SetNormals(*f, n, m);
    scene.SetSlot(1, *f);
    const Xyz d0 = scene.Slot(1).result.balls[0].displayNormal;
    const Xyz d1 = scene.Slot(1).result.balls[1].displayNormal;
    EXPECT_NEAR(d0.x, 0.0, 1e-12);
    EXPECT_NEAR(d0.y, 1.0, 1e-12);
    EXPECT_NEAR(d0.z, 0.0, 1e-12);
    EXPECT_NEAR(std::acos(d0.Dot(d1)) * kToDeg, 40.0, 1e-6);
    EXPECT_NEAR(d1.Length(), 1.0, 1e-9);
    // The view normals themselves stay as measured.
    EXPECT_EQ(scene.Slot(1).result.balls[0].viewNormal, n);

    // More than 100 degrees apart: ball 1's is turned over.
    Xyz far = Rotate(n, axis, 130 * kDeg);
    SetNormals(*f, n, far);
    LaunchScene::AlignNormals(*f);
    EXPECT_NEAR(
        std::acos(f->result.balls[0].displayNormal.Dot(f->result.balls[1].displayNormal)) * kToDeg,
        50.0, 1e-6);

    // A missing normal leaves the display normals alone.
    auto missing = Frame({0, 0, -16}, {5, 1, -16});
    SetNormals(*missing, {0, 0.05, 0}, {0, 1, 0});
    scene.SetSlot(0, *missing);
    EXPECT_EQ(scene.Slot(0).result.balls[0].displayNormal, Xyz(0, 0, 0));
    EXPECT_EQ(scene.Slot(0).result.balls[1].displayNormal, Xyz(0, 0, 0));

    scene.ClearSlots();
    EXPECT_FALSE(scene.Slot(1).valid);
    EXPECT_EQ(scene.Slot(1).result.balls[0].displayNormal, Xyz(0, 0, 0));
}

TEST(LaunchScene, OwnSlotsAndCallerFramesSolveAlike) {
    TempHome settings;
    LaunchScene copied(1.685, settings.Settings());
    LaunchScene held(1.685, settings.Settings());
    auto side = Heading(7.0, 90.0);
    auto straight = Heading(14.0, 0.0);
    SetNormals(*straight, {-1, 0, 0}, Rotate({-1, 0, 0}, {0, 0, 1}, 25 * kDeg));
    copied.SetSlot(0, *side);
    copied.SetSlot(1, *straight);
    ASSERT_TRUE(copied.SolveLaunch());
    ASSERT_TRUE(held.SolveLaunch({side.get(), straight.get(), nullptr, nullptr}));
    EXPECT_EQ(copied.BallSpeed(), held.BallSpeed());
    EXPECT_EQ(copied.LaunchAngle(), held.LaunchAngle());
    EXPECT_EQ(copied.SideAngle(), held.SideAngle());
    EXPECT_EQ(copied.BackSpin(), held.BackSpin());
    EXPECT_EQ(copied.TotalSpin(), held.TotalSpin());
    EXPECT_NEAR(held.BackSpin(), 25.0 / 0.002 / 6.0, 1e-6);
    EXPECT_FALSE(held.Slot(0).valid);      // nothing was copied into the holding scene
    EXPECT_TRUE(copied.SolveOneCamera());  // one straight camera among the two
    EXPECT_TRUE(copied.SolveTwoCameras());
}

}  // namespace
