// A bad club setting is shown once per shot, however often the club values are computed for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_fixtures.h"

TEST(ShotComputation, EachBadClubSettingIsShownOncePerShot) {
    kyvern::testing::MonitorRig rig;
    rig.monitor->Start();
    const struct {
        const char* key;
        const char* value;
    } cases[] = {{"ClubMass", "99"}, {"ClubLoft", "80"}, {"ClubMass", "heavy"}};
    for (const auto& c : cases) {
        rig.env.Set("Setup", "ClubMass", "200.0");
        rig.env.Set("Setup", "ClubLoft", "10.0");
        rig.env.Set("Setup", c.key, c.value);
        rig.prompts.messages.clear();
        ASSERT_TRUE(rig.Shoot());
        rig.timers.Fire(kyvern::app::kCameraTimer);
        EXPECT_EQ(rig.prompts.messages,
                  std::vector<std::string>{std::string("Invalid ") + c.key + " in Kyvern.ini"})
            << c.value;
    }
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 0);
}
