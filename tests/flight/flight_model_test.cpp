#include "flight/flight_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "support/temp_home.h"

using namespace kyvern::flight;
using namespace kyvern::testing;

namespace {

constexpr double kG = 32.174048;

// The ball of a settings file as a pass reads it; the program folder's without a path.
BallOptions BallOf(const std::string& path = {}) {
    return ReadBallOptions(kyvern::base::SettingsSnapshot::Read(path));
}

// A golf ball of the given type id and the given weather, without touching any settings.
FlightModel Model(const TempHome& home, const char* ball, const Weather& weather = Weather()) {
    home.Set("Setup", "Ball", ball);
    return FlightModel(BallType(BallOf(home.Settings())), weather);
}

// Every ball type, in type-id order.
constexpr const char* kBalls[] = {"Normal Trajectory Golf Ball",
                                  "Range Golf Ball",
                                  "High Trajectory Golf Ball",
                                  "Low Trajectory Golf Ball",
                                  "Baseball",
                                  "Rubber Baseball",
                                  "Cork Softball",
                                  "Softball"};

Weather Wind(double mph, double direction) {
    Weather w;
    w.windSpeed = mph;
    w.windDir = direction;
    return w;
}

}  // namespace

TEST(FlightModel, ParabolaTrajectoryAndASlowBallAfterIt) {
    TempHome home;
    home.Set("Weather", "WindSpeed", "10");  // read into the options, then replaced
    home.Set("Setup", "Ball", "Baseball");
    EXPECT_EQ(FlightModel().BallTypeId(), 0);  // the defaults: no file is read
    const FlightOptions read = ReadFlightOptions(kyvern::base::SettingsSnapshot::Read());
    EXPECT_EQ(FlightModel(read).BallTypeId(), 4);
    EXPECT_NEAR(FlightModel(read).Wind().x, 10.0 * 88.0 / 60.0, 1e-12);
    FlightModel model = Model(home, "Golf Ball");
    // Spinless: drag-free, and RK4 is exact on a parabola, each point 0.1 s apart.
    model.Compute(100.0, 45.0, 0.0, 0.0, 0.0);
    const double v = 100.0 * std::cos(45.0 * 0.017453292519943278);
    const double y0 = 0.8425 / 12.0;
    EXPECT_NEAR(model.FlightTime(), (v + std::sqrt(v * v + 2.0 * kG * y0)) / kG, 2e-3);
    EXPECT_NEAR(model.CarryFeet() / 1.025, 311.0, 0.5);
    EXPECT_EQ(model.CarryOffline(), 0.0);
    const FlightResult& r = model.Result();
    for (int i = 1; i <= 40; ++i) {
        EXPECT_NEAR(r.pointX[i], v * 0.1 * i, 1e-9);
        EXPECT_NEAR(r.pointHeight[i], y0 + v * 0.1 * i - kG * 0.01 * i * i / 2.0, 1e-9);
    }
    EXPECT_NEAR(model.MaxHeightFeet(), r.pointHeight[22], 1e-12);  // the highest sampled point

    // A drive: one point per 0.1 s up to the step below ground, then the roll to rest.
    model.Compute(240.0, 11.0, 2700.0, 0.0, 0.0);
    const int flightPoints = r.pointCount - 20;
    EXPECT_EQ(flightPoints, int(std::ceil(model.FlightTime() * 10.0)) + 1);
    EXPECT_TRUE(r.pointHasSpin[1]);
    EXPECT_NEAR(r.pointX[r.pointCount - 1], model.TotalFeet() / 1.025, 1e-9);
    EXPECT_NEAR(r.pointHeight[r.pointCount - 1], 0.0, 1e-7);
    EXPECT_FALSE(r.pointHasSpin[r.pointCount - 1]);
    EXPECT_LT(r.pointSpin[flightPoints - 1], r.pointSpin[1]);  // back spin decays
    EXPECT_GT(model.Roll(), 0.0);
    const double drive = model.Total();
    ASSERT_TRUE(model.WriteTrajectory(home.File("flightKyvern.txt")));
    // A failure is returned with the file and its reason; the model shows nothing itself.
    const std::string nowhere = home.File("missing/flightKyvern.txt");
    const kyvern::base::Status failed = model.WriteTrajectory(nowhere);
    EXPECT_FALSE(failed);
    EXPECT_NE(failed.Reason().find(nowhere), std::string::npos) << failed.Reason();
    std::ifstream in(home.File("flightKyvern.txt"));
    int lines = 0;  // two heading lines, one per point after the origin and before the rest
    for (std::string line; std::getline(in, line);)
        ++lines;
    EXPECT_EQ(lines, model.PointCount());

    // A slow ball after it shows no flight at all, and the drive again is the same drive.
    model.Compute(4.9, 20.0, 4000.0, 500.0, 2.0);
    for (double value : {model.Carry(), model.TotalOffline(), model.Total(), model.Roll(),
                         model.FlightTime(), model.MaxHeight(), double(model.PointCount())})
        EXPECT_EQ(value, 0.0);
    model.Compute(240.0, 11.0, 2700.0, 0.0, 0.0);
    EXPECT_EQ(model.Total(), drive);
}

TEST(FlightModel, WindAndSpinSteerTheBall) {
    TempHome home;
    FlightModel still = Model(home, "Golf Ball");
    still.Compute(240.0, 11.0, 2700.0, 0.0, 0.0);
    const struct {
        double mph, dir, sideSpin, sideAngle;
        int carry;    // compared with the still shot: -1 shorter, 1 longer, 0 any
        int offline;  // -1 left of -1 yd, 1 right of 1 yd
    } rows[] = {
        {5, 0, 0, 0, -1, 0},   {5, 180, 0, 0, 1, 0},  {5, 90, 0, 0, 0, -1},
        {30, 270, 0, 0, 0, 1}, {0, 0, 800, 0, 0, -1}, {0, 0, 0, 3, 0, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.mph << " mph from " << row.dir << ", spin "
                                        << row.sideSpin << ", angle " << row.sideAngle);
        FlightModel model = Model(home, "Golf Ball", Wind(row.mph, row.dir));
        model.Compute(240.0, 11.0, 2700.0, row.sideSpin, row.sideAngle);
        if (row.carry) {
            EXPECT_EQ(model.Carry() > still.Carry() ? 1 : -1, row.carry);
        }
        EXPECT_EQ(model.CarryOffline() > 1.0    ? 1
                  : model.CarryOffline() < -1.0 ? -1
                                                : 0,
                  row.offline);
        if (row.offline) {  // the roll goes on the way the ball was drifting
            EXPECT_EQ(model.TotalOffline() > model.CarryOffline() ? 1 : -1, row.offline);
        }
    }
    FlightModel model = Model(home, "Golf Ball");
    model.Compute(110.0, 30.0, 10000.0, 0.0, 0.0);  // heavy spin on a steep descent rolls back
    EXPECT_LT(model.Roll(), 0.0);
    EXPECT_GT(model.Total(), 0.0);
    // Nearly straight up into a 40 mph head wind: it lands behind the tee and rolls further back.
    model = Model(home, "Golf Ball", Wind(40.0, 0.0));
    model.Compute(60.0, 85.0, 300.0, 0.0, 0.0);
    EXPECT_LT(model.Carry(), -5.0);
    EXPECT_LT(model.Total(), model.Carry());
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

TEST(FlightModel, CoefficientFloorsKeepTheLawsSane) {
    const double fast = 8.0;  // a Reynolds number (/ 1e5) beyond any shot
    const double slow = 20.0 * (1.685 / 12.0) / 1.6429e-4 / 100000.0;
    enum Law { kDrag, kLift };
    // Golf laws at a high Reynolds number would turn the drag negative: the floor is per type,
    // as the law is, while set A rises again and meets its cap. The low-trajectory lift law
    // plunges at 20 ft/s and stops at the mirror of its cap. Unknown types have no law.
    const struct {
        Law law;
        int type;
        double re, spin, sp, value;
        bool floored;
    } cases[] = {
        {kDrag, 2, fast, 0, 0, 0.05, true},        {kDrag, 1, fast, 0, 0, 0.05 * 1.02, true},
        {kDrag, 5, fast, 0, 0, 0.05 * 1.08, true}, {kDrag, 0, fast, 0, 0, 0.5, false},
        {kLift, 3, slow, 3000, 0.5, -0.4, true},   {kLift, 1, slow, 3000, 0.5, 0.4 * 1.02, false},
        {kDrag, 8, 1, 0, 0.2, 0.0, false},         {kLift, 8, 1, 0, 0.2, 0.0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.law == kDrag ? "drag " : "lift ") << c.type);
        bool floored = false;
        const double value =
            c.law == kDrag ? FlightModel::DragCoefficient(c.type, c.re, c.spin, c.sp, &floored)
                           : FlightModel::LiftCoefficient(c.type, c.re, c.spin, c.sp, &floored);
        EXPECT_DOUBLE_EQ(value, c.value);
        EXPECT_EQ(floored, c.floored);
    }
}

// Driver to wedge with every golf ball in every wind, and a hit with every other ball: all
// land within the points, and no full shot needs a coefficient floor.
TEST(FlightModel, EveryBallFliesAndNoFullShotMeetsACoefficientFloor) {
    TempHome home;
    const double shots[][3] = {{245, 10.5, 2600}, {230, 11, 3600}, {220, 12, 4300},
                               {205, 13, 4500},   {195, 14, 5000}, {185, 15, 5700},
                               {175, 16.5, 6500}, {165, 18, 7400}, {155, 20, 8300},
                               {140, 24, 9000},   {125, 28, 9500}};
    double driveCarry[8] = {};
    for (int type = 0; type < 8; ++type) {
        for (double mph : {0.0, 10.0, 20.0, 30.0}) {
            for (double dir : {0.0, 90.0, 180.0, 270.0}) {
                FlightModel model = Model(home, kBalls[type], Wind(mph, dir));
                ASSERT_EQ(model.BallTypeId(), type);
                for (const auto& s : shots) {
                    model.Compute(type < 4 ? s[0] : s[0] * 0.6, s[1], s[2], 300.0, 1.0);
                    SCOPED_TRACE(testing::Message() << kBalls[type] << " " << mph << " mph from "
                                                    << dir << ", " << s[0]);
                    EXPECT_GT(model.Carry(), 0.0);
                    EXPECT_GT(model.FlightTime(), 1.0);
                    EXPECT_LT(model.PointCount(), 195);
                    if (mph == 0.0 && &s == &shots[0]) driveCarry[type] = model.Carry();
                    if (type >= 4) continue;
                    // One corner meets the lift floor: a low-trajectory wedge riding a 30 mph
                    // tail wind has almost no air speed at its top, where that lift law
                    // plunges. The floor is what keeps that flight sane.
                    const bool corner = type == 3 && mph == 30.0 && dir == 180.0 && s[0] == 125.0;
                    EXPECT_EQ(model.FloorCount() > 0, corner);
                }
            }
        }
    }
    for (int type = 0; type < 8; ++type) {  // a drive, and a hit, carry like one
        FlightModel model = Model(home, kBalls[type]);
        type < 4 ? model.Compute(240, 11, 2700, 0, 0) : model.Compute(150, 30, 2000, 0, 0);
        EXPECT_GT(model.Carry(), type < 4 ? 200 : 60) << kBalls[type];
        EXPECT_LT(model.Carry(), type < 4 ? 330 : 250) << kBalls[type];
    }
    // The laws differ per golf ball type.
    EXPECT_NE(driveCarry[0], driveCarry[2]);
    EXPECT_NE(driveCarry[1], driveCarry[2]);
}

TEST(FlightModel, FlightsComputedTogetherCarryAsEachAlone) {
    TempHome home;
    // Dipping, flat, usual and steep launches; no spin (no air force at all) to far too much;
    // no flight, a slow ball and one that stays up past the last flight point. 19 flights, so
    // the last group of lanes is not full.
    constexpr double kLaunches[] = {-5.0, 0.5, 12.0, 45.0, 89.0};
    constexpr double kSpins[] = {0.0, 1500.0, 4800.0, 12000.0};
    double angles[19];
    double spins[19];
    for (int k = 0; k < 19; ++k) {
        angles[k] = kLaunches[k % 5];
        spins[k] = kSpins[k % 4];
    }
    for (int type = 0; type < 8; ++type) {
        for (double speed : {4.0, 60.0, 250.0, 500.0}) {
            FlightModel together = Model(home, kBalls[type], Wind(15.0, 120.0));
            FlightModel alone = Model(home, kBalls[type], Wind(15.0, 120.0));
            double carries[19];
            together.CarriesFeet(speed, angles, spins, 19, carries);
            EXPECT_EQ(together.ComputeCount(), 19);
            for (int k = 0; k < 19; ++k) {
                alone.Compute(speed, angles[k], spins[k], 0.0, 0.0);
                EXPECT_EQ(carries[k], alone.CarryFeet())
                    << kBalls[type] << " " << speed << " ft/s " << angles[k] << " deg " << spins[k];
            }
        }
        // Whole summaries, curving and pushed, with a ball too slow to fly in some rows of four;
        // the last flight is one of four side by side.
        constexpr int kCount = 18;
        FlightLaunch launches[kCount];
        for (int k = 0; k < kCount; ++k) {
            const double speed = k == 2 || k == 9 ? 4.0 : 60.0 + 25.0 * k;
            launches[k] = {speed, angles[k], spins[k], 800.0 * (k % 3) - 800.0, 6.0 - k};
        }
        FlightModel together = Model(home, kBalls[type], Wind(15.0, 120.0));
        FlightModel alone = Model(home, kBalls[type], Wind(15.0, 120.0));
        FlightSummary summaries[kCount];
        together.Summaries(launches, kCount, summaries);
        EXPECT_EQ(together.ComputeCount(), kCount);
        for (int k = 0; k < kCount; ++k) {
            const FlightLaunch& l = launches[k];
            alone.Compute(l.ballSpeed, l.launchAngle, l.backSpin, l.sideSpin, l.sideAngle);
            const FlightResult& r = alone.Result();
            const FlightSummary& s = summaries[k];
            EXPECT_TRUE(s.carry == r.carry && s.carryOffline == r.carryOffline &&
                        s.total == r.total && s.totalOffline == r.totalOffline &&
                        s.roll == r.roll && s.maxHeight == r.maxHeight &&
                        s.flightTime == r.flightTime)
                << kBalls[type] << " launch " << k;
        }
        const FlightResult& last = together.Result();
        const FlightResult& expected = alone.Result();
        EXPECT_EQ(last.pointCount, expected.pointCount);
        EXPECT_TRUE(last.pointX == expected.pointX && last.pointZ == expected.pointZ &&
                    last.pointHeight == expected.pointHeight &&
                    last.pointSpin == expected.pointSpin &&
                    last.pointHasSpin == expected.pointHasSpin);
    }
}

TEST(BallType, TypeFromNameAndTeeFromHeightAboveGround) {
    // The sizes and weights per type are the code's own table; what is pinned is the choice.
    const struct {
        const char* name;  // nullptr: no settings file
        const char* height;
        int typeId;
        double tee;
    } rows[] = {
        {nullptr, "", 0, 0.8425},           {"Rubber Baseball", "", 5, 42.0},
        {"  cORK sOFTBALL  ", "", 6, 42.0},  // trimmed, any case
        {"Softball", "36", 7, 36.0},        {"Softball", "0", 7, 42.0},
        {"Tennis Ball", "12.7", 0, 12.0},  // unknown; "%d" of the height
        {"Golf Ball", "high", 0, 0.8425},
    };
    TempHome home;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name ? row.name : "(none)");
        if (row.name) {
            ASSERT_TRUE(home.Set("Setup", "Ball", row.name));
            ASSERT_TRUE(home.Set("Setup", "HeightAboveGround", row.height));
        }
        BallType ball(BallOf());
        EXPECT_EQ(ball.TypeId(), row.typeId);
        EXPECT_DOUBLE_EQ(ball.TeeHeight(), row.tee);
        EXPECT_EQ(BallType(BallOf(home.Settings())).TypeId(), row.typeId);
    }
    ASSERT_TRUE(home.Set("Setup", "Ball", "  cORK sOFTBALL  "));
    EXPECT_EQ(BallType(BallOf()).Name(), "cORK sOFTBALL");
    // The 80-character reader keeps 79 characters of a long name.
    ASSERT_TRUE(home.Set("Setup", "Ball", std::string(100, 'x')));
    EXPECT_EQ(BallType(BallOf()).Name().size(), 79u);
    TempHome empty;
    EXPECT_EQ(BallType(BallOf()).Name(), "Golf Ball");
}
