#include "app/pass_options.h"

#include "base/log.h"
#include "shot/units.h"

namespace kyvern::app {

PassOptions ReadPassOptions(base::SettingsSnapshot snapshot) {
    PassOptions o;
    o.snapshot = std::move(snapshot);
    base::OptionsReader reader(o.snapshot);
    o.analysis = analysis::ReadAnalysisOptions(reader);
    o.scene = analysis::ReadSceneOptions(o.snapshot);
    o.flight = flight::ReadFlightOptions(reader);
    o.green = flight::ReadGreen(reader);
    o.club = shot::ReadClubOptions(o.snapshot);
    o.scoring = shot::ReadScoringOptions(reader);
    o.speedUnit = shot::ReadSpeedUnit(o.snapshot);
    o.distanceUnit = shot::ReadDistanceUnit(o.snapshot);
    o.predictWithSpin = reader.Yes(base::setting::kPredictWithSpin);
    o.historySize = ReadHistorySize(reader);
    o.overlays = ReadOverlaySwitches(reader);
    o.problems = reader.Problems();
    return o;
}

long ReadHistorySize(base::OptionsReader& reader) {
    return reader.BoundedInteger(base::setting::kImageHistorySize);
}

PassOptions ReadPassOptions() { return ReadPassOptions(base::SettingsSnapshot::Read()); }

void ReportProblems(const PassOptions& options, base::MessageList& messages) {
    // The message list is the window's; the log is where a headless run shows them.
    for (const base::SettingProblem& problem : options.problems) {
        const std::string text = base::DescribeProblem(problem);
        messages.Add(text);
        base::Log(base::LogCategory::kSettings, base::LogLevel::kWarning, text);
    }
}

}  // namespace kyvern::app
