#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "analysis/camera_model.h"
#include "analysis/launch_scene.h"
#include "base/config_store.h"
#include "base/math_constants.h"
#include "capture/camera_table.h"
#include "sim/shot_generator.h"
#include "sim/simulated_driver.h"
#include "support/eventually.h"
#include "support/recording_prompts.h"
#include "support/temp_home.h"

using kyvern::analysis::CapturedImage;
using kyvern::base::ConfigStore;
using kyvern::capture::CameraTable;
using kyvern::sim::GeneratedShot;
using kyvern::sim::kFirstSimulatedSerial;
using kyvern::sim::ShotGenerator;
using kyvern::sim::ShotTruth;
using kyvern::sim::SimulatedCameraDriver;
using kyvern::sim::SimulatorOptions;
using kyvern::testing::RecordingPrompts;
using kyvern::testing::TempHome;

namespace {

constexpr double kIntervals[] = {0.00095, 0.00145, 0.00195, 0.00295};
constexpr const char* kSpeeds[] = {"Fast", "Medium", "SuperSlow", "slow"};

// Waits, without sleeping, until the camera has a frame; false after a few seconds.
bool AwaitFrame(const CameraTable& table, std::uint32_t serial) {
    return kyvern::testing::Eventually([&] { return table.HasNewFrame(serial); });
}

bool InFrame(const kyvern::analysis::Xyz& pix, int width, int height) {
    const double r = pix.z / 2.0;
    return pix.x - r >= 0 && pix.x + r <= width && pix.y - r >= 0 && pix.y + r <= height;
}

struct SimRig {
    explicit SimRig(SimulatorOptions options) : driver(options, settings) {
        table.SetGrabPause(std::chrono::microseconds(0));
    }
    ~SimRig() { table.Shutdown(); }
    TempHome home;
    std::string settings = home.Settings();
    SimulatedCameraDriver driver;
    RecordingPrompts prompts;
    CameraTable table{driver, prompts, settings};
};

SimulatorOptions OnRequest(int cameras, int width) {
    SimulatorOptions o;
    o.cameras = cameras;
    o.width = width;
    o.shotPeriod = 0.0;
    o.seed = 7;
    return o;
}

}  // namespace

TEST(ShotGenerator, ClubByClubShotsThatFitTheStrobe) {
    const auto& clubs = ShotGenerator::Clubs();
    // The fast strobe suits the long clubs, the slowest one the wedges; the middle modes all.
    EXPECT_TRUE(ShotGenerator::Fits(ShotGenerator::MeanShot(0), 0.00095, 1024));
    EXPECT_FALSE(ShotGenerator::Fits(ShotGenerator::MeanShot(6), 0.00095, 1024));
    EXPECT_FALSE(ShotGenerator::Fits(ShotGenerator::MeanShot(0), 0.00295, 1024));
    EXPECT_TRUE(ShotGenerator::Fits(ShotGenerator::MeanShot(6), 0.00295, 1024));
    for (int c = 0; c < 7; ++c) {
        EXPECT_TRUE(ShotGenerator::Fits(ShotGenerator::MeanShot(c), 0.00145, 1024)) << c;
        EXPECT_TRUE(ShotGenerator::Fits(ShotGenerator::MeanShot(c), 0.00145, 640)) << c;
    }

    for (int width : {1024, 640}) {
        for (double interval : kIntervals) {
            ShotGenerator generator(3);
            int seen[7] = {};
            for (int n = 0; n < 200; ++n) {
                const GeneratedShot s = generator.Next(interval, width);
                ASSERT_GE(s.club, 0);
                ASSERT_LT(s.club, 7);
                ++seen[s.club];
                const auto& p = clubs[s.club];
                const double mph = s.ballSpeed * 3600.0 / 5280.0;
                EXPECT_LE(std::fabs(mph - p.ballSpeedMph), 2.5 * p.ballSpeedSd + 1e-9);
                EXPECT_LE(std::fabs(s.launchAngle - p.launchAngle), 2.5 * p.launchSd + 1e-9);
                EXPECT_LE(std::fabs(s.backSpin - p.backSpin), 2.5 * p.backSpinSd + 1e-9);
                EXPECT_LE(std::fabs(s.sideAngle), 2.5 * p.sideAngleSd + 1e-9);
                EXPECT_LE(std::fabs(s.sideSpin), 2.5 * p.sideSpinSd + 1e-9);
                EXPECT_TRUE(ShotGenerator::Fits(s, interval, width));
            }
            int clubsSeen = 0;
            for (int k : seen)
                clubsSeen += k > 0;
            EXPECT_GE(clubsSeen, 3) << interval;
        }
    }
    // The same seed gives the same shots.
    ShotGenerator a(11), b(11);
    for (int n = 0; n < 5; ++n) {
        const GeneratedShot x = a.Next(0.00145, 1024);
        const GeneratedShot y = b.Next(0.00145, 1024);
        EXPECT_EQ(x.club, y.club);
        EXPECT_EQ(x.ballSpeed, y.ballSpeed);
        EXPECT_EQ(x.sideSpin, y.sideSpin);
    }
}

// Frames of a straight and a turned camera, filled with the renderer's own ball centres,
// solve into the launch direction that was rendered; the straight one alone gives the speed.
TEST(ShotGenerator, CameraPosesAgreeWithTheSceneSolution) {
    GeneratedShot shot = ShotGenerator::MeanShot(2);
    shot.sideAngle = -3.5;
    shot.launchAngle = 13.25;
    for (double turnDegrees : {45.0, 90.0, 20.0}) {
        auto frames =
            std::array{std::make_unique<CapturedImage>(), std::make_unique<CapturedImage>()};
        const double turns[2] = {0.0, turnDegrees * kyvern::base::kDegreesToRadians};
        for (int i = 0; i < 2; ++i) {
            const kyvern::sim::ViewPose pose{ShotGenerator::ViewPosition(turns[i]), turns[i]};
            const auto setup = ShotGenerator::SetupFor(shot, 0.00145, 1024, pose);
            ShotTruth t;
            ASSERT_TRUE(kyvern::sim::FrameRenderer::Solve(setup, t));
            EXPECT_TRUE(InFrame(t.pix0, 1024, 768) && InFrame(t.pix1, 1024, 768)) << turnDegrees;
            EXPECT_NEAR(t.ball0.Plus(t.ball1).Scaled(0.5).z, -kyvern::sim::SimulatedDistance(1024),
                        1e-9);
            CapturedImage& f = *frames[i];
            f.valid = f.analyzed = true;
            f.width = 1024;
            f.height = 768;
            f.t1 = setup.t1;
            f.t2 = setup.t2;
            f.cameraRotation = kyvern::analysis::Xyz(turns[i], 0.0, 0.0);
            f.result.balls[0].pix = t.pix0;
            f.result.balls[1].pix = t.pix1;
            f.result.balls[0].loc = t.ball0;
            f.result.balls[1].loc = t.ball1;
        }
        kyvern::analysis::LaunchScene scene;
        const kyvern::analysis::FrameSet two{frames[0].get(), frames[1].get(), nullptr, nullptr};
        ASSERT_TRUE(scene.SolveTwoCameras(two));
        EXPECT_NEAR(scene.LaunchAngle(), shot.launchAngle, 1e-6) << turnDegrees;
        EXPECT_NEAR(scene.SideAngle(), shot.sideAngle, 1e-6) << turnDegrees;
        EXPECT_NEAR(scene.BallSpeed(), shot.ballSpeed, 1e-6);
        const kyvern::analysis::FrameSet one{frames[0].get(), nullptr, nullptr, nullptr};
        ASSERT_TRUE(scene.SolveOneCamera(one));
        EXPECT_NEAR(scene.LaunchAngle(), shot.launchAngle, 1e-6);
        EXPECT_NEAR(scene.SideAngle(), shot.sideAngle, 1e-6);
    }
}

// The table over the simulated bus: serial numbers, calibration entries, one frame per shot
// in every speed mode, each frame the renderer's own, turned for the player's hand.
TEST(SimulatedCamera, DeliversRenderedShotsInEverySpeedMode) {
    SimRig rig(OnRequest(2, 1024));
    rig.table.InitCameras();
    EXPECT_TRUE(rig.prompts.messages.empty());
    ASSERT_EQ(rig.table.CameraCount(), 2);
    const std::uint32_t s0 = kFirstSimulatedSerial;
    const std::uint32_t s1 = kFirstSimulatedSerial + 1;
    EXPECT_EQ(rig.table.SlotOfSerial(s1), 1);
    // The second camera's calibration entry says how it hangs.
    EXPECT_NEAR(kyvern::analysis::ReadCameraRotation(s1, rig.settings).x,
                45.0 * kyvern::base::kDegreesToRadians, 1e-12);

    auto fetched = std::make_unique<CapturedImage>();
    auto expected = std::make_unique<CapturedImage>();
    for (int m = 0; m < 4; ++m) {
        ConfigStore::WriteSetting(rig.settings, "Camera", "Speed", kSpeeds[m]);
        ConfigStore::WriteSetting(rig.settings, "Setup", "Handed",
                                  m % 2 ? "Left-handed" : "Right-handed");
        ASSERT_TRUE(rig.table.ApplySpeedAndBrightness());
        const double interval = kyvern::capture::SpeedModeOfName(kSpeeds[m])->strobeInterval;
        EXPECT_DOUBLE_EQ(rig.driver.IntervalOf(0), interval);
        rig.driver.RequestShot();
        for (int slot = 0; slot < 2; ++slot) {
            const std::uint32_t serial = slot == 0 ? s0 : s1;
            ASSERT_TRUE(AwaitFrame(rig.table, serial)) << kSpeeds[m];
            ASSERT_TRUE(rig.table.TakeFrame(serial, *fetched));
            ASSERT_EQ(fetched->width, 1024);
            ASSERT_EQ(fetched->height, 768);
            // The frame carries the interval of the mode it was taken in.
            EXPECT_NEAR(fetched->t2 - fetched->t1, interval, 1e-12);
            const auto setup = rig.driver.SetupOf(slot);
            const ShotTruth truth = rig.driver.TruthOf(slot);
            // The strobe interval of the speed mode, stamped as the shot cycle stamps it.
            EXPECT_NEAR(setup.t2 - setup.t1, interval, 1e-12);
            EXPECT_NEAR(truth.interval, interval, 1e-12);
            EXPECT_EQ(setup.serialNumber, std::int32_t(serial));
            // Both balls wholly in view, apart, near enough and of a size the analysis takes.
            for (const auto* pix : {&truth.pix0, &truth.pix1}) {
                EXPECT_TRUE(InFrame(*pix, 1024, 768)) << kSpeeds[m] << " slot " << slot;
                EXPECT_GE(pix->z, 60.0);
                EXPECT_LE(pix->z, 200.0);
            }
            EXPECT_GT(truth.ball0.z, -18.0);
            EXPECT_GT(truth.ball1.z, -18.0);
            EXPECT_LT(truth.ball0.z, -12.0);
            const double apart =
                std::hypot(truth.pix1.x - truth.pix0.x, truth.pix1.y - truth.pix0.y);
            EXPECT_GT(apart, truth.pix0.z);
            // The sensor sees the hanging camera's view; once fetched, for either hand, the
            // pixels are exactly the upright frame the renderer drew.
            kyvern::sim::FrameRenderer renderer;
            ASSERT_TRUE(renderer.Render(setup, *expected));
            EXPECT_EQ(std::memcmp(fetched->Pixels(), expected->Pixels(), 1024 * 768), 0)
                << kSpeeds[m] << " slot " << slot;
        }
        // Both cameras saw the same shot, each from its own pose.
        EXPECT_EQ(rig.driver.SetupOf(0).ballSpeed, rig.driver.LastShot().ballSpeed);
        EXPECT_NE(rig.driver.TruthOf(0).pix0.y, rig.driver.TruthOf(1).pix0.y);
    }
    EXPECT_EQ(rig.driver.ShotNumber(), 4);
}

TEST(SimulatedCamera, ShootsOnItsOwnAndFollowsThePlugs) {
    SimulatorOptions o = OnRequest(1, 640);
    o.shotPeriod = 0.05;
    SimRig rig(o);
    rig.table.InitCameras();
    ASSERT_EQ(rig.table.CameraCount(), 1);
    // A shot arrives without a request, in the 640 x 480 mode.
    ASSERT_TRUE(AwaitFrame(rig.table, kFirstSimulatedSerial));
    EXPECT_EQ(rig.table.FrameWidth(kFirstSimulatedSerial), 640);
    EXPECT_EQ(rig.table.FrameHeight(kFirstSimulatedSerial), 480);
    const ShotTruth t = rig.driver.TruthOf(0);
    EXPECT_TRUE(InFrame(t.pix0, 640, 480) && InFrame(t.pix1, 640, 480));
    EXPECT_GE(t.pix0.z, 60.0);

    // Plugging two more cameras restarts the table with three; unplugging back to none
    // leaves it empty.
    rig.driver.SetCameraCount(3);
    EXPECT_TRUE(kyvern::testing::Eventually([&] { return rig.table.CameraCount() == 3; }));
    rig.driver.SetCameraCount(0);
    EXPECT_TRUE(kyvern::testing::Eventually([&] { return rig.table.CameraCount() == 0; }));
    EXPECT_EQ(rig.prompts.messages.size(), 1u);  // the one "no cameras" message
    EXPECT_FALSE(rig.table.IsConnected(0));
}

TEST(SimulatedCamera, OptionsFromTheSettings) {
    TempHome home;
    const std::string path = home.Settings();
    const struct {
        const char *cameras, *resolution, *period, *seed;  // nullptr: not set
        int cameraCount, width;
        double shotPeriod;
        unsigned seedValue;
    } cases[] = {
        {nullptr, nullptr, nullptr, nullptr, 1, 1024, 4.0, 1},
        {"9", "640X480", "0", "42", 4, 640, 0.0, 42},  // at most four cameras
        {"-1", "640X480", "-5", "42", 0, 640, 4.0, 42},
    };
    for (const auto& c : cases) {
        if (c.cameras) {
            ConfigStore::WriteSetting(path, "Simulator", "Cameras", c.cameras);
            ConfigStore::WriteSetting(path, "Simulator", "Resolution", c.resolution);
            ConfigStore::WriteSetting(path, "Simulator", "ShotPeriod", c.period);
            ConfigStore::WriteSetting(path, "Simulator", "Seed", c.seed);
        }
        const SimulatorOptions o = kyvern::sim::ReadSimulatorOptions(path);
        EXPECT_EQ(o.cameras, c.cameraCount) << c.cameras;
        EXPECT_EQ(o.width, c.width);
        EXPECT_EQ(o.shotPeriod, c.shotPeriod);
        EXPECT_EQ(o.seed, c.seedValue);
    }
}
