// kyvern-cli putt: one putt's roll on the green of the settings (Putting/Stimp, SlopePercent,
// SlopeDirection), or on the green the flags describe.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/settings_snapshot.h"
#include "cli/command.h"
#include "flight/putt_roll.h"

namespace kyvern::cli {
namespace {

constexpr const char* kUsage =
    "usage: kyvern-cli putt --speed V [--speed-unit mph|fps|kph|mps] [--line DEG] [--stimp FT]\n"
    "                       [--slope PERCENT] [--slope-direction DEG] [--rolling] [--json]\n";

// mph per unit of the given speed unit; 0 for an unknown unit.
double MphPer(const std::string& unit) {
    if (unit == "mph") return 1.0;
    if (unit == "fps") return 3600.0 / 5280.0;
    if (unit == "kph") return 1.0 / 1.609344;
    if (unit == "mps") return 3600.0 / 1609.344;
    return 0.0;
}

bool Number(const Args& args, const char* flag, double& value) {
    if (!HasFlag(args, flag)) return true;
    bool complete = true;
    const std::string text = FlagValue(args, flag, "", complete);
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (!complete || text.empty() || *end != '\0' || !std::isfinite(parsed)) {
        std::fprintf(stderr, "kyvern-cli putt: %s needs a number\n", flag);
        return false;
    }
    value = parsed;
    return true;
}

int RunPutt(const Args& args) {
    const char* valueFlags[] = {"--speed", "--speed-unit", "--line",
                                "--stimp", "--slope",      "--slope-direction"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool known = args[i] == "--rolling" || args[i] == "--json";
        for (const char* flag : valueFlags) {
            if (args[i] == flag) {
                known = true;
                ++i;  // its value
            }
        }
        if (!known) {
            std::fprintf(stderr, "kyvern-cli putt: unknown argument %s\n%s", args[i].c_str(),
                         kUsage);
            return 2;
        }
    }
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read();
    base::OptionsReader reader(settings);
    flight::Green green = flight::ReadGreen(reader);
    flight::PuttLaunch launch;
    launch.start =
        HasFlag(args, "--rolling") ? flight::PuttStart::kRolling : flight::PuttStart::kStruck;
    double speed = 0.0;
    bool complete = true;
    const std::string unit = FlagValue(args, "--speed-unit", "mph", complete);
    if (!HasFlag(args, "--speed") || !Number(args, "--speed", speed) ||
        !Number(args, "--line", launch.sideAngle) || !Number(args, "--stimp", green.stimp) ||
        !Number(args, "--slope", green.slopePercent) ||
        !Number(args, "--slope-direction", green.slopeDirection) || !complete ||
        MphPer(unit) == 0.0) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    launch.ballSpeed = speed * MphPer(unit);

    flight::PuttResult roll;
    if (!flight::PuttRoll::Compute(launch, green, roll)) {
        std::fprintf(stderr, "kyvern-cli putt: %s\n", roll.error.c_str());
        return 2;
    }
    if (HasFlag(args, "--json")) {
        Json path = Json::array();
        for (int i = 0; i < roll.pointCount; ++i)
            path.push_back(JsonNumbers({roll.pointX[i], roll.pointZ[i]}));
        PrintJson({{"ballSpeedMph", JsonNumber(launch.ballSpeed)},
                   {"startLine", JsonNumber(launch.sideAngle)},
                   {"stimp", JsonNumber(green.stimp)},
                   {"slopePercent", JsonNumber(green.slopePercent)},
                   {"slopeDirection", JsonNumber(green.slopeDirection)},
                   {"total", JsonNumber(roll.total)},
                   {"distance", JsonNumber(roll.distance)},
                   {"skid", JsonNumber(roll.skid)},
                   {"downrange", JsonNumber(roll.downrange)},
                   {"offline", JsonNumber(roll.offline)},
                   {"break", JsonNumber(roll.breakFromLine)},
                   {"time", JsonNumber(roll.time)},
                   {"stopped", roll.stopped},
                   {"path", std::move(path)}});
        return 0;
    }
    std::printf(
        "Putt %.1f mph, start line %.1f deg, green stimp %.1f ft, slope %.1f %% towards "
        "%.0f deg\n",
        launch.ballSpeed, launch.sideAngle, green.stimp, green.slopePercent, green.slopeDirection);
    std::printf("Roll          %.2f ft (skid %.2f ft)\n", roll.total, roll.skid);
    std::printf("Rest point    %.2f ft out, %.2f ft %s\n", roll.downrange, std::fabs(roll.offline),
                roll.offline < 0.0 ? "left" : "right");
    std::printf("Break         %.2f ft %s of the start line\n", std::fabs(roll.breakFromLine),
                roll.breakFromLine < 0.0 ? "left" : "right");
    std::printf("Time          %.2f s%s\n", roll.time,
                roll.stopped ? "" : " (the slope is too steep for the ball to stop)");
    return 0;
}

const Registration kPutt({"putt",
                          "putt --speed V [--line DEG] [--stimp FT] [--slope P] [--json]   "
                          "a putt's roll on the green",
                          RunPutt});

}  // namespace
}  // namespace kyvern::cli
