// Loading and saving a session of 10,000 shots, and the part of loading that is the flight
// prediction of every row; loading 200,000 shots, which must stay well under 5 s.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>
#include "bench_support.h"

#include <filesystem>
#include <string>
#include <vector>

#include "data/session_file.h"
#include "data/shot_table.h"
#include "flight/flight_model.h"

namespace {

using Fixture = kyvern::bench::SavedSession;
using kyvern::bench::BenchShot;

constexpr int kShots = 10000;
constexpr int kManyShots = 200000;
Fixture& Shared() {
    static Fixture fixture(kShots);
    return fixture;
}

void Load(benchmark::State& state, Fixture& f) {
    for (auto _ : state) {
        kyvern::data::ShotTable table({}, kyvern::base::Settings());
        table.SetupTable();
        kyvern::data::LoadReport report;
        kyvern::bench::Require(kyvern::data::LoadSession(table, f.path, report));
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
    kyvern::data::ShotTable table({}, kyvern::base::Settings());
    table.SetupTable();
    kyvern::bench::Require(kyvern::data::LoadSession(table, f.path));
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
    kyvern::data::ShotTable table({}, kyvern::base::Settings());
    table.SetupTable();
    kyvern::bench::Require(kyvern::data::LoadSession(table, f.path));
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
            const kyvern::data::ShotEntry s = BenchShot(i);
            kyvern::flight::FlightModel model = prototype;
            model.Compute(s.ballSpeed, s.launchAngle, s.backSpin, s.sideSpin, s.sideAngle);
            sum += model.Carry();
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_FlightPredictions10k)->Unit(benchmark::kMillisecond);

// The same flights as the bulk add flies them: several side by side where the processor allows.
void BM_FlightSummaries10k(benchmark::State& state) {
    Shared();
    std::vector<kyvern::flight::FlightLaunch> launches;
    for (int i = 0; i < kShots; ++i) {
        const kyvern::data::ShotEntry s = BenchShot(i);
        launches.push_back({s.ballSpeed, s.launchAngle, s.backSpin, s.sideSpin, s.sideAngle});
    }
    std::vector<kyvern::flight::FlightSummary> flights(launches.size());
    kyvern::flight::FlightModel model;
    for (auto _ : state) {
        model.Summaries(launches.data(), kShots, flights.data());
        benchmark::DoNotOptimize(flights.data());
    }
}
BENCHMARK(BM_FlightSummaries10k)->Unit(benchmark::kMillisecond);

}  // namespace
