// kyvern-cli settings [--json]: the program folder, the ball and the weather in force.
#include <cstdio>
#include <string>

#include "app/pass_options.h"
#include "base/program_folder.h"
#include "cli/command.h"
#include "flight/ball_type.h"
#include "flight/weather.h"
#include "frame/camera_model.h"
#include "shot/units.h"

namespace kyvern::cli {
namespace {

int RunSettings(const Args& args) {
    if (!Positionals(args, {}).empty()) {
        std::fprintf(stderr, "usage: kyvern-cli settings [--json]\n");
        return 2;
    }
    const app::PassOptions pass = app::ReadPassOptions();
    const flight::BallType ball(pass.flight.ball);
    const flight::Weather& weather = pass.flight.weather;
    const frame::Xyz wind = flight::WindVector(weather);
    const flight::AirProperties air = flight::ComputeAir(weather);
    const bool left = pass.scene.leftHanded;
    const int speedUnit = pass.speedUnit;
    const int distanceUnit = pass.distanceUnit;

    if (HasFlag(args, "--json")) {
        PrintJson({{"programFolder", base::ProgramFolder()},
                   {"settingsFile", base::SettingsPath()},
                   {"handed", left ? "Left-handed" : "Right-handed"},
                   {"speedLabel", shot::SpeedLabel(speedUnit)},
                   {"distanceLabel", shot::DistanceLabel(distanceUnit)},
                   {"ball",
                    {{"name", ball.Name()},
                     {"typeId", ball.TypeId()},
                     {"sport", ball.SportName()},
                     {"diameter", JsonNumber(ball.Diameter())},
                     {"weight", JsonNumber(ball.Weight())},
                     {"teeHeight", JsonNumber(ball.TeeHeight())}}},
                   {"weather",
                    {{"altitude", JsonNumber(weather.altitude)},
                     {"temperature", JsonNumber(weather.temperature)},
                     {"humidity", JsonNumber(weather.humidity)},
                     {"barometer", JsonNumber(weather.barometer)},
                     {"windSpeed", JsonNumber(weather.windSpeed)},
                     {"windDir", JsonNumber(weather.windDir)},
                     {"wind", JsonNumbers({wind.x, wind.y, wind.z})},
                     {"density", JsonNumber(air.density)},
                     {"viscosity", JsonNumber(air.viscosity)}}}});
        return 0;
    }
    std::printf("program folder  %s\n", base::ProgramFolder().c_str());
    std::printf("settings file   %s\n", base::SettingsPath().c_str());
    std::printf("player          %s; speeds in %s, distances in %s\n",
                left ? "Left-handed" : "Right-handed", shot::SpeedLabel(speedUnit),
                shot::DistanceLabel(distanceUnit));
    std::printf("ball            \"%s\": type %d, %s, %.3f in, %.2f oz, tee height %.4f in\n",
                ball.Name().c_str(), ball.TypeId(), ball.SportName().c_str(), ball.Diameter(),
                ball.Weight(), ball.TeeHeight());
    std::printf("weather         altitude %.1f ft, %.1f F, humidity %.0f %%, %.2f inHg\n",
                weather.altitude, weather.temperature, weather.humidity, weather.barometer);
    std::printf("wind            %.1f mph from %.0f deg (%.2f, %.2f, %.2f ft/s)\n",
                weather.windSpeed, weather.windDir, wind.x, wind.y, wind.z);
    std::printf("air             density %.8f slug/ft3, viscosity %.4e ft2/s\n", air.density,
                air.viscosity);
    return 0;
}

const Registration kSettings({"settings",
                              "settings [--json]   program folder, ball and weather in force",
                              RunSettings});

}  // namespace
}  // namespace kyvern::cli
