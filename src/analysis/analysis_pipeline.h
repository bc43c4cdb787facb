#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "analysis/image_analyzer.h"
#include "base/message_list.h"
#include "base/settings_snapshot.h"
#include "frame/captured_image.h"

namespace kyvern::analysis {

// What a pass's settings ask of the analysis.
struct AnalysisOptions {
    bool showTiming = false;    // Setup/ShowTiming
    bool showBallData = false;  // Setup/ShowBallData
    int threads = 2;            // Setup/AnalysisThreads
    Precision precision = Precision::kStandard;
    // Analysis/MinConfidence: a shot below it is refused, a spin below it marked doubtful.
    double minConfidence = 0.5;
};
AnalysisOptions ReadAnalysisOptions(base::OptionsReader& reader);
AnalysisOptions ReadAnalysisOptions(const base::SettingsSnapshot& snapshot);

// The steps of one run, in their fixed order.
enum class AnalysisStep {
    kPixelStats,
    kPreprocessImage,
    kFindDiscs,
    kRefineDiscEdges,
    kRefineBallEdges,
    kFindMarks,
    kGroupMarks,
    kFindPlane,
    kProcessScene,
};
inline constexpr int kAnalysisSteps = 9;
const char* AnalysisStepName(AnalysisStep step);  // "PixelStats", "FindDiscs", ...

// What one run did, for the front end to show: the steps that ran to their end with their
// times, the error that stopped the run or the warnings of a finished one, and the precision.
// Fixed in size, so that a run allocates nothing.
struct AnalysisSummary {
    struct StepTime {
        AnalysisStep step = AnalysisStep::kPixelStats;
        double milliseconds = 0.0;
    };
    bool ok = false;
    std::int32_t errorCode = 0;  // of the step that failed; 0 when the run finished
    std::array<StepTime, kAnalysisSteps> steps{};
    int stepCount = 0;
    double seconds = 0.0;                                      // the whole run, up to its last step
    std::array<std::int32_t, frame::kMaxWarnings> warnings{};  // in the order they were met
    int warningCount = 0;
    Precision precision = Precision::kStandard;
    double pixelsPerInch = 0.0;  // the image scale the scene found
    int looks = 1;               // 2 or more: the frame was looked at again with parts hidden
    bool ballsChecked = false;   // both images are round and stand on a dark scene

    explicit operator bool() const { return ok; }
};

// The run's printout as the program has always shown it: "Processing image", each step's time
// when showTiming, then the termination with its error, or the completion, the precision
// when refined, the warnings (newest first) and, when showBallData, the ball data of frame.
void PrintAnalysis(const AnalysisSummary& summary, const frame::CapturedImage& frame,
                   const AnalysisOptions& options, base::MessageList& messages);

// Runs the analysis steps on one frame in their fixed order, stores the result in the frame
// and returns what it did; it prints nothing. Owns the analyzer, created on the first run and
// kept; the options are those last set.
class AnalysisPipeline {
public:
    // ballDiameterInches: the configured ball type's diameter.
    AnalysisPipeline(double ballDiameterInches, const AnalysisOptions& options);
    // The options of the next runs.
    void SetOptions(const AnalysisOptions& options) { options_ = options; }

    AnalysisSummary RunAnalysis(frame::CapturedImage& frame);
    const AnalysisOptions& Options() const { return options_; }

    // Set at the end of a successful run, cleared at the start of every run.
    bool AnalysisDone() const { return analysisDone_; }
    // Mean distance of the located balls from the camera (inches) of the last run that got
    // as far as the scene; 0 when none was located.
    double ViewDistance() const { return viewDistance_; }
    // The contrast stretch before the ball search; off unless switched on.
    void SetProcess(bool on) { process_ = on; }
    bool Process() const { return process_; }
    // Null before the first run.
    ImageAnalyzer* Analyzer() { return analyzer_.get(); }
    // Pins the precision instead of taking the options' at each run, so that the two
    // modes can be compared on the same frames; nothing clears the pin but another one.
    // A putting-strobe frame is always measured in Refined.
    void PinPrecision(std::optional<Precision> precision) { pinnedPrecision_ = precision; }
    // The precision of the last run that got past reading the settings.
    Precision LastPrecision() const { return lastPrecision_; }

private:
    // What a second look at a frame hides: the ground from a row down, and lit regions that
    // were taken for balls (centre x, y and radius in pixels).
    struct Hidden {
        static constexpr int kMaxRegions = 4;
        int groundRow = -1;
        std::array<frame::Xyz, kMaxRegions> regions{};
        int regionCount = 0;
    };
    static constexpr int kMaxLooks = 3;
    bool RunSteps(frame::CapturedImage& frame, const Hidden& hidden, AnalysisSummary& summary,
                  bool& real);
    // Adds what the last look took for a ball but is not, and the ground; false if nothing new.
    bool HideWhatIsNoBall(Hidden& hidden) const;

    double ballDiameterInches_;
    AnalysisOptions options_;
    std::unique_ptr<ImageAnalyzer> analyzer_;
    bool analysisDone_ = false;
    double viewDistance_ = 0.0;
    bool process_ = false;
    std::optional<Precision> pinnedPrecision_;
    Precision lastPrecision_ = Precision::kStandard;
};

// The ball-data printout: each ball located more than 0.5 in from the lens, then the
// distance between the two images in pixels and inches.
void PrintBallData(base::MessageList& messages, const frame::BallRecord& ball0,
                   const frame::BallRecord& ball1, double pixelsPerInch);

}  // namespace kyvern::analysis
