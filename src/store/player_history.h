#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "store/shot_store.h"

namespace kyvern::store {

// A value of a trend as the player reads it: the factor from its internal unit and the unit's
// label ("MPH", "yds", "deg").
struct TrendDisplay {
    double scale = 1.0;
    std::string unit;
};
TrendDisplay DisplayOf(const TrendValue& value, int distanceUnit, int speedUnit);

// What a coach looks back on for one player: the sessions, the carry gapping per club and one
// value followed session by session.
struct PlayerHistory {
    std::string player;
    std::vector<SessionSummary> sessions;
    std::vector<GappingRow> gapping;
    std::string trendValue = "carry";  // a name of TrendValues()
    // The club the trend follows: one club's carry or spin means something, every club's mixed
    // together does not. Empty for all of them.
    std::string trendItem;
    std::vector<TrendPoint> trend;
    long shots = 0;  // over every session
    // The units the player reads; the rows above stay in the internal ones.
    int distanceUnit = 0;
    int speedUnit = 0;
};

// The player's history from the store, the trend of trendValue over trendItem's shots (the
// club of the longest carry when unset); a trend value of an unknown name fails with the known
// names, an unknown player gives an empty history.
[[nodiscard]] base::Status ReadPlayerHistory(ShotStore& store, const std::string& player,
                                             const std::string& trendValue,
                                             const std::optional<std::string>& trendItem,
                                             PlayerHistory& history);

}  // namespace kyvern::store
