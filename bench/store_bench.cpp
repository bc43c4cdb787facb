// The shot history: one shot written to SQLite with every commit synced (target under 2 ms),
// and the gapping table over 100,000 shots (target under 100 ms). With KYVERN_BENCH_PG_URL
// set, twenty bays writing one shot a second each to PostgreSQL for twenty seconds.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "store/player_history.h"
#include "store/postgres_store.h"
#include "store/sqlite_store.h"

namespace {

using kyvern::store::SqliteStore;
using kyvern::store::StoredShot;

// A temporary folder for the benchmark's files, removed when it goes.
struct BenchFolder {
    BenchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kyvern-bench-XXXXXX").string();
        if (char* made = ::mkdtemp(pattern.data())) path = made;
    }
    ~BenchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

void Require(const kyvern::base::Status& status) {
    if (status) return;
    std::fprintf(stderr, "benchmark fixture failed: %s\n", status.Reason().c_str());
    std::abort();
}

// A driver-to-wedge bag of shots, with a flight of points 0.06 s apart.
StoredShot BenchShot(long i, int points, const std::string& prefix) {
    static constexpr const char* kItems[] = {"Driver", "3 Wood", "5 Iron",
                                             "7 Iron", "9 Iron", "Pitching Wedge"};
    StoredShot s;
    char id[48];
    std::snprintf(id, sizeof id, "%s%ld", prefix.c_str(), i);
    s.id = id;
    s.timeMs = 1709648525000 + i * 20000;
    s.player = i % 5 ? "Ann" : "Ben";
    s.session = "Week " + std::to_string(i / 2000);
    const int club = static_cast<int>(i % 6);
    s.item = kItems[club];
    s.bay = "Bay " + std::to_string(i % 20 + 1);
    s.cameraSerials = {"CAM-1", "CAM-2"};
    s.ball = "Golf Ball";
    s.precision = "Standard";
    s.ballSpeed = 240.0 - club * 20.0 + (i % 13) * 0.5;
    s.launchAngle = 11.0 + club * 3.0;
    s.totalSpin = 2800.0 + club * 1000.0;
    s.backSpin = s.totalSpin - 50.0;
    s.sideSpin = -200.0 + (i % 7) * 60.0;
    s.clubSpeed = s.ballSpeed / 1.45;
    s.flight.carry = 250.0 - club * 25.0 + (i % 11) * 0.7;
    s.flight.total = s.flight.carry + 15.0;
    s.flight.flightTime = 6.0;
    for (int p = 0; p < points; ++p) {
        const double t = p * 0.06;
        s.trajectory.push_back({t, 200.0 * t, 60.0 * t - 16.0 * t * t, 2.0 * t});
    }
    s.confidence = 0.9;
    return s;
}

void BM_WriteShotSqlite(benchmark::State& state) {
    BenchFolder folder;
    std::unique_ptr<SqliteStore> store;
    Require(SqliteStore::Open(folder.path + "/kyvern.db", store));
    long i = 0;
    for (auto _ : state) {
        if (!store->Write(BenchShot(i++, 100, "w"))) state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_WriteShotSqlite)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// 100,000 shots with short flights, written as an import would: a few big transactions.
struct HundredThousand {
    HundredThousand() {
        Require(SqliteStore::Open(folder.path + "/kyvern.db", store));
        std::vector<StoredShot> batch;
        for (long i = 0; i < 100000; ++i) {
            batch.push_back(BenchShot(i, 4, "g"));
            if (batch.size() == 10000) {
                int added = 0;
                Require(store->WriteMany(batch, added));
                batch.clear();
            }
        }
    }
    BenchFolder folder;
    std::unique_ptr<SqliteStore> store;
};

HundredThousand& Shared() {
    static HundredThousand shots;
    return shots;
}

void Gapping(benchmark::State& state, const kyvern::store::ShotFilter& filter) {
    auto& store = *Shared().store;
    std::vector<kyvern::store::GappingRow> rows;
    for (auto _ : state) {
        if (!store.Gapping(filter, rows) || rows.size() != 6) state.SkipWithError("gapping failed");
        benchmark::DoNotOptimize(rows.data());
    }
}

void BM_Gapping100k(benchmark::State& state) { Gapping(state, {}); }
BENCHMARK(BM_Gapping100k)->Unit(benchmark::kMillisecond);

// One player's shots of one month: the names joined, the time range taken from the index.
void BM_GappingPlayerMonth100k(benchmark::State& state) {
    kyvern::store::ShotFilter f;
    f.player = "Ann";
    f.fromMs = 1709648525000;
    f.toMs = f.fromMs.value() + 30LL * 24 * 3600 * 1000;
    Gapping(state, f);
}
BENCHMARK(BM_GappingPlayerMonth100k)->Unit(benchmark::kMillisecond);

void BM_Trend100k(benchmark::State& state) {
    auto& store = *Shared().store;
    std::vector<kyvern::store::TrendPoint> points;
    for (auto _ : state) {
        if (!store.Trend("carry", {}, points)) state.SkipWithError("trend failed");
        benchmark::DoNotOptimize(points.data());
    }
}
BENCHMARK(BM_Trend100k)->Unit(benchmark::kMillisecond);

// What the History window and report read of one player: sessions, gapping and one trend.
void BM_PlayerHistory100k(benchmark::State& state) {
    auto& store = *Shared().store;
    kyvern::store::PlayerHistory history;
    for (auto _ : state) {
        if (!kyvern::store::ReadPlayerHistory(store, "Ann", "carry", std::nullopt, history) ||
            history.gapping.empty())
            state.SkipWithError("history failed");
        benchmark::DoNotOptimize(history.trend.data());
    }
}
BENCHMARK(BM_PlayerHistory100k)->Unit(benchmark::kMillisecond);

// Twenty bays, one shot a second each for twenty seconds, each on its own connection, every
// tenth shot sent twice (a resend after a lost reply). Counts what the server ends with.
void BM_PostgresTwentyBays(benchmark::State& state) {
    const char* url = std::getenv("KYVERN_BENCH_PG_URL");
    if (!url || !*url) {
        state.SkipWithError("KYVERN_BENCH_PG_URL is not set: no server to write to");
        return;
    }
    constexpr int kBays = 20;
    constexpr int kSeconds = 20;
    char run[32];
    std::snprintf(run, sizeof run, "run%lld-",
                  static_cast<long long>(std::chrono::system_clock::now().time_since_epoch() /
                                         std::chrono::milliseconds(1)));
    for (auto _ : state) {
        std::mutex mutex;
        std::vector<double> latencies;
        std::atomic<int> failed{0};
        std::vector<std::thread> bays;
        const auto start = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        for (int b = 0; b < kBays; ++b) {
            bays.emplace_back([&, b] {
                std::unique_ptr<kyvern::store::PostgresStore> store;
                if (!kyvern::store::PostgresStore::Open(url, store)) {
                    failed += kSeconds;
                    return;
                }
                const std::string prefix = run + std::to_string(b) + "-";
                for (int k = 0; k < kSeconds; ++k) {
                    std::this_thread::sleep_until(start + std::chrono::seconds(k) +
                                                  std::chrono::milliseconds(b * 37));
                    const StoredShot shot = BenchShot(k, 100, prefix);
                    const auto t0 = std::chrono::steady_clock::now();
                    bool ok = static_cast<bool>(store->Write(shot));
                    const auto t1 = std::chrono::steady_clock::now();
                    if (k % 10 == 0) ok = ok && static_cast<bool>(store->Write(shot));
                    if (!ok) ++failed;
                    std::lock_guard lock(mutex);
                    latencies.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
                }
            });
        }
        for (auto& t : bays)
            t.join();
        std::unique_ptr<kyvern::store::PostgresStore> store;
        Require(kyvern::store::PostgresStore::Open(url, store));
        std::vector<StoredShot> shots;
        Require(store->Shots({}, shots));
        std::set<std::string> ids;
        long mine = 0;
        for (const auto& s : shots) {
            if (!s.id.starts_with(run)) continue;
            ++mine;
            ids.insert(s.id);
        }
        std::sort(latencies.begin(), latencies.end());
        auto at = [&](double q) {
            return latencies.empty()
                       ? 0.0
                       : latencies[static_cast<std::size_t>(q * (latencies.size() - 1))];
        };
        state.counters["written"] = static_cast<double>(ids.size());
        state.counters["lost"] = static_cast<double>(kBays * kSeconds) - ids.size();
        state.counters["doubled"] = static_cast<double>(mine) - ids.size();
        state.counters["failed"] = failed.load();
        state.counters["p50_ms"] = at(0.5);
        state.counters["p99_ms"] = at(0.99);
    }
}
BENCHMARK(BM_PostgresTwentyBays)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
