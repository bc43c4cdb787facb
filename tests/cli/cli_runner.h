#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "support/temp_home.h"

extern char** environ;

namespace kyvern::testing {

struct CliResult {
    int exitCode = -1;
    std::string out, err;
};

// Starts kyvern-cli without a shell or waiting for it, with the given program folder
// (KYVERN_HOME) and the C locale, its output streams going to the given files.
inline pid_t StartCli(const std::vector<std::string>& args, const std::string& home,
                      const std::string& outPath, const std::string& errPath) {
    ScopedEnv folder("KYVERN_HOME", home), locale("LC_ALL", "C");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0600);
    std::vector<std::string> store{KYVERN_CLI_PATH};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : store)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs kyvern-cli to its end and collects both output streams.
inline CliResult RunCli(const std::vector<std::string>& args, const std::string& home) {
    TempDir io;
    CliResult result;
    const pid_t pid = StartCli(args, home, io.File("out"), io.File("err"));
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid)
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadFileText(io.File("out"));
    result.err = ReadFileText(io.File("err"));
    return result;
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline long Count(const std::string& text, const std::string& what) {
    long n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A render of a drive seen straight on, to the given file, with more arguments after.
inline std::vector<std::string> Render(const std::string& out, std::vector<std::string> more) {
    std::vector<std::string> args = {"render", "--out",  out,    "--launch",    "12",  "--side",
                                     "-2",     "--back", "3500", "--side-spin", "-600"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace kyvern::testing
