// Remote control through the files another program writes, the automated test and the
// program launcher.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app_fixtures.h"
#include "frame/camera_model.h"
#include "sim/frame_renderer.h"
#include "support/line_clicks.h"

using namespace kyvern::testing;
namespace app = kyvern::app;
namespace fs = std::filesystem;

namespace {

void SetCommand(const MonitorRig& rig, const char* key, const std::string& value) {
    kyvern::base::ConfigStore::WriteSetting(rig.env.File("statusKyvern.ini"), "Command", key,
                                            value);
}

// Saves the frame the simulated camera took last into a saved-image file.
bool SaveShot(MonitorRig& rig, const std::string& path) {
    return rig.ShootAndTake() &&
           fs::copy_file(kyvern::base::LastFramePath(), path, fs::copy_options::overwrite_existing);
}

}  // namespace

TEST(RemoteControl, ADroppedImageIsAnalysedOncePerNewStamp) {
    MonitorRig rig;
    rig.monitor->Start();
    const std::string drop = rig.env.Path() + "/drop.bmp";
    const std::string sample = rig.env.Path() + "/sample.bmp";
    ASSERT_TRUE(SaveShot(rig, sample));
    ASSERT_EQ(rig.monitor->ShotsRecorded(), 1);

    // The capture-file timer runs only while a capture file is set.
    rig.monitor->StartCycleTimers(true);
    EXPECT_FALSE(rig.timers.IsRunning(app::kCaptureFileTimer));
    rig.env.Set("Remote", "CaptureFile", drop);
    rig.monitor->StartCycleTimers(true);
    EXPECT_EQ(rig.timers.Period(app::kCaptureFileTimer), 250);
    EXPECT_EQ(rig.monitor->CapturePath(), drop);
    rig.timers.Fire(app::kCaptureFileTimer);  // nothing there yet
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 1);

    fs::copy_file(sample, drop);
    Touch(drop, 1700000000);
    rig.timers.Fire(app::kCaptureFileTimer);
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 2);
    EXPECT_EQ(rig.monitor->LastStamp(), rig.env.Get("Remote", "CaptureFileModified"));

    // The same stamp again, a copy with the same time included: not analysed again.
    rig.timers.Fire(app::kCaptureFileTimer);
    fs::copy_file(sample, drop, fs::copy_options::overwrite_existing);
    Touch(drop, 1700000000);
    rig.timers.Fire(app::kCaptureFileTimer);
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 2);

    // Suspended: nothing, even with a new stamp; then the new stamp is taken.
    Touch(drop, 1700000100);
    rig.monitor->SetSuspended(true);
    rig.timers.Fire(app::kCaptureFileTimer);
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 2);
    rig.monitor->SetSuspended(false);
    rig.timers.Fire(app::kCaptureFileTimer);
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 3);

    // A file that does not load: its message once, and not tried again for the same stamp.
    Touch(drop, 1700000200, "not a picture");
    rig.timers.Fire(app::kCaptureFileTimer);
    rig.timers.Fire(app::kCaptureFileTimer);
    EXPECT_EQ(rig.prompts.messages.size(), 1u);
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 3);

    rig.monitor->StartCycleTimers(false);
    for (int id : {app::kCameraTimer, app::kCaptureFileTimer, app::kIndicatorTimer})
        EXPECT_FALSE(rig.timers.IsRunning(id)) << id;
}

TEST(RemoteControl, CommandsActAndResetTheirKeys) {
    MonitorRig rig(0);
    rig.monitor->Start();

    SetCommand(rig, "UpdateSettings", "YES");
    SetCommand(rig, "TwoClick", "0, 10, 20, 30");
    rig.timers.Fire(app::kCommandTimer);
    EXPECT_EQ(rig.view.reloads, 1);
    EXPECT_EQ(rig.Status("Command", "UpdateSettings") + "|" + rig.Status("Command", "TwoClick"),
              "No|0, 0, 0, 0");
    EXPECT_EQ(rig.view.closes, 0);

    // A value that cannot be parsed, or without a shot to correct, is reset and ignored.
    for (const char* clicks : {"12, 40", "  12, 40, 50, 60 "}) {
        SetCommand(rig, "TwoClick", clicks);
        rig.timers.Fire(app::kCommandTimer);
        EXPECT_EQ(rig.Status("Command", "TwoClick"), "0, 0, 0, 0") << clicks;
    }

    SetCommand(rig, "Shutdown", "yEs");
    rig.timers.Fire(app::kCommandTimer);
    EXPECT_EQ(rig.view.closes, 1);
    EXPECT_TRUE(rig.monitor->CloseRequested());
    EXPECT_EQ(rig.Status("Command", "Shutdown"), "No");
}

// The TwoClick command's points on a ball's printed circle through the normal.
std::string LineClicks(const kyvern::sim::ShotTruth& truth, const kyvern::frame::Xyz& normal,
                       int width, int height) {
    const auto [a, b] = kyvern::testing::LineClicks(truth.ball0, normal, 1.685, width, height);
    char text[80];
    std::snprintf(text, sizeof text, "%d, %d, %d, %d", a.x, a.y, b.x, b.y);
    return text;
}

TEST(RemoteControl, TwoClickCorrectsTheLineAndRewritesTheShot) {
    MonitorRig rig;
    rig.monitor->Start();
    ASSERT_TRUE(rig.ShootAndTake());
    ASSERT_EQ(rig.monitor->ShotsRecorded(), 1);
    const double measured = rig.monitor->Scene().BackSpin();
    const int rows = rig.monitor->Table().RowCount();

    // Clicks on a line turned 40 degrees from the true one: a very different spin.
    const kyvern::sim::ShotTruth truth = rig.driver->TruthOf(0);
    const kyvern::frame::Xyz n = truth.normal0;
    const double c = std::cos(0.698), s = std::sin(0.698);
    const kyvern::frame::Xyz turned(c * n.x - s * n.y, s * n.x + c * n.y, n.z);
    SetCommand(rig, "TwoClick", LineClicks(truth, turned, 1024, 768));
    rig.timers.Fire(app::kCommandTimer);
    EXPECT_EQ(rig.Status("Command", "TwoClick"), "0, 0, 0, 0");
    const double corrected = rig.monitor->Scene().BackSpin();
    EXPECT_GT(std::fabs(corrected - measured), 500.0) << measured << " -> " << corrected;
    // The current shot is rewritten, not added; the status file carries the new spin.
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 1);
    EXPECT_EQ(rig.monitor->Table().RowCount(), rows);
    char spin[32];
    std::snprintf(spin, sizeof spin, "%.0f", corrected);
    EXPECT_EQ(rig.Status("Ball", "BackSpin"), spin);

    // Clicked back on the true line, the spin returns to what the analysis measured: every
    // number of the command is read in its place.
    SetCommand(rig, "TwoClick", LineClicks(truth, n, 1024, 768));
    rig.timers.Fire(app::kCommandTimer);
    EXPECT_NEAR(rig.monitor->Scene().BackSpin(), measured, 0.05 * measured + 100);
}

TEST(AutomatedTest, RunsAFolderAndWritesOneLinePerImage) {
    MonitorRig rig;
    rig.monitor->Start();
    const std::string folder = rig.env.Path() + "/Images/";
    fs::create_directories(folder);
    ASSERT_TRUE(SaveShot(rig, folder + "a.bmp"));
    ASSERT_TRUE(SaveShot(rig, folder + "b.BMP"));
    WriteFileText(folder + "notes.txt", "x");
    rig.env.Set("RegressionTest", "TimeBetween", "50");
    const long before = rig.monitor->ShotsRecorded();

    rig.monitor->StartTest();
    EXPECT_EQ(rig.timers.Period(app::kTestTimer), 2000);
    rig.timers.Fire(app::kTestTimer);
    EXPECT_EQ(rig.view.titles, std::vector<std::string>{"Automated Test"});
    EXPECT_EQ(rig.timers.Period(app::kTestTimer), 100);  // 50 behaves as 100
    rig.timers.Fire(app::kTestTimer);
    EXPECT_FALSE(rig.monitor->TestRunning());
    EXPECT_FALSE(rig.timers.IsRunning(app::kTestTimer));
    EXPECT_EQ(rig.monitor->ShotsRecorded(), before + 2);

    // A line per image, its name first; the line itself is pinned by the regress command.
    const std::string lines = ReadFileText(kyvern::base::SideSpinTestPath());
    EXPECT_TRUE(lines.rfind("a.bmp, ", 0) == 0 && lines.find("\nb.BMP, ") != std::string::npos);

    // Continuous: after the last image the first again.
    rig.env.Set("RegressionTest", "Continuous", "Yes");
    rig.env.Set("RegressionTest", "TimeBetween", "20000");
    rig.monitor->StartTest();
    rig.timers.Fire(app::kTestTimer);
    rig.timers.Fire(app::kTestTimer);
    EXPECT_TRUE(rig.monitor->TestRunning());
    EXPECT_EQ(rig.timers.Period(app::kTestTimer), 15000);
    rig.timers.Fire(app::kTestTimer);
    const std::string more = ReadFileText(kyvern::base::SideSpinTestPath());
    EXPECT_EQ(std::count(more.begin(), more.end(), '\n'), 5);
    EXPECT_NE(more.find("\na.bmp, ", lines.size()), std::string::npos);
}

TEST(ProgramLauncher, StartsTheProgramWithItsArgumentsInItsFolderWithoutAShell) {
    MonitorRig rig(0);
    EXPECT_EQ(rig.monitor->LaunchProgram(), -1);  // nothing configured
    const std::string out = rig.env.Path() + "/out.txt";
    rig.env.Set("ProgramLauncher", "ExecutablePath", "/bin/sh");
    rig.env.Set("ProgramLauncher", "Arguments", "-c \"pwd > out.txt; echo $0 >> out.txt\" 'x;y'");
    rig.env.Set("ProgramLauncher", "DefaultDir", rig.env.Path());
    const long pid = rig.monitor->LaunchProgram();
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid_t(pid), &status, 0), pid_t(pid));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The arguments went over as words: the quoted one whole, the next one untouched.
    EXPECT_EQ(ReadFileText(out), fs::canonical(rig.env.Path()).string() + "\n'x;y'\n");

    rig.env.Set("ProgramLauncher", "ExecutablePath", rig.env.Path() + "/missing");
    EXPECT_EQ(rig.monitor->LaunchProgram(), -1);
}

TEST(RemoteControl, ShutdownIsActedOnWithinItsPeriodWhateverTheShots) {
    MonitorRig rig;
    rig.monitor->Start();
    SetCommand(rig, "Shutdown", "Yes");
    // A shot every 500 ms, each pass stopping and starting the cycle's timers.
    for (int elapsed = 0; elapsed < 2000; elapsed += 500) {
        ASSERT_TRUE(rig.Shoot());
        rig.timers.Advance(500);
    }
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 4);
    EXPECT_EQ(rig.view.closes, 1);
}
