#include "analysis/launch_scene.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "base/math_constants.h"
#include "base/program_folder.h"
#include "frame/camera_model.h"

namespace kyvern::analysis {

namespace {

constexpr double kStraightCameraLimit = 0.17453292519943278;  // 10 degrees, in radians
constexpr double kMaxGolfDiameter = 2.0;                      // inches
constexpr double kMinGolfSpeed = 30.0;                        // ft/s
constexpr double kMaxGolfSpeed = 350.0;
constexpr double kMinGolfLaunch = 0.0;  // degrees
constexpr double kMaxGolfLaunch = 80.0;
constexpr double kMaxSide = 12.0;
constexpr double kMinSideMagnitude = 0.01;
constexpr double kMinNormalLength = 0.1;

constexpr std::int32_t kErrorInvalidBallSpeed = 7;
constexpr std::int32_t kErrorInvalidLaunchAngle = 8;
constexpr std::int32_t kErrorInvalidSideAngle = 9;
constexpr std::int32_t kWarningMarks = 12;

// A frame the solvers may use: captured and successfully analysed.
bool Usable(const frame::CapturedImage* frame) { return frame && frame->valid && frame->analyzed; }

bool FacesFlightLine(const frame::CapturedImage* frame) {
    return frame->cameraRotation.x < kStraightCameraLimit;
}

// The last usable frame of a camera facing the flight line, or -1.
int LastStraightSlot(const FrameSet& frames) {
    int found = -1;
    for (int i = 0; i < frame::kCameraSlots; ++i) {
        if (Usable(frames[i]) && FacesFlightLine(frames[i])) found = i;
    }
    return found;
}

int NextUsableSlot(const FrameSet& frames, int from) {
    for (int i = from; i < frame::kCameraSlots; ++i) {
        if (Usable(frames[i])) return i;
    }
    return -1;
}

// The interval between the two flashes; only a positive one can give a speed or a spin.
double FlashInterval(const frame::CapturedImage& frame) { return frame.t2 - frame.t1; }
bool UsableInterval(double dt) { return dt > 0.0; }

// Cosine of the angle between two directions, kept inside acos's domain so that rounding
// never turns two equal directions into NaN.
double ClampedCosine(const frame::Xyz& a, const frame::Xyz& b) {
    frame::Xyz an = a;
    frame::Xyz bn = b;
    an.Normalize();
    bn.Normalize();
    return std::clamp(an.Dot(bn), -1.0, 1.0);
}

double AngleDegrees(const frame::Xyz& a, const frame::Xyz& b) {
    return std::acos(ClampedCosine(a, b)) * base::kRadiansToDegrees;
}

// Points a plane normal towards -x, the sign the spin rule works with.
void OrientNormal(frame::Xyz& n) {
    const double p = AngleDegrees(n, frame::Xyz(0, 1, 0));
    const double m = AngleDegrees(n, frame::Xyz(-1, 0, 0));
    if ((p < 90.0 && m > 90.0) || (p > 90.0 && m > 90.0)) n.Negate();
}

void TurnAboutZ(frame::Xyz& v, double angle) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    v.Set(c * v.x - s * v.y, s * v.x + c * v.y, v.z);
    v.Normalize();
}

void TurnAboutX(frame::Xyz& v, double angle) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    v.Set(v.x, c * v.y + s * v.z, -s * v.y + c * v.z);
    v.Normalize();
}

}  // namespace

bool IsPuttFrame(const frame::CapturedImage& frame) {
    return frame.t2 - frame.t1 > kLongestSwingInterval + 1e-6;
}

SceneOptions ReadSceneOptions(const base::SettingsSnapshot& snapshot) {
    return {frame::IsLeftHanded(snapshot)};
}

LaunchScene::LaunchScene(double ballDiameterInches, const SceneOptions& options)
    : ballDiameter_(ballDiameterInches), options_(options) {
    for (auto& slot : slots_)
        slot = std::make_unique<frame::CapturedImage>();
}

frame::CapturedImage& LaunchScene::Slot(int slot) {
    if (slot < 0 || slot >= frame::kCameraSlots) throw std::out_of_range("LaunchScene slot");
    return *slots_[slot];
}

const frame::CapturedImage& LaunchScene::Slot(int slot) const {
    if (slot < 0 || slot >= frame::kCameraSlots) throw std::out_of_range("LaunchScene slot");
    return *slots_[slot];
}

void LaunchScene::SetSlot(int slot, const frame::CapturedImage& frame) {
    Slot(slot).CopyFrom(frame);
    AlignNormals(slot);
}

void LaunchScene::ClearSlots() {
    for (auto& slot : slots_)
        slot->Reset();
}

std::int32_t LaunchScene::WarningCode(int index) const {
    if (index < 0 || index >= warningCount_) throw std::out_of_range("LaunchScene warning");
    return warningCodes_[index];
}

void LaunchScene::AddWarning(std::int32_t code) {
    if (warningCount_ < frame::kMaxWarnings) warningCodes_[warningCount_++] = code;
}

FrameSet LaunchScene::OwnFrames() const {
    FrameSet frames{};
    for (int i = 0; i < frame::kCameraSlots; ++i)
        frames[i] = slots_[i].get();
    return frames;
}

bool LaunchScene::SolveLaunch() { return SolveLaunch(OwnFrames()); }
bool LaunchScene::SolveOneCamera() { return SolveOneCamera(OwnFrames()); }
bool LaunchScene::SolveTwoCameras() { return SolveTwoCameras(OwnFrames()); }
void LaunchScene::ComputeSpin(int slot) { ComputeSpin(Slot(slot)); }
void LaunchScene::AlignNormals(int slot) { AlignNormals(Slot(slot)); }

bool LaunchScene::SolveLaunch(const FrameSet& frames) {
    errorCode_ = 0;
    warningCount_ = 0;
    warningCodes_.fill(0);
    // A failed solve leaves no launch values behind, not even those of an earlier shot.
    values_ = LaunchValues{};

    int usable = 0;
    for (const frame::CapturedImage* frame : frames)
        usable += Usable(frame) ? 1 : 0;
    bool solved = false;
    if (usable == 1) {
        solved = SolveOneCamera(frames);
    } else if (usable == 2) {
        solved = SolveTwoCameras(frames);
    } else {
        return false;
    }
    // A solver that found no frame to use has nothing to check: error 0.
    if (!solved) return false;
    bool putt = false;
    for (const frame::CapturedImage* frame : frames)
        putt = putt || (Usable(frame) && IsPuttFrame(*frame));
    if (putt) return CheckPutt();

    if (options_.leftHanded) {
        values_.sideSpin = -values_.sideSpin;
        values_.sideAngle = -values_.sideAngle;
    }

    if (ballDiameter_ < kMaxGolfDiameter) {
        if (values_.ballSpeed < kMinGolfSpeed || values_.ballSpeed > kMaxGolfSpeed) {
            errorCode_ = kErrorInvalidBallSpeed;
        }
        if (values_.launchAngle < kMinGolfLaunch || values_.launchAngle > kMaxGolfLaunch) {
            errorCode_ = kErrorInvalidLaunchAngle;
        }
    }

    values_.sideAngle = std::clamp(values_.sideAngle, -kMaxSide, kMaxSide);

    if (errorCode_ != 0) return false;
    if (values_.launchAngle < 0.0) AddWarning(kWarningMarks);
    return solved;
}

bool LaunchScene::CheckPutt() {
    values_.putt = true;
    values_.totalSpin = values_.backSpin = values_.sideSpin = values_.rifleSpin = 0.0;
    if (options_.leftHanded) values_.sideAngle = -values_.sideAngle;
    if (values_.ballSpeedMph < kMinPuttSpeed || values_.ballSpeedMph > kMaxPuttSpeed) {
        errorCode_ = kErrorInvalidBallSpeed;
    } else if (values_.launchAngle < kMinPuttLaunch || values_.launchAngle > kMaxPuttLaunch) {
        errorCode_ = kErrorInvalidLaunchAngle;
    } else if (std::fabs(values_.sideAngle) > kMaxSide) {
        // A full shot's side angle is held at the bound; a putt's start line that far out is
        // a misread image, and a putt held at 12 degrees would be a confident wrong number.
        errorCode_ = kErrorInvalidSideAngle;
    }
    return errorCode_ == 0;
}

bool LaunchScene::SolveOneCamera(const FrameSet& frames) {
    const int slot = LastStraightSlot(frames);
    if (slot < 0) return false;
    const frame::CapturedImage& frame = *frames[slot];
    const double dt = FlashInterval(frame);
    if (!UsableInterval(dt)) {
        values_ = LaunchValues{};
        return false;
    }

    values_.launchAngle = 0.0;
    values_.sideAngle = 0.0;
    ComputeSpin(frame);

    const frame::Xyz d = frame.result.balls[1].loc.Minus(frame.result.balls[0].loc);
    values_.launchAngle = std::atan2(d.y, d.x) * base::kRadiansToDegrees;
    values_.sideAngle = std::atan2(d.z, d.x) * base::kRadiansToDegrees;
    // Never exactly straight: a zero side angle reads as "not measured" downstream.
    if (std::fabs(values_.sideAngle) < kMinSideMagnitude) values_.sideAngle = kMinSideMagnitude;

    values_.ballSpeed = d.Length() / 12.0 / dt;
    values_.ballSpeedMph = values_.ballSpeed * 3600.0 / 5280.0;
    return true;
}

bool LaunchScene::SolveTwoCameras(const FrameSet& frames) {
    const int a = LastStraightSlot(frames);
    int p = NextUsableSlot(frames, 0);
    int q = p < 0 ? -1 : NextUsableSlot(frames, p + 1);
    if (a < 0 || p < 0 || q < 0) return false;
    if (a != p) {
        q = p;
        p = a;
    }
    const frame::CapturedImage& straight = *frames[a];
    const double dt = FlashInterval(straight);
    if (!UsableInterval(dt)) {
        values_ = LaunchValues{};
        return false;
    }

    values_.launchAngle = 0.0;
    values_.sideAngle = 0.0;
    ComputeSpin(straight);

    // Each camera sees the flight in the plane through its own axis; two such planes meet
    // along the flight line.
    auto planeNormal = [](const frame::CapturedImage& frame) {
        const frame::Xyz& b0 = frame.result.balls[0].pix;
        const frame::Xyz& b1 = frame.result.balls[1].pix;
        const double alpha = std::atan2(-(b1.y - b0.y), b1.x - b0.x);
        const double phi = frame.cameraRotation.x;
        return frame::Xyz(-std::sin(alpha), std::cos(phi) * std::cos(alpha),
                          std::sin(phi) * std::cos(alpha));
    };
    frame::Xyz d = planeNormal(*frames[p]).Cross(planeNormal(*frames[q]));
    d.Normalize();
    d.z = -d.z;
    values_.launchAngle = std::atan2(d.y, d.x) * base::kRadiansToDegrees;
    values_.sideAngle = std::atan2(d.z, d.x) * base::kRadiansToDegrees;

    const double distance =
        straight.result.balls[1].loc.Minus(straight.result.balls[0].loc).Length();
    values_.ballSpeed = distance / 12.0 / dt;
    values_.ballSpeedMph = values_.ballSpeed * 3600.0 / 5280.0;
    return true;
}

void LaunchScene::ComputeSpin(const frame::CapturedImage& frame) {
    values_.backSpin = 0.0;
    values_.sideSpin = 0.0;
    values_.rifleSpin = 0.0;
    values_.totalSpin = 0.0;
    frame::Xyz n = frame.result.balls[0].viewNormal;
    frame::Xyz m = frame.result.balls[1].viewNormal;
    if (n.Length() < kMinNormalLength || m.Length() < kMinNormalLength) return;
    const double dt = FlashInterval(frame);
    if (!UsableInterval(dt)) return;

    OrientNormal(n);
    const double eN = AngleDegrees(n, frame::Xyz(0, 1, 0));
    OrientNormal(m);
    double eM = AngleDegrees(m, frame::Xyz(0, 1, 0));
    // Keep the second normal on the same side as the first, so that a quarter turn is not
    // read as its complement.
    if (eM - eN < -45.0) {
        eM += 180.0;
        m.Negate();
    }
    if (eM - eN > 135.0) {
        eM -= 180.0;
        m.Negate();
    }

    const double theta = AngleDegrees(n, m);
    const double total = std::fabs(theta) / dt / 6.0;
    frame::Xyz axis = n.Cross(m);
    axis.Normalize();
    const double back = axis.z * total;
    const double side = axis.y * total;
    values_.rifleSpin = axis.x * total;

    const double phi = frame.cameraRotation.x;
    values_.backSpin = std::cos(phi) * back - std::sin(phi) * side;
    values_.sideSpin = std::sin(phi) * back + std::cos(phi) * side;
    values_.totalSpin = values_.backSpin < 0.0 ? -total : total;
}

void LaunchScene::AlignNormals(frame::CapturedImage& frame) {
    frame::BallRecord& ball0 = frame.result.balls[0];
    frame::BallRecord& ball1 = frame.result.balls[1];
    if (ball0.viewNormal.Length() < kMinNormalLength ||
        ball1.viewNormal.Length() < kMinNormalLength) {
        return;
    }
    frame::Xyz d0 = ball0.viewNormal;
    frame::Xyz d1 = ball1.viewNormal;
    if (d0.y < 0.0) {
        d0.Negate();
        d1.Negate();
    }
    const double gamma = std::atan2(d0.x, d0.y);
    TurnAboutZ(d0, gamma);
    TurnAboutZ(d1, gamma);
    const double delta = std::atan2(d0.z, d0.y);
    TurnAboutX(d0, delta);
    TurnAboutX(d1, delta);
    const double angle = std::acos(ClampedCosine(d0, d1)) * 180.0 / base::kPi;
    if (angle > 100.0) d1.Negate();
    ball0.displayNormal = d0;
    ball1.displayNormal = d1;
}

}  // namespace kyvern::analysis
