// The Shots view over a session of 10,000 shots: loading it into the model and the grid and
// painting the first screen (under 1 s), scrolling it a screen at a time, and one more shot
// arriving in the shown grid. Runs offscreen unless a platform is named.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QScrollBar>
#include <QTableView>
#include <chrono>
#include <filesystem>
#include <string>

#include "base/user_prompts.h"
#include "data/session_file.h"
#include "data/shot_table.h"
#include "ui/shots_view.h"

namespace {

constexpr int kShots = 10000;
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
    s.score = 80.0 + (i % 20);
    s.clubMass = 200.0;
    s.clubLoft = 10.5 + club * 3.5;
    return s;
}

// One program folder with a session file of 10,000 shots for the whole run.
struct Fixture {
    Fixture() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kyvern-bench-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
        ::setenv("KYVERN_HOME", folder.c_str(), 1);
        path = folder + "/session.txt";
        kyvern::data::ShotTable table(prompts);
        table.SetupTable();
        table.BeginBulkAdd();
        for (int i = 0; i < kShots; ++i)
            table.AddShot(ShotNumber(i), false, true);
        table.EndBulkAdd();
        kyvern::data::SaveSession(table, path, "Bench", "Bench");
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    QuietPrompts prompts;
    std::string folder;
    std::string path;
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

// A shown Shots view, painted, over a table loaded from the session.
struct ShownView {
    explicit ShownView(Fixture& f) : table(f.prompts), view(table) {
        table.SetupTable();
        view.resize(1400, 800);
        view.show();
        kyvern::data::LoadSession(table, f.path);
        Paint();
    }
    // Offscreen a shown widget is never exposed, so the grid is painted into a picture.
    void Paint() { benchmark::DoNotOptimize(view.TableView()->viewport()->grab()); }
    kyvern::data::ShotTable table;
    kyvern::ui::ShotsView view;
};

void BM_LoadSessionIntoShotsView10k(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        // The teardown is not the load.
        const auto start = std::chrono::steady_clock::now();
        ShownView shown(f);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (shown.table.RowCount() != kShots + 14 + 1) state.SkipWithError("rows missing");
    }
}
BENCHMARK(BM_LoadSessionIntoShotsView10k)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_ScrollShotsViewAPage(benchmark::State& state) {
    ShownView shown(Shared());
    QScrollBar* bar = shown.view.TableView()->verticalScrollBar();
    for (auto _ : state) {
        int next = bar->value() + bar->pageStep();
        if (next > bar->maximum()) next = 0;
        bar->setValue(next);
        shown.Paint();
    }
}
BENCHMARK(BM_ScrollShotsViewAPage)->Unit(benchmark::kMillisecond);

// A shot into a 10,000-shot table whose grid is shown: the table's work, the model's row
// insert and the repaint.
void BM_ShotIntoShownView10k(benchmark::State& state) {
    ShownView shown(Shared());
    int i = 0;
    for (auto _ : state) {
        shown.table.AddShot(ShotNumber(i++), false, true);
        shown.Paint();
    }
}
BENCHMARK(BM_ShotIntoShownView10k)->Unit(benchmark::kMillisecond);

// The same shot without a view: what the table itself costs.
void BM_ShotIntoTable10k(benchmark::State& state) {
    Fixture& f = Shared();
    kyvern::data::ShotTable table(f.prompts);
    table.SetupTable();
    kyvern::data::LoadSession(table, f.path);
    int i = 0;
    for (auto _ : state)
        table.AddShot(ShotNumber(i++), false, true);
}
BENCHMARK(BM_ShotIntoTable10k)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
