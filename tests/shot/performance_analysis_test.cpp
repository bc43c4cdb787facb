#include "shot/performance_analysis.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/temp_home.h"

using kyvern::flight::FlightModel;
using kyvern::shot::PerformanceAnalysis;
using kyvern::testing::TempHome;

TEST(PerformanceAnalysis, PowerTransferIndex) {
    EXPECT_NEAR(PerformanceAnalysis::PowerTransfer(200.0, 140.0), 1.4286, 5e-5);
    EXPECT_EQ(PerformanceAnalysis::PowerTransfer(200.0, 9.9), 0.0);
    EXPECT_EQ(PerformanceAnalysis::PowerTransfer(9.9, 9.0), 0.0);
    EXPECT_EQ(PerformanceAnalysis::PowerTransfer(260.0, 100.0), 0.0);
    EXPECT_EQ(PerformanceAnalysis::PowerTransfer(250.0, 100.0), 2.5);
    EXPECT_EQ(PerformanceAnalysis::PowerTransfer(50.0, 100.0), 0.5);
    EXPECT_EQ(PerformanceAnalysis::PowerTransfer(49.0, 100.0), 0.0);
    EXPECT_EQ(PerformanceAnalysis::PowerTransfer(10.0, 10.0), 1.0);
}

TEST(PerformanceAnalysis, SearchMakes217ComputationsForATypicalDrive) {
    TempHome home;
    double low = 0.0;
    double high = 0.0;
    PerformanceAnalysis::SearchRange(12.3, low, high);
    EXPECT_EQ(low, 10.0);
    EXPECT_EQ(high, 28.0);
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

    // The reference alone beats nothing that the grid finds for a strong drive, and a shot
    // carried past every searched carry keeps its own.
    FlightModel reference;
    reference.Compute(220.0, 13.0, 2700.0, 0.0, 0.0);
    EXPECT_GE(best, reference.CarryFeet());
}

TEST(PerformanceAnalysis, SearchRangeBounds) {
    // Launch, low, high. The ten-degree rule holds at both ends; steep launches keep ten
    // degrees below the top instead of an empty or thin search.
    const double rows[][3] = {{55.0, 46.0, 60.0},   {4.0, 10.0, 20.0},  {3.0, 9.0, 19.0},
                              {-20.0, -14.0, -4.0}, {59.9, 50.0, 60.0}, {61.0, 50.0, 60.0},
                              {75.0, 50.0, 60.0},   {89.0, 50.0, 60.0}};
    for (const auto& row : rows) {
        double low = 0.0;
        double high = 0.0;
        PerformanceAnalysis::SearchRange(row[0], low, high);
        EXPECT_EQ(low, row[1]) << row[0];
        EXPECT_EQ(high, row[2]) << row[0];
    }

    TempHome home;
    FlightModel model;
    double launch = 75.0;
    double spin = 2599.0;
    PerformanceAnalysis::BestCarry(model, 90.0, launch, spin);
    EXPECT_EQ(model.ComputeCount(), 1 + 10 * 12);
}

TEST(PerformanceAnalysis, EfficiencyRules) {
    EXPECT_NEAR(PerformanceAnalysis::Efficiency(90.0, 9.0, 100.0), 80.0, 1e-12);
    // A shot beyond every searched carry: 100 less its offline penalty.
    EXPECT_NEAR(PerformanceAnalysis::Efficiency(110.0, -5.5, 100.0), 95.0, 1e-12);
    EXPECT_EQ(PerformanceAnalysis::Efficiency(100.0, 0.0, 100.0), 100.0);
    // 4.9 per cent is not a grade.
    EXPECT_EQ(PerformanceAnalysis::Efficiency(4.9, 0.0, 100.0), 0.0);
    EXPECT_NEAR(PerformanceAnalysis::Efficiency(5.0, 0.0, 100.0), 5.0, 1e-12);
    EXPECT_EQ(PerformanceAnalysis::Efficiency(9.0, 0.0, 9.5), 0.0);  // best of 10 ft or less
    EXPECT_EQ(PerformanceAnalysis::Efficiency(0.0, 3.0, 100.0), 0.0);
    EXPECT_EQ(PerformanceAnalysis::Efficiency(-30.0, 3.0, 100.0), 0.0);
}

TEST(PerformanceAnalysis, ComputeGradesRealShots) {
    TempHome home;
    PerformanceAnalysis analysis;
    EXPECT_EQ(analysis.LaunchEfficiency(), 0.0);
    EXPECT_EQ(analysis.PowerTransferIndex(), 0.0);
    EXPECT_STREQ(PerformanceAnalysis::Version(), "Analysis v2.3.1");

    analysis.Compute(220.0, 150.0, 12.3, 0.5, 2700.0, -300.0);
    EXPECT_NEAR(analysis.PowerTransferIndex(), 220.0 / 150.0, 1e-12);
    EXPECT_GT(analysis.LaunchEfficiency(), 80.0);
    EXPECT_LT(analysis.LaunchEfficiency(), 100.0);

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

TEST(PerformanceAnalysis, SelectedScoreFollowsTheSetting) {
    TempHome home;
    PerformanceAnalysis analysis;
    analysis.Compute(200.0, 140.0, 13.0, 0.0, 3000.0, 0.0);
    EXPECT_EQ(analysis.SelectedLabel(), "LE");
    EXPECT_EQ(analysis.SelectedScore(), analysis.LaunchEfficiency());
    home.Set("Setup", "PerformanceIndex", "pti");
    EXPECT_EQ(analysis.SelectedLabel(), "PTI");
    EXPECT_EQ(analysis.SelectedScore(), analysis.PowerTransferIndex());
    home.Set("Setup", "PerformanceIndex", "Le");
    EXPECT_EQ(analysis.SelectedLabel(), "LE");
    home.Set("Setup", "PerformanceIndex", "None");
    EXPECT_EQ(analysis.SelectedLabel(), "");
    EXPECT_EQ(analysis.SelectedScore(), 0.0);
}

TEST(PerformanceAnalysis, GroupScore) {
    EXPECT_EQ(PerformanceAnalysis::GroupScore(2, 150.0, 9.0, 8.0), "---");
    EXPECT_EQ(PerformanceAnalysis::GroupScore(1, 150.0, 0.0, 0.0), "---");
    EXPECT_EQ(PerformanceAnalysis::GroupScore(3, 150.0, 9.0, 8.0), "84.6");
    EXPECT_EQ(PerformanceAnalysis::GroupScore(3, 200.0, 3.0, 1.0), "99.8");
    // Both terms at their caps: a = 1 and b = 1 leave nothing of the circle.
    EXPECT_EQ(PerformanceAnalysis::GroupScore(5, 100.0, 80.0, 60.0), "0.0");
    // A group without a positive mean carry scores 0.
    EXPECT_EQ(PerformanceAnalysis::GroupScore(3, 0.0, 2.0, 2.0), "0.0");
    EXPECT_EQ(PerformanceAnalysis::GroupScore(4, -12.0, 2.0, 2.0), "0.0");
    EXPECT_EQ(PerformanceAnalysis::GroupScoreValue(0.0, 0.0, 0.0), 0.0);
}
