// Any finite launch gives finite numbers everywhere: flight, club values and grades.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "flight/flight_model.h"
#include "shot/impact_model.h"
#include "shot/performance_analysis.h"
#include "support/temp_home.h"

using namespace kyvern::flight;
using kyvern::testing::TempHome;

namespace {

bool AllFinite(const FlightResult& r) {
    auto finite = [](double v) { return std::isfinite(v); };
    auto points = [&](const auto& values) {
        return std::all_of(values.begin(), values.begin() + r.pointCount, finite);
    };
    const double totals[] = {r.carry, r.carryOffline, r.total,     r.totalOffline,
                             r.roll,  r.maxHeight,    r.flightTime};
    return std::all_of(std::begin(totals), std::end(totals), finite) && r.pointCount >= 0 &&
           r.pointCount <= FlightResult::kMaxPoints && points(r.pointX) && points(r.pointZ) &&
           points(r.pointHeight) && points(r.pointSpin);
}

}  // namespace

TEST(FiniteResults, EveryFlightGradeAndClubValueOfTheSweepIsFinite) {
    TempHome home;
    for (const char* ball :
         {"Normal Trajectory Golf Ball", "Range Golf Ball", "High Trajectory Golf Ball",
          "Low Trajectory Golf Ball", "Baseball", "Rubber Baseball", "Cork Softball", "Softball"}) {
        home.Set("Setup", "Ball", ball);
        for (double wind : {0.0, 40.0}) {
            Weather weather;
            weather.windSpeed = wind;
            weather.windDir = 30.0;
            FlightModel model(BallType(ReadBallOptions(kyvern::base::SettingsSnapshot::Read())),
                              weather);
            for (double speed = 0.0; speed <= 400.0; speed += 50.0)
                for (double launch = -20.0; launch <= 90.0; launch += 22.0)
                    for (double back = -15000.0; back <= 15000.0; back += 7500.0)
                        for (double side : {-15000.0, 0.0, 15000.0}) {
                            model.Compute(speed, launch, back, side, 7.0);
                            ASSERT_TRUE(AllFinite(model.Result()))
                                << ball << " wind " << wind << ": " << speed << " ft/s, " << launch
                                << " deg, " << back << "/" << side << " rpm";
                        }
        }
        // The grades are 0 or inside their ranges.
        kyvern::shot::PerformanceAnalysis analysis(
            ReadFlightOptions(kyvern::base::SettingsSnapshot::Read()), {});
        for (double speed : {0.0, 150.0, 400.0})
            for (double launch : {-20.0, 35.0, 90.0})
                for (double back : {-15000.0, 0.0, 15000.0}) {
                    analysis.Compute(speed, 120.0, launch, 0.0, back, 15000.0);
                    const double le = analysis.LaunchEfficiency();
                    const double pti = analysis.PowerTransferIndex();
                    ASSERT_TRUE((le == 0.0 || (le >= 5.0 && le <= 100.0)) &&
                                (pti == 0.0 || (pti >= 0.5 && pti <= 2.5)))
                        << ball << " " << speed << " " << launch << " " << back << ": " << le << " "
                        << pti;
                }
    }
    kyvern::shot::ImpactModel model;
    for (double speed = 0.0; speed <= 400.0; speed += 20.0)
        for (double launch = -20.0; launch <= 90.0; launch += 10.0)
            for (double back = -15000.0; back <= 15000.0; back += 2500.0)
                for (double side = -15000.0; side <= 15000.0; side += 5000.0) {
                    ASSERT_TRUE(model.Evaluate(speed, launch, 3.0, back, side));
                    for (double v : {model.ClubSpeed(), model.EffectiveLoft(),
                                     model.AngleOfAttack(), model.FaceAngle(), model.PathAngle()})
                        ASSERT_TRUE(std::isfinite(v))
                            << speed << " " << launch << " " << back << " " << side;
                }
    EXPECT_TRUE(model.TakeMessages().empty());
}
