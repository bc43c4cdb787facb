#pragma once

#include <array>

namespace kyvern::flight {

// What a flight computation yields: distances in yards, time in seconds, and the trajectory
// points in feet (downrange x, offline z, height) with the back spin in rpm.
// A flight's distances (yards) and time (seconds), without its trajectory: what a shot keeps.
struct FlightSummary {
    double carry = 0.0;
    double carryOffline = 0.0;
    double total = 0.0;
    double totalOffline = 0.0;
    double roll = 0.0;
    double maxHeight = 0.0;
    double flightTime = 0.0;
};

struct FlightResult : FlightSummary {
    static constexpr int kMaxPoints = 200;

    int pointCount = 0;
    std::array<double, kMaxPoints> pointX{};
    std::array<double, kMaxPoints> pointZ{};
    std::array<double, kMaxPoints> pointHeight{};
    std::array<double, kMaxPoints> pointSpin{};
    // The origin and the roll points carry no spin value.
    std::array<bool, kMaxPoints> pointHasSpin{};
};

}  // namespace kyvern::flight
