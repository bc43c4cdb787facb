#pragma once

#include <string>
#include <vector>

namespace kyvern::testing {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs kyvern-cli with these arguments and the given program folder (KYVERN_HOME), without a
// shell, and collects both output streams.
CliResult RunCli(const std::vector<std::string>& args, const std::string& home);

// A fresh temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace kyvern::testing
