#pragma once

#include <string>

#include "base/settings_snapshot.h"
#include "flight/flight_model.h"

namespace kyvern::shot {

// Setup/PerformanceIndex: the score a shot shows. A word that is none of the index's words
// selects none, as "None" does.
struct ScoringOptions {
    base::choice::PerformanceIndex index = base::choice::PerformanceIndex::kLe;
};
ScoringOptions ReadScoringOptions(base::OptionsReader& reader);
ScoringOptions ReadScoringOptions(const base::SettingsSnapshot& snapshot);

// The two grades of a shot (power transfer index and launch efficiency), the selection of the
// shot score, and the group score of the shot table.
class PerformanceAnalysis {
public:
    // flight: the ball and air of the search's flights.
    PerformanceAnalysis(const flight::FlightOptions& flight = {},
                        const ScoringOptions& scoring = {});

    // Speeds in ft/s, angles in degrees, spins in rpm. Power transfer first, then efficiency.
    void Compute(double ballSpeed, double clubSpeed, double launchAngle, double sideAngle,
                 double backSpin, double sideSpin);

    double LaunchEfficiency() const { return launchEfficiency_; }
    double PowerTransferIndex() const { return powerTransferIndex_; }
    // By the index: PTI, LE, or none for 0 and an empty label.
    double SelectedScore() const;
    std::string SelectedLabel() const;

    static const char* Version() { return "Analysis v2.3.1"; }

    // Ball speed over club speed; 0 when either is below 10 ft/s or the ratio is outside
    // 0.5 to 2.5.
    static double PowerTransfer(double ballSpeed, double clubSpeed);
    // The carry the ball speed could reach with the best launch and back spin of the search
    // (feet), computed on the given model; launchAngle and backSpin move to the best pair.
    static double BestCarry(flight::FlightModel& model, double ballSpeed, double& launchAngle,
                            double& backSpin);
    // The launch angles the search tries: from low while below high, in whole degrees.
    static void SearchRange(double launchAngle, double& low, double& high);
    // Per cent of the best carry less the offline penalty; 0 when not meaningful.
    static double Efficiency(double carryFeet, double offlineFeet, double bestCarryFeet);

    // The group score as the shot table shows it: "%.1f" for more than two shots, else "---".
    static std::string GroupScore(int count, double meanCarry, double sdCarry, double sdOffline);
    // The score itself (per cent); 0 for a group without a positive mean carry.
    static double GroupScoreValue(double meanCarry, double sdCarry, double sdOffline);

private:
    flight::FlightModel MakeModel() const;
    flight::FlightOptions flight_;
    ScoringOptions scoring_;
    double launchEfficiency_ = 0.0;
    double powerTransferIndex_ = 0.0;
};

}  // namespace kyvern::shot
