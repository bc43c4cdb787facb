// Any finite launch gives finite numbers everywhere: flight, club values and grades.
#include <gtest/gtest.h>

#include <cmath>

#include "flight/flight_model.h"
#include "shot/impact_model.h"
#include "shot/performance_analysis.h"
#include "support/temp_home.h"

using kyvern::flight::BallType;
using kyvern::flight::FlightModel;
using kyvern::flight::FlightResult;
using kyvern::flight::Weather;
using kyvern::shot::ImpactModel;
using kyvern::shot::PerformanceAnalysis;
using kyvern::testing::TempHome;

namespace {

const char* kBalls[] = {"Normal Trajectory Golf Ball",
                        "Range Golf Ball",
                        "High Trajectory Golf Ball",
                        "Low Trajectory Golf Ball",
                        "Baseball",
                        "Rubber Baseball",
                        "Cork Softball",
                        "Softball"};

bool AllFinite(const FlightModel& model) {
    const FlightResult& r = model.Result();
    for (double v :
         {r.carry, r.carryOffline, r.total, r.totalOffline, r.roll, r.maxHeight, r.flightTime}) {
        if (!std::isfinite(v)) return false;
    }
    if (r.pointCount < 0 || r.pointCount > FlightResult::kMaxPoints) return false;
    for (int i = 0; i < r.pointCount; ++i) {
        if (!std::isfinite(r.pointX[i]) || !std::isfinite(r.pointZ[i]) ||
            !std::isfinite(r.pointHeight[i]) || !std::isfinite(r.pointSpin[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

TEST(FiniteResults, EveryFlightAndGradeOfTheSweepIsFinite) {
    TempHome home;
    long flights = 0;
    for (const char* ball : kBalls) {
        home.Set("Setup", "Ball", ball);
        for (double wind : {0.0, 40.0}) {
            Weather weather;
            weather.windSpeed = wind;
            weather.windDir = 30.0;
            FlightModel model(BallType(home.Settings()), weather);
            for (double speed = 0.0; speed <= 400.0; speed += 50.0) {
                for (double launch = -20.0; launch <= 90.0; launch += 22.0) {
                    for (double back = -15000.0; back <= 15000.0; back += 7500.0) {
                        for (double side : {-15000.0, 0.0, 15000.0}) {
                            model.Compute(speed, launch, back, side, 7.0);
                            ++flights;
                            ASSERT_TRUE(AllFinite(model))
                                << ball << " wind " << wind << ": " << speed << " ft/s, " << launch
                                << " deg, " << back << "/" << side << " rpm";
                        }
                    }
                }
            }
        }
        PerformanceAnalysis analysis;
        for (double speed : {0.0, 150.0, 400.0}) {
            for (double launch : {-20.0, 35.0, 90.0}) {
                for (double back : {-15000.0, 0.0, 15000.0}) {
                    analysis.Compute(speed, 120.0, launch, 0.0, back, 15000.0);
                    double le = analysis.LaunchEfficiency();
                    ASSERT_TRUE(le == 0.0 || (le >= 5.0 && le <= 100.0))
                        << ball << " " << speed << " " << launch << " " << back << ": " << le;
                    double pti = analysis.PowerTransferIndex();
                    ASSERT_TRUE(pti == 0.0 || (pti >= 0.5 && pti <= 2.5));
                }
            }
        }
    }
    EXPECT_EQ(flights, 8L * 2 * 9 * 6 * 5 * 3);
}

TEST(FiniteResults, ClubValuesAreFiniteForEveryLaunch) {
    TempHome home;
    ImpactModel model;
    for (double speed = 0.0; speed <= 400.0; speed += 20.0) {
        for (double launch = -20.0; launch <= 90.0; launch += 10.0) {
            for (double back = -15000.0; back <= 15000.0; back += 2500.0) {
                for (double side = -15000.0; side <= 15000.0; side += 5000.0) {
                    ASSERT_TRUE(model.Evaluate(speed, launch, 3.0, back, side));
                    for (double v : {model.ClubSpeed(), model.EffectiveLoft(),
                                     model.AngleOfAttack(), model.FaceAngle(), model.PathAngle()}) {
                        ASSERT_TRUE(std::isfinite(v))
                            << speed << " " << launch << " " << back << " " << side;
                    }
                }
            }
        }
    }
    EXPECT_TRUE(model.TakeMessages().empty());
}
