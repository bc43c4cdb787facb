#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <string>

#include "base/config_store.h"
#include "cli_runner.h"
#include "support/eventually.h"

using namespace kyvern::testing;

namespace {

long Lines(const std::string& text) { return Count(text, "\n"); }

std::string Status(const TempHome& h, const char* key) {
    return kyvern::base::ConfigStore::ReadSetting(h.File("statusKyvern.ini"), "Status", key, "",
                                                  300);
}

}  // namespace

TEST(RunCli, SimulatedShotsOneLineEachThenStops) {
    TempHome h;
    h.Set("Simulator", "ShotPeriod", "0.05");
    h.Set("Setup", "SpeedDisplay", "MPH");
    auto r = RunCli({"run", "--simulate", "--shots", "2"}, h.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(Lines(r.out), 2) << r.out;
    EXPECT_TRUE(Contains(r.out, " MPH ") && Contains(r.out, " carry ")) << r.out;
    EXPECT_EQ(Status(h, "Lock") + " " + Status(h, "Analysis"), "Unlocked Success");
    EXPECT_TRUE(std::filesystem::exists(h.File("History/pic1.bmp")));
}

TEST(RunCli, DemoPrintsTheTableAndSavesTheSessionInTheTemporaryFolder) {
    TempDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.Path());
    TempHome h;
    auto r = RunCli({"demo"}, h.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string marker = "Session saved to " + tmp.Path();
    const std::size_t at = r.out.find(marker);
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string path = r.out.substr(at + 17, r.out.find('\n', at) - at - 17);
    const std::string session = ReadFileText(path);
    // The header row, the item's group row and five shots.
    EXPECT_EQ(Lines(session.substr(session.find("User, Session"))), 6) << session;
    EXPECT_TRUE(Contains(r.out, "Item"));
}

TEST(RunCli, RegressPrintsAndWritesOneResultLinePerImage) {
    TempHome h;
    std::filesystem::create_directories(h.File("images"));
    for (const char* name : {"one.bmp", "two.bmp"}) {
        ASSERT_EQ(RunCli(Render(h.File("images/") + name, {"--speed", "150"}), h.Path()).exitCode,
                  0);
    }
    auto r = RunCli({"regress", h.File("images")}, h.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Lines(r.out), 2) << r.out;
    EXPECT_TRUE(r.out.rfind("one.bmp, ", 0) == 0 && Contains(r.out, "\ntwo.bmp, ")) << r.out;
    EXPECT_EQ(ReadFileText(h.File("SideSpinTest.txt")), r.out);
    EXPECT_EQ(RunCli({"regress", h.File("none")}, h.Path()).exitCode, 1);
}

TEST(RunCli, CountedShotsWithoutCameraOrWatchedFileEndAtOnce) {
    TempHome h;
    h.Set("Camera", "Driver", "NoSuchBackEnd");
    auto r = RunCli({"run", "--shots", "1"}, h.Path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "CaptureFile")) << r.err;
}

TEST(RunCli, SecondRunEndsAtOnceUnlessAllowedThenRunsAsSecondInstanceAndTermEndsTheFirst) {
    TempHome h;
    h.Set("Simulator", "ShotPeriod", "0.05");
    const pid_t first = StartCli({"run", "--simulate"}, h.Path(), "/dev/null", "/dev/null");
    ASSERT_GT(first, 0);
    EXPECT_TRUE(Eventually([&] { return !Status(h, "Executable").empty(); }));
    const auto refused = RunCli({"run", "--simulate", "--shots", "1"}, h.Path());
    const auto refusedTest = RunCli({"regress", h.Path()}, h.Path());
    h.Set("Setup", "AllowMultipleInstances", "YES");
    const auto allowed = RunCli({"run", "--simulate", "--shots", "1"}, h.Path());
    ASSERT_EQ(::kill(first, SIGTERM), 0);
    int code = 0;
    ASSERT_EQ(::waitpid(first, &code, 0), first);
    EXPECT_TRUE(WIFEXITED(code) && WEXITSTATUS(code) == 0) << code;  // a clean end on SIGTERM
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.empty()) << refused.out;
    EXPECT_EQ(Lines(refused.err), 1) << refused.err;
    EXPECT_EQ(refusedTest.exitCode, 1);
    EXPECT_EQ(refusedTest.err, refused.err);
    EXPECT_EQ(allowed.exitCode, 0) << allowed.err;
    EXPECT_EQ(Lines(allowed.out), 1) << allowed.out;
}
