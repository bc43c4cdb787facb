#pragma once

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
};
AnalysisOptions ReadAnalysisOptions(base::OptionsReader& reader);
AnalysisOptions ReadAnalysisOptions(const base::SettingsSnapshot& snapshot);

// Runs the analysis steps on one frame in their fixed order, prints progress, timings,
// warnings and ball data to a message list, and stores the result in the frame. Owns the
// analyzer, created on the first run and kept; the options are those last set.
class AnalysisPipeline {
public:
    // ballDiameterInches: the configured ball type's diameter.
    AnalysisPipeline(double ballDiameterInches, const AnalysisOptions& options);
    // The options of the next runs.
    void SetOptions(const AnalysisOptions& options) { options_ = options; }

    bool RunAnalysis(frame::CapturedImage& frame, base::MessageList& messages);

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
    void PinPrecision(std::optional<Precision> precision) { pinnedPrecision_ = precision; }
    // The precision of the last run that got past reading the settings.
    Precision LastPrecision() const { return lastPrecision_; }

private:
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
