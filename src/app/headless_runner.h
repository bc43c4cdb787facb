#pragma once

#include <atomic>
#include <cstdio>
#include <string>

#include "app/launch_monitor.h"
#include "capture/camera_table.h"

namespace kyvern::sim {
class SimulatedCameraDriver;
}

namespace kyvern::app {

struct HeadlessOptions {
    bool simulate = false;  // the simulated camera whatever Camera/Driver says
    long shots = 0;         // stop after this many recorded shots; 0 runs until stopped
    // Fire the simulated strobe at once whenever the cycle is idle, instead of waiting for
    // the simulator's shot period: the quickest way through a few shots.
    bool shootOnIdle = false;
    std::FILE* out = stdout;  // one line per shot
    bool json = false;        // each line a JSON object instead of text
};

// The cameras of a run: the simulated camera when asked for or when Camera/Driver names it,
// else the hardware back-end Camera/Driver names. table is null when this build has no such
// back-end; simulated points into driver when it is the simulated camera.
struct RunCameras {
    std::unique_ptr<capture::CameraDriver> driver;
    sim::SimulatedCameraDriver* simulated = nullptr;
    std::unique_ptr<capture::CameraTable> table;
    std::string driverName;  // Camera/Driver as read
};
// Opens the cameras and finds them on the bus. shootOnIdle makes the simulated camera wait
// for RequestShot instead of its own period. The caller shuts the table down when done.
RunCameras OpenCameras(bool simulate, bool shootOnIdle, base::UserPrompts& prompts,
                       const base::Settings& settings);

// The text line of a recorded shot in the display units in force: time, item, ball speed,
// launch, side, spins, club speed, carry, total, offline, score.
std::string ShotLine(const shot::ShotRecord& shot, int speedUnit, int distanceUnit);
// The same shot as one JSON object in the record's units, with its confidence; a doubtful spin,
// and the flight flown with it, are left out.
std::string ShotJsonLine(const shot::ShotRecord& shot);

// Runs the shot cycle without a window until stop turns true, a command closes the program,
// or the shots are recorded. SIGINT and SIGTERM set stop when installSignals is true. Ends
// with the timers stopped, the status file unlocked and the cameras stopped. Returns the
// process exit status; the shot table of the run is handed to done before the monitor goes.
int RunHeadless(const HeadlessOptions& options, std::atomic<bool>& stop, bool installSignals,
                const std::function<void(LaunchMonitor&)>& done = {});

// The automated test over the saved images of a folder, printing each result line as it is
// appended to the result file. A single run goes through the images without the pauses
// between them; a continuous one keeps the pace of RegressionTest/TimeBetween until stop.
int RunRegression(const std::string& folder, bool continuous, std::atomic<bool>& stop,
                  bool installSignals, std::FILE* out = stdout);

}  // namespace kyvern::app
