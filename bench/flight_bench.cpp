// One flight and one launch-efficiency search on the default ball and weather.
#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "flight/flight_model.h"
#include "shot/performance_analysis.h"

namespace {

using kyvern::bench::DefaultSettings;

void BM_OneFlight(benchmark::State& state) {
    kyvern::flight::FlightModel model{kyvern::flight::FlightOptions{}};
    for (auto _ : state) {
        model.Compute(220.0, 12.3, 2700.0, -300.0, 0.5);
        benchmark::DoNotOptimize(model.Carry());
    }
    state.counters["carry_yd"] = model.Carry();
    state.counters["points"] = model.PointCount();
}
BENCHMARK(BM_OneFlight)->Unit(benchmark::kMicrosecond);

void BM_LaunchEfficiencySearch(benchmark::State& state) {
    kyvern::flight::FlightModel model{kyvern::flight::FlightOptions{}};
    double best = 0.0;
    for (auto _ : state) {
        double launch = 12.3;
        double spin = 2700.0;
        best = kyvern::shot::PerformanceAnalysis::BestCarry(model, 220.0, launch, spin);
        benchmark::DoNotOptimize(best);
    }
    state.counters["best_carry_ft"] = best;
}
BENCHMARK(BM_LaunchEfficiencySearch)->Unit(benchmark::kMillisecond);

// The worst case: the widest search (25 launch angles) of long flights.
void BM_WidestSearch(benchmark::State& state) {
    kyvern::flight::FlightModel model{kyvern::flight::FlightOptions{}};
    double best = 0.0;
    for (auto _ : state) {
        double launch = 30.0;
        double spin = 2700.0;
        best = kyvern::shot::PerformanceAnalysis::BestCarry(model, 300.0, launch, spin);
        benchmark::DoNotOptimize(best);
    }
    state.counters["best_carry_ft"] = best;
}
BENCHMARK(BM_WidestSearch)->Unit(benchmark::kMillisecond);

}  // namespace
