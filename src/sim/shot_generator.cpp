#include "sim/shot_generator.h"

#include <cmath>

#include "base/math_constants.h"

namespace kyvern::sim {
namespace {

using frame::Xyz;

constexpr double kFeetPerSecondPerMph = 5280.0 / 3600.0;
constexpr double kFlash1 = 0.001;    // seconds, as the shot cycle stamps camera frames
constexpr double kEdgeMargin = 4.0;  // pixels between a ball and the frame's edge
constexpr double kGapMargin = 8.0;   // pixels between the two ball images
constexpr double kSpread = 2.5;      // draws are kept within this many deviations
constexpr int kTries = 20;
constexpr double kGolfBall = 1.685;  // inches, as the renderer draws it

// Typical launch conditions of a good amateur, club by club. The putter's spin is drawn
// from its speed.
constexpr std::array<ClubProfile, 8> kClubs{{
    {"Driver", 165.0, 7.0, 11.5, 2.0, 2700.0, 450.0, 2.5, 600.0},
    {"3 Wood", 152.0, 6.0, 10.5, 2.0, 3600.0, 500.0, 2.5, 550.0},
    {"5 Iron", 132.0, 6.0, 12.0, 2.0, 5000.0, 600.0, 2.0, 500.0},
    {"7 Iron", 120.0, 5.0, 16.3, 2.0, 7000.0, 700.0, 2.0, 500.0},
    {"9 Iron", 109.0, 5.0, 20.4, 2.0, 8600.0, 800.0, 2.0, 450.0},
    {"Pitching Wedge", 100.0, 5.0, 24.0, 2.5, 9300.0, 900.0, 2.0, 450.0},
    {"Sand Wedge", 82.0, 6.0, 29.0, 3.0, 10000.0, 1000.0, 2.0, 400.0},
    {"Putter", 4.5, 1.8, 0.5, 0.5, 0.0, 0.0, 1.2, 0.0},
}};

// The forward roll of a ball rolling without slip at this speed (ft/s), rpm, as back spin.
double RollingSpin(double ballSpeed, double diameterInches) {
    return -ballSpeed * 12.0 / (diameterInches / 2.0) * 60.0 / (2.0 * base::kExactPi);
}

// v turned by angle radians about the x axis.
Xyz TurnAboutX(const Xyz& v, double angle) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return {v.x, v.y * c - v.z * s, v.y * s + v.z * c};
}

Xyz Heading(double launch, double side) {
    const Xyz d(1.0, std::tan(launch * base::kExactDegreesToRadians),
                std::tan(side * base::kExactDegreesToRadians));
    return d.Divided(d.Length());
}

bool InFrame(const Xyz& pix, int width, int height) {
    const double r = pix.z / 2.0 + kEdgeMargin;
    return pix.x - r >= 0.0 && pix.x + r <= width && pix.y - r >= 0.0 && pix.y + r <= height;
}

}  // namespace

ShotGenerator::ShotGenerator(std::uint64_t seed) : state_(seed) {}

const std::array<ClubProfile, 8>& ShotGenerator::Clubs() { return kClubs; }

double ShotGenerator::Uniform() {
    // splitmix64: the same sequence on every platform for a seed.
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return double(z >> 11) / 9007199254740992.0;
}

double ShotGenerator::Gaussian() {
    double u1 = 0.0;
    do {
        u1 = Uniform();
    } while (u1 <= 0.0);
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * base::kExactPi * Uniform());
}

double ShotGenerator::Draw(double mean, double sd) {
    double g = Gaussian();
    if (g > kSpread) g = kSpread;
    if (g < -kSpread) g = -kSpread;
    return mean + sd * g;
}

GeneratedShot ShotGenerator::MeanShot(int club) {
    const ClubProfile& c = kClubs[club];
    GeneratedShot shot;
    shot.club = club;
    shot.ballSpeed = c.ballSpeedMph * kFeetPerSecondPerMph;
    shot.launchAngle = c.launchAngle;
    shot.backSpin = club == kPutter ? RollingSpin(shot.ballSpeed, kGolfBall) : c.backSpin;
    return shot;
}

double SimulatedDistance(int width) { return width == 640 ? 15.0 : 16.5; }

Xyz ShotGenerator::ViewPosition(double turn, int width) {
    const double distance = SimulatedDistance(width);
    const Xyz middle(0.0, 0.0, -distance);
    return middle.Plus(TurnAboutX(Xyz(0.0, 0.0, distance), -turn));
}

ShotSetup ShotGenerator::SetupFor(const GeneratedShot& shot, double interval, int width,
                                  const ViewPose& pose) {
    ShotSetup s;
    s.width = width;
    s.height = width == 1024 ? 768 : 480;
    s.ballSpeed = shot.ballSpeed;
    s.launchAngle = shot.launchAngle;
    s.sideAngle = shot.sideAngle;
    s.t1 = kFlash1;
    s.t2 = kFlash1 + interval;
    // The flight in the tee frame, centred in front of the straight camera.
    const Xyz start = CentredStart(s, SimulatedDistance(width));
    const Xyz spin(0.0, shot.sideSpin, shot.backSpin);
    const Xyz normal = NormalAcrossSpin(shot.backSpin, shot.sideSpin, 0.0);
    // Into the camera's frame: undo its position, then its turn. A camera turned by φ sees the
    // tee frame turned by φ, the sense in which the scene solution turns spins back.
    const Xyz heading = TurnAboutX(Heading(shot.launchAngle, shot.sideAngle), pose.turn);
    const Xyz spinHere = TurnAboutX(spin, pose.turn);
    s.ball0 = TurnAboutX(start.Minus(pose.position), pose.turn);
    s.launchAngle = std::atan2(heading.y, heading.x) / base::kExactDegreesToRadians;
    s.sideAngle = std::atan2(heading.z, heading.x) / base::kExactDegreesToRadians;
    s.rifleSpin = spinHere.x;
    s.sideSpin = spinHere.y;
    s.backSpin = spinHere.z;
    s.lineNormal = TurnAboutX(normal, pose.turn);
    return s;
}

bool ShotGenerator::Fits(const GeneratedShot& shot, double interval, int width) {
    const ShotSetup s = SetupFor(shot, interval, width, ViewPose{});
    ShotTruth truth;
    if (!FrameRenderer::Solve(s, truth)) return false;
    if (!InFrame(truth.pix0, s.width, s.height) || !InFrame(truth.pix1, s.width, s.height)) {
        return false;
    }
    const double dx = truth.pix1.x - truth.pix0.x;
    const double dy = truth.pix1.y - truth.pix0.y;
    const double apart = std::sqrt(dx * dx + dy * dy);
    return apart >= (truth.pix0.z + truth.pix1.z) / 2.0 + kGapMargin;
}

GeneratedShot ShotGenerator::Next(double interval, int width) {
    int fitting[kClubs.size()];
    int count = 0;
    for (int c = 0; c < int(kClubs.size()); ++c) {
        if (Fits(MeanShot(c), interval, width)) fitting[count++] = c;
    }
    // No club fits an interval this far from the strobe's modes: the 7 iron is drawn anyway.
    int club = 3;
    if (count > 0) {
        const int pick = int(Uniform() * count);
        club = fitting[pick < count ? pick : count - 1];
    }
    const ClubProfile& p = kClubs[club];
    for (int attempt = 0; attempt < kTries; ++attempt) {
        GeneratedShot shot;
        shot.club = club;
        shot.ballSpeed = Draw(p.ballSpeedMph, p.ballSpeedSd) * kFeetPerSecondPerMph;
        shot.launchAngle = Draw(p.launchAngle, p.launchSd);
        shot.sideAngle = Draw(0.0, p.sideAngleSd);
        shot.backSpin = Draw(p.backSpin, p.backSpinSd);
        shot.sideSpin = Draw(0.0, p.sideSpinSd);
        // Off the putter the ball skids, then rolls: between a third and all of its roll.
        if (club == kPutter) {
            shot.backSpin = RollingSpin(shot.ballSpeed, kGolfBall) * (0.33 + 0.67 * Uniform());
        }
        if (Fits(shot, interval, width)) return shot;
    }
    return MeanShot(club);
}

}  // namespace kyvern::sim
