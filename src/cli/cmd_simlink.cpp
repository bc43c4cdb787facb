// kyvern-cli simlink send: one shot to the configured golf simulator and what came back, so a
// set-up can be checked without hitting a ball.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/pass_options.h"
#include "base/settings_snapshot.h"
#include "cli/command.h"
#include "flight/flight_model.h"
#include "links/simulator_link.h"

namespace kyvern::cli {
namespace {

constexpr const char* kUsage =
    "usage: kyvern-cli simlink send --speed V --launch L --side S --back B --side-spin P\n"
    "                               [--protocol OpenConnect|OpenGolfSim] [--host H] [--port N]\n"
    "  V ball speed in mph; L, S launch and side angle in degrees (side positive right);\n"
    "  B, P back and side spin in rpm (side spin positive curves left, as the shot table)\n";

using Clock = std::chrono::steady_clock;

bool Number(const Args& args, const char* flag, double& value) {
    bool ok = true;
    const std::string text = FlagValue(args, flag, "", ok);
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return ok && !text.empty() && *end == '\0' && std::isfinite(value);
}

// Prints the link's events; answered turns true at the verdict on shot number, confirmed when
// the simulator took it.
void PrintEvents(links::SimulatorLink& link, bool& answered, bool& confirmed, long number) {
    using Kind = links::SimLinkEvent::Kind;
    for (const links::SimLinkEvent& event : link.TakeEvents()) {
        std::printf("%s%s\n", event.kind == Kind::kReply ? "reply: " : "", event.text.c_str());
        if (number == 0 || event.shotNumber != number) continue;
        if (event.kind == Kind::kConfirmed || event.kind == Kind::kRejected ||
            event.kind == Kind::kUnconfirmed || event.kind == Kind::kNotDelivered) {
            answered = true;
            confirmed = event.kind == Kind::kConfirmed;
        }
    }
    std::fflush(stdout);
}

int Send(const Args& args) {
    const std::vector<std::string_view> valueFlags = {
        "--speed", "--launch", "--side", "--back", "--side-spin", "--protocol", "--host", "--port"};
    double speed = 0.0;
    double launch = 0.0;
    double side = 0.0;
    double back = 0.0;
    double sideSpin = 0.0;
    if (!Number(args, "--speed", speed) || !Number(args, "--launch", launch) ||
        !Number(args, "--side", side) || !Number(args, "--back", back) ||
        !Number(args, "--side-spin", sideSpin) || !Positionals(args, valueFlags).empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    links::SimLinkConfig config;
    std::string problem;
    if (!links::ReadSimLinkConfig(base::SettingsSnapshot::Read(), config, problem)) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    bool ok = true;
    const std::string protocol = FlagValue(args, "--protocol", "", ok);
    if (protocol == "OpenConnect" || protocol == "OpenGolfSim") {
        const bool openConnect = protocol == "OpenConnect";
        if (config.protocol == links::SimProtocol::kNone || !HasFlag(args, "--port"))
            config.port = openConnect ? links::kOpenConnectPort : links::kOpenGolfSimPort;
        config.protocol =
            openConnect ? links::SimProtocol::kOpenConnect : links::SimProtocol::kOpenGolfSim;
    } else if (!protocol.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (config.protocol == links::SimProtocol::kNone) {
        std::fprintf(stderr, "No simulator: SimulatorLink/Protocol is None and no --protocol\n");
        return 1;
    }
    const std::string host = FlagValue(args, "--host", "", ok);
    if (!host.empty()) config.host = host;
    const std::string port = FlagValue(args, "--port", "", ok);
    if (!port.empty()) {
        char* end = nullptr;
        const long value = std::strtol(port.c_str(), &end, 10);
        if (*end != '\0' || value < 1 || value > 65535) {
            std::fprintf(stderr, "--port %s is not a port number from 1 to 65535\n", port.c_str());
            return 2;
        }
        config.port = int(value);
    }

    links::SimShot shot;
    shot.ballSpeed = speed * 5280.0 / 3600.0;
    shot.launchAngle = launch;
    shot.sideAngle = side;
    shot.backSpin = back;
    shot.sideSpin = sideSpin;
    flight::FlightModel flight(app::ReadPassOptions().flight);
    flight.Compute(shot.ballSpeed, launch, back, sideSpin, side);
    shot.carry = flight.Carry();

    links::SimulatorLink link(config);
    link.SetReady(true);
    link.Start();
    bool answered = false;
    bool confirmed = false;
    // Connected, or the first attempt failed.
    const auto connectBy = Clock::now() + std::chrono::seconds(5);
    for (;;) {
        const links::SimLinkPhase phase = link.State().phase;
        if (phase == links::SimLinkPhase::kConnected || phase == links::SimLinkPhase::kReady) break;
        if (phase == links::SimLinkPhase::kError || Clock::now() > connectBy) {
            PrintEvents(link, answered, confirmed, 0);
            const links::SimLinkState state = link.State();
            std::fprintf(stderr, "No connection to %s:%d: %s\n", config.host.c_str(), config.port,
                         state.reason.c_str());
            return 1;
        }
        link.WaitForEvent(Clock::now() + std::chrono::milliseconds(20));
        PrintEvents(link, answered, confirmed, 0);
    }
    const long number = link.Publish(shot);
    // The reply, or the link's own verdict after its reply wait.
    const auto replyBy = Clock::now() + std::chrono::seconds(5);
    while (!answered && Clock::now() < replyBy) {
        link.WaitForEvent(replyBy);
        PrintEvents(link, answered, confirmed, number);
    }
    // A late player-information reply follows the shot's closely.
    link.WaitForEvent(Clock::now() + std::chrono::milliseconds(300));
    PrintEvents(link, answered, confirmed, number);
    link.Stop();
    PrintEvents(link, answered, confirmed, number);
    return confirmed ? 0 : 1;
}

int RunSimlink(const Args& args) {
    if (args.empty() || args[0] != "send") {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return Send(Args(args.begin() + 1, args.end()));
}

const Registration kSimlink({"simlink",
                             "simlink send --speed V --launch L --side S --back B --side-spin P "
                             "[--protocol NAME] [--host H] [--port N]   one shot to the simulator",
                             RunSimlink});

}  // namespace
}  // namespace kyvern::cli
