#pragma once

// The circle fit's rules, named once for the plain loop and the vector kernels alike: a circle
// through three edge points far enough apart is a candidate when it is ball-sized, inside the
// frame and near the prior diameter; the fit is the mean of the candidates that agree with the
// mean of all.
#include <cmath>
#include <cstdint>

#include "analysis/four_sums.h"
#include "analysis/image_analyzer.h"

namespace kyvern::analysis {

inline constexpr std::int64_t kFarApartSquared = 400;  // points more than 20 pixels apart
inline constexpr int kMinLiveEdgePoints = 10;
inline constexpr double kMinCircleDiameter = 60.0;
inline constexpr double kMaxCircleDiameter = 200.0;
// A candidate's diameter d is near the prior p when 0.5 d <= p <= 1.5 d.
inline constexpr double kPriorLowFactor = 0.5;
inline constexpr double kPriorHighFactor = 1.5;
inline constexpr int kMinCircleCandidates = 50;
// Agreement with the mean of all candidates, in pixels.
inline constexpr double kAgreeCentre = 5.0;
inline constexpr double kAgreeDiameter = 2.0;
inline constexpr int kMinAgreeingCircles = 5;

// The frame and the prior a candidate must fit.
struct CircleBounds {
    double width;
    double height;
    double prior;
};

inline bool CircleFits(double cx, double cy, double d, const CircleBounds& b) {
    if (d < kMinCircleDiameter || d > kMaxCircleDiameter) return false;
    if (cx < 0.0 || cx > b.width || cy < 0.0 || cy > b.height) return false;
    return kPriorLowFactor * d <= b.prior && b.prior <= kPriorHighFactor * d;
}

inline bool CircleAgrees(double x, double y, double d, double meanX, double meanY, double meanD) {
    return (std::fabs(d - meanD) <= kAgreeDiameter) & (std::fabs(x - meanX) <= kAgreeCentre) &
           (std::fabs(y - meanY) <= kAgreeCentre);
}

// The fixed points of one (i, j) pair of the fit: (x1, y1), (x2, y2) and
// a = (x1 + x2)(x2 - x1) + (y1 + y2)(y2 - y1).
struct TripleRow {
    double x1, y1, x2, y2;
    double a;
};

// The candidates' centres and diameters summed. The candidate of third point k in the row of
// pair (i, j) goes to partial (k - j - 1) mod 4, its lane in the four-wide kernel; the agreeing
// ones are summed again by their place c in the list, into partial c mod 4.
struct CircleSums {
    FourSums x;
    FourSums y;
    FourSums d;
};

// The wide kernels. Each gives the bits of the plain loop, and declines (false, nothing done)
// where this build or this processor lacks its lanes; the caller then runs the plain loop.
//
// CircleBlocksWide: the third points k, k + 4, ... up to end (a multiple of four past k) of
// the pair row: passing circles appended to out from count in k order, added to sums, until
// capacity (out has room for three more); xs and ys are the live points, farI and farJ the
// far-apart rows of i and j.
bool CircleBlocksWide(const TripleRow& row, const CircleBounds& bounds, const double* xs,
                      const double* ys, const std::uint8_t* farI, const std::uint8_t* farJ, int k,
                      int end, const CircleList& out, int& count, int capacity, CircleSums& sums);
// AgreeingWide: sums the candidates in [0, count) that agree with the means, candidate c into
// partial c mod 4; agree is their number.
bool AgreeingWide(const CircleList& candidates, int count, double meanX, double meanY, double meanD,
                  CircleSums& sums, int& agree);

}  // namespace kyvern::analysis
