#pragma once

#include <ctime>
#include <string>

namespace kyvern::shot {

// The text a view shows where it has no figure.
inline constexpr const char* kNoFigure = "--.-";
inline constexpr const char* kNoSpinFigure = "----";

// Speeds, angles, distances, heights, flight time and club values: "%.1f".
std::string FormatValue(double value);
// "--.-" followed by a unit letter.
std::string FormatNoFigure(char unitLetter);
// Spins in the shot table, whole rpm: "%.f".
std::string FormatTableSpin(double rpm);
// Spins in the views: "%.0f".
std::string FormatViewSpin(double rpm);
// A power transfer ratio (below 10) with two decimals, a percentage with one.
std::string FormatShotScore(double score);
// Magnitude and side letter: "%.1f L" below -0.09, "%.1f R" above 0.09, "center" between.
std::string FormatOffline(double offline);
// The same with a unit letter after the number: "%.1f%c L", "%.1f%c R".
std::string FormatOffline(double offline, char unitLetter);
// A group summary cell: mean and sample deviation, "%.1f (%.1f)"; spins "%.0f (%.0f)".
std::string FormatGroupSummary(double mean, double deviation);
std::string FormatGroupSpinSummary(double mean, double deviation);
// The time a shot was recorded: "%d/%b/%Y %H:%M:%S".
std::string FormatTimeStamp(const std::tm& when);
std::string FormatTimeStamp(std::time_t when);  // in local time

// Mean and sample standard deviation (divided by count - 1; 0 for one value; both 0 for none).
void MeanAndDeviation(const double* values, int count, double& mean, double& deviation);

}  // namespace kyvern::shot
