// A writer killed at any moment leaves a whole database: every shot it reported is there, and
// every shot there is complete.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "store/sqlite_store.h"
#include "store_fixtures.h"
#include "support/temp_dir.h"

using namespace kyvern::store;
using kyvern::testing::SampleShot;
using kyvern::testing::TempDir;

namespace {

// What the writer tells its parent: a write is about to start, or it was committed.
struct Report {
    char kind;  // 'S' or 'C'
    std::int32_t shot;
};

[[noreturn]] void WriterChild(const std::string& path, const std::string& prefix, int pipeFd) {
    std::unique_ptr<SqliteStore> store;
    if (!SqliteStore::Open(path, store)) ::_exit(2);
    for (std::int32_t i = 0; i < 100000; ++i) {
        Report r{'S', i};
        if (::write(pipeFd, &r, sizeof r) != sizeof r) ::_exit(3);
        if (!store->Write(SampleShot(i, prefix))) ::_exit(4);
        r.kind = 'C';
        if (::write(pipeFd, &r, sizeof r) != sizeof r) ::_exit(3);
    }
    ::_exit(0);
}

std::string IntegrityCheck(const std::string& path) {
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW) {
            result = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return result;
}

}  // namespace

TEST(SqliteCrash, AKilledWriterLosesNoCommittedShotAndLeavesNoPartOne) {
    TempDir dir;
    const std::string path = dir.File("kyvern.db");
    int expectedTotal = 0;
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string prefix = "r" + std::to_string(round) + "-";
        // Killed as a write starts (odd rounds) or once one is reported (even), after some
        // more shots each round, a little later each time.
        const int target = 2 + round * 5;
        const char trigger = round % 2 ? 'S' : 'C';
        const auto delay = std::chrono::microseconds(round * 150);

        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            WriterChild(path, prefix, fds[1]);
        }
        ::close(fds[1]);
        std::set<int> committed;
        int started = -1;
        Report r{};
        while (::read(fds[0], &r, sizeof r) == sizeof r) {
            if (r.kind == 'C') committed.insert(r.shot);
            if (r.kind == 'S') started = r.shot;
            if (r.kind == trigger && r.shot == target) break;
        }
        // A busy wait, not a sleep: the kill lands inside the next write's work.
        const auto until = std::chrono::steady_clock::now() + delay;
        while (std::chrono::steady_clock::now() < until) {
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status)) << "the writer ended before the kill: " << status;
        while (::read(fds[0], &r, sizeof r) == sizeof r) {
            if (r.kind == 'C') committed.insert(r.shot);
            if (r.kind == 'S') started = r.shot;
        }
        ::close(fds[0]);

        EXPECT_EQ(IntegrityCheck(path), "ok");
        std::unique_ptr<SqliteStore> store;
        const auto opened = SqliteStore::Open(path, store);
        ASSERT_TRUE(opened) << opened.Reason();
        std::vector<StoredShot> shots;
        const auto read = store->Shots({}, shots);
        ASSERT_TRUE(read) << read.Reason();
        std::set<int> present;
        for (const StoredShot& s : shots) {
            if (!s.id.starts_with(prefix)) continue;
            const int i = std::stoi(s.id.substr(prefix.size()));
            present.insert(i);
            EXPECT_TRUE(s == SampleShot(i, prefix)) << s.id << " differs from what was written";
            EXPECT_EQ(s.trajectory.size(), SampleShot(i, prefix).trajectory.size());
        }
        for (int i : committed)
            EXPECT_TRUE(present.count(i)) << "committed shot " << i << " is missing";
        // Nothing beyond the last write begun, and no gap.
        EXPECT_LE(static_cast<int>(present.size()), started + 1);
        if (!present.empty()) {
            EXPECT_EQ(*present.rbegin(), static_cast<int>(present.size()) - 1);
        }

        // The store goes on.
        ASSERT_TRUE(store->Write(SampleShot(100000, prefix)));
        expectedTotal += static_cast<int>(present.size()) + 1;
        ASSERT_TRUE(store->Shots({}, shots));
        EXPECT_EQ(static_cast<int>(shots.size()), expectedTotal);
    }
}
