#include "sim/frame_renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "analysis/launch_scene.h"
#include "frame/camera_model.h"

namespace {

using namespace kyvern::analysis;
using namespace kyvern::frame;
using namespace kyvern::sim;

constexpr double kDeg = 3.14159265358979323846 / 180.0;

// Flat lighting, no line and no noise: a pixel's level tells how much of it the ball covers.
ShotSetup FlatSetup(int width, int height) {
    ShotSetup s;
    s.width = width, s.height = height, s.lineWidth = 0.0, s.noise = 0.0;
    s.lighting.ambient = 1.0, s.lighting.ballLevel = 200.0, s.lighting.backgroundLevel = 16.0;
    return s;
}

struct Blob {
    double x = 0.0, y = 0.0;
    double diameter = 0.0;  // of the circle with the covered area
};

// Coverage-weighted centroid and area of the ball inside a box of a flat-lit frame.
Blob Measure(const CapturedImage& f, const ShotSetup& s, int x0, int y0, int x1, int y1) {
    const double background = s.lighting.backgroundLevel;
    const double full = s.lighting.ballLevel + background / 2.0;
    double area = 0.0, sx = 0.0, sy = 0.0;
    for (int r = std::max(0, y0); r < std::min(f.height, y1); ++r) {
        for (int c = std::max(0, x0); c < std::min(f.width, x1); ++c) {
            const double cover = (f.At(r, c) - background) / (full - background);
            area += cover;
            sx += cover * c;
            sy += cover * r;
        }
    }
    return {sx / area, sy / area, 2.0 * std::sqrt(area / 3.14159265358979323846)};
}

Blob MeasureAround(const CapturedImage& f, const ShotSetup& s, const Xyz& pix) {
    const int half = int(pix.z * 0.75);
    return Measure(f, s, int(pix.x) - half, int(pix.y) - half, int(pix.x) + half,
                   int(pix.y) + half);
}

// The exact image of a sphere through a pinhole: an ellipse stretched along the line from the
// principal point, whose centre lies a little outside the image of the sphere's centre.
struct Ellipse {
    double x = 0.0, y = 0.0;
    double a = 0.0, b = 0.0;  // semi-axes, pixels
};

Ellipse Silhouette(const ShotSetup& s, const Xyz& c) {
    const double p = kyvern::frame::PixelPitch(s.width);
    const double f = kyvern::frame::kFocalLength;
    const double theta = std::acos(-c.z / c.Length());
    const double alpha = std::asin(s.ballDiameter / 2 / c.Length());
    const double phi = std::atan2(c.y, c.x);
    const double far = f * std::tan(theta + alpha), near = f * std::tan(theta - alpha);
    const double centre = (far + near) / 2;  // inches on the sensor
    const double b2 =
        std::pow(centre * std::sin(theta) + f * std::cos(theta), 2) / std::pow(std::cos(alpha), 2) -
        centre * centre - f * f;
    return {s.width / 2.0 + centre / p * std::cos(phi), s.height / 2.0 - centre / p * std::sin(phi),
            (far - near) / 2 / p, std::sqrt(b2) / p};
}

TEST(FrameRenderer, BallImagesMatchThePinholeProjectionAndTheLens) {
    FrameRenderer renderer;
    auto frame = std::make_unique<CapturedImage>();
    for (int width : {1024, 640}) {
        const int height = width == 1024 ? 768 : 480;
        ShotSetup s = FlatSetup(width, height);
        s.pinhole = true, s.ball0 = Xyz(0, 0, -24), s.ballSpeed = 100, s.launchAngle = 0;
        s.t2 = s.t1 + 0.004;  // 4.8 in: ball 1 well clear of ball 0
        ASSERT_TRUE(renderer.Render(s, *frame));
        const ShotTruth& t = renderer.Truth();
        const double pitch = kyvern::frame::PixelPitch(width);
        const double f = kyvern::frame::kFocalLength;
        // Centred: the diameter is the ball over the scale at its distance.
        EXPECT_DOUBLE_EQ(t.pix0.z, 1.685 / (pitch * 24 / f));
        EXPECT_DOUBLE_EQ(t.pix0.x, width / 2.0);
        EXPECT_DOUBLE_EQ(t.pix0.y, height / 2.0);
        Blob b0 = MeasureAround(*frame, s, t.pix0);
        EXPECT_NEAR(b0.x, width / 2.0, 0.02) << width;
        EXPECT_NEAR(b0.y, height / 2.0, 0.02);
        // The true silhouette of a sphere is wider by 1 / sqrt(1 - (R/d)^2).
        const double r = 1.685 / 2;
        EXPECT_NEAR(b0.diameter, t.pix0.z / std::sqrt(1 - r * r / (24.0 * 24.0)), 0.1);

        // Ball 1, off the axis: the exact perspective image.
        const Ellipse e1 = Silhouette(s, t.ball1);
        Blob b1 = MeasureAround(*frame, s, t.pix1);
        EXPECT_NEAR(b1.x, e1.x, 0.03);
        EXPECT_NEAR(b1.y, e1.y, 0.03);
        EXPECT_NEAR(b1.diameter, 2 * std::sqrt(e1.a * e1.b), 0.1);
        EXPECT_GT(e1.x, t.pix1.x);  // stretched outwards, away from the principal point
        EXPECT_NEAR(e1.b * 2, t.pix1.z, 0.001 * t.pix1.z);

        // The lens draws each ball smaller by its shrink about its own centre, and the truth
        // gives the diameter it drew.
        const ShotTruth pinhole = t;
        s.pinhole = false;
        ASSERT_TRUE(renderer.Render(s, *frame));
        const ShotTruth& lens = renderer.Truth();
        const double shrink =
            1 + 6.7e-5 * std::hypot(pinhole.pix1.x - width / 2.0, pinhole.pix1.y - height / 2.0);
        EXPECT_GT(shrink, 1.01);
        EXPECT_EQ(lens.pix0.z, pinhole.pix0.z);  // centred: as the pinhole draws it
        EXPECT_DOUBLE_EQ(lens.pix1.z, pinhole.pix1.z / shrink);
        EXPECT_EQ(lens.pix1.x, pinhole.pix1.x);
        const Blob lens1 = MeasureAround(*frame, s, lens.pix1);
        EXPECT_NEAR(lens1.x, lens.pix1.x + (e1.x - lens.pix1.x) / shrink, 0.03);
        EXPECT_NEAR(lens1.y, e1.y, 0.03);
        EXPECT_NEAR(lens1.diameter, b1.diameter / shrink, 0.1);
    }
}

TEST(FrameRenderer, SecondFlashCarriesEverySpinComponent) {
    ShotSetup s;
    s.ballSpeed = 180, s.launchAngle = 17, s.sideAngle = -6;
    s.backSpin = 4200, s.sideSpin = -900, s.rifleSpin = 250;
    s.lineNormal = kyvern::sim::NormalAcrossSpin(s.backSpin, s.sideSpin, s.rifleSpin);
    s.t2 = s.t1 + kyvern::sim::StrobeIntervalFor(s.ballSpeed);
    s.ball0 = kyvern::sim::CentredStart(s, 24);
    ShotTruth t;
    ASSERT_TRUE(FrameRenderer::Solve(s, t));
    // The analysis reads the same truth back: speed, angles and every spin component (the
    // rendered-shot tests draw no rifle spin).
    auto frame = std::make_unique<CapturedImage>();
    FrameRenderer renderer;
    ASSERT_TRUE(renderer.Render(s, *frame));
    frame->analyzed = true;
    auto& balls = frame->result.balls;
    balls[0].loc = t.ball0, balls[1].loc = t.ball1;
    balls[0].viewNormal = t.normal0, balls[1].viewNormal = t.normal1;
    const std::string noSettings =
        (std::filesystem::temp_directory_path() / "kyvern-no-such-folder/Kyvern.ini").string();
    kyvern::analysis::LaunchScene scene(
        1.685,
        kyvern::analysis::ReadSceneOptions(kyvern::base::SettingsSnapshot::Read(noSettings)));
    ASSERT_TRUE(scene.SolveLaunch({frame.get(), nullptr, nullptr, nullptr}));
    EXPECT_NEAR(scene.BallSpeed(), 180.0, 1e-9);
    EXPECT_NEAR(scene.LaunchAngle(), 17.0, 1e-9);
    EXPECT_NEAR(scene.SideAngle(), -6.0, 1e-9);
    EXPECT_NEAR(scene.BackSpin(), 4200.0, 1e-6);
    EXPECT_NEAR(scene.SideSpin(), -900.0, 1e-6);
    EXPECT_NEAR(scene.RifleSpin(), 250.0, 1e-6);
    EXPECT_NEAR(std::acos(t.normal0.Dot(t.normal1)) / kDeg, t.turn, 1e-9);
}

TEST(FrameRenderer, RefusesSetupsItCannotRender) {
    FrameRenderer renderer;
    auto frame = std::make_unique<CapturedImage>();
    frame->Pixels()[0] = 99;
    const struct {
        const char* what;
        void (*spoil)(ShotSetup&);
    } cases[] = {
        {"unknown size", [](ShotSetup& s) { std::tie(s.width, s.height) = std::pair(800, 600); }},
        {"mixed size", [](ShotSetup& s) { s.height = 480; }},
        {"no interval", [](ShotSetup& s) { s.t2 = s.t1; }},
        {"lens inside the ball", [](ShotSetup& s) { s.ball0 = Xyz(0, 0, -1); }},
        {"no line normal", [](ShotSetup& s) { s.lineNormal = Xyz(0, 0, 0); }},
        {"speed not a number", [](ShotSetup& s) { s.ballSpeed = std::nan(""); }},
        {"straight up", [](ShotSetup& s) { s.launchAngle = 90; }},
    };
    for (const auto& c : cases) {
        ShotSetup s;
        c.spoil(s);
        ShotTruth t;
        EXPECT_FALSE(FrameRenderer::Solve(s, t)) << c.what;
        EXPECT_FALSE(renderer.Render(s, *frame)) << c.what;
    }
    EXPECT_FALSE(frame->valid);
    EXPECT_EQ(frame->Pixels()[0], 99);  // the frame is left as it was
}

}  // namespace
