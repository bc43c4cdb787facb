#pragma once

#include <cstdint>

namespace kyvern::analysis {

// Error codes of a frame's analysis and of the scene solution.
enum AnalysisError : std::int32_t {
    kNoError = 0,
    kNoBallsFound = 1,
    kOnlyOneBallFound = 2,
    kDiscEdgeFitFirst = 3,
    kDiscEdgeFitSecond = 4,
    kBallEdgeFitFirst = 5,
    kBallEdgeFitSecond = 6,
    kInvalidBallSpeed = 7,
    kInvalidLaunchAngle = 8,
    kInvalidSideAngle = 9,
    kDoubtfulShot = 10,  // solved, but refused for its low confidence
};

// Warning codes, shared by a frame's analysis and the scene solution.
enum AnalysisWarning : std::int32_t {
    kNoWarnings = 0,
    kLowContrast = 1,
    kUnevenIllumination = 2,
    kBallTooSmall = 3,
    kBallEdgeQualityLow = 4,
    kBallTooClose = 5,
    kBallTooFar = 6,
    kNoValidMarks = 7,
    kMarksTooSmall = 8,
    kSpeedOutOfRange = 9,
    kLaunchAngleOutOfRange = 10,
    kReversingSpinMarks = 11,
    kMarks = 12,
};

// Fixed English texts of the codes; unknown codes read "missing error code" and
// "missing warning code".
const char* ErrorText(std::int32_t code);
const char* WarningText(std::int32_t code);

}  // namespace kyvern::analysis
