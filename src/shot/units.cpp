#include "shot/units.h"

#include <array>

#include "base/config_store.h"
#include "base/settings_snapshot.h"

namespace kyvern::shot {

namespace {

constexpr std::array<const char*, 3> kDistanceLabels{"yd", "ft", "m"};
constexpr std::array<double, 3> kDistanceFactors{1.0, 3.0, 0.9144};

constexpr std::array<const char*, 4> kSpeedLabels{"MPH", "FPS", "km/h", "m/s"};
constexpr std::array<double, 4> kSpeedFactors{3600.0 / 5280.0, 1.0, 0.3048 * 3.6, 0.3048};
// Typed speeds: these factors, not the exact reciprocals.
constexpr std::array<double, 4> kSpeedInputFactors{1.4666666666666666, 1.0, 0.9113333333333333,
                                                   3.280839895};

template <std::size_t N>
std::size_t Slot(int index) {
    return (index >= 0 && static_cast<std::size_t>(index) < N) ? static_cast<std::size_t>(index)
                                                               : 0;
}

// The words are the schema's, so a unit is spelled in one place.
int MatchWord(base::SettingId id, std::string_view word, int previous) {
    const int index = base::SettingsSnapshot::WordIndex(id, word);
    return index < 0 ? previous : index;
}

}  // namespace

double ToDisplayDistance(double yards, int unitIndex) {
    return yards * kDistanceFactors[Slot<3>(unitIndex)];
}
double FromDisplayDistance(double value, int unitIndex) {
    return value / kDistanceFactors[Slot<3>(unitIndex)];
}
double ToDisplaySpeed(double feetPerSecond, int unitIndex) {
    return feetPerSecond * kSpeedFactors[Slot<4>(unitIndex)];
}
double FromDisplaySpeed(double value, int unitIndex) {
    return value * kSpeedInputFactors[Slot<4>(unitIndex)];
}

double ConvertDistance(double value, int fromUnit, int toUnit) {
    const std::size_t from = Slot<3>(fromUnit);
    const std::size_t to = Slot<3>(toUnit);
    return from == to ? value : value / kDistanceFactors[from] * kDistanceFactors[to];
}
double ConvertSpeed(double value, int fromUnit, int toUnit) {
    const std::size_t from = Slot<4>(fromUnit);
    const std::size_t to = Slot<4>(toUnit);
    return from == to ? value : value / kSpeedFactors[from] * kSpeedFactors[to];
}

int DistanceUnitIndex(std::string_view word, int previous) {
    return MatchWord(base::setting::kDistanceDisplay, word, previous);
}
int SpeedUnitIndex(std::string_view word, int previous) {
    return MatchWord(base::setting::kSpeedDisplay, word, previous);
}

int ReadDistanceUnit(const base::SettingsSnapshot& settings, int previous) {
    return DistanceUnitIndex(settings.Text(base::setting::kDistanceDisplay), previous);
}

int ReadSpeedUnit(const base::SettingsSnapshot& settings, int previous) {
    return SpeedUnitIndex(settings.Text(base::setting::kSpeedDisplay), previous);
}

const char* DistanceLabel(int index) { return kDistanceLabels[Slot<3>(index)]; }
const char* SpeedLabel(int index) { return kSpeedLabels[Slot<4>(index)]; }

}  // namespace kyvern::shot
