// The watched capture file, the commands in the status file and the program launcher.
#include "app/remote_control.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "app/launch_monitor.h"
#include "base/config_store.h"
#include "base/program_folder.h"
#include "base/settings_snapshot.h"
#include "base/string_table.h"

extern char** environ;

namespace kyvern::app {
namespace {

std::string StatusCommand(const char* key, const char* defaultValue) {
    return base::ConfigStore::ReadSetting(base::StatusPath(), "Command", key, defaultValue, 20);
}

void ResetCommand(const char* key, const char* value) {
    base::ConfigStore::WriteSetting(base::StatusPath(), "Command", key, value);
}

std::string ClockText(const char* format, std::time_t when) {
    char text[128];
    std::tm local{};
    localtime_r(&when, &local);
    if (std::strftime(text, sizeof text, format, &local) == 0) return {};
    return text;
}

// Words of an argument line: blanks separate, double quotes group.
std::vector<std::string> SplitArguments(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

}  // namespace

bool IsYes(std::string_view text) { return base::EqualsNoCase(base::Trim(text), "yes"); }

std::string PlatformFolder(std::string text) {
    const bool underProgram = !text.empty() && text[0] == '\\';
    std::replace(text.begin(), text.end(), '\\', '/');
    if (underProgram) text = base::ProgramFolder() + text;
    return text;
}

void RemoteControl::CheckCaptureFile() {
    if (suspended_) return;
    struct stat info {};
    if (monitor_.capturePath_.empty() || ::stat(monitor_.capturePath_.c_str(), &info) != 0) return;
    const std::string stamp = ClockText("%x %X", info.st_mtime);
    if (stamp == monitor_.lastStamp_) return;
    // Kept at once, so that a file that does not load is not tried again until it changes.
    monitor_.lastStamp_ = stamp;
    base::Settings().Write(base::setting::kCaptureFileModified, stamp);

    capture::ImageFile& file = *monitor_.workFile_;
    file.Clear();
    if (!base::Show(file.Load(monitor_.capturePath_), monitor_.prompts_)) return;
    monitor_.StartCycleTimers(false);
    monitor_.view_->ShowCaptureLabel(ClockText(
        std::string(base::Text(base::MessageId::kCaptureAt)).c_str(), std::time(nullptr)));
    monitor_.BeginPass();
    monitor_.UpdateNames();
    monitor_.scene_->ClearSlots();
    const double interval = monitor_.StrobeInterval();
    for (int i = 0; i < frame::kCameraSlots; ++i)
        LaunchMonitor::TakeSlot(file, i, *monitor_.frames_[i], interval);
    monitor_.shotInProgress_ = true;
    const long before = monitor_.shotsRecorded_;
    monitor_.ProcessFrames(file, true);
    if (monitor_.shotsRecorded_ != before &&
        monitor_.pass_.snapshot.Yes(base::setting::kUpdateAnalysisDialog)) {
        monitor_.view_->RefreshAnalysisWindow();
    }
    monitor_.StartCycleTimers(true);
}

void RemoteControl::CheckCommands() {
    ReapLaunched();
    if (IsYes(StatusCommand("Shutdown", "No"))) {
        ResetCommand("Shutdown", "No");
        monitor_.closeRequested_ = true;
        monitor_.view_->CloseRequested();
        return;
    }
    if (IsYes(StatusCommand("UpdateSettings", "No"))) {
        ResetCommand("UpdateSettings", "No");
        monitor_.ReloadSettings();
        monitor_.view_->SettingsReloaded();
    }

    const std::string request = StatusCommand("TwoClick", "0, 0, 0, 0");
    ResetCommand("TwoClick", "0, 0, 0, 0");
    const std::string text(base::Trim(request));
    long first = 0;
    std::sscanf(text.c_str(), "%ld", &first);
    if (first == 0) return;
    const std::size_t c1 = text.find(',');
    const std::size_t c2 = c1 == std::string::npos ? c1 : text.find(',', c1 + 1);
    const std::size_t c3 = c2 == std::string::npos ? c2 : text.find(',', c2 + 1);
    if (c3 == std::string::npos) return;
    long x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::sscanf(text.c_str(), "%ld", &x1);
    std::sscanf(text.c_str() + c1 + 1, "%ld", &y1);
    std::sscanf(text.c_str() + c2 + 1, "%ld", &x2);
    std::sscanf(text.c_str() + c3 + 1, "%ld", &y2);
    monitor_.MarkLinePoint(x1, y1);
    if (!monitor_.MarkLinePoint(x2, y2)) return;
    monitor_.RemeasureShot();
}

long RemoteControl::LaunchProgram() {
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read();
    const std::string executable =
        std::string(base::Trim(settings.Text(base::setting::kLauncherExecutable)));
    if (executable.empty()) return -1;
    std::vector<std::string> words =
        SplitArguments(settings.Text(base::setting::kLauncherArguments));
    const std::string folder =
        PlatformFolder(std::string(base::Trim(settings.Text(base::setting::kLauncherDefaultDir))));
    std::vector<char*> argv;
    std::string program = executable;
    argv.push_back(program.data());
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    std::error_code ec;
    // A working folder that does not exist here (the Windows default) leaves the current one.
    if (std::filesystem::is_directory(folder, ec)) {
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    }
    pid_t pid = -1;
    const int failed =
        ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return -1;
    launched_.push_back(pid);
    return pid;
}

void RemoteControl::ReapLaunched() {
    std::erase_if(launched_, [](long pid) {
        int status = 0;
        return ::waitpid(pid_t(pid), &status, WNOHANG) != 0;
    });
}

}  // namespace kyvern::app
