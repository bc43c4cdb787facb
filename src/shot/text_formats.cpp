#include "shot/text_formats.h"

#include <cmath>
#include <cstdio>

namespace kyvern::shot {

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[96];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

}  // namespace

std::string FormatValue(double value) { return Format("%.1f", value); }

std::string FormatNoFigure(char unitLetter) { return Format("--.-%c", unitLetter); }

std::string FormatTableSpin(double rpm) { return Format("%.f", rpm); }

std::string FormatViewSpin(double rpm) { return Format("%.0f", rpm); }

std::string FormatShotScore(double score) {
    return score < 10.0 ? Format("%.2f", score) : Format("%.1f", score);
}

std::string FormatOffline(double offline) {
    if (offline < -0.09) return Format("%.1f L", std::fabs(offline));
    if (offline > 0.09) return Format("%.1f R", offline);
    return "center";
}

std::string FormatOffline(double offline, char unitLetter) {
    if (offline < -0.09) return Format("%.1f%c L", std::fabs(offline), unitLetter);
    if (offline > 0.09) return Format("%.1f%c R", offline, unitLetter);
    return "center";
}

std::string FormatGroupSummary(double mean, double deviation) {
    return Format("%.1f (%.1f)", mean, deviation);
}

std::string FormatGroupSpinSummary(double mean, double deviation) {
    return Format("%.0f (%.0f)", mean, deviation);
}

std::string FormatTimeStamp(const std::tm& when) {
    char text[64];
    if (std::strftime(text, sizeof text, "%d/%b/%Y %H:%M:%S", &when) == 0) return {};
    return text;
}

std::string FormatTimeStamp(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return FormatTimeStamp(local);
}

void MeanAndDeviation(const double* values, int count, double& mean, double& deviation) {
    mean = 0.0;
    deviation = 0.0;
    if (count <= 0) return;
    double sum = 0.0;
    for (int i = 0; i < count; ++i)
        sum += values[i];
    mean = sum / count;
    if (count < 2) return;
    double squares = 0.0;
    for (int i = 0; i < count; ++i)
        squares += (values[i] - mean) * (values[i] - mean);
    deviation = std::sqrt(squares / (count - 1));
}

}  // namespace kyvern::shot
