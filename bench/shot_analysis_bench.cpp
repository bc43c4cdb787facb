// The shot analysis window's Analyze table: 20 x 20 flights on one model, as the window fills it.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "app/shot_analysis.h"
#include "base/user_prompts.h"

namespace {

// A settings path in an empty folder: the defaults, whatever the machine's program folder holds.
std::string DefaultSettings() {
    static std::string path = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kyvern-bench-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        std::string folder = made ? made : "/nonexistent";
        std::filesystem::remove(folder);
        return folder + "/Kyvern.ini";
    }();
    return path;
}

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
