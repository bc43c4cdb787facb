#pragma once

#include <string>
#include <vector>

namespace kyvern::report {

// kyvern-cli report: session files printed to a PDF, or one view drawn to a PNG, without a
// window. Returns the exit status.
int RunReportCommand(const std::vector<std::string>& args);

inline constexpr const char* kReportUsage =
    "usage: kyvern-cli report --out FILE.pdf [--kind NAME]... [--paper a4|letter|WxH]\n"
    "                         [--image FRAMES.bmp] [--player NAME] [--trend VALUE]\n"
    "                         [--item CLUB] [--store URL] SESSION.txt...\n"
    "       kyvern-cli report --view impact|profile|downrange|gapping|trend --out FILE.png\n"
    "                         [--size WxH] [--player NAME] [--trend VALUE] [--item CLUB]\n"
    "                         SESSION.txt...\n"
    "kinds: bag-tag, shots, shots-summary, shots-profile, impact, ball-image, history,\n"
    "printer (all of them that the input can give when no --kind is named). The history\n"
    "is the stored one of --player, else of the sessions' first player; its trend follows\n"
    "VALUE (carry when not named) of CLUB (the longest when not named, every club when\n"
    "\"\"). With --player, no session file is needed.\n";

}  // namespace kyvern::report
