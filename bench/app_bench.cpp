// The shot cycle on the simulated camera: frame in to shot published without the prescribed
// waits, its parts, and a soak of many shots watching memory and open file descriptors.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "app/launch_monitor.h"
#include "base/program_folder.h"
#include "base/settings_schema.h"
#include "capture/camera_table.h"
#include "sim/simulated_driver.h"

namespace {

using kyvern::app::LaunchMonitor;

class QuietPrompts final : public kyvern::base::UserPrompts {
public:
    void Message(std::string_view) override { ++messages; }
    bool OkCancel(std::string_view) override { return true; }
    int messages = 0;
};

class QuietList final : public kyvern::base::MessageList {
public:
    void Add(std::string_view) override {}
};

long OpenDescriptors() {
    long count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir))
            ++count;
        ::closedir(dir);
    }
    return count - 3;  // ".", ".." and the listing's own
}

long ResidentKilobytes() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// A program folder and runtime folder of its own, the simulated bus and a monitor whose waits
// are skipped.
struct Rig {
    Rig() {
        char pattern[] = "/tmp/kyvern-bench-XXXXXX";
        folder = ::mkdtemp(pattern);
        ::setenv("KYVERN_HOME", folder.c_str(), 1);
        ::setenv("KYVERN_RUNTIME_DIR", (folder + "/run").c_str(), 1);
        kyvern::base::Settings().Write(kyvern::base::setting::kImageHistorySize, "50");
        kyvern::sim::SimulatorOptions options;
        options.shotPeriod = 0.0;
        options.seed = 3;
        driver = std::make_unique<kyvern::sim::SimulatedCameraDriver>(options,
                                                                      kyvern::base::SettingsPath());
        table = std::make_unique<kyvern::capture::CameraTable>(*driver, prompts,
                                                               kyvern::base::Settings());
        table->SetGrabPause(std::chrono::microseconds(0));
        table->InitCameras();
        kyvern::app::MonitorOptions monitorOptions;
        monitorOptions.wait = [](int) {};
        monitor =
            std::make_unique<LaunchMonitor>(timers, prompts, list, table.get(), monitorOptions);
        monitor->Start();
    }
    ~Rig() {
        monitor.reset();
        table->Shutdown();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    // Fires the strobe and waits until the frame is parked in the camera layer.
    void Shoot() {
        driver->RequestShot();
        while (!table->HasNewFrame(kyvern::sim::kFirstSimulatedSerial))
            std::this_thread::yield();
    }

    std::string folder;
    QuietPrompts prompts;
    QuietList list;
    kyvern::app::LoopTimerHost timers;
    std::unique_ptr<kyvern::sim::SimulatedCameraDriver> driver;
    std::unique_ptr<kyvern::capture::CameraTable> table;
    std::unique_ptr<LaunchMonitor> monitor;
};

// Notes when a shot has reached every link: it is added after them all.
struct PublishedClock : kyvern::app::ShotPublisher {
    void ShotFinished(const kyvern::app::PublishedShot&) override {
        at = std::chrono::steady_clock::now();
    }
    std::chrono::steady_clock::time_point at;
};

// The whole pass of a camera tick: status, notices, fetch, history, analysis, scene, club
// data, flight, status results, table, outputs, overlay picture. Arguments: the analysis's
// widest vector lanes (8: all this processor has, 4: AVX2 only) and its threads. The CPU time
// is the whole process's, the camera layer's threads included. published_ms is the wall time
// from the tick to the last link's publication; the overlay picture and the pictures' commits
// follow it.
void BM_FrameInToShotPublished(benchmark::State& state) {
    Rig rig;
    auto clock = std::make_unique<PublishedClock>();
    PublishedClock& published = *clock;
    rig.monitor->AddPublisher(std::move(clock));
    double publishedSeconds = 0.0;
    char threads[16];
    std::snprintf(threads, sizeof threads, "%d", int(state.range(1)));
    kyvern::base::Settings().Write(kyvern::base::setting::kAnalysisThreads, threads);
    rig.Shoot();
    rig.monitor->CameraTick();  // the analyzer exists from here on
    if (kyvern::analysis::ImageAnalyzer* analyzer = rig.monitor->Pipeline().Analyzer()) {
        analyzer->LimitLanes(int(state.range(0)));
    }
    long failed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        rig.Shoot();
        const long before = rig.monitor->ShotsRecorded();
        state.ResumeTiming();
        const auto tick = std::chrono::steady_clock::now();
        rig.monitor->CameraTick();
        if (rig.monitor->ShotsRecorded() == before) ++failed;
        publishedSeconds += std::chrono::duration<double>(published.at - tick).count();
    }
    state.counters["failed"] = double(failed);
    state.counters["published_ms"] = publishedSeconds * 1e3 / double(state.iterations());
}
BENCHMARK(BM_FrameInToShotPublished)
    ->ArgsProduct({{8, 4}, {1, 2}})
    ->ArgNames({"lanes", "threads"})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);

// The parts, each on the frames of the last pass.
void BM_PartSaveHistory(benchmark::State& state) {
    Rig rig;
    rig.Shoot();
    rig.monitor->CameraTick();
    kyvern::capture::ImageFile file{kyvern::base::Settings()};
    file.SetImage(0, rig.monitor->Frame(0));
    for (auto _ : state)
        rig.monitor->SaveHistory(file);
}
BENCHMARK(BM_PartSaveHistory)->Unit(benchmark::kMillisecond)->Iterations(40);

void BM_PartAnalyzeFrame(benchmark::State& state) {
    Rig rig;
    rig.Shoot();
    rig.monitor->CameraTick();
    for (auto _ : state)
        rig.monitor->AnalyzeFrame(0);
}
BENCHMARK(BM_PartAnalyzeFrame)->Unit(benchmark::kMillisecond)->Iterations(40);

void BM_PartSolveScene(benchmark::State& state) {
    Rig rig;
    rig.Shoot();
    rig.monitor->CameraTick();
    for (auto _ : state)
        benchmark::DoNotOptimize(rig.monitor->Scene().SolveLaunch());
}
BENCHMARK(BM_PartSolveScene)->Unit(benchmark::kMicrosecond);

// Club update and the shot computation, overlay picture included, for the held shot.
void BM_PartComputeShot(benchmark::State& state) {
    Rig rig;
    rig.Shoot();
    rig.monitor->CameraTick();
    for (auto _ : state) {
        rig.monitor->UpdateClubAndIndex();
        rig.monitor->ComputeShot(false);
    }
}
BENCHMARK(BM_PartComputeShot)->Unit(benchmark::kMillisecond)->Iterations(40);

// The status file's share of the shot computation: the eleven operations of a recorded shot,
// each one atomic replacement of the file.
void BM_PartStatusWrites(benchmark::State& state) {
    Rig rig;
    kyvern::links::StatusFile& status = rig.monitor->Status();
    const double zero[3] = {0, 0, 0};
    for (auto _ : state) {
        status.ClearResults();
        status.WriteBall(200, 12, 1, 3000, 2990, 100, 16);
        status.WriteClub(150, 1, 1, 0, 0, 12, 0, -2);
        status.WriteFlight(700, 10, 760, 12, 60, 90, 6);
        status.WriteShaft();
        status.WriteGolfer();
        status.WriteWeather(kyvern::flight::Weather{});
        status.WriteAnalysis(90, 1.4);
        status.CompleteSuccess(false);
        status.WriteImageBallData(0, zero, zero, zero, 0);
        status.WriteImageBallData(1, zero, zero, zero, 0);
    }
}
BENCHMARK(BM_PartStatusWrites)->Unit(benchmark::kMillisecond)->Iterations(40);

// The club and index update alone: the club values and both performance figures.
void BM_PartClubAndIndex(benchmark::State& state) {
    Rig rig;
    rig.Shoot();
    rig.monitor->CameraTick();
    for (auto _ : state)
        rig.monitor->UpdateClubAndIndex();
}
BENCHMARK(BM_PartClubAndIndex)->Unit(benchmark::kMillisecond)->Iterations(40);

void BM_PartSaveOverlay(benchmark::State& state) {
    Rig rig;
    rig.Shoot();
    rig.monitor->CameraTick();
    for (auto _ : state)
        rig.monitor->SaveOverlayImage();
}
BENCHMARK(BM_PartSaveOverlay)->Unit(benchmark::kMillisecond)->Iterations(40);

// About an hour of shooting: memory and descriptors after a warm-up against the end.
void BM_Soak(benchmark::State& state) {
    Rig rig;
    for (int i = 0; i < 20; ++i) {
        rig.Shoot();
        rig.monitor->CameraTick();
    }
    const long rssStart = ResidentKilobytes();
    const long fdStart = OpenDescriptors();
    for (auto _ : state) {
        rig.Shoot();
        rig.monitor->CameraTick();
    }
    state.counters["shots"] = double(rig.monitor->ShotsRecorded());
    state.counters["rss_start_kB"] = double(rssStart);
    state.counters["rss_end_kB"] = double(ResidentKilobytes());
    state.counters["fd_start"] = double(fdStart);
    state.counters["fd_end"] = double(OpenDescriptors());
}
BENCHMARK(BM_Soak)->Unit(benchmark::kMillisecond)->Iterations(2000);

}  // namespace
