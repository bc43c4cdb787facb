#include "base/config_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/program_folder.h"
#include "support/temp_dir.h"

using kyvern::base::ConfigStore;
using kyvern::testing::ReadFileText;
using kyvern::testing::TempDir;
using kyvern::testing::WriteFileText;

TEST(ConfigStore, ReadsWithTheProfileMatchingRules) {
    TempDir dir;
    std::string path = dir.File("Kyvern.ini");
    WriteFileText(path,
                  "; a comment\r\n"
                  "[setup]\r\n"
                  "  SPEEDDISPLAY =  KPH  \r\n"
                  "Ball=\"Cork Softball\"\r\n"
                  "Empty=\r\n"
                  "SpeedDisplay=FPS\r\n"
                  "[ Weather ]\n"
                  "Altitude=5000\n");
    EXPECT_EQ(ConfigStore::ReadSetting(path, "Setup", "SpeedDisplay", "MPH", 20), "KPH");
    EXPECT_EQ(ConfigStore::ReadSetting(path, "SETUP", "ball", "Golf Ball", 80), "Cork Softball");
    EXPECT_EQ(ConfigStore::ReadSetting(path, "Setup", "Empty", "x", 20), "");
    EXPECT_EQ(ConfigStore::ReadSetting(path, "weather", "altitude", "0.0", 20), "5000");
    EXPECT_EQ(ConfigStore::ReadSetting(path, "Setup", "Missing", "Yards", 20), "Yards");
    EXPECT_EQ(ConfigStore::ReadSetting(path, "Nowhere", "Ball", "Golf Ball", 80), "Golf Ball");
    // A value longer than the buffer less one is cut; so is the default.
    EXPECT_EQ(ConfigStore::ReadSetting(path, "Setup", "Ball", "", 5), "Cork");
    EXPECT_EQ(ConfigStore::ReadSetting(path, "Setup", "Missing", "Right-handed", 6), "Right");
    EXPECT_EQ(ConfigStore::ReadSetting(path, "Setup", "Ball", "", 0), "");
    EXPECT_EQ(ConfigStore::ReadSetting(dir.File("absent.ini"), "Setup", "Ball", "Golf Ball", 80),
              "Golf Ball");
}

TEST(ConfigStore, WriteCreatesFileAndSectionAndKeepsEveryOtherLine) {
    TempDir dir;
    std::string path = dir.File("sub/Kyvern.ini");
    ASSERT_TRUE(ConfigStore::WriteSetting(path, "Setup", "ClubMass", "250.0"));
    EXPECT_EQ(ReadFileText(path), "[Setup]\nClubMass=250.0\n");

    WriteFileText(path,
                  "; kept comment\r\n"
                  "[Unknown]\r\n"
                  "Odd line without equals\r\n"
                  "[SETUP]\r\n"
                  "clubmass = 200.0\r\n"
                  "Handed=Left-handed\r\n"
                  "\r\n"
                  "[Camera]\r\n"
                  "Speed=Fast\r\n");
    ASSERT_TRUE(ConfigStore::WriteSetting(path, "setup", "ClubMass", "230.0"));
    ASSERT_TRUE(ConfigStore::WriteSetting(path, "Setup", "ClubLoft", "9.5"));
    ASSERT_TRUE(ConfigStore::WriteSetting(path, "Weather", "WindDir", "90"));
    EXPECT_EQ(ReadFileText(path),
              "; kept comment\r\n"
              "[Unknown]\r\n"
              "Odd line without equals\r\n"
              "[SETUP]\r\n"
              "ClubMass=230.0\r\n"
              "Handed=Left-handed\r\n"
              "ClubLoft=9.5\r\n"
              "\r\n"
              "[Camera]\r\n"
              "Speed=Fast\r\n"
              "[Weather]\r\n"
              "WindDir=90\r\n");
    EXPECT_EQ(ConfigStore::ReadSetting(path, "Setup", "ClubLoft", "10.0", 20), "9.5");

    // A file that ends without a line end gets one before the new lines.
    WriteFileText(path, "[Setup]\nBall=Baseball");
    ASSERT_TRUE(ConfigStore::WriteSetting(path, "Setup", "Handed", "Right-handed"));
    EXPECT_EQ(ReadFileText(path), "[Setup]\nBall=Baseball\nHanded=Right-handed\n");
}

TEST(ConfigStore, RefusesWritesThatWouldForgeLines) {
    TempDir dir;
    std::string path = dir.File("Kyvern.ini");
    EXPECT_FALSE(ConfigStore::WriteSetting(path, "Setup", "Ball", "x\n[Camera]\nSpeed=Fast"));
    EXPECT_FALSE(ConfigStore::WriteSetting(path, "Se]tup\r", "Ball", "x"));
    EXPECT_FALSE(ConfigStore::WriteSetting(path, "", "Ball", "x"));
    EXPECT_FALSE(std::filesystem::exists(path));
    // A folder in the way of the file is a failure, not a crash.
    std::filesystem::create_directories(dir.File("Taken.ini"));
    EXPECT_FALSE(ConfigStore::WriteSetting(dir.File("Taken.ini"), "Setup", "Ball", "x"));
}

TEST(ConfigStore, ConcurrentWritersInTwoProcessesLoseNoKey) {
    TempDir dir;
    std::string path = dir.File("Kyvern.ini");
    ASSERT_TRUE(ConfigStore::WriteSetting(path, "Setup", "Seed", "1"));
    constexpr int kKeys = 150;
    // Appended, not "K" + a temporary: GCC 12 at -O3 takes that for an overlapping copy.
    auto key = [](int i) { return std::string("K").append(std::to_string(i)); };
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool ok = true;
        for (int i = 0; i < kKeys; ++i) {
            ok = ConfigStore::WriteSetting(path, "Child", key(i), std::to_string(i)) && ok;
        }
        ::_exit(ok ? 0 : 1);
    }
    int torn = 0;
    for (int i = 0; i < kKeys; ++i) {
        EXPECT_TRUE(ConfigStore::WriteSetting(path, "Parent", key(i), std::to_string(i)));
        // Whatever the other writer is doing, a reader sees a whole file.
        if (ConfigStore::ReadSetting(path, "Setup", "Seed", "", 20) != "1") ++torn;
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(torn, 0);
    for (int i = 0; i < kKeys; ++i) {
        EXPECT_EQ(ConfigStore::ReadSetting(path, "Parent", key(i), "", 20), std::to_string(i));
        EXPECT_EQ(ConfigStore::ReadSetting(path, "Child", key(i), "", 20), std::to_string(i));
    }
    // No temporary file is left behind.
    int files = 0;
    for (auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(ProgramFolder, FollowsTheEnvironmentAndNamesItsFiles) {
    TempDir dir;
    kyvern::testing::ScopedEnv home("KYVERN_HOME", dir.Path());
    EXPECT_EQ(kyvern::base::ProgramFolder(), dir.Path());
    EXPECT_EQ(kyvern::base::SettingsPath(), dir.File("Kyvern.ini"));
    EXPECT_EQ(kyvern::base::StatusPath(), dir.File("statusKyvern.ini"));
    EXPECT_EQ(kyvern::base::ShotLogPath(), dir.File("logKyvern.txt"));
    EXPECT_EQ(kyvern::base::TrajectoryPath(), dir.File("flightKyvern.txt"));
    EXPECT_EQ(kyvern::base::SideSpinTestPath(), dir.File("SideSpinTest.txt"));
    EXPECT_EQ(kyvern::base::LastFramePath(), dir.File("picKyvern.bmp"));
    EXPECT_EQ(kyvern::base::LastOverlayPath(), dir.File("picKyvernOverlay.bmp"));
    EXPECT_EQ(kyvern::base::HistoryFramePath(12), dir.File("History/pic12.bmp"));
    EXPECT_TRUE(kyvern::base::EnsureProgramFolder());
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("History")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("Docs")));
    ASSERT_TRUE(kyvern::base::WriteSetting("Setup", "Ball", "Baseball"));
    EXPECT_EQ(kyvern::base::ReadSetting("Setup", "Ball", "Golf Ball", 80), "Baseball");
    {
        kyvern::testing::ScopedEnv none("KYVERN_HOME", "");
        kyvern::testing::ScopedEnv data("XDG_DATA_HOME", "/srv/data");
        EXPECT_EQ(kyvern::base::ProgramFolder(), "/srv/data/Kyvern");
    }
}

TEST(ConfigStore, BatchedWritesLandTogetherOrNotAtAll) {
    TempDir dir;
    std::string path = dir.File("status.ini");
    ASSERT_TRUE(ConfigStore::WriteSettings(path, {{"Ball", "Speed", "0.0"},
                                                  {"Ball", "Spin", "0"},
                                                  {"Status", "Lock", "Locked"},
                                                  {"ball", "speed", "150.5"}}));
    // The last writer of a key also sets its spelling.
    EXPECT_EQ(ReadFileText(path), "[Ball]\nspeed=150.5\nSpin=0\n[Status]\nLock=Locked\n");
    // One bad entry refuses the whole batch.
    EXPECT_FALSE(
        ConfigStore::WriteSettings(path, {{"Status", "Lock", "Unlocked"}, {"Ball", "", "1"}}));
    EXPECT_FALSE(ConfigStore::WriteSettings(
        path, {{"Status", "Lock", "Unlocked"}, {"Ball", "Spin", "1\n[X]"}}));
    EXPECT_EQ(ConfigStore::ReadSetting(path, "Status", "Lock", "", 20), "Locked");
}
