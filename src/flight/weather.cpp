#include "flight/weather.h"

#include <cmath>
#include <cstdio>

#include "base/config_store.h"
#include "base/math_constants.h"
#include "base/program_folder.h"

namespace kyvern::flight {

namespace {

// A weather value as "%lf" reads it; a text that does not convert, or converts to NaN or
// infinity, takes the key's default so that the clamps always see a number.
double ReadValue(const std::string& path, const char* key, const char* defaultText,
                 double defaultValue) {
    std::string text = base::ConfigStore::ReadSetting(path, "Weather", key, defaultText, 20);
    double value = defaultValue;
    if (std::sscanf(text.c_str(), "%lf", &value) != 1 || !std::isfinite(value)) {
        value = defaultValue;
    }
    return value;
}

double Clamp(double value, double low, double high) {
    if (value < low) return low;
    if (value > high) return high;
    return value;
}

}  // namespace

Weather ReadWeather() { return ReadWeather(base::SettingsPath()); }

Weather ReadWeather(const std::string& settingsPath) {
    Weather w;
    w.altitude = Clamp(ReadValue(settingsPath, "Altitude", "0.0", 0.0), 0.0, 12000.0);
    w.temperature = Clamp(ReadValue(settingsPath, "Temperature", "70.0", 70.0), 20.0, 130.0);
    w.humidity = Clamp(ReadValue(settingsPath, "Humidity", "50", 50.0), 0.0, 100.0);
    w.barometer = Clamp(ReadValue(settingsPath, "Barometer", "29.92", 29.92), 28.0, 32.0);
    w.windSpeed = Clamp(ReadValue(settingsPath, "WindSpeed", "0.0", 0.0), 0.0, 40.0);
    w.windDir = WholeWindDirection(ReadValue(settingsPath, "WindDir", "0.0", 0.0));
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

analysis::Xyz WindVector(const Weather& weather) {
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
