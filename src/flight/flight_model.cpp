#include "flight/flight_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/atomic_file.h"
#include "base/math_constants.h"
#include "base/string_table.h"
#include "flight/flight_lanes.h"
#include "flight/flight_laws.h"
#include "frame/simd.h"

namespace kyvern::flight {

FlightOptions ReadFlightOptions(base::OptionsReader& reader) {
    return {ReadBallOptions(reader), ReadWeather(reader)};
}

FlightOptions ReadFlightOptions(const base::SettingsSnapshot& snapshot) {
    base::OptionsReader reader(snapshot);
    return ReadFlightOptions(reader);
}

FlightModel::FlightModel(const FlightOptions& options) {
    Setup(BallType(options.ball), options.weather);
}

FlightModel::FlightModel(const BallType& ball, const Weather& weather) { Setup(ball, weather); }

void FlightModel::Setup(const BallType& ball, const Weather& weather) {
    ballTypeId_ = ball.TypeId();
    diameterFt_ = ball.Diameter() / 12.0;
    weightOz_ = ball.Weight();
    teeHeightIn_ = ball.TeeHeight();
    weather_ = weather;
    wind_ = WindVector(weather);
}

double FlightModel::DragCoefficient(std::int32_t typeId, double re, double rpm, double s,
                                    bool* floored) {
    return DragLaw(typeId, re, rpm, s, floored);
}

double FlightModel::LiftCoefficient(std::int32_t typeId, double re, double rpm, double s,
                                    bool* floored) {
    return LiftLaw(typeId, re, rpm, s, floored);
}

void FlightModel::PrepareAir() {
    areaFt2_ = base::kPi / 4.0 * diameterFt_ * diameterFt_;
    massSlug_ = weightOz_ / 16.0 / kGravity;
    air_ = ComputeAir(weather_);
}

void FlightModel::CarriesFeet(double ballSpeed, const double* launchAngles, const double* backSpins,
                              int count, double* carries) {
#if defined(__x86_64__)
    if (ballSpeed >= 5.0 && count > 0 && frame::ProcessorLanes() >= 4) {
        PrepareAir();
        CarriesFeetAvx2(Constants(), ballSpeed, teeHeightIn_, launchAngles, backSpins, count,
                        carries);
        computeCount_ += count;
        return;
    }
#endif
    for (int k = 0; k < count; ++k) {
        Compute(ballSpeed, launchAngles[k], backSpins[k], 0.0, 0.0);
        carries[k] = CarryFeet();
    }
}

FlightConstants FlightModel::Constants() const {
    FlightConstants c;
    c.typeId = ballTypeId_;
    c.windX = wind_.x;
    c.windY = wind_.y;
    c.windZ = wind_.z;
    c.diameterFt = diameterFt_;
    c.viscosity = air_.viscosity;
    c.density = air_.density;
    c.areaFt2 = areaFt2_;
    c.massSlug = massSlug_;
    return c;
}

void FlightModel::Derivative(const FlightConstants& c, const double* y, double* dy) {
    double drag = 0.0;
    double lift = 0.0;
    bool floored = false;
    if (MotionOf(y, dy, c, drag, lift, &floored)) {
        dragForce_ = drag;
        liftForce_ = lift;
        if (floored) ++floorCount_;
    }
}

void FlightModel::AppendPoint(double x, double z, double height, double spin, bool hasSpin) {
    if (result_.pointCount >= kMaxPoints) return;
    const auto i = static_cast<std::size_t>(result_.pointCount);
    result_.pointX[i] = x;
    result_.pointZ[i] = z;
    result_.pointHeight[i] = height;
    result_.pointSpin[i] = spin;
    result_.pointHasSpin[i] = hasSpin;
    ++result_.pointCount;
}

bool FlightModel::Start(const FlightLaunch& launch, State& y) {
    ++computeCount_;
    floorCount_ = 0;
    result_.roll = 0.0;
    result_.carryOffline = 0.0;
    result_.carry = 0.0;
    result_.totalOffline = 0.0;
    result_.total = 0.0;
    ballSpeed_ = launch.ballSpeed;
    launchRad_ = launch.launchAngle * base::kDegreesToRadians;
    sideRad_ = launch.sideAngle * base::kDegreesToRadians;
    backSpin_ = launch.backSpin;
    sideSpin_ = launch.sideSpin;
    if (!(launch.ballSpeed >= 5.0)) {
        // No flight: a reused model must not show the previous shot's time, height and path.
        result_.flightTime = 0.0;
        result_.maxHeight = 0.0;
        result_.pointCount = 0;
        return false;
    }

    PrepareAir();

    result_.pointX.fill(0.0);
    result_.pointZ.fill(0.0);
    result_.pointHeight.fill(0.0);
    result_.pointSpin.fill(0.0);
    result_.pointHasSpin.fill(false);
    result_.pointCount = 1;  // point 0 is the origin

    LaunchState(launch, teeHeightIn_, y.data());
    return true;
}

void FlightModel::Compute(double ballSpeed, double launchAngle, double backSpin, double sideSpin,
                          double sideAngle) {
    State y{};
    if (!Start({ballSpeed, launchAngle, backSpin, sideSpin, sideAngle}, y)) return;

    // Classical RK4 with a fixed step, so that flight points are exactly 0.1 s apart.
    const double h = kStep;
    double t = 0.0;
    State previous = y;
    const FlightConstants c = Constants();
    auto derivative = [this, &c](const double* state, double* rate) { Derivative(c, state, rate); };
    while (y[1] > 0.0 && result_.pointCount < kFlightPointLimit) {
        previous = y;
        MotionStep(y.data(), h, derivative);
        t += h;
        AppendPoint(y[0], y[2], y[1], y[8] * 60.0 / 2.0 / base::kPi, true);
    }
    Land(previous, y, t);
}

void FlightModel::Summaries(const FlightLaunch* launches, int count, FlightSummary* summaries) {
#if defined(__x86_64__)
    const bool lanes = frame::ProcessorLanes() >= 4;
#else
    const bool lanes = false;
#endif
    int k = 0;
    while (k < count) {
        // Four flights at a time where four in a row fly; a ball too slow to fly goes alone.
        bool four = lanes && k + 4 <= count;
        for (int lane = 0; four && lane < 4; ++lane)
            four = launches[k + lane].ballSpeed >= 5.0;
        if (!four) {
            const FlightLaunch& l = launches[k];
            Compute(l.ballSpeed, l.launchAngle, l.backSpin, l.sideSpin, l.sideAngle);
            summaries[k++] = result_;
            continue;
        }
#if defined(__x86_64__)
        double starts[4][9];
        LaneFlight flights[4];
        for (int lane = 0; lane < 4; ++lane)
            LaunchState(launches[k + lane], teeHeightIn_, starts[lane]);
        PrepareAir();
        FlightsAvx2(Constants(), starts, flights);
        State y{};
        for (int lane = 0; lane < 4; ++lane) {
            const LaneFlight& f = flights[lane];
            Start(launches[k + lane], y);
            double t = 0.0;
            for (int step = 0; step < f.steps; ++step) {
                t += kStep;
                AppendPoint(f.x[step], f.z[step], f.height[step],
                            f.spin[step] * 60.0 / 2.0 / base::kPi, true);
            }
            State previous;
            State last;
            std::copy(f.previous, f.previous + 9, previous.begin());
            std::copy(f.last, f.last + 9, last.begin());
            Land(previous, last, t);
            summaries[k + lane] = result_;
        }
        k += 4;
#endif
    }
}

void FlightModel::Land(const State& previous, const State& y, double t) {
    const double h = kStep;
    // Landing at height zero, between the last two states (beyond them when the point limit
    // stopped a ball still in the air).
    double landingTime = t;
    landing_ = y;
    double share = 0.0;
    if (LandingShare(previous[1], y[1], share)) {
        landingTime = t - h + share * h;
        for (int i = 0; i < 9; ++i)
            landing_[i] = previous[i] + share * (y[i] - previous[i]);
    }
    result_.flightTime = landingTime;
    const double carryDownrange = landing_[0] / 3.0;
    result_.carryOffline = landing_[2] / 3.0;

    // Bounce and roll from the landing state.
    state_ = landing_;
    const double radius = diameterFt_ / 2.0;
    const double vx = landing_[3];
    const double vy = landing_[4];
    const double vz = landing_[5];
    const double groundSpeed = std::sqrt(vx * vx + vy * vy + vz * vz);
    const double landingSpin = std::sqrt(landing_[6] * landing_[6] + landing_[7] * landing_[7] +
                                         landing_[8] * landing_[8]);
    const double descent = std::atan2(std::fabs(vy), std::sqrt(vx * vx + vz * vz));
    // The full-circle heading, so a ball travelling backwards rolls backwards.
    const double heading = std::atan2(vz, vx);
    const double rollLength = (std::cos(descent) * groundSpeed - landingSpin * radius) * 0.8;
    state_[0] += std::cos(heading) * rollLength;
    state_[2] += std::sin(heading) * rollLength;

    // Small arcs after the landing point, then the resting point.
    const double xL = landing_[0];
    const double zL = landing_[2];
    const double dx = state_[0] - xL;
    const double dz = state_[2] - zL;
    for (int i = 1; i <= kRollPoints; ++i) {
        const double f = static_cast<double>(i) / (i + 1);
        const double height = i < 10 ? std::sin(i * base::kPi / 10.0) * 2.0 / f : 0.0;
        AppendPoint(xL + f * dx, zL + f * dz, height, 0.0, false);
    }
    AppendPoint(state_[0], state_[2], landing_[1], 0.0, false);

    const double totalDownrange = state_[0] / 3.0;
    result_.totalOffline = state_[2] / 3.0;
    result_.carry = SignedDistance(carryDownrange, result_.carryOffline);
    result_.total = SignedDistance(totalDownrange, result_.totalOffline);
    result_.roll = result_.total - result_.carry;

    // Highest point of the flight, among the points that exist.
    const double limit = 10.0 * result_.flightTime + 1.0;
    double highest = 0.0;
    for (int i = 0; i < result_.pointCount && i < kMaxPoints && i < limit; ++i) {
        highest = std::fmax(highest, result_.pointHeight[static_cast<std::size_t>(i)]);
    }
    result_.maxHeight = highest / 3.0;
}

base::Status FlightModel::WriteTrajectory(const std::string& path) const {
    std::string text = "    dr\t    ol\t   alt\n======\t======\t======\n";
    for (int i = 1; i <= result_.pointCount - 2; ++i) {
        const auto p = static_cast<std::size_t>(i);
        char line[80];
        std::snprintf(line, sizeof line, "%6.1f\t%6.1f\t%6.1f\n",
                      kRollFactor * result_.pointX[p] / 3.0, kRollFactor * result_.pointZ[p] / 3.0,
                      kRollFactor * result_.pointHeight[p] / 3.0);
        text += line;
    }
    // Another program may be reading the table of the last shot: it sees that one or this one.
    std::string why;
    if (!base::ReplaceFileAtomically(path, text, &why)) {
        return base::Status::Failure(
            std::string(base::Text(base::MessageId::kCouldNotOpenTrajectoryFile)) + " (" + path +
            ": " + why + ")");
    }
    return {};
}

}  // namespace kyvern::flight
