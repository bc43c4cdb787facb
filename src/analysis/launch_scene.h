#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "base/settings_snapshot.h"
#include "frame/captured_image.h"

namespace kyvern::analysis {

inline constexpr double kGolfBallDiameter = 1.685;  // inches

// The longest strobe interval of a full-swing frame, seconds (the swing modes' longest is
// 2.95 ms; a saved frame may carry up to 4). A frame strobed longer apart was strobed for a
// putt: at a swing's speed its second image would have left the view.
inline constexpr double kLongestSwingInterval = 0.004;
// A putt's measured speed, mph: the putting strobe keeps a faster ball's images in view at
// most to 24 mph, and a ball slower than the lower bound is not yet struck.
inline constexpr double kMinPuttSpeed = 0.5;
inline constexpr double kMaxPuttSpeed = 25.0;
// A putt's launch, degrees: a skid may send it slightly down or up, more is a chip.
inline constexpr double kMinPuttLaunch = -6.0;
inline constexpr double kMaxPuttLaunch = 8.0;
bool IsPuttFrame(const frame::CapturedImage& frame);

// The frames of one shot held by the caller, one per slot; nullptr is an empty slot. Lets the
// shot be solved without copying 2.3 MB frames into the scene.
using FrameSet = std::array<const frame::CapturedImage*, frame::kCameraSlots>;

// What a solved shot yields. Speeds in ft/s (and mph), angles in degrees, spins in rpm.
struct LaunchValues {
    double ballSpeed = 0.0;
    double ballSpeedMph = 0.0;
    double launchAngle = 0.0;  // up positive
    double sideAngle = 0.0;
    double totalSpin = 0.0;  // signed as the back spin
    double backSpin = 0.0;
    double sideSpin = 0.0;
    double rifleSpin = 0.0;  // about the camera's x axis
    // Solved from putting-strobe frames: speed, launch and start line. A rolling ball turns
    // several times its aliasing limit between those flashes, so no spin is measured (all 0).
    bool putt = false;
};

// What a pass's settings ask of the solution: Setup/Handed mirrors side angle and side spin.
struct SceneOptions {
    bool leftHanded = false;
};
SceneOptions ReadSceneOptions(const base::SettingsSnapshot& snapshot);

// The analysed frames of one shot (one or two cameras) and the launch conditions solved from
// them. The four frame slots are allocated once with the scene.
class LaunchScene {
public:
    LaunchScene(double ballDiameterInches, const SceneOptions& options);
    // The options of the next solves.
    void SetOptions(const SceneOptions& options) { options_ = options; }
    LaunchScene(const LaunchScene&) = delete;
    LaunchScene& operator=(const LaunchScene&) = delete;

    double BallDiameter() const { return ballDiameter_; }
    void SetBallDiameter(double inches) { ballDiameter_ = inches; }

    // Copies a frame into a slot (0 to 3) and fills its display normals.
    void SetSlot(int slot, const frame::CapturedImage& frame);
    // Empties the four slots: not valid, not analysed.
    void ClearSlots();
    frame::CapturedImage& Slot(int slot);
    const frame::CapturedImage& Slot(int slot) const;

    // Launch conditions from the scene's own slots; true when computed without error.
    bool SolveLaunch();
    // The same from frames the caller holds; the scene's slots are not touched.
    bool SolveLaunch(const FrameSet& frames);

    bool SolveOneCamera();
    bool SolveOneCamera(const FrameSet& frames);
    bool SolveTwoCameras();
    bool SolveTwoCameras(const FrameSet& frames);

    // Spin from the two view normals of one analysed frame.
    void ComputeSpin(int slot);
    void ComputeSpin(const frame::CapturedImage& frame);

    // Display normals of both balls of a frame: ball 0's becomes (0, 1, 0) and ball 1's
    // shows its turn relative to it.
    void AlignNormals(int slot);
    static void AlignNormals(frame::CapturedImage& frame);

    std::int32_t ErrorCode() const { return errorCode_; }
    int WarningCount() const { return warningCount_; }
    std::int32_t WarningCode(int index) const;

    const LaunchValues& Values() const { return values_; }
    double BallSpeed() const { return values_.ballSpeed; }
    double BallSpeedMph() const { return values_.ballSpeedMph; }
    double LaunchAngle() const { return values_.launchAngle; }
    double SideAngle() const { return values_.sideAngle; }
    double TotalSpin() const { return values_.totalSpin; }
    double BackSpin() const { return values_.backSpin; }
    double SideSpin() const { return values_.sideSpin; }
    double RifleSpin() const { return values_.rifleSpin; }

private:
    FrameSet OwnFrames() const;
    // The putt's values and bounds in place of a full shot's.
    bool CheckPutt();
    void AddWarning(std::int32_t code);

    std::array<std::unique_ptr<frame::CapturedImage>, frame::kCameraSlots> slots_;
    double ballDiameter_;
    SceneOptions options_;
    std::int32_t errorCode_ = 0;
    int warningCount_ = 0;
    std::array<std::int32_t, frame::kMaxWarnings> warningCodes_{};
    LaunchValues values_;
};

}  // namespace kyvern::analysis
