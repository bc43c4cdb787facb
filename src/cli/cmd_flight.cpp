// kyvern-cli flight: one flight with the ball and weather of the settings, the club values the
// impact model infers, and the performance figures.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/pass_options.h"
#include "base/user_prompts.h"
#include "cli/command.h"
#include "flight/flight_model.h"
#include "shot/impact_model.h"
#include "shot/performance_analysis.h"
#include "shot/text_formats.h"
#include "shot/units.h"

namespace kyvern::cli {
namespace {

constexpr const char* kUsage =
    "usage: kyvern-cli flight --speed V [--speed-unit fps|mph|kph|mps] --launch L --back B\n"
    "                         [--side-spin P] [--side-angle S] [--club-speed C] [--json]\n"
    "                         [--trajectory FILE]\n";

struct Options {
    double ballSpeed = 0.0;  // ft/s
    double launch = 0.0;
    double back = 0.0;
    double sideSpin = 0.0;
    double sideAngle = 0.0;
    bool hasClubSpeed = false;
    double clubSpeed = 0.0;  // ft/s
    bool json = false;
    int unit = shot::kFps;  // the unit the speeds were typed in
    std::string trajectory;
};

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && std::isfinite(value);
}

bool ParseUnit(const std::string& word, int& unit) {
    const std::pair<const char*, int> units[] = {
        {"fps", shot::kFps}, {"mph", shot::kMph}, {"kph", shot::kKph}, {"mps", shot::kMps}};
    for (const auto& [name, index] : units) {
        if (word == name) {
            unit = index;
            return true;
        }
    }
    return false;
}

bool Parse(const Args& args, Options& options) {
    const std::string_view valueFlags[] = {"--speed",      "--speed-unit", "--launch",
                                           "--back",       "--side-spin",  "--side-angle",
                                           "--club-speed", "--trajectory"};
    std::string speed, unitWord = "fps", launch, back, sideSpin, sideAngle, clubSpeed;
    std::string* targets[] = {&speed,    &unitWord,  &launch,    &back,
                              &sideSpin, &sideAngle, &clubSpeed, &options.trajectory};
    bool seen[8] = {};
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            options.json = true;
            continue;
        }
        bool known = false;
        for (std::size_t f = 0; f < 8; ++f) {
            if (args[i] != valueFlags[f]) continue;
            if (i + 1 >= args.size() || seen[f]) return false;
            *targets[f] = args[++i];
            seen[f] = true;
            known = true;
            break;
        }
        if (!known) return false;  // an unknown flag or a stray word
    }
    if (!seen[0] || !seen[2] || !seen[3]) return false;
    int& unit = options.unit;
    double typed = 0.0;
    if (!ParseUnit(unitWord, unit) || !ParseNumber(speed, typed)) return false;
    options.ballSpeed = shot::FromDisplaySpeed(typed, unit);
    if (!ParseNumber(launch, options.launch) || !ParseNumber(back, options.back)) return false;
    if (seen[4] && !ParseNumber(sideSpin, options.sideSpin)) return false;
    if (seen[5] && !ParseNumber(sideAngle, options.sideAngle)) return false;
    if (seen[6]) {
        if (!ParseNumber(clubSpeed, typed)) return false;
        options.hasClubSpeed = true;
        options.clubSpeed = shot::FromDisplaySpeed(typed, unit);
    }
    if (seen[7] && options.trajectory.empty()) return false;
    return true;
}

void PrintJsonDocument(const flight::FlightModel& model, const shot::ImpactModel& club,
                       const shot::PerformanceAnalysis& analysis, const Options& options) {
    const flight::FlightResult& r = model.Result();
    Json points = Json::array();
    for (int i = 0; i < r.pointCount; ++i) {
        const auto p = static_cast<std::size_t>(i);
        points.push_back({JsonNumber(r.pointX[p]), JsonNumber(r.pointZ[p]),
                          JsonNumber(r.pointHeight[p]),
                          r.pointHasSpin[p] ? JsonNumber(r.pointSpin[p]) : Json(nullptr)});
    }
    PrintJson({{"carry", JsonNumber(r.carry)},
               {"carryOffline", JsonNumber(r.carryOffline)},
               {"total", JsonNumber(r.total)},
               {"totalOffline", JsonNumber(r.totalOffline)},
               {"roll", JsonNumber(r.roll)},
               {"maxHeight", JsonNumber(r.maxHeight)},
               {"flightTime", JsonNumber(r.flightTime)},
               {"points", std::move(points)},
               {"club",
                {{"clubSpeed", JsonNumber(club.ClubSpeed())},
                 {"effectiveLoft", JsonNumber(club.EffectiveLoft())},
                 {"angleOfAttack", JsonNumber(club.AngleOfAttack())},
                 {"faceAngle", JsonNumber(club.FaceAngle())},
                 {"pathAngle", JsonNumber(club.PathAngle())},
                 {"loftMismatch", club.LoftMismatch()}}},
               {"launchEfficiency", JsonNumber(analysis.LaunchEfficiency())},
               {"powerTransferIndex",
                options.hasClubSpeed ? JsonNumber(analysis.PowerTransferIndex()) : Json(nullptr)}});
}

void PrintText(const flight::FlightModel& model, const shot::ImpactModel& club,
               const shot::PerformanceAnalysis& analysis, const Options& options,
               const app::PassOptions& pass) {
    const int d = pass.distanceUnit;
    const int s = pass.speedUnit;
    const char* dl = shot::DistanceLabel(d);
    const char* sl = shot::SpeedLabel(s);
    auto distance = [d](double yards) {
        return shot::FormatValue(shot::ToDisplayDistance(yards, d));
    };
    auto offline = [d](double yards) {
        return shot::FormatOffline(shot::ToDisplayDistance(yards, d));
    };
    std::printf("Carry            %s %s\n", distance(model.Carry()).c_str(), dl);
    std::printf("Carry offline    %s (%s)\n", offline(model.CarryOffline()).c_str(), dl);
    std::printf("Total            %s %s\n", distance(model.Total()).c_str(), dl);
    std::printf("Total offline    %s (%s)\n", offline(model.TotalOffline()).c_str(), dl);
    std::printf("Roll             %s %s\n", distance(model.Roll()).c_str(), dl);
    std::printf("Max height       %s %s\n", distance(model.MaxHeight()).c_str(), dl);
    std::printf("Flight time      %s s\n", shot::FormatValue(model.FlightTime()).c_str());
    std::printf("Club speed       %s %s\n",
                shot::FormatValue(shot::ToDisplaySpeed(club.ClubSpeed(), s)).c_str(), sl);
    std::printf("Effective loft   %s deg\n", shot::FormatValue(club.EffectiveLoft()).c_str());
    std::printf("Angle of attack  %s deg\n", shot::FormatValue(club.AngleOfAttack()).c_str());
    std::printf("Face angle       %s deg\n", shot::FormatValue(club.FaceAngle()).c_str());
    std::printf("Path angle       %s deg\n", shot::FormatValue(club.PathAngle()).c_str());
    if (club.LoftMismatch()) std::printf("Effective loft differs from the club loft\n");
    if (options.hasClubSpeed) {
        std::printf("PTI              %s\n",
                    shot::FormatShotScore(analysis.PowerTransferIndex()).c_str());
    }
    std::printf("LE               %s\n",
                shot::FormatShotScore(analysis.LaunchEfficiency()).c_str());
}

// The values a golf ball can leave the club with; beyond them the flight model's drag and lift
// tables no longer describe the ball and its answers are meaningless.
constexpr double kMaxBallSpeed = 500.0;  // ft/s, about 340 mph
constexpr double kMaxLaunch = 90.0;      // degrees either way
constexpr double kMaxSideAngle = 90.0;   // degrees either way
constexpr double kMaxSpin = 20000.0;     // rpm either way, back and side

// An empty string when every number is in its range, else the first one out of it with its range.
std::string OutOfRange(const Options& options) {
    const int unit = options.unit;
    struct Check {
        const char* flag;
        double value, low, high;
        bool lowOpen;
    };
    const double topSpeed = shot::ToDisplaySpeed(kMaxBallSpeed, unit);
    const Check checks[] = {
        {"--speed", shot::ToDisplaySpeed(options.ballSpeed, unit), 0.0, topSpeed, true},
        {"--launch", options.launch, -kMaxLaunch, kMaxLaunch, false},
        {"--back", options.back, -kMaxSpin, kMaxSpin, false},
        {"--side-spin", options.sideSpin, -kMaxSpin, kMaxSpin, false},
        {"--side-angle", options.sideAngle, -kMaxSideAngle, kMaxSideAngle, false},
        {"--club-speed", shot::ToDisplaySpeed(options.clubSpeed, unit), 0.0, topSpeed, false},
    };
    for (const Check& c : checks) {
        const bool below = c.lowOpen ? !(c.value > c.low) : !(c.value >= c.low);
        if (!below && c.value <= c.high) continue;
        char text[160];
        std::snprintf(text, sizeof text, "kyvern-cli flight: %s must be %s %g and at most %g\n",
                      c.flag, c.lowOpen ? "above" : "at least", c.low, c.high);
        return text;
    }
    return {};
}

int RunFlight(const Args& args) {
    Options options;
    if (!Parse(args, options)) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    if (const std::string fault = OutOfRange(options); !fault.empty()) {
        std::fprintf(stderr, "%s", fault.c_str());
        return 2;
    }
    base::StderrPrompts prompts;
    const app::PassOptions pass = app::ReadPassOptions();
    flight::FlightModel model(pass.flight);
    model.Compute(options.ballSpeed, options.launch, options.back, options.sideSpin,
                  options.sideAngle);
    shot::ImpactModel club(pass.club);
    club.Evaluate(options.ballSpeed, options.launch, options.sideAngle, options.back,
                  options.sideSpin);
    for (base::MessageId message : club.TakeMessages())
        prompts.Message(base::Text(message));
    shot::PerformanceAnalysis analysis(pass.flight, pass.scoring);
    analysis.Compute(options.ballSpeed, options.clubSpeed, options.launch, options.sideAngle,
                     options.back, options.sideSpin);
    if (options.json) {
        PrintJsonDocument(model, club, analysis, options);
    } else {
        PrintText(model, club, analysis, options, pass);
    }
    if (!options.trajectory.empty() &&
        !base::Show(model.WriteTrajectory(options.trajectory), prompts)) {
        return 1;
    }
    return 0;
}

const Registration kFlight({"flight",
                            "flight --speed V [--speed-unit fps|mph|kph|mps] --launch L --back B "
                            "[--side-spin P] [--side-angle S] [--club-speed C] [--json] "
                            "[--trajectory FILE]   one flight, club values and scores",
                            RunFlight});

}  // namespace
}  // namespace kyvern::cli
