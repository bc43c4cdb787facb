// The Shots view over a session of 10,000 shots: loading it into the model and the grid and
// painting the first screen (under 1 s), scrolling it a screen at a time, and one more shot
// arriving in the shown grid; the Down Range picture of them all. Runs offscreen unless a
// platform is named.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include "bench_support.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>
#include <chrono>
#include <filesystem>
#include <string>

#include "data/session_file.h"
#include "data/shot_table.h"
#include "report/downrange_drawing.h"
#include "report/shot_drawing.h"
#include "ui/shots_view.h"

namespace {

using Fixture = kyvern::bench::SavedSession;
using kyvern::bench::BenchShot;

constexpr int kShots = 10000;
Fixture& Shared() {
    static Fixture fixture(kShots);
    return fixture;
}

// A shown Shots view, painted, over a table loaded from the session.
struct ShownView {
    explicit ShownView(Fixture& f) : table({}, kyvern::base::Settings()), view(table) {
        table.SetupTable();
        view.resize(1400, 800);
        view.show();
        kyvern::bench::Require(kyvern::data::LoadSession(table, f.path));
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
        shown.table.AddShot(BenchShot(i++), false, true);
        shown.Paint();
    }
}
BENCHMARK(BM_ShotIntoShownView10k)->Unit(benchmark::kMillisecond);

// The same shot without a view: what the table itself costs.
void BM_ShotIntoTable10k(benchmark::State& state) {
    Fixture& f = Shared();
    kyvern::data::ShotTable table({}, kyvern::base::Settings());
    table.SetupTable();
    kyvern::bench::Require(kyvern::data::LoadSession(table, f.path));
    int i = 0;
    for (auto _ : state)
        table.AddShot(BenchShot(i++), false, true);
}
BENCHMARK(BM_ShotIntoTable10k)->Unit(benchmark::kMillisecond);

// The Down Range picture of the 10,000 shots, from the table to the painted image: the shots
// read from the table's records, the current one's trajectory flown again, the drawing.
void BM_DrawDownRange10k(benchmark::State& state) {
    Fixture& f = Shared();
    kyvern::data::ShotTable table({}, kyvern::base::Settings());
    table.SetupTable();
    kyvern::bench::Require(kyvern::data::LoadSession(table, f.path));
    const kyvern::base::SettingsSnapshot settings = kyvern::base::SettingsSnapshot::Read();
    QImage image(1200, 800, QImage::Format_RGB32);
    for (auto _ : state) {
        const kyvern::report::SessionPicture picture =
            kyvern::report::CollectSession(table, settings);
        QPainter painter(&image);
        kyvern::report::DrawDownRange(painter, QRectF(0, 0, 1200, 800), picture);
    }
}
BENCHMARK(BM_DrawDownRange10k)->Unit(benchmark::kMillisecond);

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
