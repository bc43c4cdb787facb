#pragma once

// What several benchmarks share: quiet prompts, a settings path that gives the defaults, and a
// saved session of many shots across the clubs of a bag.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "base/user_prompts.h"
#include "data/session_file.h"
#include "data/shot_table.h"

namespace kyvern::bench {

class QuietPrompts final : public base::UserPrompts {
public:
    void Message(std::string_view) override {}
    bool OkCancel(std::string_view) override { return true; }
};

// A fixture's file operation that must work: a benchmark over a failed load measures nothing.
inline void Require(const base::Status& status) {
    if (status) return;
    std::fprintf(stderr, "benchmark fixture failed: %s\n", status.Reason().c_str());
    std::abort();
}

// A settings path in an empty folder: the defaults, whatever the machine's program folder holds.
inline std::string DefaultSettings() {
    static const std::string path = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kyvern-bench-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        std::string folder = made ? made : "/nonexistent";
        std::filesystem::remove(folder);
        return folder + "/Kyvern.ini";
    }();
    return path;
}

// Shot i of a practice session that goes through the bag club by club.
inline data::ShotEntry BenchShot(int i) {
    static constexpr const char* kItems[] = {"Driver", "3 Wood", "5 Wood", "Hybrid", "4 Iron",
                                             "5 Iron", "6 Iron", "7 Iron", "8 Iron", "9 Iron",
                                             "PW",     "GW",     "SW",     "LW"};
    data::ShotEntry s;
    const int club = i % 14;
    s.ballSpeed = 240.0 - 9.0 * club + (i * 37 % 21) * 0.5;
    s.launchAngle = 10.0 + 1.8 * club + (i * 13 % 9) * 0.3;
    s.backSpin = 2500.0 + 450.0 * club + (i * 17 % 11) * 40.0;
    s.sideSpin = (i * 29 % 15) * 60.0 - 420.0;
    s.totalSpin = s.backSpin + 30.0;
    s.sideAngle = (i * 7 % 13) * 0.4 - 2.4;
    s.clubSpeed = s.ballSpeed / 1.45;
    s.user = "Player " + std::to_string(i % 3);
    s.session = "Bench";
    s.item = kItems[club];
    s.timeText = "05/Mar/2024 14:22:05";
    s.attackAngle = -2.0 + club * 0.3;
    s.pathAngle = 1.0;
    s.faceAngle = 0.5;
    s.effectiveLoft = 12.0 + club * 3.0;
    s.score = 80.0 + (i % 20);
    s.clubMass = 200.0;
    s.clubLoft = 10.5 + club * 3.5;
    return s;
}

// A program folder of its own (KYVERN_HOME) holding a session file of so many shots, for the
// whole run.
struct SavedSession {
    explicit SavedSession(int shots) : shots(shots) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kyvern-bench-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
        ::setenv("KYVERN_HOME", folder.c_str(), 1);
        path = folder + "/session.txt";
        data::ShotTable table({}, kyvern::base::Settings());
        table.SetupTable();
        table.BeginBulkAdd();
        for (int i = 0; i < shots; ++i)
            table.AddShot(BenchShot(i), false, true);
        table.EndBulkAdd();
        Require(data::SaveSession(table, path, "Bench", "Bench"));
    }
    ~SavedSession() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    int shots;
    QuietPrompts prompts;
    std::string folder;
    std::string path;
};

}  // namespace kyvern::bench
