#include "shot/performance_analysis.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/temp_home.h"

using kyvern::flight::FlightModel;
using kyvern::shot::PerformanceAnalysis;

TEST(PerformanceAnalysis, RulesAtTheirBoundaries) {
    // Ball speed, club speed, PTI: below 10 ft/s or outside 0.5 to 2.5 there is no index.
    const double pti[][3] = {{10, 10, 1},   {9.9, 9, 0},    {200, 9.9, 0}, {250, 100, 2.5},
                             {260, 100, 0}, {50, 100, 0.5}, {49, 100, 0}};
    for (const auto& c : pti)
        EXPECT_DOUBLE_EQ(PerformanceAnalysis::PowerTransfer(c[0], c[1]), c[2]) << c[0] << c[1];

    // Carry, offline, best carry, grade: 100 less the offline penalty for a shot beyond every
    // searched carry; under 5 per cent or a best of 10 ft or less is no grade.
    const double le[][4] = {{90, 9, 100, 80}, {110, -5.5, 100, 95}, {100, 0, 100, 100},
                            {4.9, 0, 100, 0}, {5, 0, 100, 5},       {9, 0, 9.5, 0},
                            {-30, 3, 100, 0}};
    for (const auto& c : le)
        EXPECT_NEAR(PerformanceAnalysis::Efficiency(c[0], c[1], c[2]), c[3], 1e-12) << c[0];

    // Launch, low, high of the search. The ten-degree rule holds at both ends; steep launches
    // keep ten degrees below the top instead of an empty or thin search.
    const double rows[][3] = {{12.3, 10, 28}, {4, 10, 20},    {3, 9, 19},
                              {55, 46, 60},   {59.9, 50, 60}, {75, 50, 60}};
    for (const auto& row : rows) {
        double low = 0.0, high = 0.0;
        PerformanceAnalysis::SearchRange(row[0], low, high);
        EXPECT_EQ(std::pair(low, high), std::pair(row[1], row[2])) << row[0];
    }

    // Mean carry, deviations and score of a group of three. Both terms at their caps leave
    // nothing; no positive mean carry scores 0.
    const double groups[][4] = {{150, 9, 8, 84.6}, {100, 80, 60, 0}, {0, 2, 2, 0}};
    for (const auto& g : groups)
        EXPECT_NEAR(PerformanceAnalysis::GroupScoreValue(g[0], g[1], g[2]), g[3], 0.05) << g[0];
}

TEST(PerformanceAnalysis, SearchOf217FlightsGradesRealShotsAndTheSettingSelectsOne) {
    kyvern::testing::TempHome home;
    FlightModel model;
    double launch = 12.3, spin = 2700.0;
    const double best = PerformanceAnalysis::BestCarry(model, 220.0, launch, spin);
    EXPECT_EQ(model.ComputeCount(), 217);
    EXPECT_TRUE(launch >= 10.0 && launch < 28.0 && std::fmod(spin - 1500.0, 300.0) == 0.0);
    model.Compute(220.0, launch, spin, 0.0, 0.0);
    EXPECT_EQ(model.CarryFeet(), best);  // the pair it moved to gives that carry

    PerformanceAnalysis analysis;
    analysis.Compute(220.0, 150.0, 12.3, 0.5, 2700.0, -300.0);
    const double le = analysis.LaunchEfficiency(), pti = analysis.PowerTransferIndex();
    EXPECT_NEAR(pti, 220.0 / 150.0, 1e-12);
    EXPECT_TRUE(le > 80.0 && le < 100.0) << le;

    // The score shown follows the setting; a word that is none of the index's selects none.
    const struct {
        const char *word, *label;
        double score;
    } choices[] = {{nullptr, "LE", le},
                   {"pti", "PTI", pti},
                   {"Le", "LE", le},
                   {"None", "", 0.0},
                   {"Best", "", 0.0}};
    for (const auto& c : choices) {
        const std::string text = c.word ? std::string("[Setup]\nPerformanceIndex=") + c.word : "";
        PerformanceAnalysis chosen(
            {}, kyvern::shot::ReadScoringOptions(kyvern::base::SettingsSnapshot(text)));
        chosen.Compute(220.0, 150.0, 12.3, 0.5, 2700.0, -300.0);
        EXPECT_EQ(chosen.SelectedLabel(), c.label);
        EXPECT_EQ(chosen.SelectedScore(), c.score);
    }
}
