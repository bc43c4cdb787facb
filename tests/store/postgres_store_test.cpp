#include "store/postgres_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <set>
#include <thread>
#include <vector>

#include "postgres_server.h"
#include "store/queued_store.h"
#include "store/sqlite_store.h"
#include "store_fixtures.h"

using namespace kyvern::store;
using kyvern::testing::PostgresServer;
using kyvern::testing::SampleShot;
using kyvern::testing::TempDir;

namespace {

class PostgresStoreTest : public ::testing::Test {
protected:
    // One server for the whole suite: starting a cluster takes seconds.
    static void SetUpTestSuite() { server_ = std::make_unique<PostgresServer>(); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override {
        if (!server_->Failure().empty()) {
            GTEST_SKIP() << "No PostgreSQL server could be started: " << server_->Failure();
        }
    }
    static std::string FreshDatabase(const std::string& name) {
        const std::string why = server_->CreateDatabase(name);
        EXPECT_EQ(why, "");
        return server_->Url(name);
    }
    static std::unique_ptr<PostgresStore> OpenOk(const std::string& url) {
        std::unique_ptr<PostgresStore> store;
        const auto s = PostgresStore::Open(url, store);
        EXPECT_TRUE(s) << s.Reason();
        return store;
    }

    static inline std::unique_ptr<PostgresServer> server_;
};

void ExpectSameSpread(const Spread& a, const Spread& b) {
    EXPECT_NEAR(a.mean, b.mean, 1e-9);
    EXPECT_NEAR(a.sd, b.sd, 1e-9);
}

}  // namespace

TEST_F(PostgresStoreTest, GivesBackWhatWasWrittenAndTheFiguresSqliteGives) {
    auto pg = OpenOk(FreshDatabase("same"));
    ASSERT_TRUE(pg);
    EXPECT_EQ(pg->SchemaVersion(), kLatestSchemaVersion);
    TempDir dir;
    std::unique_ptr<SqliteStore> lite;
    ASSERT_TRUE(SqliteStore::Open(dir.File("kyvern.db"), lite));
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(pg->Write(SampleShot(i)));
        ASSERT_TRUE(lite->Write(SampleShot(i)));
    }
    bool added = true;
    ASSERT_TRUE(pg->Write(SampleShot(4), &added));
    EXPECT_FALSE(added);

    std::vector<StoredShot> pgShots, liteShots;
    ASSERT_TRUE(pg->Shots({}, pgShots));
    ASSERT_EQ(pgShots.size(), 30u);
    for (int i = 0; i < 30; ++i)
        EXPECT_TRUE(pgShots[static_cast<std::size_t>(i)] == SampleShot(i)) << i;
    ShotFilter f;
    f.player = "Ann", f.item = "Driver";
    ASSERT_TRUE(pg->Shots(f, pgShots));
    ASSERT_TRUE(lite->Shots(f, liteShots));
    EXPECT_TRUE(pgShots == liteShots);

    std::vector<GappingRow> pgGaps, liteGaps;
    ASSERT_TRUE(pg->Gapping({}, pgGaps));
    ASSERT_TRUE(lite->Gapping({}, liteGaps));
    ASSERT_EQ(pgGaps.size(), liteGaps.size());
    for (std::size_t k = 0; k < pgGaps.size(); ++k) {
        EXPECT_EQ(pgGaps[k].item, liteGaps[k].item);
        EXPECT_EQ(pgGaps[k].count, liteGaps[k].count);
        ExpectSameSpread(pgGaps[k].carry, liteGaps[k].carry);
        ExpectSameSpread(pgGaps[k].total, liteGaps[k].total);
    }
    for (const TrendValue& v : TrendValues()) {
        SCOPED_TRACE(v.name);
        std::vector<TrendPoint> pgTrend, liteTrend;
        ASSERT_TRUE(pg->Trend(v.name, {}, pgTrend));
        ASSERT_TRUE(lite->Trend(v.name, {}, liteTrend));
        ASSERT_EQ(pgTrend.size(), liteTrend.size());
        for (std::size_t k = 0; k < pgTrend.size(); ++k) {
            EXPECT_EQ(pgTrend[k].session, liteTrend[k].session);
            EXPECT_EQ(pgTrend[k].player, liteTrend[k].player);
            EXPECT_EQ(pgTrend[k].count, liteTrend[k].count);
            ExpectSameSpread(pgTrend[k].value, liteTrend[k].value);
        }
    }
    std::vector<SessionSummary> pgSessions, liteSessions;
    ASSERT_TRUE(pg->Sessions({}, pgSessions));
    ASSERT_TRUE(lite->Sessions({}, liteSessions));
    ASSERT_EQ(pgSessions.size(), 4u);
    for (std::size_t k = 0; k < pgSessions.size(); ++k) {
        EXPECT_EQ(pgSessions[k].session, liteSessions[k].session);
        EXPECT_EQ(pgSessions[k].shots, liteSessions[k].shots);
    }
}

TEST_F(PostgresStoreTest, TwentyBaysWritingAtOnceLoseAndDoubleNothing) {
    const std::string url = FreshDatabase("bays");
    constexpr int kBays = 20;
    constexpr int kShots = 10;
    constexpr int kShared = 5;  // ids every bay writes, as a resent shot would be
    std::latch start(kBays);
    std::atomic<int> failures{0};
    std::atomic<int> added{0};
    std::vector<std::string> reasons(kBays);
    std::vector<std::thread> bays;
    for (int b = 0; b < kBays; ++b) {
        bays.emplace_back([&, b] {
            start.arrive_and_wait();
            // The database is new: all twenty migrate it at once.
            std::unique_ptr<PostgresStore> store;
            if (auto s = PostgresStore::Open(url, store); !s) {
                reasons[static_cast<std::size_t>(b)] = s.Reason();
                ++failures;
                return;
            }
            for (int j = 0; j < kShots + kShared; ++j) {
                StoredShot shot = j < kShots ? SampleShot(j, "bay" + std::to_string(b) + "-")
                                             : SampleShot(j, "shared-");
                shot.bay = "Bay " + std::to_string(b);
                bool was = false;
                if (auto s = store->Write(shot, &was); !s) {
                    reasons[static_cast<std::size_t>(b)] = s.Reason();
                    ++failures;
                }
                if (was) ++added;
            }
        });
    }
    for (auto& t : bays)
        t.join();
    for (const auto& why : reasons)
        EXPECT_EQ(why, "");
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(added.load(), kBays * kShots + kShared);

    auto store = OpenOk(url);
    ASSERT_TRUE(store);
    std::vector<StoredShot> shots;
    ASSERT_TRUE(store->Shots({}, shots));
    std::set<std::string> ids;
    for (const auto& s : shots) {
        ids.insert(s.id);
        const int j = std::stoi(s.id.substr(s.id.find('-') + 1));
        StoredShot expected = SampleShot(j, s.id.substr(0, s.id.find('-') + 1));
        expected.bay = s.bay;
        EXPECT_TRUE(s == expected) << s.id;
    }
    EXPECT_EQ(shots.size(), static_cast<std::size_t>(kBays * kShots + kShared));
    EXPECT_EQ(ids.size(), shots.size());
    EXPECT_TRUE(ids.count("bay19-9") && ids.count("shared-14"));
}

TEST_F(PostgresStoreTest, RefusedLoginsAndBadUrlsSayWhy) {
    FreshDatabase("logins");
    auto reason = [](const std::string& url) {
        std::unique_ptr<PostgresStore> store;
        const auto s = PostgresStore::Open(url, store);
        EXPECT_FALSE(s) << url;
        EXPECT_FALSE(store);
        return s.Reason();
    };
    std::string why = reason(server_->Url("logins", PostgresServer::kUser, "wrong-secret"));
    EXPECT_NE(why.find("password authentication failed for user \"bay\""), std::string::npos)
        << why;
    EXPECT_EQ(why.find("wrong-secret"), std::string::npos) << why;
    why = reason(server_->Url("logins", "nobody", "x"));
    EXPECT_NE(why.find("password authentication failed for user \"nobody\""), std::string::npos)
        << why;
    why = reason(server_->Url("nodb"));
    EXPECT_NE(why.find("database \"nodb\" does not exist"), std::string::npos) << why;
    why = reason(server_->Url("logins") + "&colour=blue");
    EXPECT_NE(why.find("does not parse"), std::string::npos) << why;
    EXPECT_NE(why.find("colour"), std::string::npos) << why;
    why = reason("postgresql://bay:pw@[::1/logins");
    EXPECT_NE(why.find("does not parse"), std::string::npos) << why;
    why = reason("http://example.org/");
    EXPECT_NE(why.find("not a PostgreSQL URL"), std::string::npos) << why;
}

TEST_F(PostgresStoreTest, QueuedShotsWaitForAStoppedServerAndGoInOnceItIsBack) {
    const std::string url = FreshDatabase("queue");
    TempDir dir;
    QueuedStore queued(
        [url](std::unique_ptr<ShotStore>& store) {
            std::unique_ptr<PostgresStore> opened;
            auto s = PostgresStore::Open(url, opened);
            store = std::move(opened);
            return s;
        },
        dir.File("store-queue"));
    queued.SetReopenInterval(std::chrono::milliseconds(0));
    ASSERT_TRUE(queued.Write(SampleShot(0)));
    EXPECT_TRUE(queued.State().connected);

    ASSERT_TRUE(server_->Stop());
    for (int i = 1; i <= 3; ++i)
        ASSERT_TRUE(queued.Write(SampleShot(i)));  // taken, though the server is gone
    StoreState state = queued.State();
    EXPECT_FALSE(state.connected);
    EXPECT_EQ(state.queued, 3);
    EXPECT_FALSE(state.lastError.empty());
    EXPECT_FALSE(queued.Flush());

    ASSERT_TRUE(server_->Restart());
    const auto flushed = queued.Flush();
    ASSERT_TRUE(flushed) << flushed.Reason();
    state = queued.State();
    EXPECT_TRUE(state.connected);
    EXPECT_EQ(state.queued, 0);
    std::vector<StoredShot> shots;
    ASSERT_TRUE(queued.Shots({}, shots));
    ASSERT_EQ(shots.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(shots[static_cast<std::size_t>(i)] == SampleShot(i)) << i;
}
