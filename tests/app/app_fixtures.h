#pragma once

#include <sys/stat.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/launch_monitor.h"
#include "app/timer_host.h"
#include "base/config_store.h"
#include "base/message_list.h"
#include "base/program_folder.h"
#include "capture/camera_table.h"
#include "capture/image_file.h"
#include "links/link_fixtures.h"
#include "sim/simulated_driver.h"
#include "support/recording_prompts.h"

namespace kyvern::testing {

// Timers that tick only when the test fires one or moves their clock on.
class ManualTimerHost final : public app::TimerHost {
public:
    void SetTick(Tick tick) override { tick_ = std::move(tick); }
    void StartTimer(int id, int periodMs) override { timers_[id] = {periodMs, now_ + periodMs}; }
    void StopTimer(int id) override { timers_.erase(id); }
    bool IsRunning(int id) const override { return timers_.count(id) != 0; }
    int Period(int id) const override { return IsRunning(id) ? timers_.at(id).period : 0; }
    // One tick of this timer now; false when it does not run.
    bool Fire(int id) {
        if (!IsRunning(id)) return false;
        if (tick_) tick_(id);
        return true;
    }
    // Moves the clock on, ticking every timer that falls due on the way, in the order of time.
    void Advance(long milliseconds) {
        const long end = now_ + milliseconds;
        for (;;) {
            auto next = timers_.end();
            for (auto t = timers_.begin(); t != timers_.end(); ++t)
                if (t->second.due <= end &&
                    (next == timers_.end() || t->second.due < next->second.due))
                    next = t;
            if (next == timers_.end()) break;
            now_ = next->second.due;
            next->second.due += next->second.period;
            if (tick_) tick_(next->first);
        }
        now_ = end;
    }

private:
    struct Timer {
        int period = 0;
        long due = 0;
    };
    Tick tick_;
    long now_ = 0;
    std::map<int, Timer> timers_;
};

// What the cycle showed, for the assertions.
class RecordingView final : public app::MonitorView {
public:
    void ShotRecorded(const shot::ShotRecord& shot, bool newShot) override {
        shots.push_back(shot);
        newShots.push_back(newShot);
    }
    void ShotFailed(std::int32_t code) override { failures.push_back(code); }
    void CloseRequested() override { ++closes; }
    void SettingsReloaded() override { ++reloads; }
    void SetTitle(const std::string& title) override { titles.push_back(title); }
    void ShowFocusFrame(const frame::CapturedImage&, const std::string& text) override {
        focusTexts.push_back(text);
    }
    std::vector<shot::ShotRecord> shots;
    std::vector<bool> newShots;
    std::vector<std::int32_t> failures;
    std::vector<std::string> titles, focusTexts;
    int closes = 0, reloads = 0;
};

// A monitor on hand-fired timers in a program folder and runtime folder of its own, with
// the simulated camera when asked for; no prescribed wait is waited.
struct MonitorRig {
    explicit MonitorRig(int cameras = 1, bool secondInstance = false,
                        const sim::Realism& realism = {}) {
        env.Set("Setup", "ImageHistorySize", "3");
        if (cameras > 0) {
            sim::SimulatorOptions options;
            options.cameras = cameras, options.shotPeriod = 0.0, options.seed = 11;
            options.realism = realism;
            driver = std::make_unique<sim::SimulatedCameraDriver>(options, env.Settings());
            table = std::make_unique<capture::CameraTable>(*driver, prompts, env.Settings());
            table->SetGrabPause(std::chrono::microseconds(0));
            table->InitCameras();
        }
        app::MonitorOptions options;
        options.wait = [](int) {}, options.secondInstance = secondInstance;
        options.routerTiming = QuickRouter();
        options.metadataFactory = &metadata;
        monitor =
            std::make_unique<app::LaunchMonitor>(timers, prompts, messages, table.get(), options);
        monitor->SetView(&view);
    }
    ~MonitorRig() {
        monitor.reset();
        if (table) table->Shutdown();
    }
    // Fires the strobe and waits until the selected camera holds the frame.
    bool Shoot() {
        driver->RequestShot();
        return Eventually([&] { return table->HasNewFrame(sim::kFirstSimulatedSerial); });
    }
    // A shot taken through the camera timer.
    bool ShootAndTake() { return Shoot() && timers.Fire(app::kCameraTimer); }
    // A key of the status file; "?" when it is not there.
    std::string Status(const char* section, const char* key) const {
        return base::ConfigStore::ReadSetting(env.File("statusKyvern.ini"), section, key, "?", 260);
    }

    TempHome env;
    RecordingPrompts prompts;
    base::TextMessageList messages;
    ManualTimerHost timers;
    RecordingView view;
    std::unique_ptr<sim::SimulatedCameraDriver> driver;
    std::unique_ptr<capture::CameraTable> table;
    MetadataRecorder metadata;  // what the video-analysis program is sent
    std::unique_ptr<app::LaunchMonitor> monitor;
};

// A valid 640 x 480 gray frame of one level with the given flash instants.
inline std::unique_ptr<frame::CapturedImage> GrayFrame(double t1, double t2, int level = 90) {
    auto frame = std::make_unique<frame::CapturedImage>();
    frame->width = 640, frame->height = 480, frame->bytesPerPixel = 1, frame->valid = true;
    frame->serialNumber = 77, frame->t1 = t1, frame->t2 = t2;
    std::fill_n(frame->Pixels(), 640 * 480, std::uint8_t(level));
    return frame;
}

// Writes a file (when text is given) and sets its modification time.
inline void Touch(const std::string& path, long seconds, const char* text = nullptr) {
    if (text) WriteFileText(path, text);
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

}  // namespace kyvern::testing
