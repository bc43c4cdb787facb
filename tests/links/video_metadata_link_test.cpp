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

// Automation objects that write every call into one shared log, in the order made.
class RecordingObject final : public DispatchObject {
public:
    RecordingObject(std::string label, std::vector<std::string>& log)
        : label_(std::move(label)), log_(log) {}
    const std::string& Label() const { return label_; }
    void Invoke(int dispatchNumber, const std::vector<DispatchArgument>& arguments) override {
        std::string call = label_ + "." + std::to_string(dispatchNumber) + "(";
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const DispatchArgument& a = arguments[i];
            if (i) call += ", ";
            char real[40];
            switch (a.kind) {
                case DispatchArgument::Kind::kText:
                    call += "'" + a.text + "'";
                    break;
                case DispatchArgument::Kind::kInteger:
                    call += std::to_string(a.integer);
                    break;
                case DispatchArgument::Kind::kReal:
                    std::snprintf(real, sizeof real, "r%.9g", a.real);
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
        if (label == "DFMetaDataStream") label = "stream" + std::to_string(streams++);
        return std::make_unique<RecordingObject>(label, log);
    }
    std::vector<std::string> created;
    std::vector<std::string> log;

private:
    int failAt_;
    int streams = 0;
};

std::string Value(int stream, const char* real) {
    std::string label = "stream" + std::to_string(stream);
    return label + ".3()|" + label + ".2(" + real + ", DFTimeStamp)";
}

std::vector<std::string> Split(const std::vector<std::string>& calls) {
    // Each value is sent as two calls; join them so that a value reads as one entry.
    std::vector<std::string> joined;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].find(".3()") != std::string::npos && i + 1 < calls.size()) {
            joined.push_back(calls[i] + "|" + calls[i + 1]);
            ++i;
        } else {
            joined.push_back(calls[i]);
        }
    }
    return joined;
}

std::string Real(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "r%.9g", static_cast<float>(value));
    return text;
}

TEST(VideoMetadataLink, InertWithoutAutomationObjects) {
    TempHome env;
    VideoMetadataLink link;
    EXPECT_FALSE(link.Init());
    EXPECT_FALSE(link.Enabled());
    EXPECT_FALSE(link.StartShot());
    EXPECT_FALSE(link.SetBall(220, 3000, -300, 12, 1));
    EXPECT_FALSE(link.SetCarry(600, 3, 6));
    EXPECT_FALSE(link.SetTotal(700, 4, 100));
    EXPECT_FALSE(link.SetClub(150, -2, 1, 0.5));
    EXPECT_FALSE(link.SetScore(90));
    EXPECT_FALSE(link.Commit());

    // Any object missing disables the link, and nothing is called.
    for (int failAt : {0, 3, 4, 19}) {
        RecordingFactory factory(failAt);
        VideoMetadataLink partial(&factory);
        EXPECT_FALSE(partial.Init());
        EXPECT_TRUE(factory.log.empty());
        EXPECT_FALSE(partial.StartShot());
    }
}

TEST(VideoMetadataLink, InitCreatesAndRegistersSixteenStreams) {
    TempHome env;
    RecordingFactory factory;
    VideoMetadataLink link(&factory);
    ASSERT_TRUE(link.Init());
    ASSERT_EQ(factory.created.size(), 20u);
    EXPECT_EQ(factory.created[0], "DartFishMDTK.DFClock");
    EXPECT_EQ(factory.created[1], "DartFishMDTK.DFTimeStamp");
    EXPECT_EQ(factory.created[2], "DartFishMDTK.DFMetadataSender");
    EXPECT_EQ(factory.created[3], "DartFishMDTK.DFMetadata");
    for (int i = 4; i < 20; ++i)
        EXPECT_EQ(factory.created[i], "DartFishMDTK.DFMetaDataStream");

    std::vector<std::string> expected = {"DFClock.1()", "DFMetadataSender.1()",
                                         "DFMetadata.1('Kyvern Launch System', 1000)"};
    const char* names[] = {"Ball Speed",      "BackSpin",   "SideSpin",   "Launch Angle",
                           "Side Angle",      "Carry DR",   "Carry OL",   "Flight Time",
                           "Total DR",        "Total OL",   "Roll",       "Club Speed",
                           "Angle of Attack", "Path Angle", "Face Angle", "Score"};
    for (int i = 0; i < 16; ++i) {
        expected.push_back("stream" + std::to_string(i) + ".1('" + names[i] + "', " +
                           std::to_string(1001 + i) + ", 'float')");
    }
    for (int i = 0; i < 16; ++i) {
        expected.push_back("DFMetadata.2(stream" + std::to_string(i) + ")");
    }
    EXPECT_EQ(factory.log, expected);
}

TEST(VideoMetadataLink, ShotCallsInOrderWithUnits) {
    TempHome env;
    env.Set("Setup", "SpeedDisplay", "KPH");
    env.Set("Setup", "DistanceDisplay", "meters");
    RecordingFactory factory;
    VideoMetadataLink link(&factory);
    EXPECT_EQ(link.SpeedUnit(), 2);
    EXPECT_EQ(link.DistanceUnit(), 2);
    ASSERT_TRUE(link.Init());
    factory.log.clear();

    ASSERT_TRUE(link.StartShot());
    std::vector<std::string> expected = {"DFClock.2(&DFTimeStamp)"};
    for (int i = 0; i < 16; ++i)
        expected.push_back(Value(i, "r0"));
    expected.push_back("DFMetadataSender.2(DFMetadata, 0)");
    EXPECT_EQ(Split(factory.log), expected);
    factory.log.clear();

    ASSERT_TRUE(link.SetBall(220, 3000.5, -300.25, 12.5, -1.75));
    ASSERT_TRUE(link.SetCarry(600, -30, 6.5));
    ASSERT_TRUE(link.SetTotal(660, -33, 60));
    ASSERT_TRUE(link.SetClub(150, -2.5, 1.25, 0.5));
    ASSERT_TRUE(link.SetScore(87.5));
    ASSERT_TRUE(link.Commit());
    expected = {Value(0, Real(220 * 0.3048 * 3.6).c_str()),
                Value(1, "r3000.5"),
                Value(2, "r-300.25"),
                Value(3, "r12.5"),
                Value(4, "r-1.75"),
                Value(5, Real(600.0 / 3 * 0.9144).c_str()),
                Value(6, Real(-30.0 / 3 * 0.9144).c_str()),
                Value(7, "r6.5"),
                Value(8, Real(660.0 / 3 * 0.9144).c_str()),
                Value(9, Real(-33.0 / 3 * 0.9144).c_str()),
                Value(10, Real(60.0 / 3 * 0.9144).c_str()),
                Value(11, Real(150 * 0.3048 * 3.6).c_str()),
                Value(12, "r-2.5"),
                Value(13, "r1.25"),
                Value(14, "r0.5"),
                Value(15, "r87.5"),
                "DFClock.2(&DFTimeStamp)",
                "DFMetadataSender.2(DFMetadata, 0)"};
    EXPECT_EQ(Split(factory.log), expected);
}

TEST(VideoMetadataLink, UnitConversions) {
    TempHome env;
    VideoMetadataLink link;
    EXPECT_EQ(link.SpeedUnit(), 0);
    EXPECT_EQ(link.DistanceUnit(), 0);
    EXPECT_DOUBLE_EQ(link.ConvertSpeed(220), 150.0);
    EXPECT_DOUBLE_EQ(link.ConvertDistance(600), 200.0);
    env.Set("Setup", "SpeedDisplay", "KPH");
    env.Set("Setup", "DistanceDisplay", "Meters");
    link.ReadUnits();
    EXPECT_FLOAT_EQ(static_cast<float>(link.ConvertSpeed(220)), 241.4016f);
    EXPECT_FLOAT_EQ(static_cast<float>(link.ConvertDistance(600)), 182.88f);
    env.Set("Setup", "SpeedDisplay", "mps");
    env.Set("Setup", "DistanceDisplay", "Feet");
    link.ReadUnits();
    EXPECT_FLOAT_EQ(static_cast<float>(link.ConvertSpeed(220)), 67.056f);
    EXPECT_DOUBLE_EQ(link.ConvertDistance(600), 600.0);
    env.Set("Setup", "SpeedDisplay", "FPS");
    link.ReadUnits();
    EXPECT_DOUBLE_EQ(link.ConvertSpeed(220), 220.0);
    // A word that names no unit keeps the one in force.
    env.Set("Setup", "SpeedDisplay", "knots");
    link.ReadUnits();
    EXPECT_EQ(link.SpeedUnit(), 1);
}

}  // namespace
}  // namespace kyvern::links
