#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>

#include "analysis/analysis_pipeline.h"
#include "analysis/launch_scene.h"
#include "base/config_store.h"
#include "base/math_constants.h"
#include "base/message_list.h"
#include "capture/camera_table.h"
#include "frame/camera_model.h"
#include "sim/shot_generator.h"
#include "sim/simulated_driver.h"
#include "support/eventually.h"
#include "support/recording_prompts.h"
#include "support/run_analysis.h"
#include "support/temp_home.h"

using kyvern::capture::CameraTable;
using kyvern::frame::CapturedImage;
using namespace kyvern::sim;
using namespace kyvern::testing;

namespace {

constexpr double kIntervals[] = {0.00095, 0.00145, 0.00195, 0.00295};

// Waits, without sleeping, until the camera has a frame; false after a few seconds.
bool AwaitFrame(const CameraTable& table, std::uint32_t serial) {
    return kyvern::testing::Eventually([&] { return table.HasNewFrame(serial); });
}

bool InFrame(const kyvern::frame::Xyz& pix, int width, int height) {
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
    SimulatedCameraDriver driver{{}, kyvern::base::Settings()};
    RecordingPrompts prompts;
    CameraTable table{driver, prompts, settings};
};

SimulatorOptions OnRequest(int cameras, int width, unsigned seed = 7) {
    SimulatorOptions o;
    o.cameras = cameras, o.width = width, o.shotPeriod = 0.0, o.seed = seed;
    return o;
}

// Takes a camera's frame into a slot with its capture facts, as the shot cycle does.
bool TakeFrame(SimRig& rig, std::uint32_t serial, double interval, CapturedImage& frame) {
    if (!AwaitFrame(rig.table, serial)) return false;
    frame.Reset();
    if (!rig.table.TakeFrame(serial, frame)) return false;
    frame.serialNumber = std::int32_t(serial);
    frame.cameraPosition = kyvern::frame::ReadCameraPosition(
        serial, kyvern::base::SettingsSnapshot::Read(rig.settings));
    frame.cameraRotation = kyvern::frame::ReadCameraRotation(
        serial, kyvern::base::SettingsSnapshot::Read(rig.settings));
    frame.t1 = 0.001, frame.t2 = 0.001 + interval, frame.valid = true;
    return true;
}

}  // namespace

TEST(ShotGenerator, ClubByClubShotsThatFitTheStrobe) {
    // The fast strobe suits the long clubs, the slowest one the wedges; the middle modes all.
    EXPECT_TRUE(ShotGenerator::Fits(ShotGenerator::MeanShot(0), 0.00095, 1024));
    EXPECT_FALSE(ShotGenerator::Fits(ShotGenerator::MeanShot(6), 0.00095, 1024));
    EXPECT_FALSE(ShotGenerator::Fits(ShotGenerator::MeanShot(0), 0.00295, 1024));
    EXPECT_TRUE(ShotGenerator::Fits(ShotGenerator::MeanShot(6), 0.00295, 1024));
    for (int c = 0; c < 7; ++c)
        EXPECT_TRUE(ShotGenerator::Fits(ShotGenerator::MeanShot(c), 0.00145, 640)) << c;

    for (int width : {1024, 640}) {
        for (double interval : kIntervals) {
            ShotGenerator generator(3), again(3);
            int seen[7] = {};
            for (int n = 0; n < 200; ++n) {
                const GeneratedShot s = generator.Next(interval, width);
                ASSERT_TRUE(s.club >= 0 && s.club < 7);
                ++seen[s.club];
                const auto& p = ShotGenerator::Clubs()[s.club];
                const double mph = s.ballSpeed * 3600.0 / 5280.0;
                EXPECT_LE(std::fabs(mph - p.ballSpeedMph), 2.5 * p.ballSpeedSd + 1e-9);
                EXPECT_LE(std::fabs(s.launchAngle - p.launchAngle), 2.5 * p.launchSd + 1e-9);
                EXPECT_LE(std::fabs(s.backSpin - p.backSpin), 2.5 * p.backSpinSd + 1e-9);
                EXPECT_LE(std::fabs(s.sideAngle), 2.5 * p.sideAngleSd + 1e-9);
                EXPECT_LE(std::fabs(s.sideSpin), 2.5 * p.sideSpinSd + 1e-9);
                EXPECT_TRUE(ShotGenerator::Fits(s, interval, width));
                // The same seed gives the same shots.
                EXPECT_EQ(again.Next(interval, width).sideSpin, s.sideSpin);
            }
            EXPECT_GE(std::count_if(seen, seen + 7, [](int k) { return k > 0; }), 3) << interval;
        }
    }
}

// Frames of a straight and a turned camera, filled with the renderer's own ball centres,
// solve into the launch that was rendered.
TEST(ShotGenerator, CameraPosesAgreeWithTheSceneSolution) {
    GeneratedShot shot = ShotGenerator::MeanShot(2);
    shot.sideAngle = -3.5;
    shot.launchAngle = 13.25;
    for (double turnDegrees : {90.0, 20.0}) {  // the turns no camera test below sees
        auto frames =
            std::array{std::make_unique<CapturedImage>(), std::make_unique<CapturedImage>()};
        const double turns[2] = {0.0, turnDegrees * kyvern::base::kDegreesToRadians};
        for (int i = 0; i < 2; ++i) {
            const kyvern::sim::ViewPose pose{ShotGenerator::ViewPosition(turns[i]), turns[i]};
            const auto setup = ShotGenerator::SetupFor(shot, 0.00145, 1024, pose);
            ShotTruth t;
            ASSERT_TRUE(kyvern::sim::FrameRenderer::Solve(setup, t));
            EXPECT_TRUE(InFrame(t.pix0, 1024, 768) && InFrame(t.pix1, 1024, 768)) << turnDegrees;
            CapturedImage& f = *frames[i];
            f.valid = f.analyzed = true;
            f.width = 1024, f.height = 768, f.t1 = setup.t1, f.t2 = setup.t2;
            f.cameraRotation = kyvern::frame::Xyz(turns[i], 0.0, 0.0);
            f.result.balls[0].pix = t.pix0, f.result.balls[1].pix = t.pix1;
            f.result.balls[0].loc = t.ball0, f.result.balls[1].loc = t.ball1;
        }
        kyvern::analysis::LaunchScene scene(kyvern::analysis::kGolfBallDiameter, {});
        ASSERT_TRUE(scene.SolveTwoCameras({frames[1].get(), frames[0].get(), nullptr, nullptr}));
        EXPECT_NEAR(scene.LaunchAngle(), shot.launchAngle, 1e-6) << turnDegrees;
        EXPECT_NEAR(scene.SideAngle(), shot.sideAngle, 1e-6) << turnDegrees;
        EXPECT_NEAR(scene.BallSpeed(), shot.ballSpeed, 1e-6);
    }
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
    auto read = [&] {
        const SimulatorOptions o = kyvern::sim::ReadSimulatorOptions(
            kyvern::base::SettingsSnapshot::Read(home.Settings()));
        return std::tuple(o.cameras, o.width, o.shotPeriod, o.seed);
    };
    EXPECT_EQ(read(), std::tuple(1, 1024, 4.0, std::uint64_t(1)));
    home.Set("Simulator", "Resolution", "640X480");
    home.Set("Simulator", "Seed", "42");
    // At most four cameras; a negative period is the default.
    const struct {
        const char *cameras, *period;
        int cameraCount;
        double shotPeriod;
    } cases[] = {{"9", "0", 4, 0.0}, {"-1", "-5", 0, 4.0}};
    for (const auto& c : cases) {
        home.Set("Simulator", "Cameras", c.cameras);
        home.Set("Simulator", "ShotPeriod", c.period);
        EXPECT_EQ(read(), std::tuple(c.cameraCount, 640, c.shotPeriod, std::uint64_t(42)))
            << c.cameras;
    }
    // The camera effects: none by default, a list as written, and a misspelt one draws none.
    const auto realism = [&] {
        return kyvern::sim::ReadSimulatorOptions(
                   kyvern::base::SettingsSnapshot::Read(home.Settings()))
            .realism;
    };
    EXPECT_EQ(realism(), kyvern::sim::Realism::None());
    home.Set("Simulator", "Realism", "Sensor, dimples");
    kyvern::sim::Realism two;
    two.dimples = two.sensor = true;
    EXPECT_EQ(realism(), two);
    home.Set("Simulator", "Realism", "dimples,glare");
    EXPECT_EQ(realism(), kyvern::sim::Realism::None());
}

TEST(SimulatedCameraAnalysis, TwoCamerasAndALeftHandedPlayer) {
    SimRig rig(OnRequest(2, 1024, 11));
    rig.table.InitCameras();
    ASSERT_EQ(rig.table.CameraCount(), 2);
    kyvern::analysis::AnalysisPipeline pipeline(
        1.685,
        kyvern::analysis::ReadAnalysisOptions(kyvern::base::SettingsSnapshot::Read(rig.settings)));
    kyvern::analysis::LaunchScene scene(
        1.685,
        kyvern::analysis::ReadSceneOptions(kyvern::base::SettingsSnapshot::Read(rig.settings)));
    kyvern::base::TextMessageList messages;
    auto straight = std::make_unique<CapturedImage>();
    auto turned = std::make_unique<CapturedImage>();
    const double interval = kyvern::capture::SpeedModeOfName("Medium")->strobeInterval;
    for (const char* hand : {"Right-handed", "Left-handed"}) {
        kyvern::base::ConfigStore::WriteSetting(rig.settings, "Setup", "Handed", hand);
        // The pass that follows reads the hand for the scene and the cameras.
        const kyvern::analysis::SceneOptions options =
            kyvern::analysis::ReadSceneOptions(kyvern::base::SettingsSnapshot::Read(rig.settings));
        scene.SetOptions(options);
        rig.table.SetLeftHanded(options.leftHanded);
        rig.driver.RequestShot();
        ASSERT_TRUE(TakeFrame(rig, kFirstSimulatedSerial, interval, *straight));
        ASSERT_TRUE(TakeFrame(rig, kFirstSimulatedSerial + 1, interval, *turned));
        const GeneratedShot truth = rig.driver.LastShot();
        SCOPED_TRACE(testing::Message() << hand << " speed " << truth.ballSpeed << " launch "
                                        << truth.launchAngle << " side " << truth.sideAngle);
        for (CapturedImage* f : {straight.get(), turned.get()}) {
            f->analyzed = kyvern::testing::RunAndPrint(pipeline, *f, messages);
            ASSERT_TRUE(f->analyzed) << messages.Lines().back();
            kyvern::analysis::LaunchScene::AlignNormals(*f);
        }
        ASSERT_TRUE(scene.SolveLaunch({straight.get(), turned.get(), nullptr, nullptr}));
        // The player's side: a left-hander's measured side angle is turned over.
        const double sign = std::string(hand) == "Left-handed" ? -1.0 : 1.0;
        EXPECT_NEAR(scene.BallSpeed(), truth.ballSpeed * 0.99, 0.01 * truth.ballSpeed);
        EXPECT_NEAR(scene.LaunchAngle(), truth.launchAngle, 0.5);
        EXPECT_NEAR(scene.SideAngle(), sign * truth.sideAngle, 1.5);
        EXPECT_NEAR(scene.BackSpin(), truth.backSpin, 0.06 * truth.backSpin + 100);
    }
}
