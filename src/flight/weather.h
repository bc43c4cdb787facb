#pragma once

#include <string>

#include "base/settings_snapshot.h"
#include "frame/xyz.h"

namespace kyvern::flight {

// The six weather values of section Weather, in English units, already clamped.
struct Weather {
    double altitude = 0.0;      // feet, 0 to 12000
    double temperature = 70.0;  // degrees Fahrenheit, 20 to 130
    double humidity = 50.0;     // per cent, 0 to 100
    double barometer = 29.92;   // inches of mercury, 28 to 32
    double windSpeed = 0.0;     // miles per hour, 0 to 40
    double windDir = 0.0;       // whole degrees, 0 to 359; 0 blows from the target
};

// The weather of a pass's settings, each value clamped to its key's range.
Weather ReadWeather(base::OptionsReader& reader);

// The wind as a velocity in the flight frame (x downrange, y up, z right), ft/s. It is added
// to the ball's velocity to give the velocity relative to the air.
frame::Xyz WindVector(const Weather& weather);

// The direction rule alone: truncated to whole degrees, remainder of 360 with the sign of the
// value, negatives to 0.
double WholeWindDirection(double degrees);

struct AirProperties {
    double density = 0.0;    // slugs per cubic foot
    double viscosity = 0.0;  // kinematic, square feet per second
};

// Station pressure (inches of mercury) at the weather's altitude.
double StationPressure(const Weather& weather);
AirProperties ComputeAir(const Weather& weather);

}  // namespace kyvern::flight
