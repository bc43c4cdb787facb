#include "store/shot_store.h"

#include <algorithm>
#include <cmath>

namespace kyvern::store {

namespace {

// Units are the internal ones; the caller converts for display.
constexpr TrendValue kTrendValues[] = {
    {"ball_speed", "ft/s", "s.ball_speed"},
    {"launch_angle", "deg", "s.launch_angle"},
    {"side_angle", "deg", "s.side_angle"},
    {"total_spin", "rpm", "s.total_spin", true},
    {"back_spin", "rpm", "s.back_spin", true},
    {"side_spin", "rpm", "s.side_spin", true},
    {"club_speed", "ft/s", "s.club_speed"},
    {"attack_angle", "deg", "s.attack_angle"},
    {"path_angle", "deg", "s.path_angle"},
    {"face_angle", "deg", "s.face_angle"},
    {"effective_loft", "deg", "s.effective_loft"},
    // Smash: ball speed over club speed, only where the club speed is known.
    {"smash", "", "(CASE WHEN s.club_speed > 0 THEN s.ball_speed / s.club_speed END)"},
    {"carry", "yd", "s.carry"},
    {"offline", "yd", "s.carry_offline"},
    {"total", "yd", "s.total"},
    {"total_offline", "yd", "s.total_offline"},
    {"max_height", "yd", "s.max_height"},
    {"flight_time", "s", "s.flight_time"},
};

}  // namespace

std::span<const TrendValue> TrendValues() { return kTrendValues; }

const TrendValue* FindTrendValue(std::string_view name) {
    for (const TrendValue& v : kTrendValues)
        if (name == v.name) return &v;
    return nullptr;
}

std::string UnknownTrendValueReason(std::string_view name) {
    std::string text = "Unknown trend value \"" + std::string(name) + "\"; known:";
    bool first = true;
    for (const TrendValue& v : kTrendValues) {
        text += first ? " " : ", ";
        text += v.name;
        first = false;
    }
    return text;
}

base::Status ShotStore::WriteMany(std::span<const StoredShot> shots, int& added) {
    added = 0;
    for (const StoredShot& shot : shots) {
        bool was = false;
        if (auto s = Write(shot, &was); !s) return s;
        added += was ? 1 : 0;
    }
    return {};
}

Spread SpreadOf(long count, double sum, double sumOfSquares) {
    Spread s;
    if (count <= 0) return s;
    const auto n = static_cast<double>(count);
    s.mean = sum / n;
    if (count > 1) {
        // Rounding can leave a tiny negative for equal values.
        const double variance = std::max(0.0, (sumOfSquares - sum * sum / n) / (n - 1.0));
        s.sd = std::sqrt(variance);
    }
    return s;
}

}  // namespace kyvern::store
