#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "store/stored_shot.h"

namespace kyvern::store {

// Which shots a query reads; an empty or absent field does not restrict.
struct ShotFilter {
    std::string player;
    std::string session;
    std::string item;
    std::string bay;
    std::optional<std::int64_t> fromMs;  // inclusive, UTC milliseconds
    std::optional<std::int64_t> toMs;    // exclusive
    int limit = 0;                       // Shots only: at most this many, 0 for all
};

struct SessionSummary {
    std::string player;
    std::string session;
    std::int64_t firstMs = 0;
    std::int64_t lastMs = 0;
    long shots = 0;
};

// Mean and sample standard deviation of one value over a group of shots; sd is 0 for one shot.
struct Spread {
    double mean = 0.0;
    double sd = 0.0;
};

// One club of a gapping table, carry and total in yards. Putts are left out.
struct GappingRow {
    std::string item;
    long count = 0;
    Spread carry;
    Spread total;
};

// One session of a trend, in the value's internal unit.
struct TrendPoint {
    std::string player;
    std::string session;
    std::int64_t firstMs = 0;
    long count = 0;
    Spread value;
};

// The values a trend can follow, by the name the caller gives.
struct TrendValue {
    const char* name;
    const char* unit;
    const char* column;  // the SQL expression over the shots table s
    // A spin the camera measured: the shots whose spin was doubtful are left out of its trend.
    bool measuredSpin = false;
};
std::span<const TrendValue> TrendValues();
// The value of that name, or null.
const TrendValue* FindTrendValue(std::string_view name);
// "Unknown trend value "x"; known: ball_speed, launch_angle, ...".
std::string UnknownTrendValueReason(std::string_view name);

// The history of every shot recorded, local or shared by a range's bays.
class ShotStore {
public:
    virtual ~ShotStore() = default;

    // Writes the shot with its trajectory and cameras in one transaction. A shot whose id is
    // already stored is left as it is and is no failure; added tells which happened.
    [[nodiscard]] virtual base::Status Write(const StoredShot& shot, bool* added) = 0;
    [[nodiscard]] base::Status Write(const StoredShot& shot) { return Write(shot, nullptr); }
    // Many shots at once (an import): one transaction where the store allows, so a session
    // file of thousands of shots costs one sync, not one per shot. added counts the new ones.
    [[nodiscard]] virtual base::Status WriteMany(std::span<const StoredShot> shots, int& added);

    [[nodiscard]] virtual base::Status Players(std::vector<std::string>& players) = 0;
    // Sessions with a shot the filter takes, ordered by their first shot.
    [[nodiscard]] virtual base::Status Sessions(const ShotFilter& filter,
                                                std::vector<SessionSummary>& sessions) = 0;
    // Complete shots ordered by time (then id).
    [[nodiscard]] virtual base::Status Shots(const ShotFilter& filter,
                                             std::vector<StoredShot>& shots) = 0;
    // Per item, longest mean carry first.
    [[nodiscard]] virtual base::Status Gapping(const ShotFilter& filter,
                                               std::vector<GappingRow>& rows) = 0;
    // Per session in time order; an unknown value name fails with the known names.
    [[nodiscard]] virtual base::Status Trend(std::string_view value, const ShotFilter& filter,
                                             std::vector<TrendPoint>& points) = 0;
    virtual int SchemaVersion() const = 0;
    // Where the store is, for messages: "SQLite /home/ann/kyvern.db".
    virtual std::string Describe() const = 0;
};

// Mean and sample sd from a count, a sum and a sum of squares as the queries return them.
Spread SpreadOf(long count, double sum, double sumOfSquares);

}  // namespace kyvern::store
