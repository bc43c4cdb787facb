#include "ui/practice_range.h"

#include <gtest/gtest.h>

#include <QImage>

#include "base/config_store.h"
#include "flight/flight_model.h"
#include "support/temp_dir.h"

namespace kyvern::ui {
namespace {

using testing::TempDir;

TEST(PracticeRange, SettingsWords) {
    const struct {
        const char* word;
        int screens;
        std::optional<int> screen;
    } monitors[] = {{"None", 4, {}}, {"Mon1", 4, 0},  {" mon3 ", 4, 2}, {"Mon4", 2, 0},
                    {"Mon2", 2, 1},  {"Mon5", 4, {}}, {"", 1, {}}};
    for (const auto& c : monitors)
        EXPECT_EQ(PracticeRangeScreen(c.word, c.screens), c.screen) << c.word << c.screens;
    const struct {
        const char* word;
        std::optional<int> seconds;
    } popups[] = {{"5", 5},  {"10", 10}, {"Always", 0}, {"ALWAYS", 0},
                  {"0", {}}, {"7", {}},  {"", {}}};
    for (const auto& c : popups)
        EXPECT_EQ(PopupSeconds(c.word), c.seconds) << c.word;
}

// The ball is drawn where the trajectory says at each moment of the animation, and the range
// window and pop-up come and go with their settings.
TEST(PracticeRange, BallFollowsTheTrajectoryAndSettingsOpenTheWindows) {
    TempDir dir;
    const std::string settings = dir.File("Kyvern.ini");
    flight::FlightModel model(flight::ReadFlightOptions(base::SettingsSnapshot::Read(settings)));
    model.Compute(230.0, 12.0, 2600.0, -400.0, 1.0);
    const flight::FlightResult& flight = model.Result();

    QImage image(1280, 720, QImage::Format_RGB32);
    const QRectF area(0, 0, 1280, 720);
    const RangeView view(area);
    const int landing = flight.pointCount - 21;
    for (int point : {landing / 4, landing / 2, landing * 3 / 4}) {
        image.fill(Qt::black);
        QPainter painter(&image);
        DrawPracticeRange(painter, area, &flight, kLandingFraction * point / landing, 0);
        painter.end();
        const QPointF at = view.Project(flight.pointX[point] / 3.0, flight.pointZ[point] / 3.0,
                                        flight.pointHeight[point] / 3.0);
        const QColor ball = image.pixelColor(at.toPoint());
        EXPECT_GT(std::min({ball.red(), ball.green(), ball.blue()}), 235) << point;
        EXPECT_LT(at.y(), view.Project(flight.pointX[point] / 3.0, 0, 0).y()) << point;
    }

    base::ConfigStore::WriteSetting(settings, "Setup", "PracticeRange", "Mon2");
    base::ConfigStore::WriteSetting(settings, "Setup", "DxPopupDisplay", "Always");
    PracticeRange range(settings);
    range.Apply();
    ASSERT_NE(range.Window(), nullptr);  // one screen offscreen: the first
    EXPECT_TRUE(range.Window()->windowFlags() & Qt::FramelessWindowHint);
    shot::ShotRecord shot;
    shot.flight = flight;
    range.ShowShot(shot);
    EXPECT_EQ(range.Window()->Fraction(), 0.0);
    ASSERT_NE(range.Popup(), nullptr);
    EXPECT_TRUE(range.Popup()->isVisible());

    base::ConfigStore::WriteSetting(settings, "Setup", "PracticeRange", "None");
    base::ConfigStore::WriteSetting(settings, "Setup", "DxPopupDisplay", "0");
    range.Apply();
    EXPECT_EQ(range.Window(), nullptr);
    EXPECT_FALSE(range.Popup()->isVisible());
    range.ShowShot(shot);
    EXPECT_FALSE(range.Popup()->isVisible());
}

}  // namespace
}  // namespace kyvern::ui
