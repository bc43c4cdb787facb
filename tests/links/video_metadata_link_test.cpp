#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link_fixtures.h"
#include "links/video_metadata_link.h"

namespace kyvern::links {
namespace {

using testing::TempHome;

// Automation objects that write every call into one shared log.
class RecordingObject final : public DispatchObject {
public:
    RecordingObject(std::string label, std::vector<std::string>& log)
        : label_(std::move(label)), log_(log) {}
    const std::string& Label() const { return label_; }
    void Invoke(int dispatchNumber, const std::vector<DispatchArgument>& arguments) override {
        std::string call = label_ + "." + std::to_string(dispatchNumber) + "(";
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const DispatchArgument& a = arguments[i];
            char real[40];
            std::snprintf(real, sizeof real, "r%.9g", a.real);
            call += i ? ", " : "";
            switch (a.kind) {
                case DispatchArgument::Kind::kText:
                    call += "'" + a.text + "'";
                    break;
                case DispatchArgument::Kind::kInteger:
                    call += std::to_string(a.integer);
                    break;
                case DispatchArgument::Kind::kReal:
                    call += real;
                    break;
                case DispatchArgument::Kind::kObject:
                    call += static_cast<RecordingObject*>(a.object)->Label();
                    break;
                case DispatchArgument::Kind::kObjectReference:
                    call += "&" + static_cast<RecordingObject*>(a.object)->Label();
                    break;
            }
        }
        log_.push_back(call + ")");
    }

private:
    std::string label_;
    std::vector<std::string>& log_;
};

class RecordingFactory final : public DispatchFactory {
public:
    explicit RecordingFactory(int failAt = -1) : failAt_(failAt) {}
    std::unique_ptr<DispatchObject> Create(std::string_view className) override {
        created.emplace_back(className);
        if (static_cast<int>(created.size()) - 1 == failAt_) return nullptr;
        std::string label(className.substr(className.find('.') + 1));
        if (label == "DFMetaDataStream") label = "stream" + std::to_string(streams_++);
        return std::make_unique<RecordingObject>(label, log);
    }
    // The value each stream was last given, from "streamN.2(rX, DFTimeStamp)".
    std::vector<std::string> Values() const {
        std::vector<std::string> values(16);
        for (const std::string& call : log) {
            int stream = -1;
            char value[40];
            if (std::sscanf(call.c_str(), "stream%d.2(%39[^,], DFTimeStamp)", &stream, value) == 2)
                values.at(stream) = value;
        }
        return values;
    }
    std::vector<std::string> created;
    std::vector<std::string> log;

private:
    int failAt_;
    int streams_ = 0;
};

std::string Real(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "r%.9g", static_cast<float>(value));
    return text;
}

TEST(VideoMetadataLink, InertWithoutEveryAutomationObject) {
    TempHome env;
    for (int failAt : {-2, 0, 3, 4, 19}) {
        SCOPED_TRACE(failAt);
        RecordingFactory factory(failAt);
        VideoMetadataLink link(failAt == -2 ? nullptr : &factory);
        EXPECT_FALSE(link.Init());
        EXPECT_FALSE(link.Enabled());
        EXPECT_FALSE(link.StartShot());
        EXPECT_FALSE(link.SetBall(220, 3000, -300, 12, 1));
        EXPECT_FALSE(link.SetScore(90));
        EXPECT_FALSE(link.Commit());
        EXPECT_TRUE(factory.log.empty());
    }
}

TEST(VideoMetadataLink, SixteenStreamsCarryTheShotInDisplayUnits) {
    TempHome env;
    env.Set("Setup", "SpeedDisplay", "KPH");
    env.Set("Setup", "DistanceDisplay", "meters");
    RecordingFactory factory;
    VideoMetadataLink link(&factory);
    ASSERT_TRUE(link.Init());
    ASSERT_EQ(factory.created.size(), 20u);
    EXPECT_EQ(factory.created[2], "DartFishMDTK.DFMetadataSender");
    EXPECT_EQ(factory.created[19], "DartFishMDTK.DFMetaDataStream");
    EXPECT_EQ(factory.log[2], "DFMetadata.1('Kyvern Launch System', 1000)");
    const char* names[] = {"Ball Speed",      "BackSpin",   "SideSpin",   "Launch Angle",
                           "Side Angle",      "Carry DR",   "Carry OL",   "Flight Time",
                           "Total DR",        "Total OL",   "Roll",       "Club Speed",
                           "Angle of Attack", "Path Angle", "Face Angle", "Score"};
    for (int i = 0; i < 16; ++i) {
        const std::string stream = "stream" + std::to_string(i);
        const std::string registered[] = {
            stream + ".1('" + names[i] + "', " + std::to_string(1001 + i) + ", 'float')",
            "DFMetadata.2(" + stream + ")"};
        for (const std::string& call : registered)
            EXPECT_NE(std::find(factory.log.begin(), factory.log.end(), call), factory.log.end())
                << call;
    }

    // A shot starts with every stream at 0 and is sent at once; then the values follow.
    factory.log.clear();
    ASSERT_TRUE(link.StartShot());
    EXPECT_EQ(factory.Values(), std::vector<std::string>(16, "r0"));
    EXPECT_EQ(factory.log.back(), "DFMetadataSender.2(DFMetadata, 0)");
    factory.log.clear();
    ASSERT_TRUE(link.SetBall(220, 3000.5, -300.25, 12.5, -1.75));
    ASSERT_TRUE(link.SetCarry(600, -30, 6.5));
    ASSERT_TRUE(link.SetTotal(660, -33, 60));
    ASSERT_TRUE(link.SetClub(150, -2.5, 1.25, 0.5));
    ASSERT_TRUE(link.SetScore(87.5));
    ASSERT_TRUE(link.Commit());
    const double m = 0.9144 / 3;  // metres in a foot
    const double kph = 0.3048 * 3.6;
    // clang-format off
    const std::vector<std::string> expected = {
        Real(220 * kph), "r3000.5", "r-300.25", "r12.5", "r-1.75", Real(600 * m), Real(-30 * m),
        "r6.5", Real(660 * m), Real(-33 * m), Real(60 * m), Real(150 * kph), "r-2.5", "r1.25",
        "r0.5", "r87.5"};
    // clang-format on
    EXPECT_EQ(factory.Values(), expected);
    EXPECT_EQ(factory.log.back(), "DFMetadataSender.2(DFMetadata, 0)");
}

TEST(VideoMetadataLink, UnitsOfTheSettingsAndAnUnknownWordKeepsTheLast) {
    TempHome env;
    VideoMetadataLink link;
    // Speed and distance words; 220 ft/s and 600 ft in those units.
    const struct {
        const char *speed, *distance;
        double fps220, feet600;
    } cases[] = {{nullptr, nullptr, 150.0, 200.0},
                 {"KPH", "Meters", 241.4016, 182.88},
                 {"mps", "Feet", 67.056, 600.0},
                 {"FPS", "Yards", 220.0, 200.0},
                 {"knots", "furlongs", 220.0, 200.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.speed ? c.speed : "unset");
        if (c.speed) {
            env.Set("Setup", "SpeedDisplay", c.speed);
            env.Set("Setup", "DistanceDisplay", c.distance);
            link.ReadUnits();
        }
        EXPECT_FLOAT_EQ(static_cast<float>(link.ConvertSpeed(220)), static_cast<float>(c.fps220));
        EXPECT_FLOAT_EQ(static_cast<float>(link.ConvertDistance(600)),
                        static_cast<float>(c.feet600));
    }
}

}  // namespace
}  // namespace kyvern::links
