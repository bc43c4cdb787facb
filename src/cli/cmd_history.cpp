// kyvern-cli history: the shot history of the store the settings name (Store/Url), or of
// --store URL: its players, sessions and shots, the carry gapping per club, the trend of one
// value per session, and the import of session files.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "base/config_store.h"
#include "base/program_folder.h"
#include "base/settings_schema.h"
#include "base/settings_snapshot.h"
#include "cli/command.h"
#include "shot/text_formats.h"
#include "shot/units.h"
#include "store/open_store.h"
#include "store/player_history.h"
#include "store/session_import.h"

namespace kyvern::cli {
namespace {

constexpr const char* kUsage =
    "usage: kyvern-cli history [--store URL] [--json|--csv] COMMAND\n"
    "  players\n"
    "  sessions [FILTERS]\n"
    "  shots [FILTERS] [--limit N]\n"
    "  gapping [FILTERS]        mean carry and total per club, in the display unit\n"
    "  trend VALUE [FILTERS]    per session mean and sd of one value\n"
    "  import FILE...           session files; importing one again adds nothing\n"
    "FILTERS: --player NAME --session NAME --item NAME --bay NAME --from YYYY-MM-DD "
    "--to YYYY-MM-DD\n";

constexpr const char* kName = "kyvern-cli history";

// A UTC day "YYYY-MM-DD" as milliseconds at its start; false when it is no such day.
bool DayMs(const std::string& text, std::int64_t& ms) {
    std::tm day{};
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &day.tm_year, &day.tm_mon, &day.tm_mday,
                    &consumed) != 3 ||
        consumed != static_cast<int>(text.size()) || day.tm_mon < 1 || day.tm_mon > 12 ||
        day.tm_mday < 1 || day.tm_mday > 31)
        return false;
    day.tm_year -= 1900;
    day.tm_mon -= 1;
    const std::time_t seconds = timegm(&day);
    if (seconds == static_cast<std::time_t>(-1)) return false;
    ms = static_cast<std::int64_t>(seconds) * 1000;
    return true;
}

// "%.1f" (or the format given), or "" for a value not there, as the CSV columns take it.
std::string Fixed(double value, const char* format = nullptr) {
    if (!std::isfinite(value)) return "";
    if (!format) return shot::FormatValue(value);
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A CSV field, quoted when it holds a separator, a quote or a line end.
std::string Csv(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

void PrintCsv(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i)
        line += (i ? "," : "") + Csv(fields[i]);
    std::printf("%s\n", line.c_str());
}

enum class Output { kText, kJson, kCsv };

int Fail(const base::Status& status) {
    std::fprintf(stderr, "%s: %s\n", kName, status.Reason().c_str());
    return 1;
}

int RunHistory(const Args& args) {
    const std::vector<std::string_view> valueFlags = {
        "--store", "--player", "--session", "--item", "--bay", "--from", "--to", "--limit"};
    const Args words = Positionals(args, valueFlags);
    for (const std::string& a : args) {
        if (a.starts_with("--") && a != "--json" && a != "--csv" &&
            std::find(valueFlags.begin(), valueFlags.end(), a) == valueFlags.end()) {
            std::fprintf(stderr, "%s: unknown flag %s\n%s", kName, a.c_str(), kUsage);
            return 2;
        }
    }
    if (words.empty()) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    const Output output = HasFlag(args, "--json")  ? Output::kJson
                          : HasFlag(args, "--csv") ? Output::kCsv
                                                   : Output::kText;
    bool complete = true;
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read();
    const std::string url(
        base::Trim(FlagValue(args, "--store", settings.Text(base::setting::kStoreUrl), complete)));
    store::ShotFilter filter;
    filter.player = FlagValue(args, "--player", "", complete);
    filter.session = FlagValue(args, "--session", "", complete);
    filter.item = FlagValue(args, "--item", "", complete);
    filter.bay = FlagValue(args, "--bay", "", complete);
    for (const auto& [flag, bound, nextDay] :
         {std::tuple{"--from", &filter.fromMs, false}, std::tuple{"--to", &filter.toMs, true}}) {
        if (!HasFlag(args, flag)) continue;
        std::int64_t ms = 0;
        if (!DayMs(FlagValue(args, flag, "", complete), ms)) {
            std::fprintf(stderr, "%s: %s needs a day as YYYY-MM-DD\n", kName, flag);
            return 2;
        }
        // --to names the last day taken.
        *bound = nextDay ? ms + 86400000 : ms;
    }
    if (HasFlag(args, "--limit")) {
        const std::string text = FlagValue(args, "--limit", "", complete);
        char* end = nullptr;
        const long limit = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || limit < 1 || limit > 100000000) {
            std::fprintf(stderr, "%s: --limit needs a count of at least 1\n", kName);
            return 2;
        }
        filter.limit = static_cast<int>(limit);
    }
    if (!complete) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }

    std::unique_ptr<store::ShotStore> store;
    if (const base::Status opened = store::OpenStore(url, base::ProgramFolder(), store); !opened)
        return Fail(opened);
    const int distanceUnit = shot::ReadDistanceUnit(settings, 0);
    const int speedUnit = shot::ReadSpeedUnit(settings, 0);
    const std::string dl = shot::DistanceLabel(distanceUnit);
    auto distance = [&](double yards) { return shot::ToDisplayDistance(yards, distanceUnit); };
    const std::string& command = words[0];

    if (command == "import") {
        if (words.size() < 2) {
            std::fprintf(stderr, "%s", kUsage);
            return 2;
        }
        const std::vector<std::string> files(words.begin() + 1, words.end());
        int status = 0;
        Json reports = Json::array();
        for (const store::ImportReport& r : store::ImportSessions(
                 *store, files, std::string(settings.Text(base::setting::kStoreBay)))) {
            if (!r.status) status = 1;
            if (output == Output::kJson) {
                reports.push_back({{"file", r.path},
                                   {"ok", r.status.Ok()},
                                   {"error", r.status.Reason()},
                                   {"loaded", r.loaded},
                                   {"added", r.added},
                                   {"skipped", r.skipped}});
            } else if (!r.status) {
                std::fprintf(stderr, "%s: %s: %s\n", kName, r.path.c_str(),
                             r.status.Reason().c_str());
            } else {
                std::printf("%s: %d shots read, %d added, %d skipped\n", r.path.c_str(), r.loaded,
                            r.added, r.skipped);
            }
        }
        if (output == Output::kJson) PrintJson(reports);
        return status;
    }
    if (command == "players") {
        std::vector<std::string> players;
        if (const base::Status s = store->Players(players); !s) return Fail(s);
        if (output == Output::kJson) {
            PrintJson(Json(players));
        } else {
            if (output == Output::kCsv) PrintCsv({"player"});
            for (const std::string& p : players)
                output == Output::kCsv ? PrintCsv({p}) : void(std::printf("%s\n", p.c_str()));
        }
        return 0;
    }
    if (command == "sessions") {
        std::vector<store::SessionSummary> sessions;
        if (const base::Status s = store->Sessions(filter, sessions); !s) return Fail(s);
        Json list = Json::array();
        if (output == Output::kCsv) PrintCsv({"player", "session", "first", "last", "shots"});
        for (const store::SessionSummary& s : sessions) {
            const std::string first = store::IsoUtcText(s.firstMs);
            const std::string last = store::IsoUtcText(s.lastMs);
            if (output == Output::kJson)
                list.push_back({{"player", s.player},
                                {"session", s.session},
                                {"first", first},
                                {"last", last},
                                {"shots", s.shots}});
            else if (output == Output::kCsv)
                PrintCsv({s.player, s.session, first, last, std::to_string(s.shots)});
            else
                std::printf("%-16s %-20s %s  %4ld shots\n", s.player.c_str(), s.session.c_str(),
                            first.c_str(), s.shots);
        }
        if (output == Output::kJson) PrintJson(list);
        return 0;
    }
    if (command == "shots") {
        std::vector<store::StoredShot> shots;
        if (const base::Status s = store->Shots(filter, shots); !s) return Fail(s);
        const std::string sl = shot::SpeedLabel(speedUnit);
        Json list = Json::array();
        if (output == Output::kCsv)
            PrintCsv({"time", "player", "session", "item", "bay", "ball speed (" + sl + ")",
                      "launch", "side angle", "back spin", "side spin", "carry (" + dl + ")",
                      "offline (" + dl + ")", "total (" + dl + ")", "putt", "confidence"});
        for (const store::StoredShot& s : shots) {
            const double speed = shot::ToDisplaySpeed(s.ballSpeed, speedUnit);
            const double confidence = s.confidence ? *s.confidence : NAN;
            if (output == Output::kJson) {
                list.push_back({{"id", s.id},
                                {"time", store::IsoUtcText(s.timeMs)},
                                {"player", s.player},
                                {"session", s.session},
                                {"item", s.item},
                                {"bay", s.bay},
                                {"ballSpeed", JsonNumber(speed)},
                                {"launchAngle", JsonNumber(s.launchAngle)},
                                {"sideAngle", JsonNumber(s.sideAngle)},
                                {"backSpin", JsonNumber(s.backSpin)},
                                {"sideSpin", JsonNumber(s.sideSpin)},
                                {"carry", JsonNumber(distance(s.flight.carry))},
                                {"offline", JsonNumber(distance(s.flight.carryOffline))},
                                {"total", JsonNumber(distance(s.flight.total))},
                                {"putt", s.putt},
                                {"confidence", JsonNumber(confidence)}});
            } else if (output == Output::kCsv) {
                PrintCsv({store::IsoUtcText(s.timeMs), s.player, s.session, s.item, s.bay,
                          Fixed(speed), Fixed(s.launchAngle), Fixed(s.sideAngle),
                          shot::FormatViewSpin(s.backSpin), shot::FormatViewSpin(s.sideSpin),
                          Fixed(distance(s.flight.carry)), Fixed(distance(s.flight.carryOffline)),
                          Fixed(distance(s.flight.total)), s.putt ? "yes" : "no",
                          Fixed(confidence, "%.2f")});
            } else {
                std::printf(
                    "%s  %-12s %-10s %5.1f %s  launch %4.1f  carry %6.1f %s  total %6.1f "
                    "%s\n",
                    store::IsoUtcText(s.timeMs).c_str(), s.player.c_str(), s.item.c_str(), speed,
                    sl.c_str(), s.launchAngle, distance(s.flight.carry), dl.c_str(),
                    distance(s.flight.total), dl.c_str());
            }
        }
        if (output == Output::kJson) PrintJson(list);
        return 0;
    }
    if (command == "gapping") {
        std::vector<store::GappingRow> rows;
        if (const base::Status s = store->Gapping(filter, rows); !s) return Fail(s);
        Json list = Json::array();
        if (output == Output::kCsv)
            PrintCsv({"item", "shots", "carry (" + dl + ")", "carry sd", "total (" + dl + ")",
                      "total sd"});
        else if (output == Output::kText)
            std::printf("%-16s %5s %14s %14s  (%s)\n", "Item", "Shots", "Carry (sd)", "Total (sd)",
                        dl.c_str());
        for (const store::GappingRow& r : rows) {
            const double carry = distance(r.carry.mean), carrySd = distance(r.carry.sd);
            const double total = distance(r.total.mean), totalSd = distance(r.total.sd);
            if (output == Output::kJson)
                list.push_back({{"item", r.item},
                                {"shots", r.count},
                                {"carry", JsonNumber(carry)},
                                {"carrySd", JsonNumber(carrySd)},
                                {"total", JsonNumber(total)},
                                {"totalSd", JsonNumber(totalSd)},
                                {"unit", dl}});
            else if (output == Output::kCsv)
                PrintCsv({r.item, std::to_string(r.count), Fixed(carry), Fixed(carrySd),
                          Fixed(total), Fixed(totalSd)});
            else
                std::printf("%-16s %5ld %7.1f (%4.1f) %7.1f (%4.1f)\n", r.item.c_str(), r.count,
                            carry, carrySd, total, totalSd);
        }
        if (output == Output::kJson) PrintJson(list);
        return 0;
    }
    if (command == "trend") {
        if (words.size() != 2) {
            std::fprintf(stderr, "%s", kUsage);
            return 2;
        }
        const store::TrendValue* value = store::FindTrendValue(words[1]);
        if (!value) {
            std::fprintf(stderr, "%s: %s\n", kName,
                         store::UnknownTrendValueReason(words[1]).c_str());
            return 2;
        }
        std::vector<store::TrendPoint> points;
        if (const base::Status s = store->Trend(words[1], filter, points); !s) return Fail(s);
        const store::TrendDisplay shown = store::DisplayOf(*value, distanceUnit, speedUnit);
        Json list = Json::array();
        if (output == Output::kCsv)
            PrintCsv({"player", "session", "first", "shots", "mean", "sd", "unit"});
        for (const store::TrendPoint& p : points) {
            const double mean = p.value.mean * shown.scale, sd = p.value.sd * shown.scale;
            const std::string first = store::IsoUtcText(p.firstMs);
            if (output == Output::kJson)
                list.push_back({{"player", p.player},
                                {"session", p.session},
                                {"first", first},
                                {"shots", p.count},
                                {"mean", JsonNumber(mean)},
                                {"sd", JsonNumber(sd)},
                                {"unit", shown.unit}});
            else if (output == Output::kCsv)
                PrintCsv({p.player, p.session, first, std::to_string(p.count), Fixed(mean, "%.2f"),
                          Fixed(sd, "%.2f"), shown.unit});
            else
                std::printf("%-16s %-20s %s %4ld shots  %8.2f (%.2f) %s\n", p.player.c_str(),
                            p.session.c_str(), first.c_str(), p.count, mean, sd,
                            shown.unit.c_str());
        }
        if (output == Output::kJson) PrintJson(list);
        return 0;
    }
    std::fprintf(stderr, "%s: unknown command %s\n%s", kName, command.c_str(), kUsage);
    return 2;
}

const Registration kHistory({"history",
                             "history [--store URL] players|sessions|shots|gapping|trend V|import "
                             "F...   the shot history",
                             RunHistory});

}  // namespace
}  // namespace kyvern::cli
