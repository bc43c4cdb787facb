#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "frame/xyz.h"

namespace kyvern::sim {

// Which of the effects that real cameras show a synthetic frame draws. With all of them off
// the frame shows two smooth spheres on a flat dark scene with one printed line.
struct Realism {
    bool dimples = false;     // about 330 shallow dimples, turning with the ball
    bool prints = false;      // a maker's logo and a ball number in the line's ink
    bool blur = false;        // each flash lasts long enough to smear travel and spin
    bool light = false;       // falloff towards the corners, unequal flashes, a highlight
    bool background = false;  // a gradient, the mat's edge or a tee, sometimes the club head
    bool sensor = false;      // drawn noise, hot pixels, row offsets

    static Realism None() { return {}; }
    static Realism Full();
    bool Any() const;
    bool operator==(const Realism&) const = default;
};

struct RealismEffect {
    std::string_view name;
    bool Realism::*on;
};

// The effects by name, in the order RealismName writes them.
inline constexpr std::array<RealismEffect, 6> kRealismEffects{{
    {"dimples", &Realism::dimples},
    {"prints", &Realism::prints},
    {"blur", &Realism::blur},
    {"light", &Realism::light},
    {"background", &Realism::background},
    {"sensor", &Realism::sensor},
}};

// "none", "full" or a comma-separated list of effect names, which turns those on (case
// ignored, blanks around a name allowed). False, with out untouched, for anything else.
bool ParseRealism(std::string_view text, Realism& out);

// "none", "full", or the names of the effects that are on in the table's order, comma-separated:
// what ParseRealism reads back as the same switches.
std::string RealismName(const Realism& realism);

// Where a print goes on the ball: across the outline as ball 0 is seen, beside the line on
// the side facing the lens, or anywhere.
enum class PrintPlacement { kOutline, kNearLine, kAnywhere };

// The raw draws of one print; the renderer turns them into a place on the ball.
struct PrintDraw {
    PrintPlacement placement = PrintPlacement::kAnywhere;
    double around = 0.0;  // [0, 1): position round the outline or along the line
    double offset = 0.0;  // [-1, 1): signed share of the room off the outline or the line
    double roll = 0.0;    // [0, 1): turns of the print about its centre
    frame::Xyz direction{0.0, 0.0, 1.0};  // uniform on the sphere, for kAnywhere

    bool operator==(const PrintDraw&) const = default;
};

struct HotPixel {
    int column = 0;
    int row = 0;
    double level = 0.0;  // gray levels the pixel reads above the scene

    bool operator==(const HotPixel&) const = default;
};

inline constexpr int kMaxHotPixels = 10;

// Every effect's values for one shot. Each effect's draws are made whether or not it is on,
// in a fixed order, from a stream of their own, so that switching an effect on leaves the
// other effects (and the sensor noise) as they were.
struct RealismDraws {
    // Dimples.
    double dimpleDepth = 0.0;  // gray levels on a ball face lit at ballLevel
    std::array<double, 4> dimpleTurn{1.0, 0.0, 0.0, 0.0};  // unit quaternion: pattern in ball

    // Prints.
    PrintDraw logo;
    PrintDraw number;
    int ballNumber = 1;  // 1 to 99

    // Flash duration.
    double flashDuration = 0.0;  // seconds

    // Light.
    double vignetting = 0.0;       // share darker in the corners than at the centre
    double secondFlashGain = 1.0;  // the second flash's strength over the first's
    double highlightLevel = 0.0;   // gray levels at the peak of the highlight, at ball 0
    int highlightExponent = 1;     // Blinn exponent: larger is a tighter highlight

    // Background.
    double gradientLevels = 0.0;  // rise across the frame
    double gradientAngle = 0.0;   // radians, image x towards image y
    bool mat = true;              // the mat's edge, else a tee
    double groundTop = 1.0;       // share of the frame height where the mat or the tee begins
    double matTilt = 0.0;         // rows per column of the mat's edge
    double matLevel = 0.0;        // gray levels above the scene
    double matTexture = 0.0;      // amplitude of its grain, gray levels
    std::uint64_t matGrain = 0;   // the grain's hash key
    double teeBehind = 0.0;       // ball radii behind ball 0
    double teeLevel = 0.0;
    bool club = false;                   // the club head is in view
    double clubGap = 0.0;                // ball radii between the club head and ball 0
    double clubSize = 1.0;               // its mean radius, ball radii
    double clubStretch = 1.0;            // its length over its height
    double clubAngle = 0.0;              // radians
    std::array<double, 3> clubWobble{};  // shares of the radius of its outline's harmonics
    std::array<double, 3> clubPhase{};   // radians
    double clubLevel = 0.0;
    double clubHighlight = 0.0;   // gray levels
    double clubHighlightX = 0.0;  // the highlight's place, shares of the club head's radius
    double clubHighlightY = 0.0;

    // Sensor.
    double noiseSigma = 0.0;  // gray levels
    double rowSigma = 0.0;    // gray levels of each row's offset
    // Hot pixels belong to the camera: drawn from its serial number and index, not the shot.
    int hotPixelCount = 0;
    std::array<HotPixel, kMaxHotPixels> hotPixels{};

    bool operator==(const RealismDraws&) const = default;
};

// The draws of a shot with this seed, seen by this camera in a frame of this size.
RealismDraws DrawRealism(std::uint64_t seed, std::int32_t serialNumber, std::int32_t cameraIndex,
                         int width, int height);

}  // namespace kyvern::sim
