#pragma once

#include <array>
#include <cstdint>

#include "frame/xyz.h"
#include "sim/frame_renderer.h"

namespace kyvern::sim {

// How one club launches the ball: means and standard deviations.
struct ClubProfile {
    const char* name;
    double ballSpeedMph;
    double ballSpeedSd;
    double launchAngle;  // degrees
    double launchSd;
    double backSpin;  // rpm
    double backSpinSd;
    double sideAngleSd;  // degrees, about 0
    double sideSpinSd;   // rpm, about 0
};

// The launch conditions of one generated shot, in the frame of the tee: x along the target
// line, y up, z towards the player's side of the target line (the camera frame of a camera
// without calibration offsets).
struct GeneratedShot {
    int club = 0;              // index into Clubs()
    double ballSpeed = 0.0;    // ft/s
    double launchAngle = 0.0;  // degrees
    double sideAngle = 0.0;
    double backSpin = 0.0;  // rpm
    double sideSpin = 0.0;
};

// The pose of a camera relative to the tee frame: its position in inches and its turn about
// the target line (x), radians, as the first angle of its calibration entry states it (the
// camera sees the tee frame turned by that angle about x).
struct ViewPose {
    frame::Xyz position;
    double turn = 0.0;
};

// Shots seen by the simulated camera.
// Inches from the lens to mid-flight. A 640-wide frame needs the ball near enough to image it
// over 120 pixels wide (so that its depth is trusted); a 1024-wide frame needs it far enough
// to stay under the 200 pixels that the edge search takes.
double SimulatedDistance(int width);

// Draws plausible shots club by club, each fitting a strobed frame of a given interval: full
// shots in the swing modes' intervals, putts in the putting strobe's.
class ShotGenerator {
public:
    static constexpr int kPutter = 7;  // the last of Clubs()
    explicit ShotGenerator(std::uint64_t seed = 1);

    static const std::array<ClubProfile, 8>& Clubs();

    // A shot whose two ball images, strobed interval seconds apart, lie wholly and apart in a
    // frame of this width seen from straight ahead: a club is drawn among those whose mean shot
    // fits, then values from its distributions until one fits (the club's mean shot when none
    // does within a few tries).
    GeneratedShot Next(double interval, int width);

    // The club's mean shot.
    static GeneratedShot MeanShot(int club);
    // Whether the shot fits such a frame.
    static bool Fits(const GeneratedShot& shot, double interval, int width);

    // The renderer's setup of a shot for one camera: frame size, flashes at 0.001 s and
    // 0.001 s + interval, the flight centred SimulatedDistance(width) in front of the straight
    // camera, and everything turned into this camera's frame.
    static ShotSetup SetupFor(const GeneratedShot& shot, double interval, int width,
                              const ViewPose& pose);

    // The position of a camera turned by turn radians about the target line that looks at
    // the middle of the flight from SimulatedDistance(width).
    static frame::Xyz ViewPosition(double turn, int width = 1024);

private:
    double Uniform();
    double Gaussian();
    double Draw(double mean, double sd);

    std::uint64_t state_;
};

}  // namespace kyvern::sim
