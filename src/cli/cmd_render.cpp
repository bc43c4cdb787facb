// kyvern-cli render: writes a synthetic strobed frame of given launch conditions to a
// saved-image file and prints the truth it rendered.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/user_prompts.h"
#include "capture/camera_table.h"
#include "capture/image_file.h"
#include "cli/command.h"
#include "frame/captured_image.h"
#include "sim/frame_renderer.h"
#include "sim/shot_generator.h"

namespace kyvern::cli {
namespace {

using frame::Xyz;

constexpr const char* kUsage =
    "usage: kyvern-cli render --out FILE.bmp [--width 1024|640] --speed V "
    "[--speed-unit fps|mph|kph|mps] --launch L --side S --back B --side-spin P [--rifle R] "
    "[--distance INCHES] [--offset-x INCHES] [--offset-y INCHES] [--seed N] [--noise SIGMA] "
    "[--interval SECONDS | --speed-mode Fast|Medium|Slow|SuperSlow|Putt] [--line-width INCHES] "
    "[--ball-diameter INCHES] [--serial N] [--pinhole] [--realism none|full|EFFECT,...] [--json]\n";

// The longest strobe interval a shot accepts: the putting strobe's.
constexpr double kMaxInterval = capture::kLongestStrobeInterval;

// ft/s per unit of the given speed unit; 0 for an unknown unit.
double SpeedFactor(const std::string& unit) {
    if (unit == "fps") return 1.0;
    if (unit == "mph") return 1.4666666666666666;
    if (unit == "kph") return 0.9113333333333333;
    if (unit == "mps") return 3.280839895;
    return 0.0;
}

// Reads the value of a flag as a finite number; fallback when the flag is absent and
// required is false.
class NumberFlags {
public:
    explicit NumberFlags(const Args& args) : args_(args) {}

    double Get(const char* name, double fallback, bool required = false) {
        bool present = HasFlag(args_, name);
        if (!present) {
            if (required) Fail(std::string("missing ") + name);
            return fallback;
        }
        bool complete = true;
        std::string text = FlagValue(args_, name, "", complete);
        if (!complete || text.empty()) {
            Fail(std::string(name) + " needs a value");
            return fallback;
        }
        char* end = nullptr;
        errno = 0;
        double value = std::strtod(text.c_str(), &end);
        if (errno != 0 || *end != '\0' || !std::isfinite(value)) {
            Fail(std::string(name) + ": not a number: " + text);
            return fallback;
        }
        return value;
    }

    // Reports the first problem only.
    void Fail(const std::string& message) {
        if (ok_) std::fprintf(stderr, "kyvern-cli render: %s\n", message.c_str());
        ok_ = false;
    }

    bool Ok() const { return ok_; }

private:
    const Args& args_;
    bool ok_ = true;
};

Json Triple(const Xyz& v) { return JsonNumbers({v.x, v.y, v.z}); }

double SignedTotal(const sim::ShotSetup& s, const sim::ShotTruth& t) {
    return s.backSpin < 0.0 ? -t.spinRate : t.spinRate;
}

void PrintJsonDocument(const std::string& path, const std::string& speedMode,
                       const sim::ShotSetup& s, const sim::ShotTruth& t) {
    Json balls = Json::array();
    const Xyz* locs[2] = {&t.ball0, &t.ball1};
    const Xyz* pixes[2] = {&t.pix0, &t.pix1};
    const Xyz* normals[2] = {&t.normal0, &t.normal1};
    for (int k = 0; k < 2; ++k) {
        balls.push_back({{"loc", Triple(*locs[k])},
                         {"pix", Triple(*pixes[k])},
                         {"lineNormal", Triple(*normals[k])}});
    }
    PrintJson({{"file", path},
               {"width", s.width},
               {"height", s.height},
               {"serialNumber", s.serialNumber},
               {"ballDiameter", JsonNumber(s.ballDiameter)},
               {"ballSpeed", JsonNumber(s.ballSpeed)},
               {"ballSpeedMph", JsonNumber(s.ballSpeed * 3600.0 / 5280.0)},
               {"launchAngle", JsonNumber(s.launchAngle)},
               {"sideAngle", JsonNumber(s.sideAngle)},
               {"totalSpin", JsonNumber(SignedTotal(s, t))},
               {"backSpin", JsonNumber(s.backSpin)},
               {"sideSpin", JsonNumber(s.sideSpin)},
               {"rifleSpin", JsonNumber(s.rifleSpin)},
               {"t1", JsonNumber(s.t1)},
               {"t2", JsonNumber(s.t2)},
               {"speedMode", speedMode.empty() ? Json(nullptr) : Json(speedMode)},
               {"turn", JsonNumber(t.turn)},
               {"aliased", t.aliased},
               {"seed", s.seed},
               {"noise", JsonNumber(s.noise)},
               {"pinhole", s.pinhole},
               {"realism", sim::RealismName(s.realism)},
               {"balls", std::move(balls)}});
}

void PrintText(const std::string& path, const std::string& speedMode, const sim::ShotSetup& s,
               const sim::ShotTruth& t) {
    std::printf("%s: %d x %d, serial number %ld\n", path.c_str(), s.width, s.height,
                static_cast<long>(s.serialNumber));
    std::printf("  ball speed %.2f ft/s (%.2f mph), launch %.2f deg, side %.2f deg\n", s.ballSpeed,
                s.ballSpeed * 3600.0 / 5280.0, s.launchAngle, s.sideAngle);
    std::printf("  spin: total %.0f rpm, back %.0f rpm, side %.0f rpm, rifle %.0f rpm\n",
                SignedTotal(s, t), s.backSpin, s.sideSpin, s.rifleSpin);
    const std::string mode = speedMode.empty() ? "" : " (" + speedMode + ")";
    std::printf("  T1 %.6f s, T2 %.6f s, strobe interval %.6f s%s, ball turns %.2f deg%s\n", s.t1,
                s.t2, s.t2 - s.t1, mode.c_str(), t.turn,
                t.aliased ? " (aliased: the spin cannot be measured)" : "");
    if (s.realism.Any()) std::printf("  realism: %s\n", sim::RealismName(s.realism).c_str());
    const Xyz* locs[2] = {&t.ball0, &t.ball1};
    const Xyz* pixes[2] = {&t.pix0, &t.pix1};
    const Xyz* normals[2] = {&t.normal0, &t.normal1};
    for (int k = 0; k < 2; ++k) {
        const Xyz& l = *locs[k];
        const Xyz& p = *pixes[k];
        const Xyz& n = *normals[k];
        std::printf(
            "  ball %d: loc=%.3f, %.3f, %.3f in   pix=%.1f, %.1f   d=%.1f   line=%.3f, "
            "%.3f, %.3f\n",
            k, l.x, l.y, l.z, p.x, p.y, p.z, n.x, n.y, n.z);
    }
}

bool InView(const Xyz& pix, const sim::ShotSetup& s) {
    const double r = pix.z / 2.0;
    return pix.x - r >= 0.0 && pix.x + r <= s.width && pix.y - r >= 0.0 && pix.y + r <= s.height;
}

int RunRender(const Args& args) {
    bool complete = true;
    const std::string out = FlagValue(args, "--out", "", complete);
    const std::string unit = FlagValue(args, "--speed-unit", "fps", complete);
    std::string speedMode = FlagValue(args, "--speed-mode", "", complete);
    const std::string realism = FlagValue(args, "--realism", "none", complete);
    NumberFlags numbers(args);
    if (!complete || out.empty()) numbers.Fail("--out needs a file name");

    sim::ShotSetup s;
    if (!sim::ParseRealism(realism, s.realism)) {
        numbers.Fail(
            "--realism must be none, full or a comma-separated list of dimples, prints, "
            "blur, light, background, sensor");
    }
    const double width = numbers.Get("--width", 1024);
    const double speed = numbers.Get("--speed", 0, true);
    s.launchAngle = numbers.Get("--launch", 0, true);
    s.sideAngle = numbers.Get("--side", 0, true);
    s.backSpin = numbers.Get("--back", 0, true);
    s.sideSpin = numbers.Get("--side-spin", 0, true);
    s.rifleSpin = numbers.Get("--rifle", 0);
    const double distance = numbers.Get("--distance", sim::SimulatedDistance(int(width)));
    const double offsetX = numbers.Get("--offset-x", 0);
    const double offsetY = numbers.Get("--offset-y", 0);
    const double seed = numbers.Get("--seed", 1);
    s.noise = numbers.Get("--noise", s.noise);
    const double interval = numbers.Get("--interval", 0);
    s.lineWidth = numbers.Get("--line-width", s.lineWidth);
    s.ballDiameter = numbers.Get("--ball-diameter", s.ballDiameter);
    const double serial = numbers.Get("--serial", 0);

    const double factor = SpeedFactor(unit);
    if (numbers.Ok()) {
        if (width != 1024 && width != 640) numbers.Fail("--width must be 1024 or 640");
        if (factor == 0.0) numbers.Fail("unknown speed unit " + unit);
        if (!(speed > 0.0)) numbers.Fail("--speed must be above 0");
        if (std::fabs(s.launchAngle) >= 90.0 || std::fabs(s.sideAngle) >= 90.0) {
            numbers.Fail("--launch and --side must lie within -90 to 90 degrees");
        }
        if (HasFlag(args, "--interval") && !(interval > 0.0 && interval <= kMaxInterval)) {
            numbers.Fail("--interval must lie above 0 and at most 0.07 s");
        }
        if (const capture::SpeedMode* mode = capture::SpeedModeOfName(speedMode)) {
            speedMode = mode->name;  // as the settings spell it
        } else if (HasFlag(args, "--speed-mode")) {
            numbers.Fail("--speed-mode must be Fast, Medium, Slow, SuperSlow or Putt");
        }
        if (HasFlag(args, "--speed-mode") && HasFlag(args, "--interval")) {
            numbers.Fail("give --interval or --speed-mode, not both");
        }
        if (!(s.ballDiameter > 0.0) || !(distance > 2.0 * s.ballDiameter)) {
            numbers.Fail("--distance must exceed two ball diameters");
        }
        if (seed < 0 || seed != std::floor(seed) || seed > 9007199254740992.0) {
            numbers.Fail("--seed must be a whole number of 0 or more");
        }
        if (serial != std::floor(serial) || std::fabs(serial) > 2147483647.0) {
            numbers.Fail("--serial must be a whole number");
        }
        if (s.noise < 0.0 || s.lineWidth < 0.0) {
            numbers.Fail("--noise and --line-width must not be negative");
        }
    }
    if (!numbers.Ok()) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }

    s.width = int(width);
    s.height = s.width == 1024 ? 768 : 480;
    s.ballSpeed = speed * factor;
    s.lineNormal = sim::NormalAcrossSpin(s.backSpin, s.sideSpin, s.rifleSpin);
    s.t1 = 0.001;
    // A speed mode strobes as the cameras do; without one the flashes are about 5 in apart.
    double flashes = sim::StrobeIntervalOf(speedMode);
    if (interval > 0.0) flashes = interval;
    if (!(flashes > 0.0)) flashes = sim::StrobeIntervalFor(s.ballSpeed);
    s.t2 = s.t1 + flashes;
    // The middle of the flight straight ahead of the lens, moved across the view.
    s.ball0 = sim::CentredStart(s, distance).Plus(offsetX, offsetY, 0.0);
    s.seed = static_cast<std::uint64_t>(seed);
    s.serialNumber = static_cast<std::int32_t>(serial);
    s.pinhole = HasFlag(args, "--pinhole");

    auto frame = std::make_unique<frame::CapturedImage>();
    sim::FrameRenderer renderer;
    if (!renderer.Render(s, *frame)) {
        std::fprintf(stderr, "kyvern-cli render: these launch conditions cannot be rendered\n");
        return 1;
    }
    const sim::ShotTruth& truth = renderer.Truth();

    base::StderrPrompts prompts;
    capture::ImageFile file{base::Settings()};
    file.SetImage(0, *frame);
    if (!base::Show(file.Save(out), prompts)) return 1;

    if (HasFlag(args, "--json")) {
        PrintJsonDocument(out, speedMode, s, truth);
    } else {
        PrintText(out, speedMode, s, truth);
    }
    if (!InView(truth.pix0, s) || !InView(truth.pix1, s)) {
        std::fprintf(stderr, "kyvern-cli render: a ball reaches beyond the frame\n");
    }
    return 0;
}

const Registration kRender({"render",
                            "render --out FILE.bmp --speed V --launch L --side S --back B "
                            "--side-spin P ...   a synthetic strobed frame",
                            RunRender});

}  // namespace
}  // namespace kyvern::cli
