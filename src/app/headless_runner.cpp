#include "app/headless_runner.h"

#include <csignal>
#include <ctime>
#include <memory>

#include <nlohmann/json.hpp>

#include "analysis/analysis_codes.h"
#include "app/instance_lock.h"
#include "base/config_store.h"
#include "base/log.h"
#include "base/program_folder.h"
#include "base/settings_snapshot.h"
#include "capture/camera_backends.h"
#include "capture/camera_table.h"
#include "shot/text_formats.h"
#include "shot/units.h"
#include "sim/simulated_driver.h"

namespace kyvern::app {
namespace {

std::atomic<bool>* gStop = nullptr;

extern "C" void OnStopSignal(int) {
    if (gStop) gStop->store(true);
}

class SignalScope {
public:
    SignalScope(std::atomic<bool>& stop, bool install) : install_(install) {
        if (!install_) return;
        gStop = &stop;
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~SignalScope() {
        if (!install_) return;
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
        gStop = nullptr;
    }
    SignalScope(const SignalScope&) = delete;
    SignalScope& operator=(const SignalScope&) = delete;

private:
    bool install_;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

class TestLinePrinter final : public MonitorView {
public:
    explicit TestLinePrinter(std::FILE* out) : out_(out) {}
    void TestLineWritten(const std::string& line) override {
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }

private:
    std::FILE* out_;
};

// Prints each shot as it is recorded, and what the simulator link has to say.
class PrintingView final : public MonitorView {
public:
    PrintingView(std::FILE* out, bool json) : out_(out), json_(json) {}
    const LaunchMonitor* monitor = nullptr;  // whose pass's units the lines are in
    void ShowSimulatorLink(const links::SimLinkState& state) override {
        if (!out_) return;
        std::fprintf(out_, "simulator link: %s%s%s\n", links::SimLinkPhaseName(state.phase),
                     state.reason.empty() ? "" : ": ", state.reason.c_str());
        std::fflush(out_);
    }
    void SimulatorLinkNote(const std::string& line) override {
        if (!out_) return;
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }
    void ShotRecorded(const shot::ShotRecord& shot, bool newShot) override {
        if (!newShot || !out_ || !monitor) return;
        const PassOptions& pass = monitor->Pass();
        const std::string line =
            json_ ? ShotJsonLine(shot) : ShotLine(shot, pass.speedUnit, pass.distanceUnit);
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }
    void ShotFailed(std::int32_t errorCode) override { Failed(errorCode, -1.0, ""); }
    void ShotRefused(std::int32_t errorCode, double confidence,
                     const std::string& reasons) override {
        Failed(errorCode, confidence, reasons);
    }

private:
    void Failed(std::int32_t errorCode, double confidence, const std::string& reasons) {
        if (!out_) return;
        if (json_) {
            nlohmann::ordered_json line{{"shot", false}, {"error", analysis::ErrorText(errorCode)}};
            if (confidence >= 0.0) {
                line["confidence"] = confidence;
                line["doubts"] = reasons;
            }
            std::fprintf(out_, "%s\n", line.dump().c_str());
            std::fflush(out_);
            return;
        }
        char time[16];
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        std::strftime(time, sizeof time, "%H:%M:%S", &local);
        if (confidence >= 0.0) {
            std::fprintf(out_, "%s  no shot: doubtful (confidence %.2f): %s\n", time, confidence,
                         reasons.c_str());
        } else {
            std::fprintf(out_, "%s  no shot: the frame could not be analysed\n", time);
        }
        std::fflush(out_);
    }

    std::FILE* out_;
    bool json_;
};

}  // namespace

RunCameras OpenCameras(bool simulate, bool shootOnIdle, base::UserPrompts& prompts,
                       const base::Settings& settings) {
    RunCameras run;
    const base::SettingsSnapshot snapshot = base::SettingsSnapshot::Read(settings);
    run.driverName = std::string(base::Trim(snapshot.Text(base::setting::kCameraDriver)));
    if (simulate || base::SettingsSnapshot::FindWord<base::setting::kCameraDriver>(
                        run.driverName) == base::choice::CameraDriver::kSimulated) {
        sim::SimulatorOptions simOptions = sim::ReadSimulatorOptions(snapshot);
        if (shootOnIdle) simOptions.shotPeriod = 0.0;
        auto made = std::make_unique<sim::SimulatedCameraDriver>(simOptions, settings);
        run.simulated = made.get();
        run.driver = std::move(made);
    } else {
        run.driver = capture::MakeHardwareDriver(run.driverName);
    }
    if (run.driver) {
        run.table = std::make_unique<capture::CameraTable>(*run.driver, prompts, settings);
        run.table->InitCameras();
    }
    return run;
}

std::string ShotLine(const shot::ShotRecord& s, int speedUnit, int distanceUnit) {
    const char* speed = shot::SpeedLabel(speedUnit);
    const char* distance = shot::DistanceLabel(distanceUnit);
    char time[16];
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    char line[512];
    std::snprintf(
        line, sizeof line,
        "%s  %s  ball %.1f %s  launch %.1f  side %.1f  back %.0f  side spin %.0f rpm  club %.1f "
        "%s  carry %.1f %s  total %.1f %s  offline %s  score %s",
        time, s.item.c_str(), shot::ToDisplaySpeed(s.launch.ballSpeed, speedUnit), speed,
        s.launch.launchAngle, s.launch.sideAngle, s.launch.backSpin, s.launch.sideSpin,
        shot::ToDisplaySpeed(s.club.clubSpeed.Value(), speedUnit), speed,
        shot::ToDisplayDistance(s.flight.carry, distanceUnit), distance,
        shot::ToDisplayDistance(s.flight.total, distanceUnit), distance,
        shot::FormatOffline(shot::ToDisplayDistance(s.flight.totalOffline, distanceUnit)).c_str(),
        shot::FormatShotScore(s.shotScore).c_str());
    return s.launch.spinDoubtful ? std::string(line) + "  (spin doubtful)" : std::string(line);
}

std::string ShotJsonLine(const shot::ShotRecord& s) {
    const shot::LaunchConditions& l = s.launch;
    // Record units: ft/s, degrees, rpm, yards; a doubtful spin is not given as measured.
    nlohmann::ordered_json line{{"shot", true},
                                {"item", s.item},
                                {"ballSpeed", l.ballSpeed},
                                {"ballSpeedMph", l.ballSpeedMph},
                                {"launchAngle", l.launchAngle},
                                {"sideAngle", l.sideAngle},
                                {"confidence", l.confidence},
                                {"spinDoubtful", l.spinDoubtful}};
    if (!l.spinDoubtful) {
        line["backSpin"] = l.backSpin;
        line["sideSpin"] = l.sideSpin;
    }
    if (!l.spinDoubtful) {
        line["carry"] = s.flight.carry;
        line["total"] = s.flight.total;
        line["offline"] = s.flight.totalOffline;
    }
    return line.dump();
}

namespace {

// Every run of the shot cycle starts alike: the program folder opened (its stale temporaries
// removed) and the instance lock taken. False, with the reason printed, when this run must not
// go on; secondInstance says whether another instance holds the lock and this one may run beside
// it.
bool BeginInstance(const InstanceLock& lock, bool& secondInstance) {
    if (std::string why; !base::OpenProgramFolder(why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return false;
    }
    secondInstance = lock.Status() == InstanceLock::State::kTaken;
    if (secondInstance &&
        !base::SettingsSnapshot::Read().Yes(base::setting::kAllowMultipleInstances)) {
        std::fprintf(stderr,
                     "Another instance is running (Setup/AllowMultipleInstances is not yes)\n");
        return false;
    }
    return true;
}

}  // namespace

int RunHeadless(const HeadlessOptions& options, std::atomic<bool>& stop, bool installSignals,
                const std::function<void(LaunchMonitor&)>& done) {
    const InstanceLock lock;
    MonitorOptions monitorOptions;
    if (!BeginInstance(lock, monitorOptions.secondInstance)) return 1;
    const base::Settings settings;
    base::StderrPrompts prompts;
    base::TextMessageList messages;
    const base::SettingsSnapshot snapshot = base::SettingsSnapshot::Read(settings);

    RunCameras run = OpenCameras(options.simulate, options.shootOnIdle, prompts, settings);
    std::unique_ptr<capture::CameraTable>& cameras = run.table;
    sim::SimulatedCameraDriver* simulated = run.simulated;
    // Counted shots can only come from a camera or the watched file: without either the run
    // would wait for ever.
    const bool watching = !base::Trim(snapshot.Text(base::setting::kCaptureFile)).empty();
    if (options.shots > 0 && (!cameras || cameras->CameraCount() == 0) && !watching) {
        std::fprintf(stderr, "No camera and no Remote/CaptureFile to watch: no shot can come\n");
        if (cameras) cameras->Shutdown();
        return 1;
    }
    if (!run.driver) {
        base::Logf(base::LogCategory::kCapture, base::LogLevel::kWarning,
                   "No camera back-end \"%s\" in this build; watching files only",
                   run.driverName.c_str());
    }

    int status = 0;
    {
        SignalScope signals(stop, installSignals);
        LoopTimerHost timers;
        PrintingView view(options.out, options.json);
        LaunchMonitor monitor(timers, prompts, messages, cameras.get(), monitorOptions);
        view.monitor = &monitor;
        monitor.SetView(&view);
        monitor.Start();
        long requested = -1;
        timers.Run([&] {
            if (stop.load() || monitor.CloseRequested()) return false;
            if (options.shots > 0 && monitor.ShotsRecorded() >= options.shots) return false;
            // One strobe per finished pass, while the cycle waits for a frame.
            const long passes = monitor.PassCount();
            if (options.shootOnIdle && simulated && !monitor.ShotInProgress() &&
                passes != requested) {
                requested = passes;
                simulated->RequestShot();
            }
            return true;
        });
        monitor.Stop();
        if (done) done(monitor);
    }
    if (cameras) cameras->Shutdown();
    return status;
}

int RunRegression(const std::string& folder, bool continuous, std::atomic<bool>& stop,
                  bool installSignals, std::FILE* out) {
    const InstanceLock lock;
    MonitorOptions monitorOptions;
    if (!BeginInstance(lock, monitorOptions.secondInstance)) return 1;
    base::StderrPrompts prompts;
    base::TextMessageList messages;
    SignalScope signals(stop, installSignals);
    LoopTimerHost timers;
    TestLinePrinter view(out);
    LaunchMonitor monitor(timers, prompts, messages, nullptr, monitorOptions);
    monitor.SetView(&view);
    monitor.Start();
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    monitor.Test().Start(prefix, continuous);
    auto keepGoing = [&] {
        return !stop.load() && !monitor.CloseRequested() && monitor.TestRunning();
    };
    if (continuous) {
        timers.Run(keepGoing);  // without end: paced by RegressionTest/TimeBetween
    } else {
        while (keepGoing() && timers.DispatchNext()) {
        }
    }
    monitor.Stop();
    return 0;
}

}  // namespace kyvern::app
