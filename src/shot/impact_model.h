#pragma once

#include <array>
#include <string>
#include <vector>

#include "base/settings_snapshot.h"
#include "base/string_table.h"
#include "shot/shot_record.h"

namespace kyvern::shot {

// The club's delivery inferred from the ball: impulses of a rigid club head on a solid golf
// ball of fixed size. Reads and checks Setup/ClubMass and Setup/ClubLoft at every evaluation;
// a bad one is noted for the caller to show, never shown from here.
// Setup/ClubMass (grams) and Setup/ClubLoft (degrees) as "%lf" reads them: NaN for a text that
// is no number. A value out of range is kept as it is: the model refuses it with its message.
struct ClubOptions {
    double clubMass = 200.0;
    double clubLoft = 10.0;
};
ClubOptions ReadClubOptions(const base::SettingsSnapshot& snapshot);

class ImpactModel {
public:
    // Valid ranges of the club settings, inclusive.
    static constexpr double kMinClubMass = base::Spec(base::setting::kClubMass).range.low;
    static constexpr double kMaxClubMass = base::Spec(base::setting::kClubMass).range.high;
    static constexpr double kMinClubLoft = base::Spec(base::setting::kClubLoft).range.low;
    static constexpr double kMaxClubLoft = base::Spec(base::setting::kClubLoft).range.high;
    static constexpr double kLoftTolerance = 2.5;

    explicit ImpactModel(const ClubOptions& options = {});
    // The club settings of the next evaluations.
    void SetOptions(const ClubOptions& options) { options_ = options; }

    // One full evaluation (ft/s, degrees, rpm). False, with the setting's message noted and
    // every value 0, when a club setting is bad.
    bool Evaluate(double ballSpeed, double launchAngle, double sideAngle, double backSpin,
                  double sideSpin);

    // Values of the last evaluation.
    double ClubSpeed() const { return clubSpeed_; }
    double EffectiveLoft() const { return effectiveLoft_; }
    double AngleOfAttack() const { return angleOfAttack_; }
    double FaceAngle() const { return faceAngle_; }
    double PathAngle() const { return pathAngle_; }
    bool LoftMismatch() const { return loftMismatch_; }

    // One value each, each from a full evaluation of its own.
    double ClubSpeedFor(const LaunchConditions& launch);
    double EffectiveLoftFor(const LaunchConditions& launch);
    double AngleOfAttackFor(const LaunchConditions& launch);
    double FaceAngleFor(const LaunchConditions& launch);
    double PathAngleFor(const LaunchConditions& launch);

    // How many evaluations ran on this model.
    long EvaluationCount() const { return evaluations_; }

    // The messages of the bad club settings met since the last TakeMessages, each once, in the
    // order met; taking them empties the list.
    std::vector<base::MessageId> TakeMessages();

    // Setup/ClubMass or Setup/ClubLoft of the options; false when it is no number in its range
    // (the check of every evaluation, also made by the shot computation).
    static bool ClubSettingValue(const ClubOptions& options, base::SettingId id, double& value);

    // The club list of the settings dialogs: "None", then name, loft (degrees), mass (grams).
    static const std::array<const char*, 12>& ClubPresets();

private:
    bool Evaluate(const LaunchConditions& launch);
    bool ReadClubSetting(base::SettingId id, base::MessageId message, double& value);

    ClubOptions options_;
    std::vector<base::MessageId> messages_;
    double clubSpeed_ = 0.0;
    double effectiveLoft_ = 0.0;
    double angleOfAttack_ = 0.0;
    double faceAngle_ = 0.0;
    double pathAngle_ = 0.0;
    bool loftMismatch_ = false;
    long evaluations_ = 0;
};

// The kinds of club sensor (the calculated kind has no device), by their stored number.
enum class SensorKind : int {
    kNone = 0,
    kCalculated = 1,
    kLazer = 2,
    kDistanceCaddy = 3,
    kSwingMate = 4,
    kGolfTek = 5,
    kMaruman = 6,
};

// Club data after a live shot: the sensor's measured values (those with their flag set in
// sensorReading) win; every club angle and then the club speed that the sensor did not give is
// taken from the impact model; the loft notice is the model's. Returns true when the club speed
// came from the model.
bool FillClubData(const ClubData& sensorReading, const LaunchConditions& launch, ImpactModel& model,
                  ClubData& club);

// Club data computed again from the ball: by sensor kind, the values the model supplies are
// overwritten and their flags left as they are; the loft notice is the model's.
void RecomputeClubData(SensorKind kind, const LaunchConditions& launch, ImpactModel& model,
                       ClubData& club);

}  // namespace kyvern::shot
