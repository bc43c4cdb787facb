#include "base/program_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "base/atomic_file.h"

namespace kyvern::base {

namespace {
std::string Join(const std::string& folder, const char* name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    if (folder.empty()) return {};  // no folder: no file either, rather than one at the root
    return folder + "/" + name;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return {};
    return found->pw_dir;
}

// True when the folder or one above it is world-writable and sticky, as /tmp is.
bool InSharedTemporaryFolder(const std::string& folder) {
    for (std::filesystem::path at(folder); !at.empty(); at = at.parent_path()) {
        struct stat info {};
        if (::stat(at.c_str(), &info) == 0 && (info.st_mode & S_IWOTH) && (info.st_mode & S_ISVTX))
            return true;
        if (at == at.root_path()) break;
    }
    return false;
}
}  // namespace

std::string UntrustedFolderReason(const std::string& folder, bool privateToUser) {
    struct stat info {};
    // The program folder may be a link the user made to another disk; the runtime folder,
    // which sits in a shared folder, may not.
    if ((privateToUser ? ::lstat(folder.c_str(), &info) : ::stat(folder.c_str(), &info)) != 0 ||
        !S_ISDIR(info.st_mode))
        return "\"" + folder + "\" is not a folder";
    if (info.st_uid != ::getuid()) return "\"" + folder + "\" belongs to another user";
    if ((info.st_mode & (privateToUser ? 0077 : 0022)) != 0)
        return "\"" + folder + "\" is open to other users" +
               (privateToUser ? " (it must have mode 0700)" : " (others may write it)");
    return {};
}

std::string ProgramFolder() {
    if (const char* home = std::getenv("KYVERN_HOME"); home && *home) return home;
    std::string folder;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
        folder = Join(data, "Kyvern");
    } else {
        folder = Join(HomeFolder(), ".local/share/Kyvern");
    }
    return InSharedTemporaryFolder(folder) ? std::string() : folder;
}

bool EnsureProgramFolder(std::string* reason) {
    std::string why;
    const std::string folder = ProgramFolder();
    std::error_code ec;
    if (folder.empty()) {
        why =
            "No program folder: set HOME or KYVERN_HOME to a folder of your own (a shared "
            "temporary folder is not used)";
    } else if (std::filesystem::create_directories(folder, ec), ec) {
        why = "Cannot make the program folder \"" + folder + "\": " + ec.message();
    } else if (why = UntrustedFolderReason(folder, false); !why.empty()) {
        why = "Program folder refused: " + why;
    } else if (std::filesystem::create_directories(HistoryFolder(), ec),
               std::filesystem::create_directories(DocsFolder(), ec), ec) {
        why = "Cannot make the folders inside \"" + folder + "\": " + ec.message();
    }
    if (reason) *reason = why;
    return why.empty();
}

bool OpenProgramFolder(std::string& reason) {
    if (!EnsureProgramFolder(&reason)) return false;
    RemoveStaleTemporaries(ProgramFolder());
    RemoveStaleTemporaries(HistoryFolder());
    return true;
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
