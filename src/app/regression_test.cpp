// The automated test over a folder of saved images.
#include "app/regression_test.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/launch_monitor.h"
#include "app/remote_control.h"
#include "base/config_store.h"
#include "base/math_constants.h"
#include "base/program_folder.h"
#include "base/settings_snapshot.h"

namespace kyvern::app {
namespace {

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
    const long ms = base::SettingsSnapshot::Read().Integer(base::setting::kRegressionTimeBetween);
    const base::SettingRange range = base::Spec(base::setting::kRegressionTimeBetween).range;
    return std::clamp(ms, static_cast<long>(range.low), static_cast<long>(range.high));
}

}  // namespace

void RegressionTest::Start() {
    directory_.clear();
    continuous_ = false;
    running_ = true;
    restart_ = true;
    monitor_.timers_.StartTimer(kTestTimer, 2000);
}

void RegressionTest::Start(std::string directory, bool continuous) {
    Start();
    directory_ = std::move(directory);
    continuous_ = continuous;
}

void RegressionTest::End() {
    running_ = false;
    restart_ = true;
    monitor_.timers_.StopTimer(kTestTimer);
}

void RegressionTest::RunStep() {
    monitor_.timers_.StopTimer(kTestTimer);
    const std::string prefix = directory_.empty()
                                   ? PlatformFolder(base::SettingsSnapshot::Read().Text(
                                         base::setting::kRegressionDirectory))
                                   : directory_;
    if (restart_) {
        restart_ = false;
        running_ = true;
        monitor_.view_->SetTitle("Automated Test");
        files_ = MatchingImages(prefix);
        index_ = 0;
        if (files_.empty()) {
            End();
            return;
        }
    }
    if (index_ >= files_.size()) {
        End();
        return;
    }
    const std::string name = files_[index_];
    const std::string folder = prefix.substr(0, prefix.find_last_of('/') + 1);
    const std::string path = folder + name;
    capture::ImageFile& file = *monitor_.workFile_;
    file.Clear();
    if (!base::Show(file.Load(path), monitor_.prompts_)) {
        End();
        return;
    }
    monitor_.shotInProgress_ = true;
    monitor_.view_->ShowFileLabel(monitor_.ShowPath(path));
    monitor_.AnalyzeLoadedFile(file);
    if (!monitor_.lastSolveOk_) {
        End();
        return;
    }

    // The result line of the first analysed frame.
    const frame::CapturedImage* frame = nullptr;
    for (int i = 0; i < frame::kCameraSlots && !frame; ++i) {
        if (monitor_.scene_->Slot(i).valid && monitor_.scene_->Slot(i).analyzed)
            frame = &monitor_.scene_->Slot(i);
    }
    if (frame) {
        const frame::BallRecord& b0 = frame->result.balls[0];
        const frame::BallRecord& b1 = frame->result.balls[1];
        const frame::Xyz& p = b0.planeNormal;
        const frame::Xyz& v = b0.viewNormal;
        const double lengths = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z) *
                               std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        // Two normals of no length have no angle; rounding may push the cosine past 1.
        double angle = 0.0;
        if (lengths > 0.0) {
            const double cosine =
                std::clamp((p.x * v.x + p.y * v.y + p.z * v.z) / lengths, -1.0, 1.0);
            angle = std::acos(cosine) * base::kRadiansToDegrees;
        }
        double arc = b0.pix.z * base::kPi * angle / 360.0;
        if (angle < 0.001) angle = 0.0;
        if (arc < 0.001) arc = 0.0;
        char line[512 + 260];
        std::snprintf(line, sizeof line,
                      "%s, %.0f, %.0f, %.6f, %.6f, %.6f, %.6f, %.6f, %.6f, %.1f, %.1f\n",
                      name.c_str(), monitor_.scene_->BallSpeed(), monitor_.scene_->LaunchAngle(),
                      b0.viewNormal.x, b0.viewNormal.y, b0.viewNormal.z, b1.viewNormal.x,
                      b1.viewNormal.y, b1.viewNormal.z, angle, arc);
        // A result file that cannot be opened loses the line; the run goes on.
        if (std::FILE* out = std::fopen(base::SideSpinTestPath().c_str(), "a")) {
            std::fputs(line, out);
            std::fclose(out);
        }
        std::string shown(line);
        shown.pop_back();
        monitor_.view_->TestLineWritten(shown);
    }

    ++index_;
    if (index_ < files_.size()) {
        monitor_.timers_.StartTimer(kTestTimer, int(TimeBetween()));
    } else if (directory_.empty()
                   ? base::SettingsSnapshot::Read().Yes(base::setting::kRegressionContinuous)
                   : continuous_) {
        restart_ = true;
        monitor_.timers_.StartTimer(kTestTimer, int(TimeBetween()));
    } else {
        End();
    }
}

}  // namespace kyvern::app
