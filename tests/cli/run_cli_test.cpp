#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/config_store.h"
#include "cli_runner.h"
#include "support/eventually.h"

using kyvern::base::ConfigStore;
using kyvern::testing::RunCli;
using kyvern::testing::ScopedEnv;
using kyvern::testing::TempDir;
using kyvern::testing::TempHome;

namespace {

int CountLines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

TEST(RunCli, SimulatedShotsOneLineEachThenStops) {
    TempHome h;
    h.Set("Simulator", "ShotPeriod", "0.05");
    h.Set("Setup", "SpeedDisplay", "MPH");
    auto r = RunCli({"run", "--simulate", "--shots", "2"}, h.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(CountLines(r.out), 2) << r.out;
    EXPECT_NE(r.out.find(" MPH "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" carry "), std::string::npos);
    const std::string status = h.File("statusKyvern.ini");
    EXPECT_EQ(ConfigStore::ReadSetting(status, "Status", "Lock", "", 20), "Unlocked");
    EXPECT_EQ(ConfigStore::ReadSetting(status, "Status", "Analysis", "", 20), "Success");
    EXPECT_TRUE(std::filesystem::exists(h.File("History/pic1.bmp")));
}

TEST(RunCli, TermSignalEndsTheRunCleanly) {
    TempHome h;
    h.Set("Simulator", "ShotPeriod", "0");
    const pid_t pid =
        kyvern::testing::StartCli({"run", "--simulate"}, h.Path(), "/dev/null", "/dev/null");
    ASSERT_GT(pid, 0);

    // Running once its path is in the status file and its command timer is about.
    const std::string status = h.File("statusKyvern.ini");
    EXPECT_TRUE(kyvern::testing::Eventually([&] {
        return !ConfigStore::ReadSetting(status, "Status", "Executable", "", 300).empty();
    }));
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    int code = 0;
    ASSERT_EQ(::waitpid(pid, &code, 0), pid);
    ASSERT_TRUE(WIFEXITED(code));
    EXPECT_EQ(WEXITSTATUS(code), 0);
    EXPECT_NE(ConfigStore::ReadSetting(status, "Status", "Lock", "", 20), "Locked");
}

TEST(RunCli, DemoPrintsTheTableAndTheSavedSession) {
    TempDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.Path());
    TempHome h;
    auto r = RunCli({"demo"}, h.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string marker = "Session saved to ";
    const std::size_t at = r.out.find(marker);
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string path =
        r.out.substr(at + marker.size(), r.out.find('\n', at) - at - marker.size());
    EXPECT_EQ(path.rfind(tmp.Path(), 0), 0u) << path;
    const std::string session = kyvern::testing::ReadFileText(path);
    EXPECT_NE(session.find("Kyvern Shot Data"), std::string::npos);
    // The header row, the item's group row and five shots.
    EXPECT_EQ(CountLines(session.substr(session.find("User, Session"))), 6);
    EXPECT_NE(r.out.find("Item"), std::string::npos);
}

TEST(RunCli, RegressPrintsOneResultLinePerImage) {
    TempHome h;
    const std::string images = h.File("images");
    std::filesystem::create_directories(images);
    for (const char* name : {"one.bmp", "two.bmp"}) {
        auto render = RunCli({"render", "--out", images + "/" + name, "--speed", "150", "--launch",
                              "12", "--side", "-2", "--back", "3500", "--side-spin", "-600"},
                             h.Path());
        ASSERT_EQ(render.exitCode, 0) << render.err;
    }
    auto r = RunCli({"regress", images}, h.Path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(CountLines(r.out), 2) << r.out;
    EXPECT_EQ(r.out.rfind("one.bmp, ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\ntwo.bmp, "), std::string::npos);
    EXPECT_EQ(kyvern::testing::ReadFileText(h.File("SideSpinTest.txt")), r.out);
    EXPECT_EQ(RunCli({"regress", h.File("none")}, h.Path()).exitCode, 1);
}
