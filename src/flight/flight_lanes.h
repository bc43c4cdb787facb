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
#endif

}  // namespace kyvern::flight
