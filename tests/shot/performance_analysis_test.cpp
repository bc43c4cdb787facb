#include "shot/performance_analysis.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/temp_home.h"

using kyvern::flight::FlightModel;
using kyvern::shot::PerformanceAnalysis;
using kyvern::testing::TempHome;

TEST(PerformanceAnalysis, PinnedRulesAndBoundaries) {
    // Ball speed, club speed, PTI: below 10 ft/s or outside 0.5 to 2.5 there is no index.
    const double pti[][3] = {{200, 140, 200.0 / 140}, {200, 9.9, 0},  {9.9, 9, 0},  {260, 100, 0},
                             {250, 100, 2.5},         {50, 100, 0.5}, {49, 100, 0}, {10, 10, 1}};
    for (const auto& c : pti)
        EXPECT_DOUBLE_EQ(PerformanceAnalysis::PowerTransfer(c[0], c[1]), c[2]) << c[0] << c[1];

    // Carry, offline, best carry, grade: 100 less the offline penalty for a shot beyond every
    // searched carry; under 5 per cent or a best of 10 ft or less is no grade.
    const double le[][4] = {{90, 9, 100, 80}, {110, -5.5, 100, 95}, {100, 0, 100, 100},
                            {4.9, 0, 100, 0}, {5, 0, 100, 5},       {9, 0, 9.5, 0},
                            {0, 3, 100, 0},   {-30, 3, 100, 0}};
    for (const auto& c : le)
        EXPECT_NEAR(PerformanceAnalysis::Efficiency(c[0], c[1], c[2]), c[3], 1e-12) << c[0];

    // Launch, low, high of the search. The ten-degree rule holds at both ends; steep launches
    // keep ten degrees below the top instead of an empty or thin search.
    const double rows[][3] = {{12.3, 10, 28}, {55, 46, 60},   {4, 10, 20},
                              {3, 9, 19},     {-20, -14, -4}, {59.9, 50, 60},
                              {61, 50, 60},   {75, 50, 60},   {89, 50, 60}};
    for (const auto& row : rows) {
        double low = 0.0, high = 0.0;
        PerformanceAnalysis::SearchRange(row[0], low, high);
        EXPECT_EQ(low, row[1]) << row[0];
        EXPECT_EQ(high, row[2]) << row[0];
    }

    // Group count, mean carry, deviations, score. Both terms at their caps leave nothing; no
    // positive mean carry scores 0.
    const struct {
        int count;
        double carry, sdCarry, sdOffline;
        const char* score;
    } groups[] = {{2, 150, 9, 8, "---"},  {1, 150, 0, 0, "---"},   {3, 150, 9, 8, "84.6"},
                  {3, 200, 3, 1, "99.8"}, {5, 100, 80, 60, "0.0"}, {3, 0, 2, 2, "0.0"},
                  {4, -12, 2, 2, "0.0"}};
    for (const auto& g : groups)
        EXPECT_EQ(PerformanceAnalysis::GroupScore(g.count, g.carry, g.sdCarry, g.sdOffline),
                  g.score)
            << g.count << " " << g.carry;
    EXPECT_EQ(PerformanceAnalysis::GroupScoreValue(0.0, 0.0, 0.0), 0.0);
}

TEST(PerformanceAnalysis, SearchMakes217ComputationsForATypicalDrive) {
    TempHome home;
    FlightModel model;
    double launch = 12.3;
    double spin = 2700.0;
    double best = PerformanceAnalysis::BestCarry(model, 220.0, launch, spin);
    EXPECT_EQ(model.ComputeCount(), 217);
    EXPECT_GE(launch, 10.0);
    EXPECT_LT(launch, 28.0);
    EXPECT_EQ(std::fmod(spin - 1500.0, 300.0), 0.0);
    model.Compute(220.0, launch, spin, 0.0, 0.0);
    EXPECT_EQ(model.CarryFeet(), best);  // the pair it moved to gives that carry
    FlightModel reference;
    reference.Compute(220.0, 13.0, 2700.0, 0.0, 0.0);
    EXPECT_GE(best, reference.CarryFeet());

    // A steep launch searches the ten degrees below the top.
    FlightModel steep;
    launch = 75.0;
    spin = 2599.0;
    PerformanceAnalysis::BestCarry(steep, 90.0, launch, spin);
    EXPECT_EQ(steep.ComputeCount(), 1 + 10 * 12);
}

TEST(PerformanceAnalysis, ComputeGradesRealShotsAndTheSettingSelectsOne) {
    TempHome home;
    PerformanceAnalysis analysis;
    EXPECT_EQ(analysis.LaunchEfficiency(), 0.0);
    analysis.Compute(220.0, 150.0, 12.3, 0.5, 2700.0, -300.0);
    EXPECT_NEAR(analysis.PowerTransferIndex(), 220.0 / 150.0, 1e-12);
    EXPECT_GT(analysis.LaunchEfficiency(), 80.0);
    EXPECT_LT(analysis.LaunchEfficiency(), 100.0);

    // The score shown follows the setting, read at the moment of use.
    const struct {
        const char* word;
        const char* label;
        double score;
    } choices[] = {{nullptr, "LE", analysis.LaunchEfficiency()},
                   {"pti", "PTI", analysis.PowerTransferIndex()},
                   {"Le", "LE", analysis.LaunchEfficiency()},
                   {"None", "", 0.0}};
    for (const auto& c : choices) {
        if (c.word) home.Set("Setup", "PerformanceIndex", c.word);
        EXPECT_EQ(analysis.SelectedLabel(), c.label);
        EXPECT_EQ(analysis.SelectedScore(), c.score);
    }

    // A 75-degree pop-up of about 18 yards is compared with the best of 50 to 59 degrees.
    FlightModel popUp;
    popUp.Compute(90.0, 75.0, 3000.0, 0.0, 0.0);
    EXPECT_NEAR(popUp.Carry(), 18.0, 1.0);
    analysis.Compute(90.0, 70.0, 75.0, 0.0, 3000.0, 0.0);
    EXPECT_LT(analysis.LaunchEfficiency(), 50.0);

    // A slow ball has no carry and no grade.
    analysis.Compute(4.0, 3.0, 20.0, 0.0, 3000.0, 0.0);
    EXPECT_EQ(analysis.LaunchEfficiency(), 0.0);
    EXPECT_EQ(analysis.PowerTransferIndex(), 0.0);

    // An explicit settings path reads that file's ball.
    home.Set("Setup", "Ball", "Baseball");
    PerformanceAnalysis baseball(home.Settings());
    baseball.Compute(150.0, 0.0, 25.0, 0.0, 1500.0, 0.0);
    EXPECT_GT(baseball.LaunchEfficiency(), 5.0);
}
