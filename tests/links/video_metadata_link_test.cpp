#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "link_fixtures.h"
#include "links/video_metadata_link.h"

namespace kyvern::links {
namespace {

using Recorder = testing::MetadataRecorder;
using testing::TempHome;

TEST(VideoMetadataLink, InertWithoutEveryAutomationObject) {
    TempHome env;
    for (int failAt : {-2, 0, 3, 4, 19}) {
        Recorder recorder(failAt);
        VideoMetadataLink link(failAt == -2 ? nullptr : &recorder);
        EXPECT_FALSE(link.Init() || link.Enabled() || link.StartShot() ||
                     link.SetBall(220, 3000, -300, 12, 1) || link.SetScore(90) || link.Commit())
            << failAt;
        EXPECT_EQ(recorder.calls, 0);
    }
}

TEST(VideoMetadataLink, SixteenStreamsCarryTheShotInDisplayUnits) {
    TempHome env;
    env.Set("Setup", "SpeedDisplay", "KPH");
    env.Set("Setup", "DistanceDisplay", "meters");
    Recorder recorder;
    VideoMetadataLink link(&recorder);
    ASSERT_TRUE(link.Init());
    EXPECT_EQ(recorder.held, kMetadataStreams);
    EXPECT_EQ(recorder.sends, 0);

    // A shot starts with every stream at 0 and is sent at once; then the values follow.
    ASSERT_TRUE(link.StartShot());
    EXPECT_EQ(recorder.values, std::vector<float>(kMetadataStreams, 0.0f));
    EXPECT_EQ(recorder.sends, 1);
    ASSERT_TRUE(link.SetBall(220, 3000.5, -300.25, 12.5, -1.75));
    ASSERT_TRUE(link.SetCarry(600, -30, 6.5));
    ASSERT_TRUE(link.SetTotal(660, -33, 60));
    ASSERT_TRUE(link.SetClub(150, -2.5, 1.25, 0.5));
    ASSERT_TRUE(link.SetScore(87.5));
    EXPECT_EQ(recorder.sends, 1);
    ASSERT_TRUE(link.Commit());
    EXPECT_EQ(recorder.sends, 2);
    const double m = 0.9144 / 3;  // metres in a foot
    const double kph = 0.3048 * 3.6;
    const std::vector<double> sent = {220 * kph, 3000.5, -300.25, 12.5,    -1.75,  600 * m,
                                      -30 * m,   6.5,    660 * m, -33 * m, 60 * m, 150 * kph,
                                      -2.5,      1.25,   0.5,     87.5};
    EXPECT_EQ(recorder.values, std::vector<float>(sent.begin(), sent.end()));
}

TEST(VideoMetadataLink, UnitsOfTheSettingsAndAnUnknownWordKeepsTheLast) {
    TempHome env;
    VideoMetadataLink link;
    // Speed and distance words; 220 ft/s and 600 ft in those units.
    const struct {
        const char *speed, *distance;
        double fps220, feet600;
    } cases[] = {{nullptr, nullptr, 150.0, 200.0},
                 {"mps", "Yards", 67.056, 200.0},
                 {"FPS", "Feet", 220.0, 600.0},
                 {"knots", "furlongs", 220.0, 600.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.speed ? c.speed : "unset");
        if (c.speed) {
            env.Set("Setup", "SpeedDisplay", c.speed);
            env.Set("Setup", "DistanceDisplay", c.distance);
            link.ReadUnits();
        }
        EXPECT_FLOAT_EQ(float(link.ConvertSpeed(220)), float(c.fps220));
        EXPECT_FLOAT_EQ(float(link.ConvertDistance(600)), float(c.feet600));
    }
}

}  // namespace
}  // namespace kyvern::links
