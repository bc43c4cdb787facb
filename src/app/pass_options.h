#pragma once

// The settings of one pass (a shot, a command, a window action) as typed options for each part.
// The file is read once, at the start of the pass; a value the pass could not take is reported
// once, here, and the pass goes on with what it took instead.

#include <string>
#include <vector>

#include "analysis/analysis_pipeline.h"
#include "analysis/launch_scene.h"
#include "app/overlay_drawing.h"
#include "base/message_list.h"
#include "base/settings_snapshot.h"
#include "flight/flight_model.h"
#include "flight/putt_roll.h"
#include "shot/impact_model.h"
#include "shot/performance_analysis.h"

namespace kyvern::app {

struct PassOptions {
    // The file as the pass found it, for the values read per camera or per port.
    base::SettingsSnapshot snapshot;
    analysis::AnalysisOptions analysis;
    analysis::SceneOptions scene;
    flight::FlightOptions flight;
    flight::Green green;  // Putting: where a putt rolls
    shot::ClubOptions club;
    shot::ScoringOptions scoring;
    int speedUnit = 0;     // shot::SpeedUnit
    int distanceUnit = 0;  // shot::DistanceUnit
    // Setup/PredictWithSpin: the router and the serial line get the measured back spin.
    bool predictWithSpin = true;
    long historySize = 50;
    OverlaySwitches overlays;  // ImageDisplay: what the saved overlay image shows  //
                               // Setup/ImageHistorySize: frames kept in the history
    std::vector<base::SettingProblem> problems;
};

PassOptions ReadPassOptions(base::SettingsSnapshot snapshot);
// Out of range is not clamped but taken as unset: a typo must not keep 10,000 frames.
long ReadHistorySize(base::OptionsReader& reader);
// One read of the program folder's settings file.
PassOptions ReadPassOptions();

// Each problem of the pass as one line of the message list.
void ReportProblems(const PassOptions& options, base::MessageList& messages);

}  // namespace kyvern::app
