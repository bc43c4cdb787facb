// kyvern-cli cameras [--json] [--driver NAME] [--simulate]: the cameras that the configured
// camera back-end finds, started as the program starts them.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/config_store.h"
#include "base/program_folder.h"
#include "base/settings_snapshot.h"
#include "base/string_table.h"
#include "base/user_prompts.h"
#include "capture/camera_backends.h"
#include "capture/camera_table.h"
#include "cli/command.h"
#include "sim/simulated_driver.h"

namespace kyvern::cli {
namespace {

constexpr const char* kUsage = "usage: kyvern-cli cameras [--json] [--driver NAME] [--simulate]\n";

struct Row {
    std::uint32_t serial;
    int slot;
    int width;
    int height;
};

int RunCameras(const Args& args) {
    bool complete = true;
    std::string driverName = FlagValue(args, "--driver", "", complete);
    if (!complete || !Positionals(args, {"--driver"}).empty()) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    if (HasFlag(args, "--simulate"))
        driverName = base::WordOf(base::choice::CameraDriver::kSimulated);
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read();
    if (driverName.empty()) driverName = settings.Text(base::setting::kCameraDriver);

    std::unique_ptr<capture::CameraDriver> driver;
    const auto driverWord =
        base::SettingsSnapshot::FindWord<base::setting::kCameraDriver>(driverName);
    if (driverWord == base::choice::CameraDriver::kSimulated) {
        driver = std::make_unique<sim::SimulatedCameraDriver>(sim::ReadSimulatorOptions(settings),
                                                              base::Settings());
    } else if (driverWord) {
        driver = capture::MakeHardwareDriver(driverName);
    } else {
        std::fprintf(stderr, "kyvern-cli cameras: unknown camera driver \"%s\"\n",
                     driverName.c_str());
        return 2;
    }

    base::StderrPrompts prompts;
    std::string speed = "-";
    long gain = 0;
    std::string name = "none";
    std::vector<Row> rows;
    if (driver) {
        name = driver->Name();
        capture::CameraTable table(*driver, prompts, base::Settings());
        table.InitCameras();
        const std::string setting = settings.Text(base::setting::kCameraSpeed);
        if (const capture::SpeedMode* mode = capture::SpeedModeOfName(setting)) speed = mode->name;
        gain = table.GainValue();
        for (int slot = 0; slot < capture::kCameraSlots; ++slot) {
            if (!table.IsPresent(slot)) continue;
            int mode = 0;
            int rate = 0;
            driver->GetCurrentVideoMode(slot, mode, rate);
            Row row{table.SerialOfSlot(slot), slot, 0, 0};
            if (mode == capture::kVideoMode640x480) {
                row.width = 640;
                row.height = 480;
            } else if (mode == capture::kVideoMode1024x768) {
                row.width = 1024;
                row.height = 768;
            }
            rows.push_back(row);
        }
        table.Shutdown();
    } else {
        // No back-end of this kind is built: as a bus without cameras.
        prompts.Message(base::Text(base::MessageId::kNoCamerasDetected));
    }

    if (HasFlag(args, "--json")) {
        Json cameras = Json::array();
        for (const Row& r : rows) {
            char size[32];
            std::snprintf(size, sizeof size, "%dx%d", r.width, r.height);
            cameras.push_back({{"serial", r.serial},
                               {"slot", r.slot},
                               {"size", size},
                               {"width", r.width},
                               {"height", r.height},
                               {"speedMode", speed},
                               {"gain", gain},
                               {"driver", name}});
        }
        PrintJson(cameras);
    } else {
        std::printf("%s cameras: %zu\n", name.c_str(), rows.size());
        for (const Row& r : rows) {
            std::printf("  slot %d: serial %ld, %d x %d, speed %s, gain %ld\n", r.slot,
                        static_cast<long>(r.serial), r.width, r.height, speed.c_str(), gain);
        }
    }
    return 0;
}

const Registration kCameras({"cameras",
                             "cameras [--json] [--driver NAME] [--simulate]   the cameras found",
                             RunCameras});

}  // namespace
}  // namespace kyvern::cli
