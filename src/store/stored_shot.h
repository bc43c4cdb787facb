#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/shot_table.h"
#include "flight/flight_result.h"
#include "flight/weather.h"
#include "shot/shot_record.h"

namespace kyvern::store {

// One point of a stored flight: seconds from impact, feet downrange (x), up (y) and right (z).
struct TrajectoryPoint {
    double t = 0.0;
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    bool operator==(const TrajectoryPoint&) const = default;
};

// Everything the history keeps of one recorded shot, in the internal units: speeds ft/s,
// angles degrees, spins rpm, distances yards, mass grams.
struct StoredShot {
    std::string id;           // unique across every bay; the caller supplies it
    std::int64_t timeMs = 0;  // UTC, milliseconds since 1970
    std::string player;
    std::string session;
    std::string item;  // the club
    std::string bay;
    std::vector<std::string> cameraSerials;

    // The settings that shaped the shot.
    std::string ball;
    flight::Weather weather;
    int distanceUnit = 0;  // shot::DistanceUnit the player saw
    int speedUnit = 0;     // shot::SpeedUnit the player saw
    std::string precision;

    // Launch.
    double ballSpeed = 0.0;
    double launchAngle = 0.0;
    double sideAngle = 0.0;
    double totalSpin = 0.0;
    double backSpin = 0.0;
    double sideSpin = 0.0;

    // Club delivery: absent when neither measured nor inferred.
    std::optional<double> clubSpeed;
    std::optional<double> attackAngle;
    std::optional<double> pathAngle;
    std::optional<double> faceAngle;
    std::optional<double> effectiveLoft;
    std::optional<double> clubMass;
    std::optional<double> clubLoft;

    flight::FlightSummary flight;
    std::vector<TrajectoryPoint> trajectory;
    bool putt = false;
    std::optional<double> confidence;  // 0..1
    bool spinDoubtful = false;         // the spin was too doubtful to pass on as measured
    std::string imageFile;             // the history frame's file name
};

bool operator==(const StoredShot& a, const StoredShot& b);

// A fresh random 128-bit id as 32 lower-case hex digits.
std::string NewShotId();
// The id of an imported shot: the same input always gives the same id, so importing a file
// again finds its shots already there. key: what identifies the shot in its file.
std::string ImportShotId(std::string_view key, int occurrence);

// "2024-03-05T14:22:05.123Z".
std::string IsoUtcText(std::int64_t timeMs);
// A shot table's "%d/%b/%Y %H:%M:%S" local time as UTC milliseconds; nothing when it does
// not parse.
std::optional<std::int64_t> TimeMsFromTableText(std::string_view text);
std::int64_t NowMs();

// A shot table row's values as stored; the names, bay and time come from the caller. A club
// value of 0 in the entry means the table had none.
StoredShot StoredShotFromEntry(const data::ShotValues& values, std::int64_t timeMs,
                               std::string bay);

// The shot the computation accepted, with its trajectory (points as the flight gives them).
StoredShot StoredShotFromRecord(const shot::ShotRecord& record, std::int64_t timeMs,
                                std::string bay);

// Why a shot cannot be stored (an empty or oversized id, a number that is not finite);
// empty when it can.
std::string ShotProblem(const StoredShot& shot);

}  // namespace kyvern::store
