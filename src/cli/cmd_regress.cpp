// kyvern-cli regress DIR [--continuous]: the automated test over the saved images of a folder,
// printing the lines it appends to the result file.
#include <sys/stat.h>

#include <atomic>
#include <cstdio>

#include "app/headless_runner.h"
#include "cli/command.h"

namespace kyvern::cli {
namespace {

int RunRegress(const Args& args) {
    const Args folders = Positionals(args, {});
    bool unknown = false;
    for (const std::string& a : args)
        unknown = unknown || (a.rfind("--", 0) == 0 && a != "--continuous");
    if (folders.size() != 1 || unknown) {
        std::fprintf(stderr, "usage: kyvern-cli regress DIR [--continuous]\n");
        return 2;
    }
    struct stat info {};
    if (::stat(folders[0].c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        std::fprintf(stderr, "Not a folder: %s\n", folders[0].c_str());
        return 1;
    }
    std::atomic<bool> stop{false};
    return app::RunRegression(folders[0], HasFlag(args, "--continuous"), stop, true);
}

const Registration kRegress({"regress",
                             "regress DIR [--continuous]       the automated test over a folder",
                             RunRegress});

}  // namespace
}  // namespace kyvern::cli
