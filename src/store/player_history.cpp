#include "store/player_history.h"

#include <string_view>

#include "shot/units.h"

namespace kyvern::store {

TrendDisplay DisplayOf(const TrendValue& value, int distanceUnit, int speedUnit) {
    const std::string_view unit = value.unit;
    if (unit == "ft/s") return {shot::ToDisplaySpeed(1.0, speedUnit), shot::SpeedLabel(speedUnit)};
    if (unit == "yd")
        return {shot::ToDisplayDistance(1.0, distanceUnit), shot::DistanceLabel(distanceUnit)};
    return {1.0, std::string(unit)};
}

base::Status ReadPlayerHistory(ShotStore& store, const std::string& player,
                               const std::string& trendValue,
                               const std::optional<std::string>& trendItem,
                               PlayerHistory& history) {
    history.player = player;
    history.trendValue = trendValue;
    history.sessions.clear();
    history.gapping.clear();
    history.trend.clear();
    history.shots = 0;
    ShotFilter filter;
    filter.player = player;
    if (auto s = store.Sessions(filter, history.sessions); !s) return s;
    for (const SessionSummary& session : history.sessions)
        history.shots += session.shots;
    if (auto s = store.Gapping(filter, history.gapping); !s) return s;
    history.trendItem = trendItem                 ? *trendItem
                        : history.gapping.empty() ? std::string()
                                                  : history.gapping.front().item;
    filter.item = history.trendItem;
    return store.Trend(trendValue, filter, history.trend);
}

}  // namespace kyvern::store
