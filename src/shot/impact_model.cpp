#include "shot/impact_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "base/config_store.h"
#include "base/math_constants.h"
#include "base/program_folder.h"
#include "base/string_table.h"

namespace kyvern::shot {

namespace {

constexpr double kGravity = 32.174048;
constexpr double kBallMass = 1.62 / 16.0 / kGravity;                          // slug
constexpr double kBallRadius = 1.68 / 2.0 / 12.0;                             // ft
constexpr double kBallInertia = 0.4 * kBallMass * kBallRadius * kBallRadius;  // solid sphere
constexpr double kRpmToRadPerSecond = 2.0 * base::kPi / 60.0;

constexpr std::array<const char*, 12> kClubPresets{"None",
                                                   "Driver, 10.0, 200",
                                                   "3 Wood, 14.0, 208",
                                                   "5 Wood, 18.0, 228",
                                                   "3 Iron, 21.0, 240",
                                                   "4 Iron, 24.0, 247",
                                                   "5 Iron, 28.0, 254",
                                                   "6 Iron, 32.0, 261",
                                                   "7 Iron, 36.0, 268",
                                                   "8 Iron, 40.0, 275",
                                                   "9 Iron, 45.0, 282",
                                                   "Wedge, 55.0, 290"};

}  // namespace

ClubOptions ReadClubOptions(const base::SettingsSnapshot& snapshot) {
    // A text that is not a number is as bad as one out of range.
    const auto read = [&](base::SettingId id) {
        double value = std::nan("");
        std::sscanf(snapshot.Text(id).c_str(), "%lf", &value);
        return value;
    };
    return {read(base::setting::kClubMass), read(base::setting::kClubLoft)};
}

ImpactModel::ImpactModel(const ClubOptions& options) : options_(options) {}

std::vector<base::MessageId> ImpactModel::TakeMessages() { return std::exchange(messages_, {}); }

const std::array<const char*, 12>& ImpactModel::ClubPresets() { return kClubPresets; }

bool ImpactModel::ClubSettingValue(const ClubOptions& options, base::SettingId id, double& value) {
    value = id == base::setting::kClubMass ? options.clubMass : options.clubLoft;
    const base::SettingRange range = base::Spec(id).range;
    return value >= range.low && value <= range.high;
}

bool ImpactModel::ReadClubSetting(base::SettingId id, base::MessageId message, double& value) {
    if (ClubSettingValue(options_, id, value)) return true;
    if (std::find(messages_.begin(), messages_.end(), message) == messages_.end())
        messages_.push_back(message);
    return false;
}

bool ImpactModel::Evaluate(double ballSpeed, double launchAngle, double sideAngle, double backSpin,
                           double sideSpin) {
    ++evaluations_;
    clubSpeed_ = 0.0;
    effectiveLoft_ = 0.0;
    angleOfAttack_ = 0.0;
    faceAngle_ = 0.0;
    pathAngle_ = 0.0;
    loftMismatch_ = false;  // describes this evaluation only

    double clubMass = 0.0;
    double clubLoft = 0.0;
    if (!ReadClubSetting(base::setting::kClubMass, base::MessageId::kInvalidClubMass, clubMass)) {
        return false;
    }
    if (!ReadClubSetting(base::setting::kClubLoft, base::MessageId::kInvalidClubLoft, clubLoft)) {
        return false;
    }

    const double v = ballSpeed;
    const double clubSlug = clubMass / 28.349 / 16.0 / kGravity;
    const double e = 1.0 - 0.0011 * v * 3600.0 / 5280.0;
    const double k1 = 1.0 / clubSlug + 1.0 / kBallMass;
    const double k2 = k1 + kBallRadius * kBallRadius / kBallInertia;
    const double momentum = kBallMass * v;

    // Vertical plane, from the back spin. A spin impulse above the ball's momentum has no
    // normal impulse to go with it; those values stay 0.
    const double jt = backSpin * kRpmToRadPerSecond * kBallInertia / kBallRadius;
    const double jn2 = momentum * momentum - jt * jt;
    if (jn2 >= 0.0) {
        const double jn = std::sqrt(jn2);
        // No back spin: no tangential impulse, no loft, and no club speed to be had from it.
        const double theta = jt == 0.0 ? 0.0 : std::atan((1.0 + e) * jt * k2 / (k1 * jn));
        const double thetaDegrees = theta * base::kRadiansToDegrees;
        const double sine = std::sin(theta);
        effectiveLoft_ = thetaDegrees;
        clubSpeed_ = sine == 0.0 ? 0.0 : k2 * jt / sine;
        const double phiV = std::atan2(jt, jn) * base::kRadiansToDegrees;
        angleOfAttack_ = launchAngle + phiV - clubLoft;
        // The angle of attack with the effective loft in place of the configured one differs
        // from it by exactly clubLoft - theta.
        const double withEffectiveLoft = launchAngle + phiV - thetaDegrees;
        if (std::fabs(clubLoft - thetaDegrees) > kLoftTolerance) {
            angleOfAttack_ = withEffectiveLoft;
            loftMismatch_ = true;
        }
    }

    // Horizontal plane, from the side spin.
    const double jts = sideSpin * kRpmToRadPerSecond * kBallInertia / kBallRadius;
    const double jns2 = momentum * momentum - jts * jts;
    if (jns2 >= 0.0) {
        const double jns = std::sqrt(jns2);
        const double phiS = std::atan2(jts, jns) * base::kRadiansToDegrees;
        faceAngle_ = jts == 0.0
                         ? 0.0
                         : std::atan((1.0 + e) * jts * k2 / (k1 * jns)) * base::kRadiansToDegrees;
        pathAngle_ = faceAngle_ - sideAngle - phiS;
    }

    // Whatever the inputs, nothing downstream may see a value that is not a number.
    for (double* value :
         {&clubSpeed_, &effectiveLoft_, &angleOfAttack_, &faceAngle_, &pathAngle_}) {
        if (!std::isfinite(*value)) *value = 0.0;
    }
    return true;
}

bool ImpactModel::Evaluate(const LaunchConditions& launch) {
    return Evaluate(launch.ballSpeed, launch.launchAngle, launch.sideAngle, launch.backSpin,
                    launch.sideSpin);
}

double ImpactModel::ClubSpeedFor(const LaunchConditions& launch) {
    Evaluate(launch);
    return clubSpeed_;
}
double ImpactModel::EffectiveLoftFor(const LaunchConditions& launch) {
    Evaluate(launch);
    return effectiveLoft_;
}
double ImpactModel::AngleOfAttackFor(const LaunchConditions& launch) {
    Evaluate(launch);
    return angleOfAttack_;
}
double ImpactModel::FaceAngleFor(const LaunchConditions& launch) {
    Evaluate(launch);
    return faceAngle_;
}
double ImpactModel::PathAngleFor(const LaunchConditions& launch) {
    Evaluate(launch);
    return pathAngle_;
}

bool FillClubData(const ClubData& sensorReading, const LaunchConditions& launch, ImpactModel& model,
                  ClubData& club) {
    club.Clear();
    // What the sensor measured.
    ClubValue ClubData::*const measured[] = {&ClubData::clubSpeed,     &ClubData::pathAngle,
                                             &ClubData::faceAngle,     &ClubData::effectiveLoft,
                                             &ClubData::angleOfAttack, &ClubData::faceRotation,
                                             &ClubData::tempo,         &ClubData::dxFromToe};
    for (auto member : measured) {
        const ClubValue& reading = sensorReading.*member;
        if (reading.Present()) (club.*member).Set(reading.Value());
    }
    // The model fills the gaps, angles first.
    if (!club.angleOfAttack.Present()) club.angleOfAttack.Set(model.AngleOfAttackFor(launch));
    if (!club.faceAngle.Present()) club.faceAngle.Set(model.FaceAngleFor(launch));
    if (!club.pathAngle.Present()) club.pathAngle.Set(model.PathAngleFor(launch));
    if (!club.effectiveLoft.Present()) club.effectiveLoft.Set(model.EffectiveLoftFor(launch));
    bool speedCalculated = false;
    if (!club.clubSpeed.Present()) {
        club.clubSpeed.Set(model.ClubSpeedFor(launch));
        speedCalculated = true;
    }
    club.loftMismatch = model.LoftMismatch();
    return speedCalculated;
}

void RecomputeClubData(SensorKind kind, const LaunchConditions& launch, ImpactModel& model,
                       ClubData& club) {
    club.angleOfAttack.Overwrite(model.AngleOfAttackFor(launch));
    if (kind != SensorKind::kGolfTek) {
        club.faceAngle.Overwrite(model.FaceAngleFor(launch));
        club.pathAngle.Overwrite(model.PathAngleFor(launch));
    }
    club.effectiveLoft.Overwrite(model.EffectiveLoftFor(launch));
    if (kind == SensorKind::kNone || kind == SensorKind::kCalculated) {
        club.clubSpeed.Overwrite(model.ClubSpeedFor(launch));
    }
    club.loftMismatch = model.LoftMismatch();
}

}  // namespace kyvern::shot
