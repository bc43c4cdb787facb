#pragma once

#include <string>
#include <vector>

namespace kyvern::report {

// kyvern-cli report: session files printed to a PDF, or one view drawn to a PNG, without a
// window. Returns the exit status.
int RunReportCommand(const std::vector<std::string>& args);

inline constexpr const char* kReportUsage =
    "usage: kyvern-cli report --out FILE.pdf [--kind NAME]... [--paper a4|letter|WxH]\n"
    "                         [--image FRAMES.bmp] SESSION.txt...\n"
    "       kyvern-cli report --view impact|profile|downrange --out FILE.png [--size WxH]\n"
    "                         SESSION.txt...\n"
    "kinds: bag-tag, shots, shots-summary, shots-profile, impact, ball-image, printer\n"
    "(all of them that the input can give when no --kind is named)\n";

}  // namespace kyvern::report
