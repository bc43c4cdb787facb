#pragma once

#include <array>
#include <string>

#include "base/settings_snapshot.h"
#include "flight/flight_result.h"

namespace kyvern::flight {

// How the ball leaves the putter.
enum class PuttStart {
    kStruck,   // sliding without spin, as off a square face: it skids before it rolls
    kRolling,  // already rolling without slip, as off the stimpmeter's ramp
};

struct PuttLaunch {
    double ballSpeed = 0.0;  // mph, above 0 and at most 30
    double sideAngle = 0.0;  // the start line, degrees from downrange, positive right, -90 to 90
    PuttStart start = PuttStart::kStruck;
};

// A green taken as one tilted plane.
struct Green {
    double stimp = 10.0;        // ft, 6 to 15: the stimpmeter's roll on the flat
    double slopePercent = 0.0;  // rise over run, per cent, 0 to 10
    // Where the ground falls towards, in degrees measured as the start line is: 0 falls away from
    // the player (a straight putt is downhill), 90 to the right (a straight putt breaks right),
    // 180 towards the player (uphill), -90 or 270 to the left. Any finite number; unused when
    // the green is flat.
    double slopeDirection = 0.0;
};

// The green of the settings (Putting/Stimp, SlopePercent, SlopeDirection); a value out of its
// range is noted by the reader and its default taken.
Green ReadGreen(base::OptionsReader& reader);

// A putt from strike to rest. Distances are feet on the green's surface, in the flight's ground
// frame: x downrange, z offline positive right. At the steepest slope the surface is 0.5 %
// longer than its plan, which is not taken out.
struct PuttResult {
    static constexpr int kMaxPoints = 200;

    double total = 0.0;     // along the path
    double distance = 0.0;  // straight from the start to the rest point
    double skid = 0.0;      // along the path, while the ball slid
    double downrange = 0.0;
    double offline = 0.0;
    double breakFromLine = 0.0;  // the rest point's distance from the start line, positive right
    double time = 0.0;           // seconds from the strike to rest, or to the time limit
    bool stopped = false;        // false when the slope is steeper than the green can hold
    std::string error;           // why Compute refused the putt; empty when it did not

    // The path, origin first and rest point last, at even times.
    int pointCount = 0;
    std::array<double, kMaxPoints> pointX{};
    std::array<double, kMaxPoints> pointZ{};
};

// Rolls a putt over a plane green with a fixed-step RK4: a slide that spins the ball up, then a
// roll against the green's resistance, with gravity along the slope throughout.
class PuttRoll {
public:
    static constexpr double kMphToFps = 88.0 / 60.0;  // 5280 ft in 3600 s, exactly
    // Standard gravity, 9.80665 m/s² in feet, as the flight model takes it.
    static constexpr double kGravity = 32.174048;  // ft/s²
    // The speed at which the stimpmeter's ball reaches the green. Released 30 in down a 20° ramp
    // it falls 0.855 ft; rolling on the two sides of the 145° groove it spins on a radius of
    // cos 17.5° of its own, so it leaves the ramp at 6.18 ft/s, too much spin for its speed.
    // On the green it loses its downward speed off the ramp and the spin and speed settle to
    // (5 v cos 20° + 2 v / cos 17.5°) / 7 = 6.00 ft/s, the figure usually quoted for it.
    static constexpr double kStimpExitSpeed = 6.0;  // ft/s
    // Sliding friction of a ball on mown grass, the low end of the 0.2 to 0.4 usually quoted:
    // with it a struck putt on a stimp 10 green skids for a fifth of its length (0.4 would
    // halve that). Only the skid depends on it.
    static constexpr double kSlidingFriction = 0.2;
    // A rolling solid sphere feels 5/7 of the pull along a slope, the rest goes into its spin.
    // The two-piece ball is near enough uniform for the solid figure.
    static constexpr double kRollingShare = 5.0 / 7.0;
    static constexpr double kStep = 0.001;         // s
    static constexpr double kTimeLimit = 30.0;     // s; a ball still rolling then never stops
    static constexpr double kMaxSpeed = 30.0;      // mph
    static constexpr double kMinStimp = 6.0;       // ft
    static constexpr double kMaxStimp = 15.0;      // ft
    static constexpr double kMaxSlope = 10.0;      // per cent
    static constexpr double kMaxSideAngle = 90.0;  // degrees either way

    // False, with result.error set and nothing else, when an input is out of range or not a
    // number.
    [[nodiscard]] static bool Compute(const PuttLaunch& launch, const Green& green,
                                      PuttResult& result);

    // A putt as the flight of a shot, for what records and shows flights: no carry and no
    // height; the total and the roll in yards, the rest point's offline as both offlines, the
    // time to rest, and the path.
    static FlightResult AsFlight(const PuttResult& putt);

    // The rolling ball's deceleration on the flat: the stimpmeter's ball comes to rest after
    // stimp feet, so v² / (2 stimp). ft/s².
    static double RollingDeceleration(double stimp);
    // The steepest slope (per cent) on which a ball of this green can lie still: where 5/7 of
    // the pull along it equals the rolling resistance.
    static double HoldingSlope(double stimp);
};

}  // namespace kyvern::flight
