#include "analysis/shot_confidence.h"

#include <algorithm>
#include <cmath>

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"

namespace kyvern::analysis {
namespace {

// 1 at or beyond good, 0 at or beyond bad, linear between: a measure near its limit lowers the
// confidence gradually rather than at a cliff.
double Between(double value, double bad, double good) {
    if (!std::isfinite(value)) return 0.0;
    const double share = (value - bad) / (good - bad);
    return std::clamp(share, 0.0, 1.0);
}

constexpr const char* kTexts[kDoubts] = {
    "an image is not round",
    "something lit touches a ball",
    "the two flashes lit the ball unequally",
    "the launch is beyond what a struck ball does",
    "the line was found on too few points",
    "the line's points stray from its plane",
    "the ball turned close to half a turn between the flashes",
    "the depth between the images was not measured",
    "too little of both images' outlines was seen",
};

}  // namespace

ConfidenceMeasures MeasureConfidence(const frame::CapturedImage& frame,
                                     const LaunchValues& values) {
    const frame::BallRecord& b0 = frame.result.balls[0];
    const frame::BallRecord& b1 = frame.result.balls[1];
    ConfidenceMeasures m;
    m.edgeFit = std::min(b0.edgeFit, b1.edgeFit);
    m.ringLit = std::max(b0.ringLit, b1.ringLit);
    const double dim = std::min(b0.lum, b1.lum);
    const double bright = std::max(b0.lum, b1.lum);
    // Unequal light moves threshold edges, and so the depth; half-contrast rims it leaves.
    m.flashRatio = b0.rimRefined && b1.rimRefined ? 1.0 : (bright > 0.0 ? dim / bright : 0.0);
    // Rims are fitted to the ellipse an off-axis ball images as, so an arc of one holds its
    // size; a circle through threshold edges takes the arc's own curvature.
    m.outlineSeen = b0.rimRefined && b1.rimRefined ? 1.0 : std::max(b0.outlineSeen, b1.outlineSeen);
    m.linePoints = std::min(b0.markCount, b1.markCount);
    m.onPlane = std::min(b0.onPlane, b1.onPlane);
    const int warnings = std::clamp(frame.result.warningCount, 0, frame::kMaxWarnings);
    for (int i = 0; i < warnings; ++i) {
        const std::int32_t w = frame.result.warningCodes[i];
        m.depthGuessed = m.depthGuessed || w == kLowContrast || w == kUnevenIllumination;
    }
    const double interval = frame.t2 - frame.t1;
    m.turn = std::fabs(values.totalSpin) / 60.0 * 360.0 * (interval > 0.0 ? interval : 0.0);
    return m;
}

ShotConfidence AssessShot(const ConfidenceMeasures& m, const LaunchValues& values) {
    ShotConfidence c;
    c.checked = true;
    const auto check = [&c](double factor, Doubt doubt, double& confidence) {
        if (factor < 1.0) c.doubts |= std::uint32_t(doubt);
        confidence = std::min(confidence, factor);
    };
    check(Between(m.edgeFit, 0.70, 0.85), Doubt::kNotRound, c.launch);
    check(Between(m.ringLit, 0.50, 0.30), Doubt::kLitBeside, c.launch);
    // Standard fits rims from where this starts to doubt, so that none of its shots is doubted
    // for light its rims would have left.
    check(Between(m.flashRatio, 0.70, ImageAnalyzer::kUnequalShare), Doubt::kUnevenFlashes,
          c.launch);
    const bool plausible =
        values.putt ? values.ballSpeedMph >= kMinPuttSpeed && values.ballSpeedMph <= kMaxPuttSpeed
                    : values.ballSpeedMph >= 5.0 && values.ballSpeedMph <= 250.0 &&
                          values.launchAngle >= -20.0 && values.launchAngle <= 80.0 &&
                          std::fabs(values.sideAngle) <= 45.0;
    check(plausible ? 1.0 : 0.0, Doubt::kImplausibleLaunch, c.launch);
    // Both images then sit at one depth whatever the ball did: a side angle of about 0 that
    // was never measured.
    check(m.depthGuessed ? 0.0 : 1.0, Doubt::kDepthGuessed, c.launch);
    // The depth is the ratio of the two sizes. One image seen whole holds it; two circles
    // through edges on arcs that the mat, the frame's edge or a neighbour cut short do not:
    // each takes its arc's curvature and shading as its size. A putt's images both
    // lie on the green, cut alike at one height, and hold their ratio.
    if (!values.putt) check(Between(m.outlineSeen, 0.50, 0.65), Doubt::kOutlinesHidden, c.launch);

    // A putt's spin is not measured at all (see LaunchValues::putt): nothing to doubt.
    if (values.putt) return c;
    check(Between(m.linePoints, 15.0, 60.0), Doubt::kFewLinePoints, c.spin);
    check(Between(m.onPlane, 0.45, 0.65), Doubt::kLineOffPlane, c.spin);
    check(Between(-m.turn, -135.0, -127.0), Doubt::kNearAliasing, c.spin);
    // A spin read from images that are not sure to be balls is no surer than they are.
    c.spin = std::min(c.spin, c.launch);
    return c;
}

ShotConfidence AssessFrames(const FrameSet& frames, const LaunchValues& values) {
    ShotConfidence shot;
    for (const frame::CapturedImage* frame : frames) {
        if (frame == nullptr || !frame->valid || !frame->analyzed) continue;
        const ShotConfidence one = AssessShot(*frame, values);
        shot.launch = shot.checked ? std::min(shot.launch, one.launch) : one.launch;
        shot.spin = shot.checked ? std::min(shot.spin, one.spin) : one.spin;
        shot.doubts |= one.doubts;
        shot.checked = true;
    }
    return shot;
}

ShotConfidence AssessScene(const LaunchScene& scene) {
    FrameSet frames{};
    for (int i = 0; i < frame::kCameraSlots; ++i)
        frames[i] = &scene.Slot(i);
    return AssessFrames(frames, scene.Values());
}

const char* DoubtText(Doubt doubt) {
    const auto bits = std::uint32_t(doubt);
    for (int i = 0; i < kDoubts; ++i) {
        if (bits == 1u << i) return kTexts[i];
    }
    return "";
}

bool IsSpinDoubt(Doubt doubt) {
    return doubt == Doubt::kFewLinePoints || doubt == Doubt::kLineOffPlane ||
           doubt == Doubt::kNearAliasing;
}

std::string DoubtsText(std::uint32_t doubts, bool spinOnly) {
    std::string text;
    for (int i = 0; i < kDoubts; ++i) {
        const auto doubt = Doubt(1u << i);
        if ((doubts & (1u << i)) == 0 || (spinOnly && !IsSpinDoubt(doubt))) continue;
        if (!text.empty()) text += "; ";
        text += kTexts[i];
    }
    return text;
}

}  // namespace kyvern::analysis
