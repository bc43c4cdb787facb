// The flight's coefficient laws and its equations of motion, written once for any number type
// with the arithmetic of double: plain doubles for one flight, vector lanes for several flights
// at once (flight_lanes.cpp). Both give the same bits, operation for operation.
//
// Internal to each file that includes it: the two files build it for different instruction
// sets, and no copy may stand in for the other.
#pragma once

#include <cmath>
#include <cstdint>

#include "base/math_constants.h"
#include "flight/flight_model.h"

namespace kyvern::flight {
namespace {

constexpr double kGravity = 32.174048;  // ft/s²
constexpr double kTinyComponent = 0.0001;
constexpr double kLandedHeight = 1e-7;  // ft
constexpr double kRollFactor = 1.025;
constexpr double kDragCap = 0.5;
constexpr double kLiftCap = 0.4;

// The state a flight starts from: at the tee, moving along the launch and side angles, spinning
// about the two axes in rad/s. Both the one-flight model and the lanes start from it.
inline void LaunchState(const FlightLaunch& launch, double teeHeightIn, double* y) {
    const double launchRad = launch.launchAngle * base::kDegreesToRadians;
    const double sideRad = launch.sideAngle * base::kDegreesToRadians;
    const double speed = launch.ballSpeed;
    y[0] = 0.0;
    y[1] = teeHeightIn / 12.0;
    y[2] = 0.0;
    y[3] = speed * std::cos(launchRad) * std::cos(sideRad);
    y[4] = speed * std::sin(launchRad);
    y[5] = speed * std::cos(launchRad) * std::sin(sideRad);
    y[6] = 0.0;
    y[7] = 2.0 * launch.sideSpin * base::kPi / 60.0;
    y[8] = 2.0 * launch.backSpin * base::kPi / 60.0;
}

// The number type's choices and tests, for plain doubles.
inline double Select(bool take, double taken, double otherwise) { return take ? taken : otherwise; }
inline bool Any(bool value) { return value; }
inline double Root(double value) { return std::sqrt(value); }
inline double Atan(double value) { return std::atan(value); }
inline double Size(double value) { return std::fabs(value); }

// Keeps the smaller of value and cap, then the larger of that and floor.
template <typename Real>
Real CapAndFloor(Real value, double cap, double floor, bool* floored) {
    value = Select(value > cap, Real(cap), value);
    const auto below = value < floor;
    if (floored != nullptr && Any(below)) *floored = true;
    return Select(below, Real(floor), value);
}

// Re in units of 1e5, spin in rpm, s the spin parameter; the golf laws are kept between their
// floor and their cap.
template <typename Real>
Real DragLaw(std::int32_t typeId, Real re, Real rpm, Real s, bool* floored) {
    const Real n = rpm;
    switch (typeId) {
        case 0:
            return CapAndFloor(0.3095053115 - 0.18414800399 * re + 0.0598910311 * re * re +
                                   5.2632453e-5 * n - 6.32361e-10 * n * n - 1.8255e-5 * re * n,
                               kDragCap, FlightModel::kDragFloor, floored);
        case 1:
        case 2:
        case 5: {
            Real cd = CapAndFloor(0.172266390960959 + 0.0522071044095622 * re -
                                      0.022730041114111 * re * re + 3.2497205334972e-5 * n +
                                      6.99288852467078e-10 * n * n - 1.07224417003079e-5 * re * n,
                                  kDragCap, FlightModel::kDragFloor, floored);
            if (typeId == 1) cd = cd * 1.02;
            if (typeId == 5) cd = cd * 1.08;
            return cd;
        }
        case 3:
            return CapAndFloor(0.2777731795 - 0.0026661728 * re - 0.028693497538 * re * re +
                                   1.5926112063e-5 * n + 1.2336128919e-9 * n * n -
                                   3.810805e-6 * re * n,
                               kDragCap, FlightModel::kDragFloor, floored);
        case 4:
        case 6:
        case 7:
            return (0.56 * s + 0.351) * 0.9;
        default:
            return Real(0.0);
    }
}

template <typename Real>
Real LiftLaw(std::int32_t typeId, Real re, Real rpm, Real s, bool* floored) {
    const Real n = rpm;
    const Real r1 = 1.0 / re;
    const Real r2 = r1 * r1;
    const Real r3 = r2 * r1;
    const Real r4 = r2 * r2;
    switch (typeId) {
        case 0:
            return CapAndFloor(-0.15358054204 + 0.37112932871 * r1 - 0.0819053099 * r2 -
                                   0.14063922122 * r3 + 0.10447989711 * r4 + 6.331757e-5 * n -
                                   6.73445e-9 * n * n + 4.1060976e-13 * n * n * n,
                               kLiftCap, FlightModel::kLiftFloor, floored);
        case 1:
        case 2:
        case 5: {
            Real cl = CapAndFloor(
                -0.277193964076082 + 0.51197284742553 * r1 + 0.0392236078626905 * r2 -
                    0.33318986737117 * r3 + 0.117747332136713 * r4 + 9.80654368085475e-5 * n -
                    1.24097559728608e-8 * n * n + 6.52083457782501e-13 * n * n * n,
                kLiftCap, FlightModel::kLiftFloor, floored);
            if (typeId == 1) cl = cl * 1.02;
            if (typeId == 5) cl = cl * 0.95;
            return cl;
        }
        case 3:
            return CapAndFloor(-0.583790011 + 1.7173246672 * r1 - 1.8152140697 * r2 +
                                   0.913747777 * r3 - 0.190200253 * r4 + 9.816886973e-5 * n -
                                   1.2650193e-8 * n * n + 7.083982412e-13 * n * n * n,
                               kLiftCap, FlightModel::kLiftFloor, floored);
        case 4:
        case 6:
        case 7:
            return Atan(5.88 * s) * 0.229 * 1.3;
        default:
            return Real(0.0);
    }
}

// A component of a unit vector, floored to 0 when tiny as Xyz::Normalize does.
template <typename Real>
Real UnitComponent(Real component, Real length) {
    const Real u = component / length;
    return Select(Size(u) < kTinyComponent, Real(0.0), u);
}

// dy/dt of the state y (x, y, z, vx, vy, vz, wx, wy, wz): gravity, drag, Magnus lift and spin
// decay where the ball moves and spins through the air (the test returned), gravity alone
// elsewhere. drag and lift are the forces and floored says whether a law's floor took effect,
// both of the air's part.
template <typename Real>
auto MotionOf(const Real* y, Real* dy, const FlightConstants& c, Real& drag, Real& lift,
              bool* floored) {
    const Real vx = y[3] + c.windX;
    const Real vy = y[4] + c.windY;
    const Real vz = y[5] + c.windZ;
    const Real speed = Root(vx * vx + vy * vy + vz * vz);
    const Real spin = Root(y[6] * y[6] + y[7] * y[7] + y[8] * y[8]);
    dy[0] = y[3];
    dy[1] = y[4];
    dy[2] = y[5];
    const auto inAir = (speed >= 0.1) & (spin >= 0.1);

    const Real re = speed * c.diameterFt / c.viscosity / 100000.0;
    const Real s = spin * c.diameterFt / 2.0 / speed;
    const Real rpm = spin / (2.0 * base::kPi) * 60.0;
    const Real cd = DragLaw(c.typeId, re, rpm, s, floored);
    const Real cl = LiftLaw(c.typeId, re, rpm, s, floored);
    const Real pressureArea = c.density * c.areaFt2 * speed * speed / 2.0;
    drag = cd * pressureArea;
    lift = cl * pressureArea;
    const Real vHatX = UnitComponent(vx, speed);
    const Real vHatY = UnitComponent(vy, speed);
    const Real vHatZ = UnitComponent(vz, speed);
    const Real wHatX = UnitComponent(y[6], spin);
    const Real wHatY = UnitComponent(y[7], spin);
    const Real wHatZ = UnitComponent(y[8], spin);
    // Lift along spin axis × velocity, not normalised again: it fades with the sine of the
    // angle between them.
    const Real liftX = wHatY * vHatZ - wHatZ * vHatY;
    const Real liftY = wHatZ * vHatX - wHatX * vHatZ;
    const Real liftZ = wHatX * vHatY - wHatY * vHatX;
    const Real decay = -2.0 * 0.00002 * spin * speed / c.diameterFt;
    dy[3] = Select(inAir, (-drag * vHatX + lift * liftX) / c.massSlug, Real(0.0));
    dy[4] = Select(inAir, (-drag * vHatY + lift * liftY) / c.massSlug - kGravity, Real(-kGravity));
    dy[5] = Select(inAir, (-drag * vHatZ + lift * liftZ) / c.massSlug, Real(0.0));
    dy[6] = Select(inAir, decay * y[6] / spin, Real(0.0));
    dy[7] = Select(inAir, decay * y[7] / spin, Real(0.0));
    dy[8] = Select(inAir, decay * y[8] / spin, Real(0.0));
    return inAir;
}

// Signed distance from the tee: the magnitude of the point, negative when it lies behind the
// tee, so that a ball carried backwards does not read as a forward carry.
inline double SignedDistance(double downrange, double offline) {
    double distance = kRollFactor * std::sqrt(downrange * downrange + offline * offline);
    return downrange < 0.0 ? -distance : distance;
}

// The share f of the last step at which the ball came down to height zero: false when it ended
// at the ground or did not come down, and the landing is then the last state.
inline bool LandingShare(double previousHeight, double height, double& f) {
    const double rise = height - previousHeight;
    if (!(std::fabs(height) > kLandedHeight && rise != 0.0)) return false;
    f = -previousHeight / rise;
    return true;
}

// One classical RK4 step of length h from y, with derivative(state, rate) for dy/dt.
template <typename Real, typename Derivative>
void MotionStep(Real* y, double h, const Derivative& derivative) {
    Real k1[9], k2[9], k3[9], k4[9], stage[9];
    derivative(y, k1);
    for (int i = 0; i < 9; ++i)
        stage[i] = y[i] + h * k1[i] / 2.0;
    derivative(stage, k2);
    for (int i = 0; i < 9; ++i)
        stage[i] = y[i] + h * k2[i] / 2.0;
    derivative(stage, k3);
    for (int i = 0; i < 9; ++i)
        stage[i] = y[i] + h * k3[i];
    derivative(stage, k4);
    for (int i = 0; i < 9; ++i)
        y[i] = y[i] + (h * k1[i] + 2.0 * h * k2[i] + 2.0 * h * k3[i] + h * k4[i]) / 6.0;
}

}  // namespace
}  // namespace kyvern::flight
