// Proves that a run of the analysis allocates nothing once the analyzer exists: every
// allocation of this executable is counted while a flag is up.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "analysis/analysis_pipeline.h"
#include "analysis/image_analyzer.h"
#include "analysis/test_frames.h"
#include "base/config_store.h"
#include "support/run_analysis.h"
#include "support/temp_dir.h"

namespace {

std::atomic<long> allocations{0};
std::atomic<bool> counting{false};

void* Allocate(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
    const std::size_t a = static_cast<std::size_t>(align);
    void* p = std::aligned_alloc(a, (size + a - 1) / a * a);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

// The library's own array and nothrow forms call these.
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

using namespace kyvern::analysis;
using namespace kyvern::frame;
namespace kt = kyvern::testing;

// Counts the allocations made while the function runs.
template <typename F>
long Count(F&& f) {
    allocations = 0;
    counting = true;
    f();
    counting = false;
    return allocations.load();
}

// A message list that keeps a count and the last line: it allocates nothing itself.
struct FixedMessages final : kyvern::base::MessageList {
    void Add(std::string_view line) override {
        last[line.copy(last, sizeof last - 1)] = '\0';
        ++count;
    }
    char last[128] = {};
    int count = 0;
};

TEST(AnalysisAllocation, RunsAllocateNothing) {
    kyvern::testing::SettingsFile settings("[Setup]\nShowTiming=yes\nShowBallData=yes\n");
    const std::string path = settings.Path();
    AnalysisOptions options = ReadAnalysisOptions(kyvern::base::SettingsSnapshot::Read(path));
    AnalysisPipeline pipeline(1.68, options);
    pipeline.SetProcess(true);
    CapturedImage good;
    kt::Draw(kt::TwoBalls(), good);
    CapturedImage oneBall;
    kt::DrawnFrame f = kt::TwoBalls(640, 480, 110);
    f.balls.pop_back();
    kt::Draw(f, oneBall);
    FixedMessages messages;
    ASSERT_TRUE(kyvern::testing::RunAndPrint(pipeline, good,
                                             messages));  // creates the analyzer and its worker

    // The options are the pass's, read before the run: the run itself allocates nothing, with
    // timings and ball data printed. Both precisions on two threads, then on one: stopping the
    // worker frees, never allocates.
    const std::pair<int, Precision> runs[] = {{2, Precision::kRefined},
                                              {2, Precision::kStandard},
                                              {1, Precision::kStandard},
                                              {1, Precision::kRefined}};
    for (const auto& [threads, precision] : runs) {
        SCOPED_TRACE(std::to_string(threads) +
                     (precision == Precision::kRefined ? " Refined" : ""));
        options.threads = threads;
        options.precision = precision;
        pipeline.SetOptions(options);
        messages.count = 0;
        bool ok = false;
        EXPECT_EQ(Count([&] { ok = kyvern::testing::RunAndPrint(pipeline, good, messages); }), 0);
        EXPECT_TRUE(ok);
        EXPECT_GT(messages.count, 20);  // timings, warning and ball data were printed
        // Both paths were taken (a machine of one core has only the one).
        EXPECT_EQ(pipeline.Analyzer()->Threads(),
                  std::thread::hardware_concurrency() < 2 ? 1 : threads);
        EXPECT_EQ(Count([&] { ok = kyvern::testing::RunAndPrint(pipeline, oneBall, messages); }),
                  0);
        EXPECT_FALSE(ok);
        EXPECT_STREQ(messages.last, "Analysis terminated: only one ball found");
    }
}

}  // namespace
