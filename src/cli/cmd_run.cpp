// kyvern-cli run [--simulate] [--shots N] [--json]: the shot cycle without a window, one line per
// shot,
// until stopped (SIGINT, SIGTERM, the Shutdown command) or until N shots are recorded.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "app/headless_runner.h"
#include "cli/command.h"

namespace kyvern::cli {
namespace {

int RunRun(const Args& args) {
    bool ok = true;
    const std::string shotsText = FlagValue(args, "--shots", "0", ok);
    char* end = nullptr;
    const long shots = std::strtol(shotsText.c_str(), &end, 10);
    if (!ok || *end != '\0' || shots < 0 || !Positionals(args, {"--shots"}).empty()) {
        std::fprintf(stderr, "usage: kyvern-cli run [--simulate] [--shots N] [--json]\n");
        return 2;
    }
    for (const std::string& a : args) {
        if (a.rfind("--", 0) == 0 && a != "--simulate" && a != "--shots" && a != "--json") {
            std::fprintf(stderr, "usage: kyvern-cli run [--simulate] [--shots N] [--json]\n");
            return 2;
        }
    }
    app::HeadlessOptions options;
    options.simulate = HasFlag(args, "--simulate");
    options.json = HasFlag(args, "--json");
    options.shots = shots;
    std::atomic<bool> stop{false};
    return app::RunHeadless(options, stop, true);
}

const Registration kRun({"run",
                         "run [--simulate] [--shots N] [--json]   the shot cycle without a window",
                         RunRun});

}  // namespace
}  // namespace kyvern::cli
