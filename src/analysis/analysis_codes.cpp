#include "analysis/analysis_codes.h"

namespace kyvern::analysis {

namespace {

constexpr const char* kErrorTexts[] = {
    "no error",
    "no balls found",
    "only one ball found",
    "low ball edge quality",
    "low ball edge quality",
    "low ball edge quality",
    "low ball edge quality",
    "invalid ball speed",
    "invalid launch angle",
    "invalid side angle",
    "doubtful shot",
};

constexpr const char* kWarningTexts[] = {
    "no warnings",
    "low contrast",
    "uneven illumination",
    "ball too small",
    "ball edge quality low",
    "ball too close",
    "ball too far",
    "no valid marks",
    "marks too small",
    "speed out of range",
    "launch angle out of range",
    "reversing spin marks",
    "marks",
};

}  // namespace

const char* ErrorText(std::int32_t code) {
    constexpr std::int32_t count = sizeof kErrorTexts / sizeof kErrorTexts[0];
    return code >= 0 && code < count ? kErrorTexts[code] : "missing error code";
}

const char* WarningText(std::int32_t code) {
    constexpr std::int32_t count = sizeof kWarningTexts / sizeof kWarningTexts[0];
    return code >= 0 && code < count ? kWarningTexts[code] : "missing warning code";
}

}  // namespace kyvern::analysis
