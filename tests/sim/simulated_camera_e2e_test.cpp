// The simulated camera through the camera table and the whole analysis: what it rendered is
// what the system measures, in every speed mode, from one camera and from two.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>

#include "analysis/analysis_pipeline.h"
#include "analysis/camera_model.h"
#include "analysis/launch_scene.h"
#include "base/config_store.h"
#include "base/message_list.h"
#include "capture/camera_table.h"
#include "sim/simulated_driver.h"
#include "support/eventually.h"
#include "support/recording_prompts.h"
#include "support/temp_home.h"

using namespace kyvern;
using analysis::CapturedImage;

namespace {

struct Rig {
    explicit Rig(int cameras, int width) : driver(Options(cameras, width), settings) {
        table.SetGrabPause(std::chrono::microseconds(0));
    }
    ~Rig() { table.Shutdown(); }
    static sim::SimulatorOptions Options(int cameras, int width) {
        sim::SimulatorOptions o;
        o.cameras = cameras;
        o.width = width;
        o.shotPeriod = 0.0;
        o.seed = 11;
        return o;
    }
    kyvern::testing::TempHome home;
    std::string settings = home.Settings();
    sim::SimulatedCameraDriver driver;
    kyvern::testing::RecordingPrompts prompts;
    capture::CameraTable table{driver, prompts, settings};
};

bool AwaitFrame(const capture::CameraTable& table, std::uint32_t serial) {
    return kyvern::testing::Eventually([&] { return table.HasNewFrame(serial); });
}

// Takes a camera's frame into a slot with its capture facts, as the shot cycle does.
bool TakeFrame(Rig& rig, std::uint32_t serial, double interval, CapturedImage& frame) {
    if (!AwaitFrame(rig.table, serial)) return false;
    frame.Reset();
    if (!rig.table.TakeFrame(serial, frame)) return false;
    frame.serialNumber = std::int32_t(serial);
    frame.cameraPosition = analysis::ReadCameraPosition(serial, rig.settings);
    frame.cameraRotation = analysis::ReadCameraRotation(serial, rig.settings);
    frame.t1 = 0.001;
    frame.t2 = 0.001 + interval;
    frame.valid = true;
    return true;
}

}  // namespace

TEST(SimulatedCameraAnalysis, MeasuresWhatItRenderedInEverySpeedMode) {
    for (int width : {1024, 640}) {
        Rig rig(1, width);
        rig.table.InitCameras();
        ASSERT_EQ(rig.table.CameraCount(), 1);
        analysis::AnalysisPipeline pipeline(1.685, rig.settings);
        analysis::LaunchScene scene(1.685, rig.settings);
        base::TextMessageList messages;
        auto frame = std::make_unique<CapturedImage>();
        int spinChecked = 0;
        for (const char* speed : {"Fast", "Medium", "Slow", "SuperSlow"}) {
            for (int shot = 0; shot < 2; ++shot) {
                base::ConfigStore::WriteSetting(rig.settings, "Camera", "Speed", speed);
                ASSERT_TRUE(rig.table.ApplySpeedAndBrightness());
                const double interval = capture::SpeedModeOfName(speed)->strobeInterval;
                rig.driver.RequestShot();
                ASSERT_TRUE(TakeFrame(rig, sim::kFirstSimulatedSerial, interval, *frame));
                const sim::GeneratedShot truth = rig.driver.LastShot();
                SCOPED_TRACE(::testing::Message()
                             << width << " " << speed << " club " << truth.club << " speed "
                             << truth.ballSpeed << " launch " << truth.launchAngle << " side "
                             << truth.sideAngle << " back " << truth.backSpin);
                frame->analyzed = pipeline.RunAnalysis(*frame, messages);
                ASSERT_TRUE(frame->analyzed) << messages.Lines().back();
                analysis::LaunchScene::AlignNormals(*frame);
                ASSERT_TRUE(scene.SolveLaunch({frame.get(), nullptr, nullptr, nullptr}))
                    << "error " << scene.ErrorCode();
                EXPECT_NEAR(scene.BallSpeed(), truth.ballSpeed, 0.045 * truth.ballSpeed);
                EXPECT_NEAR(scene.LaunchAngle(), truth.launchAngle, 0.3);
                EXPECT_NEAR(scene.SideAngle(), truth.sideAngle, 1.0);
                if (rig.driver.TruthOf(0).turn < 150.0) {
                    ++spinChecked;
                    EXPECT_NEAR(scene.BackSpin(), truth.backSpin, 0.06 * truth.backSpin + 100);
                    EXPECT_NEAR(scene.SideSpin(), truth.sideSpin, 1200.0);
                }
            }
        }
        EXPECT_GE(spinChecked, 6);
    }
}

TEST(SimulatedCameraAnalysis, TwoCamerasAndALeftHandedPlayer) {
    Rig rig(2, 1024);
    rig.table.InitCameras();
    ASSERT_EQ(rig.table.CameraCount(), 2);
    analysis::AnalysisPipeline pipeline(1.685, rig.settings);
    analysis::LaunchScene scene(1.685, rig.settings);
    base::TextMessageList messages;
    auto straight = std::make_unique<CapturedImage>();
    auto turned = std::make_unique<CapturedImage>();
    const double interval = capture::SpeedModeOfName("Medium")->strobeInterval;
    for (const char* hand : {"Right-handed", "Left-handed"}) {
        base::ConfigStore::WriteSetting(rig.settings, "Setup", "Handed", hand);
        rig.driver.RequestShot();
        ASSERT_TRUE(TakeFrame(rig, sim::kFirstSimulatedSerial, interval, *straight));
        ASSERT_TRUE(TakeFrame(rig, sim::kFirstSimulatedSerial + 1, interval, *turned));
        const sim::GeneratedShot truth = rig.driver.LastShot();
        SCOPED_TRACE(::testing::Message() << hand << " speed " << truth.ballSpeed << " launch "
                                          << truth.launchAngle << " side " << truth.sideAngle);
        for (CapturedImage* f : {straight.get(), turned.get()}) {
            f->analyzed = pipeline.RunAnalysis(*f, messages);
            ASSERT_TRUE(f->analyzed) << messages.Lines().back();
            analysis::LaunchScene::AlignNormals(*f);
        }
        ASSERT_TRUE(scene.SolveLaunch({straight.get(), turned.get(), nullptr, nullptr}));
        // The player's side: a left-hander's measured side angle is turned over.
        const double sign = std::string(hand) == "Left-handed" ? -1.0 : 1.0;
        EXPECT_NEAR(scene.BallSpeed(), truth.ballSpeed, 0.045 * truth.ballSpeed);
        EXPECT_NEAR(scene.LaunchAngle(), truth.launchAngle, 0.5);
        EXPECT_NEAR(scene.SideAngle(), sign * truth.sideAngle, 1.5);
        EXPECT_NEAR(scene.BackSpin(), truth.backSpin, 0.06 * truth.backSpin + 100);
    }
}
