// The parts of the shot cycle: timers, modes, the history ring, the flash-interval rule, the
// shot computation's stops. The timer loop itself runs under the command-line tests.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "app/overlay_drawing.h"
#include "app_fixtures.h"
#include "base/config_store.h"
#include "base/program_folder.h"
#include "capture/image_file.h"

using kyvern::base::ConfigStore;
using kyvern::testing::MonitorRig;
using kyvern::testing::TempDir;
namespace app = kyvern::app;

namespace {

void Touch(const std::string& path, long seconds) {
    kyvern::testing::WriteFileText(path, "x");
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

std::unique_ptr<kyvern::analysis::CapturedImage> GrayFrame(double t1, double t2) {
    auto frame = std::make_unique<kyvern::analysis::CapturedImage>();
    frame->width = 640;
    frame->height = 480;
    frame->bytesPerPixel = 1;
    frame->valid = true;
    frame->serialNumber = 77;
    frame->t1 = t1;
    frame->t2 = t2;
    std::fill_n(frame->Pixels(), 640 * 480, std::uint8_t(90));
    return frame;
}

}  // namespace

TEST(ShotCycle, CycleTimersFollowTheCaptureFileSetting) {
    MonitorRig rig(0);
    rig.monitor->StartCycleTimers(true);
    EXPECT_TRUE(rig.timers.IsRunning(app::kCameraTimer));
    EXPECT_FALSE(rig.timers.IsRunning(app::kCaptureFileTimer));
    rig.env.Set("Remote", "CaptureFile", rig.env.Path() + "/drop.bmp");
    rig.env.Set("Remote", "CaptureFileModified", "01/02/26 10:00:00");
    rig.monitor->StartCycleTimers(true);
    EXPECT_EQ(rig.timers.Period(app::kCaptureFileTimer), 250);
    EXPECT_EQ(rig.monitor->CapturePath(), rig.env.Path() + "/drop.bmp");
    EXPECT_EQ(rig.monitor->LastStamp(), "01/02/26 10:00:00");
    rig.monitor->StartCycleTimers(false);
    for (int id :
         {app::kCameraTimer, app::kCaptureFileTimer, app::kCommandTimer, app::kIndicatorTimer})
        EXPECT_FALSE(rig.timers.IsRunning(id)) << id;
}

TEST(ShotCycle, HistoryRingFillsGapsThenOverwritesTheOldest) {
    kyvern::testing::TempHome env;
    std::filesystem::create_directories(kyvern::base::HistoryFolder());
    EXPECT_EQ(app::LaunchMonitor::ChooseHistoryNumber(3), 0);
    Touch(kyvern::base::HistoryFramePath(0), 3000);
    Touch(kyvern::base::HistoryFramePath(1), 1000);
    Touch(kyvern::base::HistoryFramePath(2), 2000);
    EXPECT_EQ(app::LaunchMonitor::ChooseHistoryNumber(3), 1);
    // Equal times: the lowest number.
    Touch(kyvern::base::HistoryFramePath(0), 1000);
    EXPECT_EQ(app::LaunchMonitor::ChooseHistoryNumber(3), 0);
    std::filesystem::remove(kyvern::base::HistoryFramePath(1));
    EXPECT_EQ(app::LaunchMonitor::ChooseHistoryNumber(3), 1);
    EXPECT_EQ(app::LaunchMonitor::ChooseHistoryNumber(0), 0);

    // The size setting: 50 when unset or outside 0 to 10000.
    const std::pair<const char*, int> sizes[] = {
        {nullptr, 50}, {"20000", 50}, {"-1", 50}, {"10000", 10000}, {"0", 0}};
    for (const auto& [word, size] : sizes) {
        if (word) env.Set("Setup", "ImageHistorySize", word);
        EXPECT_EQ(app::LaunchMonitor::HistorySize(), size) << (word ? word : "unset");
    }
}

TEST(ShotCycle, FlashIntervalRuleOnOpenedFrames) {
    kyvern::testing::TempHome env;
    kyvern::testing::RecordingPrompts prompts;
    kyvern::capture::ImageFile file(prompts, env.Settings());
    auto frame = std::make_unique<kyvern::analysis::CapturedImage>();
    const double strobe = 0.00145;
    struct Case {
        double t1, t2;
        bool kept;
    };
    for (Case c : {Case{0.001, 0.005, true}, Case{0.001, 0.006, false}, Case{0.002, 0.002, false},
                   Case{0.003, 0.001, false}, Case{0.0, 0.004, true}}) {
        file.Clear();
        file.SetImage(0, *GrayFrame(c.t1, c.t2));
        app::LaunchMonitor::TakeSlot(file, 0, *frame, strobe);
        EXPECT_TRUE(frame->valid);
        if (c.kept) {
            EXPECT_DOUBLE_EQ(frame->t1, c.t1) << c.t2 - c.t1;
            EXPECT_DOUBLE_EQ(frame->t2, c.t2);
        } else {
            EXPECT_DOUBLE_EQ(frame->t1, 0.001) << c.t2 - c.t1;
            EXPECT_DOUBLE_EQ(frame->t2, strobe + 0.001);
        }
    }
    // An empty slot stays invalid.
    app::LaunchMonitor::TakeSlot(file, 2, *frame, strobe);
    EXPECT_FALSE(frame->valid);
}

TEST(ShotCycle, SingleCamTakesOnlyTheSelectedCameraAndFocusModeRecordsNothing) {
    MonitorRig rig(2);
    rig.monitor->Start();
    // An unknown serial falls back to 0 and is written back.
    rig.env.Set("Camera", "Selected", "12345");
    ASSERT_TRUE(rig.Shoot());
    ASSERT_TRUE(kyvern::testing::Eventually(
        [&] { return rig.table->HasNewFrame(kyvern::sim::kFirstSimulatedSerial + 1); }));
    rig.timers.Fire(app::kCameraTimer);
    EXPECT_EQ(rig.monitor->SelectedCamera(), 0);
    EXPECT_EQ(ConfigStore::ReadSetting(rig.env.Settings(), "Camera", "Selected", "", 20), "0");
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 1);
    EXPECT_TRUE(rig.monitor->Frame(0).valid);
    EXPECT_FALSE(rig.monitor->Frame(1).valid);
    kyvern::testing::RecordingPrompts filePrompts;
    kyvern::capture::ImageFile last(filePrompts, rig.env.Settings());
    ASSERT_TRUE(last.Load(kyvern::base::LastFramePath()));
    EXPECT_FALSE(last.Slot(1).valid);

    rig.env.Set("Camera", "Mode", "camfocus");
    std::filesystem::remove_all(kyvern::base::HistoryFolder());
    ASSERT_TRUE(rig.Shoot());
    rig.timers.Fire(app::kCameraTimer);
    EXPECT_EQ(rig.monitor->Mode(), app::CameraMode::kCamFocus);
    ASSERT_EQ(rig.view.focusTexts.size(), 1u);
    EXPECT_EQ(rig.view.focusTexts[0], "Focus Mode - see Advanced Settings");
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 1);
    EXPECT_FALSE(std::filesystem::exists(kyvern::base::HistoryFramePath(0)));
    EXPECT_TRUE(rig.timers.IsRunning(app::kCameraTimer));

    rig.env.Set("Camera", "Mode", "MultiCam");
    rig.timers.Fire(app::kCameraTimer);
    EXPECT_EQ(rig.monitor->SelectedCamera(), -1);
}

TEST(ShotComputation, BadClubSettingStopsTheShotAndARecomputedShotReplacesItsRow) {
    MonitorRig rig;
    rig.monitor->Start();
    rig.env.Set("Setup", "ClubLoft", "80");
    ASSERT_TRUE(rig.Shoot());
    rig.timers.Fire(app::kCameraTimer);
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 0);
    ASSERT_FALSE(rig.prompts.messages.empty());
    EXPECT_EQ(rig.prompts.messages.back(), "Invalid ClubLoft in Kyvern.ini");
    EXPECT_EQ(ConfigStore::ReadSetting(rig.env.File("statusKyvern.ini"), "Status", "Lock", "", 20),
              "Locked");
    EXPECT_EQ(rig.monitor->Table().RowCount(), 1);
    EXPECT_TRUE(rig.timers.IsRunning(app::kCameraTimer));

    // A shot computed again replaces its row and says "Update".
    rig.env.Set("Setup", "ClubLoft", "10");
    rig.prompts.messages.clear();
    ASSERT_TRUE(rig.Shoot());
    rig.timers.Fire(app::kCameraTimer);
    ASSERT_EQ(rig.monitor->ShotsRecorded(), 1);
    EXPECT_EQ(rig.monitor->Table().RowCount(), 3);
    rig.monitor->ComputeShot(false);
    EXPECT_EQ(rig.monitor->Table().RowCount(), 3);
    EXPECT_EQ(
        ConfigStore::ReadSetting(rig.env.File("statusKyvern.ini"), "Status", "Analysis", "", 20),
        "Update");
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 1);
    EXPECT_FALSE(rig.view.newShots.back());
}

TEST(Overlay, DrawsTheSwitchedOnOverlaysIntoAColourFrame) {
    auto frame = GrayFrame(0.001, 0.002);
    frame->At(10, 10) = 200;
    frame->result.meanLevel = 100;
    frame->result.balls[0].pix = {300.0, 200.0, 100.0};
    frame->result.balls[0].planeNormal = {1.0, 0.0, 0.0};
    frame->result.balls[0].markCount = 1;
    frame->result.balls[0].marks[0].pixelX = 310;
    frame->result.balls[0].marks[0].pixelY = 190;
    app::OverlaySwitches none;
    auto copy = std::make_unique<kyvern::analysis::CapturedImage>();
    copy->CopyFrom(*frame);
    ASSERT_TRUE(app::DrawOverlays(*copy, none));
    EXPECT_EQ(copy->bytesPerPixel, 3);
    const auto px = [&](int row, int column, int c) {
        return copy->Pixels()[(std::size_t(row) * 640 + column) * 3 + c];
    };
    EXPECT_EQ(px(10, 10, 0), 200);
    EXPECT_EQ(px(10, 10, 2), 200);
    EXPECT_EQ(px(64, 5, 1), 90);
    EXPECT_FALSE(app::DrawOverlays(*copy, none));  // already colour

    app::OverlaySwitches all{true, true, true, true};
    copy->CopyFrom(*frame);
    ASSERT_TRUE(app::DrawOverlays(*copy, all));
    EXPECT_EQ(px(10, 10, 0), 255);  // mono: above the mean
    EXPECT_EQ(px(11, 11, 0), 0);
    EXPECT_EQ(px(64, 5, 1), app::kGridColour.green);
    EXPECT_EQ(px(190, 310, 2), app::kMarkColour.red);
    // The plane's trace: vertical through the centre for a normal along x.
    EXPECT_EQ(px(170, 300, 0), app::kPlaneColour.blue);
    EXPECT_EQ(px(170, 300, 1), app::kPlaneColour.green);

    // Only "On" switches an overlay on.
    TempDir home;
    ConfigStore::WriteSetting(home.File("Kyvern.ini"), "ImageDisplay", "Marks", "on");
    ConfigStore::WriteSetting(home.File("Kyvern.ini"), "ImageDisplay", "Grid", "yes");
    const app::OverlaySwitches read = app::ReadOverlaySwitches(home.File("Kyvern.ini"));
    EXPECT_TRUE(read.marks && !read.grid && !read.planes && !read.mono);
}
