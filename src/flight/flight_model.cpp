#include "flight/flight_model.h"

#include <cmath>
#include <cstdio>

#include "base/atomic_file.h"
#include "base/math_constants.h"
#include "base/string_table.h"

namespace kyvern::flight {

namespace {

constexpr double kGravity = 32.174048;  // ft/s²
constexpr double kLandedHeight = 1e-7;  // ft
constexpr double kRollFactor = 1.025;

// Keeps the smaller of value and cap, then the larger of that and floor.
double CapAndFloor(double value, double cap, double floor, bool* floored) {
    if (value > cap) value = cap;
    if (value < floor) {
        value = floor;
        if (floored) *floored = true;
    }
    return value;
}

// Signed distance from the tee: the magnitude of the point, negative when it lies behind the
// tee, so that a ball carried backwards does not read as a forward carry.
double SignedDistance(double downrange, double offline) {
    double distance = kRollFactor * std::sqrt(downrange * downrange + offline * offline);
    return downrange < 0.0 ? -distance : distance;
}

constexpr double kTinyComponent = 0.0001;

analysis::Xyz UnitOf(const analysis::Xyz& v, double length) {
    analysis::Xyz u(v.x / length, v.y / length, v.z / length);
    if (std::fabs(u.x) < kTinyComponent) u.x = 0.0;
    if (std::fabs(u.y) < kTinyComponent) u.y = 0.0;
    if (std::fabs(u.z) < kTinyComponent) u.z = 0.0;
    return u;
}

}  // namespace

FlightModel::FlightModel(const base::Settings& settings) {
    Setup(BallType(settings), ReadWeather(settings));
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
    const double n = rpm;
    switch (typeId) {
        case 0:
            return CapAndFloor(0.3095053115 - 0.18414800399 * re + 0.0598910311 * re * re +
                                   5.2632453e-5 * n - 6.32361e-10 * n * n - 1.8255e-5 * re * n,
                               0.5, kDragFloor, floored);
        case 1:
        case 2:
        case 5: {
            double cd = CapAndFloor(0.172266390960959 + 0.0522071044095622 * re -
                                        0.022730041114111 * re * re + 3.2497205334972e-5 * n +
                                        6.99288852467078e-10 * n * n - 1.07224417003079e-5 * re * n,
                                    0.5, kDragFloor, floored);
            if (typeId == 1) cd *= 1.02;
            if (typeId == 5) cd *= 1.08;
            return cd;
        }
        case 3:
            return CapAndFloor(0.2777731795 - 0.0026661728 * re - 0.028693497538 * re * re +
                                   1.5926112063e-5 * n + 1.2336128919e-9 * n * n -
                                   3.810805e-6 * re * n,
                               0.5, kDragFloor, floored);
        case 4:
        case 6:
        case 7:
            return (0.56 * s + 0.351) * 0.9;
        default:
            return 0.0;
    }
}

double FlightModel::LiftCoefficient(std::int32_t typeId, double re, double rpm, double s,
                                    bool* floored) {
    const double n = rpm;
    const double r1 = 1.0 / re;
    const double r2 = r1 * r1;
    const double r3 = r2 * r1;
    const double r4 = r2 * r2;
    switch (typeId) {
        case 0:
            return CapAndFloor(-0.15358054204 + 0.37112932871 * r1 - 0.0819053099 * r2 -
                                   0.14063922122 * r3 + 0.10447989711 * r4 + 6.331757e-5 * n -
                                   6.73445e-9 * n * n + 4.1060976e-13 * n * n * n,
                               0.4, kLiftFloor, floored);
        case 1:
        case 2:
        case 5: {
            double cl = CapAndFloor(
                -0.277193964076082 + 0.51197284742553 * r1 + 0.0392236078626905 * r2 -
                    0.33318986737117 * r3 + 0.117747332136713 * r4 + 9.80654368085475e-5 * n -
                    1.24097559728608e-8 * n * n + 6.52083457782501e-13 * n * n * n,
                0.4, kLiftFloor, floored);
            if (typeId == 1) cl *= 1.02;
            if (typeId == 5) cl *= 0.95;
            return cl;
        }
        case 3:
            return CapAndFloor(-0.583790011 + 1.7173246672 * r1 - 1.8152140697 * r2 +
                                   0.913747777 * r3 - 0.190200253 * r4 + 9.816886973e-5 * n -
                                   1.2650193e-8 * n * n + 7.083982412e-13 * n * n * n,
                               0.4, kLiftFloor, floored);
        case 4:
        case 6:
        case 7:
            return std::atan(5.88 * s) * 0.229 * 1.3;
        default:
            return 0.0;
    }
}

void FlightModel::Derivative(const State& y, State& dy) {
    const analysis::Xyz v(y[3] + wind_.x, y[4] + wind_.y, y[5] + wind_.z);
    const analysis::Xyz w(y[6], y[7], y[8]);
    const double speed = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    const double spin = std::sqrt(w.x * w.x + w.y * w.y + w.z * w.z);

    dy[0] = y[3];
    dy[1] = y[4];
    dy[2] = y[5];
    if (speed >= 0.1 && spin >= 0.1) {
        const double re = speed * diameterFt_ / air_.viscosity / 100000.0;
        const double s = spin * diameterFt_ / 2.0 / speed;
        const double rpm = spin / (2.0 * base::kPi) * 60.0;
        bool floored = false;
        const double cd = DragCoefficient(ballTypeId_, re, rpm, s, &floored);
        const double cl = LiftCoefficient(ballTypeId_, re, rpm, s, &floored);
        if (floored) ++floorCount_;
        const double pressureArea = air_.density * areaFt2_ * speed * speed / 2.0;
        dragForce_ = cd * pressureArea;
        liftForce_ = cl * pressureArea;

        // Both lengths are at least 0.1, so the unit vectors are plain quotients; tiny
        // components are floored to 0 as Xyz::Normalize does.
        const analysis::Xyz vHat = UnitOf(v, speed);
        const analysis::Xyz wHat = UnitOf(w, spin);
        // Lift along spin axis × velocity, not normalised again: it fades with the sine of
        // the angle between them.
        const analysis::Xyz liftDir(wHat.y * vHat.z - wHat.z * vHat.y,
                                    wHat.z * vHat.x - wHat.x * vHat.z,
                                    wHat.x * vHat.y - wHat.y * vHat.x);
        dy[3] = (-dragForce_ * vHat.x + liftForce_ * liftDir.x) / massSlug_;
        dy[4] = (-dragForce_ * vHat.y + liftForce_ * liftDir.y) / massSlug_ - kGravity;
        dy[5] = (-dragForce_ * vHat.z + liftForce_ * liftDir.z) / massSlug_;
        const double decay = -2.0 * 0.00002 * spin * speed / diameterFt_;
        dy[6] = decay * y[6] / spin;
        dy[7] = decay * y[7] / spin;
        dy[8] = decay * y[8] / spin;
    } else {
        // Almost no air speed or spin: no aerodynamic force at all.
        dy[3] = 0.0;
        dy[4] = -kGravity;
        dy[5] = 0.0;
        dy[6] = 0.0;
        dy[7] = 0.0;
        dy[8] = 0.0;
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

void FlightModel::Compute(double ballSpeed, double launchAngle, double backSpin, double sideSpin,
                          double sideAngle) {
    ++computeCount_;
    floorCount_ = 0;
    result_.roll = 0.0;
    result_.carryOffline = 0.0;
    result_.carry = 0.0;
    result_.totalOffline = 0.0;
    result_.total = 0.0;
    ballSpeed_ = ballSpeed;
    launchRad_ = launchAngle * base::kDegreesToRadians;
    sideRad_ = sideAngle * base::kDegreesToRadians;
    backSpin_ = backSpin;
    sideSpin_ = sideSpin;
    if (!(ballSpeed >= 5.0)) {
        // No flight: a reused model must not show the previous shot's time, height and path.
        result_.flightTime = 0.0;
        result_.maxHeight = 0.0;
        result_.pointCount = 0;
        return;
    }

    areaFt2_ = base::kPi / 4.0 * diameterFt_ * diameterFt_;
    massSlug_ = weightOz_ / 16.0 / kGravity;
    air_ = ComputeAir(weather_);

    result_.pointX.fill(0.0);
    result_.pointZ.fill(0.0);
    result_.pointHeight.fill(0.0);
    result_.pointSpin.fill(0.0);
    result_.pointHasSpin.fill(false);
    result_.pointCount = 1;  // point 0 is the origin

    State y{};
    y[0] = 0.0;
    y[1] = teeHeightIn_ / 12.0;
    y[2] = 0.0;
    y[3] = ballSpeed * std::cos(launchRad_) * std::cos(sideRad_);
    y[4] = ballSpeed * std::sin(launchRad_);
    y[5] = ballSpeed * std::cos(launchRad_) * std::sin(sideRad_);
    y[6] = 0.0;
    y[7] = 2.0 * sideSpin * base::kPi / 60.0;
    y[8] = 2.0 * backSpin * base::kPi / 60.0;

    // Classical RK4 with a fixed step, so that flight points are exactly 0.1 s apart.
    const double h = kStep;
    double t = 0.0;
    State previous = y;
    State k1{}, k2{}, k3{}, k4{}, stage{};
    while (y[1] > 0.0 && result_.pointCount < kFlightPointLimit) {
        Derivative(y, k1);
        for (int i = 0; i < 9; ++i)
            stage[i] = y[i] + h * k1[i] / 2.0;
        Derivative(stage, k2);
        for (int i = 0; i < 9; ++i)
            stage[i] = y[i] + h * k2[i] / 2.0;
        Derivative(stage, k3);
        for (int i = 0; i < 9; ++i)
            stage[i] = y[i] + h * k3[i];
        Derivative(stage, k4);
        previous = y;
        for (int i = 0; i < 9; ++i) {
            y[i] += (h * k1[i] + 2.0 * h * k2[i] + 2.0 * h * k3[i] + h * k4[i]) / 6.0;
        }
        t += h;
        AppendPoint(y[0], y[2], y[1], y[8] * 60.0 / 2.0 / base::kPi, true);
    }

    // Landing at height zero, between the last two states (beyond them when the point limit
    // stopped a ball still in the air).
    double landingTime = t;
    landing_ = y;
    const double rise = y[1] - previous[1];
    if (std::fabs(y[1]) > kLandedHeight && rise != 0.0) {
        const double f = -previous[1] / rise;
        landingTime = t - h + f * h;
        for (int i = 0; i < 9; ++i)
            landing_[i] = previous[i] + f * (y[i] - previous[i]);
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

bool FlightModel::WriteTrajectory(const std::string& path, base::UserPrompts& prompts) const {
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
    if (!base::ReplaceFileAtomically(path, text)) {
        prompts.Message(base::Text(base::MessageId::kCouldNotOpenTrajectoryFile));
        return false;
    }
    return true;
}

}  // namespace kyvern::flight
