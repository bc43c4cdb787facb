// The parts of the shot cycle: timers, modes, the history ring, the flash-interval rule, the
// shot computation's stops, the publishers' order. The timer loop itself runs under the
// command-line tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "app/overlay_drawing.h"
#include "app_fixtures.h"
#include "data/sample_shots.h"
#include "support/recording_log.h"

using namespace kyvern::testing;
namespace app = kyvern::app;
namespace base = kyvern::base;

TEST(ShotCycle, HistoryRingFillsGapsThenOverwritesTheOldest) {
    TempHome env;
    std::filesystem::create_directories(base::HistoryFolder());
    EXPECT_EQ(app::LaunchMonitor::ChooseHistoryNumber(3), 0);
    const long times[] = {3000, 1000, 2000};
    for (int n = 0; n < 3; ++n)
        Touch(base::HistoryFramePath(n), times[n], "x");
    EXPECT_EQ(app::LaunchMonitor::ChooseHistoryNumber(3), 1);
    // Equal times: the lowest number.
    Touch(base::HistoryFramePath(0), 1000);
    EXPECT_EQ(app::LaunchMonitor::ChooseHistoryNumber(3), 0);
    std::filesystem::remove(base::HistoryFramePath(1));
    EXPECT_EQ(app::LaunchMonitor::ChooseHistoryNumber(3), 1);
    EXPECT_EQ(app::LaunchMonitor::ChooseHistoryNumber(0), 0);

    // The size setting: 50 when unset or outside 0 to 10000.
    const std::pair<const char*, int> sizes[] = {
        {nullptr, 50}, {"10001", 50}, {"-1", 50}, {"10000", 10000}, {"0", 0}};
    for (const auto& [word, size] : sizes) {
        if (word) env.Set("Setup", "ImageHistorySize", word);
        EXPECT_EQ(app::LaunchMonitor::HistorySize(kyvern::base::SettingsSnapshot::Read()), size)
            << (word ? word : "unset");
    }
}

TEST(ShotCycle, FlashIntervalRuleOnOpenedFrames) {
    TempHome env;
    kyvern::capture::ImageFile file(env.Settings());
    auto frame = std::make_unique<kyvern::frame::CapturedImage>();
    const double strobe = 0.00145;
    // An interval up to the putting strobe's 70 ms is kept; a longer, empty or reversed one
    // becomes the strobe's.
    const struct {
        double t1, t2;
        bool kept;
    } cases[] = {{0.001, 0.005, true},
                 {0.001, 0.071, true},
                 {0.001, 0.0715, false},
                 {0.002, 0.002, false},
                 {0.003, 0.001, false}};
    for (const auto& c : cases) {
        file.Clear();
        file.SetImage(0, *GrayFrame(c.t1, c.t2));
        app::LaunchMonitor::TakeSlot(file, 0, *frame, strobe);
        EXPECT_TRUE(frame->valid);
        EXPECT_DOUBLE_EQ(frame->t1, c.kept ? c.t1 : 0.001) << c.t2 - c.t1;
        EXPECT_DOUBLE_EQ(frame->t2, c.kept ? c.t2 : strobe + 0.001) << c.t2 - c.t1;
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
    ASSERT_TRUE(
        Eventually([&] { return rig.table->HasNewFrame(kyvern::sim::kFirstSimulatedSerial + 1); }));
    rig.timers.Fire(app::kCameraTimer);
    EXPECT_EQ(rig.monitor->SelectedCamera(), 0);
    EXPECT_EQ(rig.env.Get("Camera", "Selected"), "0");
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 1);
    EXPECT_TRUE(rig.monitor->Frame(0).valid);
    EXPECT_FALSE(rig.monitor->Frame(1).valid);
    kyvern::capture::ImageFile last(rig.env.Settings());
    ASSERT_TRUE(last.Load(base::LastFramePath()));
    EXPECT_FALSE(last.Slot(1).valid);

    rig.env.Set("Camera", "Mode", "camfocus");
    std::filesystem::remove_all(base::HistoryFolder());
    // Every focus frame is a pass: a bad value is told at the first and again only once it
    // changes, not with every frame.
    rig.env.Set("ImageDisplay", "Grid", "yes");
    const auto told = [&] {
        return std::count_if(rig.messages.Lines().begin(), rig.messages.Lines().end(),
                             [](const std::string& l) { return l.rfind("ImageDisplay/", 0) == 0; });
    };
    ASSERT_TRUE(rig.ShootAndTake());
    ASSERT_TRUE(rig.ShootAndTake());
    EXPECT_EQ(told(), 1);
    rig.env.Set("ImageDisplay", "Grid", "no");
    ASSERT_TRUE(rig.ShootAndTake());
    EXPECT_EQ(told(), 2);
    rig.env.Set("ImageDisplay", "Grid", "Off");
    EXPECT_EQ(rig.monitor->Mode(), app::CameraMode::kCamFocus);
    ASSERT_EQ(rig.view.focusTexts.size(), 3u);
    EXPECT_EQ(rig.view.focusTexts[0], "Focus Mode - see Advanced Settings");
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 1);
    EXPECT_FALSE(std::filesystem::exists(base::HistoryFramePath(0)));
    EXPECT_TRUE(rig.timers.IsRunning(app::kCameraTimer));

    rig.env.Set("Camera", "Mode", "MultiCam");
    rig.timers.Fire(app::kCameraTimer);
    EXPECT_EQ(rig.monitor->SelectedCamera(), -1);
}

// The club values are computed more than once per shot: each bad setting is still told once.
TEST(ShotComputation, BadClubSettingsStopTheShotOnceToldAndARecomputedShotReplacesItsRow) {
    MonitorRig rig;
    rig.monitor->Start();
    for (auto [key, value] : {std::pair{"ClubMass", "99"}, {"ClubLoft", "80"}}) {
        rig.env.Set("Setup", "ClubMass", "200.0");
        rig.env.Set("Setup", key, value);
        rig.prompts.messages.clear();
        ASSERT_TRUE(rig.ShootAndTake());
        EXPECT_EQ(rig.prompts.messages,
                  std::vector<std::string>{std::string("Invalid ") + key + " in Kyvern.ini"});
    }
    EXPECT_EQ(rig.Status("Status", "Lock"), "Locked");
    EXPECT_EQ(rig.monitor->Table().RowCount(), 1);
    EXPECT_TRUE(rig.timers.IsRunning(app::kCameraTimer));

    // A shot computed again replaces its row and says "Update".
    rig.env.Set("Setup", "ClubLoft", "10");
    ASSERT_TRUE(rig.ShootAndTake());
    rig.monitor->ComputeShot(false);
    EXPECT_EQ(rig.monitor->Table().RowCount(), 3);
    EXPECT_EQ(rig.Status("Status", "Analysis"), "Update");
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 1);
    EXPECT_FALSE(rig.view.newShots.back());
}

TEST(Overlay, DrawsTheSwitchedOnOverlaysIntoAColourFrame) {
    auto frame = GrayFrame(0.001, 0.002);
    frame->At(10, 10) = 200;
    frame->result.meanLevel = 100;
    auto& ball = frame->result.balls[0];
    ball.pix = {300.0, 200.0, 100.0}, ball.planeNormal = {1.0, 0.0, 0.0}, ball.markCount = 1;
    ball.marks[0].pixelX = 310, ball.marks[0].pixelY = 190;
    app::OverlaySwitches none;
    auto copy = GrayFrame(0, 0);
    copy->CopyFrom(*frame);
    ASSERT_TRUE(app::DrawOverlays(*copy, none));
    EXPECT_EQ(copy->bytesPerPixel, 3);
    const auto px = [&](int row, int column, int c) {
        return copy->Pixels()[(std::size_t(row) * 640 + column) * 3 + c];
    };
    EXPECT_EQ(px(10, 10, 0) + px(10, 10, 2) + px(64, 5, 1), 200 + 200 + 90);
    EXPECT_FALSE(app::DrawOverlays(*copy, none));  // already colour

    app::OverlaySwitches all{true, true, true, true};
    copy->CopyFrom(*frame);
    ASSERT_TRUE(app::DrawOverlays(*copy, all));
    EXPECT_EQ(px(10, 10, 0) - px(11, 11, 0), 255);  // mono: above the mean and below
    EXPECT_EQ(px(64, 5, 1), app::kGridColour.green);
    EXPECT_EQ(px(190, 310, 2), app::kMarkColour.red);
    // The plane's trace: vertical through the centre for a normal along x.
    EXPECT_TRUE(px(170, 300, 0) == app::kPlaneColour.blue &&
                px(170, 300, 1) == app::kPlaneColour.green);

    // Only "On" switches an overlay on.
    TempHome home;
    home.Set("ImageDisplay", "Marks", "on");
    home.Set("ImageDisplay", "Grid", "yes");
    const app::PassOptions pass =
        app::ReadPassOptions(kyvern::base::SettingsSnapshot::Read(home.Settings()));
    const app::OverlaySwitches& read = pass.overlays;
    EXPECT_TRUE(read.marks && !read.grid && !read.planes && !read.mono);
    // The word that is neither is the pass's one problem, told with what was taken instead.
    ASSERT_EQ(pass.problems.size(), 1u);
    const std::string told =
        "ImageDisplay/Grid is \"yes\", not one of On, Off: Off is used instead.";
    EXPECT_EQ(kyvern::base::DescribeProblem(pass.problems[0]), told);
    // Told in the message list for the window and in the log for a run without one.
    RecordingLog log;
    kyvern::base::TextMessageList list;
    app::ReportProblems(pass, list);
    EXPECT_EQ(list.Lines(), std::vector<std::string>{told});
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"settings warning: " + told});
}

TEST(ShotCycle, AStatusFileThatCannotBeWrittenIsToldOnceARunAndTheShotsGoOn) {
    MonitorRig rig;
    rig.monitor->Start();
    const std::string status = rig.env.File("statusKyvern.ini");
    auto blockStatus = [&] {  // a folder where the file belongs: every write fails
        std::filesystem::remove(status);
        std::filesystem::create_directory(status);
    };
    const std::string told = "Couldn't write the status file (" + status + ": not a regular file)";
    auto timesTold = [&] {
        const auto& lines = rig.messages.Lines();
        return std::count(lines.begin(), lines.end(), told);
    };
    blockStatus();
    ASSERT_TRUE(rig.ShootAndTake());
    ASSERT_TRUE(rig.ShootAndTake());
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 2);
    EXPECT_EQ(timesTold(), 1);
    std::filesystem::remove(status);
    ASSERT_TRUE(rig.ShootAndTake());
    EXPECT_EQ(rig.Status("Status", "Analysis"), "Success");
    blockStatus();
    ASSERT_TRUE(rig.ShootAndTake());
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 4);
    EXPECT_EQ(timesTold(), 2);
}

// The order in which each stage of a shot reaches its publishers: other programs rely on the
// status file being locked before a new frame is announced, written before a shot is, and
// unlocked only after a failure is.
namespace {

// Each stage adds the publisher's name to the log.
struct Recorder final : app::ShotPublisher {
    Recorder(std::string n, std::string& l) : name(std::move(n)), log(l) {}
    void ShotBegun(app::ShotOrigin) override { log += name + " "; }
    void ShotFinished(const app::PublishedShot&) override { log += name + " "; }
    void ShotFailed(const app::FailedShot&) override { log += name + " "; }
    void Stop(bool) override { log += name + " "; }
    std::string name;
    std::string& log;
};

}  // namespace

TEST(ShotPublishers, EachStageReachesThePublishersInItsOrder) {
    TempHome env;
    RecordingPrompts prompts;
    std::string log;
    app::ShotPublishers publishers(std::make_unique<Recorder>("status", log));
    for (const char* name : {"table", "video", "serial", "notify", "router", "added"})
        publishers.Add(std::make_unique<Recorder>(name, log));

    const kyvern::shot::ShotRecord shot;
    const kyvern::links::ClubSensor sensor(prompts);
    const kyvern::flight::FlightModel flight;
    const app::PassOptions pass;
    const app::PublishedShot finished{shot, sensor, flight, flight, 0.0, 0.0, {}, true, pass};
    // Each stage in turn, "|" between them.
    publishers.ShotBegun(app::ShotOrigin::kCamera);
    log += "| ";
    publishers.ShotFinished(finished);
    log += "| ";
    publishers.ShotFailed({"Item", 1});
    log += "| ";
    publishers.Stop(true);
    EXPECT_EQ(log,
              "status table video serial notify router added | "
              "status table video serial notify router added | "
              "table video serial notify router added status | "
              "status table video serial notify router added ");
}

TEST(LaunchMonitor, SessionCommandsAskFirstAndShowWhyAFileFailed) {
    for (bool ok : {false, true}) {
        MonitorRig rig;
        rig.monitor->Start();
        rig.prompts.SetAnswer(ok);
        kyvern::data::ShotTable& table = rig.monitor->Table();
        rig.monitor->NewSession();  // empty: nothing asked
        for (const char* item : {"Driver", "Wedge"})
            table.AddShot(Drive(item), false, true);
        table.Select(2, true);
        rig.monitor->DeleteSelectedShots();
        rig.monitor->NewSession();
        EXPECT_EQ(
            rig.prompts.questions,
            (std::vector<std::string>{"Are you sure you want to delete the selected records?",
                                      "Are you sure you want to delete the current session?"}));
        EXPECT_EQ(table.RowCount(), ok ? 1 : 5);  // a cancelled question changes nothing
        table.ClearUnsaved();                     // as a save does
        rig.monitor->NewSession();
        EXPECT_EQ(std::tuple(rig.prompts.questions.size(), table.RowCount(), table.CurrentRow()),
                  std::tuple(2u, 1, -1));
        EXPECT_FALSE(table.DeleteLastShotEnabled() || table.Unsaved());
    }

    // The data layer returns the failure; the front door shows it once.
    MonitorRig rig;
    rig.monitor->Start();
    kyvern::data::LoadReport report;
    const std::string missing = rig.env.Path() + "/missing.txt";
    EXPECT_FALSE(rig.monitor->SaveSession(rig.env.Path() + "/no/such/folder.txt"));
    EXPECT_FALSE(rig.monitor->LoadSession(missing, report));
    EXPECT_EQ(rig.prompts.messages,
              (std::vector<std::string>{"Couldn't create the data file",
                                        "Can't open file (" + missing + ": no such file)"}));
}
