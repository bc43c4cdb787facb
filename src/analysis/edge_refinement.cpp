// The ball edges: radial profiles from the coarse centre, their edges, and the circle fits
// through the edge points (twice, the second without the points far off the first circle).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "analysis/analysis_codes.h"
#include "analysis/circle_fit.h"
#include "analysis/image_analyzer.h"
#include "analysis/step_worker.h"
#include "base/math_constants.h"
#include "frame/simd.h"

namespace kyvern::analysis {

namespace {

constexpr double kRayStep = 4.0 * base::kDegreesToRadians;
constexpr double kFullTurn = 2.0 * base::kPi;

}  // namespace

void ImageAnalyzer::SampleProfiles(BallImage& ball) {
    ball.profileCount = 0;
    const std::int64_t low = width_;
    const std::int64_t high = std::int64_t(height_ - 1) * width_;
    const int cx = int(ball.centreX);
    const int cy = int(ball.centreY);
    for (double a = 0.0; a < kFullTurn; a += kRayStep) {
        if (ball.profileCount >= kMaxProfiles) break;
        RadialProfile& profile = ball.profiles[ball.profileCount++];
        profile.Clear();
        profile.angle = a;
        const double c = std::cos(a);
        const double s = std::sin(a);
        for (double r = 0.35 * ball.diameterEstimate; r < 1.5 * ball.diameterEstimate; r += 1.0) {
            if (profile.sampleCount >= kMaxProfileSamples) break;
            const int x = cx + int(c * r);
            const int y = cy + int(s * r);
            const std::int64_t index = std::int64_t(y) * width_ + x;
            // A ray that leaves the frame at a side ends there: the linear index alone would
            // go on into the next or previous row as if it were still the ball.
            if (index < low || index >= high || x < 0 || x >= width_) continue;
            ProfileSample& sample = profile.samples[profile.sampleCount++];
            sample.value = frame_[index];
            sample.x = x;
            sample.y = y;
            sample.index = std::int32_t(index);
            sample.radius = r;
            sample.bright = sample.value > backgroundLevel_ ? 10 : 0;
        }
    }
}

int ImageAnalyzer::CoarseEdge(const RadialProfile& profile) {
    for (int i = 0; i < profile.sampleCount - 20; ++i) {
        int sum = 0;
        for (int j = i; j < i + 20; ++j)
            sum += profile.samples[j].bright;
        if (sum / 20 < 2) return i;
    }
    return 0;
}

// A profile whose coarse edge lies within five samples of the start of its ray (or that has
// none) has no samples before the edge to compare with: it gives no refined edge. So does a
// search that would read past the last sample.
bool ImageAnalyzer::RefinedEdge(RadialProfile& profile, int backgroundLevel) {
    profile.windowFirst = profile.coarseEdge;
    profile.windowEnd = profile.coarseEdge + 35;
    profile.refinedEdge = 0;
    profile.edgeQuality = 0;
    if (profile.windowFirst < 5) return false;
    const ProfileSample* s = profile.samples.data();
    for (int k = profile.windowFirst; k < profile.windowEnd; ++k) {
        if (k + 4 >= profile.sampleCount) return false;
        const int a =
            (s[k - 5].value + s[k - 4].value + s[k - 3].value + s[k - 2].value + s[k - 1].value) /
            5;
        const int b =
            (s[k].value + s[k + 1].value + s[k + 2].value + s[k + 3].value + s[k + 4].value) / 5;
        if (s[k].value < backgroundLevel && a - 10 < b) {
            profile.refinedEdge = k - 5;
            profile.edgeQuality = std::max(0, (a - b - 5) * 50);
            return true;
        }
    }
    return false;
}

void ImageAnalyzer::AddEdgePoint(int x, int y) { AddEdgePointTo(Shown(), x, y); }

void ImageAnalyzer::AddEdgePointTo(StepScratch& s, int x, int y) const {
    if (!frameLoaded_) return;
    if (y < 3 || y > edgeFloor_ - 3) return;
    int freeSlot = -1;
    for (int i = 0; i < s.edgePointCount; ++i) {
        EdgePoint& p = s.edgePoints[i];
        if (!p.Live()) {
            if (freeSlot < 0) freeSlot = i;
            continue;
        }
        if (p.x >= x - 2 && p.x < x + 2 && p.y >= y - 2 && p.y < y + 2) {
            p = EdgePoint{};
            return;
        }
    }
    if (freeSlot >= 0) {
        s.edgePoints[freeSlot] = {x, y};
    } else if (s.edgePointCount < kMaxEdgePoints) {
        s.edgePoints[s.edgePointCount++] = {x, y};
    }
}

bool ImageAnalyzer::CircleThroughPoints(int x1, int y1, int x2, int y2, int x3, int y3,
                                        double& centreX, double& centreY, double& diameter) {
    // Every product is an integer well inside 2^53, so integer arithmetic gives exactly the
    // values the same expressions give in doubles; only the inverse and the products round.
    // One division serves both quotients, as in the four-wide kernel.
    const std::int64_t q =
        2 * (std::int64_t(y3 - y2) * (x2 - x1) - std::int64_t(x3 - x2) * (y2 - y1));
    if (q == 0) return false;  // |q| < 0.1
    const std::int64_t a = std::int64_t(x1 + x2) * (x2 - x1) + std::int64_t(y1 + y2) * (y2 - y1);
    const std::int64_t b = std::int64_t(x1 + x3) * (x3 - x1) + std::int64_t(y1 + y3) * (y3 - y1);
    const double numeratorX = double(std::int64_t(y3 - y1) * a - std::int64_t(y2 - y1) * b);
    const double numeratorY = double(std::int64_t(x2 - x1) * b - std::int64_t(x3 - x1) * a);
    const double inverse = 1.0 / double(q);
    centreX = numeratorX * inverse;
    centreY = numeratorY * inverse;
    const double dx = centreX - x1;
    const double dy = centreY - y1;
    diameter = 2.0 * std::sqrt(dx * dx + dy * dy);
    return true;
}

bool ImageAnalyzer::FitCircle(double /*priorX*/, double /*priorY*/, double priorDiameter,
                              double& centreX, double& centreY, double& diameter) {
    return FitCircleWith(Shown(), priorDiameter, centreX, centreY, diameter);
}

bool ImageAnalyzer::FitCircleWith(StepScratch& s, double priorDiameter, double& centreX,
                                  double& centreY, double& diameter) const {
    constexpr int kFarTableSide = StepScratch::kFarTableSide;
    // The live points, in slot order.
    EdgePoint* live = s.livePoints.get();
    int n = 0;
    for (int i = 0; i < s.edgePointCount; ++i) {
        if (s.edgePoints[i].Live()) live[n++] = s.edgePoints[i];
    }
    if (n < kMinLiveEdgePoints) return false;
    int& candidates = s.circleCandidateCount;
    const CircleList circles = s.Circles();
    candidates = 0;
    s.circlesCleared = true;
    const CircleBounds bounds{double(width_), double(height_), priorDiameter};
    auto farApart = [](const EdgePoint& p, const EdgePoint& q) {
        const std::int64_t dx = p.x - q.x;
        const std::int64_t dy = p.y - q.y;
        return dx * dx + dy * dy > kFarApartSquared;
    };
    // Which pairs lie far enough apart, worked out once for all triples.
    const bool table = n <= kFarTableSide;
    std::uint8_t* far = s.farTable.get();
    if (table) {
        for (int i = 0; i < n; ++i) {
            for (int j = i + 1; j < n; ++j)
                far[i * kFarTableSide + j] = farApart(live[i], live[j]);
        }
    }
    auto apart = [&](int i, int j) {
        return table ? far[i * kFarTableSide + j] != 0 : farApart(live[i], live[j]);
    };
    // The wide kernels want the far table, coordinates exact in their products and four lanes.
    // Whichever path lists a candidate, it goes to the partial sum of its lane, so a kernel
    // that declines leaves the plain loop to go on with the same bits.
    const bool wide = fastSteps_ && table && width_ <= 4096 && height_ <= 4096 && laneLimit_ >= 4;
    if (wide) {
        for (int k = 0; k < n; ++k) {
            s.liveX[k] = live[k].x;
            s.liveY[k] = live[k].y;
        }
    }
    CircleSums sums;
    for (int i = 0; i < n && candidates < kMaxCircleCandidates; ++i) {
        const EdgePoint& p1 = live[i];
        for (int j = i + 1; j < n && candidates < kMaxCircleCandidates; ++j) {
            if (!apart(i, j)) continue;
            const EdgePoint& p2 = live[j];
            int k = j + 1;
            if (wide) {
                const int end = k + (n - k) / 4 * 4;
                const TripleRow row{double(p1.x), double(p1.y), double(p2.x), double(p2.y),
                                    double(std::int64_t(p1.x + p2.x) * (p2.x - p1.x) +
                                           std::int64_t(p1.y + p2.y) * (p2.y - p1.y))};
                if (CircleBlocksWide(row, bounds, s.liveX.get(), s.liveY.get(),
                                     far + i * kFarTableSide, far + j * kFarTableSide, k, end,
                                     circles, candidates, kMaxCircleCandidates, sums)) {
                    if (candidates >= kMaxCircleCandidates) break;
                    k = end;
                }
            }
            for (; k < n; ++k) {
                if (!apart(i, k) || !apart(j, k)) continue;
                const EdgePoint& p3 = live[k];
                double cx = 0.0;
                double cy = 0.0;
                double d = 0.0;
                if (!CircleThroughPoints(p1.x, p1.y, p2.x, p2.y, p3.x, p3.y, cx, cy, d)) continue;
                if (!CircleFits(cx, cy, d, bounds)) continue;
                circles.x[candidates] = cx;
                circles.y[candidates] = cy;
                circles.d[candidates] = d;
                ++candidates;
                const int lane = (k - j - 1) & 3;
                sums.x.lane[lane] += cx;
                sums.y.lane[lane] += cy;
                sums.d.lane[lane] += d;
                if (candidates >= kMaxCircleCandidates) break;
            }
        }
    }
    const int count = candidates;
    if (count < kMinCircleCandidates) return false;
    const double meanX = sums.x.Total() / count;
    const double meanY = sums.y.Total() / count;
    const double meanD = sums.d.Total() / count;
    // The agreeing candidates are summed in four partials by their place in the list, the
    // order the wide kernel's lanes take them.
    CircleSums agreeing;
    int agree = 0;
    if (!(wide && AgreeingWide(circles, count, meanX, meanY, meanD, agreeing, agree))) {
        for (int i = 0; i < count; ++i) {
            if (!CircleAgrees(circles.x[i], circles.y[i], circles.d[i], meanX, meanY, meanD))
                continue;
            agreeing.x.lane[i & 3] += circles.x[i];
            agreeing.y.lane[i & 3] += circles.y[i];
            agreeing.d.lane[i & 3] += circles.d[i];
            ++agree;
        }
    }
    if (agree < kMinAgreeingCircles) return false;
    centreX = agreeing.x.Total() / agree;
    centreY = agreeing.y.Total() / agree;
    diameter = agreeing.d.Total() / agree;
    return true;
}

void ImageAnalyzer::DiscardFarEdgePoints(StepScratch& s, double centreX, double centreY,
                                         double radius) {
    for (int i = 0; i < s.edgePointCount; ++i) {
        EdgePoint& p = s.edgePoints[i];
        if (!p.Live()) continue;
        const double dx = p.x - centreX;
        const double dy = p.y - centreY;
        if (std::fabs(std::sqrt(dx * dx + dy * dy) - radius) > 10.0) p = EdgePoint{};
    }
}

// Fits a circle to the edge points, drops the points far from it and fits again; the ball's
// centre and the given diameter follow each fit, so a failed second fit leaves the first.
bool ImageAnalyzer::FitEdgesTwice(StepScratch& s, BallImage& b, double priorDiameter,
                                  double& diameter, std::int32_t firstError,
                                  std::int32_t secondError) const {
    double cx = 0.0;
    double cy = 0.0;
    double d = 0.0;
    if (!FitCircleWith(s, int(priorDiameter), cx, cy, d)) {
        s.error = firstError;
        return false;
    }
    b.centreX = cx;
    b.centreY = cy;
    diameter = d;
    DiscardFarEdgePoints(s, cx, cy, diameter / 2);
    if (!FitCircleWith(s, int(diameter), cx, cy, d)) {
        s.error = secondError;
        return false;
    }
    b.centreX = cx;
    b.centreY = cy;
    diameter = d;
    return true;
}

bool ImageAnalyzer::RefineOne(int ball,
                              bool (ImageAnalyzer::*refine)(StepScratch&, BallImage&) const) {
    if (!frameLoaded_ || ball < 0 || ball > 1) return false;
    StepScratch& s = Shown();
    s.error = 0;
    if ((this->*refine)(s, Ball(ball))) return true;
    if (s.error != 0) errorCode_ = s.error;
    return false;
}

bool ImageAnalyzer::RefineDiscEdges(int ball) {
    return RefineOne(ball, &ImageAnalyzer::RefineDiscEdgesWith);
}

bool ImageAnalyzer::RefineDiscEdgesWith(StepScratch& s, BallImage& b) const {
    if (!b.found) return false;
    s.edgePointCount = 0;
    for (int i = 0; i < b.profileCount; ++i) {
        RadialProfile& profile = b.profiles[i];
        profile.coarseEdge = CoarseEdge(profile);
        if (profile.coarseEdge != 0) {
            const ProfileSample& sample = profile.samples[profile.coarseEdge];
            AddEdgePointTo(s, sample.x, sample.y);
        }
    }
    if (!FitEdgesTwice(s, b, b.diameterEstimate, b.diameterEstimate, kDiscEdgeFitFirst,
                       kDiscEdgeFitSecond)) {
        return false;
    }
    b.diameterEstimate -= 10.0;
    return true;
}

bool ImageAnalyzer::RefineBallEdges(int ball) {
    return RefineOne(ball, &ImageAnalyzer::RefineBallEdgesWith);
}

bool ImageAnalyzer::RefineBallEdgesWith(StepScratch& s, BallImage& b) const {
    if (!b.found) return false;
    s.edgePointCount = 0;
    std::int64_t qualitySum = 0;
    for (int i = 0; i < b.profileCount; ++i) {
        RefinedEdge(b.profiles[i], backgroundLevel_);
        qualitySum += b.profiles[i].edgeQuality;
    }
    b.edgeQuality = b.profileCount > 0 ? std::int32_t(qualitySum / b.profileCount) : 0;
    for (int i = 0; i < b.profileCount; ++i) {
        const RadialProfile& profile = b.profiles[i];
        if (profile.refinedEdge != 0) {
            const ProfileSample& sample = profile.samples[profile.refinedEdge];
            AddEdgePointTo(s, sample.x, sample.y);
        }
    }
    if (!FitEdgesTwice(s, b, b.diameterEstimate, b.diameter, kBallEdgeFitFirst,
                       kBallEdgeFitSecond)) {
        return false;
    }
    b.edgesRefined = true;
    b.edgeQuality = std::int32_t(b.edgeQuality * 150.0 / b.diameter);

    const int half = int(b.diameter / 2);
    const std::int64_t last = std::int64_t(width_) * height_ - 1;
    std::int64_t sum = 0;
    std::int64_t count = 0;
    const double reach = 0.45 * b.diameter;
    for (int yy = int(b.centreY) - half; yy <= b.centreY + half; ++yy) {
        for (int xx = int(b.centreX) - half; xx <= b.centreX + half; ++xx) {
            const double dx = xx - b.centreX;
            const double dy = yy - b.centreY;
            if (std::sqrt(dx * dx + dy * dy) > reach) continue;
            const std::int64_t index = std::int64_t(yy) * width_ + xx;
            if (index < 0 || index > last) continue;
            sum += frame_[index];
            ++count;
        }
    }
    b.lum = count > 0 ? std::int32_t(sum / count) : 0;
    b.pix.Set(b.centreX, b.centreY, b.diameter);
    return true;
}

// Both balls' refinements at once, leaving what one thread running ball 0 and then ball 1
// would: when ball 0 fails, ball 1 is put back as it was (one thread would not have touched
// it) and ball 0's lists are shown; a ball 1 whose fit never started its candidate list shows
// the count ball 0 left.
template <typename Step>
bool ImageAnalyzer::RefineBoth(Step step, bool (ImageAnalyzer::*single)(int)) {
    if (!worker_ || !frameLoaded_ || !ball0_.found || !ball1_.found) {
        return (this->*single)(0) && (this->*single)(1);
    }
    KeepEdges(ball1_);
    StepScratch& mine = Shown();
    StepScratch& other = *scratch_[1 - shown_];
    other.circleCandidateCount = mine.circleCandidateCount;
    mine.circlesCleared = false;
    mine.error = 0;
    other.error = 0;
    bool ok[2];
    RunBoth(step, ok);
    if (!ok[0]) {
        RestoreEdges(ball1_);
        shown_ = 1 - shown_;
        if (other.error != 0) errorCode_ = other.error;
        return false;
    }
    if (!mine.circlesCleared) mine.circleCandidateCount = other.circleCandidateCount;
    if (!ok[1]) {
        if (mine.error != 0) errorCode_ = mine.error;
        return false;
    }
    return true;
}

bool ImageAnalyzer::RefineBothDiscEdges() {
    return RefineBoth(
        [this](StepScratch& s, int ball) { return RefineDiscEdgesWith(s, Ball(ball)); },
        &ImageAnalyzer::RefineDiscEdges);
}

bool ImageAnalyzer::RefineBothBallEdges() {
    return RefineBoth(
        [this](StepScratch& s, int ball) { return RefineBallEdgesWith(s, Ball(ball)); },
        &ImageAnalyzer::RefineBallEdges);
}

void ImageAnalyzer::KeepEdges(const BallImage& b) {
    EdgeKeep& k = kept_;
    k.centreX = b.centreX;
    k.centreY = b.centreY;
    k.pix = b.pix;
    k.diameterEstimate = b.diameterEstimate;
    k.diameter = b.diameter;
    k.edgesRefined = b.edgesRefined;
    k.edgeQuality = b.edgeQuality;
    k.lum = b.lum;
    for (int i = 0; i < b.profileCount; ++i) {
        const RadialProfile& p = b.profiles[i];
        k.profiles[i] = {p.coarseEdge, p.refinedEdge, p.windowFirst, p.windowEnd, p.edgeQuality};
    }
}

void ImageAnalyzer::RestoreEdges(BallImage& b) const {
    const EdgeKeep& k = kept_;
    b.centreX = k.centreX;
    b.centreY = k.centreY;
    b.pix = k.pix;
    b.diameterEstimate = k.diameterEstimate;
    b.diameter = k.diameter;
    b.edgesRefined = k.edgesRefined;
    b.edgeQuality = k.edgeQuality;
    b.lum = k.lum;
    for (int i = 0; i < b.profileCount; ++i) {
        RadialProfile& p = b.profiles[i];
        const auto& e = k.profiles[i];
        p.coarseEdge = e[0];
        p.refinedEdge = e[1];
        p.windowFirst = e[2];
        p.windowEnd = e[3];
        p.edgeQuality = e[4];
    }
}

}  // namespace kyvern::analysis
