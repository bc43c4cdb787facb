#pragma once

#include <numbers>

namespace kyvern::base {

// π as the measuring formulas take it, to fourteen decimals, and the degree conversions made
// from it. Launch conditions, club data, flights, scores and the saved camera rotations are
// computed with these values and their results are pinned bit for bit, so they are not
// replaced by the full-precision π.
inline constexpr double kPi = 3.14159265358979;
inline constexpr double kDegreesToRadians = 0.017453292519943278;  // kPi / 180
inline constexpr double kRadiansToDegrees = 57.29577951308238;     // 180 / kPi
static_assert(kDegreesToRadians == kPi / 180.0 && kRadiansToDegrees == 180.0 / kPi);

// Full precision, for what no measuring formula fixes (the synthetic frames and shots).
inline constexpr double kExactPi = std::numbers::pi;
inline constexpr double kExactDegreesToRadians = kExactPi / 180.0;

}  // namespace kyvern::base
