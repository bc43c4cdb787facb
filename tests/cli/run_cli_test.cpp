#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/config_store.h"
#include "cli_runner.h"

using kyvern::base::ConfigStore;
using kyvern::testing::RunCli;
using kyvern::testing::ScopedEnv;
using kyvern::testing::TempDir;
using kyvern::testing::TempHome;

extern char** environ;

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
    const std::string home = "KYVERN_HOME=" + h.Path();
    std::vector<char*> env;
    std::vector<std::string> keep;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("KYVERN_HOME=", 0) != 0) keep.emplace_back(*e);
    keep.push_back(home);
    for (std::string& e : keep)
        env.push_back(e.data());
    env.push_back(nullptr);
    std::string cli = KYVERN_CLI_PATH;
    std::string run = "run";
    std::string simulate = "--simulate";
    char* argv[] = {cli.data(), run.data(), simulate.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv, env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);

    // Running once its path is in the status file and its command timer is about.
    const std::string status = h.File("statusKyvern.ini");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ConfigStore::ReadSetting(status, "Status", "Executable", "", 300).empty() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
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
