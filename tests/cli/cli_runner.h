#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_home.h"

namespace kyvern::testing {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Starts kyvern-cli without waiting for it, its output streams going to the given files.
pid_t StartCli(const std::vector<std::string>& args, const std::string& home,
               const std::string& outPath, const std::string& errPath);

// Runs kyvern-cli with these arguments and the given program folder (KYVERN_HOME), without a
// shell, and collects both output streams.
CliResult RunCli(const std::vector<std::string>& args, const std::string& home);

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace kyvern::testing
