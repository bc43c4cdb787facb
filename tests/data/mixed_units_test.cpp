// A group whose shots were written in different display units.
#include <gtest/gtest.h>

#include <cstdio>

#include "data/shot_table.h"
#include "sample_shots.h"
#include "shot/units.h"

namespace d = kyvern::data;
namespace s = kyvern::shot;

TEST(ShotTable, GroupStatisticsBringEveryRowToTheGroupsUnits) {
    kyvern::testing::TempHome home;
    kyvern::testing::RecordingPrompts prompts;
    const struct {
        int firstDistance, firstSpeed, laterDistance, laterSpeed;
        const char* label;
    } cases[] = {{s::kYards, s::kMph, s::kMeters, s::kKph, "Yards MPH"},
                 {s::kFeet, s::kFps, s::kYards, s::kMps, "Feet FPS"},
                 {s::kMeters, s::kMps, s::kFeet, s::kMph, "Meters m/s"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        d::ShotTable table(prompts);
        table.SetupTable();
        // The same shot twice, the display units changed between.
        for (const auto& [distance, speed] :
             {std::pair{c.firstDistance, c.firstSpeed}, {c.laterDistance, c.laterSpeed}}) {
            table.SetDistanceUnit(distance);
            table.SetSpeedUnit(speed);
            table.AddShot(kyvern::testing::Drive("Driver"), false, true);
        }
        EXPECT_EQ(table.Cell(1, d::kUnitsColumn), c.label);
        // Each statistic is the first shot's value, give or take the rounding of the second.
        for (int column : {d::kBallSpeedColumn, d::kClubSpeedColumn, d::kCarryColumn,
                           d::kOfflineColumn, d::kTotalColumn, d::kMaxHeightColumn}) {
            double mean = 0.0, deviation = 0.0;
            ASSERT_EQ(std::sscanf(table.Cell(1, column).c_str(), "%lf (%lf)", &mean, &deviation),
                      2);
            EXPECT_NEAR(mean, std::stod(table.Cell(2, column)), 0.1) << column;
            EXPECT_LE(deviation, 0.1) << column;
        }
    }
}
