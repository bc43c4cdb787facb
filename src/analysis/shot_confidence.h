// How far a measured shot can be trusted, from checks a fitter would make on the frame: the
// images are round balls on a dark scene, lit alike by both flashes, the printed line was
// found on both images and lies on its plane, the ball turned well short of the aliasing turn,
// and the launch is one a struck ball can have.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/launch_scene.h"
#include "frame/captured_image.h"

namespace kyvern::analysis {

// Each check that found a doubt, as a bit of ShotConfidence::doubts.
enum class Doubt : std::uint32_t {
    kNotRound = 1u << 0,           // an image's edges are not a circle: it may not be a ball
    kLitBeside = 1u << 1,          // something lit touches a ball's outline
    kUnevenFlashes = 1u << 2,      // the images are lit unequally, so their sizes (depth) differ
    kImplausibleLaunch = 1u << 3,  // speed or angles no struck ball has
    kFewLinePoints = 1u << 4,      // the line was found on too few points of an image
    kLineOffPlane = 1u << 5,       // the line's points stray from its plane (a print nearby)
    kNearAliasing = 1u << 6,       // the ball turned close to half a turn between the flashes
    kDepthGuessed = 1u << 7,       // the depth between the images was set, not measured
    kOutlinesHidden = 1u << 8,     // both images' sizes were read on too little of their outlines
};
inline constexpr int kDoubts = 9;

struct ShotConfidence {
    double launch = 1.0;  // 0 to 1: speed, launch and side angle
    double spin = 1.0;    // 0 to 1: the spins
    std::uint32_t doubts = 0;
    bool checked = false;  // false when nothing was assessed (no measured shot)

    bool Has(Doubt doubt) const { return (doubts & std::uint32_t(doubt)) != 0; }
    // The shot's own confidence: its launch's, since a doubtful spin alone is marked, not
    // refused.
    double Value() const { return launch; }
};

struct ConfidenceMeasures {
    double edgeFit = 0.0;       // the lower of the two images'
    double ringLit = 0.0;       // the higher
    double flashRatio = 1.0;    // the dimmer image's lum over the brighter's
    double outlineSeen = 1.0;   // the larger share of an image's outline its size was read on
    int linePoints = 0;         // the fewer of the two images' line points
    double onPlane = 0.0;       // the lower share of an image's line points on its plane
    double turn = 0.0;          // degrees the ball turned between the flashes
    bool depthGuessed = false;  // low contrast or uneven light: the side angle is not measured
};

// The measures of a solved frame; pure, reads only the frame's analysis fields and the values.
ConfidenceMeasures MeasureConfidence(const frame::CapturedImage& frame, const LaunchValues& values);
ShotConfidence AssessShot(const ConfidenceMeasures& measures, const LaunchValues& values);
inline ShotConfidence AssessShot(const frame::CapturedImage& frame, const LaunchValues& values) {
    return AssessShot(MeasureConfidence(frame, values), values);
}

// The shot of every analysed frame: the lowest confidences, every doubt.
ShotConfidence AssessFrames(const FrameSet& frames, const LaunchValues& values);
// The same of the scene's own slots.
ShotConfidence AssessScene(const LaunchScene& scene);

// "an image is not round", ...: the text of one doubt.
const char* DoubtText(Doubt doubt);
// The texts of the doubts, "; "-separated, in the order of the enum.
std::string DoubtsText(std::uint32_t doubts, bool spinOnly = false);
// Whether a doubt is about the spin alone.
bool IsSpinDoubt(Doubt doubt);

}  // namespace kyvern::analysis
