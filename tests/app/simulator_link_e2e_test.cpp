// The shot cycle on the simulated camera publishing to a mock golf simulator on loopback.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app_fixtures.h"
#include "flight/flight_model.h"
#include "support/mock_simulator.h"

using namespace kyvern::testing;
namespace app = kyvern::app;
namespace links = kyvern::links;

namespace {

double Hundredths(double value) { return std::round(value * 100.0) / 100.0; }

bool LinkConnected(app::LaunchMonitor& monitor) {
    return Eventually([&] {
        return monitor.SimulatorLink() &&
               monitor.SimulatorLink()->State().phase == links::SimLinkPhase::kConnected;
    });
}

}  // namespace

// Both hands: what the simulator gets is the recorded shot in the simulator's signs, and those
// signs are the ones of the flight model's own offline for that shot.
TEST(SimulatorLinkPublishing, ShotsOfBothHandsCarryTheSignsOfTheirFlight) {
    for (const char* hand : {"Right-handed", "Left-handed"}) {
        SCOPED_TRACE(hand);
        MockSimulator server([](auto&, int) { return R"({"Code":200})"; });
        MonitorRig rig;
        rig.env.Set("Setup", "Handed", hand);
        rig.env.Set("SimulatorLink", "Protocol", "OpenConnect");
        rig.env.Set("SimulatorLink", "Port", std::to_string(server.Port()));
        rig.monitor->Start();
        ASSERT_TRUE(LinkConnected(*rig.monitor));
        ASSERT_TRUE(rig.ShootAndTake());
        ASSERT_TRUE(server.WaitUntil([](auto& m) { return MockSimulator::IsShot(m.back().json); }));

        const kyvern::shot::ShotRecord& shot = rig.view.shots.back();
        const auto& l = shot.launch;
        const nlohmann::json sent = server.Messages().back().json;
        const nlohmann::json& ball = sent["BallData"];
        EXPECT_EQ(sent["ShotNumber"], 1);
        EXPECT_EQ(ball["Speed"], Hundredths(l.ballSpeedMph));
        EXPECT_EQ(ball["VLA"], Hundredths(l.launchAngle));
        EXPECT_EQ(ball["BackSpin"], Hundredths(l.backSpin));
        EXPECT_EQ(ball["CarryDistance"], Hundredths(shot.flight.carry));
        // Club values of the impact model go along, in mph and degrees.
        EXPECT_EQ(sent["ClubData"]["Speed"], Hundredths(shot.club.clubSpeed.Value() * 3600 / 5280));
        EXPECT_TRUE(sent["ShotDataOptions"]["ContainsClubData"].get<bool>());

        // Where the ball starts: the flight without side spin. How it curves: the flight with
        // it, less that.
        kyvern::flight::FlightModel straight;
        straight.Compute(l.ballSpeed, l.launchAngle, l.backSpin, 0.0, l.sideAngle);
        kyvern::flight::FlightModel flight;
        flight.Compute(l.ballSpeed, l.launchAngle, l.backSpin, l.sideSpin, l.sideAngle);
        const double start = straight.CarryOffline();
        const double curve = flight.CarryOffline() - start;
        ASSERT_GT(std::abs(start), 0.05);
        ASSERT_GT(std::abs(curve), 0.05);
        EXPECT_EQ(ball["HLA"].get<double>() > 0, start > 0);
        EXPECT_EQ(ball["SideSpin"].get<double>() > 0, curve > 0);
        EXPECT_EQ(ball["SpinAxis"].get<double>() > 0, curve > 0);
        EXPECT_EQ(std::abs(ball["SideSpin"].get<double>()), Hundredths(std::abs(l.sideSpin)));

        // The state reaches the status file.
        ASSERT_TRUE(Eventually([&] {
            return rig.monitor->SimulatorLink()->State().phase == links::SimLinkPhase::kReady;
        }));
        rig.timers.Fire(app::kSensorTimer);
        EXPECT_EQ(rig.Status("Status", "SimulatorLink"), "ready");
    }
}

TEST(SimulatorLinkPublishing, ShotsWhileTheSimulatorIsGoneAreReportedAndBadSettingsOnlyTold) {
    MonitorRig rig;
    {
        MockSimulator server([](auto&, int) { return R"({"Code":200})"; });
        rig.env.Set("SimulatorLink", "Protocol", "OpenConnect");
        rig.env.Set("SimulatorLink", "Port", std::to_string(server.Port()));
        rig.monitor->Start();
        ASSERT_TRUE(LinkConnected(*rig.monitor));
    }
    ASSERT_TRUE(Eventually([&] {
        return rig.monitor->SimulatorLink()->State().phase == links::SimLinkPhase::kError;
    }));
    ASSERT_TRUE(rig.ShootAndTake());
    ASSERT_EQ(rig.monitor->ShotsRecorded(), 1);
    rig.timers.Fire(app::kSensorTimer);
    const std::string log = ReadFileText(kyvern::base::ShotLogPath());
    EXPECT_NE(log.find("Simulator: shot 1 not delivered (error: "), std::string::npos) << log;
    const auto& lines = rig.messages.Lines();
    EXPECT_NE(
        std::find_if(lines.begin(), lines.end(),
                     [](auto& l) { return l.rfind("Simulator: shot 1 not delivered", 0) == 0; }),
        lines.end());
    EXPECT_EQ(rig.Status("Status", "SimulatorLink"), "error");
    rig.monitor->Stop();
    EXPECT_EQ(rig.Status("Status", "SimulatorLink"), "off");

    // A bad value: one message, the link stays off, the cycle runs.
    rig.env.Set("SimulatorLink", "Port", "99999");
    rig.messages.Clear();
    rig.monitor->Start();
    EXPECT_EQ(rig.monitor->SimulatorLink(), nullptr);
    EXPECT_EQ(rig.messages.Lines(),
              std::vector<std::string>{"Simulator link off: SimulatorLink/Port \"99999\" is not a "
                                       "port number from 1 to 65535"});
    EXPECT_TRUE(rig.ShootAndTake());
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 2);
}

TEST(SimulatorLinkPublishing, PlayerInformationIsShownTheHandToldOnceTheClubFollowed) {
    MockSimulator server([](auto&, int n) {
        return std::string(R"({"Code":200}{"Code":201,"Player":{"Handed":"LH","Club":")") +
               (n == 1 ? "I7" : (n == 2 ? "PT" : "DR")) + R"("}})";
    });
    MonitorRig rig;
    rig.env.Set("SimulatorLink", "Protocol", "OpenConnect");
    rig.env.Set("SimulatorLink", "Port", std::to_string(server.Port()));
    rig.env.Set("SimulatorLink", "FollowClub", "Yes");
    rig.monitor->Start();
    ASSERT_TRUE(LinkConnected(*rig.monitor));
    // The putter named after shot 2 strobes shot 3 as a putt; the driver named after it
    // brings the speed mode back.
    const char* speeds[] = {"<missing>", "Putt", "Medium"};
    const char* clubs[] = {"I7", "PT", "DR"};
    for (int n = 0; n < 3; ++n) {
        ASSERT_TRUE(rig.ShootAndTake());
        ASSERT_TRUE(Eventually([&] {
            const auto player = rig.monitor->SimulatorLink()->Player();
            return player && player->club == clubs[n];
        }));
        rig.timers.Fire(app::kSensorTimer);
        EXPECT_EQ(rig.env.Get("Camera", "Speed"), speeds[n]) << clubs[n];
        EXPECT_EQ(rig.monitor->CurrentShot().launch.putt, n == 2);
        // The shot held, computed again (a remote command, a manual correction), is no new
        // shot for the simulator.
        rig.monitor->ComputeShot(false);
    }
    EXPECT_DOUBLE_EQ(rig.table->StrobeInterval(), 0.00145);
    const auto messages = server.Messages();
    EXPECT_EQ(MockSimulator::ShotNumbers(messages), (std::vector<long>{1, 2, 3}));
    // The putt as the simulator got it: no spin, no carry, no club data.
    const auto last = std::find_if(messages.rbegin(), messages.rend(),
                                   [](auto& m) { return MockSimulator::IsShot(m.json); });
    ASSERT_NE(last, messages.rend());
    const nlohmann::json& putt = last->json;
    EXPECT_EQ(putt["BallData"]["TotalSpin"], 0.0);
    EXPECT_FALSE(putt["BallData"].contains("CarryDistance"));
    EXPECT_FALSE(putt.contains("ClubData")) << putt.dump();
    const auto& lines = rig.messages.Lines();
    auto count = [&](const char* text) {
        return std::count_if(lines.begin(), lines.end(),
                             [&](auto& l) { return l.find(text) != std::string::npos; });
    };
    EXPECT_EQ(count("the player there is left-handed but Setup/Handed is Right-handed"), 1);
    EXPECT_EQ(count("Simulator: player LH, club I7"), 1);
    EXPECT_EQ(count("club I7 selects the 7 Iron preset"), 1);
    EXPECT_EQ(count("club PT selects the Putt speed mode; the club settings stay"), 1);
    EXPECT_EQ(count("club DR restores the Medium speed mode"), 1);
    // The 7 iron's loft and mass stayed for the putter; the hand is never changed.
    EXPECT_EQ(rig.env.Get("Setup", "ClubLoft") + " " + rig.env.Get("Setup", "ClubMass"),
              "10.0 200.0")
        << "the driver's preset";
    EXPECT_EQ(rig.env.Get("Setup", "Handed"), "<missing>");
}
