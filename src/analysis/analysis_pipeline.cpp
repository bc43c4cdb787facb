#include "analysis/analysis_pipeline.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "analysis/analysis_codes.h"
#include "analysis/launch_scene.h"
#include "base/string_table.h"

namespace kyvern::analysis {

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point before, Clock::time_point after) {
    return std::chrono::duration<double, std::milli>(after - before).count();
}

// Prints a string-table format with one argument.
template <typename T>
void AddFormatted(base::MessageList& messages, base::MessageId id, T value) {
    char format[128];
    const std::string_view text = base::Text(id);
    const std::size_t n = text.size() < sizeof format - 1 ? text.size() : sizeof format - 1;
    text.copy(format, n);
    format[n] = '\0';
    char line[256];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(line, sizeof line, format, value);
#pragma GCC diagnostic pop
    messages.Add(line);
}

void AddBallLines(base::MessageList& messages, const frame::BallRecord& record, int ball) {
    char line[160];
    messages.Add("");
    messages.Add(ball == 0 ? "Ball 0:" : "Ball 1:");
    std::snprintf(line, sizeof line, "     pix=%.1f, %.1f   d=%.1f   lum=%ld", record.pix.x,
                  record.pix.y, record.pix.z, long(record.lum));
    messages.Add(line);
    std::snprintf(line, sizeof line, "     loc=%.3f, %.3f, %.3f", record.loc.x, record.loc.y,
                  record.loc.z);
    messages.Add(line);
    if (ball == 0) {
        std::snprintf(line, sizeof line, "     rot=%.3f, %.3f, %.3f", record.viewNormal.x,
                      record.viewNormal.y, record.viewNormal.z);
    } else {
        std::snprintf(line, sizeof line, "     rot=% .3f, %.3f, %.3f", record.viewNormal.x,
                      record.viewNormal.y, record.viewNormal.z);
    }
    messages.Add(line);
}

}  // namespace

void PrintBallData(base::MessageList& messages, const frame::BallRecord& ball0,
                   const frame::BallRecord& ball1, double pixelsPerInch) {
    if (ball0.loc.Length() > 0.5) AddBallLines(messages, ball0, 0);
    if (ball1.loc.Length() > 0.5) AddBallLines(messages, ball1, 1);
    const double dx = ball1.pix.x - ball0.pix.x;
    const double dy = ball1.pix.y - ball0.pix.y;
    const double pix = std::sqrt(dx * dx + dy * dy);
    const double inches = pixelsPerInch > 1.0 ? pix / pixelsPerInch : 0.0;
    char line[96];
    messages.Add("");
    messages.Add("Deltas:");
    std::snprintf(line, sizeof line, "     PPI: %.3f pixels", pixelsPerInch);
    messages.Add(line);
    std::snprintf(line, sizeof line, "     Pix: %.3f pixels", pix);
    messages.Add(line);
    std::snprintf(line, sizeof line, "     Dx:  %.3f inches", inches);
    messages.Add(line);
}

AnalysisOptions ReadAnalysisOptions(base::OptionsReader& reader) {
    AnalysisOptions options;
    options.showTiming = reader.Yes(base::setting::kShowTiming);
    options.showBallData = reader.Yes(base::setting::kShowBallData);
    options.threads = int(reader.Snapshot().Integer(base::setting::kAnalysisThreads));
    options.precision = reader.Get<base::setting::kPrecision>() == base::choice::Precision::kRefined
                            ? Precision::kRefined
                            : Precision::kStandard;
    options.minConfidence = reader.Bounded(base::setting::kMinConfidence);
    return options;
}

AnalysisOptions ReadAnalysisOptions(const base::SettingsSnapshot& snapshot) {
    base::OptionsReader reader(snapshot);
    return ReadAnalysisOptions(reader);
}

AnalysisPipeline::AnalysisPipeline(double ballDiameterInches, const AnalysisOptions& options)
    : ballDiameterInches_(ballDiameterInches), options_(options) {}

const char* AnalysisStepName(AnalysisStep step) {
    static constexpr const char* kNames[kAnalysisSteps] = {
        "PixelStats", "PreprocessImage", "FindDiscs", "RefineDiscEdges", "RefineBallEdges",
        "FindMarks",  "GroupMarks",      "FindPlane", "ProcessScene"};
    return kNames[static_cast<int>(step)];
}

void PrintAnalysis(const AnalysisSummary& summary, const frame::CapturedImage& frame,
                   const AnalysisOptions& options, base::MessageList& messages) {
    messages.Add(base::Text(base::MessageId::kProcessingImage));
    for (int i = 0; i < summary.stepCount && options.showTiming; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "   %s: %.1lf", AnalysisStepName(summary.steps[i].step),
                      summary.steps[i].milliseconds);
        messages.Add(line);
    }
    if (!summary.ok) {
        AddFormatted(messages, base::MessageId::kAnalysisTerminated, ErrorText(summary.errorCode));
        return;
    }
    AddFormatted(messages, base::MessageId::kAnalysisComplete, summary.seconds);
    // Standard's printout stays as it always was; a refined measurement says so.
    if (summary.precision == Precision::kRefined) messages.Add("Precision: Refined");
    for (int i = summary.warningCount - 1; i >= 0; --i)
        AddFormatted(messages, base::MessageId::kAnalysisWarning, WarningText(summary.warnings[i]));
    if (options.showBallData) {
        PrintBallData(messages, frame.result.balls[0], frame.result.balls[1],
                      summary.pixelsPerInch);
    }
}

namespace {

// The first row hidden as ground, or the height when there is no mat.
int GroundBelow(const ImageAnalyzer& a) {
    const int ground = a.GroundRow();
    // A few rows above the median's edge, for a mat that lies aslant.
    return ground < a.Height() ? std::max(ground - 3, 0) : a.Height();
}

}  // namespace

bool AnalysisPipeline::RunSteps(frame::CapturedImage& frame, const Hidden& hidden,
                                AnalysisSummary& summary, bool& real) {
    ImageAnalyzer& a = *analyzer_;
    a.SetFrame(frame.Pixels(), frame.width, frame.height);
    if (hidden.groundRow >= 0) a.HideGround(hidden.groundRow);
    for (int i = 0; i < hidden.regionCount; ++i)
        a.HideLitRegion(hidden.regions[i].x, hidden.regions[i].y, hidden.regions[i].z);
    summary.stepCount = 0;
    Clock::time_point before = Clock::now();
    auto timed = [&](AnalysisStep step) {
        const Clock::time_point now = Clock::now();
        summary.steps[summary.stepCount++] = {step, Milliseconds(before, now)};
        before = Clock::now();
    };

    real = false;
    if (!a.PixelStats()) return false;
    timed(AnalysisStep::kPixelStats);
    if (process_) {
        a.PreprocessImage();
        a.PixelStats();
        timed(AnalysisStep::kPreprocessImage);
    }
    // A mat in view on the first look: the coarse search runs above it. A putt rolls on the
    // green itself and keeps the search of the whole frame, which the putting grid was measured
    // on: above the mat it would publish putts the ring check now refuses (a start line 2.0
    // degrees off among them).
    const bool found = hidden.groundRow < 0 && !IsPuttFrame(frame)
                           ? a.FindDiscsAboveGround(GroundBelow(a))
                           : a.FindDiscs();
    if (!found) return false;
    timed(AnalysisStep::kFindDiscs);
    if (!a.RefineBothDiscEdges()) return false;
    timed(AnalysisStep::kRefineDiscEdges);
    // Checked on the circles as the edges gave them, before the scene rounds them.
    const bool refined = a.RefineBothBallEdges();
    real = a.CheckBalls() && refined;
    if (!refined) return false;
    // A putt rolls a few hundredths of a pixel during its flash: a smear measured there would
    // be noise only.
    a.RefineRims(!IsPuttFrame(frame));
    timed(AnalysisStep::kRefineBallEdges);
    a.FindBothMarks();
    timed(AnalysisStep::kFindMarks);
    a.GroupMarks(0);
    a.GroupMarks(1);
    timed(AnalysisStep::kGroupMarks);
    a.FindBothPlanes();
    a.MeasurePlanes();
    timed(AnalysisStep::kFindPlane);
    if (!a.ProcessScene()) return false;
    timed(AnalysisStep::kProcessScene);
    return true;
}

bool AnalysisPipeline::HideWhatIsNoBall(Hidden& hidden) const {
    const ImageAnalyzer& a = *analyzer_;
    bool more = false;
    if (hidden.groundRow < 0) {
        // The first look found the mat already where it searched above one.
        const int ground = a.MatRow() < a.Height() ? a.MatRow() : GroundBelow(a);
        if (ground < a.Height()) {
            hidden.groundRow = ground;
            more = true;
        }
    }
    for (int i = 0; i < 2; ++i) {
        const BallImage& b = a.Ball(i);
        // An image whose edges gave no circle may be a ball that something lit beside it
        // spoils: only a circle that is not round or not on a dark scene is hidden.
        if (!b.edgesRefined || hidden.regionCount >= Hidden::kMaxRegions) continue;
        if (b.edgeFit >= ImageAnalyzer::kMinEdgeFit && b.ringLit <= ImageAnalyzer::kMaxRingLit)
            continue;
        hidden.regions[hidden.regionCount++].Set(b.centreX, b.centreY, std::max(b.diameter, 8.0));
        more = true;
    }
    return more;
}

AnalysisSummary AnalysisPipeline::RunAnalysis(frame::CapturedImage& frame) {
    AnalysisSummary summary;
    const Clock::time_point start = Clock::now();
    if (!analyzer_) analyzer_ = std::make_unique<ImageAnalyzer>(ballDiameterInches_);
    ImageAnalyzer& a = *analyzer_;
    // The worker starts (or stops) only when the setting changes.
    a.SetThreads(options_.threads);

    // A putt is measured on its rims whatever the setting: Standard's threshold diameters read
    // its speed 1 % slow and its start line to 1.4 degrees (sd), and a putt leaves the time.
    lastPrecision_ =
        IsPuttFrame(frame) ? Precision::kRefined : pinnedPrecision_.value_or(options_.precision);
    summary.precision = lastPrecision_;
    a.SetPrecision(lastPrecision_);
    analysisDone_ = false;

    // A frame of two balls on a dark scene is measured at the first look. Where what was taken
    // for a ball is not round or not on a dark scene (the club head, the mat), it is hidden
    // and the frame looked at again; a first look that finished is kept when no second one
    // finishes, its doubt on record.
    Hidden hidden;
    bool real = false;
    bool ok = RunSteps(frame, hidden, summary, real);
    const bool firstOk = ok;
    summary.looks = 1;
    while (!(ok && real) && summary.looks < kMaxLooks && HideWhatIsNoBall(hidden)) {
        ++summary.looks;
        ok = RunSteps(frame, hidden, summary, real);
    }
    if (!ok && firstOk) ok = RunSteps(frame, Hidden{}, summary, real);
    summary.ballsChecked = ok && real;
    if (!ok) {
        frame.result.errorCode = a.ErrorCode();
        summary.errorCode = a.ErrorCode();
        return summary;
    }

    double depth = 0.0;
    int located = 0;
    for (int ball = 0; ball < 2; ++ball) {
        if (a.Ball(ball).locationValid) {
            depth += -a.Ball(ball).location.z;
            ++located;
        }
    }
    viewDistance_ = located > 0 ? depth / located : 0.0;
    summary.seconds = std::chrono::duration<double>(Clock::now() - start).count();

    frame::AnalysisResult& result = frame.result;
    a.GetHistogram(result.histogram, result.backgroundLevel, result.meanLevel);
    a.GetBallData(0, result.balls[0]);
    a.GetBallData(1, result.balls[1]);
    result.errorCode = a.ErrorCode();
    result.warningCount = a.WarningCount();
    summary.warningCount = a.WarningCount();
    for (int i = 0; i < a.WarningCount(); ++i) {
        result.warningCodes[i] = a.Warning(i);
        result.warningTexts[i] = WarningText(a.Warning(i));
        summary.warnings[i] = a.Warning(i);
    }
    summary.pixelsPerInch = a.pixelsPerInch();
    summary.ok = true;
    analysisDone_ = true;
    return summary;
}

}  // namespace kyvern::analysis
