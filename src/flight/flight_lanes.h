// Several flights of one model at once, for a search over launch conditions.
#pragma once

#include "flight/flight_model.h"

namespace kyvern::flight {

#if defined(__x86_64__)
// The carry in feet of each flight of the ball speed (ft/s, at least 5) from the tee height,
// with its own launch angle and back spin, straight and without side spin, four at a time:
// what FlightModel::Compute gives, bit for bit. Only for a processor with AVX2.
void CarriesFeetAvx2(const FlightConstants& c, double ballSpeed, double teeHeightIn,
                     const double* launchAngles, const double* backSpins, int count,
                     double* carries);

// One flight of FlightsAvx2: the states of its last two steps, its steps, and the point of
// each step (feet, spin in rad/s).
struct LaneFlight {
    double previous[9];
    double last[9];
    int steps = 0;
    double x[FlightModel::kFlightPointLimit];
    double z[FlightModel::kFlightPointLimit];
    double height[FlightModel::kFlightPointLimit];
    double spin[FlightModel::kFlightPointLimit];
};

// Four flights from their launch states (x, y, z, vx, vy, vz, wx, wy, wz), stepped as
// FlightModel::Compute steps them, bit for bit, up to the ground or the last flight point.
// Only for a processor with AVX2.
void FlightsAvx2(const FlightConstants& c, const double (&starts)[4][9], LaneFlight (&flights)[4]);
#endif

}  // namespace kyvern::flight
