#include "store/session_import.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/session_file.h"
#include "store/sqlite_store.h"
#include "support/temp_home.h"

using namespace kyvern::store;
using kyvern::testing::ReadFileText;
using kyvern::testing::TempHome;
using kyvern::testing::WriteFileText;
namespace d = kyvern::data;

namespace {

d::ShotEntry Entry(const std::string& item, double speed, bool club) {
    d::ShotEntry e;
    e.ballSpeed = speed, e.launchAngle = 12.0, e.totalSpin = 2830.0, e.backSpin = 2800.0;
    e.sideSpin = -400.0, e.sideAngle = 1.5, e.item = item;
    e.user = "Ann", e.session = "Morning", e.timeText = "05/Mar/2024 14:22:05";
    if (club) e.clubSpeed = 150.0, e.attackAngle = -1.2, e.clubMass = 200.0;
    return e;
}

}  // namespace

TEST(SessionImport, ImportingTheSameFileTwiceAddsItsShotsOnce) {
    TempHome home;
    d::ShotTable table({}, kyvern::base::Settings());
    table.SetupTable();
    // Two equal shots are two shots.
    ASSERT_TRUE(table.AddShot(Entry("Driver", 220.0, true), false, true));
    ASSERT_TRUE(table.AddShot(Entry("Driver", 220.0, true), false, true));
    ASSERT_TRUE(table.AddShot(Entry("7 Iron", 170.0, false), false, true));
    const std::string good = home.File("good.txt");
    ASSERT_TRUE(d::SaveSession(table, good, "Ann", "Morning"));
    const std::string garbage = home.File("garbage.txt");
    WriteFileText(garbage,
                  "\x7f"
                  "ELF not a session at all\n");
    const std::string truncated = home.File("truncated.txt");
    const std::string text = ReadFileText(good);
    WriteFileText(truncated, text.substr(0, text.find("ShotNum")));

    std::unique_ptr<SqliteStore> store;
    ASSERT_TRUE(SqliteStore::Open(home.File("kyvern.db"), store));
    auto reports =
        ImportSessions(*store, {garbage, good, home.File("missing.txt"), truncated}, "Bay 3");
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_FALSE(reports[0].status);
    EXPECT_NE(reports[0].status.Reason().find("not a session file"), std::string::npos);
    EXPECT_TRUE(reports[1].status) << reports[1].status.Reason();
    EXPECT_EQ(reports[1].loaded, 3);
    EXPECT_EQ(reports[1].added, 3);
    EXPECT_FALSE(reports[2].status);
    EXPECT_NE(reports[2].status.Reason().find("missing.txt"), std::string::npos);
    EXPECT_FALSE(reports[3].status);

    ImportSessions(*store, {good}, "Bay 3");  // again: nothing more

    std::vector<StoredShot> shots;
    ASSERT_TRUE(store->Shots({}, shots));
    ASSERT_EQ(shots.size(), 3u);
    int drivers = 0;
    for (const StoredShot& s : shots) {
        EXPECT_EQ(s.player, "Ann");
        EXPECT_EQ(s.bay, "Bay 3");
        EXPECT_EQ(s.timeMs, TimeMsFromTableText("05/Mar/2024 14:22:05").value_or(-1));
        if (s.item == "Driver") {
            ++drivers;
            ASSERT_TRUE(s.clubSpeed.has_value());
            EXPECT_NEAR(*s.clubSpeed, 150.0, 0.2);
            EXPECT_GT(s.flight.carry, 100.0);
        } else {
            EXPECT_FALSE(s.clubSpeed.has_value());
        }
    }
    EXPECT_EQ(drivers, 2);
}
