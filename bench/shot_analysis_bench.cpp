// The shot analysis window's Analyze table: 20 x 20 flights on one model, as the window fills it.
#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "app/shot_analysis.h"
#include "base/user_prompts.h"

namespace {

using kyvern::bench::DefaultSettings;

void BM_AnalyzeTable20x20(benchmark::State& state) {
    kyvern::base::StderrPrompts prompts;
    kyvern::app::ShotAnalysis analysis(DefaultSettings(), prompts);
    analysis.ReadSettings();
    const kyvern::app::AnalysisShot drive{220.0, 12.3, 2700.0, -300.0, 0.5};
    for (auto _ : state) {
        auto table = analysis.Analyze(drive, 20, 20);
        benchmark::DoNotOptimize(table.cells.data());
    }
}
BENCHMARK(BM_AnalyzeTable20x20)->Unit(benchmark::kMillisecond);

}  // namespace
