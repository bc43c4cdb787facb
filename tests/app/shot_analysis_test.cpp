#include "app/shot_analysis.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/config_store.h"
#include "support/recording_prompts.h"
#include "support/temp_dir.h"

namespace kyvern::app {
namespace {

using testing::RecordingPrompts;
using testing::TempDir;

class ShotAnalysisTest : public ::testing::Test {
protected:
    void Set(const char* section, const char* key, const std::string& value) {
        base::ConfigStore::WriteSetting(path_, section, key, value);
    }
    std::string Get(const char* section, const char* key) {
        return base::ConfigStore::ReadSetting(path_, section, key, "<missing>", 80);
    }

    TempDir dir_;
    std::string path_ = dir_.File("Kyvern.ini");
    RecordingPrompts prompts_;
    ShotAnalysis analysis_{path_, prompts_};
};

AnalysisFields Fields(const char* speed, const char* spin, const char* launch, const char* sideSpin,
                      const char* sideAngle) {
    return {speed, spin, launch, sideSpin, sideAngle};
}

// Each bound is inclusive, the speed is taken in the display unit, the checks stop at the first
// failure in their order, and a speed under 0.1 ft/s ends silently.
TEST_F(ShotAnalysisTest, ChecksTheFieldsInOrderWithTheirMessages) {
    struct Case {
        const char* unit;
        AnalysisFields fields;
        const char* message;  // nullptr: accepted or silent
        bool accepted;
    };
    const Case cases[] = {
        {"FPS", Fields("10", "3000", "12", "0", "0"), nullptr, true},
        {"FPS", Fields("400", "3000", "12", "0", "0"), nullptr, true},
        {"FPS", Fields("400.1", "3000", "12", "0", "0"), "Invalid Ball Speed value", false},
        {"MPH", Fields("0.05", "99999", "99", "0", "0"), nullptr, false},
        {"MPH", Fields("abc", "3000", "12", "0", "0"), nullptr, false},
        {"FPS", Fields("200", "3000", "0.9", "0", "0"), "Invalid Launch Angle value", false},
        {"FPS", Fields("200", "3000", "12", "0", "-20"), nullptr, true},
        {"FPS", Fields("200", "3000", "12", "0", "20.5"), "Invalid Side Angle value", false},
        {"FPS", Fields("200", "15001", "12", "0", "0"), "Invalid BackSpin value", false},
        {"FPS", Fields("200", "3000", "12", "8000", "0"), nullptr, true},
        {"FPS", Fields("200", "3000", "12", "-8001", "0"), "Invalid Sidespin value", false},
        // Order: the speed is named before the launch, the side angle before the spins.
        {"FPS", Fields("5", "3000", "70", "0", "0"), "Invalid Ball Speed value", false},
        {"FPS", Fields("200", "-5000", "12", "9000", "30"), "Invalid Side Angle value", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.unit) + " " + c.fields.ballSpeed + " " + c.fields.launchAngle);
        Set("Setup", "SpeedDisplay", c.unit);
        analysis_.ReadSettings();  // the fields are typed in the new unit
        for (bool quiet : {false, true}) {
            prompts_.messages.clear();
            analysis_.SetQuiet(quiet);
            AnalysisFields fields = c.fields;
            EXPECT_EQ(analysis_.ReadFields(fields).has_value(), c.accepted);
            if (c.message && !quiet) {
                ASSERT_EQ(prompts_.messages.size(), 1u);
                EXPECT_EQ(prompts_.messages[0], c.message);
            } else {
                EXPECT_TRUE(prompts_.messages.empty());
            }
        }
    }
    Set("Setup", "SpeedDisplay", "MPH");
    analysis_.ReadSettings();
    AnalysisFields fields = Fields("100", "2500", "12.5", "-300", "1.5");
    const auto shot = analysis_.ReadFields(fields);
    ASSERT_TRUE(shot);
    EXPECT_DOUBLE_EQ(shot->ballSpeed, 146.66666666666666);
    EXPECT_EQ(shot->backSpin, 2500.0);
    EXPECT_EQ(shot->launchAngle, 12.5);
    EXPECT_EQ(shot->sideSpin, -300.0);
    EXPECT_EQ(shot->sideAngle, 1.5);
}

// A unit changed while the window is open rewrites the speed field through ft/s, and the next
// read takes the number in the new unit.
TEST_F(ShotAnalysisTest, UnitChangeRewritesTheSpeedField) {
    Set("Setup", "SpeedDisplay", "MPH");
    AnalysisFields fields = Fields("100", "2500", "12", "0", "0");
    ASSERT_TRUE(analysis_.ReadFields(fields));
    Set("Setup", "SpeedDisplay", "KPH");
    const auto shot = analysis_.ReadFields(fields);
    EXPECT_EQ(fields.ballSpeed, "160.9");
    ASSERT_TRUE(shot);
    EXPECT_NEAR(shot->ballSpeed, 146.67, 0.05);
}

TEST_F(ShotAnalysisTest, OptionsOutOfTheirListsBecomeZero) {
    const struct {
        const char* colour;
        const char* distance;
        int wantColour;
        int wantDistance;
    } cases[] = {{"4", "2", 4, 2}, {"5", "3", 0, 0}, {"-1", "-1", 0, 0}, {"x", "1", 0, 1}};
    for (const auto& c : cases) {
        Set("Analysis", "PlotColor", c.colour);
        Set("Analysis", "DistanceType", c.distance);
        analysis_.LoadOptions();
        EXPECT_EQ(analysis_.PlotColour(), c.wantColour) << c.colour;
        EXPECT_EQ(static_cast<int>(analysis_.DistanceChoice()), c.wantDistance) << c.distance;
    }
}

// The first row and column are centred on the shot, integer halves of the counts, and raised
// to the sport's lowest values; the shot's own cell is marked when it lies in the table.
TEST_F(ShotAnalysisTest, TableGridAndMarkedCell) {
    struct Case {
        const char* ball;
        double spin;
        double launch;
        int rows;
        int columns;
        double firstSpin;
        double firstLaunch;
        int markedRow;  // 0: nothing marked
        int markedColumn;
    };
    const Case cases[] = {
        {"Golf Ball", 2620, 4.0, 7, 9, 1750, 3.0, 3, 2},    // raised to 3 degrees
        {"Golf Ball", 500, 12.0, 5, 5, 1000, 11.0, 0, 0},   // below the lowest row
        {"Golf Ball", 1200, 12.3, 1, 1, 1000, 12.0, 1, 1},  // the last row is a cell too
        {"Baseball", -1000, -4.0, 9, 8, -2000, -6.0, 2, 4},
        {"Softball", 2400, 30.2, 4, 4, 1000, 29.0, 3, 2},
    };
    Set("Setup", "DistanceDisplay", "Yards");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.ball) + " " + std::to_string(c.spin));
        Set("Setup", "Ball", c.ball);
        analysis_.ReadSettings();
        const AnalysisTable table =
            analysis_.Analyze({130.0, c.launch, c.spin, 0.0, 0.0}, c.rows, c.columns);
        EXPECT_EQ(table.firstSpin, c.firstSpin);
        EXPECT_EQ(table.firstLaunch, c.firstLaunch);
        char text[32];
        std::snprintf(text, sizeof text, "%.0f",
                      c.firstSpin + (analysis_.Sport() == 0 ? 250.0 : 500.0));
        EXPECT_EQ(table.rowHeaders[1], text);
        std::snprintf(text, sizeof text, "%.1f", c.firstLaunch + 0.5);
        EXPECT_EQ(table.columnHeaders[1], text);
        EXPECT_EQ(table.markedRow, c.markedRow);
        EXPECT_EQ(table.markedColumn, c.markedColumn);
        int marked = 0;
        for (int i = 1; i <= c.rows; ++i)
            for (int j = 1; j <= c.columns; ++j)
                marked += table.At(i, j).background == kMarkedCell;
        EXPECT_EQ(marked, c.markedRow ? 1 : 0);
    }
}

// A drive's table: the entered shot's own cell gives the reference, longer cells are green,
// shorter ones red, in the display unit.
TEST_F(ShotAnalysisTest, CellsColouredAgainstTheEnteredShot) {
    Set("Setup", "DistanceDisplay", "Meters");
    analysis_.ReadSettings();
    const AnalysisShot drive{230.0, 11.0, 2500.0, 0.0, 0.0};
    const AnalysisTable table = analysis_.Analyze(drive, 9, 9);
    ASSERT_EQ(table.markedRow, 4);
    ASSERT_EQ(table.markedColumn, 4);
    EXPECT_DOUBLE_EQ(table.At(4, 4).value, table.reference);
    EXPECT_EQ(table.At(4, 9).background, kCellLonger);   // higher launch
    EXPECT_EQ(table.At(1, 1).background, kCellShorter);  // low launch, low spin
    EXPECT_EQ(table.At(1, 1).foreground, kCellText);
    Set("Setup", "DistanceDisplay", "Yards");
    analysis_.ReadSettings();
    EXPECT_NEAR(analysis_.Analyze(drive, 9, 9).reference, table.reference / 0.9144, 1e-9);
}

// More than 1 % over the reference is longer, within 1 % either way similar; a negative
// reference (a roll back toward the player) keeps the same meaning.
TEST(ShotAnalysisColours, CellAgainstTheReference) {
    const struct {
        double value;
        double reference;
        Rgb expected;
    } cases[] = {{101.01, 100, kCellLonger}, {101, 100, kCellSimilar}, {99, 100, kCellSimilar},
                 {98.99, 100, kCellShorter}, {-5, -5, kCellSimilar},   {-5.04, -5, kCellSimilar},
                 {-4.9, -5, kCellLonger},    {-5.1, -5, kCellShorter}, {0, 0, kCellSimilar},
                 {0.1, 0, kCellLonger}};
    for (const auto& c : cases)
        EXPECT_EQ(ShotAnalysis::CellBackground(c.value, c.reference), c.expected)
            << c.value << " vs " << c.reference;
}

// Points (feet) become dots at x = 10 + yards × k, y = 215 − yards × k; the first and the last
// point, points under the ground and points off the plot are left out.
TEST_F(ShotAnalysisTest, PlotDotsScaleAndClip) {
    flight::FlightResult flight;
    const double points[][2] = {{0, 0},  {30, 30},  {60, -3},  {0.3, 3}, {2000, 3},
                                {90, 3}, {900, 60}, {915, 99}, {1000, 0}};
    flight.pointCount = 9;
    for (int i = 0; i < flight.pointCount; ++i) {
        flight.pointX[i] = points[i][0];
        flight.pointHeight[i] = points[i][1];
    }
    const auto golf = ShotAnalysis::PlotDots(flight, 0);
    ASSERT_EQ(golf.size(), 4u);  // (30,30), (90,3), (900,60), (915,99)
    EXPECT_DOUBLE_EQ(golf[0].x, 30.0);
    EXPECT_DOUBLE_EQ(golf[0].y, 195.0);
    EXPECT_DOUBLE_EQ(golf[1].x, 70.0);
    EXPECT_DOUBLE_EQ(golf[3].y, 215.0 - 66.0);
    const auto baseball = ShotAnalysis::PlotDots(flight, 1);
    ASSERT_EQ(baseball.size(), 2u);  // 900 ft is 1810 px: off the plot
    EXPECT_DOUBLE_EQ(baseball[0].x, 70.0);
    EXPECT_DOUBLE_EQ(baseball[0].y, 155.0);
    EXPECT_DOUBLE_EQ(baseball[1].x, 190.0);
}

}  // namespace
}  // namespace kyvern::app
