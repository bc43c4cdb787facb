#include "store/queued_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "store/shot_json.h"
#include "store/sqlite_store.h"
#include "store_fixtures.h"
#include "support/temp_dir.h"

using namespace kyvern::store;
using kyvern::testing::SampleShot;
using kyvern::testing::TempDir;
using kyvern::testing::WriteFileText;
namespace fs = std::filesystem;

namespace {

// A store on a SQLite file in a folder that does not exist yet: it cannot open until the
// folder is made, as a network share mounted late.
QueuedStore::Opener LateFolderStore(const std::string& path) {
    return [path](std::unique_ptr<ShotStore>& store) {
        std::unique_ptr<SqliteStore> opened;
        auto s = SqliteStore::Open(path, opened);
        store = std::move(opened);
        return s;
    };
}

int FilesIn(const std::string& folder) {
    int n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        n += e.is_regular_file() ? 1 : 0;
    return n;
}

}  // namespace

TEST(QueuedStore, ShotsForAnUnreachableStoreWaitOnDiskAndAreWrittenOnce) {
    TempDir dir;
    const std::string share = dir.File("share");
    const std::string queue = dir.File("store-queue");
    QueuedStore store(LateFolderStore(share + "/kyvern.db"), queue);
    store.SetReopenInterval(std::chrono::hours(1));  // Write tries once; Flush always

    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(store.Write(SampleShot(i)));
    StoreState state = store.State();
    EXPECT_FALSE(state.connected);
    EXPECT_EQ(state.queued, 5);
    EXPECT_NE(state.lastError.find("share/kyvern.db"), std::string::npos) << state.lastError;
    EXPECT_EQ(FilesIn(queue), 5);
    std::vector<StoredShot> shots;
    EXPECT_FALSE(store.Shots({}, shots));

    // A damaged file among them, and one that is not a whole shot.
    WriteFileText(queue + "/0000000000000000-1-00000000-bad.json", "{\"format\": 1, \"id\":");
    std::string partial = ShotToJson(SampleShot(9));
    partial.erase(partial.find("\"trajectory\""), 12);
    WriteFileText(queue + "/0000000000000001-1-00000000-partial.json", partial);
    // The same shot queued twice is stored once.
    ASSERT_TRUE(store.Enqueue(SampleShot(2)));

    EXPECT_FALSE(store.Flush());  // still unreachable: nothing moves
    EXPECT_EQ(FilesIn(queue), 8);

    fs::create_directory(share);
    const auto flushed = store.Flush();
    ASSERT_TRUE(flushed) << flushed.Reason();
    state = store.State();
    EXPECT_TRUE(state.connected);
    EXPECT_EQ(state.queued, 0);
    EXPECT_EQ(state.setAside, 2);
    EXPECT_NE(state.lastError.find("damaged"), std::string::npos) << state.lastError;
    EXPECT_EQ(FilesIn(queue), 0);
    EXPECT_EQ(FilesIn(queue + "/" + kSetAsideFolderName), 2);
    ASSERT_TRUE(store.Shots({}, shots));
    ASSERT_EQ(shots.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(shots[static_cast<std::size_t>(i)] == SampleShot(i)) << i;

    // Connected, a shot goes straight in; a new program finds the queue empty.
    bool added = false;
    ASSERT_TRUE(store.Write(SampleShot(5), &added));
    EXPECT_TRUE(added);
    EXPECT_TRUE(store.State().lastError.empty());
    QueuedStore again(LateFolderStore(share + "/kyvern.db"), queue);
    EXPECT_EQ(again.State().queued, 0);
    ASSERT_TRUE(again.Shots({}, shots));
    EXPECT_EQ(shots.size(), 6u);

    // An invalid shot is refused at once rather than queued for ever.
    StoredShot bad = SampleShot(7);
    bad.id.clear();
    EXPECT_FALSE(store.Write(bad));
    EXPECT_EQ(store.State().queued, 0);
}

TEST(QueuedStore, WritesFromTheShotThreadGoOnWhileAWorkerFlushes) {
    TempDir dir;
    QueuedStore store(LateFolderStore(dir.File("kyvern.db")), dir.File("store-queue"));
    std::atomic<bool> done{false};
    std::thread worker([&] {
        while (!done)
            (void)store.Flush();
    });
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(store.Write(SampleShot(i)));
    done = true;
    worker.join();
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(store.State().queued, 0);
    std::vector<StoredShot> shots;
    ASSERT_TRUE(store.Shots({}, shots));
    EXPECT_EQ(shots.size(), 40u);
}
