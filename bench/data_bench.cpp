// Loading and saving a session of 10,000 shots, and the part of loading that is the flight
// prediction of every row; loading 200,000 shots, which must stay well under 5 s.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "base/user_prompts.h"
#include "data/session_file.h"
#include "data/shot_table.h"
#include "flight/flight_model.h"

namespace {

constexpr int kShots = 10000;
constexpr int kManyShots = 200000;
constexpr const char* kItems[] = {"Driver", "3 Wood", "5 Wood", "Hybrid", "4 Iron",
                                  "5 Iron", "6 Iron", "7 Iron", "8 Iron", "9 Iron",
                                  "PW",     "GW",     "SW",     "LW"};

class QuietPrompts final : public kyvern::base::UserPrompts {
public:
    void Message(std::string_view) override {}
    bool OkCancel(std::string_view) override { return true; }
};

kyvern::data::ShotEntry ShotNumber(int i) {
    kyvern::data::ShotEntry s;
    const int club = i % 14;
    s.ballSpeed = 240.0 - 9.0 * club + (i * 37 % 21) * 0.5;
    s.launchAngle = 10.0 + 1.8 * club + (i * 13 % 9) * 0.3;
    s.backSpin = 2500.0 + 450.0 * club + (i * 17 % 11) * 40.0;
    s.sideSpin = (i * 29 % 15) * 60.0 - 420.0;
    s.totalSpin = s.backSpin + 30.0;
    s.sideAngle = (i * 7 % 13) * 0.4 - 2.4;
    s.clubSpeed = s.ballSpeed / 1.45;
    s.user = "Player " + std::to_string(i % 3);
    s.session = "Bench";
    s.item = kItems[club];
    s.timeText = "05/Mar/2024 14:22:05";
    s.attackAngle = -2.0 + club * 0.3;
    s.pathAngle = 1.0;
    s.faceAngle = 0.5;
    s.effectiveLoft = 12.0 + club * 3.0;
    s.score = 80.0 + (i % 20);
    s.clubMass = 200.0;
    s.clubLoft = 10.5 + club * 3.5;
    return s;
}

// One program folder and one session file of so many shots for the whole run.
struct Fixture {
    explicit Fixture(int shots) : shots(shots) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kyvern-bench-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
        ::setenv("KYVERN_HOME", folder.c_str(), 1);
        path = folder + "/session.txt";
        kyvern::data::ShotTable table(prompts);
        table.SetupTable();
        table.BeginBulkAdd();
        for (int i = 0; i < shots; ++i)
            table.AddShot(ShotNumber(i), false, true);
        table.EndBulkAdd();
        kyvern::data::SaveSession(table, path, "Bench", "Bench");
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    int shots;
    QuietPrompts prompts;
    std::string folder;
    std::string path;
};

Fixture& Shared() {
    static Fixture fixture(kShots);
    return fixture;
}

void Load(benchmark::State& state, Fixture& f) {
    for (auto _ : state) {
        kyvern::data::ShotTable table(f.prompts);
        table.SetupTable();
        kyvern::data::LoadReport report;
        kyvern::data::LoadSession(table, f.path, report);
        if (report.loaded != f.shots) state.SkipWithError("not every shot loaded");
        benchmark::DoNotOptimize(table.RowCount());
    }
}

void BM_LoadSession10k(benchmark::State& state) { Load(state, Shared()); }
BENCHMARK(BM_LoadSession10k)->Unit(benchmark::kMillisecond);

// Time in proportion to the shots: each row finds its group without a search of the table.
void BM_LoadSession200k(benchmark::State& state) {
    static Fixture many(kManyShots);
    Load(state, many);
}
BENCHMARK(BM_LoadSession200k)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_SaveSession10k(benchmark::State& state) {
    Fixture& f = Shared();
    kyvern::data::ShotTable table(f.prompts);
    table.SetupTable();
    kyvern::data::LoadSession(table, f.path);
    const std::string out = f.folder + "/saved.txt";
    for (auto _ : state) {
        if (!kyvern::data::SaveSession(table, out, "Bench", "Bench")) {
            state.SkipWithError("save failed");
        }
    }
}
BENCHMARK(BM_SaveSession10k)->Unit(benchmark::kMillisecond);

// The save without the disk: formatting every line.
void BM_FormatSession10k(benchmark::State& state) {
    Fixture& f = Shared();
    kyvern::data::ShotTable table(f.prompts);
    table.SetupTable();
    kyvern::data::LoadSession(table, f.path);
    for (auto _ : state)
        benchmark::DoNotOptimize(kyvern::data::FormatSession(table, "Bench", "Bench"));
}
BENCHMARK(BM_FormatSession10k)->Unit(benchmark::kMillisecond);

// The flight prediction alone, as the load makes it: one model, copied fresh for every row.
void BM_FlightPredictions10k(benchmark::State& state) {
    Shared();
    const kyvern::flight::FlightModel prototype;
    for (auto _ : state) {
        double sum = 0.0;
        for (int i = 0; i < kShots; ++i) {
            const kyvern::data::ShotEntry s = ShotNumber(i);
            kyvern::flight::FlightModel model = prototype;
            model.Compute(s.ballSpeed, s.launchAngle, s.backSpin, s.sideSpin, s.sideAngle);
            sum += model.Carry();
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_FlightPredictions10k)->Unit(benchmark::kMillisecond);

}  // namespace
