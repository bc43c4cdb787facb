#include "links/runtime_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

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

bool EnsureRuntimeFolder() {
    std::string folder = RuntimeFolder();
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        // The parent may be missing when the folder was pointed somewhere new.
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec) return false;
        ::chmod(folder.c_str(), 0700);
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    // A shared temporary folder could hold a folder of that name planted by someone else.
    return info.st_uid == ::getuid() && (info.st_mode & 0077) == 0;
}

std::string SlotPath(const std::string& name) { return RuntimeFolder() + "/" + name; }

}  // namespace kyvern::links
