// kyvern-cli analyze [--json] FILE.bmp...: analyses every frame of saved-image files and solves
// each file's shot from one or two cameras, as the shot cycle does.
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "analysis/analysis_codes.h"
#include "analysis/analysis_pipeline.h"
#include "analysis/launch_scene.h"
#include "analysis/shot_confidence.h"
#include "app/pass_options.h"
#include "base/message_list.h"
#include "base/user_prompts.h"
#include "capture/image_file.h"
#include "cli/command.h"
#include "flight/ball_type.h"
#include "shot/units.h"

namespace kyvern::cli {
namespace {

using frame::CapturedImage;

Json Triple(const frame::Xyz& v) { return JsonNumbers({v.x, v.y, v.z}); }

Json Codes(const std::int32_t* codes, int count) {
    Json out = Json::array();
    for (int i = 0; i < count; ++i)
        out.push_back(codes[i]);
    return out;
}

// What the run did: how it ended, at which precision, and each step that ran with its time.
Json SummaryJson(const analysis::AnalysisSummary& summary) {
    Json steps = Json::array();
    for (int i = 0; i < summary.stepCount; ++i) {
        steps.push_back({{"step", analysis::AnalysisStepName(summary.steps[i].step)},
                         {"ms", JsonNumber(summary.steps[i].milliseconds)}});
    }
    return {
        {"ok", summary.ok},
        {"precision", summary.precision == analysis::Precision::kRefined ? "Refined" : "Standard"},
        {"seconds", JsonNumber(summary.seconds)},
        {"steps", std::move(steps)}};
}

Json FrameJson(int slot, const CapturedImage& frame, double pixelsPerInch,
               const analysis::AnalysisSummary& summary) {
    const frame::AnalysisResult& r = frame.result;
    const int warnings = std::clamp(r.warningCount, 0, frame::kMaxWarnings);
    Json balls = Json::array();
    for (int b = 0; b < 2; ++b) {
        const frame::BallRecord& ball = r.balls[b];
        balls.push_back({{"pix", Triple(ball.pix)},
                         {"loc", Triple(ball.loc)},
                         {"planeNormal", Triple(ball.planeNormal)},
                         {"viewNormal", Triple(ball.viewNormal)},
                         {"lum", ball.lum},
                         {"marks", ball.markCount}});
    }
    return {{"slot", slot},
            {"error", r.errorCode},
            {"errorText", analysis::ErrorText(r.errorCode)},
            {"warnings", Codes(r.warningCodes.data(), warnings)},
            {"pixelsPerInch", JsonNumber(pixelsPerInch)},
            {"balls", std::move(balls)},
            {"analysis", SummaryJson(summary)}};
}

Json ConfidenceJson(const analysis::ShotConfidence& c, double least) {
    if (!c.checked) return nullptr;
    Json doubts = Json::array();
    for (int i = 0; i < analysis::kDoubts; ++i) {
        const auto doubt = analysis::Doubt(1u << i);
        if (c.Has(doubt)) doubts.push_back(analysis::DoubtText(doubt));
    }
    return {{"value", JsonNumber(c.Value())},
            {"spin", JsonNumber(c.spin)},
            {"refused", c.Value() < least},
            {"spinDoubtful", c.spin < least},
            {"doubts", std::move(doubts)}};
}

Json LaunchJson(bool ok, const analysis::LaunchScene& scene) {
    std::int32_t codes[frame::kMaxWarnings];
    const int count = std::min(scene.WarningCount(), frame::kMaxWarnings);
    for (int i = 0; i < count; ++i)
        codes[i] = scene.WarningCode(i);
    const analysis::LaunchValues& v = scene.Values();
    return {{"ok", ok},
            {"error", scene.ErrorCode()},
            {"warnings", Codes(codes, count)},
            {"ballSpeed", JsonNumber(v.ballSpeed)},
            {"ballSpeedMph", JsonNumber(v.ballSpeedMph)},
            {"launchAngle", JsonNumber(v.launchAngle)},
            {"sideAngle", JsonNumber(v.sideAngle)},
            {"totalSpin", JsonNumber(v.totalSpin)},
            {"backSpin", JsonNumber(v.backSpin)},
            {"sideSpin", JsonNumber(v.sideSpin)}};
}

void PrintLaunch(bool ok, const analysis::LaunchScene& scene, int speedUnit,
                 const analysis::ShotConfidence& confidence, double least) {
    if (!ok) {
        std::printf("No launch conditions: %s\n", analysis::ErrorText(scene.ErrorCode()));
        return;
    }
    if (confidence.Value() < least) {
        std::printf("Refused as doubtful (confidence %.2f): %s\n", confidence.Value(),
                    analysis::DoubtsText(confidence.doubts).c_str());
    }
    const analysis::LaunchValues& v = scene.Values();
    std::printf("Ball speed    %.1f %s\n", shot::ToDisplaySpeed(v.ballSpeed, speedUnit),
                shot::SpeedLabel(speedUnit));
    std::printf("Launch angle  %.1f deg\n", v.launchAngle);
    std::printf("Side angle    %.1f deg\n", v.sideAngle);
    std::printf("Total spin    %.0f rpm\n", v.totalSpin);
    std::printf("Back spin     %.0f rpm\n", v.backSpin);
    std::printf("Side spin     %.0f rpm\n", v.sideSpin);
    for (int i = 0; i < scene.WarningCount(); ++i) {
        std::printf("Warning: %s\n", analysis::WarningText(scene.WarningCode(i)));
    }
    std::printf("Confidence    %.2f\n", confidence.Value());
    if (confidence.spin < least && confidence.Value() >= least) {
        std::printf("Spin doubtful: %s\n", analysis::DoubtsText(confidence.doubts, true).c_str());
    }
}

int RunAnalyze(const Args& args) {
    Args files = Positionals(args, {});
    for (const std::string& a : args) {
        if (a.rfind("--", 0) == 0 && a != "--json") files.clear();  // an unknown flag
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: kyvern-cli analyze [--json] FILE.bmp...\n");
        return 2;
    }
    const bool json = HasFlag(args, "--json");
    const app::PassOptions pass = app::ReadPassOptions();
    const flight::BallType ball(pass.flight.ball);
    analysis::AnalysisPipeline pipeline(ball.Diameter(), pass.analysis);
    analysis::LaunchScene scene(ball.Diameter(), pass.scene);
    base::StderrPrompts prompts;
    base::StdoutMessageList printed;
    base::TextMessageList silent;
    auto file = std::make_unique<capture::ImageFile>(base::Settings());
    auto frames = std::make_unique<std::array<CapturedImage, frame::kCameraSlots>>();
    int failures = 0;

    for (const std::string& path : files) {
        analysis::FrameSet set{};
        Json frameJson = Json::array();
        const bool loaded = base::Show(file->Load(path), prompts);
        for (int s = 0; loaded && s < frame::kCameraSlots; ++s) {
            CapturedImage& frame = (*frames)[s];
            if (!file->GetImage(s, frame)) continue;
            base::MessageList& messages = json ? static_cast<base::MessageList&>(silent) : printed;
            const analysis::AnalysisSummary summary = pipeline.RunAnalysis(frame);
            analysis::PrintAnalysis(summary, frame, pipeline.Options(), messages);
            frame.analyzed = bool(summary);
            if (frame.analyzed) analysis::LaunchScene::AlignNormals(frame);
            double ppi = pipeline.Analyzer() ? pipeline.Analyzer()->pixelsPerInch() : 0.0;
            frameJson.push_back(FrameJson(s, frame, ppi, summary));
            set[s] = &frame;
        }
        // A file that did not load has no shot: solving an empty set clears the scene.
        const bool ok = scene.SolveLaunch(loaded ? set : analysis::FrameSet{}) && loaded;
        const analysis::ShotConfidence confidence =
            ok ? analysis::AssessFrames(set, scene.Values()) : analysis::ShotConfidence{};
        const double least = pass.analysis.minConfidence;
        // A shot the monitor would refuse as doubtful counts as failed here too.
        if (!ok || (confidence.checked && confidence.Value() < least)) ++failures;
        if (json) {
            Json launch = LaunchJson(ok, scene);
            launch["confidence"] = ConfidenceJson(confidence, least);
            PrintJson({{"file", path}, {"frames", std::move(frameJson)}, {"launch", launch}});
        } else if (loaded) {
            std::printf("%s\n", path.c_str());
            PrintLaunch(ok, scene, pass.speedUnit, confidence, least);
        }
    }
    return failures == 0 ? 0 : 1;
}

const Registration kAnalyze({"analyze",
                             "analyze [--json] FILE.bmp...   launch conditions of saved frames",
                             RunAnalyze});

}  // namespace
}  // namespace kyvern::cli
