// The start-up rules, run as real processes of the program against one program folder and one
// runtime folder: first runs in two locales, the language setting, the start words and
// settings, a second instance with and without permission.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/temp_home.h"

extern char** environ;

namespace kyvern::ui {
namespace {

using testing::TempDir;

// One start of the window on the simulated camera, offscreen, with its own locale variables; stdout
// comes back through a pipe.
class Program {
public:
    Program(const std::string& home, const std::string& runtime,
            const std::map<std::string, std::string>& locale, std::vector<std::string> args) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            if (name != "LANG" && name != "LANGUAGE" && name.rfind("LC_", 0) != 0 &&
                name != "KYVERN_HOME" && name != "KYVERN_RUNTIME_DIR" && name != "QT_QPA_PLATFORM")
                env.push_back(entry);
        }
        env.insert(env.end(), {"KYVERN_HOME=" + home, "KYVERN_RUNTIME_DIR=" + runtime,
                               "QT_QPA_PLATFORM=offscreen"});
        for (const auto& [name, value] : locale)
            env.push_back(name + "=" + value);
        // The simulated camera: without one a machine with no camera bus says so in a box.
        args.insert(args.begin(), {KYVERN_UI_PATH, "--simulate"});
        std::vector<char*> argv, envp;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            Wait();
        }
        if (out_ >= 0) ::close(out_);
    }
    // The first line of its output; empty when it ends without one or within 20 s gives none.
    std::string Line() {
        std::string line;
        char c = 0;
        pollfd p{out_, POLLIN, 0};
        for (;;) {
            if (::poll(&p, 1, 20000) != 1) {
                ::kill(pid_, SIGKILL);  // stuck (a message box nobody can answer): no line
                return {};
            }
            if (::read(out_, &c, 1) != 1 || c == '\n') return line;
            line += c;
        }
    }
    int Wait() {
        int status = 0;
        if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

class StartUp : public ::testing::Test {
protected:
    // A start that ends as soon as the window is ready; its report line.
    std::string StartOnce(const std::map<std::string, std::string>& locale,
                          std::vector<std::string> words = {}) {
        words.insert(words.end(), {"--report-start", "--quit-when-ready"});
        Program program(home.Path(), runtime.Path() + "/run", locale, words);
        const std::string line = program.Line();
        EXPECT_EQ(program.Wait(), 0);
        return line.substr(line.find(" ms ") == std::string::npos ? 0 : line.find(" ms ") + 4);
    }

    testing::TempHome home;
    TempDir runtime;
};

// First runs write the time, and the Japanese defaults for a Japanese user only; a RunOnce of
// three characters is a first run again; Setup/Language outranks the locale.
TEST_F(StartUp, FirstRunAndLanguage) {
    const std::map<std::string, std::string> english{{"LANG", "en_US.UTF-8"}};
    const std::map<std::string, std::string> japanese{{"LANG", "en_US.UTF-8"},
                                                      {"LC_ALL", "ja_JP.UTF-8"}};
    struct Case {
        const char* runOnce;  // nullptr: none
        const char* language;
        std::map<std::string, std::string> locale;
        const char* report;
        const char* speedDisplay;  // what first run left in Setup/SpeedDisplay
    };
    const Case cases[] = {
        {nullptr, nullptr, english, "language=English", "<missing>"},
        {"abc", nullptr, japanese, "language=Japanese", "MPS"},
        {"01/Jan/2026 10:00:00", nullptr, japanese, "language=Japanese", "<missing>"},
        {"01/Jan/2026 10:00:00", "japanese", english, "language=Japanese", "<missing>"},
        {"01/Jan/2026 10:00:00", "German", japanese, "language=German", "<missing>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.report);
        std::remove(home.Settings().c_str());
        if (c.runOnce) home.Set("RunOnce", "DateTime", c.runOnce);
        if (c.language) home.Set("Setup", "Language", c.language);
        EXPECT_EQ(StartOnce(c.locale).rfind(c.report, 0), 0u);
        const std::string stamp = home.Get("RunOnce", "DateTime");
        if (c.runOnce && std::string(c.runOnce).size() >= 4) {
            EXPECT_EQ(stamp, c.runOnce);
        } else {
            EXPECT_EQ(stamp.size(), 20u) << stamp;  // "%d/%b/%Y %H:%M:%S"
        }
        EXPECT_EQ(home.Get("Setup", "SpeedDisplay"), c.speedDisplay);
        const bool japaneseDefaults = std::string(c.speedDisplay) == "MPS";
        EXPECT_EQ(home.Get("Weather", "Units"), japaneseDefaults ? "Metric" : "<missing>");
        EXPECT_EQ(home.Get("Setup", "ClubInfoFontColor"), japaneseDefaults ? "65535" : "<missing>");
        EXPECT_EQ(home.Get("Setup", "AdvSettingsPassword"),
                  japaneseDefaults ? "Morlat" : "<missing>");
    }
}

// The words of the command line minimise in any case; Setup/HideWindow also hides the window
// from the taskbar.
TEST_F(StartUp, WordsAndSettingsThatMinimiseOrHide) {
    struct Case {
        std::vector<std::string> words;
        const char* key;  // set to "Yes" before the start
        const char* flags;
    };
    const Case cases[] = {
        {{}, nullptr, "minimized=0 tool=0"},
        {{"/HiDe"}, nullptr, "minimized=1 tool=0"},
        {{"MinimizeWindow"}, nullptr, "minimized=1 tool=0"},
        {{}, "Minimized", "minimized=1 tool=0"},
        {{}, "HideWindow", "minimized=1 tool=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        std::remove(home.Settings().c_str());
        home.Set("RunOnce", "DateTime", "01/Jan/2026 10:00:00");
        if (c.key) home.Set("Setup", c.key, "Yes");
        const std::string report = StartOnce({{"LANG", "C"}}, c.words);
        EXPECT_NE(report.find(c.flags), std::string::npos) << report;
    }
}

// A second start while the first runs ends at once and silently unless the settings allow
// more instances; allowed, it runs as a second instance.
TEST_F(StartUp, SecondInstance) {
    const std::map<std::string, std::string> locale{{"LANG", "C"}};
    home.Set("RunOnce", "DateTime", "01/Jan/2026 10:00:00");
    const std::string run = runtime.Path() + "/run";
    Program first(home.Path(), run, locale, {"--report-start"});
    ASSERT_NE(first.Line().find("second=0"), std::string::npos);

    Program refused(home.Path(), run, locale, {"--report-start", "--quit-when-ready"});
    EXPECT_EQ(refused.Line(), "");
    EXPECT_EQ(refused.Wait(), 0);

    home.Set("Setup", "AllowMultipleInstances", "YES");
    Program allowed(home.Path(), run, locale, {"--report-start", "--quit-when-ready"});
    EXPECT_NE(allowed.Line().find("second=1"), std::string::npos);
    EXPECT_EQ(allowed.Wait(), 0);
}

}  // namespace
}  // namespace kyvern::ui
