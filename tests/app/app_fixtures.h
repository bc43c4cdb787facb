#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/launch_monitor.h"
#include "base/message_list.h"
#include "capture/camera_table.h"
#include "links/link_fixtures.h"
#include "manual_timer_host.h"
#include "sim/simulated_driver.h"
#include "support/recording_prompts.h"

namespace kyvern::testing {

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
    void ShowFocusFrame(const analysis::CapturedImage&, const std::string& text) override {
        focusTexts.push_back(text);
    }
    std::vector<shot::ShotRecord> shots;
    std::vector<bool> newShots;
    std::vector<std::int32_t> failures;
    std::vector<std::string> titles;
    std::vector<std::string> focusTexts;
    int closes = 0;
    int reloads = 0;
};

// A monitor on hand-stepped timers in a program folder and runtime folder of its own, with
// the simulated camera when asked for; no prescribed wait is waited.
struct MonitorRig {
    explicit MonitorRig(int cameras = 1, bool secondInstance = false) {
        env.Set("Setup", "ImageHistorySize", "3");
        if (cameras > 0) {
            sim::SimulatorOptions options;
            options.cameras = cameras;
            options.shotPeriod = 0.0;
            options.seed = 11;
            driver = std::make_unique<sim::SimulatedCameraDriver>(options, env.Settings());
            table = std::make_unique<capture::CameraTable>(*driver, prompts, env.Settings());
            table->SetGrabPause(std::chrono::microseconds(0));
            table->InitCameras();
        }
        app::MonitorOptions options;
        options.wait = [](int) {};
        options.secondInstance = secondInstance;
        options.routerTiming = QuickRouter();
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

    TempHome env;
    RecordingPrompts prompts;
    base::TextMessageList messages;
    ManualTimerHost timers;
    RecordingView view;
    std::unique_ptr<sim::SimulatedCameraDriver> driver;
    std::unique_ptr<capture::CameraTable> table;
    std::unique_ptr<app::LaunchMonitor> monitor;
};

}  // namespace kyvern::testing
