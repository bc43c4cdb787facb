// The golf simulator link against a real listening socket on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "links/simulator_link.h"
#include "links/simulator_messages.h"
#include "support/eventually.h"
#include "support/mock_simulator.h"
#include "support/temp_home.h"

namespace kyvern::links {
namespace {

using namespace std::chrono_literals;
using testing::Eventually;
using testing::MockSimulator;
using Kind = SimLinkEvent::Kind;
using Clock = std::chrono::steady_clock;

// Real gaps between messages; short waits for replies and reconnection.
SimLinkTiming QuickTiming() {
    SimLinkTiming t;
    t.replyWait = 300ms, t.firstRetry = 20ms, t.maxRetry = 80ms, t.closePause = 0ms;
    t.heartbeat = 60s;
    return t;
}

SimLinkConfig ConfigFor(const MockSimulator& server,
                        SimProtocol protocol = SimProtocol::kOpenConnect) {
    SimLinkConfig config;
    config.protocol = protocol, config.port = server.Port();
    return config;
}

SimShot Drive() {
    SimShot s;
    s.ballSpeed = 220.0, s.launchAngle = 11.5, s.sideAngle = -1.25;  // 150 mph
    s.backSpin = 2600.0, s.sideSpin = 400.0, s.carry = 240.5;
    return s;
}

// The link's events until the condition over them holds (or ten seconds have gone).
template <typename Condition>
std::vector<SimLinkEvent> EventsUntil(SimulatorLink& link, Condition condition) {
    std::vector<SimLinkEvent> all;
    const auto deadline = Clock::now() + 10s;
    for (;;) {
        for (SimLinkEvent& e : link.TakeEvents())
            all.push_back(std::move(e));
        if (condition(all) || !link.WaitForEvent(deadline)) return all;
    }
}

template <typename Condition>
std::optional<SimLinkEvent> First(const std::vector<SimLinkEvent>& events, Condition condition) {
    const auto found = std::find_if(events.begin(), events.end(), condition);
    return found == events.end() ? std::nullopt : std::optional(*found);
}

// The event that settles this shot: confirmed, rejected, unconfirmed or not delivered.
std::optional<SimLinkEvent> Verdict(const std::vector<SimLinkEvent>& events, long shot) {
    return First(events, [&](auto& e) { return e.shotNumber == shot && e.kind != Kind::kReply; });
}

std::vector<SimLinkEvent> EventsUntilVerdict(SimulatorLink& link, long shot) {
    return EventsUntil(link, [shot](auto& events) { return Verdict(events, shot).has_value(); });
}

bool Mentions(const std::vector<SimLinkEvent>& events, const std::string& text) {
    return First(events, [&](auto& e) { return e.text.find(text) != std::string::npos; })
        .has_value();
}

std::optional<SimLinkEvent> Find(const std::vector<SimLinkEvent>& events, Kind kind) {
    return First(events, [&](auto& e) { return e.kind == kind; });
}

// Bytes no reader can make an object of, ahead of a good reply.
std::string Garbage() { return std::string("\x00\xff{\"Code\":[}}\n\x7f", 15); }

bool Connected(SimulatorLink& link) {
    return Eventually([&] {
        const SimLinkPhase phase = link.State().phase;
        return phase == SimLinkPhase::kConnected || phase == SimLinkPhase::kReady;
    });
}

TEST(SimulatorMessages, ShotAndHeartbeatCarryEveryFieldInItsUnit) {
    SimShot shot = Drive();
    shot.club.clubSpeed.Set(150.0);  // ft/s
    shot.club.faceAngle.Set(-2.0);
    // The record's side spin of +400 bends the ball left; a simulator's left curve is negative.
    EXPECT_EQ(
        OpenConnectShot("Bay 3", 7, shot, true).dump(),
        R"({"DeviceID":"Bay 3","Units":"Yards","ShotNumber":7,"APIversion":"1",)"
        R"("BallData":{"Speed":150.0,"SpinAxis":-8.75,"TotalSpin":2630.59,"BackSpin":2600.0,)"
        R"("SideSpin":-400.0,"HLA":-1.25,"VLA":11.5,"CarryDistance":240.5},)"
        R"("ClubData":{"Speed":102.27,"FaceToTarget":-2.0},)"
        R"("ShotDataOptions":{"ContainsBallData":true,"ContainsClubData":true,)"
        R"("LaunchMonitorIsReady":true,"LaunchMonitorBallDetected":true,"IsHeartBeat":false}})");
    // Without club values the shot says so and carries no ClubData.
    const Json bare = OpenConnectShot("K", 1, Drive(), false);
    EXPECT_FALSE(bare.contains("ClubData"));
    EXPECT_FALSE(bare["ShotDataOptions"]["ContainsClubData"].get<bool>());
    EXPECT_EQ(
        OpenConnectHeartbeat("K", 4, false).dump(),
        R"({"DeviceID":"K","Units":"Yards","ShotNumber":4,"APIversion":"1",)"
        R"("ShotDataOptions":{"ContainsBallData":false,"ContainsClubData":false,)"
        R"("LaunchMonitorIsReady":false,"LaunchMonitorBallDetected":false,"IsHeartBeat":true}})");
    EXPECT_EQ(OpenGolfSimShot(Drive()).dump(),
              R"({"type":"shot","unit":"imperial","shot":{"ballSpeed":150.0,)"
              R"("verticalLaunchAngle":11.5,"horizontalLaunchAngle":-1.25,"spinSpeed":2630.59,)"
              R"("spinAxis":-8.75}})");
    EXPECT_EQ(OpenGolfSimDevice(false).dump(), R"({"type":"device","status":"busy"})");
    // A doubtful spin is not sent as measured, nor the carry flown with it: the simulator
    // fills in its own.
    SimShot doubtful = Drive();
    doubtful.spinKnown = false;
    EXPECT_EQ(OpenConnectShot("K", 2, doubtful, true)["BallData"].dump(),
              R"({"Speed":150.0,"HLA":-1.25,"VLA":11.5})");
    EXPECT_EQ(OpenGolfSimShot(doubtful)["shot"].dump(),
              R"({"ballSpeed":150.0,"verticalLaunchAngle":11.5,"horizontalLaunchAngle":-1.25})");
    // A putt goes with no spin, no carry and no inferred club data.
    SimShot putt;
    putt.ballSpeed = 88.0 / 15.0;  // 4 mph
    putt.launchAngle = 0.25, putt.sideAngle = -1.5, putt.putt = true;
    putt.club.clubSpeed.Set(8.0);
    EXPECT_EQ(
        OpenConnectShot("K", 3, putt, true).dump(),
        R"({"DeviceID":"K","Units":"Yards","ShotNumber":3,"APIversion":"1",)"
        R"("BallData":{"Speed":4.0,"SpinAxis":0.0,"TotalSpin":0.0,"BackSpin":0.0,)"
        R"("SideSpin":0.0,"HLA":-1.5,"VLA":0.25},)"
        R"("ShotDataOptions":{"ContainsBallData":true,"ContainsClubData":false,)"
        R"("LaunchMonitorIsReady":true,"LaunchMonitorBallDetected":true,"IsHeartBeat":false}})");
    EXPECT_EQ(OpenGolfSimShot(putt)["shot"].dump(),
              R"({"ballSpeed":4.0,"verticalLaunchAngle":0.25,"horizontalLaunchAngle":-1.5,)"
              R"("spinSpeed":0.0,"spinAxis":0.0})");
}

TEST(SimulatorMessages, ReaderCutsWholeObjectsFromAnyStream) {
    using R = SimReply::Kind;
    const std::string deep = std::string(40, '[');
    const struct Case {
        std::vector<std::string> reads;
        std::vector<R> kinds;
    } cases[] = {
        {{R"({"Co)", R"(de":2)", "00}\n"}, {R::kObject}},
        {{"GSPro ", "ready\r\n", R"({"Code":202})"}, {R::kReadyText, R::kObject}},
        {{R"({"Message":"a}b{\"c"})"}, {R::kObject}},
        {{R"({"Code":})", "\n"}, {R::kInvalid}},
        {{"noise\n", R"({"Code":200})"}, {R::kText, R::kObject}},
        {{"{" + std::string(SimReplyReader::kMaxObject, ' ') + "}"}, {R::kInvalid}},
        {{"{\"a\":" + deep}, {R::kInvalid}},
    };
    for (const Case& c : cases) {
        SimReplyReader reader;
        std::vector<SimReply> replies;
        for (const std::string& read : c.reads)
            reader.Feed(read, replies);
        std::vector<R> kinds;
        for (const SimReply& r : replies)
            kinds.push_back(r.kind);
        EXPECT_EQ(kinds, c.kinds) << c.reads[0].substr(0, 40);
    }
}

TEST(SimulatorMessages, RepliesEventsAndClubsAreReadWhateverTheirTypes) {
    // Fields of the wrong type read as absent.
    for (const char* json : {R"({"Code":"200","Message":5})", R"({"Player":"LH"})"}) {
        const OpenConnectReply read = ReadOpenConnectReply(Json::parse(json));
        EXPECT_EQ(read.code, 0) << json;
        EXPECT_EQ(read.message, "") << json;
        EXPECT_FALSE(read.player.has_value()) << json;
    }
    EXPECT_EQ(ReadOpenGolfSimEvent(Json::parse(R"({"type":"result","result":{"carry":201.5}})"))
                  .carryMetres,
              201.5);
    EXPECT_FALSE(ReadOpenGolfSimEvent(Json::parse(R"({"type":"result","carry":"far"})"))
                     .carryMetres.has_value());
    const std::pair<const char*, int> clubs[] = {{"DR", 1},  {"w3", 2},  {"3W", 2},  {"I7", 8},
                                                 {"9I", 10}, {"PW", 11}, {"PT", -1}, {"4H", -1}};
    for (auto [code, preset] : clubs)
        EXPECT_EQ(ClubPresetOfSimulatorClub(code), preset) << code;
}

TEST(SimulatorLinkConfig, BadValuesLeaveTheLinkOffWithOneMessage) {
    testing::TempHome env;
    const struct {
        const char* protocol;
        const char* port;
        const char* heartbeat;
        bool ok;
        int expectedPort;
        const char* problem;
    } cases[] = {
        {"None", "", "5", true, kOpenConnectPort, ""},
        {"opengolfsim", "", "5", true, kOpenGolfSimPort, ""},
        {"OpenConnect", "4000", "60", true, 4000, ""},
        {"GSPro", "", "5", false, 0, "Protocol \"GSPro\""},
        {"OpenConnect", "65536", "5", false, 0, "Port \"65536\""},
        {"OpenConnect", "92x", "5", false, 0, "Port \"92x\""},
        {"OpenConnect", "", "0", false, 0, "HeartbeatSeconds \"0\""},
    };
    for (const auto& c : cases) {
        env.Set("SimulatorLink", "Protocol", c.protocol);
        env.Set("SimulatorLink", "Port", c.port);
        env.Set("SimulatorLink", "HeartbeatSeconds", c.heartbeat);
        SimLinkConfig config;
        std::string problem;
        EXPECT_EQ(ReadSimLinkConfig(kyvern::base::SettingsSnapshot::Read(), config, problem), c.ok)
            << c.protocol << c.port;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        if (c.ok && config.protocol != SimProtocol::kNone) {
            EXPECT_EQ(config.port, c.expectedPort);
        }
    }
}

// Each way a peer may answer a shot, and what the link makes of it.
TEST(SimulatorLink, EachPeerModeEndsInOneVerdictPerShot) {
    const struct Case {
        const char* name;
        MockSimulator::Answer answer;
        Kind verdict;
        const char* text;
        const char* alsoSaid;  // another event says this
    } cases[] = {
        {"200", [](auto&, int) { return R"({"Code":200,"Message":"ok"})"; }, Kind::kConfirmed,
         "shot 1 received", "connected to 127.0.0.1"},
        {"501", [](auto&, int) { return R"({"Code":501,"Message":"Bad ball"})"; }, Kind::kRejected,
         "shot 1 rejected (501: Bad ball)", "connected"},
        {"never",
         {},
         Kind::kUnconfirmed,
         "shot 1 unconfirmed (no reply within 0.3 s)",
         "connected"},
        {"invalid", [](auto&, int) { return "{\"Code\":200,}\n"; }, Kind::kUnconfirmed,
         "unconfirmed", "unreadable reply ignored"},
        {"garbage first", [](auto&, int) { return Garbage() + R"({"Code":200})"; },
         Kind::kConfirmed, "received", "unreadable reply ignored"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MockSimulator server(c.answer);
        SimulatorLink link(ConfigFor(server), QuickTiming());
        ASSERT_TRUE(link.Start());
        ASSERT_TRUE(Connected(link));
        EXPECT_EQ(link.Publish(Drive()), 1);
        const std::vector<SimLinkEvent> events = EventsUntil(link, [&](auto& all) {
            return Verdict(all, 1).has_value() && Mentions(all, c.alsoSaid);
        });
        const std::optional<SimLinkEvent> verdict = Verdict(events, 1);
        ASSERT_TRUE(verdict.has_value());
        EXPECT_EQ(verdict->kind, c.verdict);
        EXPECT_NE(verdict->text.find(c.text), std::string::npos) << verdict->text;
        EXPECT_TRUE(Mentions(events, c.alsoSaid));
        // The link still works after whatever came: a second shot reaches the peer whole.
        EXPECT_EQ(link.Publish(Drive()), 2);
        EXPECT_TRUE(server.WaitUntil([](auto& m) { return MockSimulator::Shots(m) == 2; }));
        EXPECT_EQ(server.BadReads(), 0);
    }
}

TEST(SimulatorLink, LateRepliesReadyTextAndPlayerInformation) {
    MockSimulator server(MockSimulator::Mode{{}, "GSPro ready", 0, false});
    SimulatorLink link(ConfigFor(server), QuickTiming());
    ASSERT_TRUE(link.Start());
    ASSERT_TRUE(Eventually([&] { return link.State().phase == SimLinkPhase::kReady; }));
    link.Publish(Drive());
    EXPECT_TRUE(Find(EventsUntilVerdict(link, 1), Kind::kUnconfirmed).has_value());
    // A reply after the verdict confirms nothing; player information is kept.
    server.Send(R"({"Code":200}{"Code":201,"Player":{"Handed":"LH","Club":"PW",)"
                R"("DistanceToTarget":95.5}})");
    ASSERT_TRUE(Eventually([&] { return link.Player().has_value(); }));
    EXPECT_EQ(link.Player()->club, "PW");
    EXPECT_EQ(link.Player()->distanceToTarget, 95.5);
    const auto events = link.TakeEvents();
    EXPECT_FALSE(Find(events, Kind::kConfirmed).has_value());
}

TEST(SimulatorLink, HeartbeatsKeepTheirCadenceAndNoTwoMessagesComeTogether) {
    MockSimulator server([](auto&, int) { return R"({"Code":200})"; });
    SimLinkTiming timing = QuickTiming();
    timing.heartbeat = 250ms;
    timing.replyWait = 1s;  // the second shot waits two gaps behind the readiness
    SimulatorLink link(ConfigFor(server), timing);
    ASSERT_TRUE(link.Start());
    ASSERT_TRUE(server.WaitUntil([&](auto& m) { return m.size() - MockSimulator::Shots(m) >= 3; }));
    // Readiness goes out at once; shots right behind it wait out the gap on the link's thread.
    link.SetReady(true);
    link.Publish(Drive());
    link.Publish(Drive());
    ASSERT_TRUE(server.WaitUntil([&](auto& m) { return MockSimulator::Shots(m) == 2; }));
    link.Stop();
    ASSERT_TRUE(server.WaitForClose());

    const std::vector<MockSimulator::Message> m = server.Messages();
    EXPECT_EQ(server.BadReads(), 0);
    std::vector<std::string> order;
    for (const auto& x : m) {
        const bool ready = x.json["ShotDataOptions"]["LaunchMonitorIsReady"].get<bool>();
        order.push_back(MockSimulator::IsShot(x.json)
                            ? "shot " + std::to_string(x.json["ShotNumber"].get<long>())
                        : ready ? "ready"
                                : "idle");
    }
    const auto firstReady = std::find(order.begin(), order.end(), "ready");
    ASSERT_GE(firstReady - order.begin(), 3);
    EXPECT_TRUE(std::all_of(order.begin(), firstReady, [](auto& o) { return o == "idle"; }));
    ASSERT_GE(order.end() - firstReady, 4);
    EXPECT_EQ(std::vector<std::string>(firstReady, firstReady + 3),
              (std::vector<std::string>{"ready", "shot 1", "shot 2"}));
    EXPECT_EQ(order.back(), "idle");  // the goodbye
    for (std::size_t i = 1; i < m.size(); ++i) {
        // The link keeps 100 ms between writes; delivery may shift a read by a little.
        EXPECT_GE(m[i].at - m[i - 1].at, 80ms) << "message " << i;
        if (order[i] == "idle" && order[i - 1] == "idle" && i + 1 < m.size()) {
            EXPECT_GE(m[i].at - m[i - 1].at, 230ms) << "heartbeat " << i;
        }
    }
}

TEST(SimulatorLink, FindsARestartedSimulatorAndNeverSendsANumberTwice) {
    auto answer = [](auto&, int) { return R"({"Code":200})"; };
    auto server = std::make_unique<MockSimulator>(MockSimulator::Mode{answer, "", 2, false});
    const int port = server->Port();
    SimulatorLink link(ConfigFor(*server), QuickTiming());
    ASSERT_TRUE(link.Start());
    ASSERT_TRUE(Connected(link));
    for (long n : {1, 2}) {
        ASSERT_EQ(link.Publish(Drive()), n);
        EXPECT_EQ(Verdict(EventsUntilVerdict(link, n), n)->kind, Kind::kConfirmed);
    }
    // The simulator drops the connection after two shots; the link finds it again.
    ASSERT_TRUE(server->WaitUntil([](auto& m) { return m.back().connection == 2; }));
    std::vector<MockSimulator::Message> first = server->Messages();
    // Then it goes away: a shot now is reported, not kept for later.
    server.reset();
    ASSERT_TRUE(Eventually([&] { return link.State().phase == SimLinkPhase::kError; }));
    EXPECT_EQ(link.Publish(Drive()), 3);
    const auto down = Verdict(EventsUntilVerdict(link, 3), 3);
    ASSERT_TRUE(down.has_value());
    EXPECT_EQ(down->kind, Kind::kNotDelivered);
    EXPECT_EQ(down->text.rfind("Simulator: shot 3 not delivered (", 0), 0u) << down->text;

    server = std::make_unique<MockSimulator>(answer, port);
    ASSERT_TRUE(Connected(link));
    EXPECT_EQ(link.Publish(Drive()), 4);
    EXPECT_EQ(Verdict(EventsUntilVerdict(link, 4), 4)->kind, Kind::kConfirmed);
    std::vector<long> numbers = MockSimulator::ShotNumbers(first);
    for (long n : MockSimulator::ShotNumbers(server->Messages()))
        numbers.push_back(n);
    EXPECT_EQ(numbers, (std::vector<long>{1, 2, 4}));
}

TEST(SimulatorLink, PublishingCostsTheCallerLittleWhenThePeerNeverReads) {
    MockSimulator server(MockSimulator::Mode{{}, "", 0, true});
    SimulatorLink link(ConfigFor(server), QuickTiming());
    ASSERT_TRUE(link.Start());
    ASSERT_TRUE(Connected(link));
    std::vector<double> costs;
    for (int i = 0; i < 200; ++i) {
        const auto start = Clock::now();
        link.Publish(Drive());
        costs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(costs.begin(), costs.end());
    // The median only: a loaded machine may preempt any single call. bench/ measures it finely.
    EXPECT_LT(costs[costs.size() / 2], 1000.0);
    // Shots that waited too long behind the gap are reported, never sent late.
    const auto events = EventsUntilVerdict(link, 200);
    EXPECT_TRUE(Find(events, Kind::kNotDelivered).has_value());
}

// Garbage before the result is passed over; the carry here is at the event's top level.
TEST(SimulatorLink, OpenGolfSimHearsReadinessAndShotsAndReportsItsCarry) {
    MockSimulator server([](auto& shot, int) {
        return Garbage() + R"({"type":"result","carry":)" +
               std::to_string(shot["shot"]["ballSpeed"].template get<double>()) + "}\n";
    });
    SimulatorLink link(ConfigFor(server, SimProtocol::kOpenGolfSim), QuickTiming());
    ASSERT_TRUE(link.Start());
    ASSERT_TRUE(server.WaitUntil([](auto& m) { return !m.empty(); }));
    link.SetReady(true);
    link.Publish(Drive());
    const auto landed = Find(EventsUntilVerdict(link, 1), Kind::kConfirmed);
    ASSERT_TRUE(landed.has_value());
    EXPECT_EQ(landed->text, "Simulator: shot 1 landed: carry 150.0 m");
    link.Stop();
    // The last word of a stop may still be on its way to the server's reader.
    EXPECT_TRUE(server.WaitUntil([](auto& m) { return m.size() >= 4; }));
    std::vector<std::string> types;
    for (const auto& x : server.Messages())
        types.push_back(x.json.value("type", "") + " " + x.json.value("status", ""));
    EXPECT_EQ(types,
              (std::vector<std::string>{"device busy", "device ready", "shot ", "device busy"}));
    EXPECT_EQ(server.BadReads(), 0);
}

}  // namespace
}  // namespace kyvern::links
