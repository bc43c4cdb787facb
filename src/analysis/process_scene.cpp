// The frame's scene: image scale, view correction of the normals, 3-D locations and the
// judgement of the depth estimate.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "analysis/analysis_codes.h"
#include "analysis/image_analyzer.h"
#include "base/math_constants.h"
#include "frame/camera_model.h"

namespace kyvern::analysis {

bool ImageAnalyzer::ProcessScene() {
    if (!frameLoaded_ || !ball0_.found || !ball1_.found) return false;
    const int halfW = width_ / 2;
    const int halfH = height_ / 2;

    // The ball nearer the middle column weighs more. Both on it: equal weights.
    const double e0 = std::fabs(halfW - ball0_.centreX);
    const double e1 = std::fabs(halfW - ball1_.centreX);
    double w0 = 0.5;
    double w1 = 0.5;
    if (e0 + e1 > 0.0) {
        w0 = 1 - e0 / (e0 + e1);
        w1 = 1 - e1 / (e0 + e1);
    }
    pixelsPerInch_ = (w0 * ball0_.diameter + w1 * ball1_.diameter) / ballDiameterInches_;

    for (BallImage* b : {&ball0_, &ball1_}) {
        b->viewNormal =
            frame::TurnIntoCameraView(b->planeNormal, b->centreX, b->centreY, width_, height_);
        const double dx = b->centreX - halfW;
        const double dy = b->centreY - halfH;
        const double rho = std::sqrt(dx * dx + dy * dy);
        b->diameter = (rho * frame::kRadialShrink + 1.0) * b->diameter;
        if (precision_ == Precision::kRefined)
            b->diameter *= frame::PerspectiveCorrection(b->centreX, b->centreY, width_, height_);
    }

    for (BallImage* b : {&ball0_, &ball1_}) {
        b->location = frame::Locate(b->centreX, b->centreY, b->diameter, ballDiameterInches_,
                                    width_, height_);
        b->locationValid = true;
    }
    const double z0 = ball0_.location.z;
    double& z1 = ball1_.location.z;

    if (z0 < -18 || z1 < -18) AddWarning(kBallTooFar);
    if (z0 > -12 || z1 > -12) AddWarning(kBallTooClose);

    auto flatten = [&]() { z1 = z0 + 0.001; };
    const int threshold = LowContrastLevel();
    if (ball0_.lum < threshold || ball1_.lum < threshold) {
        flatten();
        AddWarning(kLowContrast);
    } else if (std::abs(ball0_.lum - ball1_.lum) > kUnequalLum &&
               !(ball0_.rimRefined && ball1_.rimRefined)) {
        // Threshold edges shrink with the light; rims at half the contrast do not, so their
        // depths stand.
        flatten();
        AddWarning(kUnevenIllumination);
    } else if (ball0_.diameter > 120.0) {
        // The depths stand as measured.
    } else {
        AddWarning(kBallTooSmall);
        const double step = (205 - ball1_.diameter) / 45 * 0.2;
        // Towards z0, never past it: passing it would put the flight on the other side.
        const double c = std::min(step * step, std::fabs(z1 - z0));
        z1 = z0 < z1 ? z1 - c : z1 + c;
        if (ball0_.edgeQuality > 150 || ball1_.edgeQuality > 150) {
            flatten();
        } else if (ball0_.edgeQuality > 120 || ball1_.edgeQuality > 120) {
            z1 = (z0 + z1) / 2;
        } else {
            AddWarning(kBallEdgeQualityLow);
        }
    }
    return true;
}

}  // namespace kyvern::analysis
