// kyvern-cli accuracy: renders a seeded grid of shots over the field of view, analyses each in
// both precisions and prints each value's error against the rendered truth.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/accuracy_report.h"
#include "capture/camera_table.h"
#include "cli/command.h"

namespace kyvern::cli {
namespace {

constexpr const char* kUsage =
    "usage: kyvern-cli accuracy [--shots N] [--first K] [--seed S] [--width 1024|640] "
    "[--realism none|full|EFFECT,...] [--min-confidence C] [--putts] [--list] [--json]\n";
constexpr long kMaxShots = 100000;
// JSON names of the values, in the order of app::AccuracyValue.
constexpr const char* kJsonNames[] = {"ballSpeed", "launchAngle", "sideAngle", "backSpin",
                                      "sideSpin"};

const char* PrecisionName(analysis::Precision precision) {
    return precision == analysis::Precision::kRefined ? "Refined" : "Standard";
}

// A whole number within [low, high] from a flag, or fallback when the flag is absent.
bool WholeFlag(const Args& args, const char* name, long long low, long long high,
               long long fallback, long long& value) {
    value = fallback;
    if (!HasFlag(args, name)) return true;
    bool complete = true;
    const std::string text = FlagValue(args, name, "", complete);
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (!complete || text.empty() || *end != '\0' || errno != 0 || parsed < low || parsed > high) {
        std::fprintf(stderr, "kyvern-cli accuracy: %s must be a whole number from %lld to %lld\n",
                     name, low, high);
        return false;
    }
    value = parsed;
    return true;
}

int Measured(const app::PrecisionFigures& figures) {
    return figures.values[int(app::AccuracyValue::kBallSpeed)].count;
}

// One shot of the grid and its errors: a line of text, or of JSON.
void PrintShot(const app::ShotOutcome& o, bool json) {
    const sim::ShotSetup& s = o.shot.setup;
    const char* mode = capture::SpeedModes()[o.shot.speedMode].name;
    if (json) {
        Json errors = Json::array();
        Json confidence = Json::array();
        for (int m = 0; m < 2; ++m) {
            // A shot its confidence refused was solved all the same: its errors show what the
            // refusal kept from the user.
            const analysis::ShotConfidence& c = o.confidence[m];
            Json values = nullptr;
            for (int v = 0; c.checked && v < app::kAccuracyValues; ++v)
                values[kJsonNames[v]] = JsonNumber(o.errors[m][v]);
            errors.push_back(std::move(values));
            const analysis::ConfidenceMeasures& k = o.measures[m];
            confidence.push_back(c.checked ? Json{{"launch", JsonNumber(c.launch)},
                                                  {"spin", JsonNumber(c.spin)},
                                                  {"doubts", analysis::DoubtsText(c.doubts)},
                                                  {"published", o.measured[m]},
                                                  {"edgeFit", JsonNumber(k.edgeFit)},
                                                  {"ringLit", JsonNumber(k.ringLit)},
                                                  {"flashRatio", JsonNumber(k.flashRatio)},
                                                  {"linePoints", k.linePoints},
                                                  {"onPlane", JsonNumber(k.onPlane)},
                                                  {"turn", JsonNumber(k.turn)}}
                                           : Json(nullptr));
        }
        PrintJson({{"shot", o.index},
                   {"width", s.width},
                   {"speedMode", mode},
                   {"ballSpeed", JsonNumber(s.ballSpeed)},
                   {"launchAngle", JsonNumber(s.launchAngle)},
                   {"sideAngle", JsonNumber(s.sideAngle)},
                   {"backSpin", JsonNumber(s.backSpin)},
                   {"sideSpin", JsonNumber(s.sideSpin)},
                   {"turn", JsonNumber(o.truth.turn)},
                   {"aliased", o.truth.aliased},
                   {"errors", std::move(errors)},
                   {"confidence", std::move(confidence)}});
        return;
    }
    std::printf("%4d %5d %-9s %6.1f %6.1f %5.1f %6.0f %7.0f %5.1f", o.index, s.width, mode,
                s.ballSpeed, s.launchAngle, s.sideAngle, s.backSpin, s.sideSpin, o.truth.turn);
    // A putt's spin is never measured, so its turn leaves nothing out.
    if (o.truth.aliased && o.shot.speedMode != capture::kPuttModeNumber) {
        std::printf(" | aliased\n");
        return;
    }
    for (int m = 0; m < 2; ++m) {
        if (!o.measured[m]) {
            std::printf(" | failed");
            continue;
        }
        const auto& e = o.errors[m];
        std::printf(" | %+6.2f%% %+5.2f %+5.2f %+6.2f%% %+5.0f%s", e[0], e[1], e[2], e[3], e[4],
                    o.wrong[m] ? " WRONG" : "");
    }
    std::printf("\n");
}

void PrintText(const app::AccuracyOptions& options, const app::AccuracySummary& summary) {
    char from[32] = "";
    if (options.first > 0) std::snprintf(from, sizeof from, " from shot %d", options.first);
    std::printf("Accuracy on %d rendered %s%s, seed %llu, %s\n", summary.shots,
                options.putts ? "putts" : "shots", from,
                static_cast<unsigned long long>(options.seed),
                options.width == 0 ? "1024 x 768 and 640 x 480 in turn"
                                   : (options.width == 1024 ? "1024 x 768" : "640 x 480"));
    std::printf("Realism: %s\n", sim::RealismName(options.realism).c_str());
    std::printf("Aliased (the ball turns 135 deg or more between the flashes), left out: %d\n",
                summary.aliased);
    for (const app::PrecisionFigures& figures : summary.modes) {
        std::printf("\n%s precision: %d measured, %d failed, %d without spin, %.1f ms a frame\n",
                    PrecisionName(figures.precision), Measured(figures), figures.failures,
                    figures.spinless, figures.milliseconds);
        const int rendered = Measured(figures) + figures.failures;
        const auto share = [rendered](int n) { return rendered > 0 ? 100.0 * n / rendered : 0.0; };
        std::printf("  measured %.1f %%, refused %.1f %%, measured wrongly %.1f %% (%d)\n",
                    share(Measured(figures)), share(figures.failures), share(figures.wrong),
                    figures.wrong);
        std::printf(
            "  confidence below %.2f: %d wrong shots refused, %d good shots refused, %d "
            "spins marked doubtful\n",
            options.minConfidence, figures.caught, figures.lost, figures.spinDoubtful);
        for (const auto& [reason, count] : figures.refusals)
            std::printf("  refused %d: %s\n", count, reason.c_str());
        std::printf("  %-13s %-4s %9s %9s %9s %6s %6s\n", "value", "unit", "bias", "sd", "worst",
                    "shot", "count");
        for (int v = 0; v < app::kAccuracyValues; ++v) {
            const auto value = app::AccuracyValue(v);
            const app::ErrorFigures& f = figures.values[v];
            std::printf("  %-13s %-4s %9.2f %9.2f %9.2f %6d %6d\n", app::AccuracyValueName(value),
                        app::AccuracyValueUnit(value), f.bias, f.sd, f.worst, f.worstShot, f.count);
        }
    }
}

void PrintSummaryJson(const app::AccuracyOptions& options, const app::AccuracySummary& summary) {
    Json modes = Json::array();
    for (const app::PrecisionFigures& figures : summary.modes) {
        Json values = Json::object();
        for (int v = 0; v < app::kAccuracyValues; ++v) {
            const app::ErrorFigures& f = figures.values[v];
            values[kJsonNames[v]] = {{"unit", app::AccuracyValueUnit(app::AccuracyValue(v))},
                                     {"count", f.count},
                                     {"bias", JsonNumber(f.bias)},
                                     {"sd", JsonNumber(f.sd)},
                                     {"worst", JsonNumber(f.worst)},
                                     {"worstShot", f.worstShot}};
        }
        Json refusals = Json::array();
        for (const auto& [reason, count] : figures.refusals)
            refusals.push_back({{"reason", reason}, {"count", count}});
        modes.push_back({{"precision", PrecisionName(figures.precision)},
                         {"measured", Measured(figures)},
                         {"failures", figures.failures},
                         {"spinless", figures.spinless},
                         {"wrong", figures.wrong},
                         {"caught", figures.caught},
                         {"lost", figures.lost},
                         {"spinDoubtful", figures.spinDoubtful},
                         {"refusals", refusals},
                         {"milliseconds", JsonNumber(figures.milliseconds)},
                         {"values", std::move(values)}});
    }
    PrintJson({{"shots", summary.shots},
               {"seed", options.seed},
               {"width", options.width},
               {"realism", sim::RealismName(options.realism)},
               {"minConfidence", JsonNumber(options.minConfidence)},
               {"aliased", summary.aliased},
               {"modes", std::move(modes)}});
}

int RunAccuracy(const Args& args) {
    const Args known = {"--shots",          "--first", "--seed", "--width", "--realism",
                        "--min-confidence", "--list",  "--json", "--putts"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool isKnown = false;
        for (const std::string& k : known)
            isKnown = isKnown || args[i] == k;
        if (!isKnown) {
            std::fprintf(stderr, "kyvern-cli accuracy: unknown argument %s\n", args[i].c_str());
            std::fprintf(stderr, "%s", kUsage);
            return 2;
        }
        if (args[i] != "--json" && args[i] != "--list" && args[i] != "--putts") ++i;  // its value
    }
    long long shots = 0;
    long long first = 0;
    long long seed = 0;
    long long width = 0;
    if (!WholeFlag(args, "--shots", 1, kMaxShots, 300, shots) ||
        !WholeFlag(args, "--first", 0, kMaxShots, 0, first) ||
        !WholeFlag(args, "--seed", 0, 9007199254740992LL, 1, seed) ||
        !WholeFlag(args, "--width", 640, 1024, 0, width) ||
        (width != 0 && width != 640 && width != 1024)) {
        if (width != 0 && width != 640 && width != 1024) {
            std::fprintf(stderr, "kyvern-cli accuracy: --width must be 1024 or 640\n");
        }
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    app::AccuracyOptions options;
    bool complete = true;
    const std::string realism = FlagValue(args, "--realism", "none", complete);
    if (!complete || !sim::ParseRealism(realism, options.realism)) {
        std::fprintf(stderr,
                     "kyvern-cli accuracy: --realism must be none, full or a comma-separated list "
                     "of dimples, prints, blur, light, background, sensor\n");
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    const std::string minimum = FlagValue(args, "--min-confidence", "0.5", complete);
    char* end = nullptr;
    options.minConfidence = std::strtod(minimum.c_str(), &end);
    if (!complete || end == minimum.c_str() || *end != '\0' || !(options.minConfidence >= 0.0) ||
        options.minConfidence > 1.0) {
        std::fprintf(stderr,
                     "kyvern-cli accuracy: --min-confidence must be a number from 0 to 1\n");
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    options.shots = int(shots);
    options.first = int(first);
    options.seed = std::uint64_t(seed);
    options.width = int(width);
    options.putts = HasFlag(args, "--putts");
    const bool json = HasFlag(args, "--json");
    app::ShotObserver list;
    if (HasFlag(args, "--list")) {
        if (!json) {
            std::printf(
                "shot width mode      speed launch  side   back  s.spin  turn | errors "
                "standard: speed launch side back s.spin | refined\n");
        }
        list = [json](const app::ShotOutcome& o) { PrintShot(o, json); };
    }
    const app::AccuracySummary summary = app::RunAccuracy(options, list);
    if (json) {
        PrintSummaryJson(options, summary);
    } else {
        PrintText(options, summary);
    }
    return 0;
}

const Registration kAccuracy(
    {"accuracy",
     "accuracy [--shots N] [--first K] [--seed S] [--width 1024|640] [--realism R] [--putts] "
     "[--json]   "
     "the analysis's error on rendered shots",
     RunAccuracy});

}  // namespace
}  // namespace kyvern::cli
