// The main window: from start to a window ready for shots (no cameras), and from a simulated
// frame waiting in the camera to the shot in the table, the panels and the Image view, painted.
// The shot cycle's prescribed 100 ms pause before the frames are taken is left out. Runs
// offscreen unless a platform is named.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include "bench_support.h"

#include <QApplication>
#include <QTableView>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "capture/camera_table.h"
#include "sim/simulated_driver.h"
#include "ui/image_view.h"
#include "ui/main_window.h"
#include "ui/shots_view.h"

namespace {

using kyvern::bench::QuietPrompts;

using Clock = std::chrono::steady_clock;

// Timers that tick only when fired: the benchmark decides when the camera is looked at.
class FiredTimers final : public kyvern::app::TimerHost {
public:
    void SetTick(Tick tick) override { tick_ = std::move(tick); }
    void StartTimer(int id, int periodMs) override { periods_[id] = periodMs; }
    void StopTimer(int id) override { periods_.erase(id); }
    bool IsRunning(int id) const override { return periods_.count(id) != 0; }
    int Period(int id) const override { return IsRunning(id) ? periods_.at(id) : 0; }
    void Fire(int id) {
        if (IsRunning(id) && tick_) tick_(id);
    }

private:
    Tick tick_;
    std::map<int, int> periods_;
};

std::string MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kyvern-bench-XXXXXX").string();
    std::string folder = ::mkdtemp(pattern.data());
    ::setenv("KYVERN_HOME", folder.c_str(), 1);
    ::setenv("KYVERN_RUNTIME_DIR", (folder + "/run").c_str(), 1);
    return folder;
}

kyvern::ui::WindowOptions Options(FiredTimers& timers, QuietPrompts& prompts,
                                  kyvern::capture::CameraTable* cameras) {
    kyvern::ui::WindowOptions options;
    options.timers = &timers, options.prompts = &prompts, options.cameras = cameras;
    options.monitor.wait = [](int) {};
    options.fade = false;
    return options;
}

void BM_WindowStart(benchmark::State& state) {
    const std::string folder = MakeFolder();
    QuietPrompts prompts;
    for (auto _ : state) {
        FiredTimers timers;
        const auto began = Clock::now();
        auto window = std::make_unique<kyvern::ui::MainWindow>(Options(timers, prompts, nullptr));
        window->resize(1440, 900);
        window->show();
        window->Start();
        window->repaint();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - began).count());
        window.reset();
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WindowStart)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

void BM_ShotToScreen(benchmark::State& state) {
    const std::string folder = MakeFolder();
    QuietPrompts prompts;
    FiredTimers timers;
    kyvern::sim::SimulatorOptions simulator;
    simulator.cameras = 1, simulator.shotPeriod = 0.0, simulator.seed = 5;
    kyvern::sim::SimulatedCameraDriver driver(simulator, kyvern::base::Settings());
    kyvern::capture::CameraTable cameras(driver, prompts, kyvern::base::Settings());
    cameras.SetGrabPause(std::chrono::microseconds(0));
    cameras.InitCameras();
    {
        kyvern::ui::MainWindow window(Options(timers, prompts, &cameras));
        window.resize(1440, 900);
        window.show();
        window.Start();
        double cycle = 0.0;
        for (auto _ : state) {
            driver.RequestShot();
            while (!cameras.HasNewFrame(kyvern::sim::kFirstSimulatedSerial)) {
            }
            const auto began = Clock::now();
            timers.Fire(kyvern::app::kCameraTimer);
            const auto cycled = Clock::now();
            window.Image().grab();  // painted for certain, the picture drawn on the way
            window.Shots().TableView()->viewport()->repaint();
            window.repaint();
            const auto painted = Clock::now();
            state.SetIterationTime(std::chrono::duration<double>(painted - began).count());
            cycle += std::chrono::duration<double, std::milli>(cycled - began).count();
        }
        // The shot cycle's share (analysis to published shot), the rest is the window's.
        state.counters["cycle_ms"] = cycle / double(state.iterations());
        state.counters["shots"] = double(window.Monitor().ShotsRecorded());
    }
    cameras.Shutdown();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ShotToScreen)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
