#include "base/program_folder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace kyvern::base {

namespace {
std::string Join(const std::string& folder, const char* name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}
}  // namespace

std::string ProgramFolder() {
    if (const char* home = std::getenv("KYVERN_HOME"); home && *home) return home;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
        return Join(data, "Kyvern");
    }
    const char* home = std::getenv("HOME");
    return Join(std::string(home && *home ? home : "/tmp"), ".local/share/Kyvern");
}

bool EnsureProgramFolder() {
    std::error_code ec;
    std::filesystem::create_directories(HistoryFolder(), ec);
    if (ec) return false;
    std::filesystem::create_directories(DocsFolder(), ec);
    return !ec;
}

std::string SettingsPath() { return Join(ProgramFolder(), "Kyvern.ini"); }
std::string StatusPath() { return Join(ProgramFolder(), "statusKyvern.ini"); }
std::string ShotLogPath() { return Join(ProgramFolder(), "logKyvern.txt"); }
std::string TrajectoryPath() { return Join(ProgramFolder(), "flightKyvern.txt"); }
std::string SideSpinTestPath() { return Join(ProgramFolder(), "SideSpinTest.txt"); }
std::string LastFramePath() { return Join(ProgramFolder(), "picKyvern.bmp"); }
std::string LastOverlayPath() { return Join(ProgramFolder(), "picKyvernOverlay.bmp"); }
std::string HistoryFolder() { return Join(ProgramFolder(), "History/"); }
std::string DocsFolder() { return Join(ProgramFolder(), "Docs/"); }

std::string HistoryFramePath(long number) {
    char name[40];
    std::snprintf(name, sizeof name, "pic%ld.bmp", number);
    return HistoryFolder() + name;
}

}  // namespace kyvern::base
