#include "analysis/analysis_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "analysis/analysis_codes.h"
#include "analysis/test_frames.h"
#include "base/string_table.h"
#include "support/run_analysis.h"
#include "support/temp_dir.h"

namespace {

using namespace kyvern::analysis;
using namespace kyvern::frame;
using kyvern::base::TextMessageList;
namespace an = kyvern::analysis;
namespace kt = kyvern::testing;
namespace setting = kyvern::base::setting;

int LinesStartingWith(const TextMessageList& messages, const std::string& prefix) {
    return int(std::count_if(messages.Lines().begin(), messages.Lines().end(),
                             [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

// A pipeline reading its own settings file, and a frame of two balls.
class AnalysisPipelineTest : public ::testing::Test {
protected:
    AnalysisPipelineTest() { kt::Draw(kt::TwoBalls(), image); }
    kyvern::testing::TempDir home;
    kyvern::base::Settings settings{home.File("Kyvern.ini")};
    AnalysisPipeline pipeline{1.68, {}};
    CapturedImage image;
    TextMessageList messages;

    // One pass: the options read from the file as it stands, then the run.
    bool Run() {
        pipeline.SetOptions(ReadAnalysisOptions(kyvern::base::SettingsSnapshot::Read(settings)));
        return kyvern::testing::RunAndPrint(pipeline, image, messages);
    }
};

// Rendered shots carry the locations and normals through; these are what they do not read.
TEST_F(AnalysisPipelineTest, SuccessfulRunStoresTheAnalyzersResult) {
    ASSERT_TRUE(settings.Write(setting::kShowBallData, "yes"));
    image.result.balls[0].time = 0.25;  // the capture's, not the analysis's
    ASSERT_TRUE(Run());
    ASSERT_EQ(image.result.warningCount, 1);
    EXPECT_EQ(image.result.warningCodes[0], an::kBallTooFar);
    EXPECT_EQ(image.result.histogram, pipeline.Analyzer()->Histogram());
    EXPECT_EQ(image.result.balls[0].time, 0.25);
    EXPECT_EQ(LinesStartingWith(messages, "Ball "), 2);  // the ball data asked for
}

TEST_F(AnalysisPipelineTest, TimingLinesOnlyForYes) {
    EXPECT_FALSE(pipeline.Process());
    for (const auto& [value, process, lines] : {std::tuple{"y", false, 0}, {"Yes", true, 9}}) {
        ASSERT_TRUE(settings.Write(setting::kShowTiming, value));
        pipeline.SetProcess(process);
        messages.Clear();
        ASSERT_TRUE(Run());
        EXPECT_EQ(int(messages.Lines().size()), 3 + lines) << value;
        EXPECT_EQ(LinesStartingWith(messages, "   PreprocessImage: "), process && lines ? 1 : 0);
        EXPECT_EQ(LinesStartingWith(messages, "Analysis complete: "), 1);
    }
}

// The precision is read at each run; a refined run says so, and a pin outranks the file.
TEST_F(AnalysisPipelineTest, PrecisionIsReadAtEachRunAndARefinedRunSaysSo) {
    const auto run = [&](int refinedLines) {
        messages.Clear();
        EXPECT_TRUE(Run());
        EXPECT_EQ(LinesStartingWith(messages, "Precision: Refined"), refinedLines);
        const BallRecord& ball = image.result.balls[1];
        return std::pair{ball.loc, ball.viewNormal};
    };
    const auto standard = run(0);
    ASSERT_TRUE(settings.Write(setting::kPrecision, "refined"));
    const auto refined = run(1);
    // Off the axis the ball images wider than it is: the refined location lies farther away.
    EXPECT_LT(refined.first.z, standard.first.z);
    pipeline.PinPrecision(an::Precision::kStandard);
    const auto pinned = run(0);
    EXPECT_EQ(pinned, standard);
}

// The run itself prints nothing: its summary says which steps ran, how long, how it ended.
TEST_F(AnalysisPipelineTest, TheRunReturnsItsSummaryAndPrintsNothing) {
    const AnalysisSummary done = pipeline.RunAnalysis(image);
    ASSERT_TRUE(done);
    EXPECT_TRUE(messages.Lines().empty());
    const AnalysisStep order[] = {AnalysisStep::kPixelStats,      AnalysisStep::kFindDiscs,
                                  AnalysisStep::kRefineDiscEdges, AnalysisStep::kRefineBallEdges,
                                  AnalysisStep::kFindMarks,       AnalysisStep::kGroupMarks,
                                  AnalysisStep::kFindPlane,       AnalysisStep::kProcessScene};
    ASSERT_EQ(done.stepCount, 8);
    double stepTotal = 0.0;
    for (int i = 0; i < done.stepCount; ++i) {
        EXPECT_EQ(done.steps[i].step, order[i]) << AnalysisStepName(done.steps[i].step);
        EXPECT_GE(done.steps[i].milliseconds, 0.0);
        stepTotal += done.steps[i].milliseconds;
    }
    EXPECT_LE(stepTotal, done.seconds * 1000.0);
    EXPECT_EQ(std::tuple(done.errorCode, done.warningCount, done.warnings[0]),
              std::tuple(0, image.result.warningCount, image.result.warningCodes[0]));
    EXPECT_EQ(done.pixelsPerInch, pipeline.Analyzer()->pixelsPerInch());

    // A run that stops: the steps before the failing one, and its code.
    kt::DrawnFrame oneBall = kt::TwoBalls();
    oneBall.balls.pop_back();
    kt::Draw(oneBall, image);
    const AnalysisSummary stopped = pipeline.RunAnalysis(image);
    EXPECT_FALSE(stopped);
    EXPECT_EQ(std::tuple(stopped.stepCount, stopped.steps[0].step, stopped.errorCode),
              std::tuple(1, AnalysisStep::kPixelStats, an::kOnlyOneBallFound));
    PrintAnalysis(stopped, image, AnalysisOptions{.showTiming = true}, messages);
    EXPECT_EQ(messages.Lines(),
              (std::vector<std::string>{"Processing image",
                                        "   PixelStats: " +
                                            [&] {
                                                char t[32];
                                                std::snprintf(t, sizeof t, "%.1lf",
                                                              stopped.steps[0].milliseconds);
                                                return std::string(t);
                                            }(),
                                        "Analysis terminated: only one ball found"}));
}

TEST_F(AnalysisPipelineTest, FailuresStoreOnlyTheirCode) {
    kt::DrawnFrame oneBall = kt::TwoBalls();
    oneBall.balls.pop_back();
    kt::Draw(oneBall, image);
    image.result.warningCount = 3;  // kept: only the error code is stored on failure
    EXPECT_FALSE(Run());
    EXPECT_FALSE(pipeline.AnalysisDone());
    EXPECT_EQ(image.result.errorCode, an::kOnlyOneBallFound);
    EXPECT_EQ(image.result.warningCount, 3);
    // The frame of the message comes from the string table of the language shown.
    kyvern::base::SetLanguage(kyvern::base::Language::kJapanese);
    EXPECT_FALSE(Run());
    kyvern::base::SetLanguage(kyvern::base::Language::kEnglish);
    EXPECT_EQ(messages.Lines().back(), "解析を中止しました: only one ball found");

    kt::Draw(kt::DrawnFrame{}, image);
    EXPECT_FALSE(Run());
    EXPECT_EQ(image.result.errorCode, an::kNoBallsFound);
    // A frame beyond the working buffer cannot be loaded: the statistics refuse, code 0.
    image.width = 2000;
    image.result.errorCode = 5;
    EXPECT_FALSE(Run());
    EXPECT_EQ(image.result.errorCode, 0);
    // Codes beyond the tables read as missing, never beyond them.
    EXPECT_STREQ(an::ErrorText(10), "doubtful shot");
    EXPECT_STREQ(an::ErrorText(11), "missing error code");
    EXPECT_STREQ(an::ErrorText(-1), "missing error code");
    EXPECT_STREQ(an::WarningText(13), "missing warning code");
    EXPECT_STREQ(an::WarningText(-1), "missing warning code");
}

TEST_F(AnalysisPipelineTest, WarningsAreListedNewestFirstAndCapped) {
    kt::DrawnFrame f = kt::TwoBalls();
    for (auto& b : f.balls)
        b.bandNormal = {};  // no marks: the planes fail as warnings
    kt::Draw(f, image);
    ASSERT_TRUE(Run());
    EXPECT_EQ(LinesStartingWith(messages, "Warning: "), 3);
    EXPECT_EQ(image.result.warningCount, 3);
    EXPECT_EQ(image.result.warningCodes[0], an::kNoValidMarks);
    EXPECT_EQ(image.result.warningCodes[2], an::kBallTooFar);
    EXPECT_EQ(image.result.balls[0].viewNormal, Xyz(0, 0, 0));

    ImageAnalyzer a(1.68);
    for (int i = 0; i < 30; ++i)
        a.AddWarning(1 + i % 12);
    EXPECT_EQ(a.WarningCount(), 20);  // the 21st and later are dropped
    EXPECT_EQ(a.Warning(19), 8);      // the 20th added, 1 + 19 % 12
    a.BeginWarnings();
    for (int i = 0; i < 20; ++i)
        a.NextWarningText();
    EXPECT_STREQ(a.NextWarningText(), "");  // and stays at the end
    EXPECT_STREQ(a.NextWarningText(), "");
    std::vector<std::uint8_t> frame(16, 0);
    a.SetFrame(frame.data(), 4, 4);
    EXPECT_EQ(a.WarningCount(), 0);
}

TEST(BallDataPrintout, BallsNearTheLensAndScalesBelowOneAreLeftOut) {
    BallRecord b0, b1;
    b0.loc.Set(0, 0, 0.3);
    b0.pix.Set(100, 200, 130);
    b1.loc.Set(1, 2, -20);
    b1.pix.Set(400, 600, 131);
    TextMessageList messages;
    an::PrintBallData(messages, b0, b1, 0.9);
    EXPECT_EQ(LinesStartingWith(messages, "Ball 0:"), 0);
    EXPECT_EQ(LinesStartingWith(messages, "Ball 1:"), 1);
    EXPECT_EQ(messages.Lines().back(), "     Dx:  0.000 inches");
}

}  // namespace
