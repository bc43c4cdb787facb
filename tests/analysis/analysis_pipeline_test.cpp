#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/analysis_codes.h"
#include "analysis/analysis_pipeline.h"
#include "analysis/test_frames.h"
#include "base/string_table.h"
#include "support/temp_dir.h"

namespace {

using kyvern::analysis::AnalysisPipeline;
using kyvern::analysis::BallRecord;
using kyvern::analysis::CapturedImage;
using kyvern::analysis::ErrorText;
using kyvern::analysis::ImageAnalyzer;
using kyvern::analysis::WarningText;
using kyvern::base::TextMessageList;
namespace kt = kyvern::testing;

using Settings = kyvern::testing::SettingsFile;

std::string Format(const char* format, double a, double b, double c) {
    char line[128];
    std::snprintf(line, sizeof line, format, a, b, c);
    return line;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

TEST(AnalysisPipeline, SuccessfulRunPrintsAndStores) {
    Settings settings("[Setup]\nShowTiming=YES\nShowBallData=yes\n");
    AnalysisPipeline pipeline(1.68, settings.Path());
    EXPECT_EQ(pipeline.Analyzer(), nullptr);
    CapturedImage image;
    const kt::DrawnFrame f = kt::TwoBalls();
    kt::Draw(f, image);
    image.result.balls[0].time = 0.25;  // the capture's, not the analysis's
    TextMessageList messages;
    ASSERT_TRUE(pipeline.RunAnalysis(image, messages));
    EXPECT_TRUE(pipeline.AnalysisDone());
    ImageAnalyzer* a = pipeline.Analyzer();
    ASSERT_NE(a, nullptr);

    const std::vector<std::string>& lines = messages.Lines();
    const char* steps[] = {
        "   PixelStats: ", "   FindDiscs: ",  "   RefineDiscEdges: ", "   RefineBallEdges: ",
        "   FindMarks: ",  "   GroupMarks: ", "   FindPlane: ",       "   ProcessScene: "};
    ASSERT_EQ(lines.size(), 26u);
    EXPECT_EQ(lines[0], "Processing image");
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(StartsWith(lines[std::size_t(1 + i)], steps[i]));
    EXPECT_TRUE(StartsWith(lines[9], "Analysis complete: "));
    EXPECT_EQ(lines[9].size(), std::string("Analysis complete: 0.000").size());
    EXPECT_EQ(lines[10], "Warning: ball too far");

    const BallRecord& b0 = image.result.balls[0];
    const BallRecord& b1 = image.result.balls[1];
    std::vector<std::string> expected = {
        "",
        "Ball 0:",
        Format("     pix=%.1f, %.1f   d=%.1f", b0.pix.x, b0.pix.y, b0.pix.z) +
            "   lum=" + std::to_string(b0.lum),
        Format("     loc=%.3f, %.3f, %.3f", b0.loc.x, b0.loc.y, b0.loc.z),
        Format("     rot=%.3f, %.3f, %.3f", b0.viewNormal.x, b0.viewNormal.y, b0.viewNormal.z),
        "",
        "Ball 1:",
        Format("     pix=%.1f, %.1f   d=%.1f", b1.pix.x, b1.pix.y, b1.pix.z) +
            "   lum=" + std::to_string(b1.lum),
        Format("     loc=%.3f, %.3f, %.3f", b1.loc.x, b1.loc.y, b1.loc.z),
        Format("     rot=% .3f, %.3f, %.3f", b1.viewNormal.x, b1.viewNormal.y, b1.viewNormal.z),
        "",
        "Deltas:",
    };
    ASSERT_EQ(lines.size(), 11 + expected.size() + 3);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(lines[11 + i], expected[i]);
    const double pix = std::hypot(b1.pix.x - b0.pix.x, b1.pix.y - b0.pix.y);
    const double ppi = a->pixelsPerInch();
    char line[96];
    std::snprintf(line, sizeof line, "     PPI: %.3f pixels", ppi);
    EXPECT_EQ(lines[lines.size() - 3], line);
    std::snprintf(line, sizeof line, "     Pix: %.3f pixels", pix);
    EXPECT_EQ(lines[lines.size() - 2], line);
    std::snprintf(line, sizeof line, "     Dx:  %.3f inches", pix / ppi);
    EXPECT_EQ(lines[lines.size() - 1], line);

    // The stored result.
    EXPECT_EQ(image.result.errorCode, 0);
    ASSERT_EQ(image.result.warningCount, 1);
    EXPECT_EQ(image.result.warningCodes[0], kyvern::analysis::kBallTooFar);
    EXPECT_STREQ(image.result.warningTexts[0], "ball too far");
    EXPECT_EQ(image.result.histogram, a->Histogram());
    EXPECT_EQ(image.result.backgroundLevel, a->BackgroundLevel());
    EXPECT_EQ(image.result.meanLevel, a->MeanLevel());
    EXPECT_EQ(b0.pix, a->Ball(0).pix);
    EXPECT_EQ(b1.loc, a->Ball(1).location);
    EXPECT_EQ(b1.planeNormal, a->Ball(1).planeNormal);
    EXPECT_EQ(b1.viewNormal, a->Ball(1).viewNormal);
    EXPECT_EQ(b0.markCount, a->Ball(0).markCount);
    EXPECT_GT(b0.markCount, 0);
    EXPECT_EQ(b0.time, 0.25);
    EXPECT_DOUBLE_EQ(pipeline.ViewDistance(), -(b0.loc.z + b1.loc.z) / 2);
    // The drawn centres lie (400.5, -50.4) apart.
    EXPECT_NEAR(pix, std::hypot(400.5, 50.4), 0.5);
}

TEST(AnalysisPipeline, TimingNeedsYesAndPreprocessHasItsLine) {
    Settings settings("[Setup]\nShowTiming=y\n");
    AnalysisPipeline pipeline(1.68, settings.Path());
    CapturedImage image;
    kt::Draw(kt::TwoBalls(), image);
    TextMessageList messages;
    ASSERT_TRUE(pipeline.RunAnalysis(image, messages));
    EXPECT_EQ(messages.Lines(), (std::vector<std::string>{"Processing image", messages.Lines()[1],
                                                          "Warning: ball too far"}));
    EXPECT_TRUE(StartsWith(messages.Lines()[1], "Analysis complete: "));

    Settings timing("[Setup]\nShowTiming=Yes\n");
    AnalysisPipeline stretched(1.68, timing.Path());
    EXPECT_FALSE(stretched.Process());
    stretched.SetProcess(true);
    messages.Clear();
    ASSERT_TRUE(stretched.RunAnalysis(image, messages));
    EXPECT_TRUE(StartsWith(messages.Lines()[2], "   PreprocessImage: "));
    EXPECT_TRUE(StartsWith(messages.Lines()[3], "   FindDiscs: "));
}

TEST(AnalysisPipeline, OneBallTerminatesWithItsText) {
    Settings settings("[Setup]\nShowTiming=yes\n");
    AnalysisPipeline pipeline(1.68, settings.Path());
    CapturedImage image;
    kt::DrawnFrame f = kt::TwoBalls();
    f.balls.pop_back();
    kt::Draw(f, image);
    image.result.warningCount = 3;  // kept: only the error code is stored on failure
    TextMessageList messages;
    EXPECT_FALSE(pipeline.RunAnalysis(image, messages));
    EXPECT_FALSE(pipeline.AnalysisDone());
    ASSERT_EQ(messages.Lines().size(), 3u);
    EXPECT_EQ(messages.Lines()[0], "Processing image");
    EXPECT_TRUE(StartsWith(messages.Lines()[1], "   PixelStats: "));
    EXPECT_EQ(messages.Lines()[2], "Analysis terminated: only one ball found");
    EXPECT_EQ(image.result.errorCode, 2);
    EXPECT_EQ(image.result.warningCount, 3);

    // Japanese texts for the string-table formats.
    kyvern::base::SetLanguage(kyvern::base::Language::kJapanese);
    messages.Clear();
    EXPECT_FALSE(pipeline.RunAnalysis(image, messages));
    kyvern::base::SetLanguage(kyvern::base::Language::kEnglish);
    EXPECT_EQ(messages.Lines().back(), "解析を中止しました: only one ball found");
}

TEST(AnalysisPipeline, BlankAndOversizedFrames) {
    Settings settings("");
    AnalysisPipeline pipeline(1.68, settings.Path());
    CapturedImage image;
    kt::DrawnFrame blank;
    kt::Draw(blank, image);
    TextMessageList messages;
    EXPECT_FALSE(pipeline.RunAnalysis(image, messages));
    EXPECT_EQ(messages.Lines().back(), "Analysis terminated: no balls found");
    EXPECT_EQ(image.result.errorCode, 1);
    // A frame beyond the working buffer cannot be loaded: the statistics refuse, code 0.
    image.width = 2000;
    image.height = 768;
    image.result.errorCode = 5;
    messages.Clear();
    EXPECT_FALSE(pipeline.RunAnalysis(image, messages));
    EXPECT_EQ(messages.Lines().back(), "Analysis terminated: no error");
    EXPECT_EQ(image.result.errorCode, 0);
}

TEST(AnalysisPipeline, PlaneFailuresAreWarningsNewestFirst) {
    Settings settings("");
    AnalysisPipeline pipeline(1.68, settings.Path());
    CapturedImage image;
    kt::DrawnFrame f = kt::TwoBalls();
    for (auto& b : f.balls)
        b.bandNormal = {};
    kt::Draw(f, image);
    TextMessageList messages;
    ASSERT_TRUE(pipeline.RunAnalysis(image, messages));
    const auto& lines = messages.Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], "Warning: ball too far");
    EXPECT_EQ(lines[3], "Warning: no valid marks");
    EXPECT_EQ(lines[4], "Warning: no valid marks");
    EXPECT_EQ(image.result.warningCount, 3);
    EXPECT_EQ(image.result.warningCodes[0], kyvern::analysis::kNoValidMarks);
    EXPECT_EQ(image.result.warningCodes[2], kyvern::analysis::kBallTooFar);
    EXPECT_EQ(image.result.balls[0].viewNormal, kyvern::analysis::Xyz(0, 0, 0));
}

TEST(AnalysisWarnings, IterationAndCapacity) {
    ImageAnalyzer a(1.68);
    a.AddWarning(6);
    a.AddWarning(5);
    a.AddWarning(3);
    a.BeginWarnings();
    EXPECT_STREQ(a.NextWarningText(), "ball too small");
    EXPECT_STREQ(a.NextWarningText(), "ball too close");
    EXPECT_STREQ(a.NextWarningText(), "ball too far");
    EXPECT_STREQ(a.NextWarningText(), "");
    EXPECT_STREQ(a.NextWarningText(), "");
    for (int i = 0; i < 30; ++i)
        a.AddWarning(1 + i % 12);
    EXPECT_EQ(a.WarningCount(), 20);  // the 21st and later are dropped
    EXPECT_EQ(a.Warning(19), 5);
    std::vector<std::uint8_t> frame(16, 0);
    a.SetFrame(frame.data(), 4, 4);
    EXPECT_EQ(a.WarningCount(), 0);
}

TEST(AnalysisCodes, Tables) {
    const char* errors[] = {"no error",
                            "no balls found",
                            "only one ball found",
                            "low ball edge quality",
                            "low ball edge quality",
                            "low ball edge quality",
                            "low ball edge quality",
                            "invalid ball speed",
                            "invalid launch angle",
                            "invalid side angle"};
    for (int i = 0; i < 10; ++i)
        EXPECT_STREQ(ErrorText(i), errors[i]);
    EXPECT_STREQ(ErrorText(10), "missing error code");
    EXPECT_STREQ(ErrorText(42), "missing error code");
    EXPECT_STREQ(ErrorText(-1), "missing error code");
    const char* warnings[] = {"no warnings",
                              "low contrast",
                              "uneven illumination",
                              "ball too small",
                              "ball edge quality low",
                              "ball too close",
                              "ball too far",
                              "no valid marks",
                              "marks too small",
                              "speed out of range",
                              "launch angle out of range",
                              "reversing spin marks",
                              "marks"};
    for (int i = 0; i < 13; ++i)
        EXPECT_STREQ(WarningText(i), warnings[i]);
    EXPECT_STREQ(WarningText(13), "missing warning code");
    EXPECT_STREQ(WarningText(-1), "missing warning code");
}

TEST(BallDataPrintout, BallsNearTheLensAreLeftOut) {
    BallRecord b0;
    BallRecord b1;
    b0.loc.Set(0, 0, 0.3);
    b0.pix.Set(100, 200, 130);
    b1.loc.Set(1, 2, -20);
    b1.pix.Set(400, 600, 131);
    b1.lum = 187;
    b1.viewNormal.Set(0.5, -0.25, 0.125);
    TextMessageList messages;
    kyvern::analysis::PrintBallData(messages, b0, b1, 0.9);
    EXPECT_EQ(messages.Lines(),
              (std::vector<std::string>{
                  "", "Ball 1:", "     pix=400.0, 600.0   d=131.0   lum=187",
                  "     loc=1.000, 2.000, -20.000", "     rot= 0.500, -0.250, 0.125", "", "Deltas:",
                  "     PPI: 0.900 pixels", "     Pix: 500.000 pixels", "     Dx:  0.000 inches"}));
}

}  // namespace
