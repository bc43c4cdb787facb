// kyvern-cli demo: five shots on the simulated camera in a fresh program folder, then the shot
// table and the saved session.
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/headless_runner.h"
#include "base/program_folder.h"
#include "base/user_prompts.h"
#include "cli/command.h"
#include "data/session_file.h"
#include "data/shot_table.h"

namespace kyvern::cli {
namespace {

void PrintTable(const data::ShotTable& table) {
    const int columns[] = {data::kItemColumn,        data::kShotColumn,     data::kBallSpeedColumn,
                           data::kLaunchAngleColumn, data::kBackSpinColumn, data::kSideSpinColumn,
                           data::kClubSpeedColumn,   data::kCarryColumn,    data::kOfflineColumn,
                           data::kTotalColumn,       data::kShotScoreColumn};
    for (int row = 0; row < table.RowCount(); ++row) {
        std::string line;
        for (int column : columns) {
            char cell[64];
            std::snprintf(cell, sizeof cell, "%-12.12s ", table.Cell(row, column).c_str());
            line += cell;
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        std::printf("%s\n", line.c_str());
    }
}

int RunDemo(const Args& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "usage: kyvern-cli demo\n");
        return 2;
    }
    std::string folder = (std::filesystem::temp_directory_path() / "kyvern-demo-XXXXXX").string();
    if (!::mkdtemp(folder.data())) {
        std::fprintf(stderr, "Couldn't create a program folder for the demo\n");
        return 1;
    }
    ::setenv("KYVERN_HOME", folder.c_str(), 1);
    std::printf("Program folder %s\n", folder.c_str());
    std::fflush(stdout);

    app::HeadlessOptions options;
    options.simulate = true;
    options.shots = 5;
    options.shootOnIdle = true;
    std::atomic<bool> stop{false};
    bool saved = false;
    const std::string session = folder + "/Demo Session.txt";
    const int status = app::RunHeadless(options, stop, true, [&](app::LaunchMonitor& monitor) {
        std::printf("\n");
        PrintTable(monitor.Table());
        base::StderrPrompts prompts;
        saved = base::Show(
            data::SaveSession(monitor.Table(), session, monitor.User(), monitor.Session()),
            prompts);
    });
    if (status != 0) return status;
    if (!saved) return 1;
    std::printf("\nSession saved to %s\n", session.c_str());
    return 0;
}

const Registration kDemo(
    {"demo", "demo                             five simulated shots, table and session", RunDemo});

}  // namespace
}  // namespace kyvern::cli
