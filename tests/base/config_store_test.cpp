#include "base/config_store.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "base/program_folder.h"
#include "support/temp_dir.h"

using namespace kyvern::base;
using namespace kyvern::testing;

TEST(ConfigStore, ReadsWithTheProfileMatchingRules) {
    TempDir dir;
    const std::string path = dir.File("Kyvern.ini");
    WriteFileText(path,
                  "; a comment\r\n[setup]\r\n  SPEEDDISPLAY =  KPH  \r\nBall=\"Cork Softball\"\r\n"
                  "Empty=\r\nSpeedDisplay=FPS\r\n[ Weather ]\nAltitude=5000\n");
    // Section, key, default, buffer length, what is read. A value or default longer than the
    // buffer less one is cut.
    // clang-format off
    const std::tuple<const char*, const char*, const char*, int, const char*> cases[] = {
        {"Setup", "SpeedDisplay", "MPH", 20, "KPH"}, {"SETUP", "ball", "", 80, "Cork Softball"},
        {"Setup", "Empty", "x", 20, ""},             {"weather", "altitude", "0.0", 20, "5000"},
        {"Setup", "Missing", "Yards", 20, "Yards"},  {"Nowhere", "Ball", "Golf", 80, "Golf"},
        {"Setup", "Ball", "", 5, "Cork"},            {"Setup", "Missing", "Right-hand", 6, "Right"},
        {"Setup", "Ball", "", 0, ""}};
    // clang-format on
    for (const auto& [section, key, fallback, length, want] : cases)
        EXPECT_EQ(ConfigStore::ReadSetting(path, section, key, fallback, length), want)
            << section << "/" << key << "/" << length;
    // A section's keys once each, in the spelling first met.
    EXPECT_EQ(ConfigStore::SectionKeys(path, "SETUP"),
              (std::vector<std::string>{"SPEEDDISPLAY", "Ball", "Empty"}));
    EXPECT_TRUE(ConfigStore::SectionKeys(path, "Camera").empty());
}

TEST(ConfigStore, WritesKeepEveryOtherLineRefuseForgedLinesAndBatchesLandWhole) {
    TempDir dir;
    const std::string path = dir.File("Kyvern.ini");
    WriteFileText(path,
                  "; kept comment\r\n[Unknown]\r\nOdd line without equals\r\n[SETUP]\r\n"
                  "clubmass = 200.0\r\nHanded=Left-handed\r\n\r\n[Camera]\r\nSpeed=Fast\r\n");
    ASSERT_TRUE(ConfigStore::WriteSetting(path, "setup", "ClubMass", "230.0"));
    ASSERT_TRUE(ConfigStore::WriteSetting(path, "Setup", "ClubLoft", "9.5"));
    ASSERT_TRUE(ConfigStore::WriteSetting(path, "Weather", "WindDir", "90"));
    EXPECT_EQ(ReadFileText(path),
              "; kept comment\r\n[Unknown]\r\nOdd line without equals\r\n[SETUP]\r\n"
              "ClubMass=230.0\r\nHanded=Left-handed\r\nClubLoft=9.5\r\n\r\n[Camera]\r\n"
              "Speed=Fast\r\n[Weather]\r\nWindDir=90\r\n");

    // A file that ends without a line end gets one before the new lines.
    WriteFileText(path, "[Setup]\nBall=Baseball");
    ASSERT_TRUE(ConfigStore::WriteSetting(path, "Setup", "Handed", "Right-handed"));
    EXPECT_EQ(ReadFileText(path), "[Setup]\nBall=Baseball\nHanded=Right-handed\n");

    const std::string fresh = dir.File("sub/Kyvern.ini");  // its folder made on the way
    EXPECT_FALSE(ConfigStore::WriteSetting(fresh, "Setup", "Ball", "x\n[Camera]\nSpeed=Fast"));
    EXPECT_FALSE(ConfigStore::WriteSetting(fresh, "Se]tup\r", "Ball", "x"));
    EXPECT_FALSE(ConfigStore::WriteSetting(fresh, "", "Ball", "x"));
    EXPECT_FALSE(std::filesystem::exists(fresh));

    // The last writer of a key in a batch also sets its spelling; one bad entry refuses it all.
    ASSERT_TRUE(ConfigStore::WriteSettings(fresh, {{"Ball", "Speed", "0.0"},
                                                   {"Ball", "Spin", "0"},
                                                   {"Status", "Lock", "Locked"},
                                                   {"ball", "speed", "150.5"}}));
    EXPECT_EQ(ReadFileText(fresh), "[Ball]\nspeed=150.5\nSpin=0\n[Status]\nLock=Locked\n");
    EXPECT_FALSE(
        ConfigStore::WriteSettings(fresh, {{"Status", "Lock", "Unlocked"}, {"Ball", "", "1"}}));
    EXPECT_FALSE(ConfigStore::WriteSettings(
        fresh, {{"Status", "Lock", "Unlocked"}, {"Ball", "Spin", "1\n[X]"}}));
    EXPECT_EQ(ConfigStore::ReadSetting(fresh, "Status", "Lock", "", 20), "Locked");
}

// What is not a small regular file is no settings file: reads take the default at once
// (a FIFO would hang the shot cycle, /dev/zero exhaust the memory, 100 MB cost seconds a
// shot) and writes leave it as it is.
TEST(ConfigStore, ReadsAndWritesOnlySmallRegularFiles) {
    TempDir dir;
    const std::string fifo = dir.File("fifo.ini");
    const std::string large = dir.File("large.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    WriteFileText(large, "[Setup]\nBall=Baseball\n" + std::string(kMaxSettingsFileBytes, ' '));
    for (const std::string& path : {fifo, large, std::string("/dev/zero"), dir.Path()}) {
        EXPECT_EQ(ConfigStore::ReadSetting(path, "Setup", "Ball", "Golf Ball", 80), "Golf Ball")
            << path;
        if (path != "/dev/zero") {
            EXPECT_FALSE(ConfigStore::WriteSetting(path, "Setup", "Ball", "Softball")) << path;
        }
    }
    EXPECT_EQ(std::filesystem::status(fifo).type(), std::filesystem::file_type::fifo);
    EXPECT_EQ(std::filesystem::file_size(large), kMaxSettingsFileBytes + 22);
    // One byte under the bound is still read.
    WriteFileText(large, "[Setup]\nBall=Baseball\n" + std::string(kMaxSettingsFileBytes - 23, ' '));
    EXPECT_EQ(ConfigStore::ReadSetting(large, "Setup", "Ball", "Golf Ball", 80), "Baseball");
}

TEST(ConfigStore, ConcurrentWritersInTwoProcessesLoseNoKey) {
    TempDir dir;
    const std::string path = dir.File("Kyvern.ini");
    constexpr int kKeys = 150;
    auto writeAll = [&](const char* section, int i) {
        return ConfigStore::WriteSetting(path, section, std::string("K").append(std::to_string(i)),
                                         std::to_string(i));
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool ok = true;
        for (int i = 0; i < kKeys; ++i)
            ok = writeAll("Child", i) && ok;
        ::_exit(ok ? 0 : 1);
    }
    for (int i = 0; i < kKeys; ++i)
        EXPECT_TRUE(writeAll("Parent", i));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int i = 0; i < kKeys; ++i)
        for (const char* section : {"Parent", "Child"})
            EXPECT_EQ(ConfigStore::ReadSetting(path, section,
                                               std::string("K").append(std::to_string(i)), "", 20),
                      std::to_string(i));
}

TEST(ProgramFolder, FollowsTheEnvironmentAndNamesItsFiles) {
    TempDir dir;
    kyvern::testing::ScopedEnv home("KYVERN_HOME", dir.Path());
    // The names other programs look for.
    std::vector<std::string> paths = {SettingsPath(),    StatusPath(),        ShotLogPath(),
                                      TrajectoryPath(),  SideSpinTestPath(),  LastFramePath(),
                                      LastOverlayPath(), HistoryFramePath(12)};
    for (std::string& path : paths)
        path.erase(0, dir.Path().size() + 1);
    EXPECT_EQ(paths,
              (std::vector<std::string>{"Kyvern.ini", "statusKyvern.ini", "logKyvern.txt",
                                        "flightKyvern.txt", "SideSpinTest.txt", "picKyvern.bmp",
                                        "picKyvernOverlay.bmp", "History/pic12.bmp"}));
    EXPECT_TRUE(EnsureProgramFolder());
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("Docs")));
    kyvern::testing::ScopedEnv none("KYVERN_HOME", "");
    kyvern::testing::ScopedEnv data("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(ProgramFolder(), "/srv/data/Kyvern");
}

// Nobody else may have made or be able to write the folder whose settings name a program to run.
TEST(ProgramFolder, RefusesAFolderOthersMayHaveMadeOrWrite) {
    namespace fs = std::filesystem;
    using kyvern::testing::ScopedEnv;
    TempDir dir;
    ScopedEnv none("KYVERN_HOME", ""), data("XDG_DATA_HOME", "");
    {
        ScopedEnv home("HOME", "");
        EXPECT_EQ(ProgramFolder(),
                  std::string(::getpwuid(::getuid())->pw_dir) + "/.local/share/Kyvern");
    }
    fs::create_directory(dir.File("shared"));
    fs::permissions(dir.File("shared"), fs::perms(01777));  // as /tmp is
    std::string why;
    {
        ScopedEnv home("HOME", dir.File("shared/me"));
        EXPECT_EQ(ProgramFolder(), "");
        EXPECT_FALSE(EnsureProgramFolder(&why));
        EXPECT_NE(why.find("HOME"), std::string::npos) << why;
        EXPECT_FALSE(fs::exists(dir.File("shared/me")));
    }
    fs::create_directory(dir.File("own"));
    ScopedEnv home("KYVERN_HOME", dir.File("own"));
    const std::pair<int, bool> cases[] = {{0700, true}, {0755, true}, {0775, false}, {0757, false}};
    for (const auto& [mode, accepted] : cases) {
        fs::permissions(dir.File("own"), fs::perms(mode));
        EXPECT_EQ(EnsureProgramFolder(&why), accepted) << mode;
        EXPECT_EQ(why.find("open to other users") == std::string::npos, accepted) << why;
    }
}
