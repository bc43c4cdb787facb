// With no club key in the settings, the status file publishes the mass the shot was computed
// with.
#include <gtest/gtest.h>

#include <cstdio>

#include "app_fixtures.h"
#include "base/config_store.h"

TEST(ShotComputation, ThePublishedClubMassIsTheOneTheShotUsed) {
    kyvern::testing::MonitorRig rig;
    ASSERT_EQ(rig.env.Get("Setup", "ClubMass"), "<missing>");
    rig.monitor->Start();
    ASSERT_TRUE(rig.Shoot());
    rig.timers.Fire(kyvern::app::kCameraTimer);
    ASSERT_EQ(rig.monitor->ShotsRecorded(), 1);

    const double used = rig.monitor->CurrentShot().club.clubMass.Value();
    const std::string text = kyvern::base::ConfigStore::ReadSetting(
        rig.env.File("statusKyvern.ini"), "Club", "ClubMass", "", 260);
    double published = 0.0;
    ASSERT_EQ(std::sscanf(text.c_str(), "%lf", &published), 1) << text;
    EXPECT_EQ(published, used);
    EXPECT_EQ(used, 200.0);
}
