// Several flights of one model at once, for a search over launch conditions.
#pragma once

#include "flight/flight_model.h"

namespace kyvern::flight {

// What the flights of a search share besides the ball, the weather and the launch angle and
// back spin that each has of its own.
struct FlightStart {
    double ballSpeed = 0.0;  // ft/s, at least 5
    double teeHeightIn = 0.0;
    double sideAngle = 0.0;  // degrees
    double sideSpin = 0.0;   // rpm
};

#if defined(__x86_64__)
// The carry in feet of each flight, four at a time: what FlightModel::Compute gives, bit for
// bit. Only for a processor with AVX2.
void CarriesFeetAvx2(const FlightConstants& c, const FlightStart& start, const double* launchAngles,
                     const double* backSpins, int count, double* carries);
#endif

}  // namespace kyvern::flight
