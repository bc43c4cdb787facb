#include "shot/performance_analysis.h"

#include <cmath>
#include <cstdio>

#include "base/config_store.h"
#include "base/math_constants.h"
#include "base/program_folder.h"
#include "base/settings_schema.h"

namespace kyvern::shot {

namespace {

constexpr double kNarrowestRange = 10.0;  // degrees

}  // namespace

ScoringOptions ReadScoringOptions(base::OptionsReader& reader) {
    return {reader.Find<base::setting::kPerformanceIndex>().value_or(
        base::choice::PerformanceIndex::kNone)};
}

ScoringOptions ReadScoringOptions(const base::SettingsSnapshot& snapshot) {
    base::OptionsReader reader(snapshot);
    return ReadScoringOptions(reader);
}

PerformanceAnalysis::PerformanceAnalysis(const flight::FlightOptions& flight,
                                         const ScoringOptions& scoring)
    : flight_(flight), scoring_(scoring) {}

flight::FlightModel PerformanceAnalysis::MakeModel() const { return flight::FlightModel(flight_); }

double PerformanceAnalysis::PowerTransfer(double ballSpeed, double clubSpeed) {
    if (!(clubSpeed >= 10.0) || !(ballSpeed >= 10.0)) return 0.0;
    double ratio = ballSpeed / clubSpeed;
    if (ratio < 0.5 || ratio > 2.5) return 0.0;
    return ratio;
}

void PerformanceAnalysis::SearchRange(double launchAngle, double& low, double& high) {
    double start = std::trunc(launchAngle) + 1.0;
    low = start - 10.0;
    if (low < 10.0) low = 10.0;
    high = start + 15.0;
    if (high > 60.0) high = 60.0;
    // A steep launch would leave the search empty or a few degrees wide, and the shot would
    // then beat it and score 100; the search always spans ten degrees.
    if (high - low < kNarrowestRange) low = high - kNarrowestRange;
}

double PerformanceAnalysis::BestCarry(flight::FlightModel& model, double ballSpeed,
                                      double& launchAngle, double& backSpin) {
    double low = 0.0;
    double high = 0.0;
    SearchRange(launchAngle, low, high);
    double start = std::trunc(launchAngle) + 1.0;
    double spin = std::trunc(backSpin);
    spin -= std::fmod(spin, 100.0);  // whole hundreds, toward zero
    model.Compute(ballSpeed, start, spin, 0.0, 0.0);
    double best = model.CarryFeet();
    launchAngle = start;
    backSpin = spin;
    // The grid's flights all at once (they do not depend on one another), then the best of
    // them in the grid's order, so the first of equal carries wins.
    constexpr int kMaxFlights = 64 * 12;
    double angles[kMaxFlights];
    double spins[kMaxFlights];
    double carries[kMaxFlights];
    int count = 0;
    for (double a = low; a < high && count + 12 <= kMaxFlights; a += 1.0) {
        for (double s = 1500.0; s < 5000.0; s += 300.0) {
            angles[count] = a;
            spins[count++] = s;
        }
    }
    model.CarriesFeet(ballSpeed, angles, spins, count, carries);
    for (int k = 0; k < count; ++k) {
        if (carries[k] > best) {
            best = carries[k];
            launchAngle = angles[k];
            backSpin = spins[k];
        }
    }
    return best;
}

double PerformanceAnalysis::Efficiency(double carryFeet, double offlineFeet, double bestCarryFeet) {
    // A shot without carry has no offline penalty to speak of and no efficiency.
    if (carryFeet == 0.0) return 0.0;
    double penalty = std::fabs(offlineFeet * 100.0 / carryFeet);
    double best = bestCarryFeet < carryFeet ? carryFeet : bestCarryFeet;
    double efficiency = best > 10.0 ? carryFeet / best * 100.0 - penalty : 0.0;
    if (!(efficiency >= 5.0 && efficiency <= 100.0)) return 0.0;
    return efficiency;
}

void PerformanceAnalysis::Compute(double ballSpeed, double clubSpeed, double launchAngle,
                                  double sideAngle, double backSpin, double sideSpin) {
    powerTransferIndex_ = PowerTransfer(ballSpeed, clubSpeed);

    flight::FlightModel shot = MakeModel();
    shot.Compute(ballSpeed, launchAngle, backSpin, sideSpin, sideAngle);
    const double carry = shot.CarryFeet();
    const double offline = shot.CarryOfflineFeet();

    flight::FlightModel search = MakeModel();
    double launch = launchAngle;
    double spin = backSpin;
    const double best = BestCarry(search, ballSpeed, launch, spin);
    launchEfficiency_ = Efficiency(carry, offline, best);
}

double PerformanceAnalysis::SelectedScore() const {
    switch (scoring_.index) {
        case base::choice::PerformanceIndex::kPti:
            return powerTransferIndex_;
        case base::choice::PerformanceIndex::kLe:
            return launchEfficiency_;
        case base::choice::PerformanceIndex::kNone:
            break;
    }
    return 0.0;
}

std::string PerformanceAnalysis::SelectedLabel() const {
    switch (scoring_.index) {
        case base::choice::PerformanceIndex::kPti:
            return "PTI";
        case base::choice::PerformanceIndex::kLe:
            return "LE";
        case base::choice::PerformanceIndex::kNone:
            break;
    }
    return {};
}

double PerformanceAnalysis::GroupScoreValue(double meanCarry, double sdCarry, double sdOffline) {
    // Without a positive mean carry the spread has nothing to be measured against.
    if (!(meanCarry > 0.0)) return 0.0;
    double a = sdOffline - meanCarry / 500.0;
    if (a < 1.0) a = 1.0;
    if (a > 25.0) a = 25.0;
    a /= 25.0;
    double b = sdCarry - meanCarry / 100.0;
    if (b < 1.0) b = 1.0;
    if (b > meanCarry / 10.0) b = meanCarry / 10.0;
    b /= meanCarry / 10.0;
    double area = std::fabs(base::kPi * a * b);
    double score = (base::kPi - area) * 100.0 / base::kPi;
    return std::isfinite(score) ? score : 0.0;
}

std::string PerformanceAnalysis::GroupScore(int count, double meanCarry, double sdCarry,
                                            double sdOffline) {
    if (count <= 2) return "---";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", GroupScoreValue(meanCarry, sdCarry, sdOffline));
    return text;
}

}  // namespace kyvern::shot
