#pragma once

#include <string>
#include <string_view>

#include "base/settings_snapshot.h"

namespace kyvern::shot {

// Display unit indexes of Setup/DistanceDisplay and Setup/SpeedDisplay.
enum DistanceUnit : int { kYards = 0, kFeet = 1, kMeters = 2 };
enum SpeedUnit : int { kMph = 0, kFps = 1, kKph = 2, kMps = 3 };

// Internal unit (yards, ft/s) to display unit and back. An index outside the table is taken
// as index 0.
double ToDisplayDistance(double yards, int unitIndex);
double FromDisplayDistance(double value, int unitIndex);
double ToDisplaySpeed(double feetPerSecond, int unitIndex);
double FromDisplaySpeed(double value, int unitIndex);

// A display value in one unit as another unit shows it, by the display factors both ways; in
// its own unit the value comes back unchanged.
double ConvertDistance(double value, int fromUnit, int toUnit);
double ConvertSpeed(double value, int fromUnit, int toUnit);

// The index a settings word selects, or previous when it matches none of the words.
int DistanceUnitIndex(std::string_view word, int previous);
int SpeedUnitIndex(std::string_view word, int previous);

// The units of a pass's settings. A word that matches none leaves the index as it was: the
// caller passes the index it holds (0 when it holds none).
int ReadDistanceUnit(const base::SettingsSnapshot& settings, int previous = 0);
int ReadSpeedUnit(const base::SettingsSnapshot& settings, int previous = 0);

const char* DistanceLabel(int index);  // "yd", "ft", "m"
const char* SpeedLabel(int index);     // "MPH", "FPS", "km/h", "m/s"

}  // namespace kyvern::shot
