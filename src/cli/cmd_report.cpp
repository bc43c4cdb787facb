// kyvern-cli report: the session reports printed to a PDF without a window. The printing is
// the window's own drawing code, linked in when the build has Qt.
#include <cstdio>

#include "cli/command.h"
#ifdef KYVERN_WITH_REPORTS
#include "report/report_command.h"
#endif

namespace kyvern::cli {
namespace {

int RunReport(const Args& args) {
#ifdef KYVERN_WITH_REPORTS
    return report::RunReportCommand(args);
#else
    (void)args;
    std::fprintf(stderr,
                 "kyvern-cli: report is not available: this build has no Qt 6 to print with\n");
    return 1;
#endif
}

const Registration kReport({"report",
                            "report --out FILE.pdf [--kind NAME]... SESSION.txt...   print the "
                            "session reports",
                            RunReport});

}  // namespace
}  // namespace kyvern::cli
