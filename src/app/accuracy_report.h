#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/image_analyzer.h"
#include "analysis/shot_confidence.h"
#include "sim/frame_renderer.h"

namespace kyvern::app {

// The values the accuracy report judges, each with the unit of its error: ball speed and back
// spin in percent of the truth, launch and side angle in degrees, side spin in rpm.
enum class AccuracyValue : int { kBallSpeed, kLaunchAngle, kSideAngle, kBackSpin, kSideSpin };
inline constexpr int kAccuracyValues = 5;
const char* AccuracyValueName(AccuracyValue value);  // "ball speed"
const char* AccuracyValueUnit(AccuracyValue value);  // "%", "deg" or "rpm"

// The errors of one value over the shots that measured it.
struct ErrorFigures {
    int count = 0;
    double bias = 0.0;   // mean error
    double sd = 0.0;     // standard deviation of the errors about their mean (n - 1)
    double worst = 0.0;  // the error of largest size, with its sign
    int worstShot = -1;  // the grid index of that shot
};

// What one precision of the analysis made of the grid.
struct PrecisionFigures {
    analysis::Precision precision = analysis::Precision::kStandard;
    std::array<ErrorFigures, kAccuracyValues> values{};
    int failures = 0;  // shots without launch conditions: the frame or the scene failed
    int spinless = 0;  // shots measured without a plane on both balls: no spin figures
    // Published shots with a value a user would call wrong (IsWrongShot), a doubtful spin
    // left out as it is not published.
    int wrong = 0;
    // Shots the analysis measured but their confidence refused: those that were wrong (caught)
    // and those that were not (lost); and published shots whose spin was marked doubtful.
    int caught = 0;
    int lost = 0;
    int spinDoubtful = 0;
    // The failures by their reason: the analysis's error text, or the scene's when the frame
    // was read but no launch was solved; in the order first met.
    std::vector<std::pair<std::string, int>> refusals;
    double milliseconds = 0.0;  // mean processor time of one frame's analysis
};

struct AccuracyOptions {
    int shots = 300;
    int first = 0;  // the grid's shots from this index on: one case looked at again
    std::uint64_t seed = 1;
    int width = 0;               // 1024 or 640 for that width alone; 0 for both in turn
    sim::Realism realism;        // the effects of real cameras drawn on every frame
    double minConfidence = 0.5;  // below it a shot is refused, or its spin marked doubtful
    bool putts = false;          // the grid of putts (MakePuttShot) instead of full shots
};

struct AccuracySummary {
    int shots = 0;    // the grid's length
    int aliased = 0;  // shots whose ball turns 135 degrees or more between the flashes: the
                      // continuity of the spin reads them the other way, so they are left out
    std::array<PrecisionFigures, 2> modes{};  // Standard, then Refined, on the same frames
};

// One shot of the grid: what the renderer draws and the speed mode whose strobe it uses.
struct GridShot {
    sim::ShotSetup setup;
    int speedMode = 0;  // index into capture::SpeedModes(); its interval is in setup
};

// Shot index of the grid of a seed: a function of the seed, the index and the width choice
// alone, so a longer grid begins with the shorter one. Shots take the widths in turn (unless
// one is chosen), the four speed modes in turn, and draw the rest over the monitor's envelope:
// speeds 60 to 300 ft/s that the mode's interval spaces two ball images apart, launch 0 to 40
// degrees, side -10 to 10, back spin 1,500 to 10,000 rpm, side spin -2,000 to 2,000, the line
// rolled up to 30 degrees about the spin axis, balls 16 to 18 in from the lens at 1024 x 768
// and 14 to 16 in at 640 x 480, the flight anywhere across the view that keeps both images
// whole, and sensor noise of 1 to 3 gray levels. A shot whose ball would turn within 5 degrees
// of the alias limit (135) between the flashes is drawn again.
GridShot MakeGridShot(std::uint64_t seed, int index, int width);
// Shot index of the grid of putts: speeds 1.5 to 20 mph, launch -1 to 1.5 degrees, start
// lines -6 to 6, forward roll between a third and all of a rolling ball's, strobed by the
// Putt mode's interval that keeps the two images whole and apart (the lone camera's where it
// can, else the long or the short one of a rig), the rest as MakeGridShot. No spin is judged.
GridShot MakePuttShot(std::uint64_t seed, int index, int width);

// Whether a measured shot's errors (as the report states them) make it wrong for a user: ball
// speed off by more than 5 %, launch or side angle by more than 2 degrees, back spin by more
// than 25 % or 1,000 rpm, side spin by more than 1,000 rpm. Spin counts only where it was
// measured.
bool IsWrongShot(const std::array<double, kAccuracyValues>& errors, double trueBackSpin,
                 bool spinMeasured);

// One shot of a run: its truth and, in each precision, whether it was measured and its errors.
struct ShotOutcome {
    int index = 0;
    GridShot shot;
    sim::ShotTruth truth;  // an aliased shot is neither rendered nor analysed
    std::array<bool, 2> measured{};
    std::array<std::array<double, kAccuracyValues>, 2> errors{};
    std::array<bool, 2> wrong{};  // published with a wrong value
    std::array<analysis::ConfidenceMeasures, 2> measures{};
    std::array<analysis::ShotConfidence, 2> confidence{};
    std::array<std::string, 2> refusal;  // why a precision measured nothing
};
using ShotObserver = std::function<void(const ShotOutcome&)>;

// Renders the grid, analyses every frame through the analysis pipeline and the launch scene in
// both precisions, and compares the launch conditions with the rendered truth. The analysis
// reads no settings file: the defaults (a right-handed golf ball) hold.
// observe, when given, sees every shot as it is done.
AccuracySummary RunAccuracy(const AccuracyOptions& options, const ShotObserver& observe = {});

}  // namespace kyvern::app
