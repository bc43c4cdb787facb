#include "ui/shot_analysis_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>

#include "base/string_table.h"
#include "report/analysis_drawing.h"
#include "support/recording_prompts.h"
#include "support/temp_home.h"

namespace kyvern::ui {
namespace {

using testing::RecordingPrompts;

class ShotAnalysisWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_.Set("Setup", "SpeedDisplay", "MPH");
        home_.Set("Setup", "DistanceDisplay", "Yards");
    }
    void Enter(const char* speed, const char* spin, const char* launch, const char* sideSpin = "0",
               const char* sideAngle = "0") {
        window_.SpeedField()->setText(speed);
        window_.SpinField()->setText(spin);
        window_.LaunchField()->setText(launch);
        window_.SideSpinField()->setText(sideSpin);
        window_.SideAngleField()->setText(sideAngle);
    }
    QString Cell(int row, int column) { return window_.TableWidget()->item(row, column)->text(); }

    testing::TempHome home_;
    std::string path_ = home_.Settings();
    RecordingPrompts prompts_;
    ShotAnalysisWindow window_{path_, &prompts_};
};

// The bounds through the fields and buttons: a refused value shows its message, leaves the
// distances and the plot as they were.
TEST_F(ShotAnalysisWindowTest, ButtonsCheckTheFields) {
    const struct {
        const char* speed;
        const char* spin;
        const char* launch;
        const char* message;
    } cases[] = {
        {"9.99", "3000", "12", nullptr}, {"6", "3000", "12", "Invalid Ball Speed value"},
        {"120", "3000", "60", nullptr},  {"120", "3000", "60.1", "Invalid Launch Angle value"},
        {"120", "-1000", "12", nullptr}, {"120", "-1001", "12", "Invalid BackSpin value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.speed) + " " + c.spin + " " + c.launch);
        prompts_.messages.clear();
        window_.CarryField()->clear();
        Enter(c.speed, c.spin, c.launch);
        window_.AnalyzeButton()->click();
        window_.PlotButton()->click();
        if (c.message) {
            EXPECT_EQ(prompts_.messages, (std::vector<std::string>{c.message, c.message}));
            EXPECT_TRUE(window_.CarryField()->text().isEmpty());
        } else {
            EXPECT_TRUE(prompts_.messages.empty());
            EXPECT_FALSE(window_.CarryField()->text().isEmpty());
        }
    }
    EXPECT_EQ(window_.Analysis().Plots().size(), 3u);
}

// 2500 rpm on a golf ball with the window's odd row count: the first row is centred on the
// shot but never below 1000 rpm; the shot's own cell is yellow.
TEST_F(ShotAnalysisWindowTest, TableRowsColumnsAndTheMarkedCell) {
    Enter("150", "2500", "12.5");
    ASSERT_TRUE(window_.Analyze());
    const app::AnalysisTable& table = window_.Table();
    EXPECT_EQ(table.firstSpin, 1000.0);  // 2500 - 7 x 250 = 750, raised
    EXPECT_EQ(Cell(1, 0), "1250");
    EXPECT_EQ(Cell(ShotAnalysisWindow::kTableRows, 0), "4750");
    EXPECT_EQ(Cell(0, 1), "9.5");  // (25 - 7) x 0.5 + 0.5
    ASSERT_EQ(table.markedRow, 6);
    ASSERT_EQ(table.markedColumn, 7);
    EXPECT_EQ(Cell(6, 0), "2500");
    EXPECT_EQ(Cell(0, 7), "12.5");
    const QTableWidgetItem* marked = window_.TableWidget()->item(6, 7);
    EXPECT_EQ(marked->background().color(), QColor(255, 255, 0));
    EXPECT_EQ(marked->foreground().color(), QColor(1, 1, 1));
    EXPECT_EQ(window_.TableWidget()->item(6, 6)->background().color(), QColor(32, 32, 32));
    EXPECT_EQ(Cell(6, 7), window_.CarryField()->text());

    // Remote refresh: the shot's values go in and Analyze runs without message boxes.
    shot::LaunchConditions bad;
    bad.Set(50.0, 70.0, 0.0, 3000.0, 3000.0, 0.0);
    window_.ShowShot(bad);
    EXPECT_TRUE(prompts_.messages.empty());
    EXPECT_EQ(window_.LaunchField()->text(), "70.0");
    EXPECT_EQ(window_.SpeedField()->text(), "34.1");
}

// Twenty plots at most; their dots are drawn inside the plot at the trajectory's places and
// nothing under the ground line.
TEST_F(ShotAnalysisWindowTest, TwentyPlotsDrawnWhereTheTrajectorySays) {
    window_.ColourChoice()->setCurrentIndex(1);  // Red
    for (int i = 0; i < 20; ++i) {
        Enter(std::to_string(90 + 3 * i).c_str(), "3000", std::to_string(8 + i).c_str());
        ASSERT_TRUE(window_.Plot()) << i;
    }
    Enter("6", "3000", "12");  // nothing, not even the speed's message
    EXPECT_FALSE(window_.Plot());
    EXPECT_TRUE(prompts_.messages.empty());
    EXPECT_EQ(window_.Analysis().Plots().size(), 20u);

    QImage image(640, 480, QImage::Format_RGB32);
    QPainter painter(&image);
    report::DrawAnalysisPlot(painter, QRectF(0, 0, 640, 480),
                             report::PlotDataOf(window_.Analysis()));
    painter.end();
    const auto flights = window_.Analysis().PlotFlights();
    int checked = 0;
    for (const app::PlotDot& dot : app::ShotAnalysis::PlotDots(flights.back(), 0)) {
        const QColor c = image.pixelColor(static_cast<int>(dot.x), static_cast<int>(dot.y));
        EXPECT_GT(c.red(), 150) << dot.x << "," << dot.y;
        EXPECT_LT(c.green(), 90) << dot.x << "," << dot.y;
        ++checked;
    }
    EXPECT_GT(checked, 20);
    // Under the ground line only the ground: a dot at height 0 reaches 2.5 pixels below it.
    for (int x = 0; x < 640; ++x)
        for (int y = 218; y < 225; ++y)
            ASSERT_LT(image.pixelColor(x, y).red(), 150) << x;

    window_.ClearPlotButton()->click();
    EXPECT_TRUE(window_.Analysis().Plots().empty());
}

// A speed unit changed elsewhere rewrites the field; Exit writes the two options; Reports
// asks the main window.
TEST_F(ShotAnalysisWindowTest, UnitChangeExitAndReports) {
    Enter("100", "3000", "12");
    home_.Set("Setup", "SpeedDisplay", "FPS");
    window_.SettingsChanged();
    EXPECT_EQ(window_.SpeedField()->text(), "146.7");
    EXPECT_EQ(window_.SpeedUnitLabel()->text(), "FPS");

    QSignalSpy reports(&window_, &ShotAnalysisWindow::reportsRequested);
    window_.ReportsButton()->click();
    EXPECT_EQ(reports.count(), 1);

    window_.ColourChoice()->setCurrentIndex(4);
    window_.DistanceChoice()->setCurrentIndex(1);
    EXPECT_EQ(home_.Get("Analysis", "PlotColor"), "<missing>");
    window_.ExitButton()->click();
    EXPECT_EQ(home_.Get("Analysis", "PlotColor"), "4");
    EXPECT_EQ(home_.Get("Analysis", "DistanceType"), "1");

    ShotAnalysisWindow reopened(path_, &prompts_);
    EXPECT_EQ(reopened.ColourChoice()->currentIndex(), 4);
    EXPECT_EQ(reopened.DistanceChoice()->currentIndex(), 1);
}

// In Japanese the window's labels and its messages are Japanese.
TEST_F(ShotAnalysisWindowTest, JapaneseLabelsAndMessages) {
    base::SetLanguage(base::Language::kJapanese);
    ShotAnalysisWindow japanese(path_, &prompts_);
    EXPECT_EQ(japanese.AnalyzeButton()->text(), "解析(&A)");
    EXPECT_EQ(japanese.ColourChoice()->itemText(0), "青");
    EXPECT_EQ(japanese.DistanceChoice()->itemText(2), "ラン");
    japanese.SpeedField()->setText("6");
    japanese.LaunchField()->setText("12");
    EXPECT_FALSE(japanese.Analyze());
    base::SetLanguage(base::Language::kEnglish);
    EXPECT_EQ(prompts_.messages, std::vector<std::string>{"ボール速度の値が無効です"});
}

}  // namespace
}  // namespace kyvern::ui
