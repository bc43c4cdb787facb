#pragma once

#include <memory>
#include <optional>
#include <string>

#include "analysis/captured_image.h"
#include "analysis/image_analyzer.h"
#include "base/message_list.h"
#include "base/settings_schema.h"

namespace kyvern::analysis {

// Runs the analysis steps on one frame in their fixed order, prints progress, timings,
// warnings and ball data to a message list, and stores the result in the frame. Owns the
// analyzer, created on the first run and kept; settings are read on every run.
class AnalysisPipeline {
public:
    // ballDiameterInches: the configured ball type's diameter; settings say ShowTiming and
    // ShowBallData.
    explicit AnalysisPipeline(double ballDiameterInches, base::Settings settings = {});

    bool RunAnalysis(CapturedImage& frame, base::MessageList& messages);

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
    // Pins the precision instead of reading Analysis/Precision at each run, so that the two
    // modes can be compared on the same frames; nothing clears the pin but another one.
    void PinPrecision(std::optional<Precision> precision) { pinnedPrecision_ = precision; }
    // The precision of the last run that got past reading the settings.
    Precision LastPrecision() const { return lastPrecision_; }

private:
    double ballDiameterInches_;
    base::Settings settings_;
    std::unique_ptr<ImageAnalyzer> analyzer_;
    bool analysisDone_ = false;
    double viewDistance_ = 0.0;
    bool process_ = false;
    std::optional<Precision> pinnedPrecision_;
    Precision lastPrecision_ = Precision::kStandard;
};

// The ball-data printout: each ball located more than 0.5 in from the lens, then the
// distance between the two images in pixels and inches.
void PrintBallData(base::MessageList& messages, const BallRecord& ball0, const BallRecord& ball1,
                   double pixelsPerInch);

}  // namespace kyvern::analysis
