#include "sim/scene_realism.h"

#include <cctype>
#include <cmath>

#include "base/math_constants.h"
#include "sim/noise_source.h"

namespace kyvern::sim {

namespace {

// Salts that keep the realism draws and the camera's defects apart from the sensor noise,
// which runs from the bare seed.
constexpr std::uint64_t kDrawSalt = 0x5245414C49534D31ull;
constexpr std::uint64_t kCameraSalt = 0x484F545049584C53ull;

constexpr std::string_view kNone = "none";
constexpr std::string_view kFull = "full";

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

frame::Xyz UniformDirection(NoiseSource& draw) {
    const double z = draw.Uniform(-1.0, 1.0);
    const double phi = draw.Uniform(0.0, 2.0 * base::kExactPi);
    const double r = std::sqrt(std::max(0.0, 1.0 - z * z));
    return {r * std::cos(phi), r * std::sin(phi), z};
}

PrintDraw DrawPrint(NoiseSource& draw) {
    PrintDraw p;
    const double kind = draw.Uniform();
    p.placement = kind < 0.35  ? PrintPlacement::kOutline
                  : kind < 0.7 ? PrintPlacement::kNearLine
                               : PrintPlacement::kAnywhere;
    p.around = draw.Uniform();
    p.offset = draw.Uniform(-1.0, 1.0);
    p.roll = draw.Uniform();
    p.direction = UniformDirection(draw);
    return p;
}

}  // namespace

Realism Realism::Full() {
    Realism r;
    for (const RealismEffect& e : kRealismEffects)
        r.*e.on = true;
    return r;
}

bool Realism::Any() const {
    for (const RealismEffect& e : kRealismEffects) {
        if (this->*e.on) return true;
    }
    return false;
}

bool ParseRealism(std::string_view text, Realism& out) {
    const std::string_view whole = Trimmed(text);
    if (SameIgnoringCase(whole, kNone)) {
        out = Realism::None();
        return true;
    }
    if (SameIgnoringCase(whole, kFull)) {
        out = Realism::Full();
        return true;
    }
    Realism r;
    std::string_view rest = text;
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = Trimmed(rest.substr(0, comma));
        const RealismEffect* found = nullptr;
        for (const RealismEffect& e : kRealismEffects) {
            if (SameIgnoringCase(item, e.name)) found = &e;
        }
        if (found == nullptr) return false;  // also an empty item
        r.*found->on = true;
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    out = r;
    return true;
}

std::string RealismName(const Realism& realism) {
    if (realism == Realism::None()) return std::string(kNone);
    if (realism == Realism::Full()) return std::string(kFull);
    std::string name;
    for (const RealismEffect& e : kRealismEffects) {
        if (!(realism.*e.on)) continue;
        if (!name.empty()) name += ',';
        name += e.name;
    }
    return name;
}

RealismDraws DrawRealism(std::uint64_t seed, std::int32_t serialNumber, std::int32_t cameraIndex,
                         int width, int height) {
    RealismDraws d;
    NoiseSource draw(Scramble(seed ^ kDrawSalt));

    // Dimples: a depth and a uniformly random turn of the pattern (Shoemake's quaternion).
    d.dimpleDepth = draw.Uniform(3.0, 8.0);
    {
        const double u1 = draw.Uniform();
        const double a = 2.0 * base::kExactPi * draw.Uniform();
        const double b = 2.0 * base::kExactPi * draw.Uniform();
        const double s1 = std::sqrt(1.0 - u1);
        const double s2 = std::sqrt(u1);
        d.dimpleTurn = {s2 * std::cos(b), s1 * std::sin(a), s1 * std::cos(a), s2 * std::sin(b)};
    }

    // Prints.
    d.logo = DrawPrint(draw);
    d.number = DrawPrint(draw);
    const bool twoDigits = draw.Uniform() < 0.5;
    const double digits = draw.Uniform();
    d.ballNumber = twoDigits ? 10 + int(digits * 90.0) : 1 + int(digits * 9.0);

    // Flash duration.
    d.flashDuration = draw.Uniform(5e-6, 40e-6);

    // Light.
    d.vignetting = draw.Uniform(0.05, 0.4);
    d.secondFlashGain = draw.Uniform(0.8, 1.2);
    d.highlightLevel = draw.Uniform(20.0, 60.0);
    d.highlightExponent = 12 + draw.Index(37);

    // Background.
    d.gradientLevels = draw.Uniform(5.0, 40.0);
    d.gradientAngle = draw.Uniform(0.0, 2.0 * base::kExactPi);
    d.mat = draw.Uniform() < 0.5;
    d.groundTop = draw.Uniform(0.8, 0.93);
    d.matTilt = draw.Uniform(-0.04, 0.04);
    d.matLevel = draw.Uniform(30.0, 70.0);
    d.matTexture = draw.Uniform(4.0, 10.0);
    d.matGrain = draw.Bits();
    d.teeBehind = draw.Uniform(0.6, 2.0);
    d.teeLevel = draw.Uniform(90.0, 170.0);
    d.club = draw.Uniform() < 0.3;
    d.clubGap = draw.Uniform(0.0, 0.3);
    d.clubSize = draw.Uniform(0.9, 1.25);
    d.clubStretch = draw.Uniform(1.1, 1.5);
    d.clubAngle = draw.Uniform(-0.35, 0.35);
    for (int k = 0; k < 3; ++k) {
        d.clubWobble[k] = draw.Uniform(0.02, 0.09);
        d.clubPhase[k] = draw.Uniform(0.0, 2.0 * base::kExactPi);
    }
    d.clubLevel = draw.Uniform(130.0, 200.0);
    d.clubHighlight = draw.Uniform(50.0, 100.0);
    d.clubHighlightX = draw.Uniform(-0.5, 0.5);
    d.clubHighlightY = draw.Uniform(0.1, 0.55);

    // Sensor.
    d.noiseSigma = draw.Uniform(0.8, 4.0);
    d.rowSigma = draw.Uniform(0.5, 1.5);
    NoiseSource camera(
        Scramble((std::uint64_t(std::uint32_t(serialNumber)) << 8 ^ std::uint64_t(cameraIndex)) ^
                 kCameraSalt));
    d.hotPixelCount = 3 + camera.Index(kMaxHotPixels - 2);
    for (int i = 0; i < kMaxHotPixels; ++i) {
        HotPixel& h = d.hotPixels[i];
        h.column = camera.Index(width);
        h.row = camera.Index(height);
        h.level = camera.Uniform(60.0, 200.0);
    }
    return d;
}

}  // namespace kyvern::sim
