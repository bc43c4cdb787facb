#include "cli_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kyvern::testing {

pid_t StartCli(const std::vector<std::string>& args, const std::string& home,
               const std::string& outPath, const std::string& errPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0600);

    std::vector<std::string> argStore{KYVERN_CLI_PATH};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStore{"KYVERN_HOME=" + home, "LC_ALL=C"};
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        if (entry.rfind("KYVERN_HOME=", 0) != 0 && entry.rfind("LC_ALL=", 0) != 0) {
            envStore.push_back(entry);
        }
    }
    std::vector<char*> envp;
    for (std::string& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    if (posix_spawn(&pid, argStore[0].c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

CliResult RunCli(const std::vector<std::string>& args, const std::string& home) {
    TempDir io;
    CliResult result;
    pid_t pid = StartCli(args, home, io.File("out"), io.File("err"));
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid) {
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    result.out = ReadFileText(io.File("out"));
    result.err = ReadFileText(io.File("err"));
    return result;
}

}  // namespace kyvern::testing
