#include "flight/weather.h"

#include <cmath>
#include <cstdio>

#include "base/math_constants.h"
#include "base/settings_schema.h"

namespace kyvern::flight {

Weather ReadWeather(base::OptionsReader& reader) {
    namespace setting = base::setting;
    Weather w;
    w.altitude = reader.Clamped(setting::kAltitude);
    w.temperature = reader.Clamped(setting::kTemperature);
    w.humidity = reader.Clamped(setting::kHumidity);
    w.barometer = reader.Clamped(setting::kBarometer);
    w.windSpeed = reader.Clamped(setting::kWindSpeed);
    w.windDir = WholeWindDirection(reader.Snapshot().Number(setting::kWindDir));
    return w;
}

double WholeWindDirection(double degrees) {
    // fmod keeps the sign of the dividend, as an integer remainder would, without the
    // overflow of converting a huge value to an integer first.
    double direction = std::fmod(std::trunc(degrees), 360.0);
    if (direction < 0.0) direction = 0.0;
    if (direction > 359.0) direction = 359.0;
    return direction + 0.0;  // never -0
}

frame::Xyz WindVector(const Weather& weather) {
    double speed = weather.windSpeed * 88.0 / 60.0;
    double theta = weather.windDir * base::kPi / 180.0;
    return {speed * std::cos(theta), 0.0, speed * std::sin(theta)};
}

double StationPressure(const Weather& weather) {
    return weather.barometer * std::pow(1.0 - 6.8763e-6 * weather.altitude, 5.2558);
}

AirProperties ComputeAir(const Weather& weather) {
    double t = weather.temperature;
    double h = weather.humidity;
    double p = StationPressure(weather);
    AirProperties air;
    air.density = ((0.144 - 0.0002 * (t - 50.0)) * (p - 30.12) / 1.8 + 2.31 - 0.005 * (t - 75.0) -
                   (0.0005 * (t - 50.0) + 0.01) * (h - 45.0) / 90.0) /
                  1000.0;
    air.viscosity = 232.9e-7 * std::pow(t + 459.9, 1.5) / (t + 675.9) / air.density / 1000.0;
    return air;
}

}  // namespace kyvern::flight
