#include "flight/flight_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "support/recording_prompts.h"
#include "support/temp_home.h"

using kyvern::flight::BallType;
using kyvern::flight::FlightModel;
using kyvern::flight::FlightResult;
using kyvern::flight::Weather;
using kyvern::testing::RecordingPrompts;
using kyvern::testing::TempHome;

namespace {

constexpr double kG = 32.174048;

// A golf ball of the given type id and the given weather, without touching any settings.
FlightModel Model(const TempHome& home, const char* ball, const Weather& weather = Weather()) {
    home.Set("Setup", "Ball", ball);
    return FlightModel(BallType(home.Settings()), weather);
}

Weather Wind(double mph, double direction) {
    Weather w;
    w.windSpeed = mph;
    w.windDir = direction;
    return w;
}

}  // namespace

TEST(FlightModel, ReadsBallAndWeatherFromTheSettings) {
    TempHome home;
    home.Set("Weather", "Temperature", "150");
    home.Set("Weather", "WindSpeed", "10");
    home.Set("Weather", "WindDir", "450");
    home.Set("Setup", "Ball", "Baseball");
    for (const FlightModel& model : {FlightModel(), FlightModel(home.Settings())}) {
        EXPECT_EQ(model.BallTypeId(), 4);
        EXPECT_DOUBLE_EQ(model.Temperature(), 130.0);
        EXPECT_NEAR(model.Wind().z, 10.0 * 88.0 / 60.0, 1e-12);
    }
}

TEST(FlightModel, SlowBallGivesZeroDistances) {
    TempHome home;
    FlightModel model = Model(home, "Golf Ball");
    // After a real flight a slow ball shows no flight at all, not the last one's time,
    // height and path.
    model.Compute(150.0, 20.0, 4000.0, 0.0, 0.0);
    ASSERT_GT(model.Carry(), 0.0);
    ASSERT_GT(model.FlightTime(), 0.0);
    ASSERT_GT(model.PointCount(), 0);
    model.Compute(4.9, 20.0, 4000.0, 500.0, 2.0);
    EXPECT_EQ(model.Carry(), 0.0);
    EXPECT_EQ(model.TotalOffline(), 0.0);
    EXPECT_EQ(model.Total(), 0.0);
    EXPECT_EQ(model.Roll(), 0.0);
    EXPECT_EQ(model.FlightTime(), 0.0);
    EXPECT_EQ(model.MaxHeight(), 0.0);
    EXPECT_EQ(model.PointCount(), 0);
}

TEST(FlightModel, SpinlessBallFliesADragFreeParabola) {
    TempHome home;
    FlightModel model = Model(home, "Golf Ball");
    model.Compute(100.0, 45.0, 0.0, 0.0, 0.0);
    const double v = 100.0 * std::cos(45.0 * 0.017453292519943278);
    const double y0 = 0.8425 / 12.0;
    const double landing = (v + std::sqrt(v * v + 2.0 * kG * y0)) / kG;
    EXPECT_NEAR(model.FlightTime(), landing, 2e-3);
    EXPECT_NEAR(model.CarryFeet() / 1.025, 311.0, 0.5);
    EXPECT_NEAR(model.CarryFeet() / 1.025, v * landing, 0.2);
    EXPECT_EQ(model.CarryOffline(), 0.0);
    // RK4 is exact on a parabola: each point sits where the formula puts it, 0.1 s apart.
    const FlightResult& r = model.Result();
    for (int i = 1; i <= 40; ++i) {
        double t = 0.1 * i;
        EXPECT_NEAR(r.pointX[i], v * t, 1e-9);
        EXPECT_NEAR(r.pointHeight[i], y0 + v * t - kG * t * t / 2.0, 1e-9);
        EXPECT_TRUE(r.pointHasSpin[i]);
    }
    EXPECT_NEAR(model.MaxHeightFeet(), r.pointHeight[22], 1e-12);  // the highest sampled point
    EXPECT_EQ(model.Roll(), model.Total() - model.Carry());
}

TEST(FlightModel, TrajectoryHoldsFlightRollAndRestingPoints) {
    TempHome home;
    FlightModel model = Model(home, "Golf Ball");
    model.Compute(240.0, 11.0, 2700.0, 0.0, 0.0);
    const FlightResult& r = model.Result();
    const int flightPoints = r.pointCount - 20;
    // One point per 0.1 s up to the step that went below ground.
    EXPECT_EQ(flightPoints, static_cast<int>(std::ceil(model.FlightTime() * 10.0)) + 1);
    EXPECT_EQ(r.pointX[0], 0.0);
    EXPECT_EQ(r.pointHeight[0], 0.0);
    EXPECT_FALSE(r.pointHasSpin[0]);
    // Then the roll to the resting point, without spin.
    EXPECT_NEAR(r.pointX[r.pointCount - 1], model.TotalFeet() / 1.025, 1e-9);
    EXPECT_NEAR(r.pointHeight[r.pointCount - 1], 0.0, 1e-7);
    EXPECT_FALSE(r.pointHasSpin[r.pointCount - 1]);
    // Back spin decays along the flight.
    EXPECT_LT(r.pointSpin[flightPoints - 1], r.pointSpin[1]);
    EXPECT_LT(r.pointSpin[1], 2700.0);
    EXPECT_GT(model.Carry(), 240.0);
    EXPECT_LT(model.Carry(), 310.0);
    EXPECT_GT(model.Roll(), 0.0);
}

TEST(FlightModel, MaxHeightReadsOnlyFlownExistingPoints) {
    TempHome home;
    FlightModel model = Model(home, "Golf Ball");
    // Spinless and straight up: 24.9 s in the air, far past the 17.4 s that are integrated.
    model.Compute(400.0, 90.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(model.PointCount(), 195);
    EXPECT_GT(model.FlightTime(), 17.4);  // extrapolated landing
    EXPECT_TRUE(std::isfinite(model.FlightTime()));
    EXPECT_NEAR(model.MaxHeightFeet(), 400.0 * 400.0 / (2.0 * kG), 1.0);
    EXPECT_NEAR(model.Carry(), 0.0, 1e-6);

    // The tee height does not count as height.
    model = Model(home, "Softball");  // launched from 42 in
    model.Compute(60.0, -20.0, 0.0, 0.0, 0.0);
    EXPECT_LT(model.MaxHeightFeet(), 42.0 / 12.0);
    EXPECT_NEAR(model.MaxHeightFeet(), model.Result().pointHeight[1], 1e-12);
    model.Compute(100.0, -20.0, 0.0, 0.0, 0.0);  // lands within the first step
    EXPECT_EQ(model.PointCount(), 2 + 20);
    EXPECT_EQ(model.MaxHeight(), 0.0);  // only the origin and the point below ground count
    EXPECT_GT(model.Carry(), 0.0);
}

TEST(FlightModel, WindMovesTheBallTheWayAUserExpects) {
    TempHome home;
    FlightModel still = Model(home, "Golf Ball");
    still.Compute(240.0, 11.0, 2700.0, 0.0, 0.0);
    for (double mph : {5.0, 30.0}) {
        FlightModel head = Model(home, "Golf Ball", Wind(mph, 0.0));
        FlightModel tail = Model(home, "Golf Ball", Wind(mph, 180.0));
        FlightModel fromRight = Model(home, "Golf Ball", Wind(mph, 90.0));
        FlightModel fromLeft = Model(home, "Golf Ball", Wind(mph, 270.0));
        head.Compute(240.0, 11.0, 2700.0, 0.0, 0.0);
        tail.Compute(240.0, 11.0, 2700.0, 0.0, 0.0);
        fromRight.Compute(240.0, 11.0, 2700.0, 0.0, 0.0);
        fromLeft.Compute(240.0, 11.0, 2700.0, 0.0, 0.0);
        EXPECT_LT(head.Carry(), still.Carry()) << mph;
        EXPECT_GT(tail.Carry(), still.Carry()) << mph;
        EXPECT_LT(fromRight.CarryOffline(), -1.0) << mph;
        EXPECT_GT(fromLeft.CarryOffline(), 1.0) << mph;
        EXPECT_LT(fromRight.TotalOffline(), fromRight.CarryOffline()) << mph;
    }
}

TEST(FlightModel, SideSpinSideAngleAndBackSpinSteerTheBall) {
    TempHome home;
    FlightModel model = Model(home, "Golf Ball");
    model.Compute(220.0, 12.0, 3000.0, 800.0, 0.0);
    EXPECT_LT(model.CarryOffline(), -5.0);  // positive side spin curves left
    model.Compute(220.0, 12.0, 3000.0, -800.0, 0.0);
    EXPECT_GT(model.CarryOffline(), 5.0);
    model.Compute(220.0, 12.0, 3000.0, 0.0, 3.0);  // starts right, stays right
    EXPECT_GT(model.CarryOffline(), 5.0);
    EXPECT_GT(model.TotalOffline(), model.CarryOffline());
    // Heavy spin on a steep descent rolls back.
    model.Compute(110.0, 30.0, 10000.0, 0.0, 0.0);
    EXPECT_LT(model.Roll(), 0.0);
    EXPECT_LT(model.Total(), model.Carry());
    EXPECT_GT(model.Total(), 0.0);
}

TEST(FlightModel, BallLandingBehindTheTeeCarriesANegativeDistance) {
    TempHome home;
    // Nearly straight up into a 40 mph head wind: the wind carries it back over the player.
    FlightModel model = Model(home, "Golf Ball", Wind(40.0, 0.0));
    model.Compute(60.0, 85.0, 300.0, 0.0, 0.0);
    ASSERT_LT(model.Result().pointX[model.PointCount() - 21], 0.0);
    EXPECT_LT(model.Carry(), -5.0);
    // It rolls on the way it was going: further back, not towards the target.
    EXPECT_LT(model.Total(), model.Carry());
    EXPECT_LT(model.Roll(), 0.0);
    const FlightResult& r = model.Result();
    EXPECT_LT(r.pointX[r.pointCount - 1], r.pointX[r.pointCount - 21]);
}

TEST(FlightModel, EveryBallTypeFliesAndLands) {
    TempHome home;
    const struct {
        const char* name;
        int typeId;
        double speed, launch, spin, minCarry, maxCarry, minTime;
    } balls[] = {
        {"Normal Trajectory Golf Ball", 0, 240, 11, 2700, 200, 330, 3},
        {"Range Golf Ball", 1, 240, 11, 2700, 200, 330, 3},
        {"High Trajectory Golf Ball", 2, 240, 11, 2700, 200, 330, 3},
        {"Low Trajectory Golf Ball", 3, 240, 11, 2700, 200, 330, 3},
        {"Baseball", 4, 150, 30, 2000, 60, 250, 1},
        {"Rubber Baseball", 5, 150, 30, 2000, 60, 250, 1},
        {"Cork Softball", 6, 150, 30, 2000, 60, 250, 1},
        {"Softball", 7, 150, 30, 2000, 60, 250, 1},
    };
    double golfCarry[4] = {};
    for (const auto& b : balls) {
        SCOPED_TRACE(b.name);
        FlightModel model = Model(home, b.name);
        EXPECT_EQ(model.BallTypeId(), b.typeId);
        model.Compute(b.speed, b.launch, b.spin, 0.0, 0.0);
        EXPECT_GT(model.Carry(), b.minCarry);
        EXPECT_LT(model.Carry(), b.maxCarry);
        EXPECT_GT(model.FlightTime(), b.minTime);
        EXPECT_LT(model.PointCount(), 195);  // landed before the last point
        if (b.typeId < 4) golfCarry[b.typeId] = model.Carry();
    }
    // The laws differ per golf ball type.
    EXPECT_NE(golfCarry[0], golfCarry[2]);
    EXPECT_NE(golfCarry[1], golfCarry[2]);
}

TEST(FlightModel, CoefficientFloorsKeepTheLawsSane) {
    const double fast = 8.0;  // a Reynolds number (/ 1e5) beyond any shot
    const double slow = 20.0 * (1.685 / 12.0) / 1.6429e-4 / 100000.0;
    enum Law { kDrag, kLift };
    const struct {
        const char* what;
        Law law;
        int type;
        double re, spin, sp, value;
        bool floored;
    } cases[] = {
        // Golf laws at a high Reynolds number would turn the drag negative; the floor is per
        // type, as the law is.
        {"high trajectory drag", kDrag, 2, fast, 0, 0, 0.05, true},
        {"low trajectory drag", kDrag, 3, fast, 0, 0, 0.05, true},
        {"range drag", kDrag, 1, fast, 0, 0, 0.05 * 1.02, true},
        {"rubber baseball drag", kDrag, 5, fast, 0, 0, 0.05 * 1.08, true},
        // Set A rises again at high Reynolds numbers and meets its cap instead.
        {"normal drag", kDrag, 0, fast, 0, 0, 0.5, false},
        // The low-trajectory lift law plunges at 20 ft/s; it stops at the mirror of its cap.
        {"low trajectory lift", kLift, 3, slow, 3000, 0.5, -0.4, true},
        {"range lift", kLift, 1, slow, 3000, 0.5, 0.4 * 1.02, false},
        {"unknown drag", kDrag, 8, 1, 0, 0.2, 0.0, false},
        {"unknown lift", kLift, 8, 1, 0, 0.2, 0.0, false},
    };
    for (const auto& c : cases) {
        bool floored = false;
        const double value =
            c.law == kDrag ? FlightModel::DragCoefficient(c.type, c.re, c.spin, c.sp, &floored)
                           : FlightModel::LiftCoefficient(c.type, c.re, c.spin, c.sp, &floored);
        EXPECT_DOUBLE_EQ(value, c.value) << c.what;
        EXPECT_EQ(floored, c.floored) << c.what;
    }
    // A typical drive sits between floor and cap and is untouched.
    const double drive = 240.0 * (1.685 / 12.0) / 1.6429e-4 / 100000.0;
    bool floored = false;
    const double cd = FlightModel::DragCoefficient(0, drive, 2700.0, 0.08, &floored);
    const double cl = FlightModel::LiftCoefficient(0, drive, 2700.0, 0.08, &floored);
    EXPECT_FALSE(floored);
    EXPECT_GT(cd, 0.05);
    EXPECT_LT(cd, 0.5);
    EXPECT_GT(cl, -0.4);
    EXPECT_LE(cl, 0.4);
}

TEST(FlightModel, NoFullShotMeetsACoefficientFloor) {
    TempHome home;
    struct Shot {
        double speed, launch, spin;
    };
    // Driver to wedge.
    const Shot shots[] = {{245.0, 10.5, 2600.0}, {230.0, 11.0, 3600.0}, {220.0, 12.0, 4300.0},
                          {205.0, 13.0, 4500.0}, {195.0, 14.0, 5000.0}, {185.0, 15.0, 5700.0},
                          {175.0, 16.5, 6500.0}, {165.0, 18.0, 7400.0}, {155.0, 20.0, 8300.0},
                          {140.0, 24.0, 9000.0}, {125.0, 28.0, 9500.0}};
    const char* balls[] = {"Normal Trajectory Golf Ball", "Range Golf Ball",
                           "High Trajectory Golf Ball", "Low Trajectory Golf Ball"};
    for (const char* ball : balls) {
        for (double mph : {0.0, 10.0, 20.0, 30.0}) {
            for (double dir : {0.0, 90.0, 180.0, 270.0}) {
                FlightModel model = Model(home, ball, Wind(mph, dir));
                for (const Shot& s : shots) {
                    model.Compute(s.speed, s.launch, s.spin, 300.0, 1.0);
                    // One corner meets the lift floor: a low-trajectory wedge riding a 30 mph
                    // tail wind has almost no air speed at its top, where that lift law
                    // plunges. The floor is what keeps that flight sane.
                    bool corner =
                        model.BallTypeId() == 3 && mph == 30.0 && dir == 180.0 && s.speed == 125.0;
                    EXPECT_EQ(model.FloorCount() > 0, corner)
                        << ball << " " << mph << " mph from " << dir << ", " << s.speed;
                }
            }
        }
    }
}

TEST(FlightModel, SameInputsGiveIdenticalResults) {
    TempHome home;
    FlightModel a = Model(home, "Golf Ball", Wind(12.0, 45.0));
    FlightModel b = Model(home, "Golf Ball", Wind(12.0, 45.0));
    a.Compute(200.0, 14.0, 4000.0, -500.0, 1.5);
    a.Compute(100.0, 40.0, 6000.0, 0.0, 0.0);
    a.Compute(200.0, 14.0, 4000.0, -500.0, 1.5);
    b.Compute(200.0, 14.0, 4000.0, -500.0, 1.5);
    EXPECT_EQ(a.Carry(), b.Carry());
    EXPECT_EQ(a.Total(), b.Total());
    EXPECT_EQ(a.MaxHeight(), b.MaxHeight());
    EXPECT_EQ(a.PointCount(), b.PointCount());
}

TEST(FlightModel, WritesTheTrajectoryTable) {
    TempHome home;
    FlightModel model = Model(home, "Golf Ball");
    model.Compute(240.0, 11.0, 2700.0, 0.0, 0.0);
    RecordingPrompts prompts;
    std::string path = home.File("flightKyvern.txt");
    ASSERT_TRUE(model.WriteTrajectory(path, prompts));
    EXPECT_TRUE(prompts.messages.empty());
    // Two heading lines, then one line per point after the origin and before the rest.
    std::ifstream in(path);
    int lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    EXPECT_EQ(lines, model.PointCount() - 2 + 2);

    EXPECT_FALSE(model.WriteTrajectory(home.File("missing/flightKyvern.txt"), prompts));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0], "Couldn't open the flightKyvern.txt file");
}
