#include "flight/putt_roll.h"

#include <algorithm>
#include <cmath>

#include "base/math_constants.h"

namespace kyvern::flight {
namespace {

// x, z, vx, vz, then the slip (the velocity less the one the spin would roll at) and the path
// length. The slip is zero once the ball rolls.
using State = std::array<double, 7>;

// The green's pulls, constant over a plane, in ft/s².
struct Pulls {
    double slideX = 0.0;  // gravity along the surface, all of it felt while sliding
    double slideZ = 0.0;
    double rollX = 0.0;  // the share a rolling ball feels
    double rollZ = 0.0;
    double friction = 0.0;    // sliding friction on the velocity
    double slipDecay = 0.0;   // friction on the slip: 7/2 of it, the spin-up adding 5/2
    double resistance = 0.0;  // rolling resistance
};

// What ends a slide or a roll: a vector q (the slip, or the rolling velocity) runs
// down to nothing under dq/dt = pull - decay q/|q|.
struct Decay {
    double pullX = 0.0;
    double pullZ = 0.0;
    double decay = 0.0;
};

State Derivative(const State& y, const Pulls& p, bool sliding) {
    State d{};
    const double speed = std::hypot(y[2], y[3]);
    d[0] = y[2];
    d[1] = y[3];
    d[6] = speed;
    if (sliding) {
        const double slip = std::hypot(y[4], y[5]);
        const double ux = slip > 0.0 ? y[4] / slip : 0.0;
        const double uz = slip > 0.0 ? y[5] / slip : 0.0;
        d[2] = p.slideX - p.friction * ux;
        d[3] = p.slideZ - p.friction * uz;
        d[4] = p.slideX - p.slipDecay * ux;
        d[5] = p.slideZ - p.slipDecay * uz;
        return d;
    }
    if (speed > 0.0) {
        d[2] = p.rollX - p.resistance * y[2] / speed;
        d[3] = p.rollZ - p.resistance * y[3] / speed;
        return d;
    }
    // From rest the ball sets off down the fall line, if the pull beats the resistance.
    const double pull = std::hypot(p.rollX, p.rollZ);
    if (pull > p.resistance) {
        d[2] = p.rollX * (1.0 - p.resistance / pull);
        d[3] = p.rollZ * (1.0 - p.resistance / pull);
    }
    return d;
}

State Rk4Step(const State& y, const Pulls& p, bool sliding, double h) {
    State k1 = Derivative(y, p, sliding);
    State t;
    for (int i = 0; i < 7; ++i)
        t[i] = y[i] + 0.5 * h * k1[i];
    State k2 = Derivative(t, p, sliding);
    for (int i = 0; i < 7; ++i)
        t[i] = y[i] + 0.5 * h * k2[i];
    State k3 = Derivative(t, p, sliding);
    for (int i = 0; i < 7; ++i)
        t[i] = y[i] + h * k3[i];
    State k4 = Derivative(t, p, sliding);
    State next;
    for (int i = 0; i < 7; ++i)
        next[i] = y[i] + h / 6.0 * (k1[i] + 2.0 * k2[i] + 2.0 * k3[i] + k4[i]);
    return next;
}

// The time within the next step at which q runs out, or a negative value when it lasts the
// step. Near its end q's direction turns fast, so the end is found from its rate at the step's
// start and the last piece taken at constant acceleration: exact when q keeps its direction.
double TimeToRunOut(double qx, double qz, const Decay& decay) {
    const double q = std::hypot(qx, qz);
    if (q == 0.0) return 0.0;
    const double rate = (decay.pullX * qx + decay.pullZ * qz) / q - decay.decay;
    if (rate >= 0.0 || q > -rate * PuttRoll::kStep) return -1.0;
    return q / -rate;
}

// Advances y by h under the accelerations it has now, the last piece of a slide or roll.
void ConstantStep(State& y, const Pulls& p, bool sliding, double h) {
    const State d = Derivative(y, p, sliding);
    const double speed = std::hypot(y[2], y[3]);
    const double along = speed > 0.0 ? (d[2] * y[2] + d[3] * y[3]) / speed : 0.0;
    y[0] += y[2] * h + 0.5 * d[2] * h * h;
    y[1] += y[3] * h + 0.5 * d[3] * h * h;
    y[2] += d[2] * h;
    y[3] += d[3] * h;
    y[6] += speed * h + 0.5 * along * h * h;
}

// Keeps the path at even times in fixed storage: every stride-th step, the stride doubling
// and every other point dropped whenever the store would leave no room for the rest point.
class PathRecorder {
public:
    explicit PathRecorder(PuttResult& result) : result_(result) { Add(0.0, 0.0); }

    void Step(const State& y) {
        if (++steps_ % stride_ != 0) return;
        if (result_.pointCount == PuttResult::kMaxPoints - 1) {
            int kept = 0;
            for (int i = 0; i < result_.pointCount; i += 2, ++kept) {
                result_.pointX[kept] = result_.pointX[i];
                result_.pointZ[kept] = result_.pointZ[i];
            }
            result_.pointCount = kept;
            stride_ *= 2;
            if (steps_ % stride_ != 0) return;
        }
        Add(y[0], y[1]);
    }

    void Finish(const State& y) {
        const int last = result_.pointCount - 1;
        if (result_.pointX[last] != y[0] || result_.pointZ[last] != y[1]) Add(y[0], y[1]);
    }

private:
    void Add(double x, double z) {
        result_.pointX[result_.pointCount] = x;
        result_.pointZ[result_.pointCount] = z;
        ++result_.pointCount;
    }

    PuttResult& result_;
    long steps_ = 0;
    long stride_ = 10;
};

const char* InputError(const PuttLaunch& launch, const Green& green) {
    // Written so that a NaN fails every range.
    if (!(launch.ballSpeed > 0.0 && launch.ballSpeed <= PuttRoll::kMaxSpeed))
        return "ball speed must be above 0 and at most 30 mph";
    if (!(std::fabs(launch.sideAngle) <= PuttRoll::kMaxSideAngle))
        return "start line must be -90 to 90 degrees";
    if (!(green.stimp >= PuttRoll::kMinStimp && green.stimp <= PuttRoll::kMaxStimp))
        return "green speed must be 6 to 15 ft";
    if (!(green.slopePercent >= 0.0 && green.slopePercent <= PuttRoll::kMaxSlope))
        return "slope must be 0 to 10 %";
    if (!std::isfinite(green.slopeDirection)) return "slope direction must be a number of degrees";
    return nullptr;
}

}  // namespace

double PuttRoll::RollingDeceleration(double stimp) {
    return kStimpExitSpeed * kStimpExitSpeed / (2.0 * stimp);
}

double PuttRoll::HoldingSlope(double stimp) {
    return 100.0 * RollingDeceleration(stimp) / (kRollingShare * kGravity);
}

bool PuttRoll::Compute(const PuttLaunch& launch, const Green& green, PuttResult& result) {
    result = PuttResult{};
    if (const char* error = InputError(launch, green)) {
        result.error = error;
        return false;
    }

    // The exact π: no pinned measuring formula fixes these angles.
    const double tilt = std::atan(green.slopePercent / 100.0);
    const double fall = green.slopeDirection * base::kExactDegreesToRadians;
    const double line = launch.sideAngle * base::kExactDegreesToRadians;
    const double along = kGravity * std::sin(tilt);
    const double normal = kGravity * std::cos(tilt);
    Pulls pulls;
    pulls.slideX = along * std::cos(fall);
    pulls.slideZ = along * std::sin(fall);
    pulls.rollX = kRollingShare * pulls.slideX;
    pulls.rollZ = kRollingShare * pulls.slideZ;
    pulls.friction = kSlidingFriction * normal;
    pulls.slipDecay = 3.5 * pulls.friction;
    // The stimpmeter measures the resistance on the flat; it scales with the load, as friction.
    pulls.resistance = RollingDeceleration(green.stimp) * std::cos(tilt);
    const Decay slipDecay{pulls.slideX, pulls.slideZ, pulls.slipDecay};
    const Decay speedDecay{pulls.rollX, pulls.rollZ, pulls.resistance};
    const bool holds = std::hypot(pulls.rollX, pulls.rollZ) <= pulls.resistance;

    const double speed = launch.ballSpeed * kMphToFps;
    State y{};
    y[2] = speed * std::cos(line);
    y[3] = speed * std::sin(line);
    bool sliding = launch.start == PuttStart::kStruck;
    if (sliding) {
        // No spin yet: the slip is the whole velocity.
        y[4] = y[2];
        y[5] = y[3];
    }

    PathRecorder path(result);
    double t = 0.0;
    while (t < kTimeLimit - 0.5 * kStep) {
        const double end =
            sliding ? TimeToRunOut(y[4], y[5], slipDecay) : TimeToRunOut(y[2], y[3], speedDecay);
        if (end < 0.0) {
            y = Rk4Step(y, pulls, sliding, kStep);
            t += kStep;
            path.Step(y);
            continue;
        }
        ConstantStep(y, pulls, sliding, end);
        t += end;
        if (sliding) {
            sliding = false;
            y[4] = y[5] = 0.0;
            result.skid = y[6];
            continue;
        }
        y[2] = y[3] = 0.0;
        if (holds) {
            result.stopped = true;
            break;
        }
        // Stopped on a slope the green cannot hold: it rolls on from rest, with a step taken
        // now so that the run-out test sees it moving.
        y = Rk4Step(y, pulls, false, kStep);
        t += kStep;
        path.Step(y);
    }
    path.Finish(y);

    result.total = y[6];
    result.downrange = y[0];
    result.offline = y[1];
    result.distance = std::hypot(y[0], y[1]);
    result.breakFromLine = y[1] * std::cos(line) - y[0] * std::sin(line);
    result.time = t;
    return true;
}

Green ReadGreen(base::OptionsReader& reader) {
    Green green;
    green.stimp = reader.Bounded(base::setting::kPuttingStimp);
    green.slopePercent = reader.Bounded(base::setting::kPuttingSlopePercent);
    green.slopeDirection = reader.Bounded(base::setting::kPuttingSlopeDirection);
    return green;
}

FlightResult PuttRoll::AsFlight(const PuttResult& putt) {
    FlightResult flight;
    flight.total = putt.distance / 3.0;
    // The table's one offline column is a putt's rest point's.
    flight.carryOffline = flight.totalOffline = putt.offline / 3.0;
    flight.roll = putt.total / 3.0;
    flight.flightTime = putt.time;
    flight.pointCount = std::min(putt.pointCount, FlightResult::kMaxPoints);
    for (int i = 0; i < flight.pointCount; ++i) {
        flight.pointX[std::size_t(i)] = putt.pointX[std::size_t(i)];
        flight.pointZ[std::size_t(i)] = putt.pointZ[std::size_t(i)];
    }
    return flight;
}

}  // namespace kyvern::flight
