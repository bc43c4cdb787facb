#include "links/runtime_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/log.h"
#include "base/program_folder.h"

namespace kyvern::links {

std::string RuntimeFolder() {
    if (const char* own = std::getenv("KYVERN_RUNTIME_DIR"); own && *own) return own;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        return std::string(runtime) + "/kyvern";
    }
    char name[40];
    std::snprintf(name, sizeof name, "kyvern-%u", static_cast<unsigned>(::getuid()));
    std::error_code ec;
    std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    if (ec) temp = "/tmp";
    return (temp / name).string();
}

std::string RuntimeFolderRefusal() {
    std::string folder = RuntimeFolder();
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        // The parent may be missing when the folder was pointed somewhere new.
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec) return "Cannot make the runtime folder \"" + folder + "\": " + ec.message();
        ::chmod(folder.c_str(), 0700);
    }
    // A shared temporary folder could hold a folder of that name planted by someone else.
    std::string why = base::UntrustedFolderReason(folder, true);
    return why.empty() ? why : "Runtime folder refused, no links to other programs: " + why;
}

bool EnsureRuntimeFolder() {
    const std::string why = RuntimeFolderRefusal();
    if (!why.empty()) {
        // Every slot asks again; the user needs to read it once.
        static std::atomic<bool> told{false};
        if (!told.exchange(true))
            base::Log(base::LogCategory::kLinks, base::LogLevel::kWarning, why);
    }
    return why.empty();
}

std::string SlotPath(const std::string& name) { return RuntimeFolder() + "/" + name; }

}  // namespace kyvern::links
