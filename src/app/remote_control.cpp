// Remote control by files: the watched capture file, the commands in the status file, the
// automated test over a folder of images, and the program launcher.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "app/launch_monitor.h"
#include "base/config_store.h"
#include "base/program_folder.h"
#include "base/settings_schema.h"

extern char** environ;

namespace kyvern::app {
namespace {

bool IsYes(std::string_view text) { return base::EqualsNoCase(base::Trim(text), "yes"); }

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

// A folder setting as this platform spells it: a leading backslash names a folder of the
// program folder (the default "\Images\"), every backslash is a slash.
std::string PlatformFolder(std::string text) {
    const bool underProgram = !text.empty() && text[0] == '\\';
    std::replace(text.begin(), text.end(), '\\', '/');
    if (underProgram) text = base::ProgramFolder() + text;
    return text;
}

// The files matching prefix + "*.bmp" (the extension in any case), in name order.
std::vector<std::string> MatchingImages(const std::string& prefix) {
    namespace fs = std::filesystem;
    const std::size_t cut = prefix.find_last_of('/');
    const std::string folder = cut == std::string::npos ? "." : prefix.substr(0, cut + 1);
    const std::string start = cut == std::string::npos ? prefix : prefix.substr(cut + 1);
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < start.size() + 4 || name.compare(0, start.size(), start) != 0) continue;
        if (!base::EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".bmp")) continue;
        if (!it->is_regular_file(ec)) continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

long TimeBetween() {
    const long ms = base::Settings().Integer(base::setting::kRegressionTimeBetween);
    return std::clamp(ms, 100L, 15000L);
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

void LaunchMonitor::CheckCaptureFile() {
    if (suspended_) return;
    struct stat info {};
    if (capturePath_.empty() || ::stat(capturePath_.c_str(), &info) != 0) return;
    const std::string stamp = ClockText("%x %X", info.st_mtime);
    if (stamp == lastStamp_) return;
    // Kept at once, so that a file that does not load is not tried again until it changes.
    lastStamp_ = stamp;
    base::Settings().Write(base::setting::kCaptureFileModified, stamp);

    capture::ImageFile& file = *workFile_;
    file.Clear();
    if (!file.Load(capturePath_)) return;
    StartCycleTimers(false);
    view_->ShowCaptureLabel(ClockText("Capture at %H:%M:%S", std::time(nullptr)));
    UpdateNames();
    scene_->ClearSlots();
    const double interval = StrobeInterval();
    for (int i = 0; i < analysis::kSceneSlots; ++i)
        TakeSlot(file, i, *frames_[i], interval);
    shotInProgress_ = true;
    const long before = shotsRecorded_;
    ProcessFrames(file, true);
    if (shotsRecorded_ != before && base::Settings().Yes(base::setting::kUpdateAnalysisDialog)) {
        view_->RefreshAnalysisWindow();
    }
    StartCycleTimers(true);
}

void LaunchMonitor::CheckCommands() {
    ReapLaunched();
    if (IsYes(StatusCommand("Shutdown", "No"))) {
        ResetCommand("Shutdown", "No");
        closeRequested_ = true;
        view_->CloseRequested();
        return;
    }
    if (IsYes(StatusCommand("UpdateSettings", "No"))) {
        ResetCommand("UpdateSettings", "No");
        table_->ReadDisplayUnits();
        ReadModeAndSelection();
        if (cameras_) cameras_->ApplySpeedAndBrightness();
        sensor_->Configure(false);
        serialOutput_->Configure();
        metadata_->ReadUnits();
        if (hasShot_) {
            const shot::LaunchConditions& l = shot_.launch;
            sensor_->Recompute(l.ballSpeed, l.launchAngle, l.sideAngle, l.backSpin, l.sideSpin);
            shot_.club = sensor_->Club();
        }
        view_->SettingsReloaded();
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
    MarkLinePoint(x1, y1);
    if (!MarkLinePoint(x2, y2)) return;
    shot_.launch.Set(scene_->BallSpeed(), scene_->LaunchAngle(), scene_->SideAngle(),
                     scene_->TotalSpin(), scene_->BackSpin(), scene_->SideSpin());
    sensor_->Recompute(scene_->BallSpeed(), scene_->LaunchAngle(), scene_->SideAngle(),
                       scene_->BackSpin(), scene_->SideSpin());
    UpdateClubAndIndex();
    ComputeShot(false);
}

bool LaunchMonitor::MarkLinePoint(long x, long y) {
    // The scene's copy of frame 0 is corrected (it is what the solve reads) and so is the
    // frame the views show; the second point of a ball solves the launch again.
    return corrections_.MarkLinePoint(*scene_, 0, static_cast<int>(x), static_cast<int>(y),
                                      frames_[0].get());
}

void LaunchMonitor::StartTest() {
    testDirectory_.clear();
    testContinuous_ = false;
    testRunning_ = true;
    testRestart_ = true;
    timers_.StartTimer(kTestTimer, 2000);
}

void LaunchMonitor::StartTest(std::string directory, bool continuous) {
    StartTest();
    testDirectory_ = std::move(directory);
    testContinuous_ = continuous;
}

void LaunchMonitor::EndTest() {
    testRunning_ = false;
    testRestart_ = true;
    timers_.StopTimer(kTestTimer);
}

void LaunchMonitor::RunTestStep() {
    timers_.StopTimer(kTestTimer);
    const std::string prefix =
        testDirectory_.empty()
            ? PlatformFolder(base::Settings().Text(base::setting::kRegressionDirectory))
            : testDirectory_;
    if (testRestart_) {
        testRestart_ = false;
        testRunning_ = true;
        view_->SetTitle("Automated Test");
        testFiles_ = MatchingImages(prefix);
        testIndex_ = 0;
        if (testFiles_.empty()) {
            EndTest();
            return;
        }
    }
    if (testIndex_ >= testFiles_.size()) {
        EndTest();
        return;
    }
    const std::string name = testFiles_[testIndex_];
    const std::string folder = prefix.substr(0, prefix.find_last_of('/') + 1);
    const std::string path = folder + name;
    capture::ImageFile& file = *workFile_;
    file.Clear();
    if (!file.Load(path)) {
        EndTest();
        return;
    }
    shotInProgress_ = true;
    view_->ShowFileLabel(ShowPath(path));
    AnalyzeLoadedFile(file);
    if (!lastSolveOk_) {
        EndTest();
        return;
    }

    // The result line of the first analysed frame.
    const analysis::CapturedImage* frame = nullptr;
    for (int i = 0; i < analysis::kSceneSlots && !frame; ++i) {
        if (scene_->Slot(i).valid && scene_->Slot(i).analyzed) frame = &scene_->Slot(i);
    }
    if (frame) {
        const analysis::BallRecord& b0 = frame->result.balls[0];
        const analysis::BallRecord& b1 = frame->result.balls[1];
        const analysis::Xyz& p = b0.planeNormal;
        const analysis::Xyz& v = b0.viewNormal;
        const double lengths = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z) *
                               std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        // Two normals of no length have no angle; rounding may push the cosine past 1.
        double angle = 0.0;
        if (lengths > 0.0) {
            const double cosine =
                std::clamp((p.x * v.x + p.y * v.y + p.z * v.z) / lengths, -1.0, 1.0);
            angle = std::acos(cosine) * 57.29577951308238;
        }
        double arc = b0.pix.z * 3.14159265358979 * angle / 360.0;
        if (angle < 0.001) angle = 0.0;
        if (arc < 0.001) arc = 0.0;
        char line[512 + 260];
        std::snprintf(line, sizeof line,
                      "%s, %.0f, %.0f, %.6f, %.6f, %.6f, %.6f, %.6f, %.6f, %.1f, %.1f\n",
                      name.c_str(), scene_->BallSpeed(), scene_->LaunchAngle(), b0.viewNormal.x,
                      b0.viewNormal.y, b0.viewNormal.z, b1.viewNormal.x, b1.viewNormal.y,
                      b1.viewNormal.z, angle, arc);
        // A result file that cannot be opened loses the line; the run goes on.
        if (std::FILE* out = std::fopen(base::SideSpinTestPath().c_str(), "a")) {
            std::fputs(line, out);
            std::fclose(out);
        }
        std::string shown(line);
        shown.pop_back();
        view_->TestLineWritten(shown);
    }

    ++testIndex_;
    if (testIndex_ < testFiles_.size()) {
        timers_.StartTimer(kTestTimer, int(TimeBetween()));
    } else if (testDirectory_.empty() ? base::Settings().Yes(base::setting::kRegressionContinuous)
                                      : testContinuous_) {
        testRestart_ = true;
        timers_.StartTimer(kTestTimer, int(TimeBetween()));
    } else {
        EndTest();
    }
}

long LaunchMonitor::LaunchProgram() {
    const std::string executable =
        std::string(base::Trim(base::Settings().Text(base::setting::kLauncherExecutable)));
    if (executable.empty()) return -1;
    std::vector<std::string> words =
        SplitArguments(base::Settings().Text(base::setting::kLauncherArguments));
    const std::string folder = PlatformFolder(
        std::string(base::Trim(base::Settings().Text(base::setting::kLauncherDefaultDir))));
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

void LaunchMonitor::ReapLaunched() {
    std::erase_if(launched_, [](long pid) {
        int status = 0;
        return ::waitpid(pid_t(pid), &status, WNOHANG) != 0;
    });
}

}  // namespace kyvern::app
