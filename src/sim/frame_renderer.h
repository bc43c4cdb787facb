#pragma once

#include <cstdint>
#include <string_view>

#include "frame/captured_image.h"
#include "frame/xyz.h"
#include "sim/scene_realism.h"

namespace kyvern::sim {

using frame::Xyz;

// How the strobe lights the scene. Levels are 8-bit gray values of the finished frame.
struct Lighting {
    Xyz lightPosition{0.0, 3.0, 0.0};  // inches, camera frame: a strobe just above the lens
    double ballLevel = 230.0;          // a ball surface facing the light at ball 0's distance
    double ambient = 0.25;             // share of ballLevel that every lit point receives
    double backgroundLevel = 16.0;     // the dark scene behind the ball, both flashes together
    double lineReflectance = 0.2;      // the printed line's brightness relative to the ball's
};

// Everything that decides one synthetic strobed frame. Positions and directions are in the
// camera frame: x right, y up, z towards the camera, inches.
struct ShotSetup {
    int width = 1024;  // 1024 x 768 or 640 x 480
    int height = 768;
    double ballDiameter = 1.685;  // inches
    Xyz ball0{-2.5, 0.0, -24.0};  // ball centre at the first flash
    double ballSpeed = 150.0;     // ft/s
    // The flight runs along +x: launch = atan2(dy, dx), side = atan2(dz, dx), degrees.
    double launchAngle = 12.0;
    double sideAngle = 0.0;
    // rpm about z (back), y (side) and x (rifle); positive turns right-handed about the axis.
    double backSpin = 3000.0;
    double sideSpin = 0.0;
    double rifleSpin = 0.0;
    Xyz lineNormal{-1.0, 0.0, 0.0};  // the printed great circle's normal at the first flash
    double lineWidth = 0.1;          // inches
    double t1 = 0.001;               // flash instants, seconds
    double t2 = 0.002;
    Lighting lighting;
    double noise = 2.0;  // standard deviation of the sensor noise, gray levels
    std::uint64_t seed = 1;
    int supersampling = 4;  // samples per pixel side along the rims and the line
    // An ideal pinhole instead of the cameras' lens, whose image of each ball is smaller by
    // 1 + kRadialShrink x its distance from the frame centre in pixels, about its own centre.
    bool pinhole = false;
    // The effects of real cameras to draw; none gives the clean frame.
    Realism realism;
    // Capture facts stamped on the frame.
    std::int32_t serialNumber = 0;
    std::int32_t cameraIndex = 0;
    Xyz cameraPosition;
    Xyz cameraRotation;  // radians
};

// What a frame shows, worked out from its setup.
struct ShotTruth {
    Xyz ball0;  // centres at the two flashes, inches
    Xyz ball1;
    Xyz normal0;  // unit great-circle normals at the two flashes
    Xyz normal1;
    // Image of each centre (x, y) and the ball's diameter as the lens draws it, pixels: what
    // the analysis should measure, so that its radial correction and locating the ball give
    // the centres above back.
    Xyz pix0;
    Xyz pix1;
    double interval = 0.0;  // t2 - t1, seconds
    double spinRate = 0.0;  // rpm
    double turn = 0.0;      // degrees the ball turns between the flashes
    // The ball turns kAliasedTurn or more between the flashes: the analysis's continuity rule
    // reads such a turn as one the other way, so its spin cannot be measured.
    bool aliased = false;

    // What the realism effects drew. Every effect's draws are made, on or not.
    RealismDraws drawn;
    // The prints' centres in the ball's own frame (the camera frame at t1), unit.
    Xyz logoCentre;
    Xyz numberCentre;
    double flashTravel = 0.0;  // pixels ball 0's image moves during its flash, 0 without blur
    bool clubDrawn = false;
    Xyz clubPix;                 // the club head's image: centre (x, y) and widest extent, pixels
    double clubClearance = 0.0;  // pixels from ball 0's image centre kept clear of the club
    int groundRow = -1;          // the first row of the mat's edge or the tee, -1 for neither
};

// Renders synthetic strobed frames by casting a ray through every pixel of the camera and
// shading the two exposures of the ball.
class FrameRenderer {
public:
    // The truth of a setup without rendering; false when the setup cannot be rendered
    // (another frame size, a ball not wholly in front of the camera, no positive flash
    // interval, a zero line normal, a value that is not finite).
    static bool Solve(const ShotSetup& setup, ShotTruth& truth);

    // Renders the frame into frame (pixels and capture facts, not analysed); false, with
    // frame untouched, when Solve refuses the setup.
    bool Render(const ShotSetup& setup, frame::CapturedImage& frame);

    // The truth of the last successful Render.
    const ShotTruth& Truth() const { return truth_; }

private:
    ShotTruth truth_;
};

inline constexpr double kAliasedTurn = 135.0;  // degrees

// A flash interval that lets a ball of this speed travel about 5 in between the flashes, in
// whole microseconds, at most 0.004 s (the strobe's limit).
double StrobeIntervalFor(double ballSpeed);

// The flash interval of a speed mode of the cameras ("Fast", "Medium", "Slow", "SuperSlow",
// case ignored), as the simulated cameras strobe; 0 for any other name.
double StrobeIntervalOf(std::string_view speedMode);

// The first ball's centre that puts the middle of the flight between the two flashes straight
// ahead of the lens at this distance, so that both balls are in view.
Xyz CentredStart(const ShotSetup& setup, double distance);

// A line normal perpendicular to the spin axis, as near to (-1, 0, 0) as that allows, so that
// the whole spin shows as a turn of the line.
Xyz NormalAcrossSpin(double backSpin, double sideSpin, double rifleSpin);

}  // namespace kyvern::sim
